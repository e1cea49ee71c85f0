"""The shapes and units the module documents: stress factors (n, 6) in 1e-6/MPa with the pole
densities (n,), DECs of many reflections as arrays, pole figures (19, 72) in m.r.d. over psi
0..90 and phi 0..355 degrees, 6x6 stiffnesses in GPa, and the worksheet's rows and sets."""

import numpy as np
import pytest

import polydec


@pytest.mark.parametrize("phi,psi,n", [
    ([0, 45, 90, 135], [0, 20, 40, 60], 4),
    (0.0, np.linspace(0, 70, 8), 8),
    (np.array([0.0, 90.0]), 30.0, 2),
    (10.0, 20.0, 1),
])
def test_stress_factor_shapes(iron, phi, psi, n):
    F, intensity = polydec.stress_factors(iron, "2 1 1", phi, psi)
    assert F.shape == (n, 6) and intensity.shape == (n,)
    assert np.all(intensity == 1.0)  # no texture


@pytest.mark.parametrize("model", ["voigt", "reuss", "kroener"])
def test_stress_factors_and_decs_share_their_unit(iron, model):
    """Measured along the sample normal an untextured sample has F11 = F22 = s1 and
    F33 = s1 + 1/2 s2, the shear factors 0."""
    dec = polydec.dec(iron, "2 1 1", model=model)
    F, _ = polydec.stress_factors(iron, "2 1 1", 0.0, 0.0, model=model)
    assert F[0, :3] == pytest.approx([dec.s1, dec.s1, dec.s1 + dec.half_s2], rel=1e-12)
    assert F[0, 3:] == pytest.approx([0, 0, 0], abs=1e-12)
    # Iron: s1 about -1.3 and 1/2 s2 about 6 per TPa.
    assert -2 < dec.s1 < -0.5 and 4 < dec.half_s2 < 8


def test_decs_of_many_reflections(iron):
    hkl = np.array([[1, 1, 0], [2, 0, 0], [2, 1, 1], [3, 1, 0]])
    table = polydec.dec(iron, hkl, model="hill")
    assert len(table) == 4
    assert table.hkl.shape == (4, 3) and table.hkl.tolist() == hkl.tolist()
    for name in ("d", "s1", "half_s2"):
        assert getattr(table, name).shape == (4,)
    for k, row in enumerate(hkl):
        one = polydec.dec(iron, tuple(row), model="hill")
        assert (table.s1[k], table.half_s2[k], table.d[k]) == (one.s1, one.half_s2, one.d)
        assert table[k].s1 == one.s1
    assert table[-1].hkl == (3.0, 1.0, 0.0)
    with pytest.raises(IndexError):
        table[4]


def test_pole_figure_grid_and_unit():
    psi, phi, mrd = polydec.pole_figure(polydec.load_texture(None), (1, 1, 0))
    assert psi.tolist() == [5.0 * k for k in range(19)]
    assert phi.tolist() == [5.0 * k for k in range(72)]
    assert mrd.shape == (19, 72)
    assert mrd == pytest.approx(np.ones((19, 72)), rel=1e-9)  # a uniform texture is 1 m.r.d.


def test_macro_stiffness_of_an_untextured_cubic_crystal(iron):
    """The Voigt average of a cubic crystal: C11 - 2/5 (C11 - C12 - 2 C44) along the axes."""
    C = polydec.macro_stiffness(iron, model="voigt")
    c = iron.stiffness
    assert C.shape == (6, 6)
    assert C == pytest.approx(C.T)
    anisotropy = c[0, 0] - c[0, 1] - 2 * c[3, 3]
    assert C[0, 0] == pytest.approx(c[0, 0] - 0.4 * anisotropy, rel=1e-12)
    assert C[0, 1] == pytest.approx(c[0, 1] + 0.2 * anisotropy, rel=1e-12)
    assert 200 < C[0, 0] < 350  # GPa


def test_worksheet_rows_and_sets(example, iron):
    sheet = polydec.load_worksheet(example("ferrite_211_stress.tsd"))
    rows = sheet.rows()
    assert len(sheet) == 16 and rows["phi"].shape == (16,)
    assert np.isnan(rows["d_calc"]).all() and np.isnan(rows["F"]).all()
    sheet.calc_dec(iron)
    sheet.calc_stress()
    rows = sheet.rows()
    assert rows["F"].shape == (16, 6) and not np.isnan(rows["F"]).any()
    assert rows["hkl"][0] == "2 1 1" and rows["row"].tolist() == list(range(1, 17))
    assert rows["d"][0] == 1.169562 and rows["psi"][1] == 18.43
    (result,) = sheet.sets
    assert result.sig.shape == (6,) and result.sig_err.shape == (6,)
    assert result.rows == list(range(1, 17)) and result.d_calc.shape == (16,)
    assert result.d_calc.tolist() == rows["d_calc"].tolist()
    # Made from sig_xx = 250 MPa and sig_yy = 80 MPa.
    assert result.sig[:2] == pytest.approx([250, 80], abs=2)
    assert result.d0 == pytest.approx(1.17004, abs=1e-5)
