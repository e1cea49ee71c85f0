#include "texture/odf_writers.h"

#include <algorithm>
#include <cmath>

#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "texture/odf_grid.h"
#include "texture/orientation.h"

namespace polydec::texture {

using core::FormatPadded;
using core::kPi;

namespace {

constexpr const char* kEol = "\r\n";

Real Degrees(Real x) { return x * 180 / kPi; }

std::size_t At(Int n) { return static_cast<std::size_t>(n); }

// Sections of phi2 rows for phi1 = 0..last1 and Phi = 0..90 (the layout of SOD tables).
std::string SectionText(const OrientationsRec& ctx, int last1) {
  std::string out;
  out.reserve(static_cast<std::size_t>((last1 / 5 + 1) * 19 * (19 * 8 + 3)));
  for (int phi1 = 0; phi1 <= last1; phi1 += 5)
    for (int Phi = 0; Phi <= 90; Phi += 5) {
      out += ' ';
      for (int phi2 = 0; phi2 <= 90; phi2 += 5)
        out += FormatPadded(ctx.ODF[At(ODFNodeIndex(phi1 / 5, Phi / 5, phi2 / 5))], 8, 5);
      out += kEol;
    }
  return out;
}

std::string NodeGroup(Real phi1, Real Phi, Real phi2, Real value) {
  return FormatPadded(phi1, 5, 1) + "\t" + FormatPadded(Phi, 5, 1) + "\t" +
         FormatPadded(phi2, 5, 1) + "\t" + FormatPadded(value, 6, 2) + "\t";
}

}  // namespace

ODFTextResult ODFLayoutText(const OrientationsRec& ctx, ODFLayout layout) {
  ODFTextResult r;
  const bool loaded = ctx.ODFNUMP >= kODFNodeCount && HasODFGrid(ctx);
  if (layout != ODFLayout::kFull && !loaded) {
    r.error = kNoODFLoadedMessage;
    return r;
  }
  std::string& out = r.text;
  const Int count = std::min<Int>(ctx.ODFNUMP, HasODFGrid(ctx) ? kODFNodeCount : 0);
  switch (layout) {
    case ODFLayout::kFull:
      // The header names the angles as an MTEX generic table does, so that the file loads back.
      out.reserve(At(count) * 36 + 32);
      out = std::string("phi1\tPhi\tphi2\tODF") + kEol;
      for (Int n = 0; n < count; ++n)
        out += FormatPadded(ctx.phi1[At(n)], 6, 1) + "\t" + FormatPadded(ctx.phi[At(n)], 6, 1) +
               "\t" + FormatPadded(ctx.phi2[At(n)], 6, 1) + "\t" +
               FormatPadded(ctx.ODF[At(n)], 8, 5) + kEol;
      break;
    case ODFLayout::kSection90:
      out = SectionText(ctx, 90);
      break;
    case ODFLayout::kSection180:
      out = SectionText(ctx, 180);
      break;
    case ODFLayout::kCubeOrth:
      for (Int n = 0; n < count; ++n) {
        const Real a1 = ctx.phi1[At(n)], a = ctx.phi[At(n)], a2 = ctx.phi2[At(n)];
        if (a1 > 90 || a > 90 || a2 > 90) continue;
        out += NodeGroup(a1, a, a2, ctx.ODF[At(n)]);
        for (int m = 1; m <= 96; ++m) {
          const CubeOrthEquivalentRec e = CubeOrthEquivalent(ctx, m, a1, a, a2);
          if (e.phi1 <= 90 && e.phi <= 90 && e.phi2 <= 90)
            out += NodeGroup(e.phi1, e.phi, e.phi2, e.value);
        }
        out += kEol;
      }
      break;
  }
  return r;
}

std::string GrainsFileText(const OrientationsRec& ctx) {
  const core::GrainOrientations& g = ctx.GOrient;
  const std::size_t n = std::min({g.phi1.size(), g.phi.size(), g.phi2.size(), g.weight.size()});
  std::string out = "popla style WTS file, random grain orientations #=" + std::to_string(n) +
                    ", weights taken from ODF" + kEol + "Bunge angles" + kEol +
                    "for all crystal symmetries" + kEol + "phi1   PHI   phi2   weight" + kEol;
  out.reserve(out.size() + n * 32);
  for (std::size_t i = 0; i < n; ++i)
    out += FormatPadded(Degrees(g.phi1[i]), 7, 2) + "\t" + FormatPadded(Degrees(g.phi[i]), 7, 2) +
           "\t" + FormatPadded(Degrees(g.phi2[i]), 7, 2) + "\t" + FormatPadded(g.weight[i], 6, 4) +
           kEol;
  return out;
}

std::string EulerAnglesText(OrientationsRec& ctx, Real h, Real k, Real l,
                            const std::vector<MeasurementDirection>& directions) {
  ctx.hkl(1) = h, ctx.hkl(2) = k, ctx.hkl(3) = l;
  std::string out = std::string("  h\t  k\t  l\tphi \tpsi\tphi1\tphi\tphi2\tODF\t") + kEol;
  const core::PolarAnglesRec normal = crystal::HKLToPolarAngles(ctx.Cryst, h, k, l);
  const std::string hkl =
      FormatPadded(h, 3, 0) + "\t" + FormatPadded(k, 3, 0) + "\t" + FormatPadded(l, 3, 0) + "\t";
  for (const MeasurementDirection& d : directions) {
    out += kEol;
    const Real phi = d.phi * kPi / 180, psi = d.psi * kPi / 180;
    const std::string direction =
        FormatPadded(d.phi, 6, 2) + "\t" + FormatPadded(d.psi, 6, 2) + "\t";
    for (int v = 0; v <= 144; ++v) {
      const Real lamda = v * 2.5L * kPi / 180;
      const core::EulerAnglesRec e = FiberToEuler(psi, phi, normal.psi, normal.phi, lamda);
      const Real f = ctx.UseODF ? ODFValue(ctx, e.phi1, e.phi, e.phi2) : 1;
      out += hkl + direction + FormatPadded(Degrees(e.phi1), 7, 2) + "\t" +
             FormatPadded(Degrees(e.phi), 7, 2) + "\t" + FormatPadded(Degrees(e.phi2), 7, 2) +
             "\t" + FormatPadded(f, 7, 2) + "\t" + kEol;
    }
  }
  out += kEol;
  return out;
}

}  // namespace polydec::texture
