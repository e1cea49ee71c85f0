// The Qt main window over the workbench's Form: builds one widget per control (pages, groups,
// edits, combos, checks, radios, buttons, grids, memos) named as the control, mirrors the Form
// in them after every command, feeds the user's edits back into the Form and runs the command
// bound to each event.
#pragma once

#include <QAbstractItemDelegate>
#include <QMainWindow>
#include <QTableView>
#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "workbench/main_form.h"

class QAbstractButton;
class QAction;
class QBoxLayout;
class QButtonGroup;
class QGridLayout;
class QLabel;
class QScrollArea;
class QTabWidget;

namespace polydec::gui {

class FlowLayout;
class PoleFigureView;
class TextureOverviewView;
class ReflectionView;
class DirectionalView;
class Sin2PsiPlotView;
class FormGridModel;

// A table view that reports key presses and mouse presses on cells and headers to the window.
class GridView : public QTableView {
  Q_OBJECT

 public:
  using QTableView::QTableView;
  std::function<bool(QKeyEvent*)> onKey;  // true when the window handled the key
  bool Editing() const { return state() == EditingState; }
  // The text of the corner above the row headers, drawn like a header section, and its tooltip.
  std::function<QString()> cornerText;
  std::function<QString()> cornerHint;
  void ShowCornerText();
  void UpdateCorner();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QAbstractButton* corner_ = nullptr;
};

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(workbench::MainForm& mainForm, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Form -> widgets: texts, items, checks, enabling, visibility, grids, status bar, page.
  void Refresh();
  // Runs a command of the workbench (or one the window owns) and repaints from the Form.
  void RunCommand(const std::string& command);
  // Runs a button's command, or tells the user that this version lacks it.
  void RunButton(const std::string& name);

  // The widget shown for a control, its label, its grid model; null when there is none.
  QWidget* WidgetOf(const std::string& name) const;
  QLabel* LabelOf(const std::string& name) const;
  QAction* ActionOf(const std::string& name) const;
  FormGridModel* GridModelOf(const std::string& name) const;
  QLabel* StatusPanel(int i) const { return status_[static_cast<std::size_t>(i)]; }
  QTabWidget* Pages() const { return pages_; }
  // The pole figure window, once a command has asked for one.
  PoleFigureView* PoleFigureWindow() const { return poleFigure_; }
  // The sin²ψ plot of the "DEC/Stress/Strain" page.
  Sin2PsiPlotView* Sin2PsiPlot() const { return plot_; }
  // The reflection table and its plot beside the constants of the "Isotropic" page.
  ReflectionView* Reflections() const { return reflections_; }
  // The directional picture's window, once a command has asked for one.
  DirectionalView* DirectionalWindow() const { return directional_; }
  // The pole figures and ODF sections of the texture in use, on the Texture page.
  TextureOverviewView* TextureOverview() const { return textureOverview_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Where a widget sits in a container's grid layout, so that a control lent to another
  // container can come back to its place.
  struct Spot {
    int row = -1, col = 0, rowSpan = 1, colSpan = 1;
    FlowLayout* flow = nullptr;
    int flowIndex = -1;
  };
  struct Binding {
    workbench::Control* control = nullptr;
    QWidget* widget = nullptr;
    QAction* action = nullptr;  // an entry of a grid's right-click menu
    QLabel* label = nullptr;
    FormGridModel* model = nullptr;
    GridView* view = nullptr;
    std::string home;      // the container it was built in
    std::string placedIn;  // the container it sits in now
    Spot widgetSpot, labelSpot;
    std::vector<int> appliedWidths;
    std::vector<std::string> fittedCells;  // the cells the columns were last fitted to
    QStringList shownItems;
  };
  // A page or a group: its widget and the grid layout its controls sit in.
  struct Container {
    QWidget* widget = nullptr;
    QGridLayout* grid = nullptr;
    QGridLayout* guests = nullptr;  // controls lent by another container, shown on top
    int nextRow = 1;
  };

  void BuildWidgets();
  // Opens or updates the pole figure window when the last command asked for a figure.
  void ShowPoleFigureIfAsked();
  PoleFigureView* poleFigure_ = nullptr;
  // Shows a new reflection table, directional map or texture overview when the last command
  // made one.
  void ShowReflectionsIfAsked();
  ReflectionView* reflections_ = nullptr;
  DirectionalView* directional_ = nullptr;
  int reflectionRequests_ = 0;
  TextureOverviewView* textureOverview_ = nullptr;
  int surveyRequests_ = 0;
  // Shows the data set of the worksheet's current row in the sin²ψ plot (redrawn only when
  // what it shows has changed).
  void UpdatePlot();
  Sin2PsiPlotView* plot_ = nullptr;
  int poleFigureRequests_ = 0;
  QWidget* CreateWidget(Binding& b);
  void BindGrid(Binding& b);
  void LayOutContainer(const std::string& name);
  void LayOutPage(const std::string& page);
  void Place(Binding& b, Container& c);
  void MoveTo(Binding& b, const std::string& container);
  void RefreshControl(Binding& b);
  void RefreshGrid(Binding& b);
  void SyncGridSelection(Binding& b);
  bool GridKey(Binding& b, QKeyEvent* event);
  // The keys of the grids edited like a spreadsheet go to the workbench's grid commands.
  bool SpreadsheetKey(Binding& b, QKeyEvent* event);
  // Columns as wide as their texts, for the grids whose texts decide their widths.
  void FitColumns(Binding& b);
  // The "DEC/Stress/Strain" page: constants and worksheet side by side, the results table and
  // the messages below, with splitters between them.
  void LayOutWorkPage(QBoxLayout* row);
  // Buttons with a keyboard shortcut: the shortcut presses the one on the page shown.
  void BindShortcuts();
  void GridPressed(Binding& b, int gridCol, int gridRow);
  // Runs f as a command would run: not inside another command, errors shown, window repainted.
  void Guarded(const std::function<void()>& f);
  std::vector<std::string> ChildrenOf(const std::string& parent) const;

  workbench::MainForm& mf_;
  workbench::Form& form_;
  QTabWidget* pages_ = nullptr;
  std::vector<std::string> pageNames_;
  std::array<QLabel*, 3> status_{};
  QButtonGroup* radios_ = nullptr;
  QScrollArea* constantsPane_ = nullptr;  // the "Elastic Constants" group beside the worksheet
  QTabWidget* constantsPlotTabs_ = nullptr;  // the constants and the sin²ψ plot, as tabs
  std::map<std::string, Binding> bindings_;
  std::map<std::string, Container> containers_;
  bool updating_ = false;  // the window writes into widgets: their signals are not user edits
  bool running_ = false;   // a command is running: focus changes in its dialogs start no other
  bool closed_ = false;
};

}  // namespace polydec::gui
