#include "workbench/form.h"

namespace polydec::workbench {

namespace {
const std::string kEmpty;
}

void Grid::Resize(int newCols, int newRows) {
  std::vector<std::string> next(static_cast<std::size_t>(newCols) * newRows);
  for (int r = 0; r < std::min(rows, newRows); ++r)
    for (int c = 0; c < std::min(cols, newCols); ++c)
      next[static_cast<std::size_t>(r) * newCols + c] = std::move(cells[r * cols + c]);
  cells = std::move(next);
  cols = newCols;
  rows = newRows;
  colWidths.resize(cols, 64);
  rowHeights.resize(rows, 20);
}

const std::string& Grid::Cell(int c, int r) const {
  return Contains(c, r) ? cells[static_cast<std::size_t>(r) * cols + c] : kEmpty;
}

void Grid::SetCell(int c, int r, std::string text) {
  if (Contains(c, r)) cells[static_cast<std::size_t>(r) * cols + c] = std::move(text);
}

void Grid::Select(int c, int r) {
  col = selLeft = selRight = c;
  row = selTop = selBottom = r;
}

Control& Form::Add(Control c) {
  if (byName_.count(c.name)) throw std::logic_error("control added twice: " + c.name);
  byName_[c.name] = controls_.size();
  order_.push_back(c.name);
  controls_.push_back(std::move(c));
  return controls_.back();
}

Control& Form::operator[](const std::string& name) {
  const auto it = byName_.find(name);
  if (it == byName_.end()) throw UnknownControl("no control named " + name);
  return controls_[it->second];
}

const Control& Form::operator[](const std::string& name) const {
  const auto it = byName_.find(name);
  if (it == byName_.end()) throw UnknownControl("no control named " + name);
  return controls_[it->second];
}

void Form::SetChecked(const std::string& name, bool on) {
  Control& c = (*this)[name];
  if (c.kind == ControlKind::kRadio && on)
    for (Control& other : controls_)
      if (other.kind == ControlKind::kRadio && other.parent == c.parent) other.checked = false;
  c.checked = on;
}

void Form::SetItemIndex(const std::string& name, int i) {
  Control& c = (*this)[name];
  if (i < 0 || i >= static_cast<int>(c.items.size())) {
    c.itemIndex = -1;
    c.text.clear();
    return;
  }
  c.itemIndex = i;
  c.text = c.items[i];
}

}  // namespace polydec::workbench
