#include "texture_picture_paint.h"

#include <QFont>
#include <algorithm>

namespace polydec::gui {

QImage ToQImage(const core::RasterImage& image) {
  QImage out(image.width, image.height, QImage::Format_RGB888);
  for (int y = 0; y < image.height; ++y) {
    uchar* line = out.scanLine(y);
    for (int x = 0; x < image.width; ++x) {
      const core::Rgb& px = image.pixels[static_cast<std::size_t>(y) * image.width + x];
      line[3 * x] = px.r;
      line[3 * x + 1] = px.g;
      line[3 * x + 2] = px.b;
    }
  }
  return out;
}

void DrawEnginePicture(QPainter& p, const QRectF& area, const core::Picture& picture) {
  if (picture.image.width <= 0 || picture.image.height <= 0) return;
  const double s = std::min(area.width() / picture.image.width,
                            area.height() / picture.image.height);
  if (!(s > 0)) return;
  const QRectF target(area.left() + (area.width() - s * picture.image.width) / 2, area.top(),
                      s * picture.image.width, s * picture.image.height);
  p.save();
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(target, ToQImage(picture.image));
  p.setPen(Qt::black);
  for (const core::PictureText& t : picture.texts) {
    QFont font = p.font();
    font.setPixelSize(std::max(1, static_cast<int>(9 * t.scale * s + 0.5)));
    p.setFont(font);
    // The pixel font's cell is 7 rows high: the baseline lies at its foot.
    p.drawText(QPointF(target.left() + t.x * s, target.top() + (t.y + 7 * t.scale) * s),
               QString::fromStdString(t.text));
  }
  p.restore();
}

}  // namespace polydec::gui
