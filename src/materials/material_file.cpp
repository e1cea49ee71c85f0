#include "materials/material_file.h"

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/atomic_file.h"
#include "core/input_file.h"
#include "core/stiffness_check.h"
#include "core/tensor_inversion.h"
#include "core/text_fields.h"
#include "core/text_lines.h"
#include "core/voigt.h"
#include "crystal/lattice.h"

namespace polydec::materials {

using core::CijklVector;
using core::FormatFixed;
using core::FormatGeneral;
using core::FormatPadded;
using core::GetWord;
using core::OrientationsRec;
using core::ORTN_Array;
using core::ParsedInteger;
using core::ParsedNumber;
using core::ParseNumber;
using core::ReadInteger;
using core::Real;

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Isotropic stiffness from E and nu in the 21-component order. D = 1/((1 + nu)^2 (1 - 2nu))
// has no value for nu = -1 and nu = 1/2 (a material that resists no shear, or no change of
// volume), so those are refused instead of filling the tensor with infinities.
std::optional<std::string> IsotropicStiffness(Real E, Real nu, Real G, core::Tensor4& L) {
  const Real denominator = 1 - 3 * nu * nu - 2 * nu * nu * nu;
  if (denominator == 0)
    return "nu = " + FormatPadded(nu, 0, 3) +
           " gives no isotropic stiffness (1 - 3nu^2 - 2nu^3 = 0)";
  const Real D = 1 / denominator;
  const Real c11 = D * (1 - nu * nu) * E;
  const Real c12 = D * (nu * nu + nu) * E;
  if (!std::isfinite(c11) || !std::isfinite(c12))
    return std::string("E and nu give an isotropic stiffness out of range");
  CijklVector v{};
  for (int n : {1, 16, 21}) v[n] = c11;
  for (int n : {4, 6, 18}) v[n] = c12;
  for (int n : {7, 12, 19}) v[n] = G;
  core::CijklToTensor(v, L);
  return std::nullopt;
}

// Reads words first.. of line as numbers into the targets; the message names the quantity.
std::optional<std::string> ReadNumberWords(const std::string& line, std::string_view keyword,
                                           int first, const std::vector<std::string>& names,
                                           const std::vector<Real*>& targets) {
  for (std::size_t k = 0; k < targets.size(); ++k) {
    const std::string word = GetWord(line, first + static_cast<int>(k));
    const std::string what = std::string(keyword) + " " + names[k];
    if (word.empty())
      return std::string(keyword) + " holds " + std::to_string(k) + " numbers, " +
             std::to_string(targets.size()) + " expected";
    const ParsedNumber x = ParseNumber(word);
    if (!x.ok()) return what + ": \"" + word + "\" is not a number";
    if (!std::isfinite(x.value)) return what + ": \"" + word + "\" is out of range";
    *targets[k] = x.value;
  }
  return std::nullopt;
}

// Turns lines of the file into records. A record keyword before the first #NAME has no record
// to go into and is refused; so is anything that is not a number where one is expected.
class MaterialParser {
 public:
  explicit MaterialParser(ORTN_Array& list) : list_(list) {}

  int last() const { return last_; }

