// The results table of the "DEC/Stress/Strain" page: one row per data set with its label, the
// six stresses and their uncertainties, d0, chisq and the reduced chisq, read from the result
// block of the worksheet so that the two never disagree.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "workbench/main_form.h"

namespace polydec::workbench {

namespace {

constexpr const char* kSheet = "StrainGrid";
constexpr const char* kResults = "ResultsGrid";
constexpr const char* kStressBoxes[] = {"sig11box", "sig22box", "sig33box",
                                        "sig23box", "sig13box", "sig12box"};
constexpr const char* kStressNames[] = {"sig_xx", "sig_yy", "sig_zz", "sig_yz", "sig_xz", "sig_xy"};

// Columns of the results table after the data-set number: label, six stresses each with its
// uncertainty, d0 with its uncertainty, chisq, reduced chisq.
constexpr int kResultCols = 18;
constexpr int kLabelCol = 1, kFirstStressCol = 2, kD0Col = 14, kChisqCol = 16, kReducedCol = 17;

// The first column whose header contains name, or -1: a worksheet read from a file may lack the
// result block, and a stand-in column would show numbers that are not results.
int HeaderColumn(const Grid& g, const std::string& name) {
  for (int c = 0; c < g.cols; ++c)
    if (g.Cell(c, 0).find(name) != std::string::npos) return c;
  return -1;
}

bool Blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

}  // namespace

void BuildResultsGrid(Grid& g) {
  g.Resize(kResultCols, 1);
  g.editable = false;
  g.SetCell(0, 0, "set");
  g.SetCell(kLabelCol, 0, "label");
  for (int p = 0; p < 6; ++p) {
    g.SetCell(kFirstStressCol + 2 * p, 0, kStressNames[p]);
    g.SetCell(kFirstStressCol + 2 * p + 1, 0, "+/-");
  }
  g.SetCell(kD0Col, 0, "d0");
  g.SetCell(kD0Col + 1, 0, "+/-");
  g.SetCell(kChisqCol, 0, "chisq");
  g.SetCell(kReducedCol, 0, "red. chisq");
  g.rowHeights.assign(static_cast<std::size_t>(g.rows), 20);
  g.colWidths[0] = 30;
}

void MainForm::NoteStressFit(const std::vector<polydec::StressSetResult>& sets) {
  const Grid& g = form.GridOf(kSheet);
  const int colSet = HeaderColumn(g, "##");
  const int colChisq = HeaderColumn(g, "chisq");
  stressFitNotes_.clear();
  if (colSet < 0 || colChisq < 0) return;
  // The fit's own degrees of freedom, whatever the labels of the data sets look like (text
  // labels used to leave the reduced chisq empty).
  for (std::size_t s = 0; s < sets.size(); ++s) {
    const int row = static_cast<int>(s) + 1;
    stressFitNotes_.push_back(
        {g.Cell(colSet, row), g.Cell(colChisq, row), sets[s].dof, sets[s].chisqReduced});
  }
}

void MainForm::FillResultsGrid() {
  Grid& out = form.GridOf(kResults);
  const Grid& g = form.GridOf(kSheet);
  const int colSet = HeaderColumn(g, "##");
  const int colSig = HeaderColumn(g, "sig_xx");
  const int colD0 = HeaderColumn(g, "d0_calc");
  const int colChisq = HeaderColumn(g, "chisq");
  std::vector<int> rows;
  if (colSet > 0 && colSig > 0 && colChisq > 0)
    for (int r = 1; r < g.rows; ++r)
      if (!Blank(g.Cell(colSet, r)) || !Blank(g.Cell(colChisq, r))) rows.push_back(r);

  const int shownRows = static_cast<int>(rows.size()) + 1;
  if (out.rows != shownRows) {
    out.Resize(kResultCols, shownRows);
    out.rowHeights.assign(static_cast<std::size_t>(out.rows), 20);
  }
  for (int i = 1; i < out.rows; ++i) {
    const int r = rows[static_cast<std::size_t>(i - 1)];
    out.SetCell(0, i, std::to_string(r));
    out.SetCell(kLabelCol, i, g.Cell(colSet, r));
    for (int k = 0; k < 12; ++k) out.SetCell(kFirstStressCol + k, i, g.Cell(colSig + k, r));
    out.SetCell(kD0Col, i, colD0 > 0 ? g.Cell(colD0, r) : "");
    out.SetCell(kD0Col + 1, i, colD0 > 0 ? g.Cell(colD0 + 1, r) : "");
    out.SetCell(kChisqCol, i, g.Cell(colChisq, r));
    // Only for a row as the last evaluation left it: its label and chisq still those the fit
    // wrote, and more measurements than fitted parameters.
    std::string reduced;
    const auto note = static_cast<std::size_t>(r - 1);
    if (note < stressFitNotes_.size()) {
      const StressFitNote& f = stressFitNotes_[note];
      if (f.label == g.Cell(colSet, r) && f.chisq == g.Cell(colChisq, r) && f.dof > 0)
        reduced = core::FormatExponent(f.chisqReduced, 3, 2);
    }
    out.SetCell(kReducedCol, i, reduced);
  }
}

}  // namespace polydec::workbench
