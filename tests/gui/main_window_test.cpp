// The Qt window on the offscreen platform: every control of the Form has its widget showing the
// Form's state, user edits reach the Form and run their commands, grids are views of the Form's
// cells, the services map onto real dialogs, and the data folder is chosen safely. Also saves a
// picture of each page for a person to look at.
#include "main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMessageBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScatterSeries>
#include <QScrollBar>
#include <QShortcut>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "grid_model.h"
#include "pole_figure_view.h"
#include "reflection_view.h"
#include "sin2psi_plot.h"
#include "texture_overview_view.h"
#include "qt_services.h"
#include "core/text_fields.h"
#include "workbench/main_form.h"

namespace {

namespace fs = std::filesystem;
using polydec::gui::FormGridModel;
using polydec::gui::MainWindow;
using polydec::workbench::ControlKind;
using polydec::workbench::HeadlessServices;
using polydec::workbench::MainForm;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A fresh folder holding a copy of the shipped material database.
fs::path NewDataFolder() {
  static std::atomic<int> counter{0};
  const fs::path dir =
      fs::temp_directory_path() /
      ("polydec_gui_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(fs::path(POLYDEC_BIN_DIR) / "pfcryst.dat", dir / "pfcryst.dat");
  return dir;
}

// Types text into a widget key by key, as a user would.
void Type(QWidget* w, const QString& text) {
  for (const QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
  }
}

void PressReturn(QWidget* w) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
}

class WindowTest : public ::testing::Test {
 protected:
  void Open(std::vector<std::string> args = {}, polydec::workbench::Services* with = nullptr) {
    dir = NewDataFolder();
    mf = std::make_unique<MainForm>(with != nullptr ? *with : services, dir.string(),
                                    std::move(args));
    window = std::make_unique<MainWindow>(*mf);
  }
  void SetUp() override { Open(); }
  void TearDown() override {
    window.reset();
    mf.reset();
    fs::remove_all(dir);
  }

  template <class W>
  W* Find(const std::string& name) const {
    W* w = window->findChild<W*>(Q(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  // A window without widgets, driven the same way, for the results the real window must show.
  std::unique_ptr<MainForm> Headless() {
    return std::make_unique<MainForm>(reference, NewDataFolder().string());
  }

  fs::path dir;
  HeadlessServices services;
  HeadlessServices reference;
  std::unique_ptr<MainForm> mf;
  std::unique_ptr<MainWindow> window;
};

// Every control of the Form against its widget, kind by kind.
void ExpectMirrors(const MainWindow& window, const polydec::workbench::Form& form) {
  for (const std::string& name : form.Names()) {
    SCOPED_TRACE(name);
    const auto& c = form[name];
    QObject* object = window.findChild<QObject*>(Q(name));
    ASSERT_NE(object, nullptr);
    if (auto* action = qobject_cast<QAction*>(object)) {
      EXPECT_EQ(action->text(), Q(c.caption));
      continue;
    }
    auto* w = qobject_cast<QWidget*>(object);
    ASSERT_NE(w, nullptr);
    if (c.kind == ControlKind::kPage) {
      const int index = window.Pages()->indexOf(w);
      ASSERT_GE(index, 0);
      EXPECT_EQ(window.Pages()->tabText(index), Q(c.caption));
      continue;
    }
    EXPECT_EQ(w->isEnabledTo(w->parentWidget()), c.enabled);
    EXPECT_EQ(!w->isHidden(), c.visible);
    if (!c.label.empty() && c.kind != ControlKind::kCheck && c.kind != ControlKind::kRadio) {
      ASSERT_NE(window.LabelOf(name), nullptr);
      EXPECT_EQ(window.LabelOf(name)->text(), Q(c.label));
    }
    switch (c.kind) {
      case ControlKind::kGroup:
        EXPECT_EQ(qobject_cast<QGroupBox*>(w)->title(), Q(c.caption));
        break;
      case ControlKind::kEdit: {
        auto* edit = qobject_cast<QLineEdit*>(w);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), Q(c.text));
        if (c.greyed) {
          EXPECT_EQ(edit->palette().color(QPalette::Disabled, QPalette::Base),
                    QColor(128, 128, 128));
        }
        break;
      }
      case ControlKind::kCombo: {
        auto* combo = qobject_cast<QComboBox*>(w);
        ASSERT_NE(combo, nullptr);
        ASSERT_EQ(combo->count(), static_cast<int>(c.items.size()));
        for (int i = 0; i < combo->count(); ++i) EXPECT_EQ(combo->itemText(i), Q(c.items[i]));
        EXPECT_EQ(combo->currentIndex(), c.itemIndex);
        EXPECT_EQ(combo->currentText(), Q(c.text));
        EXPECT_EQ(combo->isEditable(), !c.listOnly);
        break;
      }
      case ControlKind::kCheck:
      case ControlKind::kRadio:
      case ControlKind::kButton: {
        auto* button = qobject_cast<QAbstractButton*>(w);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), Q(c.caption));
        if (c.kind != ControlKind::kButton) {
          EXPECT_EQ(button->isChecked(), c.checked);
        }
        break;
      }
      case ControlKind::kGrid: {
        FormGridModel* model = window.GridModelOf(name);
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(model->rowCount(), c.grid.rows - 1);
        EXPECT_EQ(model->columnCount(), c.grid.cols - 1);
        for (int r = 1; r < c.grid.rows; ++r)
          for (int col = 1; col < c.grid.cols; ++col)
            ASSERT_EQ(model->index(r - 1, col - 1).data().toString(), Q(c.grid.Cell(col, r)))
                << col << "," << r;
        for (int col = 1; col < c.grid.cols; ++col)
          EXPECT_EQ(model->headerData(col - 1, Qt::Horizontal, Qt::DisplayRole).toString(),
                    Q(c.grid.Cell(col, 0)));
        for (int r = 1; r < c.grid.rows; ++r)
          EXPECT_EQ(model->headerData(r - 1, Qt::Vertical, Qt::DisplayRole).toString(),
                    Q(c.grid.Cell(0, r)));
        break;
      }
      case ControlKind::kMemo: {
        QStringList lines;
        for (const std::string& line : c.lines) lines << Q(line);
        EXPECT_EQ(qobject_cast<QPlainTextEdit*>(w)->toPlainText(), lines.join('\n'));
        break;
      }
      case ControlKind::kPage:
        break;
    }
  }
  EXPECT_EQ(window.windowTitle(), Q(form.caption));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(window.StatusPanel(i)->text(), Q(form.statusPanels[static_cast<std::size_t>(i)]));
    EXPECT_EQ(window.StatusPanel(i)->width(), form.statusWidths[static_cast<std::size_t>(i)]);
  }
}

