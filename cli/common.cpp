#include "common.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "core/input_file.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "crystal/miller_indices.h"
#include "crystal/symmetry_classes.h"
#include "texture/random_grains.h"
#include "polydec/data_files.h"
#include "polydec/dec.h"

namespace polydec::cli {

std::string RandomSetPath(int n, const std::string& folder) {
  return texture::RandomOrientationFile(folder.empty() ? LocateDataFiles().shippedFolder : folder,
                                        n);
}

nlohmann::json StiffnessJson(const Matrix6& C, const EngineeringConstants& e) {
  nlohmann::json rows = nlohmann::json::array();
  for (const auto& line : C) {
    nlohmann::json row = nlohmann::json::array();
    for (Real x : line) row.push_back(JsonNumber(x));
    rows.push_back(row);
  }
  return {{"C", rows},
          {"E", {JsonNumber(e.E1), JsonNumber(e.E2), JsonNumber(e.E3)}},
          {"G", {JsonNumber(e.G1), JsonNumber(e.G2), JsonNumber(e.G3)}},
          {"nu",
           {{"12", JsonNumber(e.nu12)},
            {"13", JsonNumber(e.nu13)},
            {"23", JsonNumber(e.nu23)},
            {"21", JsonNumber(e.nu21)},
            {"31", JsonNumber(e.nu31)},
            {"32", JsonNumber(e.nu32)}}}};
}

models::ModelCode ParseModelOption(const std::string& name) {
  return Take(ParseModel(name), "--model");
}

void PrintStiffness(std::ostream& out, const Matrix6& C, const EngineeringConstants& e) {
  const auto p = [](Real x, int d) { return core::FormatPadded(x, 10, d); };
  out << "C [GPa]\n";
  for (const auto& line : C) {
    for (Real x : line) out << p(x, 2);
    out << "\n";
  }
  out << "\nE1 E2 E3 [GPa]    " << p(e.E1, 2) << p(e.E2, 2) << p(e.E3, 2) << "\n"
      << "G1 G2 G3 [GPa]    " << p(e.G1, 2) << p(e.G2, 2) << p(e.G3, 2) << "\n"
      << "nu12 nu13 nu23    " << p(e.nu12, 4) << p(e.nu13, 4) << p(e.nu23, 4) << "\n"
      << "nu21 nu31 nu32    " << p(e.nu21, 4) << p(e.nu31, 4) << p(e.nu32, 4) << "\n";
}

std::vector<core::Real> ReadNumbers(const std::string& text, const std::string& what) {
  std::vector<core::Real> values;
  for (int n = 1;; ++n) {
    const std::string word = core::GetWord(text, n);
    if (word.empty()) break;
    const auto number = core::ParseNumber(word);
    if (!number.ok()) throw Failure(what + ": \"" + word + "\" is not a number");
    values.push_back(number.value);
  }
  return values;
}

std::vector<core::Real> ReadNumberList(const std::string& text, std::size_t count,
                                       const std::string& what) {
  const std::vector<core::Real> values = ReadNumbers(text, what);
  if (values.size() != count)
    throw Failure(what + ": expected " + std::to_string(count) + " numbers, got " +
                     std::to_string(values.size()));
  return values;
}

std::vector<core::Real> ReadMillerIndices(const std::string& text, int crystalClass,
                                          const std::string& what) {
  const crystal::ReflectionRead r =
      crystal::ReadMillerIndices(text, static_cast<polydec::CrystalClass>(crystalClass));
  if (!r.ok()) throw Failure(what + " \"" + text + "\": " + r.error);
  return {r.hkl[0], r.hkl[1], r.hkl[2]};
}

std::string JsonOutput(const nlohmann::json& j) {
  return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

double JsonNumber(core::Real x) { return static_cast<double>(x); }

void RequireFinite(core::Real x, const std::string& what) {
  if (!std::isfinite(x)) throw Failure(what + " is not a finite number for this input");
}

core::CrystalData ReadCell(const std::string& text, int axisSetting, const std::string& what) {
  const auto v = ReadNumberList(text, 6, what);
  core::CrystalData C = crystal::CellFromDegrees(v[0], v[1], v[2], v[3], v[4], v[5]);
  C.AxisSetting = axisSetting;
  const std::string fault = crystal::CheckCell(C);
  if (!fault.empty()) throw Failure(what + ": " + fault);
  crystal::InitCrystal(C);
  return C;
}

namespace {

std::size_t DisplayWidth(const std::string& s) {
  std::size_t width = 0;
  // UTF-8 continuation bytes (10xxxxxx) do not start a character.
  for (const char ch : s) width += (static_cast<unsigned char>(ch) & 0xC0) != 0x80 ? 1 : 0;
  return width;
}

}  // namespace

void PrintFieldTable(std::ostream& out,
                     const std::vector<std::pair<std::string, std::string>>& rows) {
  std::size_t labelWidth = 0, valueWidth = 0;
  for (const auto& [label, value] : rows) {
    labelWidth = std::max(labelWidth, DisplayWidth(label));
    valueWidth = std::max(valueWidth, DisplayWidth(value));
  }
  for (const auto& [label, value] : rows)
    out << label << std::string(labelWidth - DisplayWidth(label) + 2, ' ')
        << std::string(valueWidth - DisplayWidth(value), ' ') << value << "\n";
}

}  // namespace polydec::cli
