#include "sin2psi_plot.h"

#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QFileDialog>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScatterSeries>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <vector>

#include "picture_file.h"
#include "qt_text.h"

namespace polydec::gui {

using workbench::PlotAzimuth;
using workbench::PlotLine;
using workbench::PlotQuantity;
using workbench::PlotRange;
using workbench::Sin2PsiPlotData;

namespace {

// Well distinguishable colours for the azimuths; further ones go round the hue circle.
QColor AzimuthColour(std::size_t k) {
  static const QColor kColours[] = {{31, 119, 180}, {214, 39, 40},  {44, 160, 44},
                                    {255, 127, 14}, {148, 103, 189}, {140, 86, 75},
                                    {227, 119, 194}, {23, 190, 207}};
  constexpr std::size_t n = std::size(kColours);
  if (k < n) return kColours[k];
  return QColor::fromHsvF(std::fmod(0.13 * static_cast<double>(k), 1.0), 0.8, 0.8);
}

double D(core::Real x) { return static_cast<double>(x); }

QString PhiText(core::Real phi) {
  return "φ = " + QString::number(D(phi), 'g', 6) + "°";
}

// A round tick step (1, 2 or 5 times a power of ten) giving about `ticks` intervals.
double NiceStep(double span, int ticks) {
  if (!(span > 0)) return 1;
  const double raw = span / std::max(1, ticks);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0})
    if (m * power >= raw) return m * power;
  return 10 * power;
}

// The chart's axis on that side, made the first time: the axes stay while the data change.
// The range is the data's; the ticks fall on round values inside it and their labels have as
// many decimals as the step needs.
QValueAxis* Axis(QChart* chart, Qt::Alignment side, const QString& title, const PlotRange& r,
                 int ticks) {
  QValueAxis* axis = nullptr;
  for (QAbstractAxis* a : chart->axes())
    if (a->alignment() == side) axis = qobject_cast<QValueAxis*>(a);
  if (axis == nullptr) {
    axis = new QValueAxis;
    QFont labels = axis->labelsFont();
    labels.setPointSizeF(8);
    axis->setLabelsFont(labels);
    QFont titles = axis->titleFont();
    titles.setPointSizeF(9);
    axis->setTitleFont(titles);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    chart->addAxis(axis, side);
  }
  axis->setTitleText(title);
  axis->setTitleVisible(!title.isEmpty());
  axis->setRange(D(r.min), D(r.max));
  const double step = NiceStep(D(r.max - r.min), ticks);
  axis->setTickInterval(step);
  const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 12);
  axis->setLabelFormat("%." + QString::number(decimals) + "f");
  return axis;
}

void Attach(QChart* chart, QAbstractSeries* s, QValueAxis* x, QValueAxis* y, bool inLegend) {
  chart->addSeries(s);
  s->attachAxis(x);
  s->attachAxis(y);
  if (!inLegend)
    for (QLegendMarker* m : chart->legend()->markers(s)) m->setVisible(false);
}

// Error bars of the points of one azimuth: a vertical line of ±u with short caps, drawn over
// the plot area of the chart in the series' coordinates.
class ErrorBars : public QGraphicsItem {
 public:
  ErrorBars(QChart* chart, QAbstractSeries* series, std::vector<QPointF> points,
            std::vector<double> errors, QColor colour)
      : QGraphicsItem(chart),
        chart_(chart),
        series_(series),
        points_(std::move(points)),
        errors_(std::move(errors)),
        colour_(colour),
        area_(chart->plotArea()) {
    setZValue(4);  // under the markers, over the grid
  }
  QRectF boundingRect() const override { return area_; }
  // The chart has laid itself out anew: the bars move with its plot area.
  void Refit() {
    prepareGeometryChange();
    area_ = chart_->plotArea();
    update();
  }
  void paint(QPainter* p, const QStyleOptionGraphicsItem*, QWidget*) override {
    p->save();
    p->setClipRect(chart_->plotArea());
    p->setPen(QPen(colour_, 1.2));
    constexpr double cap = 3;
    for (std::size_t k = 0; k < points_.size(); ++k) {
      if (!(errors_[k] > 0)) continue;
      const QPointF lo = chart_->mapToPosition({points_[k].x(), points_[k].y() - errors_[k]}, series_);
      const QPointF hi = chart_->mapToPosition({points_[k].x(), points_[k].y() + errors_[k]}, series_);
      p->drawLine(lo, hi);
      p->drawLine(QPointF(lo.x() - cap, lo.y()), QPointF(lo.x() + cap, lo.y()));
      p->drawLine(QPointF(hi.x() - cap, hi.y()), QPointF(hi.x() + cap, hi.y()));
    }
    p->restore();
  }

