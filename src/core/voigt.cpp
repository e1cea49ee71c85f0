#include "core/voigt.h"

namespace polydec::core {

namespace {

constexpr std::array<CijklQuad, 22> kQuads = {
    {{0, 0, 0, 0}, {1, 1, 1, 1}, {1, 1, 1, 2}, {1, 1, 1, 3}, {1, 1, 2, 2}, {1, 1, 2, 3},
     {1, 1, 3, 3}, {1, 2, 1, 2}, {1, 2, 1, 3}, {1, 2, 2, 2}, {1, 2, 2, 3}, {1, 2, 3, 3},
     {1, 3, 1, 3}, {1, 3, 2, 2}, {1, 3, 2, 3}, {1, 3, 3, 3}, {2, 2, 2, 2}, {2, 2, 2, 3},
     {2, 2, 3, 3}, {2, 3, 2, 3}, {2, 3, 3, 3}, {3, 3, 3, 3}}};

// Position of the unordered pair (p, q) in the sequence 11, 12, 13, 22, 23, 33.
constexpr int PairRank(int p, int q) {
  if (p > q) std::swap(p, q);
  constexpr int rank[3][3] = {{0, 1, 2}, {1, 3, 4}, {2, 4, 5}};
  return rank[p - 1][q - 1];
}

}  // namespace

const std::array<std::string_view, 22> CijklNames = {
    "",        " C1111 ", " C1112 ", " C1113 ", " C1122 ", " C1123 ", " C1133 ", " C1212 ",
    " C1213 ", " C1222 ", " C1223 ", " C1233 ", " C1313 ", " C1322 ", " C1323 ", " C1333 ",
    " C2222 ", " C2223 ", " C2233 ", " C2323 ", " C2333 ", " C3333 "};

const std::array<std::string_view, 22> VoigtNames = {
    "",    "C11", "C16", "C15", "C12", "C14", "C13", "C66", "C56", "C26", "C46",
    "C36", "C55", "C25", "C45", "C35", "C22", "C24", "C23", "C44", "C34", "C33"};

const std::array<std::array<int, 22>, 11> SymmetryComponents = {{
    {2, 1, 4},
    {3, 1, 4, 7},
    {5, 1, 4, 6, 12, 21},
    {6, 1, 4, 6, 7, 12, 21},
    {7, 1, 2, 4, 6, 7, 12, 21},
    {6, 1, 4, 5, 6, 12, 21},
    {7, 1, 3, 4, 5, 6, 12, 21},
    {9, 1, 4, 6, 7, 12, 16, 18, 19, 21},
    // The monoclinic rows follow the twofold axes of the classes: monoclinic1 about Y (C15, C25,
    // C35, C46, the constants its entry form opens), monoclinic2, which is also the monoclinic
    // sample, about Z (C16, C26, C36, C45).
    {13, 1, 3, 4, 6, 7, 10, 12, 13, 15, 16, 18, 19, 21},
    {13, 1, 2, 4, 6, 7, 9, 11, 12, 14, 16, 18, 19, 21},
    {21, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21},
}};

void CijklIndex(int n, int& i, int& j, int& k, int& l) {
  if (n < 1 || n > 21) return;
  i = kQuads[n].i;
  j = kQuads[n].j;
  k = kQuads[n].k;
  l = kQuads[n].l;
}

int CijklPosition(int i, int j, int k, int l) {
  int r1 = PairRank(i, j);
  int r2 = PairRank(k, l);
  if (r1 > r2) std::swap(r1, r2);
  // Upper triangle of a 6x6 matrix, row by row.
  return r1 * 6 - r1 * (r1 - 1) / 2 + (r2 - r1) + 1;
}

int VoigtIndex(int i, int j) {
  if (i == j) return i;
  return 9 - i - j;  // 23 -> 4, 13 -> 5, 12 -> 6
}

void VoigtPair(int voigt, int& i, int& j) {
  static constexpr int pi[7] = {0, 1, 2, 3, 2, 1, 1};
  static constexpr int pj[7] = {0, 1, 2, 3, 3, 3, 2};
  i = pi[voigt];
  j = pj[voigt];
}

int VoigtToPosition(int I, int J) {
  int i, j, k, l;
  VoigtPair(I, i, j);
  VoigtPair(J, k, l);
  return CijklPosition(i, j, k, l);
}

void TensorToCijkl(const Tensor4& T, CijklVector& v) {
  v[0] = 0;
  for (int n = 1; n <= 21; ++n) {
    const auto& q = kQuads[n];
    v[n] = T(q.i, q.j, q.k, q.l);
  }
}

void CijklToTensor(const CijklVector& v, Tensor4& T) {
  for (int n = 1; n <= 21; ++n) {
    const auto [i, j, k, l] = kQuads[n];
    const Real x = v[n];
    T(i, j, k, l) = x;
    T(j, i, k, l) = x;
    T(i, j, l, k) = x;
    T(j, i, l, k) = x;
    T(k, l, i, j) = x;
    T(l, k, i, j) = x;
    T(k, l, j, i) = x;
    T(l, k, j, i) = x;
  }
}

void FillTensor(Tensor4& T, Real x) { T.e.fill(x); }

void ClearFloatVec(FloatVec& v) { v.fill(0); }

void ClearFloatMat(FloatMat& M) {
  for (auto& row : M) row.fill(0);
}

void ScaleTensor(Tensor4& T, Real x) {
  for (auto& t : T.e) t *= x;
}

void AddTensors(const Tensor4& A, const Tensor4& B, Tensor4& R, Real x) {
  // Entry by entry, so R may be A or B without a scratch copy.
  for (int n = 0; n < 81; ++n) R.e[n] = A.e[n] + x * B.e[n];
}

void ContractTensors(const Tensor4& A, const Tensor4& B, Tensor4& R) {
  // A viewed as a 9x9 matrix (ij, mn) times B (mn, kl). Each entry is summed over m, then n,
  // from zero, in a register: the x87 unit is slow to store and reload 80-bit partial sums.
  Tensor4 r;
  for (int ij = 0; ij < 9; ++ij) {
    const Real* a = &A.e[9 * ij];
    for (int kl = 0; kl < 9; kl += 3) {
      Real s0 = 0, s1 = 0, s2 = 0;
      for (int mn = 0; mn < 9; ++mn) {
        const Real* b = &B.e[9 * mn + kl];
        s0 += a[mn] * b[0];
        s1 += a[mn] * b[1];
        s2 += a[mn] * b[2];
      }
      r.e[9 * ij + kl] = s0;
      r.e[9 * ij + kl + 1] = s1;
      r.e[9 * ij + kl + 2] = s2;
    }
  }
  R = r;
}

void ContractTensor2(const Tensor4& T, const Tensor2& X, Tensor2& r) {
  const Tensor2 x = X;
  Tensor2 out;
  for (int ij = 0; ij < 9; ++ij) {
    Real s = 0;
    for (int kl = 0; kl < 9; ++kl) s += T.e[9 * ij + kl] * x.e[kl];
    out.e[ij] = s;
  }
  r = out;
}

const Tensor4& SymIdentityTensor() {
  static const Tensor4 identity = [] {
    Tensor4 t;
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j)
        for (int k = 1; k <= 3; ++k)
          for (int l = 1; l <= 3; ++l)
            t(i, j, k, l) = 0.5L * (Delta(i, k) * Delta(j, l) + Delta(i, l) * Delta(j, k));
    return t;
  }();
  return identity;
}

}  // namespace polydec::core