TEST_F(WindowTest, EveryControlHasAWidgetShowingItsState) {
  ExpectMirrors(*window, mf->form);
  EXPECT_EQ(window->Pages()->count(), 4);
  EXPECT_EQ(window->Pages()->currentWidget()->objectName(), Q(mf->form.activePage));
  // The worksheet's right-click menu carries the menu commands.
  auto* sheet = Find<QTableView>("StrainGrid");
  ASSERT_EQ(sheet->actions().size(), 3);
  EXPECT_EQ(sheet->actions()[2]->text(), "Paste");
}

TEST_F(WindowTest, ButtonRunsItsCommandOnTheTypedInputs) {
  auto* h = Find<QLineEdit>("HEdit");
  h->selectAll();
  Type(h, "2");
  EXPECT_EQ(mf->form.Text("HEdit"), "2");
  Find<QPushButton>("CalcDECBtn")->click();

  auto expected = Headless();
  expected->form.SetText("HEdit", "2");
  expected->Run("CalcDECBtnClick");
  for (const char* out : {"s1Edit", "s2Edit", "dEdit"}) {
    SCOPED_TRACE(out);
    EXPECT_EQ(Find<QLineEdit>(out)->text(), Q(expected->form.Text(out)));
    EXPECT_NE(Find<QLineEdit>(out)->text(), Q(""));
  }
  EXPECT_NE(Find<QLineEdit>("s1Edit")->text(), "0");
  ExpectMirrors(*window, mf->form);
}

TEST_F(WindowTest, FinishingAnEditRunsItsRuleAndRepaintsTheTiedBoxes) {
  auto* c11 = Find<QLineEdit>("C11Edit");
  c11->selectAll();
  Type(c11, "250");
  PressReturn(c11);
  // Cubic: C22 and C33 follow C11.
  EXPECT_EQ(Find<QLineEdit>("C22Edit")->text(), "250");
  EXPECT_EQ(Find<QLineEdit>("C33Edit")->text(), "250");
  ExpectMirrors(*window, mf->form);
}

TEST_F(WindowTest, ChoosingTheCrystalSymmetryRunsItsRules) {
  auto* symmetry = Find<QComboBox>("CrystalSymmetryBox");
  const int hexagonal = 2;
  symmetry->setCurrentIndex(hexagonal);
  emit symmetry->activated(hexagonal);
  EXPECT_EQ(mf->form.ItemIndex("CrystalSymmetryBox"), hexagonal);

  auto expected = Headless();
  expected->form.SetItemIndex("CrystalSymmetryBox", hexagonal);
  expected->Run("CrystalSymmetryBoxClick");
  for (const char* box : {"C13Edit", "C33Edit", "C44Edit", "C66Edit"}) {
    SCOPED_TRACE(box);
    EXPECT_EQ(Find<QLineEdit>(box)->isEnabledTo(window.get()), expected->form[box].enabled);
    EXPECT_EQ(Find<QLineEdit>(box)->text(), Q(expected->form.Text(box)));
  }
  ExpectMirrors(*window, mf->form);
}

TEST_F(WindowTest, TypingAMaterialNameLoadsIt) {
  const auto& items = mf->form["CompoundNameBox"].items;
  ASSERT_GE(items.size(), 2u);
  auto* name = Find<QComboBox>("CompoundNameBox");
  name->lineEdit()->selectAll();
  Type(name->lineEdit(), Q(items[1]));
  EXPECT_EQ(mf->form.Text("CompoundNameBox"), items[1]);

  auto expected = Headless();
  expected->form.SetText("CompoundNameBox", items[1]);
  expected->Run("CompoundNameBoxClick");
  EXPECT_EQ(Find<QLineEdit>("C11Edit")->text(), Q(expected->form.Text("C11Edit")));
  EXPECT_EQ(Find<QLineEdit>("aEdit")->text(), Q(expected->form.Text("aEdit")));
  ExpectMirrors(*window, mf->form);
}

TEST_F(WindowTest, RadioButtonsFormOneGroupInTheForm) {
  EXPECT_EQ(mf->FCode(), 3);
  Find<QRadioButton>("HillBtn")->click();
  EXPECT_TRUE(mf->form.Checked("HillBtn"));
  EXPECT_FALSE(mf->form.Checked("KroenerBtn"));
  EXPECT_FALSE(Find<QRadioButton>("KroenerBtn")->isChecked());
  EXPECT_EQ(mf->FCode(), 6);
  // Clicking the checked button keeps it checked.
  Find<QRadioButton>("HillBtn")->click();
  EXPECT_TRUE(Find<QRadioButton>("HillBtn")->isChecked());
  EXPECT_TRUE(mf->form.Checked("HillBtn"));
}

TEST_F(WindowTest, GridsAreViewsOfTheFormsCells) {
  FormGridModel* sheet = window->GridModelOf("StrainGrid");
  ASSERT_NE(sheet, nullptr);
  auto& grid = mf->form.GridOf("StrainGrid");
  // An edit through the view lands in the Form's cell, header row and column not counted.
  ASSERT_TRUE(sheet->setData(sheet->index(2, 4), "1.5", Qt::EditRole));
  EXPECT_EQ(grid.Cell(5, 3), "1.5");
  // A change of the Form shows after the next repaint, a new shape included.
  grid.SetCell(1, 1, "2 1 1");
  grid.Resize(grid.cols + 1, grid.rows + 2);
  window->Refresh();
  EXPECT_EQ(sheet->rowCount(), grid.rows - 1);
  EXPECT_EQ(sheet->columnCount(), grid.cols - 1);
  EXPECT_EQ(sheet->index(0, 0).data().toString(), "2 1 1");
  // Header cells are not editable through the view.
  FormGridModel* multi = window->GridModelOf("MultiphaseGrid");
  EXPECT_FALSE(multi->flags(multi->index(0, 0)) & Qt::ItemIsEditable);
  EXPECT_TRUE(multi->flags(multi->index(0, 1)) & Qt::ItemIsEditable);

  // The selection of the view is the selection of the Form, and back.
  auto* view = Find<QTableView>("StrainGrid");
  view->selectionModel()->setCurrentIndex(sheet->index(3, 2), QItemSelectionModel::NoUpdate);
  view->selectionModel()->select(QItemSelection(sheet->index(3, 2), sheet->index(5, 4)),
                                 QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(grid.col, 3);
  EXPECT_EQ(grid.row, 4);
  EXPECT_EQ(grid.selLeft, 3);
  EXPECT_EQ(grid.selTop, 4);
  EXPECT_EQ(grid.selRight, 5);
  EXPECT_EQ(grid.selBottom, 6);
  grid.Select(7, 9);
  window->Refresh();
  EXPECT_EQ(view->currentIndex(), sheet->index(8, 6));
}

TEST_F(WindowTest, PageChangeMovesTheMaterialBoxAndFillsTheStiffnessGrid) {
  auto* name = Find<QComboBox>("CompoundNameBox");
  EXPECT_TRUE(Find<QGroupBox>("SECActions")->isAncestorOf(name));
  window->Pages()->setCurrentIndex(1);
  EXPECT_EQ(mf->form.activePage, "TabSheet3");
  EXPECT_TRUE(Find<QGroupBox>("AnElConstBox")->isAncestorOf(name));
  EXPECT_NE(window->GridModelOf("RotationGrid")->index(7, 0).data().toString().trimmed(), "");
  window->Pages()->setCurrentIndex(0);
  EXPECT_TRUE(Find<QGroupBox>("SECActions")->isAncestorOf(name));
  ExpectMirrors(*window, mf->form);
}

TEST_F(WindowTest, MessagesOfCommandsGoThroughServices) {
  auto* c12 = Find<QLineEdit>("C12Edit");
  c12->setText("abc");
  Find<QPushButton>("CalcDECBtn")->click();
  ASSERT_FALSE(services.messages.empty());
  EXPECT_EQ(services.messages.front().text, "Not a valid input for C12 !");
}

TEST_F(WindowTest, AButtonWithoutItsFunctionSaysSo) {
  services.messages.clear();
  // Every button of this version has its command; one bound to a command the window lacks
  // stands for a function a front end offers before the engine has it.
  mf->form["CalcTwinFracBtn"].command = "NoSuchCommandClick";
  Find<QPushButton>("CalcTwinFracBtn")->click();
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages.front().text,
            "\"Calculate\" is not available in this version of polydec.");
}

