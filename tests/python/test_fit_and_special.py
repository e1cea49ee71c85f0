"""The single-crystal constant fit and the special functions give the command line's numbers;
their refusals arrive as InputError."""

import os
import shutil
import threading

import pytest

import polydec


@pytest.fixture
def fit_input(tmp_path, example):
    path = tmp_path / "iron.dec"
    shutil.copy(example("iron-kroener.dec"), path)
    return str(path)


def test_fit_equals_the_command_line_and_appends_the_report(cli, fit_input, tmp_path):
    expected = cli("fit", fit_input, "-o", str(tmp_path / "cli.res"))
    report = tmp_path / "py.res"
    got = polydec.fit_single_crystal(fit_input, report=str(report))
    assert got["constants"] == expected["constants"]
    assert got["errors"] == expected["errors"]
    assert got["matrix"] == expected["matrix"]
    assert (got["chisq"], got["cycles"], got["converged"]) == (
        expected["chisq"], expected["cycles"], expected["converged"])
    assert got["calc"].shape == (expected["data_points"],)
    assert report.read_text() == (tmp_path / "cli.res").read_text()


def test_fit_refusals_and_stop(fit_input, tmp_path):
    with pytest.raises(polydec.InputError) as refused:
        polydec.fit_single_crystal(fit_input, report=fit_input)
    assert "fit input itself" in str(refused.value)
    with open(fit_input) as f:
        assert not f.read().count("chisq")  # the input is untouched
    broken = tmp_path / "broken.dec"
    lines = open(fit_input).read().splitlines()
    lines[6] = "lattice       2.8665 2.8665 x 90 90 90"
    broken.write_text("\n".join(lines) + "\n")
    with pytest.raises(polydec.InputError) as bad:
        polydec.fit_single_crystal(str(broken))
    assert bad.value.line == 7
    # A cancel from another thread ends the fit at the end of its running cycle.
    cancel = polydec.Cancel()
    timer = threading.Timer(0.0, cancel.cancel)
    timer.start()
    timer.join()
    with pytest.raises(polydec.Cancelled):
        polydec.fit_single_crystal(fit_input, cancel=cancel)


def test_special_functions_equal_the_command_line(cli, iron):
    taylor = cli("taylor", "--euler", "10 20 30")
    assert polydec.taylor_factor((10, 20, 30)) == {"factor": taylor["taylor"],
                                                   "ratio": taylor["ratio"]}
    schmid = cli("schmid", "--material", "iron", "--euler", "10 20 30")
    got = polydec.schmid_factors(iron, (10, 20, 30))
    assert got["kroener"] == schmid["kroener"]
    assert got["inverse_kroener"] == schmid["inverse_kroener"]
    frame = cli("sctensor", "--material", "iron", "--x", "1 1 0", "--z", "0 0 1", "--turn", "5")
    assert polydec.stiffness_in_frame(iron, x=(1, 1, 0), turn=5).tolist() == frame["C"]
    elongation = cli("elongation", "--euler", "10 20 30")
    got = polydec.grain_elongation((10, 20, 30))
    assert list(got["final_euler"]) == elongation["final_euler"]
    assert got["steps"] == elongation["steps"]


def test_special_function_refusals(iron):
    with pytest.raises(polydec.InputError):
        polydec.stiffness_in_frame(iron, x=(1, 0, 0), z=(1, 0, 0))  # not perpendicular
    with pytest.raises(polydec.InputError) as ratio:
        polydec.taylor_factor((0, 0, 0), ratio=2)
    assert ratio.value.field == "ratio"
    # Twin fractions are weighted by an ODF: a uniform texture (none) is refused, not counted.
    with pytest.raises(polydec.InputError):
        polydec.twin_fractions(polydec.load_texture(None, phase=iron), (1, 1, 0), (1, 1, 2),
                               (1, 1, -1), (0, 90, 0, 90))


def test_twin_fractions_equal_the_command_line(cli, iron, example, tmp_path):
    table = tmp_path / "twins.txt"
    table.write_text("0 0 1 1 0\t1 1 2 1 1 -1\t0 30 0 30\n")
    odf = example("rolling_cubic.odf")
    expected = cli("twins", "--material", "iron", "--odf", odf, "--table", str(table))["rows"][0]
    got = polydec.twin_fractions(polydec.load_texture(odf, phase=iron), (1, 1, 0), (1, 1, 2),
                                 (1, 1, -1), (0, 30, 0, 30))
    assert got == {k: expected[k] for k in ("twin_angle", "fraction", "twin_fraction")}