 private:
  QChart* chart_;
  QAbstractSeries* series_;
  std::vector<QPointF> points_;
  std::vector<double> errors_;
  QColor colour_;
  QRectF area_;
};

void WatchPlotArea(QChart* chart) {
  QObject::connect(chart, &QChart::plotAreaChanged, chart, [chart] {
    for (QGraphicsItem* item : chart->childItems())
      if (auto* bars = dynamic_cast<ErrorBars*>(item)) bars->Refit();
  });
}

QScatterSeries* Markers(const QString& name, const QColor& colour, bool filled, double size) {
  auto* s = new QScatterSeries;
  s->setName(name);
  s->setMarkerShape(QScatterSeries::MarkerShapeCircle);
  s->setMarkerSize(size);
  s->setPen(QPen(colour, 1.6));
  s->setBrush(filled ? QBrush(colour) : QBrush(Qt::white));
  return s;
}

QLineSeries* Line(const PlotLine& line, const QColor& colour, Qt::PenStyle style) {
  auto* s = new QLineSeries;
  for (const workbench::PlotXY& p : line.points) s->append(D(p.x), D(p.y));
  s->setPen(QPen(colour, 1.5, style));
  return s;
}

void Clear(QChart* chart) {
  chart->removeAllSeries();
  for (QGraphicsItem* item : chart->childItems())
    if (dynamic_cast<ErrorBars*>(item) != nullptr) delete item;
}

// Fills the two charts from the plot data: the same drawing for the screen and the files.
// A picture carries its title; on the screen the panel's caption says it.
QString Title(const Sin2PsiPlotData& data) {
  return data.Empty() ? QString("sin²ψ plot")
                      : "sin²ψ plot of data set \"" + ToQt(data.label) + "\"";
}

QString Caption(const Sin2PsiPlotData& data) {
  return data.Empty() ? QString("sin²ψ plot") : "Data set \"" + ToQt(data.label) + "\":";
}

void Draw(QChart* main, QChart* residual, const Sin2PsiPlotData& data, bool titled) {
  Clear(main);
  Clear(residual);
  const bool strain = data.quantity == PlotQuantity::kStrain;
  // Chart texts are rich text: a label's "<" or "&" must not start markup.
  main->setTitle(titled ? Title(data).toHtmlEscaped() : QString());
  const PlotRange xr = workbench::Sin2PsiRange(data);
  QValueAxis* x = Axis(main, Qt::AlignBottom, ToQt(data.xTitle), xr, 6);
  QValueAxis* y = Axis(main, Qt::AlignLeft, ToQt(data.yTitle), workbench::ValueRange(data), 6);
  // The strip shares the plot's sin²ψ axis and titles it there.
  QValueAxis* rx = Axis(residual, Qt::AlignBottom, QString(), xr, 6);
  QValueAxis* ry =
      Axis(residual, Qt::AlignLeft, ToQt(data.residualTitle), workbench::ResidualRange(data), 3);

  auto* zero = new QLineSeries;
  zero->append(D(xr.min), 0);
  zero->append(D(xr.max), 0);
  zero->setPen(QPen(Qt::gray, 1, Qt::DashLine));
  Attach(residual, zero, rx, ry, false);

  // Each series is one reflection at one azimuth; the reflection is named where there are several.
  bool severalReflections = false;
  for (const PlotAzimuth& a : data.azimuths)
    severalReflections |= a.reflection != data.azimuths.front().reflection;
  for (std::size_t k = 0; k < data.azimuths.size(); ++k) {
    const PlotAzimuth& a = data.azimuths[k];
    const QColor colour = AzimuthColour(k);
    const QString series =
        (severalReflections ? ToQt(a.reflection) + ", " : QString()) + PhiText(a.phi);
    // Lines first, so that the markers lie on top of them.
    for (const PlotLine& l : a.fitLines)
      Attach(main, Line(l, colour, strain ? Qt::DotLine : Qt::SolidLine), x, y, false);
    for (const PlotLine& l : a.azimuthLines) Attach(main, Line(l, colour, Qt::SolidLine), x, y, false);

    QScatterSeries* filled = nullptr;
    QScatterSeries* open = nullptr;
    std::vector<QPointF> barPoints;
    std::vector<double> barErrors;
    for (const workbench::PlotPoint& p : a.points) {
      QScatterSeries*& s = p.positivePsi ? filled : open;
      if (s == nullptr)
        s = Markers(series + (p.positivePsi ? "" : ", ψ &lt; 0"), colour, p.positivePsi, 9);
      s->append(D(p.sin2psi), D(p.value));
      barPoints.emplace_back(D(p.sin2psi), D(p.value));
      barErrors.push_back(D(p.error));
    }
    for (QScatterSeries* s : {filled, open})
      if (s != nullptr) Attach(main, s, x, y, true);
    if (filled != nullptr || open != nullptr)
      new ErrorBars(main, filled != nullptr ? filled : open, barPoints, barErrors, colour);

    QScatterSeries* rFilled = nullptr;
    QScatterSeries* rOpen = nullptr;
    for (const workbench::PlotResidual& r : a.residuals) {
      QScatterSeries*& s = r.positivePsi ? rFilled : rOpen;
      if (s == nullptr) s = Markers(series, colour, r.positivePsi, 7);
      s->append(D(r.sin2psi), D(r.value));
    }
    for (QScatterSeries* s : {rFilled, rOpen})
      if (s != nullptr) Attach(residual, s, rx, ry, false);
  }
  main->legend()->setVisible(!data.Empty());
  main->legend()->setAlignment(Qt::AlignRight);
  main->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
  residual->legend()->setVisible(false);
}

