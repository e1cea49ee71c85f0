// The window as data: the state of every named control (texts, items, checks, enabling,
// visibility, grids with their cells), the status bar and the two shared file dialogs. The
// commands read and write this state; a front end mirrors it in real widgets.
#pragma once

#include <array>
#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/cell_table.h"

namespace polydec::workbench {

enum class ControlKind { kPage, kGroup, kEdit, kCombo, kCheck, kRadio, kButton, kGrid, kMemo };

// A string grid: cells by (column, row), both from 0; the first `fixedRows` rows and
// `fixedCols` columns are headers.
struct Grid : core::CellTable {
  int fixedCols = 1;
  int fixedRows = 1;
  bool editable = false;
  std::vector<int> colWidths;  // pixels, a layout hint for front ends
  std::vector<int> rowHeights;
  // Selection rectangle (inclusive) and current cell.
  int selLeft = 1, selTop = 1, selRight = 1, selBottom = 1;
  int col = 1, row = 1;
  // Cell editing: on after a key, off after a mouse press so that dragging selects a range.
  bool cellEditing = true;
  // Tooltips of header cells, by the header's text.
  std::map<std::string, std::string> headerHints;

  // Resizes the cells and the widths and heights (new columns 64, new rows 20 pixels).
  void Resize(int newCols, int newRows);
  // Selects a single cell and makes it current.
  void Select(int c, int r);
};

struct Control {
  std::string name;
  ControlKind kind = ControlKind::kEdit;
  std::string parent;              // the page or group that holds it
  std::string label;               // a label shown beside it, if any
  std::string caption;             // buttons, check boxes, radio buttons, groups, pages
  std::string text;                // edit boxes, combo boxes
  std::vector<std::string> items;  // combo boxes
  int itemIndex = -1;
  bool listOnly = false;  // combo box the user cannot type into
  bool checked = false;   // check boxes and radio buttons
  bool enabled = true;
  bool visible = true;
  bool greyed = false;  // disabled edit boxes of constants are drawn grey (RGB 128, 128, 128)
  std::string command;  // name of the handler the control's main event runs, if any
  std::string hint;     // tooltip
  std::string shortcut;            // key sequence of a button, such as "Ctrl+O"
  std::vector<std::string> lines;  // memo
  Grid grid;                       // grids
};

// The state of one shared file dialog: what a command sets before showing it stays as the
// last command left it.
struct FileDialog {
  std::string title;
  std::string filter;   // "description|pattern|description|pattern..."
  int filterIndex = 1;  // counted from 1
  std::string fileName;
  std::string initialDir;
};

class UnknownControl : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

class Form {
 public:
  std::string caption;
  int clientWidth = 1153, clientHeight = 660;
  std::array<std::string, 3> statusPanels;
  std::array<int, 3> statusWidths{350, 350, 150};
  FileDialog openDialog;  // OpenDialog1
  FileDialog saveDialog;  // SaveDialog1
  std::string activePage;

  // Adds a control; its name must be new. Returns it for further setup.
  Control& Add(Control c);
  bool Has(const std::string& name) const { return byName_.count(name) != 0; }
  Control& operator[](const std::string& name);
  const Control& operator[](const std::string& name) const;
  // Controls in the order they were added.
  const std::vector<std::string>& Names() const { return order_; }

  // Shorthands for the common accesses.
  const std::string& Text(const std::string& name) const { return (*this)[name].text; }
  void SetText(const std::string& name, std::string text) { (*this)[name].text = std::move(text); }
  bool Checked(const std::string& name) const { return (*this)[name].checked; }
  // Checking a radio button unchecks the other radio buttons of its page or group: the model
  // buttons and the ODF completion buttons are separate choices.
  void SetChecked(const std::string& name, bool on);
  int ItemIndex(const std::string& name) const { return (*this)[name].itemIndex; }
  // Selects item i (or none for -1) and shows its text.
  void SetItemIndex(const std::string& name, int i);
  Grid& GridOf(const std::string& name) { return (*this)[name].grid; }
  const Grid& GridOf(const std::string& name) const { return (*this)[name].grid; }

 private:
  std::deque<Control> controls_;  // references stay valid as controls are added
  std::map<std::string, std::size_t> byName_;
  std::vector<std::string> order_;
};

}  // namespace polydec::workbench
