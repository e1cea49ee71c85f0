#include "flow_layout.h"

#include <QWidget>

namespace polydec::gui {

FlowLayout::FlowLayout(QWidget* parent, int spacing) : QLayout(parent), spacing_(spacing) {
  setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout() {
  while (QLayoutItem* item = takeAt(0)) delete item;
}

void FlowLayout::addItem(QLayoutItem* item) { items_.append(item); }

void FlowLayout::InsertWidget(int index, QWidget* widget) {
  addChildWidget(widget);
  if (index < 0 || index > items_.size()) index = static_cast<int>(items_.size());
  items_.insert(index, new QWidgetItem(widget));
  invalidate();
}

QLayoutItem* FlowLayout::itemAt(int index) const {
  return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* FlowLayout::takeAt(int index) {
  return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

int FlowLayout::heightForWidth(int width) const { return DoLayout(QRect(0, 0, width, 0), true); }

QSize FlowLayout::minimumSize() const {
  QSize size;
  for (const QLayoutItem* item : items_)
    if (!item->isEmpty()) size = size.expandedTo(item->minimumSize());
  const QMargins m = contentsMargins();
  return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

// The width of all items in one row: what the layout would like when nothing constrains it.
QSize FlowLayout::sizeHint() const {
  int width = 0;
  int height = 0;
  for (const QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    if (width > 0) width += spacing_;
    width += item->sizeHint().width();
    height = std::max(height, item->sizeHint().height());
  }
  const QMargins m = contentsMargins();
  return {width + m.left() + m.right(), height + m.top() + m.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  DoLayout(rect, false);
}

int FlowLayout::DoLayout(const QRect& rect, bool testOnly) const {
  const QMargins m = contentsMargins();
  const QRect area = rect.adjusted(m.left(), m.top(), -m.right(), -m.bottom());
  int x = area.x();
  int y = area.y();
  int lineHeight = 0;
  for (QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    const QSize hint = item->sizeHint();
    int nextX = x + hint.width() + spacing_;
    if (nextX - spacing_ > area.right() + 1 && lineHeight > 0) {
      x = area.x();
      y += lineHeight + spacing_;
      nextX = x + hint.width() + spacing_;
      lineHeight = 0;
    }
    if (!testOnly) item->setGeometry(QRect(QPoint(x, y), hint));
    x = nextX;
    lineHeight = std::max(lineHeight, hint.height());
  }
  return y + lineHeight - rect.y() + m.bottom();
}

}  // namespace polydec::gui