QChart* NewChart() {
  auto* chart = new QChart;
  chart->setBackgroundRoundness(0);
  chart->setMargins(QMargins(4, 4, 4, 4));
  QFont title = chart->titleFont();
  title.setPointSizeF(9);
  chart->setTitleFont(title);
  QFont legend = chart->legend()->font();
  legend.setPointSizeF(8);
  chart->legend()->setFont(legend);
  return chart;
}

// Widens the margins of the two charts so that their plot areas start and end at the same x:
// a residual then lies under its point. The charts must have been laid out.
void AlignPlotAreas(QChart* main, QChart* residual) {
  const QMargins base(4, 4, 4, 4);
  main->setMargins(base);
  residual->setMargins(base);
  main->layout()->activate();
  residual->layout()->activate();
  const QRectF m = main->plotArea(), r = residual->plotArea();
  if (m.isEmpty() || r.isEmpty()) return;
  const int left = static_cast<int>(std::lround(m.left() - r.left()));
  const int right = static_cast<int>(std::lround(r.right() - m.right()));
  QMargins mainMargins = base, residualMargins = base;
  (left > 0 ? residualMargins : mainMargins).setLeft(base.left() + std::abs(left));
  (right > 0 ? residualMargins : mainMargins).setRight(base.right() + std::abs(right));
  main->setMargins(mainMargins);
  residual->setMargins(residualMargins);
  main->layout()->activate();
  residual->layout()->activate();
}

// The share of the picture's height the residual strip takes.
constexpr double kResidualShare = 0.28;

// Draws the plot into a painter at the given size, from charts of their own, so that the
// picture does not depend on the size of the panel on the screen.
void Render(QPainter& p, QSize size, const Sin2PsiPlotData& data) {
  QGraphicsScene scene;
  QChart* main = NewChart();
  QChart* residual = NewChart();
  scene.addItem(main);
  scene.addItem(residual);
  WatchPlotArea(main);
  Draw(main, residual, data, true);
  const double h = size.height(), w = size.width();
  const double split = std::round(h * (1 - kResidualShare));
  main->setGeometry(QRectF(0, 0, w, split));
  residual->setGeometry(QRectF(0, split, w, h - split));
  // Let the charts lay out their axes and series for the new geometry.
  AlignPlotAreas(main, residual);
  scene.setSceneRect(0, 0, w, h);
  p.fillRect(QRectF(0, 0, w, h), Qt::white);
  scene.render(&p, QRectF(0, 0, w, h), QRectF(0, 0, w, h));
}

}  // namespace

