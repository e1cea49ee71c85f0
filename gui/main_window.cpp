#include "main_window.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <set>

#include "flow_layout.h"
#include "pole_figure_view.h"
#include "reflection_view.h"
#include "sin2psi_plot.h"
#include "texture_overview_view.h"
#include "grid_model.h"
#include "qt_text.h"
#include "workbench/sin2psi_plot_data.h"

namespace polydec::gui {

using workbench::Control;
using workbench::ControlKind;

namespace {

// A combo box under the mouse wheel while the user scrolls a page changed its value unnoticed:
// it takes the wheel only when it has the keyboard focus, and otherwise hands it on, so the
// page scrolls.
class WheelWhenFocused : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Wheel) {
      auto* w = qobject_cast<QWidget*>(watched);
      if (w != nullptr && !w->hasFocus()) {
        event->ignore();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

// Grids with more rows than this are worksheets: they take the room the window has and
// scroll; smaller grids show all their cells.
constexpr int kStretchyGridRows = 20;
// Columns of a container's grid layout: label, box, spare room.
constexpr int kSpan = 3;

// Groups shown below the one before them on their page instead of in a column of their own.
const std::set<std::string> kStackedUnderPrevious = {"AggregateGroupBox", "MultiPhaseBox"};

// Containers whose buttons, check boxes and boxes share one row (wrapped when narrow), so that
// the worksheet keeps the height.
const std::set<std::string> kOneRowContainers = {"GroupBox3"};

// Grids that scroll within the room they are given although they have few rows.
const std::set<std::string> kScrollingGrids = {"ResultsGrid"};
// Grids whose columns are as wide as their texts.
const std::set<std::string> kFittedGrids = {"StrainGrid", "ResultsGrid", "RotationGrid"};
// The page of the constants, the worksheet, its results and the messages.
const char kWorkPage[] = "TabSheet3";

// Buttons the window handles itself: closing it is the toolkit's business.
const std::set<std::string> kCloseButtons = {"ExitButton"};
const char kCloseCommand[] = "Exit1Click";

// The 21 boxes C11Edit .. C66Edit of the stiffness matrix: row i and column j of the upper
// triangle, or {0, 0} for any other name.
std::pair<int, int> ConstantBox(const std::string& name) {
  if (name.size() != 7 || name[0] != 'C' || name.compare(3, 4, "Edit") != 0) return {0, 0};
  const int i = name[1] - '0';
  const int j = name[2] - '0';
  if (i < 1 || i > 6 || j < i || j > 6) return {0, 0};
  return {i, j};
}

QStringList ToQtList(const std::vector<std::string>& items) {
  QStringList list;
  for (const std::string& s : items) list << ToQt(s);
  return list;
}

QString MemoText(const std::vector<std::string>& lines) {
  QStringList list = ToQtList(lines);
  return list.join('\n');
}

std::vector<std::string> MemoLines(const QString& text) {
  std::vector<std::string> lines;
  if (text.isEmpty()) return lines;
  for (const QString& line : text.split('\n')) lines.push_back(FromQt(line));
  return lines;
}

// Disabled constant boxes are drawn on grey, so the boxes the symmetry ties to others stand out.
void SetGreyed(QWidget* w, bool greyed) {
  if (w->property("polydecGreyed").toBool() == greyed) return;
  w->setProperty("polydecGreyed", greyed);
  if (!greyed) {
    w->setPalette(QPalette());
    return;
  }
  QPalette p = w->palette();
  const QColor grey(128, 128, 128);
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(group, QPalette::Base, grey);
    p.setColor(group, QPalette::Text, QColor(235, 235, 235));
  }
  w->setPalette(p);
}

int RowHeight(const QWidget* w) { return std::max(20, w->fontMetrics().height() + 6); }

// Takes a widget out of a layout or any layout nested in it.
bool RemoveFromLayout(QLayout* layout, QWidget* w) {
  if (layout == nullptr || w == nullptr) return false;
  for (int i = 0; i < layout->count(); ++i) {
    QLayoutItem* item = layout->itemAt(i);
    if (item->widget() == w) {
      delete layout->takeAt(i);
      return true;
    }
    if (item->layout() != nullptr && RemoveFromLayout(item->layout(), w)) return true;
  }
  return false;
}

// Enter in a cell editor ends the edit and then counts as Enter pressed on the grid, with its
// modifier keys: Ctrl+Enter runs the formula just typed, Enter moves on.
class GridDelegate : public QStyledItemDelegate {
 public:
  explicit GridDelegate(GridView* view) : QStyledItemDelegate(view), view_(view) {}

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      auto* editor = qobject_cast<QWidget*>(object);
      if (editor != nullptr && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        emit commitData(editor);
        emit closeEditor(editor, QAbstractItemDelegate::NoHint);
        if (view_->onKey) view_->onKey(key);
        return true;
      }
    }
    return QStyledItemDelegate::eventFilter(object, event);
  }

 private:
  GridView* view_;
};

// The grid commands' code of a Qt key, -1 for keys they do not know.
int GridKeyCode(int key) {
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return workbench::kKeyEnter;
    case Qt::Key_Delete:
      return workbench::kKeyDelete;
    case Qt::Key_C:
      return workbench::kKeyC;
    case Qt::Key_V:
      return workbench::kKeyV;
    case Qt::Key_X:
      return workbench::kKeyX;
    default:
      return -1;
  }
}

unsigned GridModifiers(Qt::KeyboardModifiers m) {
  unsigned bits = 0;
  if ((m & Qt::ShiftModifier) != 0) bits |= workbench::kModShift;
  if ((m & Qt::ControlModifier) != 0) bits |= workbench::kModCtrl;
  if ((m & Qt::AltModifier) != 0) bits |= workbench::kModAlt;
  return bits;
}

}  // namespace

void GridView::keyPressEvent(QKeyEvent* event) {
  if (onKey && onKey(event)) return;
  QTableView::keyPressEvent(event);
}

