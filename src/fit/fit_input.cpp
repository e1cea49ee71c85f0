#include "fit/fit_input.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/input_file.h"
#include "core/stiffness_check.h"
#include "core/text_fields.h"
#include "core/text_lines.h"
#include "core/voigt.h"
#include "crystal/lattice.h"
#include "crystal/miller_indices.h"
#include "crystal/symmetry_classes.h"

namespace polydec::fit {

using core::Real;

namespace {

// A fit input is some thirty short lines; anything far larger is not one.
constexpr std::uintmax_t kMaxFitInputSize = 1 << 20;

using core::SplitLines;

std::vector<std::string> BlankSeparated(std::string_view s) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
    if (i > start) words.emplace_back(s.substr(start, i - start));
  }
  return words;
}

// Reads the numbers of one line in order; the first failure is kept in error.
class LineReader {
 public:
  LineReader(const std::vector<std::string>& lines, core::InputError& error)
      : lines_(lines), error_(error) {}

  // The words of line n (from 1) after its label, or of the whole line; false when the file
  // has no such line.
  bool Words(int n, bool labelled, std::size_t count, const std::string& what,
             std::vector<std::string>& words) {
    if (n > static_cast<int>(lines_.size())) {
      Fail(n, "missing: the file ends after line " + std::to_string(lines_.size()) + " (" + what +
                  " expected)");
      return false;
    }
    const std::string& line = lines_[static_cast<std::size_t>(n - 1)];
    words = BlankSeparated(
        labelled ? std::string_view(line).substr(std::min(line.size(), kFitLabelWidth))
                 : std::string_view(line));
    if (words.size() < count) {
      std::string message = std::to_string(count) + (count == 1 ? " number" : " numbers") +
                            " expected (" + what + "), found " + std::to_string(words.size());
      if (labelled) message += " after the label (characters 1 to 14 are skipped)";
      Fail(n, message);
      return false;
    }
    return true;
  }

  bool Reals(int n, bool labelled, std::size_t count, const std::string& what, Real* out) {
    std::vector<std::string> words;
    if (!Words(n, labelled, count, what, words)) return false;
    for (std::size_t k = 0; k < count; ++k) {
      const core::ParsedNumber x = core::ParseNumber(words[k]);
      if (!x.ok()) {
        Fail(n, "number " + std::to_string(k + 1) + " (\"" + words[k] + "\") is not a number");
        return false;
      }
      out[k] = x.value;
    }
    return true;
  }

  bool Integers(int n, std::size_t count, const std::string& what, core::Int* out) {
    std::vector<std::string> words;
    if (!Words(n, true, count, what, words)) return false;
    for (std::size_t k = 0; k < count; ++k) {
      const core::ParsedInteger x = core::ReadInteger(words[k]);
      if (!x.ok()) {
        Fail(n, "number " + std::to_string(k + 1) + " (\"" + words[k] + "\") is not an integer");
        return false;
      }
      out[k] = x.value;
    }
    return true;
  }

  bool Fail(int n, std::string message) {
    error_.line = n;
    error_.message = std::move(message);
    return false;
  }

 private:
  const std::vector<std::string>& lines_;
  core::InputError& error_;
};

std::string Formatted(Real x) { return core::FormatGeneral(x); }

// The flags of lines 4 and 6 must name the places 1..mfit of the fitted list, each once.
bool CheckPositions(const FitInput& in, LineReader& reader) {
  core::IntVec owner{};
  for (int p = 1; p <= kFitParameters; ++p) {
    const core::Int q = in.position[p];
    const int line = p <= 21 ? 4 : 6;
    if (q == 0) continue;
    if (q < 0)
      return reader.Fail(line, "the position " + std::to_string(q) + " given for " +
                                   ParameterName(p) + " is negative (0 = fixed, 1.." +
                                   std::to_string(in.mfit) + " = place in the fitted list)");
    if (q > in.mfit)
      return reader.Fail(line, "the position " + std::to_string(q) + " given for " +
                                   ParameterName(p) + " exceeds the number of fitted constants (" +
                                   std::to_string(in.mfit) + "): the positions must be 1.." +
                                   std::to_string(in.mfit) + " without repetition");
    if (owner[q] != 0)
      return reader.Fail(line, "the position " + std::to_string(q) + " is given to both " +
                                   ParameterName(owner[q]) + " and " + ParameterName(p) +
                                   ": the positions must be 1.." + std::to_string(in.mfit) +
                                   " without repetition");
    owner[q] = p;
  }
  return true;
}

