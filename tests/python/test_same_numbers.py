"""The module gives the numbers the command line prints for the same inputs: both run the same
engine, and a double read from the command line's 17 digits is the double the module returns."""

import numpy as np
import pytest

import polydec

MODELS = ["voigt", "mvoigt", "reuss", "hill", "kroener", "inverse-kroener"]


@pytest.mark.parametrize("model", MODELS)
def test_dec_of_each_model(cli, iron, model):
    expected = cli("dec", "--material", "iron", "--hkl", "2 1 1", "--hkl", "3 1 0",
                   "--hkl", "2 0 0", "--model", model)["rows"]
    table = polydec.dec(iron, ["2 1 1", (3, 1, 0), (2, 0, 0)], model=model)
    assert table.s1.tolist() == [r["s1"] for r in expected]
    assert table.half_s2.tolist() == [r["half_s2"] for r in expected]
    assert table.d.tolist() == [r["d"] for r in expected]
    one = polydec.dec(iron, (2, 1, 1), model=model)
    assert (one.s1, one.half_s2) == (expected[0]["s1"], expected[0]["half_s2"])


def test_dec_of_a_hexagonal_phase_with_four_indices(cli):
    titanium = polydec.material("Alpha-Titanium")  # names are found in any case
    expected = cli("dec", "--material", "alpha-titanium", "--hkl", "1 0 -1 1", "--model", "hill")
    got = polydec.dec(titanium, (1, 0, -1, 1), model="hill")
    assert (got.s1, got.half_s2) == (expected["rows"][0]["s1"], expected["rows"][0]["half_s2"])


def test_dec_of_an_ellipsoidal_grain_along_a_direction(cli, iron):
    expected = cli("dec", "--material", "iron", "--hkl", "2 1 1", "--grain-shape", "1 1 3",
                   "--direction", "30 45")["rows"][0]
    got = polydec.dec(iron, "2 1 1", grain_shape=(1, 1, 3), direction=(30, 45))
    assert (got.s1, got.half_s2) == (expected["s1"], expected["half_s2"])


def test_phase_from_constants_is_the_command_lines_phase(cli):
    phase = polydec.Phase("ferrite", "cubic", {"C11": 231.4, "C12": 134.7, "C44": 116.4},
                          cell=(2.8665, 2.8665, 2.8665, 90, 90, 90), matrix=(210, 0.29))
    expected = cli("dec", "--material", "iron", "--cij", "C11=231.4 C12=134.7 C44=116.4",
                   "--cell", "2.8665 2.8665 2.8665 90 90 90", "--matrix", "210 0.29",
                   "--hkl", "2 1 1")["rows"][0]
    got = polydec.dec(phase, "2 1 1")
    assert (got.d, got.s1, got.half_s2) == (expected["d"], expected["s1"], expected["half_s2"])
    self_consistent = cli("dec", "--material", "iron", "--matrix-self-consistent",
                          "--hkl", "2 1 1")["rows"][0]
    got = polydec.dec(polydec.material("iron").replace(matrix="self-consistent"), "2 1 1")
    assert (got.s1, got.half_s2) == (self_consistent["s1"], self_consistent["half_s2"])


def compare_worksheet(expected, sheet):
    rows = sheet.rows()
    assert len(rows["row"]) == len(expected["rows"])
    for k, name in enumerate(["F11", "F22", "F33", "F23", "F13", "F12"]):
        assert rows["F"][:, k].tolist() == [r["F"][name] for r in expected["rows"]]
    assert rows["intensity"].tolist() == [r["I_ODF"] for r in expected["rows"]]
    assert rows["d_calc"].tolist() == [r["d_calc"] for r in expected["rows"]]
    assert np.allclose(rows["residual"], [r["residual"] for r in expected["rows"]],
                       rtol=1e-15, atol=0)
    assert len(sheet.sets) == len(expected["datasets"])
    for got, want in zip(sheet.sets, expected["datasets"]):
        assert got.label == want["label"]
        assert got.sig.tolist() == [want["sig"][c] for c in ("xx", "yy", "zz", "yz", "xz", "xy")]
        assert got.sig_err.tolist() == [want["sig_err"][c]
                                        for c in ("xx", "yy", "zz", "yz", "xz", "xy")]
        assert (got.d0, got.d0_err, got.chisq, got.dof) == (
            want["d0"], want["d0_err"], want["chisq"], want["dof"])


@pytest.mark.parametrize("name", ["ferrite_211_stress.tsd", "ferrite_211_stress.csv"])
@pytest.mark.parametrize("model", ["kroener", "reuss"])
def test_stress_of_the_example_measurement(cli, example, iron, name, model):
    expected = cli("worksheet", example(name), "--material", "iron", "--model", model,
                   "--calc-dec", "--calc-stress")
    sheet = polydec.load_worksheet(example(name))
    sheet.calc_dec(iron, model=model)
    sheet.calc_stress()
    compare_worksheet(expected, sheet)
    per_phi = sheet.per_azimuth()[0]["azimuths"]
    assert [a["sig_phi_minus_sig33"] for a in per_phi] == [
        a["sig_phi_minus_sig33"] for a in expected["datasets"][0]["per_phi"]]


