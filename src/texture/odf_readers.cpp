// The check of a loaded ODF, the finishing step of a read, and the load command.
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
#include "core/large_array.h"
#include "core/text_fields.h"
#include "core/text_lines.h"
#include "texture/odf_grid.h"
#include "texture/odf_read_support.h"
#include "texture/odf_readers.h"
#include "texture/odf_expansion.h"

namespace polydec::texture {

using namespace read_support;

std::string ODFFindingQuestion(const ODFFinding& f) {
  const std::string where = Bracket(f.i1, f.i, f.i2);
  if (f.kind == ODFFindingKind::kZero)
    return "ODF has zero intensity for [phi1,phi,phi2]=" + where +
           ". Check sample symmetry. Exit now?";
  return "ODF has equal intensities for [phi1,phi,phi2]=" + where +
         " and the preceeding value. Check sample symmetry. Exit now? Click No (to all) to "
         "continue (recommended).";
}

namespace {

// Calls visit(finding) for every finding in node order until it returns false. Nodes the
// arrays do not hold count as 0.
template <class Visit>
void ForEachFinding(const OrientationsRec& ctx, Visit&& visit) {
  const auto value = [&](std::size_t n) { return n < ctx.ODF.size() ? ctx.ODF[n] : Real{0}; };
  for (int i1 = 0; i1 < kPhi1Nodes; ++i1)
    for (int i = 0; i < kPhiNodes; ++i)
      for (int i2 = 0; i2 < kPhi2Nodes; ++i2) {
        const std::size_t n = At(ODFNodeIndex(i1, i, i2));
        if (value(n) == 0 && !visit(ODFFinding{ODFFindingKind::kZero, i1, i, i2})) return;
        if (n >= 1 && value(n) == value(n - 1) &&
            !visit(ODFFinding{ODFFindingKind::kEqual, i1, i, i2}))
          return;
      }
}

}  // namespace

ODFCheckSummary ScanODF(const OrientationsRec& ctx, std::size_t maxListed) {
  ODFCheckSummary s;
  ForEachFinding(ctx, [&](const ODFFinding& f) {
    const bool zero = f.kind == ODFFindingKind::kZero;
    (zero ? s.zeroNodes : s.equalNodes) += 1;
    std::optional<ODFFinding>& first = zero ? s.firstZero : s.firstEqual;
    if (!first) first = f;
    if (s.listed.size() < maxListed) s.listed.push_back(f);
    return true;
  });
  return s;
}

ODFRepeatSummary ScanODFForCopiedValues(const OrientationsRec& ctx) {
  ODFRepeatSummary out;
  const auto value = [&](int i1, int i, int i2) {
    const std::size_t n = At(ODFNodeIndex(i1, i, i2));
    return n < ctx.ODF.size() ? ctx.ODF[n] : Real{0};
  };
  Real lo = value(0, 0, 0), hi = lo;
  for (int i1 = 0; i1 < kPhi1Nodes; ++i1)
    for (int i = 0; i < kPhiNodes; ++i)
      for (int i2 = 0; i2 < kPhi2Nodes; ++i2) {
        lo = std::min(lo, value(i1, i, i2));
        hi = std::max(hi, value(i1, i, i2));
      }
  const Real step = (hi - lo) / 100;
  if (!(step > 0)) return out;
  for (int i1 = 0; i1 < kPhi1Nodes; ++i1)
    for (int i = 1; i + 1 < kPhiNodes; ++i)
      for (int i2 = 2; i2 + 1 < kPhi2Nodes; ++i2) {
        if (value(i1, i, i2) != value(i1, i, i2 - 1)) continue;
        const Real before = value(i1, i, i2 - 1) - value(i1, i, i2 - 2);
        const Real after = value(i1, i, i2 + 1) - value(i1, i, i2);
        if (before * after > 0 && std::fabs(before) > step && std::fabs(after) > step) {
          ++out.nodes;
          if (!out.first) out.first = ODFFinding{ODFFindingKind::kEqual, i1, i, i2};
        }
      }
  return out;
}

void VisitODFFindings(const OrientationsRec& ctx,
                      const std::function<bool(const ODFFinding&)>& visit) {
  ForEachFinding(ctx, visit);
}

std::string UnreadLineQuestion(const ODFUnreadLine& unread) {
  return "Error reading line " + std::to_string(unread.line) + ": " + unread.text + ". Continue?";
}

void FinishODF(OrientationsRec& ctx, const ODFReadResult& read, bool completeByRules) {
  if (!read.ok()) return;
  const auto [b1, b2, b3] = read.region;
  if (b1 < 360 || b2 < 180 || b3 < 360)
    ExpandODF(ctx, completeByRules && read.rulesApply ? kExpandByRules : 0, b1, b2, b3);
  ctx.maxphi1 = 360;
  ctx.maxphi = 180;
  ctx.maxphi2 = 360;
  ctx.dphi1 = ctx.dphi = ctx.dphi2 = kStep;
  ctx.ODFn_phi1 = kPhi1Nodes;
  ctx.ODFn_phi = kPhiNodes;
  ctx.ODFn_phi2 = kPhi2Nodes;
  ctx.ODFNUMP = kODFNodeCount;
  ctx.UseODF = true;
}

ODFReadResult ReadPoplaODF(const std::string& fileName, OrientationsRec& ctx,
                           bool completeByRules) {
  ODFReadResult r = ReadPoplaValues(fileName, ctx);
  FinishODF(ctx, r, completeByRules);
  return r;
}

ODFReadResult LoadODFMTEX(const std::string& fileName, OrientationsRec& ctx, bool completeByRules,
                          UnreadLines unread) {
  ODFReadResult r = ReadMtexValues(fileName, ctx, unread);
  FinishODF(ctx, r, completeByRules);
  return r;
}

ODFLoadResult LoadODF(const std::string& fileName, ODFFileKind kind, bool completeByRules,
                      OrientationsRec& ctx, UnreadLines unread) {
  ODFLoadResult r;
  switch (kind) {
    case ODFFileKind::kPopla:
      r.read = ReadPoplaODF(fileName, ctx, completeByRules);
      break;
    case ODFFileKind::kMTEX:
      r.read = LoadODFMTEX(fileName, ctx, completeByRules, unread);
      break;
    case ODFFileKind::kGrains:
      r.read = readwtsfile(fileName, ctx);
      if (r.read.ok()) ctx.UseGrains = true;
      break;
  }
  // A grid that is not set up is not declared complete.
  if (kind != ODFFileKind::kGrains && r.read.ok() && HasODFGrid(ctx)) ctx.ODFNUMP = kODFNodeCount;
  if (ctx.error == 0) ctx.TaylorFactor.resize(At(std::max<Int>(ctx.ODFNUMP, 0)));
  if (ctx.error != 0 || ctx.ODFNUMP == 0) {
    ctx.UseODF = false;
    return r;
  }
  r.loaded = true;
  return r;
}

}  // namespace polydec::texture