// Directions beyond a full turn and values beyond this magnitude are typing errors; the
// model arithmetic (angles through the ODF grid, values squared in chi-square) is not made
// for them.
constexpr Real kLargestAngle = 360;
constexpr Real kLargestValue = 1e100L;

// A data point: "h k l phi psi value uncertainty", or the reflection in brackets, "(h k i l)"
// or "(h k l)", followed by phi psi value uncertainty. In a hexagonal or trigonal phase a line
// of eight numbers or more whose third is -(h + k) reads both as h k i l and as h k l followed
// by a number that is ignored: it is refused, naming the two bracketed forms.
std::optional<FitDataPoint> ReadDataPoint(const std::vector<std::string>& lines, int line,
                                          int crystalClass, LineReader& reader) {
  std::vector<std::string> words;
  if (!reader.Words(line, false, 0, "h, k, l, phi, psi, value, uncertainty", words))
    return std::nullopt;
  const std::string& text = lines[static_cast<std::size_t>(line - 1)];
  const crystal::BracketedReflection bracketed = crystal::SplitBracketedReflection(text);
  std::vector<std::string> indices, values;
  if (bracketed.bracketed) {
    if (!bracketed.error.empty()) {
      reader.Fail(line, "the reflection: " + bracketed.error);
      return std::nullopt;
    }
    indices = bracketed.indices;
    values = BlankSeparated(bracketed.rest);
  } else {
    if (words.size() < 7) {
      reader.Fail(line, "7 numbers expected (h, k, l, phi, psi, value, uncertainty), found " +
                            std::to_string(words.size()));
      return std::nullopt;
    }
    indices.assign(words.begin(), words.begin() + 3);
    values.assign(words.begin() + 3, words.end());
    const core::ParsedNumber h = core::ParseNumber(words[0]), k = core::ParseNumber(words[1]),
                             i = core::ParseNumber(words[2]);
    if (crystal::UsesMillerBravais(static_cast<polydec::CrystalClass>(crystalClass)) &&
        words.size() >= 8 && core::ParseNumber(words[7]).ok() && h.ok() && k.ok() && i.ok() &&
        i.value == -(h.value + k.value)) {
      const std::string four = crystal::JoinWords({words.begin(), words.begin() + 4});
      const std::string three = crystal::JoinWords(indices);
      const std::string after4 = crystal::JoinWords({words.begin() + 4, words.begin() + 8});
      const std::string after3 = crystal::JoinWords({words.begin() + 3, words.begin() + 7});
      reader.Fail(line, "\"" + crystal::JoinWords(words) +
                            "\" reads two ways in a hexagonal or trigonal phase: write \"(" + four +
                            ") " + after4 + "\" for the four indices h k i l, or \"(" + three +
                            ") " + after3 + "\" for h k l");
      return std::nullopt;
    }
  }
  const crystal::ReflectionRead hkl =
      crystal::ReadMillerWords(indices, static_cast<polydec::CrystalClass>(crystalClass));
  if (!hkl.ok()) {
    reader.Fail(line, "the reflection \"" + crystal::JoinWords(indices) + "\": " + hkl.error);
    return std::nullopt;
  }
  if (values.size() < 4) {
    reader.Fail(line,
                "4 numbers expected after the reflection (phi, psi, value, uncertainty), "
                "found " +
                    std::to_string(values.size()));
    return std::nullopt;
  }
  static const char* const kNames[] = {"phi", "psi", "the value", "the uncertainty"};
  Real v[4];
  for (std::size_t n = 0; n < 4; ++n) {
    const core::ParsedNumber x = core::ParseNumber(values[n]);
    if (!x.ok()) {
      reader.Fail(line, std::string(kNames[n]) + " (\"" + values[n] + "\") is not a number");
      return std::nullopt;
    }
    const Real limit = n < 2 ? kLargestAngle : kLargestValue;
    if (!(std::fabs(x.value) <= limit)) {
      reader.Fail(line, std::string(kNames[n]) + " " + values[n] + " is beyond " +
                            Formatted(limit) + (n < 2 ? " degrees" : ""));
      return std::nullopt;
    }
    v[n] = x.value;
  }
  FitDataPoint p{hkl.hkl[0], hkl.hkl[1], hkl.hkl[2], v[0], v[1], v[2], v[3]};
  if (!(p.sig > 0)) {
    reader.Fail(line, "the uncertainty " + Formatted(p.sig) +
                          " is not positive: every measured value needs an uncertainty "
                          "above 0 (in MPa^-1)");
    return std::nullopt;
  }
  return p;
}

