// What the ODF and grains readers share: line reading with a bound on the line length, the
// forms of the readers' messages, the node bookkeeping and the outcome that leaves the read's
// status in the context. For the readers' own files only.
#pragma once

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/input_file.h"
#include "core/text_fields.h"
#include "core/text_lines.h"
#include "texture/odf_grid.h"
#include "texture/odf_readers.h"

namespace polydec::texture::read_support {

using core::kPi;
using core::ParsedNumber;
using core::LineRead;

// ODF values and grain weights beyond this are no texture (a sharp texture reaches some
// thousand times random): sums and integrals of them would leave the range of the numbers
// written to files and to JSON.
constexpr Real kLargestDensity = 1e100L;

constexpr Real kStep = kODFStep;

// An orientation density integrates to 1 over orientation space: a file of zeros is no texture,
// and every weighted average over it would divide by zero.
constexpr const char* kZeroODFMessage =
    "every value of the ODF is 0: a texture needs orientations of positive density";

inline std::size_t At(Int n) { return static_cast<std::size_t>(n); }

// Lines of a text file, never held beyond kMaxODFLineLength characters.
class LineSource : public core::LineSource {
 public:
  explicit LineSource(std::streambuf& in) : core::LineSource(in, kMaxODFLineLength) {}
};

inline bool IsBlank(std::string_view s) { return s.find_first_not_of(" \t") == std::string_view::npos; }

// Printable form of a piece of a file for a message: control and non-ASCII bytes as '?', and
// no more than 60 characters.
inline std::string Shown(std::string_view s) {
  std::string out;
  for (char ch : s.substr(0, 60)) out += (ch >= 32 && ch < 127) ? ch : '?';
  if (s.size() > 60) out += "...";
  return out;
}

inline std::string TooLongMessage() {
  return "the line is longer than " + std::to_string(kMaxODFLineLength) +
         " characters (is this a text file?)";
}

// Columns first..first+width-1 (counted from 1) of a line; a field ends early at the end of the
// line.
inline std::string_view Field(std::string_view line, std::size_t first, std::size_t width) {
  if (first - 1 >= line.size()) return {};
  return line.substr(first - 1, width);
}

// A number in a fixed-width field, blanks on either side allowed.
inline ParsedNumber ParseField(std::string_view field) {
  const std::size_t begin = field.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {0, 1};
  const std::size_t end = field.find_last_not_of(" \t");
  return core::ParseNumber(field.substr(begin, end - begin + 1));
}

inline std::string Columns(std::size_t first, std::size_t width) {
  return "columns " + std::to_string(first) + "-" + std::to_string(first + width - 1);
}

// Node number of an angle in degrees on an axis of `count` nodes, or empty when the angle lies
// off the grid (checked before any conversion to an integer).
inline std::optional<Int> AxisNode(Real degrees, Int count) {
  const Real x = degrees / kStep;
  if (!(x >= -1 && x <= count)) return std::nullopt;
  const Int n = static_cast<Int>(std::nearbyint(x));
  if (n < 0 || n >= count) return std::nullopt;
  return n;
}

inline std::string Number(Real x) { return core::FormatGeneral(x); }

// Angles within this many degrees of a multiple of 5 are that grid angle (the last digits of a
// table written with a few decimals); anything farther belongs to another grid.
constexpr Real kGridTolerance = 1e-3L;

inline bool OnGrid(Real degrees) {
  const Real x = degrees / kStep;
  // rint: nearbyint's rounding without its costly save and restore of the x87 environment.
  return std::fabs(x - std::rint(x)) * kStep <= kGridTolerance;
}

// Angles of a whole table that all lie within one turn in radians, and off the 5-degree grid,
// are radians, not degrees.
constexpr Real kTwoPi = 2 * kPi;
constexpr const char* kRadiansHint = "the angles look like radians; polydec reads degrees";

// Two values for one node: neither can be taken for the other.
inline std::string TwiceMessage(Real a1, Real a, Real a2, Real first, int firstLine, Real second,
                         int secondLine) {
  return "the node [phi1,Phi,phi2]=[" + Number(a1) + "," + Number(a) + "," + Number(a2) +
         "] is given twice with different values: " + Number(first) + " on line " +
         std::to_string(firstLine) + " and " + Number(second) + " on line " +
         std::to_string(secondLine);
}

inline std::string Bracket(int i1, int i, int i2) {
  return "[" + std::to_string(i1) + "," + std::to_string(i) + "," + std::to_string(i2) + "]";
}

inline Int ClampedCount(long long count) {
  return static_cast<Int>(std::min<long long>(count, std::numeric_limits<Int>::max()));
}

class Outcome {
 public:
  Outcome(const std::string& file, OrientationsRec& ctx) : ctx_(ctx) { r_.file = file; }

