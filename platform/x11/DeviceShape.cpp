#include "platform/x11/DeviceShape.h"

#include <QRegion>
#include <QWidget>

#include <cstdint>
#include <cstdlib>
#include <vector>

#ifdef NIMO_HAVE_XCB_SHAPE
#include "platform/x11/XConnection.h"

#include <xcb/shape.h>
#endif

bool SetDeviceShape(QWidget& window, const QRegion& deviceRegion, EShapeKind kind)
{
#ifdef NIMO_HAVE_XCB_SHAPE
    xcb_connection_t* c = XConnection();
    const auto id = static_cast<xcb_window_t>(window.internalWinId());
    if (!c || !id)
        return false;
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c, &xcb_shape_id);
    if (!shape || !shape->present)
        return false;
    std::vector<xcb_rectangle_t> rects;
    rects.reserve(std::size_t(deviceRegion.rectCount()));
    for (const QRect& r : deviceRegion)
        rects.push_back(
            {std::int16_t(r.x()), std::int16_t(r.y()), std::uint16_t(r.width()), std::uint16_t(r.height())});
    // An empty region is an empty shape, as a region of no rectangles is.
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_shape_rectangles_checked(
               c, XCB_SHAPE_SO_SET, kind == EShapeKind::Input ? XCB_SHAPE_SK_INPUT : XCB_SHAPE_SK_BOUNDING,
               XCB_CLIP_ORDERING_UNSORTED, id, 0, 0, std::uint32_t(rects.size()), rects.data()));
    std::free(error);
    return !error;
#else
    (void)window;
    (void)deviceRegion;
    (void)kind;
    return false;
#endif
}