TEST_F(WindowTest, ExitButtonClosesTheWindowAndWritesTheSettings) {
  window->show();
  Find<QPushButton>("ExitButton")->click();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(fs::exists(dir / "polydec.ini"));
}

// The worksheet's keys with the real clipboard: what a range copies pastes back as it was, a
// block from a spreadsheet with empty cells lands column for column, and the messages stay.
class SpreadsheetTest : public WindowTest {
 protected:
  void SetUp() override {
    Open({}, &qt);
    qt.Attach(window.get(), [this] { window->Refresh(); });
    window->show();
    window->Pages()->setCurrentIndex(1);
    view = Find<QTableView>("StrainGrid");
    model = window->GridModelOf("StrainGrid");
    memo = Find<QPlainTextEdit>("Memo1");
    memo->setPlainText("Calc Stress: 1 data set\nsecond line");
  }
  polydec::workbench::Grid& Sheet() { return mf->form.GridOf("StrainGrid"); }
  // Selects grid cells (columns left..right, rows top..bottom) in the view, current cell first.
  void SelectCells(int left, int top, int right, int bottom) {
    view->selectionModel()->setCurrentIndex(model->index(top - 1, left - 1),
                                            QItemSelectionModel::ClearAndSelect);
    view->selectionModel()->select(
        QItemSelection(model->index(top - 1, left - 1), model->index(bottom - 1, right - 1)),
        QItemSelectionModel::ClearAndSelect);
  }
  void Key(QWidget* w, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(w, &press);
  }
  QString Shown(int col, int row) { return model->index(row - 1, col - 1).data().toString(); }

  // The cell editor the view has open, once the editors it closed are gone.
  QLineEdit* Editor() {
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return view->viewport()->findChild<QLineEdit*>();
  }

  polydec::gui::QtServices qt;
  QTableView* view = nullptr;
  FormGridModel* model = nullptr;
  QPlainTextEdit* memo = nullptr;
};

TEST_F(SpreadsheetTest, CopiedRangePastesBackAsItWas) {
  const char* texts[2][3] = {{"2 1 1", " ", "1.170300"}, {"", "-0.5", "x y"}};
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) Sheet().SetCell(2 + c, 4 + r, texts[r][c]);
  window->Refresh();
  SelectCells(2, 4, 4, 5);
  Key(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "2 1 1\t \t1.170300\n\t-0.5\tx y\n");

  SelectCells(3, 20, 3, 20);
  Key(view, Qt::Key_V, Qt::ControlModifier);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(Sheet().Cell(3 + c, 20 + r), texts[r][c]) << r << "," << c;
      EXPECT_EQ(Shown(3 + c, 20 + r), Q(texts[r][c]));
    }
  EXPECT_EQ(memo->toPlainText(), "Calc Stress: 1 data set\nsecond line");

  // The right-click menu does the same on the worksheet's selection.
  SelectCells(2, 4, 2, 5);
  window->ActionOf("Cut1")->trigger();
  EXPECT_EQ(Shown(2, 4), " ");
  EXPECT_EQ(QApplication::clipboard()->text(), "2 1 1\n\n");
  SelectCells(2, 30, 2, 30);
  window->ActionOf("Paste1")->trigger();
  EXPECT_EQ(Shown(2, 30), "2 1 1");
  EXPECT_EQ(memo->toPlainText(), "Calc Stress: 1 data set\nsecond line");
}

TEST_F(SpreadsheetTest, ABlockWithEmptyCellsPastesColumnForColumn) {
  // As a spreadsheet puts it on the clipboard: CR LF line ends, one TAB per cell boundary.
  QApplication::clipboard()->setText("1.1\t\t3.3\r\n\t5.5\t\r\n");
  SelectCells(3, 5, 6, 9);
  Key(view, Qt::Key_V, Qt::ControlModifier);
  const char* expected[2][3] = {{"1.1", "", "3.3"}, {"", "5.5", ""}};
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(Shown(3 + c, 5 + r), Q(expected[r][c])) << r << "," << c;
  EXPECT_EQ(memo->toPlainText(), "Calc Stress: 1 data set\nsecond line");
  // Delete blanks the selection.
  SelectCells(3, 5, 4, 5);
  Key(view, Qt::Key_Delete);
  EXPECT_EQ(Shown(3, 5), " ");
  EXPECT_EQ(Shown(4, 5), " ");
  EXPECT_EQ(Shown(5, 5), "3.3");
}

