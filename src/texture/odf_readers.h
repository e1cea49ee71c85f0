// Readers of ODF files onto the expanded 5-degree grid (popla sections and MTEX generic tables),
// the reader of popla-style grains files, the check of a loaded ODF for empty and repeated
// nodes, and the load command's engine. Questions to the user go through ODFQuestions, which
// the workbench implements with its message boxes; nothing here shows a window.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/input_error.h"
#include "core/records.h"

namespace polydec::texture {

using core::Int;
using core::OrientationsRec;
using core::Real;

// Texts of the load command.
inline constexpr const char* kODFNotReadMessage = "ODF NOT read. Check file and type!";
inline constexpr const char* kODFSymmetryMismatchMessage =
    "ODF symmetry does not agree with crystal symmetry. Make sure that the correct material is "
    "loaded!";
inline constexpr const char* kODFExpandingStatus =
    "Expanding the ODF to360x180x360 deg. Please wait ...";
inline constexpr const char* kODFLoadedStatus = "ODF loaded: ";  // followed by the file name
inline constexpr const char* kGrainsFileTitle = "Read a popla style wts file using BUNGE angles.";

// Answers of the confirmation boxes, with the codes the check returns.
inline constexpr int kAnswerNone = 0;  // no question was asked
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;
inline constexpr int kAnswerNoToAll = 13;

enum class QuestionButtons {
  kYesNo,         // the MTEX reader's "Continue?"
  kYesNoNoToAll,  // the check's "Exit now?", default No to All
};

// Asks the user a question and returns kAnswerYes, kAnswerNo or kAnswerNoToAll.
class ODFQuestions {
 public:
  virtual ~ODFQuestions() = default;
  virtual int Ask(const std::string& question, QuestionButtons buttons) = 0;
};

// Outcome of a reader. status is also left in the context's `error`: 0 success, otherwise 1 or
// the position of the character where a number conversion failed.
// The failure itself (file, line, why; Describe gives "FILE, line N: message") is the
// InputError part; its message is empty on success.
struct ODFReadResult : core::InputError {
  Int status = 0;
  long long valuesRead = 0;
  // Extent (degrees) of the loaded region handed to the expansion: phi1, Phi, phi2.
  std::array<Real, 3> region{};
  bool ok() const { return status == 0; }
};

// Lines longer than this are no text of these layouts; reading stops there.
inline constexpr std::size_t kMaxODFLineLength = 10000;

// popla ODF file: blocks of a title, a fixed-column header (section type SODB, SHDB, CHDB or
// CODB, Phi step and maximum, second-angle step and maximum, section angle in columns 51-55),
// 19 lines of 19 four-character values and one skipped line, up to the end of the file or a
// block whose header holds "PROJ". Infers the sample symmetry from the last section, completes
// the boundary sections the file leaves out, expands the ODF over Euler space (by the rules when
// completeByRules, except hexagonal data) and switches it on. The values held before are cleared
// once the first section header shows a popla file, so that no node keeps an older texture. On
// failure the grid keeps what was read so far and the other ODF fields are unchanged.
ODFReadResult ReadPoplaODF(const std::string& fileName, OrientationsRec& ctx, bool completeByRules);

// MTEX generic table: a header line naming phi1, Phi and phi2 within the first 10 lines, then
// lines "phi1 Phi phi2 value" (degrees). A line that cannot be read asks "Error reading line
// N: <line>. Continue?"; No ends the reader with a failure, Yes keeps what was read. An empty
// line ends the table. Clears the grid before reading (not when the header is missing),
// infers the sample symmetry from the last line, expands and switches the ODF on.
ODFReadResult LoadODFMTEX(const std::string& fileName, OrientationsRec& ctx, bool completeByRules,
                          ODFQuestions& ask);

// Bound on the grains of one file, so that no file can make the reader allocate without limit.
inline constexpr std::size_t kMaxGrains = 1'000'000;

// Grains file in the popla WTS layout: 4 header lines, then "phi1 Phi phi2 weight" per line
// (Bunge angles in degrees, stored in radians in GOrient); blank grain lines are skipped. The
// header lines are never grains; a header line shaped like the grain lines (as many words, all
// numbers) refuses the file, naming the line. On failure GOrient is left as it was.
ODFReadResult readwtsfile(const std::string& fileName, OrientationsRec& ctx,
                          std::size_t maxGrains = kMaxGrains);

enum class ODFFindingKind { kZero, kEqual };
// A node the check stops at: a value of 0, or a value equal to that of the node before it.
// i1, i, i2 are node indices, not angles.
struct ODFFinding {
  ODFFindingKind kind = ODFFindingKind::kZero;
  int i1 = 0, i = 0, i2 = 0;
};
// The question the check asks about a finding.
std::string ODFFindingQuestion(const ODFFinding& finding);

struct ODFCheckSummary {
  long zeroNodes = 0;
  long equalNodes = 0;
  std::optional<ODFFinding> firstZero, firstEqual;
  std::vector<ODFFinding> listed;  // the first findings in node order, at most maxListed
};
// The check's findings as data, without questions.
ODFCheckSummary ScanODF(const OrientationsRec& ctx, std::size_t maxListed);

// Repeated values that point to a fault of the export rather than to the texture: a node whose
// value repeats the one before it (along phi2) in the middle of a slope, the steps before and
// after it both rising or both falling by more than 1 % of the ODF's range. Equal neighbours of
// a flat region (a background rounded to the file's digits, a uniform ODF) and along Phi = 0
// and 180 degrees (where phi1 and phi2 turn about one axis) are what a sound ODF holds.
struct ODFRepeatSummary {
  long nodes = 0;
  std::optional<ODFFinding> first;
};
ODFRepeatSummary ScanODFForCopiedValues(const OrientationsRec& ctx);

// Walks the nodes in index order and asks about every finding (for a node that is 0 and equal
// to the one before, first the zero question, then the other). Yes or No to All ends the
// check. Returns the last answer, kAnswerNone when nothing was asked.
int CheckODF(OrientationsRec& ctx, ODFQuestions& ask);

enum class ODFFileKind { kPopla, kMTEX, kGrains };

struct ODFLoadResult {
  ODFReadResult read;
  int checkAnswer = kAnswerNone;
  bool stoppedByUser = false;  // Yes to a check question: the command ends without a report
  bool loaded = false;         // false (and not stopped): kODFNotReadMessage is due
};

// The load command without its window: reads the file, checks a read ODF, sizes TaylorFactor
// and switches the ODF off when nothing usable was read. A grains file sets UseGrains and
// leaves the ODF as it is; the result still reports on the ODF held.
ODFLoadResult LoadODF(const std::string& fileName, ODFFileKind kind, bool completeByRules,
                      OrientationsRec& ctx, ODFQuestions& ask);

}  // namespace polydec::texture
