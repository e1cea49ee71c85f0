// The popla ODF reader: sections of 19 x 19 fixed-width values under a fixed-column header.
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
#include "texture/orientation.h"

namespace polydec::texture {

using namespace read_support;

namespace {

constexpr int kPoplaRows = 19;    // data lines per section, Phi = r·step
constexpr int kPoplaValues = 19;  // values per line, second angle = c·step
constexpr int kPoplaValueWidth = 4;

// One popla section header, as far as the reader uses it.
struct PoplaHeader {
  bool sectionIsPhi1 = true;  // SODB, SHDB: sections of phi1; CHDB, CODB: sections of phi2
  Real phiStep = 0, phiMax = 0, step2 = 0, max2 = 0, section = 0;
  Int sectionNode = 0;
  std::array<Int, kPoplaRows> rowNode{};       // Phi node of each data line
  std::array<Int, kPoplaValues> columnNode{};  // node of the second angle of each value
};

// Reads and checks a header line; on a problem returns the status and message.
std::optional<std::pair<Int, std::string>> ParsePoplaHeader(std::string_view line, PoplaHeader& h) {
  const std::string type(Field(line, 2, 4));
  if (type == "SODB" || type == "SHDB") {
    h.sectionIsPhi1 = true;
  } else if (type == "CHDB" || type == "CODB") {
    h.sectionIsPhi1 = false;
  } else {
    return std::pair<Int, std::string>{1,
                                       "unknown section type \"" + Shown(type) +
                                           "\" in columns 2-5 (SODB, SHDB, CHDB or CODB expected)"};
  }
  struct NumberField {
    std::size_t first, width;
    const char* name;
    Real* target;
  };
  const NumberField fields[] = {{6, 5, "Phi step", &h.phiStep},
                                {11, 5, "Phi maximum", &h.phiMax},
                                {16, 5, "step of the second angle", &h.step2},
                                {21, 5, "maximum of the second angle", &h.max2},
                                {51, 5, "section angle", &h.section}};
  for (const NumberField& f : fields) {
    const std::string_view text = Field(line, f.first, f.width);
    const ParsedNumber p = ParseField(text);
    if (!p.ok())
      return std::pair<Int, std::string>{p.errorPos, std::string("the ") + f.name + " (" +
                                                         Columns(f.first, f.width) + ") \"" +
                                                         Shown(text) + "\" is not a number"};
    *f.target = p.value;
  }
  if (!(h.phiMax >= 0 && h.phiMax <= 180))
    return std::pair<Int, std::string>{
        1, "the Phi maximum " + Number(h.phiMax) + " lies outside 0..180"};
  if (!(h.max2 >= 0 && h.max2 <= 360))
    return std::pair<Int, std::string>{
        1, "the maximum of the second angle " + Number(h.max2) + " lies outside 0..360"};
  const std::optional<Int> section = AxisNode(h.section, h.sectionIsPhi1 ? kPhi1Nodes : kPhi2Nodes);
  if (!section)
    return std::pair<Int, std::string>{
        1, "the section angle " + Number(h.section) + " lies outside the grid (0..360)"};
  h.sectionNode = *section;
  for (int r = 0; r < kPoplaRows; ++r) {
    const std::optional<Int> node = AxisNode(r * h.phiStep, kPhiNodes);
    if (!node)
      return std::pair<Int, std::string>{1, "with the Phi step " + Number(h.phiStep) +
                                                " the section's rows leave the grid (0..180)"};
    h.rowNode[static_cast<std::size_t>(r)] = *node;
  }
  for (int c = 0; c < kPoplaValues; ++c) {
    const std::optional<Int> node =
        AxisNode(c * h.step2, h.sectionIsPhi1 ? kPhi2Nodes : kPhi1Nodes);
    if (!node)
      return std::pair<Int, std::string>{1, "with the step " + Number(h.step2) +
                                                " of the second angle the section's values "
                                                "leave the grid (0..360)"};
    h.columnNode[static_cast<std::size_t>(c)] = *node;
  }
  // Rounded onto the nodes, a section at 2.5 degrees or a step of 2.5 (or one in radians) would
  // put its values at nodes they were not measured at, several rows onto one node.
  // 19 rows whose Phi step spans no more than a turn in radians are rows in radians.
  const bool radians = h.phiStep > 0 && !OnGrid(h.phiStep) && h.phiStep * (kPoplaRows - 1) <= kTwoPi;
  const auto offGrid = [radians](const char* name, const NumberField& f, Real value) {
    std::string message = std::string("the ") + name + " " + Number(value) + " (" +
                          Columns(f.first, f.width) +
                          ") is not a multiple of 5 degrees: the values would not lie on the "
                          "nodes of the 5-degree grid";
    if (radians) message += std::string("; ") + kRadiansHint;
    return std::pair<Int, std::string>{1, message};
  };
  if (!OnGrid(h.section)) return offGrid("section angle", fields[4], h.section);
  if (!OnGrid(h.phiStep)) return offGrid("Phi step", fields[0], h.phiStep);
  if (!OnGrid(h.step2)) return offGrid("step of the second angle", fields[2], h.step2);
  return std::nullopt;
}

bool IsPoplaSectionHeader(std::string_view line) {
  const std::string_view type = Field(line, 2, 4);
  return type == "SODB" || type == "SHDB" || type == "CHDB" || type == "CODB" ||
         Field(line, 1, 55).find("PROJ") != std::string_view::npos;
}

}  // namespace

ODFReadResult ReadPoplaValues(const std::string& fileName, OrientationsRec& ctx) {
  Outcome out(fileName, ctx);
  std::ifstream in;
  if (auto failed = OpenInput(fileName, out, in)) return *failed;
  SizeODFArrays(ctx);
  LineSource src(*in.rdbuf());

  long long counter = 0;
  bool anyPositive = false;
  Real last = 0;  // phi1 of the last value stored
  std::vector<int> lineOf;  // line that gave each node its value, 0 for none
  PoplaHeader h;
  std::string title, header, line;
  for (;;) {
    LineRead t = src.Next(title);
    if (t == LineRead::kEnd) break;
    if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
    int titleLine = src.Number();
    // Blank lines between sections, or between a title and its header, are skipped; a blank
    // title stays a title when a section header follows it.
    bool ended = false;
    for (;;) {
      t = src.Next(header);
      if (t == LineRead::kEnd) {
        ended = true;
        break;
      }
      if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
      if (IsBlank(header)) continue;
      if (IsBlank(title) && !IsPoplaSectionHeader(header)) {
        title = header;
        titleLine = src.Number();
        continue;
      }
      break;
    }
    if (ended) {
      if (IsBlank(title)) break;
      return out.Fail(1, titleLine + 1,
                      "the file ends after the section title on line " + std::to_string(titleLine));
    }
    const int headerLine = src.Number();
    if (Field(header, 1, 55).find("PROJ") != std::string_view::npos) break;
    if (IsBlank(title) && IsBlank(header) && RestIsBlank(src)) break;
    if (const auto problem = ParsePoplaHeader(header, h))
      return out.Fail(problem->first, headerLine, problem->second);

    // A file that has proved to be a popla file replaces the ODF held: nodes that the file,
    // the boundary completion and the expansion do not write must not keep an older texture.
    if (counter == 0) {
      std::fill(ctx.ODF.begin(), ctx.ODF.end(), Real{0});
      lineOf.assign(At(kODFNodeCount), 0);
    }

    for (int r = 0; r < kPoplaRows; ++r) {
      do t = src.Next(line);
      while (t == LineRead::kLine && IsBlank(line));
      if (t == LineRead::kEnd)
        return out.Fail(1, src.Number() + 1,
                        "the file ends inside the section whose header is on line " +
                            std::to_string(headerLine) + " (19 data lines expected)");
      if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
      const Real Phi = r * h.phiStep;
      for (int c = 0; c < kPoplaValues; ++c) {
        const std::size_t first = 2 + static_cast<std::size_t>(kPoplaValueWidth * c);
        const std::string_view text = Field(line, first, kPoplaValueWidth);
        const ParsedNumber p = ParseField(text);
        const std::string what = "value " + std::to_string(c + 1) + " (" +
                                 Columns(first, kPoplaValueWidth) + ") \"" + Shown(text) + "\"";
        if (!p.ok()) return out.Fail(p.errorPos, src.Number(), what + " is not a number");
        if (p.value < 0) return out.Fail(1, src.Number(), what + " is negative");
        const Real second = c * h.step2;
        const Int rowNode = h.rowNode[static_cast<std::size_t>(r)];
        const Int colNode = h.columnNode[static_cast<std::size_t>(c)];
        const Real a1 = h.sectionIsPhi1 ? h.section : second;
        const Real a2 = h.sectionIsPhi1 ? second : h.section;
        const Int n = h.sectionIsPhi1 ? ODFNodeIndex(h.sectionNode, rowNode, colNode)
                                      : ODFNodeIndex(colNode, rowNode, h.sectionNode);
        // A node given by two sections (a section repeated, or sections of phi1 and of phi2
        // crossing) keeps one value only when both agree.
        if (lineOf[At(n)] != 0 && ctx.ODF[At(n)] != p.value) {
          out.result().column = static_cast<int>(first);
          return out.Fail(1, src.Number(),
                          TwiceMessage(a1, Phi, a2, ctx.ODF[At(n)], lineOf[At(n)], p.value,
                                       src.Number()));
        }
        lineOf[At(n)] = src.Number();
        SetNode(ctx, At(n), p.value, a1, Phi, a2);
        if (p.value > 0) anyPositive = true;
        ++counter;
        last = a1;
      }
    }
    t = src.Next(line);
    if (t == LineRead::kTooLong) return out.Fail(1, src.Number(), TooLongMessage());
    if (t == LineRead::kEnd) break;
  }
  if (counter == 0) return out.Fail(1, 0, "the file holds no ODF values");
  if (!anyPositive) return out.Fail(1, 0, kZeroODFMessage);
  out.result().valuesRead = counter;

  const Real maxP = h.phiMax, max2 = h.max2, step1 = h.phiStep, step2 = h.step2;
  // The extent of phi1 tells which sample symmetry the data were reduced by.
  if (last >= 80 && last < 95) ctx.SYMMETRY = polydec::kOrthorhombicSample;
  if (last >= 175 && last < 185) ctx.SYMMETRY = polydec::kMonoclinicSampleZ;
  if (last >= 180) ctx.SYMMETRY = polydec::kTriclinicSample;
  ctx.ODFNUMP = ClampedCount(counter);
  SetODFGridAngles(ctx);

  const bool hexagonal =
      max2 == 60 && ClassShownByRegion(max2, static_cast<polydec::CrystalClass>(ctx.Cryst.SYS)) ==
                        polydec::kHexagonal;
  if (hexagonal) {
    // A twofold sample axis Z repeats the section phi1 = 0 at 180 degrees.
    if (last == 175) {
      for (Int i = 0; i <= 18; ++i)
        for (Int j = 0; j <= 12; ++j)
          ctx.ODF[At(ODFNodeIndex(36, i, j))] = ctx.ODF[At(ODFNodeIndex(0, i, j))];
      last = 180;
    }
    ctx.Cryst.SYS = polydec::kHexagonal;
  } else {
    if (last == 85 && max2 == 90) {
      // The section phi1 = 90 is the image of the loaded region under the symmetries; it is
      // read from the loaded grid directly, since the ODF is not switched on yet. Its Phi = 0
      // nodes are made too: left empty, they lie inside the region the expansion copies from,
      // so they and every node copied from them would stay 0.
      for (Int i = 0; i <= 18; ++i)
        for (Int j = 0; j <= 18; ++j) {
          core::EulerAnglesRec e;
          const Real a = kStep * i, a2 = kStep * j;
          if (!SymmetryEquivalentInRegion(static_cast<polydec::CrystalClass>(ctx.Cryst.SYS),
                                          static_cast<polydec::SampleSymmetry>(ctx.SYMMETRY), 90, a,
                                          a2, 85, maxP, 90, e))
            return out.Fail(1, 0,
                            "the node [phi1,phi,phi2]=[90," + Number(a) + "," + Number(a2) +
                                "] has no symmetric equivalent within the loaded region; check "
                                "the sample and crystal symmetry");
          SetNode(ctx, At(ODFNodeIndex(18, i, j)), InterpolateODF(ctx, e.phi1, e.phi, e.phi2), 90,
                  a, a2);
        }
      last = 90;
    }
    // Sections at 180 and 360 degrees repeat the section phi1 = 0: the twofold sample axis Z
    // that data up to 175 degrees imply turns phi1 by 180 degrees and leaves Phi and phi2 as
    // they are, and a full turn is the identity.
    const auto copySection = [&](Int target, Real sectionAngle) -> bool {
      for (Int i = 0; i <= 18; ++i)
        for (Int j = 0; j <= 18; ++j) {
          const Real a = i * step1, a2 = j * step2;
          const std::optional<Int> from = ODFGridIndex(0, a, a2);
          if (!from) return false;
          SetNode(ctx, At(ODFNodeIndex(target, i, j)), ctx.ODF[At(*from)], sectionAngle, a, a2);
          ++counter;
        }
      return true;
    };
    if (last == 175 && max2 == 90) {
      if (!copySection(36, 180))
        return out.Fail(1, 0, "the section phi1 = 180 cannot be completed from phi1 = 0");
      last = 180;
    }
    if (last == 355) {
      if (!copySection(72, 360))
        return out.Fail(1, 0, "the section phi1 = 360 cannot be completed from phi1 = 0");
      last = 360;
    }
    ctx.ODFNUMP = ClampedCount(counter);
  }

  ctx.maxphi1 = last;
  ctx.maxphi = maxP;
  ctx.maxphi2 = max2;
  out.result().region = {last, maxP, max2};
  out.result().rulesApply = !hexagonal;
  // The completion by rules sizes its boundary sections by these counts; they describe the
  // region just loaded, not the one of an earlier load.
  ctx.ODFn_phi1 = static_cast<Int>(std::lrint(last / kStep)) + 1;
  ctx.ODFn_phi = static_cast<Int>(std::lrint(maxP / kStep)) + 1;
  ctx.ODFn_phi2 = static_cast<Int>(std::lrint(max2 / kStep)) + 1;
  return out.Succeed();
}

}  // namespace polydec::texture