// A line that starts as a data point does (a number, or a reflection in brackets): text,
// comments and blank lines after the data are notes.
bool LooksLikeDataLine(const std::string& line) {
  const std::vector<std::string> words = BlankSeparated(line);
  if (words.empty()) return false;
  std::string_view first = words.front();
  while (!first.empty() && (first.front() == '(' || first.front() == '[' || first.front() == '{'))
    first.remove_prefix(1);
  while (!first.empty() && (first.back() == ')' || first.back() == ']' || first.back() == '}'))
    first.remove_suffix(1);
  return core::ParseNumber(first).ok();
}

}  // namespace

std::string ParameterName(int p) {
  if (p >= 1 && p <= 21) return std::string(core::CijklNames[p].substr(1, 5));
  if (p >= 22 && p <= kFitParameters) return "matrix " + ParameterName(p - 21);
  return "parameter " + std::to_string(p);
}

std::string FitInputErrorText(const std::string& fileName, const core::InputError& error) {
  if (error.line <= 0) return fileName + ": " + error.message;
  return fileName + ", line " + std::to_string(error.line) + ": " + error.message;
}

Real MeasuredValueInGPa(Real z) {
  if (std::fabs(z) > 0.01L) z *= 1e-6L;
  return z * 1000;
}

std::optional<FitInput> ParseFitInput(std::string_view text, core::InputError& error) {
  error = core::InputError{};
  // A NUL byte is binary data, and a message quoting the line would end at it.
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
    error.line = static_cast<int>(SplitLines(text.substr(0, nul)).size());
    const std::string_view before = text.substr(0, nul);
    if (before.empty() || before.back() == '\n' || before.back() == '\r') ++error.line;
    error.message = "the line holds a NUL byte: not a fit input (binary data?)";
    return std::nullopt;
  }
  const std::vector<std::string> lines = SplitLines(text);
  LineReader reader(lines, error);
  FitInput in;

  if (lines.size() < 2) {
    reader.Fail(static_cast<int>(lines.size()) + 1,
                "missing: the file ends after line " + std::to_string(lines.size()) +
                    " (the material name and a comment line come first)");
    return std::nullopt;
  }
  in.name = core::ToUtf8(lines[0]);

  if (!reader.Reals(3, true, 21, "the 21 single-crystal stiffness components", &in.a[1]))
    return std::nullopt;
  if (!reader.Integers(4, 21, "21 flags of the single-crystal components", &in.position[1]))
    return std::nullopt;
  if (!reader.Reals(5, true, 21, "the 21 stiffness components of the matrix", &in.a[22]))
    return std::nullopt;
  if (!reader.Integers(6, 21, "21 flags of the matrix components", &in.position[22]))
    return std::nullopt;
  for (int p = 1; p <= kFitParameters; ++p)
    if (in.position[p] != 0) ++in.mfit;
  if (!CheckPositions(in, reader)) return std::nullopt;

  if (!reader.Reals(7, true, 6, "lattice parameters a, b, c, alpha, beta, gamma", in.cell))
    return std::nullopt;
  const core::CrystalData cell = crystal::CellFromDegrees(in.cell[0], in.cell[1], in.cell[2],
                                                          in.cell[3], in.cell[4], in.cell[5]);
  if (const std::string fault = crystal::CheckCell(cell); !fault.empty()) {
    reader.Fail(7, fault);
    return std::nullopt;
  }

  core::Int n = 0;
  if (!reader.Integers(8, 1, "the sample symmetry code", &in.SYMMETRY)) return std::nullopt;
  if (in.SYMMETRY != 0 && in.SYMMETRY != 2 && in.SYMMETRY != 7 && in.SYMMETRY != 9 &&
      in.SYMMETRY != 10) {
    reader.Fail(8, "the sample symmetry code " + std::to_string(in.SYMMETRY) +
                       " is none of 0 (isotropic), 2 (transversal), 7 (orthorhombic), "
                       "9 (monoclinic), 10 (triclinic)");
    return std::nullopt;
  }
  if (!reader.Integers(9, 1, "the crystal symmetry class", &in.SYS)) return std::nullopt;
  if (in.SYS < 0 || in.SYS > 10) {
    reader.Fail(9, "the crystal symmetry class " + std::to_string(in.SYS) +
                       " is outside 0 (isotropic) .. 10 (triclinic)");
    return std::nullopt;
  }
  // Every model inverts both stiffnesses: a start that no stable material has cannot be fitted.
  core::CijklVector crystalStart{}, matrixStart{};
  for (int k = 1; k <= 21; ++k) {
    crystalStart[k] = in.a[k];
    matrixStart[k] = in.a[21 + k];
  }
  crystal::ApplyClassRules(crystalStart,
                           static_cast<polydec::CrystalClass>(in.SYS));
  if (auto bad = core::StiffnessProblem(crystalStart, "the single-crystal start constants")) {
    reader.Fail(3, *bad);
    return std::nullopt;
  }
  if (auto bad = core::StiffnessProblem(matrixStart, "the matrix constants")) {
    reader.Fail(5, *bad);
    return std::nullopt;
  }
  if (!reader.Integers(10, 1, "the number of data points", &n)) return std::nullopt;
  if (n < 1 || n > kMaxFitPoints) {
    reader.Fail(10, std::to_string(n) + " data points: the number must be 1.." +
                        std::to_string(kMaxFitPoints));
    return std::nullopt;
  }
  if (!reader.Integers(11, 1, "the number of steps per cycle", &in.MAXITER)) return std::nullopt;
  if (in.MAXITER < 1 || in.MAXITER > kMaxStepsPerCycle) {
    reader.Fail(11, std::to_string(in.MAXITER) + " steps per cycle: the number must be 1.." +
                        std::to_string(kMaxStepsPerCycle));
    return std::nullopt;
  }
  if (!reader.Reals(12, true, 1, "MinChi", &in.MinChi)) return std::nullopt;
  if (!reader.Integers(13, 1, "the Eshelby switch 1 or 0", &in.EshelbyFlag)) return std::nullopt;

  for (int i = 1; i <= n; ++i) {
    const int line = 13 + i;
    std::optional<FitDataPoint> p = ReadDataPoint(lines, line, static_cast<int>(in.SYS), reader);
    if (!p) return std::nullopt;
    in.points.push_back(*p);
  }
  // Notes and blank lines may follow the data; a further measurement would be dropped unseen,
  // and the fit would run on part of the data as if that were all of it.
  for (std::size_t k = static_cast<std::size_t>(13 + n); k < lines.size(); ++k) {
    if (!LooksLikeDataLine(lines[k])) continue;
    const std::size_t extra = std::count_if(lines.begin() + static_cast<std::ptrdiff_t>(k),
                                            lines.end(), LooksLikeDataLine);
    reader.Fail(static_cast<int>(k) + 1,
                "line 10 announces " + std::to_string(n) + " data points, but the data go on "
                "here (" + std::to_string(extra) + " more data line" + (extra == 1 ? "" : "s") +
                "): give the number of all data lines on line 10, or remove the extra ones");
    return std::nullopt;
  }
  return in;
}