  ODFReadResult Fail(Int status, int line, std::string message) {
    r_.status = status != 0 ? status : 1;
    r_.line = line;
    r_.message = std::move(message);
    ctx_.error = r_.status;
    return r_;
  }
  ODFReadResult Succeed() {
    r_.status = 0;
    ctx_.error = 0;
    return r_;
  }
  ODFReadResult& result() { return r_; }

 private:
  ODFReadResult r_;
  OrientationsRec& ctx_;
};

// The nearest integer of a non-negative x below 2^62, ties to even as nearbyint rounds them; the
// library's rounding of extended precision costs more than the whole parsing of a table line.
inline Int NearestInteger(Real x) {
  const long long below = static_cast<long long>(x);  // truncation: x >= 0
  const Real rest = x - static_cast<Real>(below);
  if (rest > Real{0.5} || (rest == Real{0.5} && (below & 1) != 0)) return static_cast<Int>(below + 1);
  return static_cast<Int>(below);
}

inline void SetNode(OrientationsRec& ctx, std::size_t n, Real value, Real a1, Real a, Real a2) {
  ctx.ODF[n] = value;
  ctx.phi1[n] = a1;
  ctx.phi[n] = a;
  ctx.phi2[n] = a2;
}

inline bool RestIsBlank(LineSource& src) {
  std::string line;
  for (;;) {
    const LineRead t = src.Next(line);
    if (t == LineRead::kEnd) return true;
    if (t == LineRead::kTooLong || !IsBlank(line)) return false;
  }
}

// Opens a reader's file: empty when it opened, else the failure to return (the reason the
// file cannot be read, named as every reader names it).
inline std::optional<ODFReadResult> OpenInput(const std::string& fileName, Outcome& out,
                                              std::ifstream& in) {
  if (auto problem = core::InputFileProblem(fileName))
    return out.Fail(0, 0, "the file cannot be opened: " + *problem);
  in.open(fileName, std::ios::binary);
  if (!in) return out.Fail(1, 0, "the file cannot be opened");
  return std::nullopt;
}

// The crystal class the extent of a region's phi2 shows, one rule for every ODF reader: 0..60
// degrees (or 0..55, the node 60 left to the sixfold axis) is the region of a hexagonal ODF,
// whose rotations about Z repeat every 60 degrees of phi2. A trigonal class given by the
// caller stays (its own region is 0..120); every other extent leaves the class as given.
inline polydec::CrystalClass ClassShownByRegion(Real phi2Extent, polydec::CrystalClass given) {
  const bool sixfold = std::fabs(phi2Extent - 60) < kGridTolerance ||
                       std::fabs(phi2Extent - 55) < kGridTolerance;
  if (sixfold && given != polydec::kTrigonal1 && given != polydec::kTrigonal2)
    return polydec::kHexagonal;
  return given;
}

// What a word of a table header names, in any case and spelling the MTEX reader accepts
// (phi1, φ1, Phi, phi_2, "phi1[deg]", value, intensity, f(g), ...).
enum class MtexColumn { kPhi1, kPhi, kPhi2, kValue, kOther };
MtexColumn ClassifyHeaderWord(std::string_view word);
// Words of a header line: separated by blanks, TABs, commas and semicolons, comment marks
// (%, #, !) in front of the line dropped.
std::vector<std::string> HeaderWords(std::string_view line);

}  // namespace polydec::texture::read_support
