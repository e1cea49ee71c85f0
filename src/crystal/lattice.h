// The unit cell: metric tensors, reciprocal basis, Cartesian frames in three settings,
// lattice spacings, plane normals and their polar angles.
#pragma once

#include <string>

#include "core/records.h"

namespace polydec::crystal {

using core::CrystalData;
using core::Real;
using core::Tensor1;
using core::Tensor2;

// A cell from its lengths and its angles in degrees, the one conversion of the program: the
// derived fields are left for InitCrystal, the class and axis setting at their defaults.
CrystalData CellFromDegrees(Real a, Real b, Real c, Real alpha, Real beta, Real gamma);
// The same into a cell that keeps its class and axis setting.
void SetCellFromDegrees(CrystalData& C, Real a, Real b, Real c, Real alpha, Real beta,
                        Real gamma);

void InitCrystal(CrystalData& C);
void MetricTensors(CrystalData& C);
void ReciprocalBasis(CrystalData& C);
void CartesianAxes(CrystalData& C);
Real CellVolume(const CrystalData& C);
Real LatticeLength(const CrystalData& C, const Tensor1& v);
Real LatticeDot(const CrystalData& C, const Tensor1& u, const Tensor1& v);
Tensor1 LatticeCross(const CrystalData& C, const Tensor1& u, const Tensor1& v);
// 0 when h = k = l = 0 or when CheckCell rejects the cell.
Real DSpacing(CrystalData C, Real h, Real k, Real l);
// Unit normal of the plane hkl in the crystal Cartesian frame of C.AxisSetting; R receives
// the frame matrix (lattice to Cartesian components). The zero vector when h = k = l = 0
// (there is no plane) or when CheckCell rejects the cell (R is then zero as well).
Tensor1 PlaneNormal(CrystalData C, Real h, Real k, Real l, Tensor2* R = nullptr);
// The Cartesian components of a, b, c (as columns) in the frame PlaneNormal uses, the frame the
// single-crystal constants are written in; zero for a cell CheckCell rejects.
Tensor2 LatticeFrame(const CrystalData& C);
// (azimuth in (-pi, pi], polar angle) of the plane normal, radians; (0, pi/2) when
// PlaneNormal gives the zero vector.
core::PolarAnglesRec HKLToPolarAngles(const CrystalData& C, Real h, Real k, Real l);
Tensor1 DirectionToCartesian(CrystalData C, Real u, Real v, Real w);

// Checks a cell typed or read by a user: positive edges, angles in (0, 180) degrees whose
// combination spans a volume. Empty when the cell is sound, else a message naming the fault.
std::string CheckCell(const CrystalData& C);

}  // namespace polydec::crystal
