#include "picture_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QFileDialog>
#include <QPushButton>
#include <QImage>
#include <QSvgGenerator>
#include <string_view>

#include "core/atomic_file.h"
#include "qt_text.h"

namespace polydec::gui {

namespace {

std::optional<std::string> WriteBytes(const QString& file, const QByteArray& bytes) {
  return core::WriteFileAtomically(
      FromQt(file), std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace

std::optional<std::string> SavePngPicture(const QString& file, QSize size,
                                          const PaintPicture& paint) {
  QImage image(size, QImage::Format_ARGB32);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    paint(p, size);
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return std::string("the picture could not be encoded as PNG");
  return WriteBytes(file, bytes);
}

std::optional<std::string> SaveSvgPicture(const QString& file, QSize size, const QString& title,
                                          const PaintPicture& paint) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(size);
  svg.setViewBox(QRect(QPoint(0, 0), size));
  svg.setTitle(title);
  {
    QPainter p;
    if (!p.begin(&svg)) return std::string("the picture could not be drawn as SVG");
    paint(p, size);
    if (!p.end()) return std::string("the picture could not be drawn as SVG");
  }
  return WriteBytes(file, bytes);
}

QHBoxLayout* SavePictureButtons(QWidget* owner, const QString& name,
                                const std::function<void(bool)>& save) {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  for (const bool svg : {false, true}) {
    auto* button = new QPushButton(svg ? "Save SVG..." : "Save PNG...", owner);
    button->setObjectName(name + (svg ? "Svg" : "Png"));
    QObject::connect(button, &QPushButton::clicked, owner, [save, svg] { save(svg); });
    buttons->addWidget(button);
  }
  return buttons;
}

QString AskPictureFile(QWidget* parent, bool svg, const QString& what, const QString& baseName) {
  return QFileDialog::getSaveFileName(parent,
                                      "Save " + what + (svg ? " as SVG" : " as PNG"),
                                      baseName + (svg ? ".svg" : ".png"),
                                      svg ? "SVG picture (*.svg)" : "PNG picture (*.png)");
}

}  // namespace polydec::gui
