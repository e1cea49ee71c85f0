// Test textures with known values and the ODF files made from them. The files are written at
// test time into a temporary folder, so every expected value is the function that made the file.
//
// Each texture is a polynomial in the entries of the orientation matrix g (rows: crystal axes
// in the sample frame), chosen invariant under the symmetry its file claims: crystal symmetry
// permutes and flips rows of g, sample symmetry flips columns. Being of degree <= 4 in g, each is
// a trigonometric polynomial of degree <= 4 in every Euler angle (the hexagonal one: 6).
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "core/records.h"
#include "core/types.h"
#include "crystal/lattice.h"
#include "texture/odf_grid.h"

namespace polydec::texture_test {

using core::Real;

struct Matrix3 {
  Real g[3][3];
  Real operator()(int i, int j) const { return g[i - 1][j - 1]; }
};

// Cosine and sine of an angle in degrees; grid angles come from a table, since fixtures
// evaluate textures at every one of the 197173 nodes.
inline void CosSin(Real degrees, Real& c, Real& s) {
  struct Table {
    Real c[73], s[73];
    Table() {
      for (int k = 0; k <= 72; ++k) {
        c[k] = std::cos(5 * k * core::kPi / 180);
        s[k] = std::sin(5 * k * core::kPi / 180);
      }
    }
  };
  static const Table table;
  const Real k = degrees / 5;
  if (k >= 0 && k <= 72 && k == std::nearbyint(k)) {
    c = table.c[static_cast<int>(k)];
    s = table.s[static_cast<int>(k)];
    return;
  }
  c = std::cos(degrees * core::kPi / 180);
  s = std::sin(degrees * core::kPi / 180);
}

// Bunge orientation matrix of angles in degrees, written out independently of the engine.
inline Matrix3 BungeMatrix(Real phi1, Real Phi, Real phi2) {
  Real c1, s1, c, s, c2, s2;
  CosSin(phi1, c1, s1);
  CosSin(Phi, c, s);
  CosSin(phi2, c2, s2);
  return {{{c1 * c2 - s1 * s2 * c, s1 * c2 + c1 * s2 * c, s2 * s},
           {-c1 * s2 - s1 * c2 * c, -s1 * s2 + c1 * c2 * c, c2 * s},
           {s1 * s, -c1 * s, c}}};
}

// Cubic crystal, orthorhombic sample: sums over rows of even powers of single columns.
inline Real CubicOrthTextureOf(const Matrix3& g) {
  Real f = 1;
  for (int i = 1; i <= 3; ++i) {
    const Real x2 = g(i, 1) * g(i, 1), y2 = g(i, 2) * g(i, 2), z2 = g(i, 3) * g(i, 3);
    f += 0.8L * x2 * x2 - 0.5L * z2 * z2 + 1.2L * x2 * y2;
  }
  return f;
}
// Its mean over orientation space: for a uniformly random rotation each row is a uniform unit
// vector, <x^4> = 1/5 and <x^2 y^2> = 1/15.
inline constexpr Real kCubicOrthMean = 1 + 0.8L * 3 / 5 - 0.5L * 3 / 5 + 1.2L * 3 / 15;

// Cubic crystal, no sample symmetry: odd powers of two columns break every sample twofold axis.
inline Real CubicTriclinicTextureOf(const Matrix3& g) {
  Real f = 0.5L + CubicOrthTextureOf(g);
  for (int i = 1; i <= 3; ++i)
    f += (0.3L * g(i, 1) * g(i, 1) * g(i, 1) + 0.2L * g(i, 2) * g(i, 2) * g(i, 2)) * g(i, 3);
  return f;
}

// Cubic crystal, monoclinic sample (twofold axis Z only): g(i,1)^3 g(i,2) keeps its sign when
// columns 1 and 2 flip together, and changes it when column 2 or column 1 flips with column 3.
inline Real CubicMonoclinicTextureOf(const Matrix3& g) {
  Real f = CubicOrthTextureOf(g);
  for (int i = 1; i <= 3; ++i) f += 0.4L * g(i, 1) * g(i, 1) * g(i, 1) * g(i, 2);
  return f;
}

// Hexagonal crystal, twofold sample axis Z: the c axis enters squared, the sample Z direction
// projected on the basal plane with the sixfold term Re (g13 + i g23)^6.
inline Real HexagonalTextureOf(const Matrix3& g) {
  const std::complex<Real> basal(g(1, 3), g(2, 3));
  const std::complex<Real> cube = basal * basal * basal;
  return 1 + 0.5L * g(3, 3) * g(3, 3) + 0.3L * g(3, 1) * g(3, 2) + 0.4L * (cube * cube).real();
}

// No symmetry at all, for data over the whole Euler space. Mean 2 + 0.2/3, since <g_ij g_kl> =
// δik δjl / 3 and every odd moment vanishes.
inline Real GeneralTextureOf(const Matrix3& g) {
  return 2 + 0.4L * g(1, 1) + 0.3L * g(2, 2) * g(3, 3) + 0.2L * g(1, 2) * g(1, 2) -
         0.25L * g(3, 1) * g(2, 3) + 0.3L * g(1, 3) * g(1, 3) * g(1, 3);
}
inline constexpr Real kGeneralMean = 2 + 0.2L / 3;

using Texture = std::function<Real(Real, Real, Real)>;  // of Euler angles in degrees

inline Real CubicOrthTexture(Real a1, Real a, Real a2) {
  return CubicOrthTextureOf(BungeMatrix(a1, a, a2));
}
inline Real CubicTriclinicTexture(Real a1, Real a, Real a2) {
  return CubicTriclinicTextureOf(BungeMatrix(a1, a, a2));
}
inline Real CubicMonoclinicTexture(Real a1, Real a, Real a2) {
  return CubicMonoclinicTextureOf(BungeMatrix(a1, a, a2));
}
inline Real HexagonalTexture(Real a1, Real a, Real a2) {
  return HexagonalTextureOf(BungeMatrix(a1, a, a2));
}
inline Real GeneralTexture(Real a1, Real a, Real a2) {
  return GeneralTextureOf(BungeMatrix(a1, a, a2));
}

// popla files hold integers, 100 for a random texture.
inline Real PoplaValue(const Texture& f, Real a1, Real a, Real a2) {
  return std::nearbyint(100 * f(a1, a, a2));
}

// Trilinear interpolation on 5-degree nodes of a trigonometric polynomial of degree d in each
// angle: linear interpolation errs by at most h²/8 · max|f''| per axis, and by Bernstein's
// inequality |f''| <= d² · R/2 for a function of range R. Over three axes: 3 h² d² R / 16.
inline Real InterpolationBound(Real range, int degree = 4) {
  const Real h = 5 * core::kPi / 180;
  return 3 * h * h * degree * degree * range / 16;
}

// A folder under the system's temporary directory, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "polydec_odf_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string File(const std::string& name) const { return (path_ / name).string(); }
  std::string Write(const std::string& name, const std::string& text) const {
    const std::string path = File(name);
    std::ofstream out(path, std::ios::binary);
    out << text;
    return path;
  }

