"""polydec: diffraction elastic constants, stress factors, textures and stress evaluation.

The numbers are those of the polydec command line and window: the same engine, called through
its public C++ API.

Units: single-crystal and macroscopic stiffnesses in GPa; s1, 1/2 s2 and the stress factors
F11..F12 in 1e-6/MPa (= 1/TPa), the shear factors F23, F13, F12 twice the tensor component as
the worksheet holds them; stresses in MPa; lattice spacings in Angstrom; angles (phi, psi, cell
angles) in degrees; pole densities in multiples of a random distribution (m.r.d.).

numpy is imported only by the calls that return arrays.
"""

import os as _os

from ._polydec import (
    Cancel,
    Cancelled,
    Dec,
    DecTable,
    InputError,
    Phase,
    StressSet,
    Texture,
    Worksheet,
    __version__,
    dec,
    evaluate_stress,
    fit_single_crystal,
    grain_elongation,
    load_texture,
    load_worksheet,
    macro_stiffness,
    material,
    materials,
    pole_figure,
    schmid_factors,
    stiffness_in_frame,
    stress_factors,
    taylor_factor,
    twin_fractions,
)
from ._polydec import _reflection_columns, _set_data_folder, database_location


def _locate_data():
    """The default database of material() and materials(): the copy beside the module in a
    build tree; installed, the shipped data of the prefix (<prefix>/share/polydec, found above
    <prefix>/lib/python3/dist-packages/polydec) and the user's copy when there is one."""
    here = _os.path.dirname(_os.path.abspath(__file__))
    if _os.path.isfile(_os.path.join(here, "pfcryst.dat")):
        return here, False
    folder = here
    for _ in range(5):
        folder = _os.path.dirname(folder)
        shared = _os.path.join(folder, "share", "polydec")
        if _os.path.isfile(_os.path.join(shared, "pfcryst.dat")):
            return shared, True
    return here, False


_set_data_folder(*_locate_data())



def reflections(phase, max_index=4, wavelength=1.5406, grain_shape=(1, 1, 1), direction=None,
                axis_setting=1):
    """Every reflection family of the phase up to max_index (h k i l for hexagonal and trigonal
    phases), merged by the Laue group of its crystal class, as a pandas DataFrame in decreasing d:
    hkl (text), h, k, l, multiplicity, d (Angstrom), two_theta (degrees for the wavelength in
    Angstrom; NaN beyond 2d), gamma3 (3 Gamma of the plane normal), angle_to_c (degrees), and per
    model (voigt, reuss, hill, kroener, inverse_kroener) _s1, _half_s2 (1e-6/MPa), _E (GPa) and
    _nu of the reflection. The columns of `polydec dec --all --csv`. direction: (phi, psi) in
    degrees, needed by the Kroener models for a grain that is not a sphere."""
    import pandas as pd

    return pd.DataFrame(
        _reflection_columns(phase, max_index, wavelength, grain_shape, direction, axis_setting)
    )


def evaluate_map(table, phase, **options):
    """The stresses of every data set of a map as a pandas DataFrame, one row per data set in
    table order: label, first_row (the DataFrame's index of the set's first row; for a dict of
    columns its position from 1), rows, sig_xx .. sig_xy with their _err (MPa), d0, d0_err
    (Angstrom), chisq, dof, chisq_reduced, the carried columns (x, y, ...) and refusal (None,
    or why the set was not evaluated). table: a DataFrame or dict of columns as evaluate_stress
    takes it; the options are those of evaluate_stress. A piece of a map holding whole data
    sets gives the rows the whole map gives for them, which is what splitting a map over the
    workers of a cluster needs."""
    import pandas as pd

    sets = pd.DataFrame(evaluate_stress(table, phase, **options)["sets"])
    if isinstance(table, pd.DataFrame):
        # A piece of a larger table keeps the index of its rows: first_row names the set's
        # first row by that index, as in the whole table.
        sets["first_row"] = table.index[sets["first_row"].to_numpy() - 1]
    return sets


__all__ = [
    "Cancel",
    "Cancelled",
    "Dec",
    "DecTable",
    "InputError",
    "Phase",
    "StressSet",
    "Texture",
    "Worksheet",
    "database_location",
    "dec",
    "evaluate_map",
    "evaluate_stress",
    "load_texture",
    "load_worksheet",
    "macro_stiffness",
    "material",
    "materials",
    "pole_figure",
    "reflections",
    "stress_factors",
]
