#!/usr/bin/python3
"""Writes a full MTEX table (phi1 0..360, Phi 0..180, phi2 0..360 in 5-degree steps: 197,173
nodes) of a Goss texture of 9 degrees spread on a random background, values with 21
significant digits, as texture programs export them."""
import math
import sys


def misorientation_to_goss(p1, P, p2):
    # Goss {110}<001>: (phi1, Phi, phi2) = (0, 45, 0); the angle of g * g_goss^-1 without symmetry
    # is enough for a smooth, strongly textured test function.
    def rot(a, b, c):
        ca, sa, cb, sb, cc, sc = (math.cos(a), math.sin(a), math.cos(b), math.sin(b),
                                  math.cos(c), math.sin(c))
        return [[ca * cc - sa * sc * cb, sa * cc + ca * sc * cb, sc * sb],
                [-ca * sc - sa * cc * cb, -sa * sc + ca * cc * cb, cc * sb],
                [sa * sb, -ca * sb, cb]]
    g = rot(p1, P, p2)
    h = rot(0.0, math.radians(45.0), 0.0)
    trace = sum(g[i][k] * h[i][k] for i in range(3) for k in range(3))
    return math.acos(max(-1.0, min(1.0, (trace - 1.0) / 2.0)))


def main(path):
    spread = math.radians(9.0)
    with open(path, "w") as out:
        out.write("phi1\tPhi\tphi2\tODF\n")
        for i1 in range(73):
            for i in range(37):
                for i2 in range(73):
                    w = misorientation_to_goss(math.radians(5 * i1), math.radians(5 * i),
                                               math.radians(5 * i2))
                    value = 0.2 + 40.0 * math.exp(-(w / spread) ** 2)
                    out.write("%6.1f\t%6.1f\t%6.1f\t%.20e\n" % (5 * i1, 5 * i, 5 * i2, value))


if __name__ == "__main__":
    main(sys.argv[1])