Sin2PsiPlotView::Sin2PsiPlotView(QWidget* parent) : QWidget(parent) {
  setObjectName("Sin2PsiPlot");
  main_ = NewChart();
  residual_ = NewChart();
  WatchPlotArea(main_);
  mainView_ = new QChartView(main_, this);
  mainView_->setObjectName("Sin2PsiPlotView");
  mainView_->setRenderHint(QPainter::Antialiasing);
  residualView_ = new QChartView(residual_, this);
  residualView_->setObjectName("Sin2PsiResidualView");
  residualView_->setRenderHint(QPainter::Antialiasing);
  mainView_->setMinimumSize(200, 120);
  residualView_->setMinimumSize(200, 60);

  auto* charts = new QSplitter(Qt::Vertical, this);
  charts->setObjectName("Sin2PsiPlotSplitter");
  charts->addWidget(mainView_);
  charts->addWidget(residualView_);
  charts->setStretchFactor(0, 3);
  charts->setStretchFactor(1, 1);
  charts->setChildrenCollapsible(false);

  spacing_ = new QRadioButton("d", this);
  spacing_->setObjectName("PlotSpacingBtn");
  spacing_->setToolTip("Plot the measured lattice spacings d and the fitted d_calc");
  strain_ = new QRadioButton("strain", this);
  strain_->setObjectName("PlotStrainBtn");
  strain_->setToolTip(
      "Plot the strain (d - d0)/d0 with the lines of the per-azimuth sin²ψ regression (solid) "
      "and of the stress fit (dotted)");
  spacing_->setChecked(true);
  auto* group = new QButtonGroup(this);
  group->addButton(spacing_);
  group->addButton(strain_);
  auto* png = new QPushButton("Save PNG...", this);
  png->setObjectName("SaveSin2PsiPng");
  auto* svg = new QPushButton("Save SVG...", this);
  svg->setObjectName("SaveSin2PsiSvg");
  note_ = new QLabel(this);
  note_->setObjectName("Sin2PsiPlotNote");
  note_->setWordWrap(true);

  auto* buttons = new QHBoxLayout;
  caption_ = new QLabel(Caption(data_), this);
  caption_->setTextFormat(Qt::PlainText);
  caption_->setObjectName("Sin2PsiPlotCaption");
  buttons->addWidget(caption_);
  buttons->addSpacing(8);
  buttons->addWidget(spacing_);
  buttons->addWidget(strain_);
  buttons->addStretch(1);
  buttons->addWidget(png);
  buttons->addWidget(svg);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addLayout(buttons);
  layout->addWidget(charts, 1);
  layout->addWidget(note_);

  connect(strain_, &QRadioButton::toggled, this, [this] { emit QuantityChanged(); });
  connect(png, &QPushButton::clicked, this, [this] { AskAndSave(false); });
  connect(svg, &QPushButton::clicked, this, [this] { AskAndSave(true); });
  Draw(main_, residual_, data_, false);
  shown_ = true;
  mainView_->installEventFilter(this);
  residualView_->installEventFilter(this);
}

bool Sin2PsiPlotView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) ScheduleAlign();
  return QWidget::eventFilter(watched, event);
}

void Sin2PsiPlotView::ScheduleAlign() {
  if (alignPending_) return;
  alignPending_ = true;
  QTimer::singleShot(0, this, [this] {
    alignPending_ = false;
    AlignPlotAreas(main_, residual_);
  });
}

PlotQuantity Sin2PsiPlotView::Quantity() const {
  return strain_->isChecked() ? PlotQuantity::kStrain : PlotQuantity::kSpacing;
}

void Sin2PsiPlotView::SetQuantity(PlotQuantity quantity) {
  (quantity == PlotQuantity::kStrain ? strain_ : spacing_)->setChecked(true);
}

void Sin2PsiPlotView::SetData(const Sin2PsiPlotData& plot) {
  if (shown_ && plot == data_) return;
  data_ = plot;
  Draw(main_, residual_, data_, false);
  ScheduleAlign();
  caption_->setText(Caption(data_));
  note_->setText(ToQt(data_.note));
  note_->setVisible(!data_.note.empty());
  shown_ = true;
}

std::optional<std::string> Sin2PsiPlotView::SavePng(const QString& file, QSize size) const {
  return SavePngPicture(file, size, [this](QPainter& p, QSize s) {
    p.setRenderHint(QPainter::Antialiasing);
    Render(p, s, data_);
  });
}

std::optional<std::string> Sin2PsiPlotView::SaveSvg(const QString& file, QSize size) const {
  return SaveSvgPicture(file, size, "sin²ψ plot",
                        [this](QPainter& p, QSize s) { Render(p, s, data_); });
}

void Sin2PsiPlotView::AskAndSave(bool svg) {
  const QString file = QFileDialog::getSaveFileName(
      this, svg ? "Save sin²ψ plot as SVG" : "Save sin²ψ plot as PNG",
      svg ? "sin2psi.svg" : "sin2psi.png", svg ? "SVG picture (*.svg)" : "PNG picture (*.png)");
  if (file.isEmpty()) return;
  const std::optional<std::string> error = svg ? SaveSvg(file) : SavePng(file);
  if (error)
    QMessageBox::warning(this, "sin²ψ plot",
                         "The picture could not be written to " + file + ": " + ToQt(*error));
}

}  // namespace polydec::gui
