"""evaluate_stress over a table of columns (a DataFrame or a dict of arrays) gives the numbers
the command line's map evaluation writes for the same table in a file, carries the other
columns, and refuses a data set on its own."""

import subprocess

import numpy as np
import pandas as pd
import pytest

import polydec
from conftest import CLI


@pytest.fixture
def scan(example):
    """Three points at x = 0, 1, 2, each the example's 16 measurements with the spacings of a
    stress that grows along x."""
    base = pd.read_csv(example("ferrite_211_stress.csv"), comment="#")
    points = []
    for k in range(3):
        point = base.copy()
        point["set"] = f"p{k}"
        point["x"] = float(k)
        point["d"] = point["d"] + 1e-5 * k * np.sin(np.radians(point["psi"])) ** 2
        points.append(point)
    return pd.concat(points, ignore_index=True)


def test_the_command_lines_map_numbers(scan, tmp_path, iron):
    scan.to_csv(tmp_path / "scan.csv", index=False)
    out = subprocess.run([CLI, "map", str(tmp_path / "scan.csv"), "--material", "iron",
                          "-o", str(tmp_path / "results.csv")], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    # round_trip: the parser that gives the double each shortest text stands for.
    expected = pd.read_csv(tmp_path / "results.csv", float_precision="round_trip")
    for table in (scan, {name: scan[name].to_numpy() for name in scan.columns}):
        result = polydec.evaluate_stress(table, iron)
        sets = result["sets"]
        assert sets["label"] == ["p0", "p1", "p2"]
        assert sets["x"].tolist() == [0.0, 1.0, 2.0]
        for name in ("sig_xx", "sig_yy", "sig_xx_err", "sig_yy_err", "d0", "d0_err", "chisq"):
            assert sets[name].tolist() == expected[name].tolist(), name
        assert sets["refusal"] == [None, None, None]
    assert np.all(np.diff(sets["sig_xx"]) > 0)  # the stress grows along x
    rows = result["rows"]
    assert rows["d_calc"].shape == (48,)
    assert rows["residual"] == pytest.approx(
        (scan["d"] - rows["d_calc"]) / scan["d_err"], rel=1e-12)


def test_a_data_set_that_cannot_be_fitted_is_refused_alone(scan, iron):
    scan = scan[(scan["set"] != "p1") | (scan["phi"] == 0)]  # p1: phi = 0 alone
    result = polydec.evaluate_stress(scan, iron, free="sig_xx sig_yy d0")
    sets = result["sets"]
    assert sets["refusal"][0] is None and sets["refusal"][2] is None
    assert "sig_yy" in sets["refusal"][1]
    assert np.isnan(sets["sig_xx"][1]) and not np.isnan(sets["sig_xx"][2])
    assert np.isnan(result["rows"]["d_calc"][16:24]).all()


@pytest.mark.parametrize("drop,field", [("phi", "phi"), ("d", "d")])
def test_a_missing_column_is_named(scan, iron, drop, field):
    with pytest.raises(polydec.InputError) as caught:
        polydec.evaluate_stress(scan.drop(columns=[drop]), iron)
    assert caught.value.field == field


def test_a_cancelled_map_stops(scan, iron):
    token = polydec.Cancel()
    token.cancel()
    with pytest.raises(polydec.Cancelled):
        polydec.evaluate_stress(scan, iron, cancel=token)
