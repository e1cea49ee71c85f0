// The Texture page's pictures of the texture in use: its pole figures above its ODF sections,
// each scaled to the width of the view.
#pragma once

#include <QWidget>

#include "workbench/texture_overview.h"

namespace polydec::gui {

class TextureOverviewView : public QWidget {
  Q_OBJECT
 public:
  explicit TextureOverviewView(QWidget* parent = nullptr);
  void SetOverview(const workbench::TextureOverview& overview);
  int Revision() const { return overview_.revision; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  workbench::TextureOverview overview_;
};

}  // namespace polydec::gui