TEST_F(SpreadsheetTest, FormulaTypedIntoACellFillsTheSelection) {
  for (int r = 1; r <= 3; ++r) Sheet().SetCell(3, r, std::to_string(r));
  window->Refresh();
  SelectCells(3, 1, 3, 3);
  view->edit(model->index(0, 2));
  QLineEdit* editor = Editor();
  ASSERT_NE(editor, nullptr);
  editor->setText("=C1*2");
  Key(editor, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(Shown(3, 1), "2.000000");
  EXPECT_EQ(Shown(3, 2), "4.000000");
  EXPECT_EQ(Shown(3, 3), "6.000000");
  // The cursor went one row down from the formula's cell; Enter goes on down.
  EXPECT_EQ(view->currentIndex(), model->index(1, 2));
  Key(view, Qt::Key_Return);
  EXPECT_EQ(view->currentIndex(), model->index(2, 2));
  // Enter in the cell editor ends the edit and moves down too.
  view->edit(model->index(2, 2));
  editor = Editor();
  ASSERT_NE(editor, nullptr);
  editor->setText("7");
  Key(editor, Qt::Key_Return);
  EXPECT_EQ(Sheet().Cell(3, 3), "7");
  EXPECT_EQ(view->currentIndex(), model->index(3, 2));
}

TEST_F(WindowTest, ShortcutsPressTheButtonOfThePageShown) {
  window->show();
  QApplication::processEvents();
  window->Pages()->setCurrentIndex(1);
  QApplication::processEvents();
  services.dialogs.clear();
  services.files = {std::nullopt, std::nullopt};
  QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
  QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(services.dialogs.size(), 2u);
  EXPECT_FALSE(services.dialogs[0].save);
  EXPECT_EQ(services.dialogs[0].dialog.title, "Load Worksheet file.");
  EXPECT_TRUE(services.dialogs[1].save);

  // Ctrl+D is "Calc DEC" of the page shown: on the "Isotropic" page it fills s1 and 1/2s2.
  window->Pages()->setCurrentIndex(0);
  QApplication::processEvents();
  QTest::keyClick(window.get(), Qt::Key_D, Qt::ControlModifier);
  EXPECT_NE(Find<QLineEdit>("s1Edit")->text(), "0");
  // Ctrl+O means nothing there.
  QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(services.dialogs.size(), 2u);
}

TEST_F(WindowTest, TooltipsExplainTerseCaptions) {
  EXPECT_TRUE(Find<QCheckBox>("sig33box")->toolTip().startsWith("checked: sig_zz is held"));
  EXPECT_NE(Find<QRadioButton>("ReussBtn")->toolTip(), "");
  EXPECT_NE(Find<QCheckBox>("UseFij")->toolTip(), "");
  EXPECT_TRUE(Find<QPushButton>("StressBtn")->toolTip().endsWith("(Ctrl+R)"));
  FormGridModel* rot = window->GridModelOf("RotationGrid");
  EXPECT_TRUE(rot->headerData(6, Qt::Vertical, Qt::ToolTipRole).toString().contains("macroscopic"));
  EXPECT_EQ(window->LabelOf("Memo1")->text(), "Messages");
}

// At the start size, with a measured worksheet evaluated, the page shows the worksheet from
// "#" to the stress factors and the whole results table without any scrolling.
TEST_F(WindowTest, StartSizeShowsTheWorksheetAndTheResults) {
  services.files = {std::string(POLYDEC_SOURCE_DIR "/examples/ferrite_211_stress.tsd")};
  window->Pages()->setCurrentIndex(1);
  window->show();
  QApplication::processEvents();
  Find<QPushButton>("LoadGridDataBtn")->click();
  Find<QPushButton>("FijBtn")->click();
  Find<QPushButton>("StressBtn")->click();
  ASSERT_TRUE(services.messages.empty()) << services.messages.front().text;
  QApplication::processEvents();

  EXPECT_FALSE(Find<QScrollArea>("TabSheet3")->horizontalScrollBar()->isVisible());
  EXPECT_FALSE(Find<QScrollArea>("TabSheet3")->verticalScrollBar()->isVisible());
  auto* sheet = Find<QTableView>("StrainGrid");
  FormGridModel* sheetModel = window->GridModelOf("StrainGrid");
  // Calc Stress has taken the worksheet to its result block; back to its start.
  sheet->horizontalScrollBar()->setValue(0);
  QApplication::processEvents();
  // The first ten columns: "#" to "F22".
  const int lastShown = 10;
  const QFontMetrics metrics(sheet->font());
  for (int c = 1; c <= lastShown; ++c) {
    SCOPED_TRACE(c);
    const int v = sheetModel->ViewCol(c);
    EXPECT_GE(sheet->columnViewportPosition(v), 0);
    EXPECT_LE(sheet->columnViewportPosition(v) + sheet->columnWidth(v), sheet->viewport()->width());
    // Wide enough for every text: nothing is cut to "1....".
    for (int r = 1; r <= 16; ++r)
      EXPECT_GE(sheet->columnWidth(v),
                metrics.horizontalAdvance(Q(mf->form.GridOf("StrainGrid").Cell(c, r))));
  }
  EXPECT_NE(mf->form.GridOf("StrainGrid").Cell(lastShown, 1).find_first_not_of(' '),
            std::string::npos);
  // Calc Stress turned the column beside it to the plot; its other tab, the constants, shows
  // the model buttons and "Load ODF" and is not cut either.
  auto* tabs = Find<QTabWidget>("ConstantsPlotTabs");
  EXPECT_EQ(tabs->currentWidget(), window->Sin2PsiPlot());
  tabs->setCurrentIndex(0);
  QApplication::processEvents();
  EXPECT_FALSE(Find<QPushButton>("LoadBtn")->visibleRegion().isEmpty());
  EXPECT_FALSE(Find<QRadioButton>("HillBtn")->visibleRegion().isEmpty());
  auto* constants = Find<QTableView>("RotationGrid");
  EXPECT_FALSE(constants->visibleRegion().isEmpty());
  EXPECT_GE(constants->width(), constants->sizeHint().width());

  auto* results = Find<QTableView>("ResultsGrid");
  FormGridModel* resultsModel = window->GridModelOf("ResultsGrid");
  ASSERT_EQ(resultsModel->rowCount(), 1);
  EXPECT_EQ(resultsModel->index(0, 1).data().toString(),
            Q(mf->form.GridOf("StrainGrid").Cell(mf->GetStringGridColNum("sig_xx"), 1)));
  EXPECT_NE(resultsModel->index(0, 16).data().toString(), "");
  for (int v = 0; v < resultsModel->columnCount(); ++v) {
    SCOPED_TRACE(v);
    EXPECT_GE(results->columnViewportPosition(v), 0);
    EXPECT_LE(results->columnViewportPosition(v) + results->columnWidth(v),
              results->viewport()->width());
  }
  EXPECT_LE(results->rowViewportPosition(0) + results->rowHeight(0), results->viewport()->height());
  EXPECT_TRUE(Find<QPlainTextEdit>("Memo1")->isVisible());

  const fs::path out = POLYDEC_SCREENSHOT_DIR;
  fs::create_directories(out);
  EXPECT_TRUE(window->grab().save(Q((out / "start-size-results.png").string())));
}

struct HiddenCase {
  std::vector<std::string> args;
  bool fitButtons;
};

void PrintTo(const HiddenCase& c, std::ostream* os) {
  *os << (c.args.empty() ? "no argument" : "argument " + c.args.front());
}

class HiddenFunctionsTest : public WindowTest, public ::testing::WithParamInterface<HiddenCase> {
 protected:
  void SetUp() override { Open(GetParam().args); }
};

TEST_P(HiddenFunctionsTest, ShowHiddenFunctionsShowsTheGroups) {
  const char* groups[] = {"LoadFijGroupBox", "SpecialFunctionsGroupBox", "SpecialSettingsGroupBox",
                          "MultiPhaseBox", "TextureGroupBox"};
  for (const char* g : groups) EXPECT_TRUE(Find<QGroupBox>(g)->isHidden()) << g;
  Find<QCheckBox>("ShowHiddenFunctions")->click();
  for (const char* g : groups) EXPECT_FALSE(Find<QGroupBox>(g)->isHidden()) << g;
  EXPECT_EQ(!Find<QPushButton>("Button2")->isHidden(), GetParam().fitButtons);
  EXPECT_EQ(!Find<QPushButton>("FitSCConstantsBtn")->isHidden(), GetParam().fitButtons);
  EXPECT_TRUE(Find<QRadioButton>("VookWittBtn")->isHidden());
  ExpectMirrors(*window, mf->form);
}

INSTANTIATE_TEST_SUITE_P(AccessWord, HiddenFunctionsTest,
                         ::testing::Values(HiddenCase{{}, false}, HiddenCase{{"qyxo"}, false},
                                           HiddenCase{{"Qyxo"}, true}));

// The mouse wheel over a combo box that has no focus scrolls the page instead of changing the
// box (a sample symmetry changed unnoticed while the user scrolled); once the box has the focus
// the wheel changes it as usual. And the frame of the crystal starts as the one the command
// line uses.
TEST_F(WindowTest, WheelChangesAComboBoxOnlyWithFocus) {
  window->Pages()->setCurrentIndex(1);
  window->show();
  QApplication::processEvents();
  auto* combo = Find<QComboBox>("SampleSymmetry");
  const int before = combo->currentIndex();
  const auto wheel = [combo] {
    const QPointF at(combo->width() / 2.0, combo->height() / 2.0);
    QWheelEvent event(at, combo->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(combo, &event);
    QApplication::processEvents();
  };
  combo->clearFocus();
  wheel();
  EXPECT_EQ(combo->currentIndex(), before);
  EXPECT_EQ(mf->form.ItemIndex("SampleSymmetry"), before);
  combo->setFocus();
  QApplication::processEvents();
  if (combo->hasFocus()) {
    wheel();
    EXPECT_NE(combo->currentIndex(), before);
  }
  EXPECT_EQ(Find<QComboBox>("CartAxesBox")->currentIndex(), 1);
  EXPECT_EQ(mf->CurrentContext.Cryst.AxisSetting, 1);
}

// Pictures of the four pages at a common screen size, with the hidden groups shown too, for a
// person to judge the layout without a display.
TEST_F(WindowTest, SavesAPictureOfEachPage) {
  const fs::path out = POLYDEC_SCREENSHOT_DIR;
  fs::create_directories(out);
  window->show();
  // The window at its start size first.
  window->Pages()->setCurrentIndex(1);
  QApplication::processEvents();
  EXPECT_TRUE(window->grab().save(Q((out / "start-size.png").string())));
  window->resize(1280, 800);
  for (const bool all : {false, true}) {
    if (all) Find<QCheckBox>("ShowHiddenFunctions")->click();
    for (int i = 0; i < window->Pages()->count(); ++i) {
      window->Pages()->setCurrentIndex(i);
      QApplication::processEvents();
      QString file = window->Pages()->tabText(i).replace('/', '-');
      if (all) file += "-all";
      const fs::path path = out / (file.toStdString() + ".png");
      EXPECT_TRUE(window->grab().save(Q(path.string())));
    }
  }
}

// "Show pole figure" opens the view of the loaded ODF: a picture with colour, not a blank, also
// when saved as PNG and SVG. The pictures go with the screenshots.
TEST_F(WindowTest, ShowsThePoleFigureOfTheLoadedOdf) {
  const fs::path out = POLYDEC_SCREENSHOT_DIR;
  fs::create_directories(out);
  services.files.push_back(std::string(POLYDEC_SOURCE_DIR) + "/examples/rolling_cubic.odf");
  window->RunCommand("LoadBtnClick");
  ASSERT_EQ(mf->CurrentContext.ODFNUMP, 197173);
  mf->form.SetText("czhkl", "1 1 1");
  window->Refresh();
  Find<QPushButton>("ShowPoleFigureBtn")->click();
  polydec::gui::PoleFigureView* view = window->PoleFigureWindow();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isVisible());
  QApplication::processEvents();
  const QImage shot = view->grab().toImage();
  // A blank picture has one or two colours; the figure has its bands, axes and labels.
  std::set<QRgb> colours;
  for (int y = 0; y < shot.height(); y += 3)
    for (int x = 0; x < shot.width(); x += 3) colours.insert(shot.pixel(x, y));
  EXPECT_GT(colours.size(), 8u);
  EXPECT_TRUE(shot.save(Q((out / "pole-figure-111.png").string())));
  EXPECT_TRUE(view->SavePng(Q((out / "pole-figure-111-saved.png").string())));
  const fs::path svg = out / "pole-figure-111.svg";
  ASSERT_TRUE(view->SaveSvg(Q(svg.string())));
  std::ifstream in(svg);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("<svg"), std::string::npos);
  EXPECT_NE(text.find("max = "), std::string::npos);
}

