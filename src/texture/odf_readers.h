// Readers of ODF files onto the 5-degree grid (popla sections and MTEX generic tables), the
// reader of popla-style grains files, the finishing step that expands a read region over Euler
// space, the check of a loaded ODF for empty and repeated nodes, and the load command's engine.
// Nothing here asks the user: what a window would ask about (a table line that cannot be read,
// empty or repeated nodes) is returned as a finding, and the window turns it into its question.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
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

// A line of a table that could not be read, as the file holds it.
struct ODFUnreadLine {
  int line = 0;
  std::string text;
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
  // The completion by rules applies to what was read (it does not to hexagonal popla data).
  bool rulesApply = true;
  // The first line of an MTEX table that could not be read: the failure itself under
  // UnreadLines::kRefuse, the end of what was kept under kKeepWhatWasRead.
  std::optional<ODFUnreadLine> unreadLine;
  bool ok() const { return status == 0; }
};

// What an MTEX reader does at a line it cannot read: refuse the file there (the default of
// every caller that cannot ask), or keep the values read before it as the whole table.
enum class UnreadLines { kRefuse, kKeepWhatWasRead };

// The question a window asks about an unreadable line before reading again with
// kKeepWhatWasRead: "Error reading line N: <line>. Continue?".
std::string UnreadLineQuestion(const ODFUnreadLine& unread);

// Lines longer than this are no text of these layouts; reading stops there.
inline constexpr std::size_t kMaxODFLineLength = 10000;

// popla ODF file: blocks of a title, a fixed-column header (section type SODB, SHDB, CHDB or
// CODB, Phi step and maximum, second-angle step and maximum, section angle in columns 51-55),
// 19 lines of 19 four-character values and one skipped line, up to the end of the file or a
// block whose header holds "PROJ". Infers the sample symmetry from the last section and
// completes the boundary sections the file leaves out: the values are on the grid and the
// region is known, but the ODF is neither expanded nor switched on. The values held before are
// cleared once the first section header shows a popla file, so that no node keeps an older
// texture. On failure the grid keeps what was read so far and the other ODF fields are
// unchanged.
ODFReadResult ReadPoplaValues(const std::string& fileName, OrientationsRec& ctx);

// MTEX generic table: a header line naming phi1, Phi and phi2 within the first 10 lines, then
// lines "phi1 Phi phi2 value" (degrees). A line that cannot be read ends the table as `unread`
// says, and is named in unreadLine. An empty line ends the table. Clears the grid before
// reading (not when the header is missing) and infers the sample symmetry from the last line;
// the ODF is neither expanded nor switched on.
ODFReadResult ReadMtexValues(const std::string& fileName, OrientationsRec& ctx,
                             UnreadLines unread = UnreadLines::kRefuse);

// The finishing step of an ODF read: expands the region a successful read left on the grid
// over the whole of Euler space (by the rules where completeByRules and the read allow them,
// otherwise by the symmetry operators; a region that already covers Euler space stays as
// read), sets the grid's extent and node counts to the whole grid (the region read stays in
// read.region) and switches the ODF on. Does nothing after a failed read.
void FinishODF(OrientationsRec& ctx, const ODFReadResult& read, bool completeByRules);

// A reader followed by the finishing step.
ODFReadResult ReadPoplaODF(const std::string& fileName, OrientationsRec& ctx, bool completeByRules);
ODFReadResult LoadODFMTEX(const std::string& fileName, OrientationsRec& ctx, bool completeByRules,
                          UnreadLines unread = UnreadLines::kRefuse);

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

// Calls visit(finding) for every finding in node order (for a node that is 0 and equal to the
// one before, first the zero finding, then the other) until it returns false. The window asks
// its question about each in turn; Yes or No to All ends its walk.
void VisitODFFindings(const OrientationsRec& ctx,
                      const std::function<bool(const ODFFinding&)>& visit);

enum class ODFFileKind { kPopla, kMTEX, kGrains };

struct ODFLoadResult {
  ODFReadResult read;
  bool loaded = false;  // false: kODFNotReadMessage is due
};

// The load command without its window: reads the file, finishes a read ODF, declares its grid
// complete, sizes TaylorFactor and switches the ODF off when nothing usable was read. A grains
// file sets UseGrains and leaves the ODF as it is; the result still reports on the ODF held.
// The check's findings are left to VisitODFFindings.
ODFLoadResult LoadODF(const std::string& fileName, ODFFileKind kind, bool completeByRules,
                      OrientationsRec& ctx, UnreadLines unread = UnreadLines::kRefuse);

}  // namespace polydec::texture
