#include "platform/x11/CForeignDialogWatch.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <QCoreApplication>
#include <QRect>
#include <QTimerEvent>
#include <QWidget>

#ifdef NIMO_HAVE_XCB
#include "platform/x11/XConnection.h"

namespace {

// A window the window manager lists, as the watch sees it (X coordinates, frame included).
struct SListedWindow
{
    std::uint32_t id = 0;
    QRect frame;
    bool dialog = false; // of the dialog type, transient for another window, or modal
    bool own = false;    // one of this program's windows
};

struct SAtoms
{
    xcb_atom_t clientList, clientListStacking, activeWindow, windowType, dialogType, state, modal, hidden,
        above, frameExtents, restack;
};

// Atoms are the server's for as long as it runs: looked up once.
const SAtoms& AtomsOf(xcb_connection_t* connection)
{
    static const SAtoms atoms = {XInternAtom(connection, "_NET_CLIENT_LIST"),
                                 XInternAtom(connection, "_NET_CLIENT_LIST_STACKING"),
                                 XInternAtom(connection, "_NET_ACTIVE_WINDOW"),
                                 XInternAtom(connection, "_NET_WM_WINDOW_TYPE"),
                                 XInternAtom(connection, "_NET_WM_WINDOW_TYPE_DIALOG"),
                                 XInternAtom(connection, "_NET_WM_STATE"),
                                 XInternAtom(connection, "_NET_WM_STATE_MODAL"),
                                 XInternAtom(connection, "_NET_WM_STATE_HIDDEN"),
                                 XInternAtom(connection, "_NET_WM_STATE_ABOVE"),
                                 XInternAtom(connection, "_NET_FRAME_EXTENTS"),
                                 XInternAtom(connection, "_NET_RESTACK_WINDOW")};
    return atoms;
}

bool Holds(const std::vector<std::uint32_t>& values, std::uint32_t value)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

// Where the window and its frame stand on the root window; empty when it is gone.
QRect FrameOf(xcb_connection_t* connection, const SAtoms& atoms, xcb_window_t window)
{
    const xcb_window_t root = XRootWindow(connection);
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr);
    QRect frame;
    if (geometry && origin)
        frame = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    std::free(geometry);
    std::free(origin);
    // left, right, top, bottom
    const std::vector<std::uint32_t> extents =
        XReadList(connection, window, atoms.frameExtents, XCB_ATOM_CARDINAL);
    if (!frame.isEmpty() && extents.size() == 4)
        frame.adjust(-int(extents[0]), -int(extents[2]), int(extents[1]), int(extents[3]));
    return frame;
}

SListedWindow Describe(xcb_connection_t* connection, const SAtoms& atoms, xcb_window_t window)
{
    SListedWindow listed;
    listed.id = window;
    listed.own = QWidget::find(window) != nullptr;
    if (listed.own)
        return listed;
    const std::vector<std::uint32_t> states = XReadList(connection, window, atoms.state, XCB_ATOM_ATOM);
    const std::vector<std::uint32_t> transientFor =
        XReadList(connection, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW);
    const bool transient = !transientFor.empty() && transientFor.front() != XCB_WINDOW_NONE;
    listed.dialog = !Holds(states, atoms.hidden) &&
                    (transient || Holds(states, atoms.modal) ||
                     Holds(XReadList(connection, window, atoms.windowType, XCB_ATOM_ATOM), atoms.dialogType));
    if (listed.dialog)
        listed.frame = FrameOf(connection, atoms, window);
    return listed;
}

// Changing another program's window is what pagers do for the user; some window managers take it only from
// them.
constexpr std::uint32_t kSourcePager = 2;

// To the top of its layer.
void Raise(xcb_connection_t* connection, const SAtoms& atoms, xcb_window_t window)
{
    if (IsXSupportedByWindowManager(connection, atoms.restack)) {
        XSendToWindowManager(connection, window, atoms.restack,
                             {kSourcePager, XCB_WINDOW_NONE, XCB_STACK_MODE_ABOVE});
    } else {
        const std::uint32_t mode = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
    }
}

