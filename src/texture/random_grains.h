// The random orientation sets that ship beside the program ("random" + N + ".wts", grains files
// of N orientations spread uniformly over orientation space) and their weighting by the ODF of
// a calculation context.
#pragma once

#include <array>
#include <string>

#include "core/records.h"
#include "texture/odf_readers.h"

namespace polydec::texture {

// The sizes of the shipped sets, in the order the settings page offers them.
inline constexpr std::array<int, 8> kRandomSetSizes = {228,   666,   1464,  4572,
                                                       10416, 19860, 33768, 64890};

// "<folder>/random<N>.wts".
std::string RandomOrientationFile(const std::string& folder, int n);

// GOrient := the first n orientations of the grains file (4 header lines, then "phi1 Phi phi2
// weight" in degrees), each weighted by ODFValue of its orientation instead of the file's
// weight. A file that cannot be read, or holds fewer than n grains, leaves GOrient as it was
// and gives a failed result naming the file.
ODFReadResult WeightRandomGrains(core::OrientationsRec& ctx, const std::string& fileName, int n);

}  // namespace polydec::texture
