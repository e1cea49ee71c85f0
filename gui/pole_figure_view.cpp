#include "pole_figure_view.h"

#include <QHBoxLayout>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/text_fields.h"
#include "picture_file.h"

namespace polydec::gui {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Levels of the colour scale in m.r.d.: the usual contour steps up to the maximum.
std::vector<double> Levels(double maximum) {
  std::vector<double> levels;
  for (double l : {0.5, 1.0, 1.5, 2.0, 3.0, 4.0, 6.0, 8.0, 12.0, 16.0, 24.0, 32.0})
    if (l < maximum) levels.push_back(l);
  return levels;
}

// A colour for level band i of n: white below 0.5 m.r.d. through blue, green, yellow to red.
QColor BandColour(std::size_t band, std::size_t bands) {
  if (band == 0) return QColor(255, 255, 255);
  const double t = bands <= 1 ? 1.0 : static_cast<double>(band - 1) / static_cast<double>(bands - 1);
  return QColor::fromHsvF(0.66 * (1 - t), 0.75, 0.95);
}

std::size_t BandOf(double mrd, const std::vector<double>& levels) {
  std::size_t b = 0;
  while (b < levels.size() && mrd >= levels[b]) ++b;
  return b;
}

// Equal-area projection of a sample direction (tilt psi, azimuth phi, radians) into a circle
// of radius R: r = R sqrt(2) sin(psi / 2), X to the right, Y up.
QPointF Project(QPointF centre, double R, double psi, double phi) {
  const double r = R * std::sqrt(2.0) * std::sin(psi / 2);
  return {centre.x() + r * std::cos(phi), centre.y() - r * std::sin(phi)};
}

QString Number(double x) { return QString::fromStdString(core::FormatPadded(x, 1, 2)); }

}  // namespace

void PaintPoleFigure(QPainter& p, const QRectF& area, const texture::PoleFigureRec& pf) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(area, Qt::white);
  const double legendWidth = 150;
  const double R = std::max(10.0, std::min(area.width() - legendWidth - 60, area.height() - 80) / 2);
  const QPointF centre(area.left() + 30 + R, area.top() + 45 + R);
  if (pf.integral.empty() || !(pf.mean > 0)) {
    p.drawText(area, Qt::AlignCenter, "No pole figure");
    p.restore();
    return;
  }
  const std::vector<double> levels = Levels(static_cast<double>(pf.MaxMrd()));
  const std::size_t bands = levels.size() + 1;

  // Each grid point colours the patch of +-2.5 degrees around it.
  p.setPen(Qt::NoPen);
  const double h = 2.5 * kPi / 180;
  for (int t = 0; t < texture::kPoleFigureTilts; ++t) {
    const double psi = 5.0 * t * kPi / 180;
    const double p0 = std::max(0.0, psi - h), p1 = std::min(kPi / 2, psi + h);
    for (int a = 0; a < texture::kPoleFigureAzimuths; ++a) {
      const double phi = 5.0 * a * kPi / 180;
      QPainterPath patch;
      patch.moveTo(Project(centre, R, p0, phi - h));
      for (int k = 0; k <= 4; ++k) patch.lineTo(Project(centre, R, p1, phi - h + k * h / 2));
      for (int k = 4; k >= 0; --k) patch.lineTo(Project(centre, R, p0, phi - h + k * h / 2));
      patch.closeSubpath();
      const QColor c = BandColour(BandOf(static_cast<double>(pf.Mrd(t, a)), levels), bands);
      p.setBrush(c);
      p.setPen(QPen(c, 0.8));
      p.drawPath(patch);
    }
  }

  // Rim, sample axes and title.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::black, 1.5));
  p.drawEllipse(centre, R, R);
  p.setPen(QPen(Qt::black, 0.8, Qt::DashLine));
  p.drawLine(QPointF(centre.x() - R, centre.y()), QPointF(centre.x() + R, centre.y()));
  p.drawLine(QPointF(centre.x(), centre.y() - R), QPointF(centre.x(), centre.y() + R));
  p.setPen(Qt::black);
  QFont font = p.font();
  font.setPointSizeF(10);
  p.setFont(font);
  p.drawText(QPointF(centre.x() + R + 6, centre.y() + 4), "X");
  p.drawText(QPointF(centre.x() - 4, centre.y() - R - 6), "Y");
  p.drawText(QPointF(centre.x() + 4, centre.y() - 4), "Z");
  const auto whole = [](core::Real x) { return QString::number(static_cast<long long>(std::lround(x))); };
  p.drawText(QPointF(area.left() + 10, area.top() + 20),
             QString("{%1 %2 %3} pole figure, equal-area projection")
                 .arg(whole(pf.h), whole(pf.k), whole(pf.l)));

  // Colour scale with its levels, maximum and minimum.
  const double x0 = centre.x() + R + 40, y0 = area.top() + 50, box = 18;
  p.drawText(QPointF(x0, y0 - 10), "m.r.d.");
  for (std::size_t b = bands; b-- > 0;) {
    const double y = y0 + static_cast<double>(bands - 1 - b) * box;
    p.setBrush(BandColour(b, bands));
    p.setPen(Qt::black);
    p.drawRect(QRectF(x0, y, box, box));
    const QString label = b == 0 ? "< " + Number(levels.empty() ? 0 : levels[0])
                                 : QString(">= ") + Number(levels[b - 1]);
    p.drawText(QPointF(x0 + box + 6, y + box - 4), label);
  }
  const double yText = y0 + static_cast<double>(bands) * box + 24;
  p.drawText(QPointF(x0, yText), "max = " + Number(static_cast<double>(pf.MaxMrd())));
  p.drawText(QPointF(x0, yText + 18), "min = " + Number(static_cast<double>(pf.MinMrd())));
  p.restore();
}

PoleFigureView::PoleFigureView(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("PoleFigureView");
  setWindowTitle("Pole figure");
  auto* layout = new QVBoxLayout(this);
  layout->addStretch(1);
  layout->addLayout(SavePictureButtons(this, "SavePoleFigure", [this](bool svg) { AskAndSave(svg); }));
  resize(720, 600);
}

void PoleFigureView::SetPoleFigure(const texture::PoleFigureRec& pf) {
  pf_ = pf;
  update();
}

void PoleFigureView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  PaintPoleFigure(p, QRectF(0, 0, width(), height() - 40), pf_);
}

bool PoleFigureView::SavePng(const QString& file, QSize size) const {
  return !SavePngPicture(file, size, [this](QPainter& p, QSize s) {
    PaintPoleFigure(p, QRectF(QPointF(0, 0), s), pf_);
  });
}

bool PoleFigureView::SaveSvg(const QString& file, QSize size) const {
  return !SaveSvgPicture(file, size, "Pole figure", [this](QPainter& p, QSize s) {
    PaintPoleFigure(p, QRectF(QPointF(0, 0), s), pf_);
  });
}

void PoleFigureView::AskAndSave(bool svg) {
  const QString file = AskPictureFile(this, svg, "pole figure", "polefigure");
  if (file.isEmpty()) return;
  if (!(svg ? SaveSvg(file) : SavePng(file)))
    QMessageBox::warning(this, "Pole figure", "The picture could not be written to " + file);
}

}  // namespace polydec::gui
