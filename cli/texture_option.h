// The --odf option of the verbs that weight stress factors by a texture (worksheet, map): the
// file read as the window's page reads it, checked against the material's crystal class.
#pragma once

#include <optional>
#include <string>

#include "material_options.h"
#include "polydec/texture.h"

namespace polydec::cli {

// The texture of --odf FILE (format "popla" or "mtex"); a file that cannot be read, or an ODF
// of another crystal class than the material's, ends the run naming the file.
Texture LoadOdfOption(const std::string& odf, const std::string& format,
                      const MaterialOptions& options, const ResolvedMaterial& material);

}  // namespace polydec::cli
