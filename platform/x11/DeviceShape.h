#pragma once

class QRegion;
class QWidget;

// Gives the window's native window the shape of the region, in device pixels; input follows the shape.
// Qt's own masks are in window pixels and at a ratio of 2 can only step two device pixels at a time.
// False where this cannot be done (not on X, no SHAPE extension, no native window, the server refused):
// the window then keeps what it had.
//
// The bounding shape is what the window covers; the input shape, where the mouse reaches it (within the
// bounding one). A window whose edge fades out covers more than takes the mouse.
enum class EShapeKind
{
    Bounding,
    Input
};
bool SetDeviceShape(QWidget& window, const QRegion& deviceRegion, EShapeKind kind = EShapeKind::Bounding);
