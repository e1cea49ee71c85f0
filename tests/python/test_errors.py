"""What a user's input gets wrong arrives as polydec.InputError (a ValueError) with the engine's
record: file, line, column, field and message; never as a crash of the interpreter."""

import os

import pytest

import polydec

TABLE = """# ferrite 211
set,hkl,phi,psi,d,d_err,d0,d0_err
a,2 1 1,0,0,1.169562,0.00002,1.17004,0.00005
a,2 1 1,0,18.43,1.16x726,0.00002,1.17004,0.00005
a,2 1 1,0,26.57,1.169879,0.00002,1.17004,0.00005
"""


def refusal_of_the_bad_table(tmp_path):
    path = tmp_path / "table.csv"
    path.write_text(TABLE)
    with pytest.raises(polydec.InputError) as caught:
        polydec.load_worksheet(str(path))
    return caught.value


def test_a_bad_cell_of_a_measurement_table_is_named(tmp_path):
    e = refusal_of_the_bad_table(tmp_path)
    assert isinstance(e, ValueError)
    assert os.path.basename(e.file) == "table.csv"
    assert "line 4, column 5 (d)" in str(e)
    assert "1.16x726" in e.message
    assert str(e).startswith(e.file)


@pytest.mark.xfail(strict=True, reason="LoadWorksheet keeps a table's line, column and field "
                   "only in the text of its refusal, not in the record's fields")
def test_a_bad_cell_of_a_measurement_table_has_line_and_column_in_the_record(tmp_path):
    e = refusal_of_the_bad_table(tmp_path)
    assert (e.line, e.column, e.field) == (4, 5, "d")


def test_a_broken_odf_is_named_by_file_and_line(tmp_path, example):
    lines = open(example("rolling_cubic.odf")).read().splitlines()
    lines[7] = "0 0 20 0.6x16"
    path = tmp_path / "broken.odf"
    path.write_text("\n".join(lines) + "\n")
    with pytest.raises(polydec.InputError) as caught:
        polydec.load_texture(str(path))
    assert caught.value.line == 8
    assert os.path.basename(caught.value.file) == "broken.odf"


@pytest.mark.parametrize("call,field,words", [
    (lambda: polydec.material("unobtainium"), "name", "unobtainium"),
    (lambda: polydec.dec(polydec.material("iron"), "2 1 1", model="taylor"), "model", "taylor"),
    (lambda: polydec.dec(polydec.material("iron"), "2 1"), "hkl", ""),
    (lambda: polydec.dec("alpha-titanium", (1, 0, 1, 1)), "hkl", ""),
    (lambda: polydec.dec("titanium", (1, 0, 1, 1)), "name", "titanium"),
    (lambda: polydec.Phase("x", "cubic", "C11=100 C12=200 C44=50"), "", "positive"),
    (lambda: polydec.Phase("x", "hexagonal", "C11=100 C12=20 C44=50"), "cij", ""),
    (lambda: polydec.Phase("x", "cubic", [1.0] * 20), "cij", "21"),
    (lambda: polydec.material("iron").replace(crystal_class="cubical"), "crystal_class", ""),
    (lambda: polydec.load_texture(None, format="bunge"), "format", "bunge"),
    (lambda: polydec.macro_stiffness(polydec.material("iron"), sample_symmetry="conical"),
     "sample_symmetry", ""),
    (lambda: polydec.dec(polydec.material("iron"), "2 1 1", grain_shape=(1, 1, 3)), "",
     "direction"),
])
def test_refused_arguments(call, field, words):
    with pytest.raises(polydec.InputError) as caught:
        call()
    assert caught.value.field == field
    assert words in caught.value.message


def test_a_step_out_of_order_is_refused(example):
    sheet = polydec.load_worksheet(example("ferrite_211_stress.tsd"))
    with pytest.raises(polydec.InputError, match="Calc DEC"):
        sheet.calc_stress()


def test_an_unsolvable_fit_names_its_free_parameters(tmp_path, iron):
    """With phi = 0 alone, sig_yy and d0 act alike on every row."""
    path = tmp_path / "phi0.csv"
    path.write_text(TABLE.replace("1.16x726", "1.169726"))
    sheet = polydec.load_worksheet(str(path))
    sheet.calc_dec(iron)
    with pytest.raises(polydec.InputError, match="sig_yy"):
        sheet.calc_stress(free="sig_xx sig_yy d0")


def test_directions_of_different_lengths_are_refused(iron):
    with pytest.raises(ValueError, match="different lengths"):
        polydec.stress_factors(iron, "2 1 1", [0, 90, 45], [0, 10])
