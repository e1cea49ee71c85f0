// Textures: an ODF on the 5-degree Bunge grid (popla or MTEX text files, completed over Euler
// space by symmetry) or a weighted grain set, loaded once and handed to every calculation that
// weights orientations; and the pole figures computed from an ODF.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "polydec/error.h"
#include "polydec/phase.h"
#include "polydec/types.h"

namespace polydec {

namespace api {
struct TextureData;  // the engine's grid and grains, behind the record
}

enum class TextureFormat {
  kAuto,    // an MTEX table names phi1, Phi and phi2 in one of its first 10 lines; else popla
  kPopla,   // popla ODF sections
  kMtex,    // MTEX generic table "phi1 Phi phi2 value"
  kGrains,  // weighted grains, popla WTS layout
};
// "auto", "popla", "mtex", "grains".
Result<TextureFormat> ParseTextureFormat(const std::string& name);
std::string TextureFormatName(TextureFormat format);

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
  bool grains = false;         // a grain set, not an ODF
  long long valuesRead = 0;    // ODF values, or grains
  std::array<Real, 3> region{};  // extent (degrees) of the region read: phi1, Phi, phi2
  long nodes = 0;              // grid nodes holding a value after the completion
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

// Minimum and maximum of the ODF values on the grid, and its integral over Euler space
// (Simpson's rule with 2n intervals per angle; 8 pi^2 for a uniform ODF of value 1).
struct TextureStatistics {
  Real minimum = 0, maximum = 0, integral = 0;
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
// The plane normal of hkl is taken in the crystal and cell the texture was loaded with.
Result<PoleFigure> ComputePoleFigure(const Texture& texture, const Miller& hkl);

}  // namespace polydec
