#include "platform/x11/CXcbWindowSurface.h"

#include "platform/core/DibInfo.h"
#include "platform/ui/CQtDrawTarget.h"

#include <QPainter>
#include <QRegion>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#ifdef NIMO_HAVE_XCB
#include "platform/x11/XConnection.h"

#ifdef NIMO_HAVE_XCB_SHM
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#endif
#endif

#ifdef NIMO_HAVE_XCB
struct CXcbWindowSurface::SConnection
{
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = 0;
    xcb_gcontext_t gc = 0;
    std::uint8_t depth = 0;
    std::size_t maxRequestBytes = 0;
    bool shmAvailable = false;
    // The staging image's pixels in memory the server reads itself: a frame then costs the server's copy
    // alone, not one more through the socket.
    std::uint32_t shmSegment = 0;
    void* shmPixels = nullptr;
};

namespace {

// Whether a ZPixmap of this depth is 32 bits a pixel in the order blue, green, red, x in memory.
bool TakesBgrx(xcb_connection_t* c, xcb_visualid_t visualId, std::uint8_t depth)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return false;
    bool format = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        format = format || (it.data->depth == depth && it.data->bits_per_pixel == 32);
    if (!format)
        return false;
    for (auto screen = xcb_setup_roots_iterator(setup); screen.rem; xcb_screen_next(&screen))
        for (auto d = xcb_screen_allowed_depths_iterator(screen.data); d.rem; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == visualId)
                    return d.data->depth == depth && v.data->red_mask == 0xFF0000 &&
                           v.data->green_mask == 0xFF00 && v.data->blue_mask == 0xFF;
    return false;
}

} // namespace
#else
struct CXcbWindowSurface::SConnection
{
};
#endif

std::unique_ptr<CXcbWindowSurface> CXcbWindowSurface::ForWindow(QWidget& window)
{
#ifdef NIMO_HAVE_XCB
    xcb_connection_t* c = XConnection();
    const auto id = static_cast<xcb_window_t>(window.winId());
    if (!c || !id)
        return nullptr;
    // Two round trips, once: which visual and depth Qt gave the window.
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr);
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
    const bool usable = attributes && geometry && TakesBgrx(c, attributes->visual, geometry->depth);
    auto x = std::make_unique<SConnection>();
    x->connection = c;
    x->window = id;
    x->depth = geometry ? geometry->depth : 0;
    std::free(attributes);
    std::free(geometry);
    if (!usable)
        return nullptr;
    x->gc = xcb_generate_id(c);
    const std::uint32_t noExposures = 0;
    xcb_create_gc(c, x->gc, id, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    x->maxRequestBytes = std::size_t(xcb_get_maximum_request_length(c)) * 4;
#ifdef NIMO_HAVE_XCB_SHM
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c, &xcb_shm_id);
    x->shmAvailable = shm && shm->present;
#endif
    return std::unique_ptr<CXcbWindowSurface>(new CXcbWindowSurface(window, std::move(x)));
#else
    (void)window;
    return nullptr;
#endif
}

CXcbWindowSurface::CXcbWindowSurface(QWidget& window, std::unique_ptr<SConnection> x)
    : m_window(window), m_x(std::move(x))
{
}

CXcbWindowSurface::~CXcbWindowSurface()
{
    ReleaseShared();
#ifdef NIMO_HAVE_XCB
    if (m_x->gc)
        xcb_free_gc(m_x->connection, m_x->gc);
#endif
}

QImage& CXcbWindowSurface::Canvas()
{
    const qreal ratio = m_window.devicePixelRatioF();
    const QSize device = (QSizeF(m_window.size()) * ratio).toSize();
    if (m_canvas.size() != device || m_canvas.devicePixelRatio() != ratio) {
        ReleaseShared();
        m_sent = QImage();
        if (m_matte.isNull()) {
            m_canvas = SharedImage(device);
        } else {
            m_canvas = QImage();
            m_sent = SharedImage(device);
            if (m_sent.isNull())
                m_sent = QImage(device, QImage::Format_ARGB32_Premultiplied);
            if (m_matte.size() != device)
                m_matte = m_matte.scaled(device);
        }
        if (m_canvas.isNull())
            m_canvas = QImage(device, QImage::Format_RGB32);
        m_canvas.fill(Qt::black);
        m_canvas.setDevicePixelRatio(ratio);
    }
    return m_canvas;
}

