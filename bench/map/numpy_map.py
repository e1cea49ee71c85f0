#!/usr/bin/python3
"""The map's stresses the way a lab script gets them: the DECs s1, 1/2 s2 of the reflection as
constants (from `polydec dec --model kroener`), the quasi-isotropic strain law
eps = s1 (sig_xx + sig_yy) + 1/2 s2 (sig_xx cos^2 phi + sig_xy sin 2phi + sig_yy sin^2 phi) sin^2 psi
(sig_zz = sig_xz = sig_yz = 0), and one weighted least-squares fit per point for sig_xx, sig_yy,
sig_xy and the relative correction c of d0, all points at once. As in polydec, d is modelled as
d0 (1 + c)(1 + eps), linear in c and sig' = (1 + c) sig, and sig = sig' / (1 + c).

usage: numpy_map.py TABLE.csv S1 HALF_S2 OUT.csv"""
import sys

import numpy as np


def main():
    table, s1, hs2, out = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
    raw = np.genfromtxt(table, delimiter=",", skip_header=1, dtype=None, encoding="ascii",
                        usecols=(0, 4, 5, 6, 7, 8))
    labels = raw["f0"]
    phi, psi = np.radians(raw["f1"]), np.radians(raw["f2"])
    d, sd, d0 = raw["f3"], raw["f4"], raw["f5"]
    # The rows of a point follow each other and every point has the same number of rows.
    starts = np.flatnonzero(np.r_[True, labels[1:] != labels[:-1]])
    n = len(starts)
    m = len(d) // n
    sin2 = np.sin(psi) ** 2
    # Stress factors in 1/MPa of sig_xx, sig_yy, sig_xy and the constant of c.
    a = np.stack([(s1 + hs2 * np.cos(phi) ** 2 * sin2) * 1e-6,
                  (s1 + hs2 * np.sin(phi) ** 2 * sin2) * 1e-6,
                  hs2 * np.sin(2 * phi) * sin2 * 1e-6,
                  np.ones_like(phi)], axis=1)
    y = (d - d0) / d0
    w = d0 / sd
    aw = (a * w[:, None]).reshape(n, m, 4)
    yw = (y * w).reshape(n, m)
    normal = np.einsum("nmi,nmj->nij", aw, aw)
    rhs = np.einsum("nmi,nm->ni", aw, yw)
    x = np.linalg.solve(normal, rhs[..., None])[..., 0]
    sig = x[:, :3] / (1 + x[:, 3:4])
    with open(out, "w") as f:
        f.write("label,sig_xx,sig_yy,sig_xy\n")
        for k in range(n):
            f.write("%s,%.10f,%.10f,%.10f\n" % (labels[starts[k]], sig[k, 0], sig[k, 1], sig[k, 2]))


if __name__ == "__main__":
    main()
