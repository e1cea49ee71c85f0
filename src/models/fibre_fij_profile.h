// The ODF along the diffraction fibre of each measurement of a worksheet, together with the
// contribution of each fibre orientation to the stress factor F11: a table that shows which
// grains of the fibre carry the stress factor of a textured sample.
#pragma once

#include <string>
#include <vector>

#include "core/records.h"
#include "polydec/types.h"

namespace polydec::models {

struct FibreFijRow {
  core::Real phi = 0, psi = 0;  // measurement direction, degrees
  core::Real h = 0, k = 0, l = 0;
  ModelCode model = kVoigt;     // grain-interaction model of GrainModelTensor
  std::string phiText, psiText; // the cells as typed, for the column header
};

// Header "lamda" and per row "phi1 phi ODF phi2 (phi,psi)", then for lamda = 0..360 degrees in
// `steps` steps: per row the Euler angles and ODF value (6:1) and F11 · f / I · 2 pi · 1000
// (9:6), where f is the ODF at that orientation and I the fibre integral (n = 200) of the
// row (1 without an ODF). `headerOnly` rows are named in the header but have no values (the
// first row whose phi cell is not a number). The context must be set up for the models (its
// stiffnesses and Eshelby data); its hkl, polar angles and fibre profile are left as the last
// row set them. A model code without a model throws std::invalid_argument.
std::string FibreFijProfileText(core::OrientationsRec& ctx, const std::vector<FibreFijRow>& rows,
                                const std::vector<std::string>& headerOnly, int steps = 144);

}  // namespace polydec::models
