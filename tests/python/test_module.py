"""The module as a user meets it: importable by each Python 3.11 at hand without numpy, numpy
imported only by calls that return arrays, type hints installed next to it."""

import glob
import os
import shutil

import pytest

import polydec

ONE_LINER = ("import polydec, sys; print(polydec.dec('iron', (2,1,1), model='kroener')); "
             "print('numpy' in sys.modules)")


def interpreters():
    """/usr/bin/python3 and the other Python 3.11 interpreters here (a pyenv one without numpy),
    the ones the module's ABI fits."""
    found = {"/usr/bin/python3"}
    for candidate in [shutil.which("python3"), *glob.glob(os.path.expanduser(
            "~/.pyenv/versions/3.11*/bin/python3"))]:
        if candidate and os.path.exists(candidate):
            found.add(os.path.realpath(candidate))
    return sorted(found)


@pytest.mark.parametrize("interpreter", interpreters())
def test_the_one_line_dec_without_numpy(run_python, interpreter):
    out = run_python(ONE_LINER, interpreter=interpreter)
    if "No module named 'polydec._polydec'" in out.stderr:
        pytest.skip(f"{interpreter} is not the Python 3.11 the module was built for")
    assert out.returncode == 0, out.stderr
    first, second = out.stdout.splitlines()
    assert first == ("Dec(hkl=(2, 1, 1), d=1.1700396004694313, s1=-1.2628871276131262, "
                     "half_s2=5.715443664027358)")
    assert second == "False"


def test_type_hints_are_installed_next_to_the_module():
    folder = os.path.dirname(polydec.__file__)
    assert os.path.exists(os.path.join(folder, "py.typed"))
    stub = open(os.path.join(folder, "__init__.pyi")).read()
    for name in polydec.__all__:
        assert f"def {name}(" in stub or f"class {name}" in stub, name


@pytest.mark.parametrize("function,unit", [
    (polydec.dec, "1e-6/MPa"), (polydec.stress_factors, "1e-6/MPa"),
    (polydec.macro_stiffness, "GPa"), (polydec.pole_figure, "m.r.d."),
    (polydec.load_worksheet, "Angstrom"),
])
def test_docstrings_name_the_units(function, unit):
    assert unit in function.__doc__
