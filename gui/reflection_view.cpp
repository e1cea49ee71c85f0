#include "reflection_view.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <map>

#include "picture_file.h"
#include "qt_text.h"

namespace polydec::gui {

namespace {

// A cell that sorts by its number where it holds one ("-" for an unreachable 2theta sorts
// last), by its text otherwise.
class NumberItem : public QTableWidgetItem {
 public:
  explicit NumberItem(const QString& text) : QTableWidgetItem(text) {
    bool ok = false;
    value_ = text.toDouble(&ok);
    numeric_ = ok;
    setTextAlignment(ok ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
  }
  bool operator<(const QTableWidgetItem& other) const override {
    const auto* o = dynamic_cast<const NumberItem*>(&other);
    if (o == nullptr || !numeric_ || !o->numeric_) {
      if (o != nullptr && numeric_ != o->numeric_) return numeric_;
      return text() < other.text();
    }
    return value_ < o->value_;
  }

 private:
  double value_ = 0;
  bool numeric_ = false;
};

const QColor kModelColours[] = {QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),
                                QColor(148, 103, 189), QColor(255, 127, 14)};

// Round steps of 1, 2 or 5 times a power of ten, about five over the range.
double TickStep(double span) {
  if (!(span > 0)) return 1;
  const double raw = span / 5, power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0})
    if (m * power >= raw) return m * power;
  return 10 * power;
}

}  // namespace

void PaintReflectionPlot(QPainter& p, const QRectF& area, const workbench::ReflectionPlot& plot) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(area, Qt::white);
  double xMin = 1e300, xMax = -1e300, yMin = 1e300, yMax = -1e300;
  for (const auto& s : plot.series)
    for (std::size_t i = 0; i < s.x.size(); ++i) {
      xMin = std::min(xMin, s.x[i]);
      xMax = std::max(xMax, s.x[i]);
      yMin = std::min(yMin, s.y[i]);
      yMax = std::max(yMax, s.y[i]);
    }
  if (xMin > xMax) {
    p.drawText(area, Qt::AlignCenter, "No reflections listed yet");
    p.restore();
    return;
  }
  const double xPad = std::max(0.05 * (xMax - xMin), 1e-3), yPad = std::max(0.08 * (yMax - yMin), 1e-3);
  xMin -= xPad;
  xMax += xPad;
  yMin -= yPad;
  yMax += yPad;
  const QRectF box = area.adjusted(70, 20, -150, -50);
  const auto X = [&](double x) { return box.left() + (x - xMin) / (xMax - xMin) * box.width(); };
  const auto Y = [&](double y) { return box.bottom() - (y - yMin) / (yMax - yMin) * box.height(); };

  p.setPen(QPen(Qt::black, 1));
  p.drawRect(box);
  const QFontMetricsF fm(p.font());
  for (const bool horizontal : {true, false}) {
    const double lo = horizontal ? xMin : yMin, hi = horizontal ? xMax : yMax;
    const double step = TickStep(hi - lo);
    for (double t = std::ceil(lo / step) * step; t <= hi; t += step) {
      const QString label = QString::number(std::abs(t) < step * 1e-9 ? 0.0 : t, 'g', 6);
      if (horizontal) {
        p.drawLine(QPointF(X(t), box.bottom()), QPointF(X(t), box.bottom() + 4));
        p.drawText(QPointF(X(t) - fm.horizontalAdvance(label) / 2, box.bottom() + 18), label);
      } else {
        p.drawLine(QPointF(box.left() - 4, Y(t)), QPointF(box.left(), Y(t)));
        p.drawText(QPointF(box.left() - 8 - fm.horizontalAdvance(label), Y(t) + 4), label);
      }
    }
  }
  p.drawText(QRectF(box.left(), box.bottom() + 24, box.width(), 20), Qt::AlignCenter,
             ToQt(plot.xLabel));
  p.save();
  p.translate(area.left() + 14, box.center().y());
  p.rotate(-90);
  p.drawText(QRectF(-box.height() / 2, -10, box.height(), 20), Qt::AlignCenter, ToQt(plot.yLabel));
  p.restore();

  for (std::size_t m = 0; m < plot.series.size(); ++m) {
    const auto& s = plot.series[m];
    const QColor colour = kModelColours[m % std::size(kModelColours)];
    // The points joined in the order of the parameter: a straight line is the Reuss line of a
    // cubic phase.
    std::vector<std::size_t> order(s.x.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return s.x[a] < s.x[b]; });
    p.setPen(QPen(colour, 1));
    for (std::size_t i = 1; i < order.size(); ++i)
      p.drawLine(QPointF(X(s.x[order[i - 1]]), Y(s.y[order[i - 1]])),
                 QPointF(X(s.x[order[i]]), Y(s.y[order[i]])));
    p.setBrush(colour);
    for (std::size_t i = 0; i < s.x.size(); ++i) p.drawEllipse(QPointF(X(s.x[i]), Y(s.y[i])), 3, 3);
    p.setBrush(Qt::NoBrush);
    const QPointF legend(box.right() + 12, box.top() + 14 + 18 * static_cast<double>(m));
    p.drawLine(legend, legend + QPointF(18, 0));
    p.setPen(Qt::black);
    p.drawText(legend + QPointF(24, 4), ToQt(s.model));
  }
  // Labels by hkl at the points of the last series (the inverse Kroener one, the highest), one
  // text per position: reflections of equal parameter share it.
  if (!plot.series.empty()) {
    const auto& s = plot.series.back();
    std::map<std::pair<long, long>, QString> texts;
    for (std::size_t i = 0; i < s.x.size() && i < plot.labels.size(); ++i) {
      const std::pair<long, long> key{std::lround(X(s.x[i])), std::lround(Y(s.y[i]))};
      QString& t = texts[key];
      if (t.count(',') >= 2) {
        if (!t.endsWith("…")) t += "…";
        continue;
      }
      t += (t.isEmpty() ? "" : ", ") + ToQt(plot.labels[i]);
    }
    // A label that would cover one already drawn is left out (the table names every point).
    p.setPen(QColor(60, 60, 60));
    std::vector<QRectF> drawn;
    for (const auto& [at, text] : texts) {
      const QPointF corner(static_cast<double>(at.first) + 4, static_cast<double>(at.second) - 6);
      const QRectF bounds(corner.x(), corner.y() - fm.ascent(), fm.horizontalAdvance(text), fm.height());
      if (std::any_of(drawn.begin(), drawn.end(), [&](const QRectF& r) { return r.intersects(bounds); }))
        continue;
      drawn.push_back(bounds);
      p.drawText(corner, text);
    }
  }
  p.restore();
}

