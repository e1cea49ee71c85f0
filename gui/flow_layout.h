// A layout that places its widgets left to right and wraps to the next line when the width runs
// out: rows of buttons and check boxes that reflow as the window is resized.
#pragma once

#include <QLayout>
#include <QList>

namespace polydec::gui {

class FlowLayout : public QLayout {
 public:
  explicit FlowLayout(QWidget* parent = nullptr, int spacing = 6);
  ~FlowLayout() override;

  void addItem(QLayoutItem* item) override;
  // Puts a widget at position index (at the end when index is out of range).
  void InsertWidget(int index, QWidget* widget);
  int count() const override { return static_cast<int>(items_.size()); }
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  Qt::Orientations expandingDirections() const override { return {}; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize minimumSize() const override;
  QSize sizeHint() const override;
  void setGeometry(const QRect& rect) override;

 private:
  int DoLayout(const QRect& rect, bool testOnly) const;

  QList<QLayoutItem*> items_;
  int spacing_;
};

}  // namespace polydec::gui
