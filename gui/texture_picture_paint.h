// The engine's pictures (drawn without a toolkit) on a Qt painter: the image scaled into a
// rectangle, its texts drawn as real text on top, so that a saved SVG keeps them as text.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>

#include "core/picture.h"

namespace polydec::gui {

// The image without its texts, or with them drawn in the pixel font.
QImage ToQImage(const core::RasterImage& image);
// Draws the picture as large as fits the area, centred at its top, keeping its proportions.
void DrawEnginePicture(QPainter& p, const QRectF& area, const core::Picture& picture);

}  // namespace polydec::gui
