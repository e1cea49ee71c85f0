// Textures: an ODF on the 5-degree Bunge grid (popla or MTEX text files, completed over Euler
// space by symmetry) or a list of weighted orientations (grains files, Euler tables, equispaced
// ODF exports, EBSD maps), loaded once into one record and handed to every calculation that
// weights orientations; the ODF of an orientation list by kernel density estimation; and the
// pole figures computed from an ODF.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "polydec/error.h"
#include "polydec/phase.h"
#include "polydec/picture.h"
#include "polydec/types.h"

namespace polydec {

namespace api {
struct TextureData;  // the engine's grid and grains, behind the record
}

enum class TextureFormat {
  // By the file: .ang and .ctf maps by their extension or first lines; a table naming phi1, Phi
  // and phi2 in one of its first 10 lines is an orientation table when it names a weight column
  // or no value column, an MTEX ODF when its points lie on the 5-degree grid, and else (an
  // equispaced export) an orientation table; everything else popla.
  kAuto,
  kPopla,   // popla ODF sections
  kMtex,    // MTEX generic table "phi1 Phi phi2 value" on the 5-degree grid
  kGrains,  // weighted grains, popla WTS layout
  // Orientation table: a header naming phi1, Phi, phi2 (any order) and a weight column, a value
  // column of an equispaced grid, or none; degrees or radians.
  kOrientations,
  kAng,  // EBSD map of EDAX/TSL (radians, confidence index)
  kCtf,  // EBSD map of Oxford (degrees, band contrast, MAD)
};
// "auto", "popla", "mtex", "grains", "orientations", "ang", "ctf".
Result<TextureFormat> ParseTextureFormat(const std::string& name);
std::string TextureFormatName(TextureFormat format);

// Whether a format is a list of orientations rather than an ODF on the grid.
bool IsOrientationList(TextureFormat format);

enum class AngleUnits { kAuto, kDegrees, kRadians };

// Kernel density estimation of an ODF from orientations: each spreads its weight by a
// bell-shaped function of the rotation angle, half its peak at `halfwidth` degrees.
enum class KernelShape { kDeLaValleePoussin, kGaussian };
struct KernelOptions {
  KernelShape shape = KernelShape::kDeLaValleePoussin;
  Real halfwidth = 10;  // degrees, 1..90
};
// "poussin" (or "de-la-vallee-poussin"), "gauss" (or "gaussian").
Result<KernelShape> ParseKernelShape(const std::string& name);

// How the part of Euler space a file leaves out is filled: by the symmetry operators of the
// crystal and sample, or by the older section rules.
enum class TextureCompletion { kOperators, kRules };

struct TextureSource {
  std::string path;
  TextureFormat format = TextureFormat::kAuto;
  // The crystal the orientations belong to; the readers recognise only a hexagonal ODF by
  // themselves.
  CrystalClass crystalClass = kCubic;
  // Plane normals of pole figures are taken in this cell, in this Cartesian frame of the
  // crystal (see DecOptions::axisSetting).
  Cell cell;
  int axisSetting = 1;
  TextureCompletion completion = TextureCompletion::kOperators;
  // Orientation tables: the unit of the angles (kAuto: as the header says, else radians when
  // every angle lies within 0..2pi); whether the values of a value column are weights even
  // though the points are not equispaced.
  AngleUnits angleUnits = AngleUnits::kAuto;
  bool valuesAreWeights = false;
  // EBSD maps: the phase read (0: the only one indexed), and the least confidence index (.ang)
  // or band contrast (.ctf) and the largest MAD (.ctf, degrees) of the points kept.
  int phase = 0;
  std::optional<Real> minQuality, maxMad;
  // An orientation list is also turned into an ODF on the 5-degree grid with this kernel.
  std::optional<KernelOptions> kernel;
};

// A node of the grid that a check of the ODF points at (node indices, not angles).
struct TextureNode {
  int i1 = 0, i = 0, i2 = 0;
};

struct Texture {
  std::string path;
  TextureFormat format = TextureFormat::kAuto;  // the format read (never kAuto)
  CrystalClass crystalClass = kCubic;           // hexagonal when the file showed it
  SampleSymmetry sampleSymmetry = kTriclinicSample;  // implied by the region the file covers
  bool grains = false;         // a list of orientations (grains file, table, map)
  long long valuesRead = 0;    // ODF values, or grains
  std::array<Real, 3> region{};  // extent (degrees) of the region read: phi1, Phi, phi2
  long nodes = 0;              // grid nodes holding a value after the completion
  // Orientation lists: the kernel whose ODF is on the grid (halfwidth 0: none), the points left
  // out of a map (not indexed, another phase, below the thresholds), the phases a map indexes,
  // and whether a table's value column was taken as weights of equal-volume cells.
  KernelOptions kernel{KernelShape::kDeLaValleePoussin, 0};
  long long skipped = 0;
  std::vector<int> phases;
  bool valuesWereWeights = false;
  // Nodes of value 0, and nodes that repeat the value of the node before them, with the first of
  // each: what the window's check asks about.
  long zeroNodes = 0, repeatedNodes = 0;
  std::vector<TextureNode> firstZero, firstRepeated;  // empty, or the first such node
  // Nodes that repeat the value before them in the middle of a slope (the values before and
  // after both change by more than 1 % of the range): what points to a fault of an export.
  long copiedNodes = 0;
  std::vector<TextureNode> firstCopied;
  std::shared_ptr<const api::TextureData> data;
};

// Reads a texture. A file that cannot be read is refused naming file, line and why. An empty
// path gives no texture: a uniform orientation distribution (in the source's crystal and cell).
Result<Texture> LoadTexture(const TextureSource& source);

// The texture of an orientation list with its ODF on the 5-degree grid made by kernel density
// estimation (symmetrised by the crystal's rotations, triclinic sample, mean 1 m.r.d.); the
// orientations stay, so averages over grains keep using them. Refused for an ODF file.
Result<Texture> KernelTexture(const Texture& orientations, const KernelOptions& kernel = {});

// Minimum and maximum of the ODF values on the grid, and its integral over Euler space
// (Simpson's rule with 2n intervals per angle; 8 pi^2 for a uniform ODF of value 1); the texture
// index J = 8 pi^2 (integral of f^2) / (integral of f)^2, the mean square of the ODF scaled to
// mean 1: 1 for a uniform texture, larger the sharper the texture.
struct TextureStatistics {
  Real minimum = 0, maximum = 0, integral = 0;
  Real textureIndex = 1;
};
Result<TextureStatistics> TextureStats(const Texture& texture, int integralIntervals = 36);

// The pole density of a reflection over the sample hemisphere: tilts psi = 0, 5, ..., 90 and
// azimuths phi = 0, 5, ..., 355 degrees.
struct PoleFigure {
  Miller hkl{};
  std::vector<Real> psi, phi;  // degrees
  // Multiples of random distribution, mrd[tilt][azimuth].
  std::vector<std::vector<Real>> mrd;
  Real maximum = 0, minimum = 0;  // m.r.d.
  // The same as the popla and Helming pole-figure files write them.
  std::string poplaText, helmingText;
};
// The plane normal of hkl is taken in the crystal and cell the texture was loaded with. An
// orientation list without an ODF on the grid is first given one with the default kernel.
Result<PoleFigure> ComputePoleFigure(const Texture& texture, const Miller& hkl);

// Pictures of a texture: phi2 = const sections of the ODF (phi1 across, Phi down, over the part
// of Euler space the crystal class and sample symmetry leave) and pole figures side by side
// (equal-area projection, X right, Y up), each a smooth colour map in m.r.d. with contour lines,
// one colour scale with its values for the whole picture.
struct TexturePictureOptions {
  // Sections, degrees within 0..360; empty: phi2 = 0, 5, ..., 90 for a cubic crystal, else the
  // region's phi2 range in six steps (DefaultOdfSections).
  std::vector<Real> phi2;
  // Contour levels in m.r.d., positive; empty: the usual steps 0.5, 1, 1.5, 2, 3, 4, 6, 8, ...
  // between the least and the largest value.
  std::vector<Real> levels;
  // Colour the bands between levels flat instead of by the value itself.
  bool bands = false;
};
std::vector<Real> DefaultOdfSections(const Texture& texture);
// Refused when the texture holds no ODF, or a section or level is out of range (field "phi2" or
// "levels"). An orientation list without an ODF on the grid is first given one with the
// default kernel.
Result<RgbPicture> DrawOdfSections(const Texture& texture, const TexturePictureOptions& options = {});
Result<RgbPicture> DrawPoleFigures(const std::vector<PoleFigure>& figures,
                                   const TexturePictureOptions& options = {});
// The pictures written as PNG or SVG by the file's extension (.png, .svg) through the program's
// atomic writer; another extension is refused naming it.
Status WriteOdfSections(const Texture& texture, const std::string& path,
                        const TexturePictureOptions& options = {});
Status WritePoleFigures(const std::vector<PoleFigure>& figures, const std::string& path,
                        const TexturePictureOptions& options = {});

}  // namespace polydec
