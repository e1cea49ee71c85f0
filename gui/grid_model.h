// A Qt table model over one string grid of the Form: the view reads and writes the Form's cells,
// it holds no copy. The first fixed row and column become the view's headers so they stay in
// sight while the worksheet scrolls; further fixed rows or columns show as shaded, read-only
// cells.
#pragma once

#include <QAbstractTableModel>
#include <string>

#include "workbench/form.h"

namespace polydec::gui {

class FormGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  FormGridModel(workbench::Form& form, const std::string& name, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Grid column and row of a view column and row, and back.
  int GridCol(int viewCol) const { return viewCol + headerCols_; }
  int GridRow(int viewRow) const { return viewRow + headerRows_; }
  int ViewCol(int gridCol) const { return gridCol - headerCols_; }
  int ViewRow(int gridRow) const { return gridRow - headerRows_; }
  bool HasColumnHeader() const { return headerCols_ > 0; }

  const workbench::Grid& Grid() const { return *grid_; }
  workbench::Grid& Grid() { return *grid_; }
  const std::string& Name() const { return name_; }

  // Shows the Form's grid as it is now: a new shape resets the view, new texts repaint it.
  void Refresh();

 private:
  bool IsFixed(int gridCol, int gridRow) const;

  workbench::Grid* grid_;
  std::string name_;
  // The shape the view knows; the Form's grid may change shape during a command and the view
  // learns of it only at the next refresh.
  int rows_ = 0;
  int cols_ = 0;
  int headerRows_ = 0;
  int headerCols_ = 0;
};

}  // namespace polydec::gui
