// Choosing reflections in the window: the table of every reflection family of the phase
// (sortable by any column, copyable as tab-separated text) beside the constants, the plot of
// 1/2 s2 or E_hkl against the orientation parameter for every model with the points labelled by
// hkl (savable as PNG and SVG), and the picture of the directional Young's modulus or linear
// compressibility in a window of its own.
#pragma once

#include <QString>
#include <QWidget>

#include "polydec/anisotropy.h"
#include "polydec/reflections.h"
#include "workbench/reflection_page.h"

class QComboBox;
class QLabel;
class QPainter;
class QTableWidget;

namespace polydec::gui {

// Draws the plot into the rectangle (the same drawing for the screen, PNG and SVG).
void PaintReflectionPlot(QPainter& p, const QRectF& area, const workbench::ReflectionPlot& plot);

class ReflectionPlotCanvas : public QWidget {
  Q_OBJECT
 public:
  explicit ReflectionPlotCanvas(QWidget* parent = nullptr);
  void SetPlot(workbench::ReflectionPlot plot);
  const workbench::ReflectionPlot& Plot() const { return plot_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  workbench::ReflectionPlot plot_;
};

class ReflectionView : public QWidget {
  Q_OBJECT
 public:
  explicit ReflectionView(QWidget* parent = nullptr);
  void SetTable(const ReflectionTable& table, CrystalClass crystalClass);
  QTableWidget* Table() const { return table_; }
  ReflectionPlotCanvas* PlotCanvas() const { return canvas_; }
  // The selected cells (the whole table when nothing is selected) as tab-separated lines with
  // the header, as "Copy" puts them on the clipboard.
  QString SelectionText() const;
  // Writes the plot; false when the file could not be written.
  bool SavePlotPng(const QString& file, QSize size = QSize(800, 560)) const;
  bool SavePlotSvg(const QString& file, QSize size = QSize(800, 560)) const;

 private:
  void UpdatePlot();
  void AskAndSave(bool svg);
  QTableWidget* table_ = nullptr;
  QComboBox* quantity_ = nullptr;
  ReflectionPlotCanvas* canvas_ = nullptr;
  std::optional<ReflectionTable> shown_;
  CrystalClass class_ = kCubic;
};

// The directional map of the single crystal with its extremes and anisotropy indices.
class DirectionalView : public QWidget {
  Q_OBJECT
 public:
  explicit DirectionalView(QWidget* parent = nullptr);
  void SetSurvey(const DirectionalSurvey& survey, const QString& material);
  const DirectionalSurvey& Survey() const { return survey_; }
  QString SummaryText() const;

 private:
  void AskAndSave(bool svg);
  DirectionalSurvey survey_;
  QLabel* picture_ = nullptr;
  QLabel* summary_ = nullptr;
};

}  // namespace polydec::gui
