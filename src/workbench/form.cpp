#include "workbench/form.h"

namespace polydec::workbench {

void Grid::Resize(int newCols, int newRows) {
  CellTable::Resize(newCols, newRows);
  colWidths.resize(cols, 64);
  rowHeights.resize(rows, 20);
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