void GridView::ShowCornerText() {
  corner_ = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
  if (corner_ != nullptr) corner_->installEventFilter(this);
}

void GridView::UpdateCorner() {
  if (corner_ == nullptr) return;
  corner_->update();
  const QString hint = cornerHint ? cornerHint() : QString();
  if (corner_->toolTip() != hint) corner_->setToolTip(hint);
}

bool GridView::eventFilter(QObject* watched, QEvent* event) {
  if (watched != corner_ || event->type() != QEvent::Paint || !cornerText)
    return QTableView::eventFilter(watched, event);
  // The top left cell of the grid heads the row labels.
  QStylePainter painter(corner_);
  QStyleOptionHeader option;
  option.initFrom(corner_);
  option.rect = corner_->rect();
  option.position = QStyleOptionHeader::OnlyOneSection;
  option.text = cornerText();
  option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
  painter.drawControl(QStyle::CE_Header, option);
  return true;
}

MainWindow::MainWindow(workbench::MainForm& mainForm, QWidget* parent)
    : QMainWindow(parent), mf_(mainForm), form_(mainForm.form) {
  setObjectName("TMainForm");
  pages_ = new QTabWidget(this);
  pages_->setObjectName("PageControl1");
  setCentralWidget(pages_);
  radios_ = new QButtonGroup(this);
  // The Form decides which radio button is checked (one group for the whole window); the
  // widgets only mirror it, so Qt's own exclusivity stays out of the way.
  radios_->setExclusive(false);

  for (std::size_t i = 0; i < status_.size(); ++i) {
    status_[i] = new QLabel(this);
    status_[i]->setObjectName(QString("StatusPanel%1").arg(i));
    status_[i]->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    status_[i]->setFixedWidth(form_.statusWidths[i]);
    statusBar()->addWidget(status_[i]);
  }
  statusBar()->setObjectName("StatusBar1");
  statusBar()->setSizeGripEnabled(true);

  BuildWidgets();
  BindShortcuts();

  connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
    if (updating_ || index < 0 || index >= static_cast<int>(pageNames_.size())) return;
    form_.activePage = pageNames_[static_cast<std::size_t>(index)];
    RunCommand("PageControl1Change");
  });

  Refresh();
  resize(form_.clientWidth, form_.clientHeight);
}

MainWindow::~MainWindow() = default;

std::vector<std::string> MainWindow::ChildrenOf(const std::string& parent) const {
  std::vector<std::string> kids;
  for (const std::string& name : form_.Names())
    if (form_[name].parent == parent && form_[name].kind != ControlKind::kPage)
      kids.push_back(name);
  return kids;
}

void MainWindow::BuildWidgets() {
  for (const std::string& name : form_.Names()) {
    Control& c = form_[name];
    if (c.kind == ControlKind::kPage) {
      pageNames_.push_back(name);
      continue;
    }
    Binding& b = bindings_[name];
    b.control = &c;
    b.home = b.placedIn = c.parent;
    // Buttons whose parent is a grid are the entries of its right-click menu.
    if (c.kind == ControlKind::kButton && form_.Has(c.parent) &&
        form_[c.parent].kind == ControlKind::kGrid) {
      b.action = new QAction(ToQt(c.caption), this);
      b.action->setObjectName(ToQt(name));
      connect(b.action, &QAction::triggered, this, [this, name] { RunButton(name); });
      continue;
    }
    b.widget = CreateWidget(b);
    b.widget->setObjectName(ToQt(name));
    if (!c.label.empty() && c.kind != ControlKind::kCheck && c.kind != ControlKind::kRadio &&
        c.kind != ControlKind::kButton) {
      b.label = new QLabel(ToQt(c.label));
      b.label->setObjectName(ToQt(name + "Label"));
      b.label->setBuddy(b.widget);
      if (c.label.size() > 40) {
        b.label->setWordWrap(true);
        b.label->setMinimumWidth(220);
        b.label->setMaximumWidth(320);
      }
    }
    if (c.kind == ControlKind::kGroup) {
      Container& box = containers_[name];
      box.widget = b.widget;
      box.grid = new QGridLayout(b.widget);
    }
  }
  // Menu entries join their grid once every grid exists.
  for (auto& [name, b] : bindings_)
    if (b.action != nullptr) {
      Binding& grid = bindings_[b.control->parent];
      if (grid.view != nullptr) grid.view->addAction(b.action);
    }

  for (const std::string& page : pageNames_) LayOutPage(page);
  for (auto& [name, box] : containers_)
    if (form_.Has(name) && form_[name].kind == ControlKind::kGroup) LayOutContainer(name);
}