// Points of the scatter series of a chart, by the series' names.
std::map<QString, QList<QPointF>> ScatterPoints(const QChart* chart) {
  std::map<QString, QList<QPointF>> out;
  for (QAbstractSeries* s : chart->series())
    if (auto* scatter = qobject_cast<QScatterSeries*>(s)) out[s->name()] = scatter->points();
  return out;
}

int LineCount(const QChart* chart) {
  int n = 0;
  for (QAbstractSeries* s : chart->series()) n += qobject_cast<QLineSeries*>(s) != nullptr ? 1 : 0;
  return n;
}

// Pixels of a picture in more than a few colours: a plot, not a blank.
std::size_t Colours(const QImage& image) {
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
  return colours.size();
}

// The Texture page shows the loaded texture: its account beside the buttons and its pole
// figures and sections painted; "ODF sections picture" writes the sections where the dialog
// says; the pole-figure view draws flat level bands on request, in fewer colours than its smooth
// scale. The pictures go with the screenshots.
TEST_F(WindowTest, TexturePageShowsTheLoadedTexture) {
  const fs::path out = POLYDEC_SCREENSHOT_DIR;
  fs::create_directories(out);
  polydec::gui::TextureOverviewView* overview = window->TextureOverview();
  ASSERT_NE(overview, nullptr);
  EXPECT_EQ(overview->Revision(), 0);
  services.files.push_back(std::string(POLYDEC_SOURCE_DIR) + "/examples/rolling_cubic.odf");
  window->RunCommand("LoadBtnClick");
  ASSERT_EQ(mf->CurrentContext.ODFNUMP, 197173);
  EXPECT_EQ(overview->Revision(), 1);
  const QString account = Find<QPlainTextEdit>("TextureSummaryMemo")->toPlainText();
  EXPECT_TRUE(account.contains("Texture index: ")) << account.toStdString();
  EXPECT_TRUE(account.contains("Sample symmetry: orthorhombic")) << account.toStdString();

  window->show();
  window->resize(1280, 800);
  for (int i = 0; i < window->Pages()->count(); ++i)
    if (window->Pages()->tabText(i) == "Texture") window->Pages()->setCurrentIndex(i);
  QApplication::processEvents();
  EXPECT_TRUE(overview->isVisible());
  EXPECT_GT(Colours(overview->grab().toImage()), 30u);
  EXPECT_TRUE(window->grab().save(Q((out / "texture-page-loaded.png").string())));

  for (const char* name : {"odf-sections.png", "odf-sections.svg"}) {
    const fs::path file = out / name;
    fs::remove(file);
    services.files.push_back(file.string());
    Find<QPushButton>("OdfSectionsBtn")->click();
    EXPECT_GT(fs::file_size(file), 1000u) << name;
  }
  QImage sections;
  ASSERT_TRUE(sections.load(Q((out / "odf-sections.png").string())));
  EXPECT_GT(Colours(sections), 30u);

  mf->form.SetText("czhkl", "1 1 1");
  window->Refresh();
  Find<QPushButton>("ShowPoleFigureBtn")->click();
  polydec::gui::PoleFigureView* view = window->PoleFigureWindow();
  ASSERT_NE(view, nullptr);
  QApplication::processEvents();
  const std::size_t smooth = Colours(view->grab().toImage());
  view->SetBands(true);
  QApplication::processEvents();
  const QImage banded = view->grab().toImage();
  EXPECT_LT(Colours(banded) * 2, smooth);
  EXPECT_TRUE(banded.save(Q((out / "pole-figure-111-bands.png").string())));
}

