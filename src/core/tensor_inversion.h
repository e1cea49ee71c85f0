// Inversion of fourth-rank tensors with the minor symmetries (T:S = S:T = I), with closed
// forms for isotropic, cubic and hexagonal tensors, a 6x6 Gauss-Jordan path for the rest, and
// a pseudo-inverse from an 81x81 singular value decomposition for singular tensors.
#pragma once

#include "core/types.h"

namespace polydec::core {

// Replaces T by its inverse. code: crystal/sample class 0..10 or 11 (general path).
void InvertTensor(Tensor4& T, int code);

void TensorToMatrix6(const Tensor4& T, FloatMat& M);
// convention 1: no factor; convention 2: the compliance factors 1, 1/2, 1/4.
void Matrix6ToTensor(const FloatMat& M, int convention, Tensor4& T);
void CompleteMinorSymmetry(Tensor4& T);
// Gauss-Jordan exchange with complete pivoting on the n x n block (n <= 81); row and column
// n+1 are used for bookkeeping. False when no pivot above 1e-20 remains.
bool InvertMatrix(FloatMat& M, int n);
void PseudoInvertTensor(Tensor4& T);
Real Pythag(Real a, Real b);

}  // namespace polydec::core