QWidget* MainWindow::CreateWidget(Binding& b) {
  Control& c = *b.control;
  const std::string name = c.name;
  switch (c.kind) {
    case ControlKind::kPage:
      return nullptr;
    case ControlKind::kGroup:
      return new QGroupBox(ToQt(c.caption));
    case ControlKind::kEdit: {
      auto* edit = new QLineEdit;
      connect(edit, &QLineEdit::textChanged, this, [this, name](const QString& text) {
        if (!updating_) form_[name].text = FromQt(text);
      });
      // Enter and leaving the box both finish an edit.
      connect(edit, &QLineEdit::editingFinished, this, [this, name] {
        if (!updating_) RunCommand(form_[name].command);
      });
      if (ConstantBox(name).first > 0) {
        edit->setMinimumWidth(56);
        edit->setMaximumWidth(80);
      }
      return edit;
    }
    case ControlKind::kCombo: {
      auto* combo = new QComboBox;
      combo->setFocusPolicy(Qt::StrongFocus);
      combo->installEventFilter(new WheelWhenFocused(combo));
      combo->setEditable(!c.listOnly);
      combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
      if (!c.listOnly) {
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        combo->setMinimumContentsLength(16);
        // Typing a name is a change of the box just like choosing one.
        connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this, name](const QString& t) {
          if (updating_) return;
          Control& ctl = form_[name];
          ctl.text = FromQt(t);
          ctl.itemIndex = -1;
          for (std::size_t i = 0; i < ctl.items.size(); ++i)
            if (ctl.items[i] == ctl.text) ctl.itemIndex = static_cast<int>(i);
          RunCommand(ctl.command);
        });
      }
      connect(combo, &QComboBox::currentIndexChanged, this, [this, name](int index) {
        if (!updating_ && index >= 0) form_.SetItemIndex(name, index);
      });
      connect(combo, &QComboBox::activated, this, [this, name](int index) {
        if (updating_) return;
        form_.SetItemIndex(name, index);
        RunCommand(form_[name].command);
      });
      return combo;
    }
    case ControlKind::kCheck: {
      auto* check = new QCheckBox(ToQt(c.caption));
      connect(check, &QCheckBox::toggled, this, [this, name](bool on) {
        if (updating_) return;
        form_[name].checked = on;
        RunCommand(form_[name].command);
      });
      return check;
    }
    case ControlKind::kRadio: {
      auto* radio = new QRadioButton(ToQt(c.caption));
      radio->setAutoExclusive(false);
      radios_->addButton(radio);
      // Choosing a radio button always checks it and unchecks all others, as the Form has it.
      connect(radio, &QRadioButton::toggled, this, [this, name](bool) {
        if (updating_) return;
        form_.SetChecked(name, true);
        if (form_[name].command.empty())
          Refresh();
        else
          RunCommand(form_[name].command);
      });
      return radio;
    }
    case ControlKind::kButton: {
      auto* button = new QPushButton(ToQt(c.caption));
      button->setAutoDefault(false);
      connect(button, &QPushButton::clicked, this, [this, name] {
        if (kCloseButtons.count(name) != 0 && form_[name].command.empty())
          close();
        else
          RunButton(name);
      });
      return button;
    }
    case ControlKind::kGrid: {
      b.view = new GridView;
      BindGrid(b);
      return b.view;
    }
    case ControlKind::kMemo: {
      auto* memo = new QPlainTextEdit;
      memo->setLineWrapMode(QPlainTextEdit::NoWrap);
      const int lineHeight = memo->fontMetrics().lineSpacing();
      memo->setMinimumHeight(4 * lineHeight + 12);
      // A memo inside a group is a note; the page's message memo may grow.
      if (form_.Has(c.parent) && form_[c.parent].kind == ControlKind::kGroup)
        memo->setMaximumHeight(7 * lineHeight + 12);
      connect(memo, &QPlainTextEdit::textChanged, this, [this, name, memo] {
        if (!updating_) form_[name].lines = MemoLines(memo->toPlainText());
      });
      return memo;
    }
  }
  return nullptr;
}

void MainWindow::BindGrid(Binding& b) {
  const std::string name = b.control->name;
  GridView* view = b.view;
  b.model = new FormGridModel(form_, name, view);
  view->setModel(b.model);
  view->setObjectName(ToQt(name));
  view->setContextMenuPolicy(Qt::ActionsContextMenu);
  view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                        QAbstractItemView::AnyKeyPressed);
  view->setSelectionMode(QAbstractItemView::ContiguousSelection);
  view->horizontalHeader()->setHighlightSections(false);
  view->verticalHeader()->setHighlightSections(false);
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(RowHeight(view));
  view->horizontalHeader()->setMinimumSectionSize(20);
  view->setItemDelegate(new GridDelegate(view));
  view->cornerText = [model = b.model] { return ToQt(model->Grid().Cell(0, 0)); };
  view->cornerHint = [model = b.model] {
    const workbench::Grid& g = model->Grid();
    const auto hint = g.headerHints.find(g.Cell(0, 0));
    return hint == g.headerHints.end() ? QString() : ToQt(hint->second);
  };
  view->ShowCornerText();
  if (!b.model->HasColumnHeader()) view->verticalHeader()->hide();
  if (b.control->grid.fixedRows == 0) view->horizontalHeader()->hide();

  if (b.control->grid.rows > kStretchyGridRows) {
    view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    view->setMinimumSize(320, 160);
  } else if (kScrollingGrids.count(name) != 0) {
    // The header and two rows at least; more rows scroll.
    view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    view->setMinimumSize(320, 3 * RowHeight(view) + 8);
  } else {
    view->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    view->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }

  view->onKey = [this, name](QKeyEvent* e) { return GridKey(bindings_[name], e); };
  auto* selection = view->selectionModel();
  const bool spreadsheet = workbench::IsSpreadsheetGrid(name);
  connect(selection, &QItemSelectionModel::currentChanged, this,
          [this, name, spreadsheet](const QModelIndex& current, const QModelIndex&) {
            if (updating_) return;
            Binding& g = bindings_[name];
            SyncGridSelection(g);
            if (spreadsheet && current.isValid())
              mf_.StringGridSelectCell(name, g.model->GridCol(current.column()),
                                       g.model->GridRow(current.row()));
            if (name == "StrainGrid") UpdatePlot();
          });
  // A text typed into a cell widens its column; one typed into the worksheet's result block
  // shows in the results table.
  connect(b.model, &QAbstractItemModel::dataChanged, this, [this, name] {
    if (updating_) return;
    Binding& g = bindings_[name];
    if (kFittedGrids.count(name) != 0) FitColumns(g);
    if (name == "StrainGrid" && bindings_.count("ResultsGrid") != 0) {
      mf_.FillResultsGrid();
      const bool wasUpdating = updating_;
      updating_ = true;
      RefreshGrid(bindings_["ResultsGrid"]);
      updating_ = wasUpdating;
    }
  });
  connect(selection, &QItemSelectionModel::selectionChanged, this,
          [this, name](const QItemSelection&, const QItemSelection&) {
            if (!updating_) SyncGridSelection(bindings_[name]);
          });
  connect(view, &QAbstractItemView::pressed, this,
          [this, name, spreadsheet](const QModelIndex& index) {
            Binding& g = bindings_[name];
            if (spreadsheet) mf_.StringGridMouseDown(name);
            GridPressed(g, g.model->GridCol(index.column()), g.model->GridRow(index.row()));
          });
  connect(view->verticalHeader(), &QHeaderView::sectionPressed, this, [this, name](int section) {
    Binding& g = bindings_[name];
    GridPressed(g, 0, g.model->GridRow(section));
  });
  connect(view->horizontalHeader(), &QHeaderView::sectionPressed, this, [this, name](int section) {
    Binding& g = bindings_[name];
    GridPressed(g, g.model->GridCol(section), 0);
  });
}

