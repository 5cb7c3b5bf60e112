#include "platform/x11/CCompositorWatch.h"

#include <algorithm>
#include <cstdlib>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#ifdef NIMO_HAVE_XCB
#include "platform/x11/XConnection.h"

#ifdef NIMO_HAVE_XCB_XFIXES
#include <xcb/xfixes.h>
#endif

namespace {

// The first screen's, as XRootWindow is.
constexpr char kSelection[] = "_NET_WM_CM_S0";

bool IsXWayland(xcb_connection_t* connection)
{
    static constexpr char kName[] = "XWAYLAND";
    xcb_query_extension_reply_t* reply = xcb_query_extension_reply(
        connection, xcb_query_extension(connection, sizeof kName - 1, kName), nullptr);
    const bool present = reply && reply->present;
    std::free(reply);
    if (present)
        return true;
    // Xwayland before 23.1 has no such extension (Debian 12's); its RandR outputs are named XWAYLAND0, ...
    const QList<QScreen*> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(),
                       [](const QScreen* screen) { return screen->name().startsWith(QLatin1String(kName)); });
}

} // namespace
#endif

CCompositorWatch::CCompositorWatch(QObject* parent) : QObject(parent), m_compositing(IsCompositing())
{
#if defined(NIMO_HAVE_XCB) && defined(NIMO_HAVE_XCB_XFIXES)
    xcb_connection_t* connection = XConnection();
    if (!connection)
        return;
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present)
        return;
    // Selection events need the version to be asked first.
    std::free(xcb_xfixes_query_version_reply(
        connection, xcb_xfixes_query_version(connection, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
        nullptr));
    const xcb_atom_t selection = XInternAtom(connection, kSelection);
    const xcb_window_t root = XRootWindow(connection);
    if (selection == XCB_ATOM_NONE || root == XCB_WINDOW_NONE)
        return;
    xcb_xfixes_select_selection_input(connection, root, selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(connection);
    m_firstEvent = xfixes->first_event;
    QCoreApplication::instance()->installNativeEventFilter(this);
#endif
}

CCompositorWatch::~CCompositorWatch()
{
    if (m_firstEvent >= 0 && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool CCompositorWatch::IsCompositing()
{
#ifdef NIMO_HAVE_XCB
    xcb_connection_t* connection = XConnection();
    return connection && (IsXSelectionOwned(kSelection) || IsXWayland(connection));
#else
    return false;
#endif
}

bool CCompositorWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
#if defined(NIMO_HAVE_XCB) && defined(NIMO_HAVE_XCB_XFIXES)
    if (m_firstEvent < 0 || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != m_firstEvent + XCB_XFIXES_SELECTION_NOTIFY)
        return false;
    // Answered later, outside Qt's event dispatch: the answer may remake native windows.
    QMetaObject::invokeMethod(
        this,
        [this] {
            const bool compositing = IsCompositing();
            if (compositing == m_compositing)
                return;
            m_compositing = compositing;
            if (m_onChange)
                m_onChange(compositing);
        },
        Qt::QueuedConnection);
#else
    (void)eventType;
    (void)message;
#endif
    return false;
}
