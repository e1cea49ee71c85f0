// Pictures of the window's views saved as PNG or SVG: drawn in memory, then written through the
// program's one atomic writer, so a failed save leaves an existing picture as it was.
#pragma once

#include <QPainter>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>
#include <string>

namespace polydec::gui {

// Draws the picture into a painter whose device is `size` large.
using PaintPicture = std::function<void(QPainter&, QSize)>;

// Empty on success, else why the picture was not written.
std::optional<std::string> SavePngPicture(const QString& file, QSize size,
                                          const PaintPicture& paint);
std::optional<std::string> SaveSvgPicture(const QString& file, QSize size, const QString& title,
                                          const PaintPicture& paint);

}  // namespace polydec::gui