def test_stress_of_a_textured_worksheet_with_d0_free_and_sig_xy(cli, example, source, iron):
    odf = example("rolling_cubic.odf")
    sheet_file = example("ferrite_211_stress.tsd")
    expected = cli("worksheet", sheet_file, "--material", "iron", "--odf", odf,
                   "--odf-format", "mtex", "--free", "sig_xx sig_yy sig_xy d0",
                   "--calc-dec", "--calc-stress")
    texture = polydec.load_texture(odf, format="mtex", phase=iron)
    sheet = polydec.load_worksheet(sheet_file)
    sheet.calc_dec(iron, texture=texture)
    sheet.calc_stress(free="sig_xx sig_yy sig_xy d0")
    compare_worksheet(expected, sheet)
    assert sheet.notation == "fij"


@pytest.mark.parametrize("textured", [False, True])
def test_stress_factors_are_the_worksheets(cli, example, iron, textured):
    """The vectorised call gives each row of "Calc DEC" for the same directions."""
    odf = ["--odf", example("rolling_cubic.odf")] if textured else []
    expected = cli("worksheet", example("ferrite_211_stress.tsd"), "--material", "iron",
                   *odf, "--calc-dec")["rows"]
    texture = polydec.load_texture(example("rolling_cubic.odf"),
                                   phase=iron) if textured else None
    F, intensity = polydec.stress_factors(iron, "2 1 1", [r["phi"] for r in expected],
                                          [r["psi"] for r in expected], texture=texture)
    for k, name in enumerate(["F11", "F22", "F33", "F23", "F13", "F12"]):
        assert F[:, k].tolist() == [r["F"][name] for r in expected]
    assert intensity.tolist() == [r["I_ODF"] for r in expected]


def test_pole_figure(cli, example):
    odf = example("rolling_cubic.odf")
    expected = cli("polefigure", odf, "--hkl", "1 1 1", "--format", "json", json_flag=False)
    psi, phi, mrd = polydec.pole_figure(polydec.load_texture(odf), "1 1 1")
    assert psi.tolist() == expected["psi"]
    assert phi.tolist() == expected["phi"]
    assert mrd.tolist() == expected["mrd"]


@pytest.mark.parametrize("model,odf", [("voigt", True), ("reuss", True), ("kroener", False),
                                       ("hill", False)])
def test_macro_stiffness(cli, example, iron, model, odf):
    texture_args = ["--odf", example("rolling_cubic.odf")] if odf else []
    expected = cli("cij", "--material", "iron", "--model", model, *texture_args)
    texture = polydec.load_texture(example("rolling_cubic.odf"), phase=iron) if odf else None
    C = polydec.macro_stiffness(iron, texture, model=model)
    assert C.tolist() == expected["C"]


def test_saved_worksheet_and_csv_tables_are_the_command_lines_files(cli, example, iron, tmp_path):
    source = example("ferrite_211_stress.csv")
    cli("worksheet", source, "--material", "iron", "--calc-dec", "--calc-stress",
        "-o", str(tmp_path / "cli.tsd"), "--csv", str(tmp_path / "cli.csv"))
    sheet = polydec.load_worksheet(source)
    sheet.calc_dec(iron)
    sheet.calc_stress()
    sheet.save(str(tmp_path / "module.tsd"))
    assert (tmp_path / "module.tsd").read_bytes() == (tmp_path / "cli.tsd").read_bytes()
    assert sheet.csv_text() == (tmp_path / "cli.csv").read_bytes().decode()


@pytest.mark.parametrize("material", ["iron", "magnesium", "alumina"])
def test_reflection_table_is_the_command_lines(cli, material):
    expected = cli("dec", "--material", material, "--all", "--max-index", "3",
                   "--wavelength", "1.79")
    frame = polydec.reflections(material, max_index=3, wavelength=1.79)
    assert len(frame) == len(expected["rows"])
    assert frame["multiplicity"].sum() == expected["reflection_count"]
    assert frame["hkl"].tolist() == [r["hkl_text"] for r in expected["rows"]]
    assert frame["d"].tolist() == [r["d"] for r in expected["rows"]]
    two_theta = [np.nan if r["two_theta"] is None else r["two_theta"] for r in expected["rows"]]
    assert np.array_equal(frame["two_theta"].to_numpy(), two_theta, equal_nan=True)
    for model in ["voigt", "reuss", "hill", "kroener", "inverse-kroener"]:
        column = model.replace("-", "_")
        for key in ["s1", "half_s2", "E", "nu"]:
            assert frame[f"{column}_{key}"].tolist() == \
                [r["models"][model][key] for r in expected["rows"]], (column, key)


def test_reflection_table_refusals():
    with pytest.raises(polydec.InputError, match="largest index"):
        polydec.reflections("iron", max_index=0)
    with pytest.raises(polydec.InputError, match="direction"):
        polydec.reflections("iron", grain_shape=(1, 1, 3))
