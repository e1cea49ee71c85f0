// The reader of popla-style grains files (WTS layout): Bunge angles and a weight per grain.
#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/input_file.h"
#include "core/text_fields.h"
#include "core/text_lines.h"
#include "texture/odf_grid.h"
#include "texture/odf_read_support.h"
#include "texture/odf_readers.h"

namespace polydec::texture {

using namespace read_support;

ODFReadResult readwtsfile(const std::string& fileName, OrientationsRec& ctx,
                          std::size_t maxGrains) {
  Outcome out(fileName, ctx);
  std::ifstream in;
  if (auto failed = OpenInput(fileName, out, in)) return *failed;
  LineSource src(*in.rdbuf());

  core::GrainOrientations g;
  std::array<core::DataVector*, 10> arrays = {&g.phi1, &g.phi,   &g.phi2, &g.weight, &g.Ephi1,
                                              &g.Ephi, &g.Ephi2, &g.a,    &g.b,      &g.c};
  const auto grow = [&](std::size_t length) {
    for (core::DataVector* v : arrays) v->resize(length, 0);
  };
  grow(1000);
  std::size_t count = 0;
  std::string line;
  // The file's layout: four header lines (title, angle convention, symmetry, column names),
  // then the grains. Header lines are never read as grains, whatever their words: a header
  // line of numbers (a popla cell line, say) would otherwise enter the texture as a grain.
  std::vector<std::string> header;
  // A header line that has the shape of the grain lines (as many words, every one a number)
  // says the header is shorter than four lines: the file is refused rather than lose grains.
  const auto grainShaped = [](const std::string& text, int words) {
    int n = 0;
    while (!core::GetWord(text, n + 1).empty()) {
      if (!core::ParseNumber(core::GetWord(text, n + 1)).ok()) return false;
      ++n;
    }
    return words > 0 ? n == words : n >= 4;
  };
  const auto refuseHeader = [&](int words) -> std::optional<ODFReadResult> {
    for (std::size_t k = 0; k < header.size(); ++k)
      if (grainShaped(header[k], words))
        return out.Fail(1, static_cast<int>(k + 1),
                        "line " + std::to_string(k + 1) +
                            " reads as a grain (phi1 Phi phi2 weight), but lines 1 to 4 of a "
                            "grains file are its header (title, angle convention, symmetry, "
                            "column names); give the file its four header lines");
    return std::nullopt;
  };
  bool headerChecked = false;
  for (;;) {
    const LineRead t = src.Next(line);
    if (t == LineRead::kEnd) break;
    if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
    if (src.Number() <= 4) {
      header.push_back(line);
      continue;
    }
    if (IsBlank(line)) continue;
    if (!headerChecked) {
      int words = 0;
      while (!core::GetWord(line, words + 1).empty()) ++words;
      if (const auto refused = refuseHeader(words)) return *refused;
      headerChecked = true;
    }
    Real v[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
      const std::string word = core::GetWord(line, k + 1);
      if (word.empty())
        return out.Fail(1, src.Number(),
                        "the line holds fewer than 4 numbers (phi1, Phi, phi2, weight)");
      const ParsedNumber p = core::ParseNumber(word);
      if (!p.ok())
        return out.Fail(
            p.errorPos, src.Number(),
            "\"" + Shown(word) + "\" (word " + std::to_string(k + 1) + ") is not a number");
      v[k] = p.value;
    }
    if (v[3] < 0) return out.Fail(1, src.Number(), "the weight " + Number(v[3]) + " is negative");
    if (!(v[3] <= kLargestDensity))
      return out.Fail(1, src.Number(),
                      "the weight " + Shown(core::GetWord(line, 4)) + " lies beyond " +
                          Number(kLargestDensity));
    if (count >= maxGrains)
      return out.Fail(1, src.Number(),
                      "more than " + std::to_string(maxGrains) + " grains in one file");
    g.phi1[count] = v[0] * kPi / 180;
    g.phi[count] = v[1] * kPi / 180;
    g.phi2[count] = v[2] * kPi / 180;
    g.weight[count] = v[3];
    ++count;
    if (count >= g.phi1.size() - 1) grow(g.phi1.size() + 1000);
  }
  if (count == 0) {
    if (const auto refused = refuseHeader(0)) return *refused;
    if (header.size() < 4)
      return out.Fail(1, static_cast<int>(header.size()),
                      "the file ends at line " + std::to_string(header.size()) +
                          ", within the four header lines of a grains file; it holds no grains");
    return out.Fail(1, 0, "the file holds no grains");
  }
  for (core::DataVector* v : {&g.phi1, &g.phi, &g.phi2, &g.weight}) v->resize(count);
  ctx.GOrient = std::move(g);
  out.result().valuesRead = static_cast<long long>(count);
  return out.Succeed();
}

}  // namespace polydec::texture
