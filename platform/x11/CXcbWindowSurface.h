#pragma once

#include "platform/core/CDrawTarget.h"

#include <QImage>

#include <memory>

class QRegion;
class QWidget;

// Draws a window's pictures straight to the X server. 32-bit rows drawn 1:1 are copied into one staging
// image of the window's size in device pixels, kept for the window's life, and sent with PutImage; anything
// else is painted onto that image through QPainter. Qt's backing store would copy each picture once more
// and wait for a round trip to the server before every frame, which is most of what a frame of the lamp
// costs. The window must have Qt::WA_PaintOnScreen set and return no paint engine.
class CXcbWindowSurface final : public CDrawTarget
{
public:
    // A surface for the window's native window, or null where pixels cannot go to it this way: no X
    // display, or a visual whose pixels are not 32-bit blue, green, red, x.
    static std::unique_ptr<CXcbWindowSurface> ForWindow(QWidget& window);
    ~CXcbWindowSurface() override;

    CXcbWindowSurface(const CXcbWindowSurface&) = delete;
    CXcbWindowSurface& operator=(const CXcbWindowSurface&) = delete;

    int StretchDIBits(int x, int y, int destWidth, int destHeight, int srcX, int srcY, int srcWidth,
                      int srcHeight, const void* bits, const void* info, unsigned usage,
                      std::uint32_t rop) override;
    int SetDIBitsToDevice(int x, int y, unsigned width, unsigned height, int srcX, int srcY,
                          unsigned startScan, unsigned scanLines, const void* bits, const void* info,
                          unsigned usage) override;

    // The staging image, in the window's logical coordinates, for what is painted with QPainter.
    QImage& Canvas();
    // For a window with an alpha channel (a 32-bit visual): each pixel's opacity, one byte a pixel in
    // device pixels (Format_Grayscale8 or Format_Alpha8), applied as premultiplied alpha to what is sent.
    // A matte of another size is scaled to the window's. Null (the default): every pixel opaque, the
    // fourth byte as drawn.
    void SetMatte(const QImage& matte);
    // Sends the staging image's rows that the region (logical coordinates) touches to the window.
    void Present(const QRegion& region);

private:
    struct SConnection;
    CXcbWindowSurface(QWidget& window, std::unique_ptr<SConnection> x);
    // An image in memory shared with the X server, or a null image where there is none.
    QImage SharedImage(const QSize& size);
    void ReleaseShared();
    // The canvas's rows top to bottom (exclusive) with the matte applied, into the image that is sent.
    void ApplyMatte(int top, int bottom);

    QWidget& m_window;
    std::unique_ptr<SConnection> m_x;
    QImage m_canvas;
    // With a matte: the canvas as drawn stays opaque (exposures send it again), and the sent pixels are
    // made in a second image, the one shared with the server.
    QImage m_matte;
    QImage m_sent;
};
