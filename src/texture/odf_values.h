// The ODF readers up to the values on the grid: the file is read and checked and the loaded
// region known, but the boundary sections are not completed and the ODF is not expanded over
// Euler space. Everything in a read that depends on the file's bytes happens here; the
// expansion depends only on the region. The fuzzers drive these, since the expansion of every
// input would leave them a few inputs a second.
#pragma once

#include <string>

#include "texture/odf_readers.h"

namespace polydec::texture {

// ReadPoplaODF without the completion and expansion (the ODF is not usable for calculations).
ODFReadResult ReadPoplaODFValues(const std::string& fileName, core::OrientationsRec& ctx);
// LoadODFMTEX without the expansion (the ODF is not usable for calculations).
ODFReadResult LoadODFMTEXValues(const std::string& fileName, core::OrientationsRec& ctx,
                                ODFQuestions& ask);

}  // namespace polydec::texture