void MainWindow::LayOutContainer(const std::string& name) {
  Container& c = containers_[name];
  QGridLayout* grid = c.grid;
  // Labels, boxes at their natural width, and the room left over.
  grid->setColumnStretch(2, 1);
  grid->setVerticalSpacing(6);
  c.guests = new QGridLayout;
  grid->addLayout(c.guests, 0, 0, 1, kSpan);

  FlowLayout* flow = nullptr;
  ControlKind flowKind = ControlKind::kButton;
  QGridLayout* triangle = nullptr;
  auto newFlow = [&](ControlKind kind) {
    flow = new FlowLayout;
    flowKind = kind;
    grid->addLayout(flow, c.nextRow++, 0, 1, kSpan);
  };
  auto putFlow = [&](Binding& b) {
    b.widgetSpot = Spot{};
    b.widgetSpot.flow = flow;
    b.widgetSpot.flowIndex = flow->count();
    flow->addWidget(b.widget);
  };
  // Beside a label, or across the whole container.
  auto putRow = [&](Binding& b, bool wide) {
    b.widgetSpot = wide ? Spot{c.nextRow, 0, 1, kSpan} : Spot{c.nextRow, 1, 1, 1};
    grid->addWidget(b.widget, b.widgetSpot.row, b.widgetSpot.col, 1, b.widgetSpot.colSpan);
  };

  for (const std::string& kid : ChildrenOf(name)) {
    Binding& b = bindings_[kid];
    if (b.widget == nullptr) continue;
    const Control& k = *b.control;
    if (const auto [i, j] = ConstantBox(kid); i > 0) {
      flow = nullptr;
      if (triangle == nullptr) {
        triangle = new QGridLayout;
        triangle->setHorizontalSpacing(4);
        grid->addLayout(triangle, c.nextRow++, 0, 1, kSpan, Qt::AlignLeft);
      }
      if (b.label != nullptr) {
        b.label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        triangle->addWidget(b.label, i - 1, 2 * (j - 1));
      }
      triangle->addWidget(b.widget, i - 1, 2 * (j - 1) + 1);
      continue;
    }
    switch (k.kind) {
      case ControlKind::kButton:
      case ControlKind::kCheck:
      case ControlKind::kRadio:
        if (flow == nullptr || (flowKind != k.kind && kOneRowContainers.count(name) == 0))
          newFlow(k.kind);
        putFlow(b);
        break;
      case ControlKind::kEdit:
      case ControlKind::kCombo:
        if (b.label != nullptr) {
          flow = nullptr;
          b.labelSpot = Spot{c.nextRow, 0, 1, 1};
          grid->addWidget(b.label, c.nextRow, 0);
          putRow(b, false);
          ++c.nextRow;
        } else if (flow != nullptr && flow->count() > 0 && k.kind == ControlKind::kEdit) {
          // An edit box without a label belongs to the button or check box before it.
          QLayoutItem* last = flow->takeAt(flow->count() - 1);
          QWidget* owner = last->widget();
          delete last;
          for (auto& [n, other] : bindings_)
            if (other.widget == owner) {
              other.widgetSpot = Spot{c.nextRow, 0, 1, 1};
              break;
            }
          grid->addWidget(owner, c.nextRow, 0, Qt::AlignLeft);
          putRow(b, false);
          ++c.nextRow;
          flow = nullptr;
        } else {
          // ... or else leads the row of buttons after it.
          newFlow(ControlKind::kButton);
          putFlow(b);
        }
        break;
      case ControlKind::kMemo:
        flow = nullptr;
        if (b.label != nullptr) {
          b.labelSpot = Spot{c.nextRow, 0, 1, 1};
          grid->addWidget(b.label, c.nextRow, 0, Qt::AlignTop);
          b.widgetSpot = Spot{c.nextRow, 1, 1, kSpan - 1};
          grid->addWidget(b.widget, c.nextRow, 1, 1, kSpan - 1);
        } else {
          putRow(b, true);
        }
        ++c.nextRow;
        break;
      case ControlKind::kGrid:
        flow = nullptr;
        if (b.label != nullptr) {
          b.labelSpot = Spot{c.nextRow, 0, 1, kSpan};
          grid->addWidget(b.label, c.nextRow++, 0, 1, kSpan);
        }
        putRow(b, true);
        if (k.grid.rows > kStretchyGridRows) grid->setRowStretch(c.nextRow, 1);
        ++c.nextRow;
        break;
      case ControlKind::kGroup:
        flow = nullptr;
        putRow(b, true);
        ++c.nextRow;
        break;
      case ControlKind::kPage:
        break;
    }
  }
}

