// A pole figure on the screen: the pole density of one reflection over the sample hemisphere
// in equal-area (Schmidt) projection as a smooth colour map with contour lines (or flat level
// bands), with the sample axes, a colour scale in multiples of random distribution and the
// maximum and minimum; savable as PNG and SVG. The drawing is the engine's, as the command
// line writes it.
#pragma once

#include <QWidget>
#include <string>

#include "texture/pole_figure.h"

class QCheckBox;
class QPainter;

namespace polydec::gui {

// Draws the figure into the rectangle (the same drawing for the screen, PNG and SVG).
void PaintPoleFigure(QPainter& p, const QRectF& area, const texture::PoleFigureRec& pf,
                     bool bands = false);

class PoleFigureView : public QWidget {
  Q_OBJECT
 public:
  explicit PoleFigureView(QWidget* parent = nullptr);
  void SetPoleFigure(const texture::PoleFigureRec& pf);
  // Flat level bands instead of the smooth colour scale (the "Level bands" box).
  void SetBands(bool bands);
  const texture::PoleFigureRec& PoleFigure() const { return pf_; }
  // Writes the figure; false when the file could not be written.
  bool SavePng(const QString& file, QSize size = QSize(720, 560)) const;
  bool SaveSvg(const QString& file, QSize size = QSize(720, 560)) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void AskAndSave(bool svg);
  texture::PoleFigureRec pf_;
  QWidget* canvas_ = nullptr;
  QCheckBox* bandsBox_ = nullptr;
};

}  // namespace polydec::gui
