#pragma once

#include <QImage>
#include <QPainterPath>

// The product's name and the pictures made of lamp and name: the splash picture and the program icon.
namespace Emblem {

// "Nimo" as filled outlines, cap height 1, baseline at y = 0, starting at x = 0; drawn from strokes of
// our own so that no installed font is needed.
QPainterPath Lettering(double* advance);

// The product picture, 196 x 160 at scale 1, 392 x 320 at scale 2.
QImage Splash(int scale = 1);
QImage Icon(int size);

} // namespace Emblem
