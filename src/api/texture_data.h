// What a public Texture record holds of the engine: a calculation context with the expanded
// ODF grid (or the grain set), the crystal and the cell it was loaded with.
#pragma once

#include "core/records.h"
#include "polydec/texture.h"

namespace polydec::api {

struct TextureData {
  core::OrientationsRec ctx;
};

// The context of a texture (an empty one without data).
const core::OrientationsRec& ContextOf(const Texture& texture);

}  // namespace polydec::api