void MainWindow::LayOutPage(const std::string& page) {
  auto* scroll = new QScrollArea;
  scroll->setObjectName(ToQt(page));
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* content = new QWidget;
  auto* row = new QHBoxLayout;
  auto* pageLayout = new QVBoxLayout(content);
  pageLayout->addLayout(row, page == "TabSheet1" ? 0 : 1);
  scroll->setWidget(content);
  pages_->addTab(scroll, ToQt(form_[page].caption));

  // Loose controls of the page share one untitled box, placed where the first of them is.
  Container& loose = containers_[page];
  bool looseUsed = false;
  std::vector<QWidget*> memos;
  std::vector<std::pair<std::string, QWidget*>> items;
  for (const std::string& kid : ChildrenOf(page)) {
    Binding& b = bindings_[kid];
    if (b.widget == nullptr) continue;
    if (b.control->kind == ControlKind::kGroup) {
      items.emplace_back(kid, b.widget);
    } else if (b.control->kind == ControlKind::kMemo) {
      memos.push_back(b.widget);
    } else if (!looseUsed) {
      looseUsed = true;
      loose.widget = new QGroupBox;
      loose.widget->setObjectName(ToQt(page + "Controls"));
      loose.grid = new QGridLayout(loose.widget);
      items.emplace_back(page, loose.widget);
    }
  }
  if (!looseUsed) {
    // Nothing of its own yet, but controls lent to the page appear here.
    loose.widget = new QWidget;
    loose.grid = new QGridLayout(loose.widget);
    loose.grid->setContentsMargins(0, 0, 0, 0);
  }
  LayOutContainer(page);
  if (page == "TextureTab") {
    // The buttons above the account of the texture in use, its pictures beside them.
    auto* column = new QVBoxLayout;
    for (const auto& item : items) column->addWidget(item.second);
    for (QWidget* memo : memos) column->addWidget(memo, 1);
    row->addLayout(column, 2);
    textureOverview_ = new TextureOverviewView(content);
    row->addWidget(textureOverview_, 3);
    return;
  }
  if (page == kWorkPage) {
    row->addWidget(loose.widget);
    LayOutWorkPage(row);
    return;
  }

  auto stretchy = [this](const std::string& container) {
    std::vector<std::string> todo{container};
    while (!todo.empty()) {
      const std::string n = todo.back();
      todo.pop_back();
      for (const std::string& kid : ChildrenOf(n)) {
        const Control& k = form_[kid];
        if (k.kind == ControlKind::kGrid && k.grid.rows > kStretchyGridRows) return true;
        if (k.kind == ControlKind::kGroup) todo.push_back(kid);
      }
    }
    return false;
  };

  std::vector<std::pair<QVBoxLayout*, bool>> columns;
  QVBoxLayout* stretchColumn = nullptr;
  for (const auto& [name, widget] : items) {
    if (columns.empty() || kStackedUnderPrevious.count(name) == 0)
      columns.emplace_back(new QVBoxLayout, false);
    auto& [column, stretches] = columns.back();
    if (stretchy(name)) {
      stretches = true;
      if (!memos.empty() && stretchColumn == nullptr) {
        // Messages go below the worksheet; the splitter lets the user share the height.
        auto* splitter = new QSplitter(Qt::Vertical);
        splitter->addWidget(widget);
        for (QWidget* memo : memos) splitter->addWidget(memo);
        splitter->setStretchFactor(0, 1);
        splitter->setChildrenCollapsible(false);
        splitter->setSizes({600, 90});
        column->addWidget(splitter, 1);
        stretchColumn = column;
        continue;
      }
      column->addWidget(widget, 1);
      stretchColumn = column;
    } else {
      column->addWidget(widget);
    }
  }
  if (!looseUsed) {
    if (columns.empty()) columns.emplace_back(new QVBoxLayout, false);
    columns.front().first->insertWidget(0, loose.widget);
  }
  bool anyStretch = false;
  for (auto& [column, stretches] : columns) {
    if (!stretches) column->addStretch(1);
    row->addLayout(column, stretches ? 1 : 0);
    anyStretch = anyStretch || stretches;
  }
  if (stretchColumn == nullptr && !memos.empty()) {
    auto* column = new QVBoxLayout;
    for (QWidget* memo : memos) column->addWidget(memo, 1);
    row->addLayout(column, 1);
    anyStretch = true;
  }
  if (!anyStretch) row->addStretch(1);
  if (page == "TabSheet1") {
    // The reflection table and its plot take the page's width below the constants.
    reflections_ = new ReflectionView(content);
    pageLayout->addWidget(reflections_, 1);
  }
}

void MainWindow::LayOutWorkPage(QBoxLayout* row) {
  QWidget* constants = WidgetOf("AnElConstBox");
  QWidget* sheet = WidgetOf("GroupBox3");
  QWidget* results = WidgetOf("ResultsGroupBox");
  QWidget* memo = WidgetOf("Memo1");
  if (constants == nullptr || sheet == nullptr || results == nullptr || memo == nullptr) return;

  // The constants scroll when the page is low; the worksheet takes the width that is left.
  auto* left = new QScrollArea;
  left->setObjectName("AnElConstScroll");
  left->setWidget(constants);
  left->setWidgetResizable(true);
  left->setFrameShape(QFrame::NoFrame);
  left->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  left->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
  constantsPane_ = left;

  // The sin²ψ plot of the selected data set shares the column beside the worksheet with the
  // constants, as a second tab: at the start size the two did not fit one above the other (the
  // model buttons and "Load ODF" hid at the bottom of a scroll pane). Loading a worksheet and
  // the stress and strain calculations turn to the plot; the user turns back.
  plot_ = new Sin2PsiPlotView;
  connect(plot_, &Sin2PsiPlotView::QuantityChanged, this, [this] { UpdatePlot(); });
  auto* leftColumn = new QTabWidget;
  leftColumn->setObjectName("ConstantsPlotTabs");
  leftColumn->addTab(left, "Elastic constants");
  leftColumn->addTab(plot_, "sin²ψ plot");
  leftColumn->setDocumentMode(true);
  constantsPlotTabs_ = leftColumn;

  auto* top = new QSplitter(Qt::Horizontal);
  top->setObjectName("WorkSplitter");
  top->addWidget(leftColumn);
  top->addWidget(sheet);
  top->setStretchFactor(0, 0);
  top->setStretchFactor(1, 1);
  top->setChildrenCollapsible(false);
  // The constants as narrow as they allow, the rest to the worksheet.
  top->setSizes({1, 10000});

  auto* messages = new QWidget;
  messages->setObjectName("MessagesBox");
  auto* messageLayout = new QVBoxLayout(messages);
  messageLayout->setContentsMargins(0, 0, 0, 0);
  messageLayout->setSpacing(2);
  if (QLabel* label = LabelOf("Memo1")) messageLayout->addWidget(label);
  messageLayout->addWidget(memo, 1);

  auto* bottom = new QSplitter(Qt::Vertical);
  bottom->setObjectName("ResultsSplitter");
  bottom->addWidget(top);
  bottom->addWidget(results);
  bottom->addWidget(messages);
  bottom->setStretchFactor(0, 1);
  bottom->setStretchFactor(1, 0);
  bottom->setStretchFactor(2, 0);
  bottom->setChildrenCollapsible(false);
  bottom->setSizes({10000, 100, 70});
  row->addWidget(bottom, 1);
}

