"""Orientation lists from Python: an EBSD map read by load_texture chooses its phase and points
as the command line does, and its stress factors are the worksheet's with --grains."""

import numpy as np
import pytest

import polydec

CTF_HEADER = ("Channel Text File\nJobMode\tGrid\nXStep\t1\nYStep\t1\nPhases\t2\n"
              "2.866;2.866;2.866\t90;90;90\tIron\t11\t229\n"
              "5.09;6.74;4.52\t90;90;90\tCementite\t3\t62\n"
              "Phase\tX\tY\tBands\tError\tEuler1\tEuler2\tEuler3\tMAD\tBC\tBS\n")


def ctf_map(path):
    lines = []
    for k in range(120):
        centre = [(30, 40, 20), (200, 70, 60)][k % 2]
        e = 0.5 * (k % 7 - 3)
        lines.append(f"1\t{k}\t0\t8\t0\t{centre[0] + e}\t{centre[1] - e}\t{centre[2] + e}\t"
                     f"{0.3 + 0.1 * (k % 5)}\t150\t180")
        if k % 10 == 0:
            lines.append("0\t0\t1\t0\t3\t0\t0\t0\t0\t20\t10")
        if k % 12 == 0:
            lines.append("2\t0\t2\t7\t0\t10\t20\t30\t0.5\t140\t170")
    path.write_text(CTF_HEADER + "\n".join(lines) + "\n")
    return str(path)


def test_a_map_chooses_its_phase_and_points(tmp_path):
    path = ctf_map(tmp_path / "map.ctf")
    with pytest.raises(polydec.InputError, match="choose one"):
        polydec.load_texture(path)
    t = polydec.load_texture(path, ebsd_phase=1)
    assert (t.format, t.grains, t.values_read, t.nodes) == ("ctf", True, 120, 0)
    assert t.points_left_out == 12 + 10 and t.phases == [1, 2]
    # Points of a MAD above 0.55 degrees are left out: k % 5 == 3 or 4.
    assert polydec.load_texture(path, ebsd_phase=1, max_mad=0.55).values_read == 72
    smooth = polydec.load_texture(path, ebsd_phase=1, halfwidth=10)
    assert smooth.nodes == 197173 and smooth.kernel_halfwidth == 10
    assert smooth.stats()["integral"] == pytest.approx(8 * np.pi ** 2, rel=1e-9)
    # A few grains smoothed by a 10-degree kernel: far sharper than random.
    assert smooth.stats()["texture_index"] > 2


def test_stress_factors_of_a_map_are_the_worksheets(tmp_path, cli, iron):
    path = ctf_map(tmp_path / "map.ctf")
    table = tmp_path / "m.csv"
    table.write_text("set,hkl,phi,psi,d,d0\na,2 1 1,0,0,1.17,1.17\na,2 1 1,90,45,1.17,1.17\n")
    sheet = cli("worksheet", str(table), "--material", "iron", "--model", "reuss", "--grains",
                path, "--phase", "1", "--calc-dec")
    texture = polydec.load_texture(path, phase=iron, ebsd_phase=1, halfwidth=10)
    F, intensity = polydec.stress_factors(iron, "2 1 1", [0, 90], [0, 45], model="reuss",
                                          texture=texture)
    names = ["F11", "F22", "F33", "F23", "F13", "F12"]
    for row, f in zip(sheet["rows"], F):
        assert [row["F"][n] for n in names] == pytest.approx(list(f), abs=1e-9)