 private:
  std::filesystem::path path_;
};

inline std::string Format(const char* format, Real x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, x);
  return buffer;
}

// MTEX generic table over [0, l1] x [0, lP] x [0, l2] degrees, phi2 fastest, so that the last
// line is the far corner. Values with 21 significant digits, enough for an exact round trip
// of an extended value.
inline std::string MtexText(const Texture& f, int l1, int lP, int l2, const std::string& eol) {
  std::string text = "% MTEX ODF, generic 5x5 export" + eol + "phi1    Phi   phi2   value" + eol;
  for (int a1 = 0; a1 <= l1; a1 += 5)
    for (int a = 0; a <= lP; a += 5)
      for (int a2 = 0; a2 <= l2; a2 += 5)
        text += std::to_string(a1) + " " + std::to_string(a) + " " + std::to_string(a2) + " " +
                Format("%.21Lg", f(a1, a, a2)) + eol;
  return text;
}

struct PoplaLayout {
  int firstSection = 0, lastSection = 90;  // section angles, step 5
  const char* type = "SODB";               // SODB/SHDB: phi1 sections; CHDB/CODB: phi2
  int max2 = 90;                           // maximum of the second in-section angle
  bool projBlock = false;                  // a trailing block with "PROJ" in its header
};

inline std::string PoplaHeader(const std::string& type, Real phiStep, Real phiMax, Real step2,
                               Real max2, Real section) {
  return " " + type + Format("%5.1Lf", phiStep) + Format("%5.1Lf", phiMax) +
         Format("%5.1Lf", step2) + Format("%5.1Lf", max2) + " 1 1 1 1 1  100" + "TEST ODF  " +
         Format("%5.1Lf", section);
}

// popla sections of 19 x 19 values at 5 degrees, written as round(100 f).
inline std::string PoplaText(const Texture& f, const PoplaLayout& layout, const std::string& eol) {
  const bool phi1Sections =
      std::string(layout.type) == "SODB" || std::string(layout.type) == "SHDB";
  std::string text;
  for (int s = layout.firstSection; s <= layout.lastSection; s += 5) {
    text += "test texture, section " + std::to_string(s) + eol;
    text += PoplaHeader(layout.type, 5, 90, 5, layout.max2, s) + eol;
    for (int r = 0; r < 19; ++r) {
      text += " ";
      for (int c = 0; c < 19; ++c) {
        const Real v =
            phi1Sections ? PoplaValue(f, s, 5 * r, 5 * c) : PoplaValue(f, 5 * c, 5 * r, s);
        text += Format("%4.0Lf", v);
      }
      text += eol;
    }
    text += eol;
  }
  if (layout.projBlock) {
    text += "pole figure projection" + eol + " PROJ  5.0 90.0" + eol + "garbage" + eol;
  }
  return text;
}

// Puts f at every node of the expanded grid of ctx (angles in degrees) and switches it on, as a
// completed load leaves it.
inline void PutExpandedGrid(core::OrientationsRec& ctx, const Texture& f) {
  texture::SizeODFArrays(ctx);
  texture::SetODFGridAngles(ctx);
  for (core::Int i1 = 0; i1 < texture::kPhi1Nodes; ++i1)
    for (core::Int i = 0; i < texture::kPhiNodes; ++i)
      for (core::Int i2 = 0; i2 < texture::kPhi2Nodes; ++i2)
        ctx.ODF[static_cast<std::size_t>(texture::ODFNodeIndex(i1, i, i2))] =
            f(5 * i1, 5 * i, 5 * i2);
  ctx.ODFNUMP = texture::kODFNodeCount;
  ctx.UseODF = true;
  ctx.maxphi1 = 360;
  ctx.maxphi = 180;
  ctx.maxphi2 = 360;
}

inline core::OrientationsRec ExpandedGridOf(const Texture& f) {
  core::OrientationsRec ctx;
  PutExpandedGrid(ctx, f);
  return ctx;
}

// A cubic crystal of the default cell with f on the expanded grid.
inline core::OrientationsRec CubicCrystalWith(const Texture& f) {
  core::OrientationsRec ctx;
  crystal::InitCrystal(ctx.Cryst);
  ctx.Cryst.SYS = polydec::kCubic;
  PutExpandedGrid(ctx, f);
  return ctx;
}

}  // namespace polydec::texture_test