void MainWindow::BindShortcuts() {
  std::map<std::string, std::vector<std::string>> buttons;
  for (const std::string& name : form_.Names())
    if (!form_[name].shortcut.empty()) buttons[form_[name].shortcut].push_back(name);
  for (const auto& [keys, names] : buttons) {
    auto* shortcut = new QShortcut(QKeySequence(ToQt(keys)), this);
    shortcut->setObjectName(ToQt("Shortcut " + keys));
    // One key sequence serves the button of that name on each page: it presses the one shown.
    connect(shortcut, &QShortcut::activated, this, [this, names = names] {
      for (const std::string& name : names) {
        QWidget* w = WidgetOf(name);
        if (w != nullptr && w->isVisible() && w->isEnabled()) {
          RunButton(name);
          return;
        }
      }
    });
  }
}

void MainWindow::Place(Binding& b, Container& c) {
  if (b.label != nullptr && b.labelSpot.row >= 0)
    c.grid->addWidget(b.label, b.labelSpot.row, b.labelSpot.col, b.labelSpot.rowSpan,
                      b.labelSpot.colSpan);
  if (b.widgetSpot.flow != nullptr)
    b.widgetSpot.flow->InsertWidget(b.widgetSpot.flowIndex, b.widget);
  else if (b.widgetSpot.row >= 0)
    c.grid->addWidget(b.widget, b.widgetSpot.row, b.widgetSpot.col, b.widgetSpot.rowSpan,
                      b.widgetSpot.colSpan);
}

void MainWindow::MoveTo(Binding& b, const std::string& target) {
  if (b.widget == nullptr || target == b.placedIn) return;
  auto it = containers_.find(target);
  if (it == containers_.end()) {
    // A grid borrows the control (it is drawn over a cell): show it in the grid's group.
    if (!form_.Has(target)) return;
    it = containers_.find(form_[target].parent);
    if (it == containers_.end()) return;
  }
  if (it->first == b.placedIn) return;
  Container& to = it->second;
  Container& from = containers_[b.placedIn];
  if (from.widget != nullptr) {
    RemoveFromLayout(from.widget->layout(), b.widget);
    RemoveFromLayout(from.widget->layout(), b.label);
  }
  if (it->first == b.home) {
    Place(b, to);
  } else {
    // Lent controls line up on top of the container, label before box.
    int col = to.guests->count() == 0 ? 0 : to.guests->columnCount();
    if (b.label != nullptr) to.guests->addWidget(b.label, 0, col++);
    to.guests->addWidget(b.widget, 0, col++);
    to.guests->setColumnStretch(col, 1);
  }
  b.placedIn = it->first;
}

QWidget* MainWindow::WidgetOf(const std::string& name) const {
  const auto it = bindings_.find(name);
  if (it != bindings_.end()) return it->second.widget;
  for (std::size_t i = 0; i < pageNames_.size(); ++i)
    if (pageNames_[i] == name) return pages_->widget(static_cast<int>(i));
  return nullptr;
}

QLabel* MainWindow::LabelOf(const std::string& name) const {
  const auto it = bindings_.find(name);
  return it != bindings_.end() ? it->second.label : nullptr;
}

QAction* MainWindow::ActionOf(const std::string& name) const {
  const auto it = bindings_.find(name);
  return it != bindings_.end() ? it->second.action : nullptr;
}

FormGridModel* MainWindow::GridModelOf(const std::string& name) const {
  const auto it = bindings_.find(name);
  return it != bindings_.end() ? it->second.model : nullptr;
}

void MainWindow::Refresh() {
  const bool wasUpdating = updating_;
  updating_ = true;
  setWindowTitle(ToQt(form_.caption));
  for (std::size_t i = 0; i < status_.size(); ++i) {
    const QString text = ToQt(form_.statusPanels[i]);
    if (status_[i]->text() != text) status_[i]->setText(text);
  }
  for (std::size_t i = 0; i < pageNames_.size(); ++i) {
    const Control& page = form_[pageNames_[i]];
    const int index = static_cast<int>(i);
    pages_->setTabText(index, ToQt(page.caption));
    pages_->setTabVisible(index, page.visible);
    pages_->setTabEnabled(index, page.enabled);
    if (page.name == form_.activePage && pages_->currentIndex() != index)
      pages_->setCurrentIndex(index);
  }
  for (auto& [name, b] : bindings_) RefreshControl(b);
  if (constantsPane_ != nullptr && constantsPane_->widget() != nullptr) {
    // The constants never hide behind a horizontal scroll bar.
    const int scrollBar = constantsPane_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int width = constantsPane_->widget()->minimumSizeHint().width() + scrollBar + 2;
    if (constantsPane_->minimumWidth() != width) constantsPane_->setMinimumWidth(width);
  }
  UpdatePlot();
  updating_ = wasUpdating;
}

void MainWindow::UpdatePlot() {
  if (plot_ == nullptr || !form_.Has("StrainGrid")) return;
  const workbench::Grid& g = form_.GridOf("StrainGrid");
  plot_->SetData(workbench::BuildSin2PsiPlot(g, g.row, form_.Checked("UseFij"),
                                             plot_->Quantity(), form_.Checked("eps0box")));
}

