#include "pole_figure_view.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "picture_file.h"
#include "texture/texture_picture.h"
#include "texture_picture_paint.h"

namespace polydec::gui {

void PaintPoleFigure(QPainter& p, const QRectF& area, const texture::PoleFigureRec& pf,
                     bool bands) {
  p.save();
  p.fillRect(area, Qt::white);
  if (pf.integral.empty() || !(pf.mean > 0)) {
    p.drawText(area, Qt::AlignCenter, "No pole figure");
    p.restore();
    return;
  }
  texture::ContourStyle style;
  style.bands = bands;
  DrawEnginePicture(p, area, texture::DrawPoleFigures({texture::PanelOf(pf)}, style));
  p.restore();
}

PoleFigureView::PoleFigureView(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("PoleFigureView");
  setWindowTitle("Pole figure");
  auto* layout = new QVBoxLayout(this);
  layout->addStretch(1);
  QHBoxLayout* buttons =
      SavePictureButtons(this, "SavePoleFigure", [this](bool svg) { AskAndSave(svg); });
  bandsBox_ = new QCheckBox("Level bands", this);
  bandsBox_->setObjectName("PoleFigureBands");
  bandsBox_->setToolTip("Flat colours between the contour levels instead of the smooth scale");
  connect(bandsBox_, &QCheckBox::toggled, this, [this] { update(); });
  buttons->insertWidget(0, bandsBox_);
  layout->addLayout(buttons);
  resize(720, 600);
}

void PoleFigureView::SetPoleFigure(const texture::PoleFigureRec& pf) {
  pf_ = pf;
  update();
}

void PoleFigureView::SetBands(bool bands) { bandsBox_->setChecked(bands); }

void PoleFigureView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  PaintPoleFigure(p, QRectF(0, 0, width(), height() - 40), pf_, bandsBox_->isChecked());
}

bool PoleFigureView::SavePng(const QString& file, QSize size) const {
  return !SavePngPicture(file, size, [this](QPainter& p, QSize s) {
    PaintPoleFigure(p, QRectF(QPointF(0, 0), s), pf_, bandsBox_->isChecked());
  });
}

bool PoleFigureView::SaveSvg(const QString& file, QSize size) const {
  return !SaveSvgPicture(file, size, "Pole figure", [this](QPainter& p, QSize s) {
    PaintPoleFigure(p, QRectF(QPointF(0, 0), s), pf_, bandsBox_->isChecked());
  });
}

void PoleFigureView::AskAndSave(bool svg) {
  const QString file = AskPictureFile(this, svg, "pole figure", "polefigure");
  if (file.isEmpty()) return;
  if (!(svg ? SaveSvg(file) : SavePng(file)))
    QMessageBox::warning(this, "Pole figure", "The picture could not be written to " + file);
}

}  // namespace polydec::gui