// Of the windows that appeared while the watch ran, the dialogs of other programs that overlap the window
// at `keptAbove`.
std::vector<std::uint32_t> DialogsToLift(const std::vector<SListedWindow>& appeared, const QRect& keptAbove)
{
    std::vector<std::uint32_t> lift;
    for (const SListedWindow& window : appeared) {
        if (window.dialog && !window.own && window.frame.intersects(keptAbove))
            lift.push_back(window.id);
    }
    return lift;
}

} // namespace
#endif

CForeignDialogWatch::CForeignDialogWatch(QWidget& window) : m_window(window) {}

CForeignDialogWatch::~CForeignDialogWatch()
{
    if (m_filtering && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void CForeignDialogWatch::Watch(int milliseconds)
{
#ifdef NIMO_HAVE_XCB
    xcb_connection_t* connection = XConnection();
    if (!connection)
        return;
    const SAtoms& atoms = AtomsOf(connection);
    if (!IsXSupportedByWindowManager(connection, atoms.above))
        return;
    const xcb_window_t root = XRootWindow(connection);
    if (!m_deadline.isActive()) {
        const std::vector<std::uint32_t> listed =
            XReadList(connection, root, atoms.clientList, XCB_ATOM_WINDOW);
        m_before = QSet<std::uint32_t>(listed.begin(), listed.end());
        m_lifted.clear();
    }
    m_deadline.start(milliseconds, this);
    if (m_filtering)
        return;
    // The window manager's lists are properties of the root window: their changes come as events, which
    // Qt may not have asked for.
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, root), nullptr);
    if (attributes && !(attributes->your_event_mask & XCB_EVENT_MASK_PROPERTY_CHANGE)) {
        const std::uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection);
    }
    std::free(attributes);
    QCoreApplication::instance()->installNativeEventFilter(this);
    m_filtering = true;
#else
    (void)milliseconds;
#endif
}

bool CForeignDialogWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
#ifdef NIMO_HAVE_XCB
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
        return false;
    xcb_connection_t* connection = XConnection();
    const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    if (!connection || notify->window != XRootWindow(connection))
        return false;
    const SAtoms& atoms = AtomsOf(connection);
    if (notify->atom == atoms.clientList || notify->atom == atoms.clientListStacking ||
        notify->atom == atoms.activeWindow)
        ScheduleUpdate();
#else
    (void)eventType;
    (void)message;
#endif
    return false;
}

void CForeignDialogWatch::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_deadline.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    Stop();
}

void CForeignDialogWatch::ScheduleUpdate()
{
    if (m_updateQueued)
        return;
    m_updateQueued = true;
    // Outside Qt's event dispatch: the update asks the server and sends requests of its own.
    QMetaObject::invokeMethod(this, &CForeignDialogWatch::Update, Qt::QueuedConnection);
}

void CForeignDialogWatch::Update()
{
    m_updateQueued = false;
#ifdef NIMO_HAVE_XCB
    xcb_connection_t* connection = XConnection();
    if (!connection || !m_filtering)
        return;
    const SAtoms& atoms = AtomsOf(connection);
    const xcb_window_t root = XRootWindow(connection);
    const std::vector<std::uint32_t> stacking =
        XReadList(connection, root, atoms.clientListStacking, XCB_ATOM_WINDOW);
    std::vector<SListedWindow> appeared;
    for (const std::uint32_t id : stacking) {
        if (!m_before.contains(id))
            appeared.push_back(Describe(connection, atoms, id));
    }

    QSet<std::uint32_t> lifted;
    const auto window = static_cast<xcb_window_t>(m_window.winId());
    for (const std::uint32_t dialog : DialogsToLift(appeared, FrameOf(connection, atoms, window))) {
        lifted.insert(dialog);
        if (m_lifted.contains(dialog))
            continue;
        // Into the keep-above layer and to its top, once: a window the user lowers later stays there.
        constexpr std::uint32_t kAdd = 1;
        XSendToWindowManager(connection, dialog, atoms.state, {kAdd, atoms.above, 0, kSourcePager});
        Raise(connection, atoms, dialog);
    }
    xcb_flush(connection);
    m_lifted = lifted;
#endif
}

void CForeignDialogWatch::Stop()
{
    m_deadline.stop();
    m_before.clear();
    m_lifted.clear();
    if (m_filtering && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    m_filtering = false;
}