void MainWindow::RefreshControl(Binding& b) {
  const Control& c = *b.control;
  const QString hint = ToQt(c.hint);
  if (b.action != nullptr) {
    b.action->setToolTip(hint);
    b.action->setText(ToQt(c.caption));
    b.action->setEnabled(c.enabled);
    b.action->setVisible(c.visible);
    return;
  }
  if (c.parent != b.placedIn) MoveTo(b, c.parent);
  QWidget* w = b.widget;
  switch (c.kind) {
    case ControlKind::kPage:
      break;
    case ControlKind::kGroup:
      static_cast<QGroupBox*>(w)->setTitle(ToQt(c.caption));
      break;
    case ControlKind::kEdit: {
      auto* edit = static_cast<QLineEdit*>(w);
      const QString text = ToQt(c.text);
      if (edit->text() != text) edit->setText(text);
      SetGreyed(edit, c.greyed);
      break;
    }
    case ControlKind::kCombo: {
      auto* combo = static_cast<QComboBox*>(w);
      const QStringList items = ToQtList(c.items);
      if (items != b.shownItems) {
        combo->clear();
        combo->addItems(items);
        b.shownItems = items;
      }
      // Re-selecting clears the typed text; the user's cursor stays where it was.
      const QString before = combo->currentText();
      const int cursor = combo->isEditable() ? combo->lineEdit()->cursorPosition() : 0;
      if (combo->currentIndex() != c.itemIndex) combo->setCurrentIndex(c.itemIndex);
      if (combo->isEditable() && combo->currentText() != ToQt(c.text)) {
        combo->setEditText(ToQt(c.text));
        if (combo->currentText() == before) combo->lineEdit()->setCursorPosition(cursor);
      }
      break;
    }
    case ControlKind::kCheck:
    case ControlKind::kRadio: {
      auto* button = static_cast<QAbstractButton*>(w);
      button->setText(ToQt(c.caption));
      if (button->isChecked() != c.checked) button->setChecked(c.checked);
      break;
    }
    case ControlKind::kButton:
      static_cast<QAbstractButton*>(w)->setText(ToQt(c.caption));
      break;
    case ControlKind::kGrid:
      RefreshGrid(b);
      break;
    case ControlKind::kMemo: {
      auto* memo = static_cast<QPlainTextEdit*>(w);
      const QString text = MemoText(c.lines);
      if (memo->toPlainText() != text) memo->setPlainText(text);
      break;
    }
  }
  if (w->toolTip() != hint) w->setToolTip(hint);
  if (b.label != nullptr) {
    b.label->setText(ToQt(c.label));
    if (b.label->toolTip() != hint) b.label->setToolTip(hint);
    b.label->setEnabled(c.enabled);
    b.label->setVisible(c.visible);
  }
  if (w->isEnabledTo(w->parentWidget()) != c.enabled) w->setEnabled(c.enabled);
  if (w->isHidden() == c.visible) w->setVisible(c.visible);
}

void MainWindow::RefreshGrid(Binding& b) {
  GridView* view = b.view;
  FormGridModel* model = b.model;
  const workbench::Grid& g = model->Grid();
  model->Refresh();
  view->UpdateCorner();
  const bool fitted = kFittedGrids.count(model->Name()) != 0;
  if (g.colWidths != b.appliedWidths) {
    b.appliedWidths = g.colWidths;
    for (int c = 0; c < g.cols && c < static_cast<int>(g.colWidths.size()); ++c) {
      const int width = g.colWidths[static_cast<std::size_t>(c)];
      if (model->ViewCol(c) < 0)
        view->verticalHeader()->setMinimumWidth(width);
      else if (!fitted)
        view->setColumnWidth(model->ViewCol(c), width);
    }
  }
  if (fitted) FitColumns(b);
  // The Form's current cell and selection rectangle, where they lie in the view.
  const QModelIndex current = model->index(model->ViewRow(g.row), model->ViewCol(g.col));
  if (current.isValid() && view->currentIndex() != current)
    view->selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
  const int top = std::max(0, model->ViewRow(g.selTop));
  const int left = std::max(0, model->ViewCol(g.selLeft));
  const int bottom = std::min(model->rowCount() - 1, model->ViewRow(g.selBottom));
  const int right = std::min(model->columnCount() - 1, model->ViewCol(g.selRight));
  if (top <= bottom && left <= right) {
    const QItemSelection wanted(model->index(top, left), model->index(bottom, right));
    if (view->selectionModel()->selection() != wanted)
      view->selectionModel()->select(wanted, QItemSelectionModel::ClearAndSelect);
  }
}

void MainWindow::SyncGridSelection(Binding& b) {
  workbench::Grid& g = b.model->Grid();
  const QModelIndex current = b.view->currentIndex();
  if (current.isValid()) {
    g.col = b.model->GridCol(current.column());
    g.row = b.model->GridRow(current.row());
  }
  int top = g.row, left = g.col, bottom = g.row, right = g.col;
  bool first = true;
  for (const QItemSelectionRange& range : b.view->selectionModel()->selection()) {
    if (first) {
      top = range.top();
      left = range.left();
      bottom = range.bottom();
      right = range.right();
      first = false;
    } else {
      top = std::min(top, range.top());
      left = std::min(left, range.left());
      bottom = std::max(bottom, range.bottom());
      right = std::max(right, range.right());
    }
  }
  if (!first) {
    top = b.model->GridRow(top);
    bottom = b.model->GridRow(bottom);
    left = b.model->GridCol(left);
    right = b.model->GridCol(right);
  }
  g.selTop = top;
  g.selLeft = left;
  g.selBottom = bottom;
  g.selRight = right;
}