  // Empty when the line was taken, else the reason it was not.
  std::optional<std::string> Take(const std::string& line) {
    if (line.find('\0') != std::string::npos)
      return std::string("binary data (NUL byte): not a material file");
    OrientationsRec* r = last_ >= 0 ? list_[static_cast<std::size_t>(last_)].get() : nullptr;
    const auto has = [&line](std::string_view key) { return line.find(key) != std::string::npos; };

    if (has("#NAME")) {
      if (last_ + 1 >= kMaxMaterials)
        return "more than " + std::to_string(kMaxMaterials) + " materials";
      ++last_;
      if (list_.size() < static_cast<std::size_t>(last_) + 1)
        list_.resize(static_cast<std::size_t>(last_) + 1);
      list_[static_cast<std::size_t>(last_)] = std::make_unique<OrientationsRec>();
      r = list_[static_cast<std::size_t>(last_)].get();
      ClearMaterial(*r);
      const std::size_t open = line.find('"');
      const std::size_t close = open == std::string::npos ? open : line.find('"', open + 1);
      if (close != std::string::npos)
        r->Name = core::ToUtf8(line.substr(open + 1, close - open - 1));
      bare_ = true;
    }
    for (std::string_view key : {"#CIJKL", "#SYM", "#CRYST", "#EPKG", "#REF1", "#REF2", "#REF3"}) {
      if (has(key) && r == nullptr) return std::string(key) + " before the first #NAME line";
      if (has(key)) bare_ = false;
    }

    if (has("#CIJKL")) {
      std::vector<std::string> names;
      std::vector<Real*> targets;
      for (int n = 1; n <= 21; ++n) {
        std::string_view label = core::CijklNames[n];
        names.emplace_back(label.substr(1, label.size() - 2));
        targets.push_back(&r->a[n]);
      }
      if (auto bad = ReadNumberWords(line, "#CIJKL", 2, names, targets)) return bad;
      if (auto bad = core::StiffnessProblem(r->a, "#CIJKL")) return bad;
      core::CijklToTensor(r->a, r->Lr);
    }
    if (has("#SYM")) {
      const std::string word = GetWord(line, 2);
      const ParsedInteger code = ReadInteger(word);
      if (word.empty() || !code.ok()) return "#SYM: \"" + word + "\" is not an integer";
      if (code.value < 0 || code.value > 10)
        return "#SYM: class code " + std::to_string(code.value) + " outside 0..10";
      r->Cryst.SYS = static_cast<polydec::CrystalClass>(code.value);
    }
    if (has("#CRYST")) {
      core::CrystalData& c = r->Cryst;
      if (auto bad = ReadNumberWords(line, "#CRYST", 2, {"a", "b", "c", "alpha", "beta", "gamma"},
                                     {&c.a, &c.b, &c.c, &c.alpha, &c.beta, &c.gamma}))
        return bad;
      c.alpha *= core::kPi / 180;
      c.beta *= core::kPi / 180;
      c.gamma *= core::kPi / 180;
      if (std::string fault = crystal::CheckCell(c); !fault.empty()) return "#CRYST: " + fault;
    }
    if (has("#EPKG")) {
      if (auto bad = ReadNumberWords(line, "#EPKG", 2, {"E", "nu", "K", "G"},
                                     {&r->E, &r->nu, &r->K, &r->G}))
        return bad;
      if (auto bad = IsotropicStiffness(r->E, r->nu, r->G, r->L)) return "#EPKG: " + *bad;
      core::CijklVector matrix{};
      core::TensorToCijkl(r->L, matrix);
      if (auto bad = core::StiffnessProblem(matrix, "#EPKG (E, nu)")) return bad;
    }
    // The reference starts at the sixth character, so the blank after the keyword stays.
    for (int k = 1; k <= 3; ++k)
      if (has("#REF" + std::to_string(k)))
        r->Reference[k] = line.size() > 5 ? core::ToUtf8(line.substr(5)) : "";
    return std::nullopt;
  }

  // After the last line, and before each #NAME: a material whose #NAME line is followed by no
  // line of its data (the file was cut there) would be listed with every constant 0.
  std::optional<std::string> Finish() const {
    if (last_ < 0 || !bare_) return std::nullopt;
    return "material \"" + list_[static_cast<std::size_t>(last_)]->Name +
           "\" has a #NAME line and no data lines (#CIJKL, #CRYST, #SYM, #EPKG): the file is cut "
           "or the block is incomplete";
  }

 private:
  ORTN_Array& list_;
  int last_ = -1;
  bool bare_ = false;  // the last material has had no data line yet
};

void SetError(core::InputError* err, const std::string& path, int line, std::string message) {
  if (err != nullptr) *err = core::InputError{path, line, 0, {}, std::move(message)};
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec) && !ec;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec) && !ec;
}

