#!/usr/bin/python3
"""The Voigt average of a cubic single-crystal stiffness over the nodes of an MTEX table, in
vectorised numpy: the reference the speed of `polydec cij --model voigt` is compared with.
Usage: voigt_average.py FILE C11 C12 C44 (GPa)."""
import sys

import numpy as np


def main(path, c11, c12, c44):
    table = np.loadtxt(path, skiprows=1)
    p1, P, p2 = (np.radians(table[:, k]) for k in range(3))
    weight = table[:, 3] * np.sin(P)
    c1, s1, c, s, c2, s2 = np.cos(p1), np.sin(p1), np.cos(P), np.sin(P), np.cos(p2), np.sin(p2)
    # Rows: crystal axes in sample coordinates (Bunge convention).
    g = np.empty((len(table), 3, 3))
    g[:, 0, 0] = c1 * c2 - s1 * s2 * c
    g[:, 0, 1] = s1 * c2 + c1 * s2 * c
    g[:, 0, 2] = s2 * s
    g[:, 1, 0] = -c1 * s2 - s1 * c2 * c
    g[:, 1, 1] = -s1 * s2 + c1 * c2 * c
    g[:, 1, 2] = c2 * s
    g[:, 2, 0] = s1 * s
    g[:, 2, 1] = -c1 * s
    g[:, 2, 2] = c
    # The stiffness in Voigt notation rotates as K C K^T with the 6 x 6 Bond matrix K of the
    # rotation from crystal to sample axes (a = g^T).
    a = np.transpose(g, (0, 2, 1))
    pairs = [(0, 0), (1, 1), (2, 2), (1, 2), (0, 2), (0, 1)]
    K = np.empty((len(table), 6, 6))
    for r, (i, j) in enumerate(pairs):
        for q, (k, l) in enumerate(pairs):
            if q < 3:
                K[:, r, q] = a[:, i, k] * a[:, j, l]
            else:
                K[:, r, q] = a[:, i, k] * a[:, j, l] + a[:, i, l] * a[:, j, k]
    C = np.zeros((6, 6))
    C[:3, :3] = c12
    np.fill_diagonal(C[:3, :3], c11)
    C[3, 3] = C[4, 4] = C[5, 5] = c44
    rotated = K @ C
    voigt = np.einsum("n,nab,ncb->ac", weight, rotated, K) / weight.sum()
    np.set_printoptions(precision=2, suppress=True)
    print(voigt)


if __name__ == "__main__":
    main(sys.argv[1], *(float(x) for x in sys.argv[2:5]))