bool MainWindow::GridKey(Binding& b, QKeyEvent* event) {
  if (b.view->Editing()) return false;
  if (workbench::IsSpreadsheetGrid(b.control->name)) return SpreadsheetKey(b, event);
  const bool ctrl = (event->modifiers() & Qt::ControlModifier) != 0;
  // Enter moves to the next row, as in a spreadsheet.
  if (!ctrl && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    const QModelIndex current = b.view->currentIndex();
    if (current.isValid() && current.row() + 1 < b.model->rowCount())
      b.view->setCurrentIndex(current.sibling(current.row() + 1, current.column()));
    return true;
  }
  return false;
}

bool MainWindow::SpreadsheetKey(Binding& b, QKeyEvent* event) {
  const std::string name = b.control->name;
  const int key = GridKeyCode(event->key());
  const unsigned modifiers = GridModifiers(event->modifiers());
  if (key < 0) {
    // Arrows, Tab and typing are the view's own; the key only switches cell editing on.
    mf_.StringGridKeyDown(name, key, modifiers);
    return false;
  }
  SyncGridSelection(b);
  bool handled = false;
  Guarded([&] {
    handled = mf_.StringGridKeyDown(name, key, modifiers);
    if (key == workbench::kKeyEnter && (modifiers & workbench::kModCtrl) == 0) {
      mf_.StringGridKeyPress(name, '\r');
      handled = true;
    }
  });
  return handled;
}

void MainWindow::FitColumns(Binding& b) {
  const workbench::Grid& g = b.model->Grid();
  if (g.cells == b.fittedCells) return;
  const bool sameShape = b.fittedCells.size() == g.cells.size();
  const QFontMetrics metrics(b.view->font());
  // The delegate's margins on both sides and the grid line.
  const int padding = 2 * (b.view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 4;
  for (int c = 0; c < g.cols; ++c) {
    const int viewCol = b.model->ViewCol(c);
    if (viewCol < 0) continue;
    bool changed = !sameShape;
    for (int r = 0; r < g.rows && !changed; ++r) {
      const std::size_t k = static_cast<std::size_t>(r) * g.cols + c;
      changed = g.cells[k] != b.fittedCells[k];
    }
    if (!changed) continue;
    int width = b.view->horizontalHeader()->sectionSizeHint(viewCol);
    for (int r = b.model->GridRow(0); r < g.rows; ++r)
      width = std::max(width, metrics.horizontalAdvance(ToQt(g.Cell(c, r))) + padding);
    if (b.view->columnWidth(viewCol) != width) b.view->setColumnWidth(viewCol, width);
  }
  b.fittedCells = g.cells;
}

void MainWindow::GridPressed(Binding& b, int gridCol, int gridRow) {
  if (updating_ || b.control->command.empty()) return;
  // The pressed cell, fixed cells included, is the cell the grid's command acts on.
  b.model->Grid().Select(gridCol, gridRow);
  RunCommand(b.control->command);
}

void MainWindow::Guarded(const std::function<void()>& f) {
  if (running_) return;
  running_ = true;
  try {
    f();
  } catch (const std::exception& e) {
    // A fault in a command must not take the user's unsaved work with it.
    mf_.services.Message(workbench::MessageKind::kError, e.what(), workbench::Buttons::kOk);
  } catch (...) {
    mf_.services.Message(workbench::MessageKind::kError, "Unexpected error.",
                         workbench::Buttons::kOk);
  }
  running_ = false;
  Refresh();
}

void MainWindow::RunButton(const std::string& name) {
  const Control& c = form_[name];
  // A button whose function this version does not have says so instead of doing nothing.
  if (!c.command.empty() && c.command != kCloseCommand && !mf_.HasCommand(c.command)) {
    std::string caption = c.caption;
    caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
    mf_.services.Inform("\"" + caption + "\" is not available in this version of polydec.");
    return;
  }
  RunCommand(c.command);
}

void MainWindow::RunCommand(const std::string& command) {
  if (command.empty()) return;
  if (command == kCloseCommand) {
    close();
    return;
  }
  Guarded([this, &command] {
    if (!mf_.Run(command)) std::fprintf(stderr, "polydec-gui: no command %s\n", command.c_str());
  });
  ShowPoleFigureIfAsked();
  ShowReflectionsIfAsked();
  // After measurements arrive or are evaluated, their plot is what the user looks at next.
  if (constantsPlotTabs_ != nullptr &&
      (command == "LoadGridDataBtnClick" || command == "StressBtnClick" ||
       command == "StrainBtnClick"))
    constantsPlotTabs_->setCurrentWidget(plot_);
}

void MainWindow::ShowReflectionsIfAsked() {
  if (textureOverview_ != nullptr && textureOverview_->Revision() != mf_.ShownTexture.revision)
    textureOverview_->SetOverview(mf_.ShownTexture);
  if (reflections_ != nullptr && mf_.ReflectionRequests != reflectionRequests_ &&
      mf_.ShownReflections) {
    reflectionRequests_ = mf_.ReflectionRequests;
    reflections_->SetTable(*mf_.ShownReflections, mf_.ShownReflectionsClass);
  }
  if (mf_.SurveyRequests != surveyRequests_ && mf_.ShownSurvey) {
    surveyRequests_ = mf_.SurveyRequests;
    if (directional_ == nullptr) directional_ = new DirectionalView(this);
    directional_->SetSurvey(*mf_.ShownSurvey, ToQt(mf_.ShownSurveyTitle));
    directional_->show();
    directional_->raise();
  }
}

void MainWindow::ShowPoleFigureIfAsked() {
  if (mf_.PoleFigureRequests == poleFigureRequests_ || !mf_.ShownPoleFigure) return;
  poleFigureRequests_ = mf_.PoleFigureRequests;
  if (poleFigure_ == nullptr) poleFigure_ = new PoleFigureView(this);
  poleFigure_->SetPoleFigure(*mf_.ShownPoleFigure);
  poleFigure_->show();
  poleFigure_->raise();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    closed_ = true;
    Guarded([this] { mf_.FormClose(); });
  }
  event->accept();
}

}  // namespace polydec::gui
