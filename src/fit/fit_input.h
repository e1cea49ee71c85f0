// The fit input file (*.dec) of a single-crystal constant fit: starting constants of the
// crystal and of the surrounding matrix with the flags that choose the fitted ones, the cell,
// the symmetries, the fit controls and the measured stress factors. Read whole and checked
// before anything is changed, so that a bad file leaves the calculation untouched.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/input_error.h"
#include "core/records.h"
#include "fit/fit_record.h"

namespace polydec::fit {

// Characters at the start of lines 3 to 13 that hold a label and are skipped unread.
inline constexpr std::size_t kFitLabelWidth = 14;

// One measured value as written in the file: indices, direction in degrees, the value (in
// 10^-6 MPa^-1 when its magnitude exceeds 0.01, else in MPa^-1) and its uncertainty in MPa^-1.
struct FitDataPoint {
  core::Real h = 0, k = 0, l = 0;
  core::Real phi = 0, psi = 0;
  core::Real z = 0, sig = 0;
};

struct FitInput {
  std::string name;
  core::FloatVec a{};       // a1..a42 in GPa
  core::IntVec position{};  // per parameter 1..42: its place in the fitted list, 0 = fixed
  core::Int mfit = 0;
  core::Real cell[6] = {1, 1, 1, 90, 90, 90};  // a, b, c, alpha, beta, gamma (degrees)
  core::Int SYMMETRY = 0;                      // sample symmetry code 0, 2, 7, 9 or 10
  core::Int SYS = 0;                           // crystal symmetry class 0..10
  core::Int MAXITER = 0;
  core::Real MinChi = 0;
  core::Int EshelbyFlag = 0;  // 1 recompute at every evaluation, 0 do not, other: unchanged
  std::vector<FitDataPoint> points;
};

// Where and why a fit input was refused: line is counted from 1 (0 for the file as a whole).

// "<file>, line N: <message>" (or "<file>: <message>" without a line).
std::string FitInputErrorText(const std::string& fileName, const core::InputError& error);

// Parses the text of a fit input (CR LF or LF line ends). Empty, with error set, when the
// text is refused: a missing line, a missing or malformed number, more than 20 or fewer than 1
// data points, a flag list that is not 1..mfit without repetition, a zero or negative
// uncertainty, an unknown symmetry code, an unsound cell, reflection 0 0 0, a data line after
// the announced number of data points (notes and blank lines may follow the data).
std::optional<FitInput> ParseFitInput(std::string_view text, core::InputError& error);
std::optional<FitInput> ReadFitInputFile(const std::string& fileName, core::InputError& error);

// A measured value of the file in GPa^-1: values above 0.01 in magnitude are in 10^-6 MPa^-1,
// the others in MPa^-1.
core::Real MeasuredValueInGPa(core::Real z);

// Fills the fit record and the context from a checked input: the record is started afresh
// (ma = 42, h = 0.001, the fitted list, the data points in GPa^-1 and radians), the context
// receives the name, Lr and L, the cell (set up), the symmetries, ndata, the Eshelby switch and
// spherical grain axes.
void ApplyFitInput(const FitInput& in, const std::string& fileName, core::OrientationsRec& ctx,
                   FitRecord& rec);

// Reads and applies a fit input file. On a refusal nothing is changed and false is returned.
bool ReadInputParams(const std::string& fileName, core::OrientationsRec& ctx, FitRecord& rec,
                     core::InputError& error);

// Name of parameter p (1..42) for messages and reports: "C1111" .. "C3333" for the crystal,
// "matrix C1111" .. for the surrounding matrix.
std::string ParameterName(int p);

}  // namespace polydec::fit