void CXcbWindowSurface::SetMatte(const QImage& matte)
{
    ReleaseShared();
    m_canvas = QImage();
    m_sent = QImage();
    const bool byteAPixel = matte.format() == QImage::Format_Alpha8 || matte.format() == QImage::Format_Grayscale8;
    m_matte = matte.isNull() || byteAPixel ? matte : matte.convertToFormat(QImage::Format_Alpha8);
}

void CXcbWindowSurface::ApplyMatte(int top, int bottom)
{
    const int width = m_canvas.width();
    for (int y = top; y < bottom; ++y) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(m_canvas.constScanLine(y));
        const std::uint8_t* alpha = m_matte.constScanLine(y);
        auto* out = reinterpret_cast<std::uint32_t*>(m_sent.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const std::uint32_t a = alpha[x];
            if (a == 255) {
                out[x] = in[x] | 0xFF000000u;
            } else if (a == 0) {
                out[x] = 0;
            } else {
                // Each channel times a / 255, rounded, as the compositor expects premultiplied pixels.
                std::uint32_t pixel = a << 24;
                for (int shift = 0; shift < 24; shift += 8) {
                    const std::uint32_t t = ((in[x] >> shift) & 0xFF) * a + 128;
                    pixel |= ((t + (t >> 8)) >> 8) << shift;
                }
                out[x] = pixel;
            }
        }
    }
}

QImage CXcbWindowSurface::SharedImage(const QSize& size)
{
#if defined(NIMO_HAVE_XCB) && defined(NIMO_HAVE_XCB_SHM)
    if (!m_x->shmAvailable || size.isEmpty())
        return QImage();
    const std::size_t bytes = std::size_t(size.width()) * 4 * std::size_t(size.height());
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return QImage();
    void* pixels = shmat(id, nullptr, 0);
    xcb_connection_t* c = m_x->connection;
    const std::uint32_t segment = xcb_generate_id(c);
    xcb_generic_error_t* error = nullptr;
    if (pixels != reinterpret_cast<void*>(-1))
        error = xcb_request_check(c, xcb_shm_attach_checked(c, segment, std::uint32_t(id), 1));
    // Gone once both sides have let go of it, also if the program crashes.
    shmctl(id, IPC_RMID, nullptr);
    if (pixels == reinterpret_cast<void*>(-1) || error) {
        std::free(error);
        if (pixels != reinterpret_cast<void*>(-1))
            shmdt(pixels);
        // A server that cannot reach our memory (another machine) gets the pixels through the socket.
        m_x->shmAvailable = false;
        return QImage();
    }
    m_x->shmSegment = segment;
    m_x->shmPixels = pixels;
    return QImage(static_cast<uchar*>(pixels), size.width(), size.height(), size.width() * 4,
                  QImage::Format_RGB32);
#else
    (void)size;
    return QImage();
#endif
}

void CXcbWindowSurface::ReleaseShared()
{
#if defined(NIMO_HAVE_XCB) && defined(NIMO_HAVE_XCB_SHM)
    if (!m_x->shmPixels)
        return;
    m_canvas = QImage();
    m_sent = QImage();
    xcb_shm_detach(m_x->connection, m_x->shmSegment);
    // The server must be done with the pixels before they go.
    std::free(xcb_get_input_focus_reply(m_x->connection, xcb_get_input_focus(m_x->connection), nullptr));
    shmdt(m_x->shmPixels);
    m_x->shmPixels = nullptr;
    m_x->shmSegment = 0;
#endif
}

