#include "grid_model.h"

#include <QApplication>
#include <QBrush>
#include <QPalette>

#include "qt_text.h"

namespace polydec::gui {

FormGridModel::FormGridModel(workbench::Form& form, const std::string& name, QObject* parent)
    : QAbstractTableModel(parent), grid_(&form.GridOf(name)), name_(name) {
  headerRows_ = grid_->fixedRows > 0 ? 1 : 0;
  headerCols_ = grid_->fixedCols > 0 ? 1 : 0;
  rows_ = std::max(0, grid_->rows - headerRows_);
  cols_ = std::max(0, grid_->cols - headerCols_);
}

int FormGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int FormGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : cols_;
}

bool FormGridModel::IsFixed(int gridCol, int gridRow) const {
  return gridCol < grid_->fixedCols || gridRow < grid_->fixedRows;
}

QVariant FormGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const int c = GridCol(index.column());
  const int r = GridRow(index.row());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return ToQt(grid_->Cell(c, r));
    case Qt::BackgroundRole:
      if (IsFixed(c, r)) return QApplication::palette().brush(QPalette::Button);
      return {};
    default:
      return {};
  }
}

bool FormGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  const int c = GridCol(index.column());
  const int r = GridRow(index.row());
  if (!grid_->Contains(c, r) || IsFixed(c, r)) return false;
  grid_->SetCell(c, r, FromQt(value.toString()));
  emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
  return true;
}

Qt::ItemFlags FormGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  // Fixed cells are headers: they can be clicked, not selected or edited.
  if (IsFixed(GridCol(index.column()), GridRow(index.row()))) return Qt::ItemIsEnabled;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (grid_->editable) f |= Qt::ItemIsEditable;
  return f;
}

QVariant FormGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::ToolTipRole) {
    const std::string& text = orientation == Qt::Horizontal ? grid_->Cell(GridCol(section), 0)
                                                            : grid_->Cell(0, GridRow(section));
    const auto hint = grid_->headerHints.find(text);
    if (hint != grid_->headerHints.end()) return ToQt(hint->second);
    return {};
  }
  if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  if (orientation == Qt::Horizontal) {
    if (headerRows_ == 0) return QAbstractTableModel::headerData(section, orientation, role);
    return ToQt(grid_->Cell(GridCol(section), 0));
  }
  if (headerCols_ == 0) return QAbstractTableModel::headerData(section, orientation, role);
  return ToQt(grid_->Cell(0, GridRow(section)));
}

void FormGridModel::Refresh() {
  const int rows = std::max(0, grid_->rows - headerRows_);
  const int cols = std::max(0, grid_->cols - headerCols_);
  if (rows != rows_ || cols != cols_) {
    beginResetModel();
    rows_ = rows;
    cols_ = cols;
    endResetModel();
    return;
  }
  if (rows_ > 0 && cols_ > 0)
    emit dataChanged(index(0, 0), index(rows_ - 1, cols_ - 1), {Qt::DisplayRole, Qt::EditRole});
  if (cols_ > 0) emit headerDataChanged(Qt::Horizontal, 0, cols_ - 1);
  if (rows_ > 0) emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
}

}  // namespace polydec::gui
