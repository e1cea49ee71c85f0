// The texture options of the verbs that weight by a texture: --odf of the worksheet and map
// (read as the window's page reads it, checked against the material's crystal class), and the
// options of orientation lists (Euler tables, EBSD maps) and of their kernel ODF that every verb
// reading a texture takes.
#pragma once

#include <optional>
#include <string>

#include "material_options.h"
#include "polydec/texture.h"

namespace CLI {
class App;
}

namespace polydec::cli {

// Formats --odf-format names: auto, popla, mtex, grains, orientations, ang, ctf.
std::vector<std::string> TextureFormatNames();

struct OrientationListOptions {
  std::string angles = "auto";  // auto, degrees, radians
  bool valuesAreWeights = false;
  int phase = 0;
  std::optional<double> minQuality, maxMad;
  std::string kernel = "poussin";
  double halfwidth = 10;
};
// --angles, --values-are-weights, --phase, --min-quality, --max-mad, --kernel, --halfwidth.
void AddOrientationListOptions(CLI::App* cmd, OrientationListOptions& o);
// The list options into a texture source (the kernel is left to the verb).
void ApplyOrientationListOptions(const OrientationListOptions& o, TextureSource& source);
KernelOptions KernelOf(const OrientationListOptions& o);
// The format a --grains file is read in: an .ang or .ctf map, an orientation table (a header
// naming phi1, Phi and phi2 with a weight column or none), else a grains file of the popla
// WTS layout.
TextureFormat GrainsFormatOf(const std::string& path);

// The texture of --odf FILE (format as TextureFormatNames, "mtex" and "popla" as before); a file
// that cannot be read, or an ODF of another crystal class than the material's, ends the run
// naming the file. The file is read in the material's crystal class, so that the region of an
// MTEX table is expanded by that class's rotations. An orientation list is given its kernel ODF.
Texture LoadOdfOption(const std::string& odf, const std::string& format,
                      const ResolvedMaterial& material, const OrientationListOptions& list = {});

}  // namespace polydec::cli