int CXcbWindowSurface::StretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY,
                                     int srcWidth, int srcHeight, const void* bits, const void* info,
                                     unsigned usage, std::uint32_t rop)
{
    QImage& canvas = Canvas();
    const qreal ratio = canvas.devicePixelRatio();
    SDibInfo dib;
    // The lamp's frames: 32-bit rows that cover device pixels one to one.
    const QRect device(QPointF(x * ratio, y * ratio).toPoint(), QSize(srcWidth, srcHeight));
    if (bits && info && rop == kSrcCopy && ReadDibInfo(info, dib) && dib.depth == 32 && srcX >= 0 &&
        srcY >= 0 && srcWidth > 0 && srcHeight > 0 && srcX + srcWidth <= dib.width &&
        srcY + srcHeight <= dib.height && qRound(destWidth * ratio) == srcWidth &&
        qRound(destHeight * ratio) == srcHeight) {
        // (srcX, srcY) is the lower-left corner of the source counted from the picture's bottom row.
        const int firstRow = dib.bottomUp ? srcY : dib.height - srcY - srcHeight;
        const QRect part = device.intersected(canvas.rect());
        const auto* rows = static_cast<const std::uint8_t*>(bits);
        for (int sy = part.top(); sy <= part.bottom(); ++sy) {
            const int memoryRow = DibMemoryRow(dib, firstRow, srcHeight, sy - device.top());
            const std::uint8_t* src = rows + memoryRow * dib.stride + (srcX + part.left() - device.left()) * 4;
            auto* dst = reinterpret_cast<std::uint32_t*>(canvas.scanLine(sy)) + part.left();
            std::memcpy(dst, src, std::size_t(part.width()) * 4);
        }
        return srcHeight;
    }
    QPainter painter(&canvas);
    return CQtDrawTarget(painter).StretchDIBits(x, y, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight,
                                                bits, info, usage, rop);
}

int CXcbWindowSurface::SetDIBitsToDevice(int x, int y, unsigned width, unsigned height, int srcX, int srcY,
                                         unsigned startScan, unsigned scanLines, const void* bits,
                                         const void* info, unsigned usage)
{
    QPainter painter(&Canvas());
    return CQtDrawTarget(painter).SetDIBitsToDevice(x, y, width, height, srcX, srcY, startScan, scanLines,
                                                    bits, info, usage);
}

void CXcbWindowSurface::Present(const QRegion& region)
{
#ifdef NIMO_HAVE_XCB
    const QImage& canvas = Canvas();
    const qreal ratio = canvas.devicePixelRatio();
    // Whole rows are contiguous in the image: one request carries a band of them.
    const QRect logical = region.boundingRect();
    const int top = std::max(0, int(std::floor(logical.top() * ratio)));
    const int bottom = std::min(canvas.height(), int(std::ceil((logical.bottom() + 1) * ratio)));
    if (!m_matte.isNull())
        ApplyMatte(top, bottom);
    const QImage& sent = m_matte.isNull() ? canvas : m_sent;
#ifdef NIMO_HAVE_XCB_SHM
    if (m_x->shmPixels) {
        // No completion event is asked for: the next frame is written a frame's interval later, long after
        // the server has copied this one, and an exposure repaints the same frame.
        xcb_shm_put_image(m_x->connection, m_x->window, m_x->gc, std::uint16_t(sent.width()),
                          std::uint16_t(sent.height()), 0, std::uint16_t(top), std::uint16_t(sent.width()),
                          std::uint16_t(std::max(0, bottom - top)), 0, std::int16_t(top), m_x->depth,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, 0, m_x->shmSegment, 0);
        xcb_flush(m_x->connection);
        return;
    }
#endif
    const auto stride = std::size_t(sent.bytesPerLine());
    const std::size_t header = 24;
    const int band = int(std::max<std::size_t>(1, (m_x->maxRequestBytes - header) / stride));
    for (int row = top; row < bottom; row += band) {
        const int rows = std::min(band, bottom - row);
        xcb_put_image(m_x->connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_x->window, m_x->gc, std::uint16_t(sent.width()),
                      std::uint16_t(rows), 0, std::int16_t(row), 0, m_x->depth, std::uint32_t(rows * stride),
                      sent.constScanLine(row));
    }
    xcb_flush(m_x->connection);
#else
    (void)region;
#endif
}
