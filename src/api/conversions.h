// Conversions between the public API's records and the engine's (1-based 21-component
// vectors, radians in the cell), shared by the API's sources.
#pragma once

#include "core/picture.h"
#include "core/records.h"
#include "core/voigt.h"
#include "models/untextured_context.h"
#include "polydec/phase.h"
#include "polydec/picture.h"

namespace polydec::api {

core::CijklVector ToCijkl(const Cij21& c);
Cij21 FromCijkl(const core::CijklVector& v);
// The engine's cell (radians) of a public one (degrees); derived fields not set up.
core::CrystalData ToCrystalData(const Cell& cell);
// The engine's inputs of an untextured phase (crystal, class, cell, matrix); the caller adds
// the grain shape, reflection and axis setting.
models::UntexturedInputs UntexturedInputsOf(const Phase& phase);
// The pixels of a picture with its texts drawn in.
RgbPicture RgbPictureOf(const core::Picture& picture);

}  // namespace polydec::api