std::optional<FitInput> ReadFitInputFile(const std::string& fileName, core::InputError& error) {
  error = core::InputError{};
  namespace fs = std::filesystem;
  std::error_code ec;
  if (auto problem = core::InputFileProblem(fileName)) {
    error.message = *problem == "file not found"
                        ? "the file does not exist or is not a regular file"
                        : *problem;
    return std::nullopt;
  }
  const std::uintmax_t size = fs::file_size(fileName, ec);
  if (ec || size > kMaxFitInputSize) {
    error.message = ec ? "the size of the file cannot be read"
                       : "the file is too large to be a fit input (more than 1 MiB)";
    return std::nullopt;
  }
  std::ifstream file(fileName, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  if (!file || file.bad()) {
    error.message = "the file cannot be read";
    return std::nullopt;
  }
  return ParseFitInput(text.str(), error);
}

void ApplyFitInput(const FitInput& in, const std::string& fileName, core::OrientationsRec& ctx,
                   FitRecord& rec) {
  rec = FitRecord{};
  rec.ma = kFitParameters;
  rec.h = 0.001L;
  rec.InputFile = fileName;
  rec.a = in.a;
  rec.mfit = in.mfit;
  for (int p = 1; p <= kFitParameters; ++p)
    if (in.position[p] > 0) rec.ia[in.position[p]] = p;
  rec.MAXITER = in.MAXITER;
  rec.MinChi = in.MinChi;
  rec.ndata = static_cast<core::Int>(in.points.size());

  ctx.Name = in.name;
  core::CijklVector v{};
  for (int n = 1; n <= 21; ++n) v[n] = in.a[n];
  core::CijklToTensor(v, ctx.Lr);
  for (int n = 1; n <= 21; ++n) v[n] = in.a[21 + n];
  core::CijklToTensor(v, ctx.L);

  core::CrystalData& c = ctx.Cryst;
  crystal::SetCellFromDegrees(c, in.cell[0], in.cell[1], in.cell[2], in.cell[3], in.cell[4],
                              in.cell[5]);
  c.SYS = static_cast<polydec::CrystalClass>(in.SYS);
  crystal::InitCrystal(c);
  ctx.SYMMETRY = static_cast<polydec::SampleSymmetry>(in.SYMMETRY);
  ctx.ndata = rec.ndata;
  if (in.EshelbyFlag == 1) ctx.AlwaysUpdateEshelby = true;
  if (in.EshelbyFlag == 0) ctx.AlwaysUpdateEshelby = false;
  ctx.AxisLength = {1, 1, 1};

  for (int i = 1; i <= rec.ndata; ++i) {
    const FitDataPoint& p = in.points[static_cast<std::size_t>(i - 1)];
    rec.hkl[i] = core::Tensor1{{p.h, p.k, p.l}};
    rec.z[i] = MeasuredValueInGPa(p.z);
    rec.sig[i] = p.sig * 1000;
    const core::PolarAnglesRec angles = crystal::HKLToPolarAngles(c, p.h, p.k, p.l);
    rec.crystphi[i] = angles.phi;
    rec.crystpsi[i] = angles.psi;
    rec.phi[i] = p.phi * core::kDegToRad;
    rec.psi[i] = p.psi * core::kDegToRad;
  }
}

bool ReadInputParams(const std::string& fileName, core::OrientationsRec& ctx, FitRecord& rec,
                     core::InputError& error) {
  const std::optional<FitInput> in = ReadFitInputFile(fileName, error);
  if (!in) return false;
  ApplyFitInput(*in, fileName, ctx, rec);
  return true;
}

}  // namespace polydec::fit
