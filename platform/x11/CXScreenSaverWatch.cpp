#include "platform/x11/CXScreenSaverWatch.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include <utility>

#ifdef NIMO_HAVE_XCB_SAVER
#include "platform/x11/XConnection.h"

#include <xcb/dpms.h>
#include <xcb/screensaver.h>

#include <cstdlib>
#endif

namespace {

// How often DPMS is asked while the display is on, and while it is off: off, nobody waits for the lamp;
// on, the lamp wakes up when the display does.
constexpr int kPowerPollOnMs = 10000;
constexpr int kPowerPollOffMs = 1000;

} // namespace

CXScreenSaverWatch::CXScreenSaverWatch(std::function<void(bool)> onChange) : m_onChange(std::move(onChange))
{
#ifdef NIMO_HAVE_XCB_SAVER
    xcb_connection_t* c = XConnection();
    if (!c)
        return;
    const xcb_window_t root = XRootWindow(c);
    const xcb_query_extension_reply_t* saver = xcb_get_extension_data(c, &xcb_screensaver_id);
    if (saver && saver->present && root != XCB_WINDOW_NONE) {
        m_saverEventType = saver->first_event + XCB_SCREENSAVER_NOTIFY;
        QCoreApplication::instance()->installNativeEventFilter(this);
        xcb_screensaver_select_input(c, root, XCB_SCREENSAVER_EVENT_NOTIFY_MASK);
        if (xcb_screensaver_query_info_reply_t* info =
                xcb_screensaver_query_info_reply(c, xcb_screensaver_query_info(c, root), nullptr)) {
            m_saverOn = info->state == XCB_SCREENSAVER_STATE_ON;
            std::free(info);
        }
    }
    const xcb_query_extension_reply_t* dpms = xcb_get_extension_data(c, &xcb_dpms_id);
    if (dpms && dpms->present) {
        if (xcb_dpms_capable_reply_t* capable = xcb_dpms_capable_reply(c, xcb_dpms_capable(c), nullptr)) {
            if (capable->capable)
                PollPower();
            std::free(capable);
        }
    }
#endif
}

CXScreenSaverWatch::~CXScreenSaverWatch()
{
    if (m_saverEventType >= 0 && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void CXScreenSaverWatch::Set(bool& flag, bool value)
{
    const bool before = IsDark();
    flag = value;
    if (IsDark() != before && m_onChange)
        m_onChange(IsDark());
}

void CXScreenSaverWatch::PollPower()
{
#ifdef NIMO_HAVE_XCB_SAVER
    xcb_connection_t* c = XConnection();
    if (!c)
        return;
    bool off = false;
    if (xcb_dpms_info_reply_t* info = xcb_dpms_info_reply(c, xcb_dpms_info(c), nullptr)) {
        off = info->state && info->power_level != XCB_DPMS_DPMS_MODE_ON;
        std::free(info);
    }
    Set(m_powerOff, off);
    m_powerPoll.start(off ? kPowerPollOffMs : kPowerPollOnMs, this);
#endif
}

bool CXScreenSaverWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
#ifdef NIMO_HAVE_XCB_SAVER
    if (m_saverEventType < 0 || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) == m_saverEventType) {
        const auto* notify = static_cast<const xcb_screensaver_notify_event_t*>(message);
        Set(m_saverOn, notify->state == XCB_SCREENSAVER_STATE_ON);
    }
#else
    (void)eventType;
    (void)message;
#endif
    return false;
}

void CXScreenSaverWatch::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_powerPoll.timerId())
        PollPower();
    else
        QObject::timerEvent(event);
}
