#!/usr/bin/env python3
"""Worksheets that exercise the stress commands: several data sets and labels, model codes and
grain axes in the "h k l" cell, eps0, held stresses, and rows the commands refuse."""
import sys, os

HEADER = ["#", "h k l", "phi", "psi", "d", "+/-", "d0", "+/-", "F11", "F22", "F33", "F23",
          "F13", "F12", "eps0", "I(ODF)", "d_calc", "##", "sig_xx", "+/-", "sig_yy", "+/-",
          "sig_zz", "+/-", "sig_yz", "+/-", "sig_xz", "+/-", "sig_xy", "+/-", "d0_calc", "+/-",
          "chisq"]
COLS = 34


def sheet(flags, rows, result=None):
    text = flags + " \r\n \t" + "".join(h + "\t" for h in HEADER) + "\r\n"
    for n, r in enumerate(rows, 1):
        cells = [str(n)] + list(r)
        if result and n in result:
            cells += [" "] * (18 - len(cells)) + result[n]
        cells += [" "] * (COLS - len(cells))
        text += "".join(c + "\t" for c in cells) + "\r\n"
    text += " \t" * COLS + "\r\n"
    return text


def write(folder, name, text):
    with open(os.path.join(folder, name), "w", newline="") as f:
        f.write(text)


folder = sys.argv[1]
refl = [("2 1 1", "0", "0"), ("2 1 1", "0", "33.21"), ("2 1 1", "90", "45"),
        ("1 1 0", "0", "18.43"), ("1 1 0", "30", "60"), ("3 1 0", "90", "26.57")]
rows = [("1", h, p, s, "1.17", "0.00002", "1.17004", "0.00005") for h, p, s in refl]
write(folder, "textured.tsd", sheet("0 0 1 1 1 1 0 0", rows))

# Two data sets (labels 1, 2, 1, ...), a code word and grain axes in the hkl cells, eps0.
mixed = []
for k, (h, p, s) in enumerate(refl * 2):
    label = "1" if k % 3 != 1 else "2"
    hkl = h
    if k == 2:
        hkl = h + " 2"           # Reuss for this row
    if k == 4:
        hkl = h + " 3 1 1 2"     # Kroener with an elongated grain from here on
    d = 1.1695 + 0.0002 * k
    mixed.append((label, hkl, p, s, "%.6f" % d, "0.00002", "1.17004", "0.00005"))
write(folder, "mixed.tsd", sheet("0 0 1 1 1 1 0 0", mixed))
write(folder, "d0fixed.tsd", sheet("0 0 0 1 1 1 1 0", mixed,
                                  {1: ["1", "0", "0", "0", "0", "50", "0"]}))
# A long label, labels differing by a trailing blank, a non-numeric label in row 1.
labels = ["set A", "1", "1 ", "1", "12345678901234567890123", "1"]
odd = [(labels[k],) + rows[k][1:] for k in range(6)]
write(folder, "labels.tsd", sheet("0 0 1 1 1 1 0 0", odd))
# Refusals: an invalid hkl, a model without a path, a zero uncertainty, a zero d0.
bad_hkl = list(rows)
bad_hkl[2] = ("1", "2 x 1", "90", "45", "1.17", "0.00002", "1.17004", "0.00005")
write(folder, "bad_hkl.tsd", sheet("0 0 1 1 1 1 0 0", bad_hkl))
bad_code = list(rows)
bad_code[1] = ("1", "2 1 1 5", "0", "33.21", "1.17", "0.00002", "1.17004", "0.00005")
write(folder, "bad_code.tsd", sheet("0 0 1 1 1 1 0 0", bad_code))
zero_sd = list(rows)
zero_sd[3] = ("1", "1 1 0", "0", "18.43", "1.17", "0", "1.17004", "0.00005")
write(folder, "zero_sd.tsd", sheet("0 0 1 1 1 1 0 0", zero_sd))
zero_d0 = list(rows)
zero_d0[4] = ("1", "1 1 0", "30", "60", "1.17", "0.00002", "0", "0.00005")
write(folder, "zero_d0.tsd", sheet("0 0 1 1 1 1 1 0", zero_d0))
bad_shape = list(rows)
bad_shape[1] = ("1", "2 1 1 3 1 -1 2", "0", "33.21", "1.17", "0.00002", "1.17004", "0.00005")
write(folder, "bad_shape.tsd", sheet("0 0 1 1 1 1 0 0", bad_shape))
