#!/usr/bin/python3
"""Writes a map table for `polydec map`: POINTS points on a square grid, each measured with the
{211} reflection of iron at phi = 0, 45, 90 degrees and seven tilts psi, the spacings made from
a known stress per point (sig_xx, sig_yy, sig_xy varying smoothly over the map) with the
quasi-isotropic strain law and the DECs s1, 1/2 s2 given, plus noise of the stated uncertainty.

usage: make_map.py POINTS OUT.csv [S1 HALF_S2]   (DECs in 1e-6/MPa, Kroener of iron by default)
The known stresses go to OUT.csv.truth (label, x, y, sig_xx, sig_yy, sig_xy).
Standard library only, so that it runs anywhere; deterministic (seeded)."""
import math
import random
import sys

D0 = 1.17004  # Angstrom, the {211} spacing of the ferrite the examples use
PHIS = (0.0, 45.0, 90.0)
# Seven tilts, sin^2 psi = 0 .. 0.6 in equal steps.
PSIS = tuple(math.degrees(math.asin(math.sqrt(0.1 * k))) for k in range(7))
SD = 2e-5  # Angstrom, uncertainty of each spacing


def main():
    points = int(sys.argv[1])
    out = sys.argv[2]
    s1 = float(sys.argv[3]) if len(sys.argv) > 3 else -1.2628871
    hs2 = float(sys.argv[4]) if len(sys.argv) > 4 else 5.7154437
    rng = random.Random(20261211)
    side = max(1, int(math.ceil(math.sqrt(points))))
    with open(out, "w") as f, open(out + ".truth", "w") as t:
        f.write("set,x,y,hkl,phi,psi,d,d_err,d0\n")
        t.write("set,x,y,sig_xx,sig_yy,sig_xy\n")
        for p in range(points):
            x, y = 0.5 * (p % side), 0.5 * (p // side)
            sxx = 300 * math.sin(0.7 * x) * math.cos(0.3 * y)
            syy = 150 - 2.0 * x * y / side
            sxy = 40 * math.cos(0.5 * (x + y))
            label = "P%06d" % (p + 1)
            t.write("%s,%g,%g,%.6f,%.6f,%.6f\n" % (label, x, y, sxx, syy, sxy))
            for phi in PHIS:
                c, s = math.cos(math.radians(phi)), math.sin(math.radians(phi))
                sphi = sxx * c * c + syy * s * s + sxy * 2 * s * c
                for psi in PSIS:
                    sin2 = math.sin(math.radians(psi)) ** 2
                    eps = 1e-6 * (s1 * (sxx + syy) + hs2 * sphi * sin2)
                    d = D0 * (1 + eps) + rng.gauss(0, SD)
                    f.write("%s,%g,%g,2 1 1,%g,%.6f,%.7f,%g,%g\n" % (label, x, y, phi, psi, d, SD, D0))


if __name__ == "__main__":
    main()