// "List reflections" fills the table beside the constants with the numbers of `polydec dec
// --all` for the material on the page (to the table's decimals), the header sorts by number,
// "Copy" gives the table as tab-separated lines, and the plot is drawn and saved with the
// screenshots, as is the picture of E(n).
TEST_F(WindowTest, ReflectionTableIsTheCommandLinesAndPlots) {
  const fs::path out = POLYDEC_SCREENSHOT_DIR;
  fs::create_directories(out);
  window->Pages()->setCurrentIndex(0);
  Find<QLineEdit>("MaxIndexEdit")->setText("3");
  mf->form.SetText("MaxIndexEdit", "3");
  Find<QPushButton>("ReflectionTableBtn")->click();
  polydec::gui::ReflectionView* view = window->Reflections();
  ASSERT_NE(view, nullptr);
  QTableWidget* table = view->Table();

  QProcess cli;
  cli.start(QString(POLYDEC_BIN_DIR) + "/polydec",
            {"dec", "--material", Q(mf->form.Text("CompoundNameBox")), "--all", "--max-index",
             "3", "--json"});
  ASSERT_TRUE(cli.waitForFinished(60000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  const QJsonArray rows = QJsonDocument::fromJson(cli.readAllStandardOutput()).object()["rows"].toArray();
  ASSERT_EQ(table->rowCount(), rows.size());
  const auto text = [](const QJsonValue& v, int decimals) {
    return v.isNull() ? QString("-") : Q(polydec::core::FormatPadded(v.toDouble(), 0, decimals));
  };
  for (int r = 0; r < rows.size(); ++r) {
    const QJsonObject row = rows[r].toObject();
    EXPECT_EQ(table->item(r, 0)->text(), row["hkl_text"].toString());
    EXPECT_EQ(table->item(r, 1)->text(), QString::number(row["multiplicity"].toInt()));
    EXPECT_EQ(table->item(r, 2)->text(), text(row["d"], 5));
    EXPECT_EQ(table->item(r, 4)->text(), text(row["gamma3"], 4));
    const QJsonObject kroener = row["models"].toObject()["kroener"].toObject();
    EXPECT_EQ(table->item(r, 5 + 3 * 4 + 1)->text(), text(kroener["half_s2"], 4)) << r;
    EXPECT_EQ(table->item(r, 5 + 3 * 4 + 2)->text(), text(kroener["E"], 1)) << r;
  }

  // Sorting by the multiplicity column orders by number (48 after 8, not before).
  table->sortItems(1, Qt::AscendingOrder);
  for (int r = 1; r < table->rowCount(); ++r)
    EXPECT_LE(table->item(r - 1, 1)->text().toInt(), table->item(r, 1)->text().toInt());
  EXPECT_EQ(table->item(table->rowCount() - 1, 1)->text(), "48");
  const QStringList lines = view->SelectionText().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), table->rowCount() + 1);
  EXPECT_TRUE(lines[0].startsWith("hkl\tmult\t"));

  window->resize(1400, 860);
  window->show();
  QApplication::processEvents();
  EXPECT_GT(Colours(view->PlotCanvas()->grab().toImage()), 8u);
  EXPECT_TRUE(window->grab().save(Q((out / "isotropic-reflections.png").string())));
  EXPECT_TRUE(view->SavePlotPng(Q((out / "reflections-half-s2.png").string())));
  const fs::path svg = out / "reflections-half-s2.svg";
  ASSERT_TRUE(view->SavePlotSvg(Q(svg.string())));
  std::ifstream in(svg);
  const std::string picture((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(picture.find("<svg"), std::string::npos);
  EXPECT_NE(picture.find("Reuss"), std::string::npos);
  EXPECT_FALSE(view->SavePlotPng(Q((out / "no-such-folder" / "plot.png").string())));

  Find<QPushButton>("YoungMapBtn")->click();
  polydec::gui::DirectionalView* directional = window->DirectionalWindow();
  ASSERT_NE(directional, nullptr);
  EXPECT_TRUE(directional->isVisible());
  EXPECT_TRUE(directional->SummaryText().contains("Zener"));
  QApplication::processEvents();
  const QImage shot = directional->grab().toImage();
  EXPECT_GT(Colours(shot), 8u);
  EXPECT_TRUE(shot.save(Q((out / "directional-young.png").string())));
}

// The sin²ψ plot beside the worksheet: after loading the example and pressing "Calc DEC" and
// "Calc Stress" it shows one series per azimuth with the worksheet's numbers, follows the row
// the user clicks, redraws after "Calc Strain", switches to strain, and saves PNG and SVG
// pictures that go with the screenshots.
TEST_F(WindowTest, Sin2PsiPlotShowsTheWorksheetsPointsAndSavesThem) {
  const fs::path out = POLYDEC_SCREENSHOT_DIR;
  fs::create_directories(out);
  services.files = {std::string(POLYDEC_SOURCE_DIR "/examples/ferrite_211_stress.tsd")};
  window->Pages()->setCurrentIndex(1);
  window->resize(1280, 800);
  window->show();
  QApplication::processEvents();
  polydec::gui::Sin2PsiPlotView* plot = window->Sin2PsiPlot();
  ASSERT_NE(plot, nullptr);
  // The constants' tab comes first; loading measurements turns to their plot.
  EXPECT_FALSE(plot->isVisible());
  EXPECT_TRUE(Find<QRadioButton>("KroenerBtn")->isVisible());
  Find<QPushButton>("LoadGridDataBtn")->click();
  QApplication::processEvents();
  EXPECT_TRUE(plot->isVisible());
  // The loaded measurements show at once, without lines: nothing is fitted yet.
  EXPECT_EQ(ScatterPoints(plot->MainChart()).size(), 2u);
  EXPECT_EQ(LineCount(plot->MainChart()), 0);
  Find<QPushButton>("FijBtn")->click();
  Find<QPushButton>("StressBtn")->click();
  ASSERT_TRUE(services.messages.empty()) << services.messages.front().text;

  // The user clicks row 12 (phi 90).
  auto* sheet = Find<QTableView>("StrainGrid");
  FormGridModel* model = window->GridModelOf("StrainGrid");
  const QModelIndex cell = model->index(model->ViewRow(12), model->ViewCol(5));
  sheet->scrollTo(cell);
  QTest::mouseClick(sheet->viewport(), Qt::LeftButton, {}, sheet->visualRect(cell).center());
  QApplication::processEvents();
  EXPECT_EQ(plot->Data().selectedRow, 12);
  EXPECT_EQ(plot->Data().label, "1");

  auto& grid = mf->form.GridOf("StrainGrid");
  const auto exact = [&grid](int col, int row) {
    return polydec::core::ParseNumber(grid.Cell(col, row)).value;
  };
  const auto number = [&exact](int col, int row) { return static_cast<double>(exact(col, row)); };
  const auto sin2 = [](double psiDegrees) {
    const double s = std::sin(psiDegrees * 3.14159265358979323846 / 180);
    return s * s;
  };
  const int colDCalc = mf->GetStringGridColNum("d_calc");
  // Rows 1..8 are phi 0, rows 9..16 phi 90; both tilt only to psi >= 0.
  const auto expectPoints = [&](bool strain) {
    const auto series = ScatterPoints(plot->MainChart());
    ASSERT_EQ(series.size(), 2u);
    const std::pair<QString, int> azimuths[] = {{"φ = 0°", 1}, {"φ = 90°", 9}};
    for (const auto& [name, first] : azimuths) {
      SCOPED_TRACE(name.toStdString());
      ASSERT_EQ(series.count(name), 1u);
      const QList<QPointF>& points = series.at(name);
      ASSERT_EQ(points.size(), 8);
      for (int k = 0; k < 8; ++k) {
        const int r = first + k;
        // The strain as the plot data hold it, in the engine's precision.
        const auto d = exact(5, r), d0 = exact(7, r);
        EXPECT_DOUBLE_EQ(points[k].x(), sin2(number(4, r))) << r;
        EXPECT_DOUBLE_EQ(points[k].y(), static_cast<double>(strain ? (d - d0) / d0 : d)) << r;
      }
    }
  };
  expectPoints(false);
  // The fitted d_calc of each azimuth as a line through the rows' d_calc, and a residual per row.
  ASSERT_EQ(LineCount(plot->MainChart()), 2);
  std::set<double> lineYs;
  for (QAbstractSeries* s : plot->MainChart()->series())
    if (auto* line = qobject_cast<QLineSeries*>(s))
      for (const QPointF& p : line->points()) lineYs.insert(p.y());
  for (int r = 1; r <= 16; ++r) EXPECT_EQ(lineYs.count(number(colDCalc, r)), 1u) << r;
  int residuals = 0;
  for (const auto& [name, points] : ScatterPoints(plot->ResidualChart()))
    residuals += static_cast<int>(points.size());
  EXPECT_EQ(residuals, 16);
  // What the event loop would have done by now: the items of replaced series are gone.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const QImage shown = window->grab().toImage();
  EXPECT_TRUE(shown.save(Q((out / "sin2psi-page.png").string())));

  // "Calc Strain" from other stresses: the lines follow the new d_calc.
  grid.SetCell(mf->GetStringGridColNum("sig_xx"), 1, "0");
  grid.SetCell(mf->GetStringGridColNum("sig_yy"), 1, "0");
  Find<QPushButton>("StrainBtn")->click();
  ASSERT_TRUE(services.messages.empty()) << services.messages.front().text;
  for (QAbstractSeries* s : plot->MainChart()->series()) {
    auto* line = qobject_cast<QLineSeries*>(s);
    if (line == nullptr) continue;
    for (const QPointF& p : line->points()) EXPECT_DOUBLE_EQ(p.y(), number(colDCalc, 1));
  }
  Find<QPushButton>("StressBtn")->click();

  // Strain: the points become (d - d0)/d0, with the per-azimuth regression drawn.
  Find<QRadioButton>("PlotStrainBtn")->click();
  QApplication::processEvents();
  expectPoints(true);
  EXPECT_EQ(LineCount(plot->MainChart()), 4);  // d_calc and the regression, per azimuth
  Find<QRadioButton>("PlotSpacingBtn")->click();

  const fs::path png = out / "sin2psi-ferrite-211.png";
  const fs::path svg = out / "sin2psi-ferrite-211.svg";
  fs::remove(png);
  fs::remove(svg);
  ASSERT_EQ(plot->SavePng(Q(png.string())), std::nullopt);
  ASSERT_EQ(plot->SaveSvg(Q(svg.string())), std::nullopt);
  QImage saved;
  ASSERT_TRUE(saved.load(Q(png.string())));
  EXPECT_EQ(saved.size(), QSize(900, 700));
  EXPECT_GT(Colours(saved), 8u);
  // Markers in the azimuths' colours lie inside the picture, not only axes and text.
  std::set<QRgb> colours;
  for (int y = 0; y < saved.height(); ++y)
    for (int x = 0; x < saved.width(); ++x) colours.insert(saved.pixel(x, y) & 0xFFFFFF);
  EXPECT_EQ(colours.count(qRgb(31, 119, 180) & 0xFFFFFF), 1u);
  EXPECT_EQ(colours.count(qRgb(214, 39, 40) & 0xFFFFFF), 1u);
  std::ifstream in(svg);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("<svg"), std::string::npos);
  EXPECT_NE(text.find("sin²ψ"), std::string::npos);
  EXPECT_GT(text.size(), 20000u);

  // A file that cannot be written says why and leaves nothing behind.
  const fs::path folder = dir / "not-a-file.png";
  fs::create_directories(folder);
  EXPECT_NE(plot->SavePng(Q(folder.string())), std::nullopt);
  EXPECT_TRUE(fs::is_directory(folder));
}

// Both tilt branches of a stress with shear: the psi < 0 rows get open markers of the azimuth's
// colour, and in strain mode each branch its own regression curve. The picture goes with the
// screenshots.
TEST_F(WindowTest, Sin2PsiPlotDrawsOpenMarkersAndABranchLineForNegativeTilts) {
  window->Pages()->setCurrentIndex(1);
  window->resize(1280, 800);
  window->show();
  Find<QCheckBox>("UseFij")->click();  // the S1 layout: s1 and 1/2 s2 per row
  Find<QCheckBox>("sig13box")->click();
  Find<QCheckBox>("sig23box")->click();
  auto& grid = mf->form.GridOf("StrainGrid");
  const double s1 = -1.25, s2half = 5.8, d0 = 1.17004;
  const double sig[6] = {250, -120, 0, 15, -35, 0};  // xx yy zz yz xz xy, MPa
  int r = 0;
  for (const double phi : {0.0, 90.0})
    for (const double psi : {-50.0, -35.0, -20.0, 0.0, 20.0, 35.0, 50.0}) {
      ++r;
      const double f = phi * 3.14159265358979323846 / 180, p = psi * 3.14159265358979323846 / 180;
      const double n[3] = {std::cos(f) * std::sin(p), std::sin(f) * std::sin(p), std::cos(p)};
      const double strain =
          s1 * (sig[0] + sig[1] + sig[2]) +
          s2half * (n[0] * n[0] * sig[0] + n[1] * n[1] * sig[1] + n[2] * n[2] * sig[2] +
                    2 * n[1] * n[2] * sig[3] + 2 * n[0] * n[2] * sig[4] + 2 * n[0] * n[1] * sig[5]);
      // A scatter of +-1e-5 so that the residual strip shows something.
      const double d = d0 * (1 + 1e-6 * strain) + (r % 3 - 1) * 1e-5;
      const std::string cells[] = {"1", "2 1 1", QString::number(phi).toStdString(),
                                   QString::number(psi).toStdString(),
                                   QString::number(d, 'f', 6).toStdString(), "0.00001",
                                   "1.17004", "0.00005"};
      for (int c = 1; c <= 8; ++c) grid.SetCell(c, r, cells[c - 1]);
      grid.SetCell(mf->GetStringGridColNum("S1"), r, QString::number(s1).toStdString());
      grid.SetCell(mf->GetStringGridColNum("½S2"), r, QString::number(s2half).toStdString());
    }
  Find<QPushButton>("StressBtn")->click();
  ASSERT_TRUE(services.messages.empty()) << services.messages.front().text;
  Find<QRadioButton>("PlotStrainBtn")->click();
  QApplication::processEvents();

  polydec::gui::Sin2PsiPlotView* plot = window->Sin2PsiPlot();
  std::map<QString, QScatterSeries*> series;
  for (QAbstractSeries* s : plot->MainChart()->series())
    if (auto* scatter = qobject_cast<QScatterSeries*>(s)) series[s->name()] = scatter;
  ASSERT_EQ(series.size(), 4u);
  for (const QString phi : {"φ = 0°", "φ = 90°"}) {
    SCOPED_TRACE(phi.toStdString());
    ASSERT_EQ(series.count(phi), 1u);
    // Chart texts are rich text: "<" is written as an entity.
    ASSERT_EQ(series.count(phi + ", ψ &lt; 0"), 1u);
    QScatterSeries* filled = series[phi];
    QScatterSeries* open = series[phi + ", ψ &lt; 0"];
    EXPECT_EQ(filled->points().size(), 4);  // 0, 20, 35, 50
    EXPECT_EQ(open->points().size(), 3);
    EXPECT_EQ(filled->brush().color(), filled->pen().color());
    EXPECT_EQ(open->brush().color(), QColor(Qt::white));
    EXPECT_EQ(open->pen().color(), filled->pen().color());
  }
  // Per azimuth and branch: d_calc (dotted) and the regression (solid).
  EXPECT_EQ(LineCount(plot->MainChart()), 8);
  const fs::path out = POLYDEC_SCREENSHOT_DIR;
  fs::create_directories(out);
  EXPECT_EQ(plot->SavePng(Q((out / "sin2psi-strain-both-branches.png").string())), std::nullopt);
}

// The real services: a question's buttons come back as answers, the file dialog shows the
// command's filters and returns the file and the filter chosen.
TEST(QtServicesTest, MessageBoxAnswers) {
  polydec::gui::QtServices qt;
  using polydec::workbench::Answer;
  using polydec::workbench::Buttons;
  using polydec::workbench::MessageKind;
  struct Case {
    Buttons buttons;
    QMessageBox::StandardButton press;
    Answer answer;
  };
  const Case cases[] = {{Buttons::kOk, QMessageBox::Ok, Answer::kOk},
                        {Buttons::kYesNo, QMessageBox::Yes, Answer::kYes},
                        {Buttons::kYesNo, QMessageBox::No, Answer::kNo},
                        {Buttons::kYesNoNoToAll, QMessageBox::NoToAll, Answer::kNoToAll},
                        {Buttons::kOkCancel, QMessageBox::Cancel, Answer::kCancel}};
  for (const Case& c : cases) {
    QString shown;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      shown = box->text();
      box->button(c.press)->click();
    });
    EXPECT_EQ(qt.Message(MessageKind::kConfirmation, "Continue?", c.buttons), c.answer);
    EXPECT_EQ(shown, "Continue?");
  }
}

