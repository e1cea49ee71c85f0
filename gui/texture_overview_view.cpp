#include "texture_overview_view.h"

#include <QPainter>
#include <algorithm>

#include "texture_picture_paint.h"

namespace polydec::gui {

TextureOverviewView::TextureOverviewView(QWidget* parent) : QWidget(parent) {
  setObjectName("TextureOverviewView");
  setMinimumSize(420, 360);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TextureOverviewView::SetOverview(const workbench::TextureOverview& overview) {
  overview_ = overview;
  update();
}

void TextureOverviewView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const core::Picture& poles = overview_.poleFigures;
  const core::Picture& sections = overview_.sections;
  if (poles.image.width <= 0 && sections.image.width <= 0) {
    p.drawText(rect(), Qt::AlignCenter, "Load an ODF to see its pole figures and sections");
    return;
  }
  // The height is shared in proportion to the pictures' heights at the view's width.
  const auto heightAt = [this](const core::Picture& pic) {
    return pic.image.width > 0 ? static_cast<double>(pic.image.height) * width() / pic.image.width
                               : 0.0;
  };
  const double total = heightAt(poles) + heightAt(sections);
  const double share = total > 0 ? std::min(1.0, height() / total) : 1.0;
  const double h1 = heightAt(poles) * share;
  DrawEnginePicture(p, QRectF(0, 0, width(), h1), poles);
  DrawEnginePicture(p, QRectF(0, h1, width(), height() - h1), sections);
}

}  // namespace polydec::gui