ReflectionPlotCanvas::ReflectionPlotCanvas(QWidget* parent) : QWidget(parent) {
  setObjectName("ReflectionPlot");
  setMinimumSize(300, 260);
}

void ReflectionPlotCanvas::SetPlot(workbench::ReflectionPlot plot) {
  plot_ = std::move(plot);
  update();
}

void ReflectionPlotCanvas::paintEvent(QPaintEvent*) {
  QPainter p(this);
  PaintReflectionPlot(p, QRectF(rect()), plot_);
}

ReflectionView::ReflectionView(QWidget* parent) : QWidget(parent) {
  setObjectName("ReflectionView");
  // Narrow enough to leave the constants their width; the table scrolls sideways.
  setMinimumWidth(320);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* splitter = new QSplitter(Qt::Horizontal, this);
  table_ = new QTableWidget(this);
  table_->setObjectName("ReflectionTable");
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->setVisible(false);
  auto* copy = new QShortcut(QKeySequence::Copy, table_);
  copy->setContext(Qt::WidgetShortcut);
  connect(copy, &QShortcut::activated, this,
          [this] { QApplication::clipboard()->setText(SelectionText()); });
  splitter->addWidget(table_);

  auto* plotBox = new QWidget(this);
  auto* plotLayout = new QVBoxLayout(plotBox);
  plotLayout->setContentsMargins(0, 0, 0, 0);
  canvas_ = new ReflectionPlotCanvas(plotBox);
  plotLayout->addWidget(canvas_, 1);
  QHBoxLayout* buttons =
      SavePictureButtons(plotBox, "SaveReflectionPlot", [this](bool svg) { AskAndSave(svg); });
  quantity_ = new QComboBox(plotBox);
  quantity_->setObjectName("ReflectionPlotQuantity");
  quantity_->addItems({"½s2 against the orientation", "E_hkl against the orientation"});
  connect(quantity_, &QComboBox::currentIndexChanged, this, [this] { UpdatePlot(); });
  auto* copyButton = new QPushButton("Copy table", plotBox);
  copyButton->setObjectName("CopyReflectionTable");
  connect(copyButton, &QPushButton::clicked, this,
          [this] { QApplication::clipboard()->setText(SelectionText()); });
  buttons->insertWidget(0, quantity_);
  buttons->insertWidget(2, copyButton);
  plotLayout->addLayout(buttons);
  splitter->addWidget(plotBox);
  splitter->setChildrenCollapsible(false);
  layout->addWidget(splitter, 1);
}

void ReflectionView::SetTable(const ReflectionTable& table, CrystalClass crystalClass) {
  shown_ = table;
  class_ = crystalClass;
  const workbench::ReflectionTableText t = workbench::ReflectionTableTexts(table, crystalClass);
  table_->setSortingEnabled(false);
  table_->clear();
  table_->setColumnCount(static_cast<int>(t.header.size()));
  table_->setRowCount(static_cast<int>(t.rows.size()));
  QStringList header;
  for (const std::string& h : t.header) header << ToQt(h);
  table_->setHorizontalHeaderLabels(header);
  for (std::size_t r = 0; r < t.rows.size(); ++r)
    for (std::size_t c = 0; c < t.rows[r].size(); ++c)
      table_->setItem(static_cast<int>(r), static_cast<int>(c), new NumberItem(ToQt(t.rows[r][c])));
  table_->setSortingEnabled(true);
  table_->horizontalHeader()->setSortIndicatorShown(true);
  table_->resizeColumnsToContents();
  UpdatePlot();
}