TEST(QtServicesTest, FileDialogTakesTheCommandsSetupAndReturnsTheChoice) {
  EXPECT_EQ(polydec::gui::NameFilters("popla ODF|*.*|Worksheet data|*.tsd"),
            QStringList({"popla ODF (*)", "Worksheet data (*.tsd)"}));

  const fs::path dir = NewDataFolder();
  const fs::path file = dir / "sample.tsd";
  std::ofstream(file) << "x\r\n";
  polydec::gui::QtServices qt;
  polydec::workbench::FileDialog d;
  d.title = "Load worksheet";
  d.filter = "popla ODF|*.*|Worksheet data|*.tsd";
  d.filterIndex = 2;
  d.initialDir = dir.string();

  QString title, filter, directory;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    filter = box->selectedNameFilter();
    directory = box->directory().absolutePath();
    box->selectFile(Q(file.string()));
    static_cast<QDialog*>(box)->accept();
  });
  ASSERT_TRUE(qt.ExecuteOpen(d));
  EXPECT_EQ(title, "Load worksheet");
  EXPECT_EQ(filter, "Worksheet data (*.tsd)");
  EXPECT_EQ(directory, Q(dir.string()));
  EXPECT_EQ(d.fileName, file.string());
  EXPECT_EQ(d.filterIndex, 2);

  QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
  d.fileName = "kept";
  EXPECT_FALSE(qt.ExecuteSave(d));
  EXPECT_EQ(d.fileName, "kept");
  fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  // Never a window on the user's screen, display or not.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