// The nine lines of a material block, without line ends.
std::vector<std::string> MaterialLines(const OrientationsRec& r) {
  std::vector<std::string> lines;
  lines.push_back("#NAME \"" + r.Name + "\"");
  std::string cij = "#CIJKL ";
  for (int n = 1; n <= 21; ++n) cij += FormatPadded(r.a[n], 8, 3) + " ";
  lines.push_back(cij);
  std::string cell = "#CRYST";
  for (Real x : {r.Cryst.a, r.Cryst.b, r.Cryst.c, r.Cryst.alpha, r.Cryst.beta, r.Cryst.gamma})
    cell += " " + FormatPadded(x, 8, 5);
  lines.push_back(cell);
  std::string sym = std::to_string(r.Cryst.SYS);
  if (sym.size() < 3) sym.insert(0, 3 - sym.size(), ' ');
  lines.push_back("#SYM " + sym);
  // The matrix of the Kroener models is built from E and nu, and its diffraction elastic
  // constants follow them closely: three decimals of nu would move 1/2 s2 by about 1e-3, so the
  // moduli keep six decimals (1 kPa) and nu eight. Older files with three decimals read alike.
  std::string epkg = "#EPKG";
  const std::pair<Real, int> moduli[] = {{r.E, 6}, {r.nu, 8}, {r.K, 6}, {r.G, 6}};
  for (const auto& [x, decimals] : moduli) epkg += " " + FormatPadded(x, 8, decimals);
  lines.push_back(epkg);
  for (int k = 1; k <= 3; ++k) lines.push_back("#REF" + std::to_string(k) + " " + r.Reference[k]);
  lines.emplace_back();
  return lines;
}

// Why the record could not be stored so that it reads back as one material, or empty.
std::optional<std::string> UnwritableReason(const OrientationsRec& r) {
  if (r.Name.find('"') != std::string::npos) return std::string("the name contains a double quote");
  std::vector<Real> values(r.a.begin() + 1, r.a.begin() + 22);
  for (Real x : {r.Cryst.a, r.Cryst.b, r.Cryst.c, r.Cryst.alpha, r.Cryst.beta, r.Cryst.gamma, r.E,
                 r.nu, r.K, r.G})
    values.push_back(x);
  for (Real x : values)
    if (!std::isfinite(x)) return std::string("a value is not a finite number");

  const std::vector<std::string> lines = MaterialLines(r);
  for (const std::string& line : lines) {
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
      return std::string("the name or a reference contains a line break or a NUL character");
    if (line.size() > kMaxMaterialLineLength)
      return "a line would be longer than " + std::to_string(kMaxMaterialLineLength) +
             " characters";
  }
  // The block is read back the way ReadMaterialFile will read it: whatever it refuses
  // (a cell without volume, nu = 1/2, a class code outside 0..10, a keyword in the name or a
  // reference) would make the whole database unreadable from this entry on.
  ORTN_Array scratch;
  MaterialParser parser(scratch);
  for (const std::string& line : lines)
    if (auto bad = parser.Take(line)) return "it would not read back: " + *bad;
  if (parser.last() != 0) return std::string("it would not read back as one material");
  return std::nullopt;
}

}  // namespace

int ReadMaterialFile(ORTN_Array& list, const std::string& path, core::InputError* err) {
  if (list.empty()) list.emplace_back();
  list.resize(1);
  if (!list[0]) {
    list[0] = std::make_unique<OrientationsRec>();
    ClearMaterial(*list[0]);
  }

  if (auto problem = core::InputFileProblem(path)) {
    SetError(err, path, 0, *problem);
    return -1;
  }
  std::ifstream in(path, std::ios::binary);
  if (IsFolder(path) || !in) {
    SetError(err, path, 0, "the file cannot be opened for reading");
    return -1;
  }

  MaterialParser parser(list);
  std::string line;
  int nameLine = 0;  // line of the last #NAME
  core::LineSource source(*in.rdbuf(), kMaxMaterialLineLength);
  for (;;) {
    const core::LineRead got = source.Next(line);
    if (got == core::LineRead::kEnd) break;
    const int lineNumber = source.Number();
    if (got == core::LineRead::kTooLong) {
      SetError(err, path, lineNumber,
               "line longer than " + std::to_string(kMaxMaterialLineLength) +
                   " characters: not a material file");
      return -1;
    }
    const bool name = line.find("#NAME") != std::string::npos;
    if (auto bare = name ? parser.Finish() : std::nullopt) {
      SetError(err, path, nameLine, *bare);
      return -1;
    }
    if (auto bad = parser.Take(line)) {
      SetError(err, path, lineNumber, *bad);
      return -1;
    }
    if (name) nameLine = lineNumber;
  }
  if (auto bare = parser.Finish()) {
    SetError(err, path, nameLine, *bare);
    return -1;
  }
  if (parser.last() < 0) SetError(err, path, 0, "no #NAME line: the file holds no material");
  return parser.last();
}

