// Pictures of the window's views saved as PNG or SVG: drawn in memory, then written through the
// program's one atomic writer, so a failed save leaves an existing picture as it was.
#pragma once

#include <QHBoxLayout>
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

// A row with "Save PNG..." and "Save SVG..." at its right, named <name>Png and <name>Svg, each
// calling save(svg) with false or true.
QHBoxLayout* SavePictureButtons(QWidget* owner, const QString& name,
                                const std::function<void(bool)>& save);
// Asks where to save a picture of `what` ("the plot") as PNG or SVG; empty when cancelled.
QString AskPictureFile(QWidget* parent, bool svg, const QString& what, const QString& baseName);

}  // namespace polydec::gui
