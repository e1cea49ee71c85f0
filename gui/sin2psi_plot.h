// The sin²ψ plot panel of the "DEC/Stress/Strain" page: the measured d (or strain) of the
// selected data set against sin²ψ, one colour per azimuth, filled markers for ψ >= 0 and open
// ones for ψ < 0, error bars, the fitted lines, and the residual strip below; savable as PNG and
// SVG. It draws what the workbench's plot data say and computes nothing itself.
#pragma once

#include <QWidget>
#include <optional>
#include <string>

#include "workbench/sin2psi_plot_data.h"

class QChart;
class QChartView;
class QLabel;
class QRadioButton;

namespace polydec::gui {

class Sin2PsiPlotView : public QWidget {
  Q_OBJECT
 public:
  explicit Sin2PsiPlotView(QWidget* parent = nullptr);

  // Shows the data; nothing is redrawn when they equal those shown.
  void SetData(const workbench::Sin2PsiPlotData& plot);
  const workbench::Sin2PsiPlotData& Data() const { return data_; }
  workbench::PlotQuantity Quantity() const;
  void SetQuantity(workbench::PlotQuantity quantity);

  QChart* MainChart() const { return main_; }
  QChart* ResidualChart() const { return residual_; }

  // Writes the plot and its residual strip as one picture through the atomic writer; empty
  // on success, else why it failed.
  std::optional<std::string> SavePng(const QString& file, QSize size = QSize(900, 700)) const;
  std::optional<std::string> SaveSvg(const QString& file, QSize size = QSize(900, 700)) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  // The user switched between d and strain: the owner rebuilds the data.
  void QuantityChanged();

 private:
  void AskAndSave(bool svg);
  // Lines the strip's plot area up under the plot's once the views have their new size.
  void ScheduleAlign();
  bool alignPending_ = false;
  workbench::Sin2PsiPlotData data_;
  bool shown_ = false;  // data_ has been drawn
  QChart* main_ = nullptr;
  QChart* residual_ = nullptr;
  QChartView* mainView_ = nullptr;
  QChartView* residualView_ = nullptr;
  QRadioButton* spacing_ = nullptr;
  QRadioButton* strain_ = nullptr;
  QLabel* note_ = nullptr;
  QLabel* caption_ = nullptr;
};

}  // namespace polydec::gui