bool AppendMaterialFile(const ORTN_Array& list, int index, const std::string& path,
                        core::InputError* err) {
  if (index < 0 || static_cast<std::size_t>(index) >= list.size() || !list[index]) {
    SetError(err, path, 0, "no material at list position " + std::to_string(index));
    return false;
  }
  if (!FileExists(path)) {
    SetError(err, path, 0, "file not found; the material was not stored");
    return false;
  }
  if (IsFolder(path)) {
    SetError(err, path, 0, "a folder, not a file; the material was not stored");
    return false;
  }
  const OrientationsRec& r = *list[static_cast<std::size_t>(index)];
  if (auto reason = UnwritableReason(r)) {
    SetError(err, path, 0, "material \"" + r.Name + "\" not stored: " + *reason);
    return false;
  }

  std::string text;
  for (const std::string& line : MaterialLines(r)) (text += line) += kLineEnd;

  // The whole new database replaces the old one only once written completely, so a full disk
  // never leaves half a record behind; two stores at once take turns. A last line without its
  // line end would otherwise swallow the #NAME line: the append ends it first.
  if (auto why = core::AppendFileAtomically(path, text, kLineEnd)) {
    SetError(err, path, 0, "the material was not stored: " + *why);
    return false;
  }
  return true;
}

void ClearMaterial(OrientationsRec& r) {
  r = OrientationsRec{};
  r.AxisLength = {1, 1, 1};
  r.hkl = core::hklarray{{1, 1, 1}};
  r.ndata = 1;
  r.HKLODFNUMP = 144;
  r.Cryst.a = r.Cryst.b = r.Cryst.c = 1;
  r.Cryst.alpha = r.Cryst.beta = r.Cryst.gamma = core::kPi / 2;
}

void DefaultMaterial(OrientationsRec& r) {
  r.Name = "iron";
  CijklVector cubic{};
  for (int n : {1, 16, 21}) cubic[n] = 237;
  for (int n : {4, 6, 18}) cubic[n] = 141;
  for (int n : {7, 12, 19}) cubic[n] = 116;
  core::CijklToTensor(cubic, r.Lr);
  CijklVector iso{};
  for (int n : {1, 16, 21}) iso[n] = 282.7L;
  for (int n : {4, 6, 18}) iso[n] = 118.3L;
  for (int n : {7, 12, 19}) iso[n] = 82.2L;
  core::CijklToTensor(iso, r.L);
  r.hkl = core::hklarray{{2, 1, 1}};
  r.Cryst.a = r.Cryst.b = r.Cryst.c = 2.866L;
  r.Cryst.alpha = r.Cryst.beta = r.Cryst.gamma = core::kPi / 2;
  r.Cryst.SYS = polydec::kCubic;
  crystal::InitCrystal(r.Cryst);
  r.CrystPolAngles = crystal::HKLToPolarAngles(r.Cryst, 2, 1, 1);
  r.SYMMETRY = polydec::kIsotropicSample;
  r.E = 212.6L;
  r.nu = 0.295L;
  r.K = 173;
  r.G = 82.2L;
  r.M = r.L;
  core::InvertTensor(r.M, 0);
  r.AxisLength = {1, 1, 1};
}

}  // namespace polydec::materials
