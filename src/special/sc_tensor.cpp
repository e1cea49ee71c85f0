#include "special/sc_tensor.h"

#include <cmath>

#include "core/linalg.h"
#include "crystal/lattice.h"
#include "models/fibre_average.h"
#include "texture/orientation.h"

namespace polydec::special {

Tensor2 FrameFromDirections(const Tensor1& x, const Tensor1& z) {
  const Real lx = core::VectorNorm(x), lz = core::VectorNorm(z);
  const Tensor1 y{
      {z(2) * x(3) - z(3) * x(2), z(3) * x(1) - z(1) * x(3), z(1) * x(2) - z(2) * x(1)}};
  Tensor2 F;
  for (int i = 1; i <= 3; ++i) {
    F(i, 1) = x(i) / lx;
    F(i, 2) = y(i) / (lx * lz);
    F(i, 3) = z(i) / lz;
  }
  return F;
}

void AverageAboutZ(Tensor4& T) {
  constexpr int kTurns = 8;
  Tensor4 sum;
  for (int k = 0; k < kTurns; ++k) {
    const Real t = 2 * core::kPi * k / kTurns;
    Tensor2 R;
    R(1, 1) = std::cos(t);
    R(1, 2) = -std::sin(t);
    R(2, 1) = std::sin(t);
    R(2, 2) = std::cos(t);
    R(3, 3) = 1;
    Tensor4 rotated;
    models::RotateTensor4(T, R, rotated);
    for (int i = 0; i < 81; ++i) sum.e[i] += rotated.e[i];
  }
  for (int i = 0; i < 81; ++i) T.e[i] = sum.e[i] / kTurns;
}

SCTensorResult SingleCrystalTensorInFrame(const SCTensorInputs& in) {
  SCTensorResult r;
  const auto& u = in.xDirection;
  const auto& h = in.zDirection;
  if (u(1) == 0 && u(2) == 0 && u(3) == 0) {
    r.error = "the direction along x is the zero vector";
    return r;
  }
  if (h(1) == 0 && h(2) == 0 && h(3) == 0) {
    r.error = "the direction along z is the zero vector";
    return r;
  }
  if (!std::isfinite(in.turnDegrees)) {
    r.error = "the turn about z is not a finite number";
    return r;
  }
  const Tensor1 z = crystal::DirectionToCartesian(in.cell, h(1), h(2), h(3));
  const Tensor1 x = crystal::DirectionToCartesian(in.cell, u(1), u(2), u(3));
  const Real angle = core::VectorAngle(x, z);
  if (!std::isfinite(angle) || std::fabs(angle - core::kPi / 2) > 1e-6L) {
    r.error = "the directions along x and z are not perpendicular (they enclose " +
              std::to_string(static_cast<double>(angle * core::kRadToDeg)) +
              " degrees); the frame would be no rotation";
    return r;
  }
  const Tensor2 F = FrameFromDirections(x, z);
  const Tensor2 Rz = texture::EulerToInverseMatrix(in.turnDegrees * core::kPi / 180, 0, 0);
  Tensor2 P, A;
  core::MatMul3x3(Rz, F, P);
  core::Transpose3x3(P, A);
  models::RotateTensor4(in.Lr, A, r.C);
  if (in.transverselyIsotropic) AverageAboutZ(r.C);
  return r;
}

}  // namespace polydec::special