QString ReflectionView::SelectionText() const {
  int top = 0, bottom = table_->rowCount() - 1, left = 0, right = table_->columnCount() - 1;
  const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
  if (!ranges.isEmpty()) {
    top = ranges.front().topRow();
    bottom = ranges.front().bottomRow();
    left = ranges.front().leftColumn();
    right = ranges.front().rightColumn();
  }
  QString text;
  for (int c = left; c <= right; ++c)
    text += table_->horizontalHeaderItem(c)->text() + (c < right ? "\t" : "\n");
  for (int r = top; r <= bottom; ++r)
    for (int c = left; c <= right; ++c) {
      const QTableWidgetItem* item = table_->item(r, c);
      text += (item != nullptr ? item->text() : QString()) + (c < right ? "\t" : "\n");
    }
  return text;
}

void ReflectionView::UpdatePlot() {
  if (!shown_) return;
  canvas_->SetPlot(workbench::BuildReflectionPlot(
      *shown_, class_,
      quantity_->currentIndex() == 0 ? workbench::ReflectionPlotQuantity::kHalfS2
                                     : workbench::ReflectionPlotQuantity::kYoungsModulus));
}

bool ReflectionView::SavePlotPng(const QString& file, QSize size) const {
  return !SavePngPicture(file, size, [this](QPainter& p, QSize s) {
    PaintReflectionPlot(p, QRectF(QPointF(0, 0), s), canvas_->Plot());
  });
}

bool ReflectionView::SavePlotSvg(const QString& file, QSize size) const {
  return !SaveSvgPicture(file, size, "DECs of the reflections", [this](QPainter& p, QSize s) {
    PaintReflectionPlot(p, QRectF(QPointF(0, 0), s), canvas_->Plot());
  });
}

void ReflectionView::AskAndSave(bool svg) {
  const QString file = AskPictureFile(this, svg, "the plot", "reflections");
  if (file.isEmpty()) return;
  if (!(svg ? SavePlotSvg(file) : SavePlotPng(file)))
    QMessageBox::warning(this, "Reflections", "The plot could not be written to " + file);
}

DirectionalView::DirectionalView(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("DirectionalView");
  auto* layout = new QVBoxLayout(this);
  picture_ = new QLabel(this);
  picture_->setAlignment(Qt::AlignCenter);
  summary_ = new QLabel(this);
  summary_->setObjectName("DirectionalSummary");
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(picture_, 1);
  layout->addWidget(summary_);
  layout->addLayout(SavePictureButtons(this, "SaveDirectional", [this](bool svg) { AskAndSave(svg); }));
}

void DirectionalView::SetSurvey(const DirectionalSurvey& survey, const QString& material) {
  survey_ = survey;
  const bool young = survey.quantity == DirectionalQuantity::kYoungsModulus;
  setWindowTitle((young ? "Young's modulus of " : "Linear compressibility of ") + material);
  // The picture is the one the command line writes: one drawing for both.
  const RgbPicture picture = DrawDirectionalSurvey(survey);
  const QImage image(picture.rgb.data(), picture.width, picture.height, 3 * picture.width,
                     QImage::Format_RGB888);
  picture_->setPixmap(QPixmap::fromImage(image.copy()));
  summary_->setText(SummaryText());
}

QString DirectionalView::SummaryText() const {
  const auto extreme = [this](const DirectionalExtreme& e) {
    return QString::number(static_cast<double>(e.value), 'g', 6) + " " + ToQt(survey_.unit) +
           (e.lattice.empty() ? QString() : " along " + ToQt(e.lattice));
  };
  QString text = "minimum " + extreme(survey_.minimum) + ",  maximum " + extreme(survey_.maximum) +
                 "\nuniversal anisotropy A_U = " +
                 QString::number(static_cast<double>(survey_.universalAnisotropy), 'g', 6);
  if (survey_.zenerRatio)
    text += ",  Zener ratio 2 C44/(C11 - C12) = " +
            QString::number(static_cast<double>(*survey_.zenerRatio), 'g', 6);
  return text;
}

void DirectionalView::AskAndSave(bool svg) {
  const QString file = AskPictureFile(this, svg, "the picture", "directional");
  if (file.isEmpty()) return;
  const Status s = WriteDirectionalPicture(survey_, FromQt(file));
  if (!s) QMessageBox::warning(this, windowTitle(), ToQt(s.error().Describe()));
}

}  // namespace polydec::gui
