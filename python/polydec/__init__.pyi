"""Type hints of the polydec module.

Units: stiffnesses in GPa; s1, 1/2 s2 and stress factors in 1e-6/MPa (= 1/TPa); stresses in
MPa; lattice spacings in Angstrom; angles in degrees; pole densities in m.r.d.
"""

from typing import Any, Callable, Mapping, Optional, Sequence, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

__version__: str

# A reflection: "2 1 1", "(1 0 -1 1)", (2, 1, 1) or, for hexagonal and trigonal phases,
# (1, 0, -1, 1) with i = -(h + k) checked.
Reflection = Union[str, Sequence[float]]
# Called now and then (at the first step, every 0.1 s and at the end) with the items done and
# the number of items (0 when not known beforehand); returning False stops the call, which then
# raises Cancelled. It runs on the calling thread, with the GIL.
Progress = Callable[[int, int], Optional[bool]]
FloatArray = npt.NDArray[np.float64]
Cell = Tuple[float, float, float, float, float, float]

class InputError(ValueError):
    """What the input got wrong. str(e) is the whole description."""

    file: str  # empty when the input is no file
    line: int  # 1-based line or worksheet row; 0 when the whole input is meant
    column: int  # 1-based column or word; 0 when not known
    field: str  # the column, field or argument, when it has one
    message: str  # what is wrong, for a person to read

class Cancelled(Exception):
    """A call stopped by its progress callback or its Cancel token."""

class Cancel:
    """A token that stops a running call from any thread."""

    def __init__(self) -> None: ...
    def cancel(self) -> None:
        """Stops the calls holding this token at their next step (they raise Cancelled)."""
    def reset(self) -> None:
        """Makes the token usable again."""
    @property
    def cancelled(self) -> bool: ...

class Phase:
    """A crystalline phase.

    Phase(name, crystal_class, cij, cell=(1, 1, 1, 90, 90, 90), matrix="self-consistent"):
    crystal_class one of isotropic, cubic, hexagonal, tetragonal1, tetragonal2, trigonal1,
    trigonal2, orthorhombic, monoclinic1, monoclinic2, triclinic; cij in GPa as
    "C11=237 C12=141 C44=116", as {"C11": 237, ...} (the free constants of the class), or as the
    21 components 1111, 1112, ..., 3333; cell a, b, c in Angstrom and alpha, beta, gamma in
    degrees; matrix (E in GPa, nu) of the self-consistent models, or "self-consistent" for the
    crystal's own Kroener aggregate.
    """

    @overload
    def __init__(self, name: str) -> None:
        """The material of this name in the default database (see database_location())."""
    @overload
    def __init__(
        self,
        name: str,
        crystal_class: str,
        cij: Union[str, Mapping[str, float], Sequence[float]],
        cell: Cell = ...,
        matrix: Union[str, Tuple[float, float]] = "self-consistent",
    ) -> None: ...
    @property
    def name(self) -> str: ...
    @property
    def crystal_class(self) -> str: ...
    @property
    def cij(self) -> list[float]:
        """The 21 stiffness components (GPa), 1111, 1112, ..., 3333."""
    @property
    def stiffness(self) -> FloatArray:
        """The 6x6 single-crystal stiffness in Voigt notation (GPa)."""
    @property
    def cell(self) -> Cell:
        """a, b, c (Angstrom), alpha, beta, gamma (degrees)."""
    @property
    def E(self) -> float:
        """Young's modulus of the isotropic matrix, GPa."""
    @property
    def nu(self) -> float:
        """Poisson's ratio of the isotropic matrix."""
    @property
    def K(self) -> float:
        """Bulk modulus of the matrix, GPa."""
    @property
    def G(self) -> float:
        """Shear modulus of the matrix, GPa."""
    def replace(
        self,
        crystal_class: Optional[str] = None,
        cij: Union[None, str, Mapping[str, float], Sequence[float]] = None,
        cell: Optional[Cell] = None,
        matrix: Union[None, str, Tuple[float, float]] = None,
    ) -> "Phase":
        """The phase with these parts changed (a new class needs its own cij)."""
    def d_spacing(self, hkl: Reflection) -> float:
        """Lattice spacing of hkl, Angstrom."""

# Wherever a phase is asked for, the name of a material of the database will do.
PhaseLike = Union[Phase, str]

def material(name: str, database: Optional[str] = None) -> Phase:
    """A material of the database by name (exact spelling first, else in any case).

    The database is the program's pfcryst.dat (see database_location()) unless another file
    is given.
    """

def materials(database: Optional[str] = None) -> list[Phase]:
    """Every material of the database, in file order."""

def database_location() -> Tuple[str, str]:
    """The database read when no database= is given, and which copy it is: "beside the
    program" (a build tree), "installed", or "the user's copy"."""

class Dec:
    """DEC of one reflection."""

    @property
    def hkl(self) -> Tuple[float, float, float]: ...
    @property
    def d(self) -> float:
        """Lattice spacing, Angstrom."""
    @property
    def s1(self) -> float:
        """s1, 1e-6/MPa (= 1/TPa)."""
    @property
    def half_s2(self) -> float:
        """1/2 s2, 1e-6/MPa (= 1/TPa)."""

class DecTable:
    """DECs of many reflections; each property is a numpy array in the order given."""

    def __len__(self) -> int: ...
    def __getitem__(self, i: int) -> Dec: ...
    @property
    def hkl(self) -> FloatArray:
        """(n, 3)."""
    @property
    def d(self) -> FloatArray:
        """(n,), Angstrom."""
    @property
    def s1(self) -> FloatArray:
        """(n,), 1e-6/MPa."""
    @property
    def half_s2(self) -> FloatArray:
        """(n,), 1e-6/MPa."""

@overload
def dec(
    phase: PhaseLike,
    hkl: str,
    model: str = "kroener",
    grain_shape: Tuple[float, float, float] = (1, 1, 1),
    direction: Optional[Tuple[float, float]] = None,
    axis_setting: int = 1,
    intervals: int = 25,
    progress: Optional[Progress] = None,
    cancel: Optional[Cancel] = None,
) -> Dec: ...
@overload
def dec(
    phase: PhaseLike,
    hkl: Sequence[Any],
    model: str = "kroener",
    grain_shape: Tuple[float, float, float] = (1, 1, 1),
    direction: Optional[Tuple[float, float]] = None,
    axis_setting: int = 1,
    intervals: int = 25,
    progress: Optional[Progress] = None,
    cancel: Optional[Cancel] = None,
) -> Union[Dec, DecTable]:
    """s1 and 1/2 s2 (1e-6/MPa) of an untextured sample.

    One reflection gives a Dec, a list of reflections (or an (n, 3) array) a DecTable.
    model: voigt, mvoigt, reuss, hill, kroener, inverse-kroener. grain_shape: semi-axes a, b, c
    of the grain ellipsoid along the sample x, y, z (ratios count). direction: (phi, psi) in
    degrees, needed by the Kroener models for a grain that is not a sphere. axis_setting: the
    Cartesian frame of the crystal (0, 1, 2). intervals: Simpson half-intervals of the fibre
    average (mvoigt).
    """

def stress_factors(
    phase: PhaseLike,
    hkl: Reflection,
    phi: Union[float, npt.ArrayLike],
    psi: Union[float, npt.ArrayLike],
    model: str = "kroener",
    texture: Optional["Texture"] = None,
    grain_shape: Tuple[float, float, float] = (1, 1, 1),
    intervals: int = 25,
    progress: Optional[Progress] = None,
    cancel: Optional[Cancel] = None,
) -> Tuple[FloatArray, FloatArray]:
    """Stress factors of hkl along the directions (phi, psi), degrees.

    phi and psi are numbers or 1-D arrays of one length (a number goes with every entry of the
    other). Returns F, shape (n, 6): F11, F22, F33, F23, F13, F12 in 1e-6/MPa (the shear
    factors twice the tensor component), and the pole density I(ODF) of each direction's fibre,
    shape (n,) (1 without a texture). Runs without the GIL.
    """

class Texture:
    """An ODF (5-degree Bunge grid) or a weighted grain set."""

    @property
    def path(self) -> str: ...
    @property
    def format(self) -> str: ...
    @property
    def crystal_class(self) -> str: ...
    @property
    def sample_symmetry(self) -> str: ...
    @property
    def grains(self) -> bool: ...
    @property
    def values_read(self) -> int: ...
    @property
    def region(self) -> Tuple[float, float, float]:
        """Extent of the region read (phi1, Phi, phi2), degrees."""
    @property
    def nodes(self) -> int: ...
    @property
    def zero_nodes(self) -> int: ...
    @property
    def repeated_nodes(self) -> int: ...
    @property
    def copied_nodes(self) -> int: ...
    def stats(self, intervals: int = 36) -> dict[str, float]:
        """minimum, maximum of the ODF and its integral over Euler space (8 pi^2 if uniform)."""

def load_texture(
    path: Optional[str],
    format: str = "auto",
    phase: Optional[PhaseLike] = None,
    crystal_class: Optional[str] = None,
    cell: Optional[Cell] = None,
    axis_setting: int = 1,
    completion: str = "operators",
) -> Texture:
    """Reads an ODF or grain file; path None gives a uniform texture.

    format: auto, popla, mtex, grains. The crystal class and cell come from phase (or are
    given; cubic and a unit cube by default). completion: operators or rules.
    """

def pole_figure(texture: Texture, hkl: Reflection) -> Tuple[FloatArray, FloatArray, FloatArray]:
    """(psi, phi, mrd): tilts 0, 5, ..., 90 degrees (19), azimuths 0, 5, ..., 355 degrees (72)
    and the pole density mrd[tilt, azimuth] in m.r.d., shape (19, 72)."""

def macro_stiffness(
    phase: PhaseLike,
    texture: Optional[Texture] = None,
    model: str = "voigt",
    sample_symmetry: Optional[str] = None,
    intervals: int = 0,
    progress: Optional[Progress] = None,
    cancel: Optional[Cancel] = None,
) -> FloatArray:
    """The 6x6 macroscopic stiffness (GPa, Voigt notation) averaged over the texture (uniform
    without one). model: voigt, reuss, hill, kroener, inverse-kroener. progress and cancel are
    honoured between the self-consistent rounds, and a stop also before each integration inside
    one."""

class StressSet:
    """The fit of one data set; components xx, yy, zz, yz, xz, xy."""

    @property
    def label(self) -> str: ...
    @property
    def sig(self) -> FloatArray:
        """(6,), MPa."""
    @property
    def sig_err(self) -> FloatArray:
        """(6,), MPa."""
    @property
    def sig_err_stat(self) -> FloatArray: ...
    @property
    def sig_err_scaled(self) -> FloatArray: ...
    @property
    def d0_systematic(self) -> FloatArray: ...
    @property
    def d0_fitted(self) -> bool: ...
    @property
    def d0(self) -> Optional[float]:
        """Angstrom, when fitted."""
    @property
    def d0_err(self) -> Optional[float]: ...
    @property
    def chisq(self) -> float: ...
    @property
    def dof(self) -> int: ...
    @property
    def chisq_reduced(self) -> float: ...
    @property
    def rows(self) -> list[int]:
        """Member rows (worksheet rows from 1)."""
    @property
    def d_calc(self) -> FloatArray:
        """Recalculated spacing of each member row, Angstrom."""
    @property
    def unweighted(self) -> bool: ...
    @property
    def d0_part_left_out(self) -> bool: ...

class Worksheet:
    """A worksheet (*.tsd) or measurement table and what its steps computed."""

    def __init__(self) -> None: ...
    def __len__(self) -> int:
        """The measurement rows."""
    def calc_dec(
        self,
        phase: PhaseLike,
        model: str = "kroener",
        texture: Optional[Texture] = None,
        grain_shape: Tuple[float, float, float] = (1, 1, 1),
        intervals: int = 25,
        voigt_intervals: int = 0,
        orientation_distance: float = 5.0,
        progress: Optional[Progress] = None,
        cancel: Optional[Cancel] = None,
    ) -> None:
        """"Calc DEC": the stress factors (1e-6/MPa) of every row."""
    def calc_stress(self, free: Optional[str] = None) -> None:
        """"Calc Stress": fits every data set; free e.g. "sig_xx sig_yy d0" (default: the
        worksheet's flags). The results are in sets."""
    def calc_strain(self, stresses: Optional[Sequence[float]] = None) -> None:
        """"Calc Strain": spacings from the stresses xx, yy, zz, yz, xz, xy (MPa)."""
    def set_notation(self, notation: str, textured: bool = False) -> None:
        """"fij" or "s1"."""
    def save(self, path: str) -> None: ...
    def csv_text(self) -> str: ...
    def per_azimuth(self) -> list[dict[str, Any]]:
        """The sin^2 psi evaluation of every azimuth of every data set."""
    def rows(self) -> dict[str, Any]:
        """The measurement rows as arrays: row, hkl (list of str), phi, psi (degrees), d, d_err,
        d0, d0_err (Angstrom), F (n, 6) and s1, half_s2 (1e-6/MPa), intensity (m.r.d.),
        d_calc (Angstrom) and residual ((d - d_calc) / d_err); NaN where there is none."""
    @property
    def sets(self) -> list[StressSet]: ...
    @property
    def cells(self) -> list[list[str]]:
        """Every cell as text, row 0 the header."""
    @property
    def notation(self) -> str: ...
    @property
    def warnings(self) -> list[str]: ...
    @property
    def dropped_lines(self) -> list[int]: ...
    @property
    def table_lines(self) -> list[int]: ...

def load_worksheet(
    path: str,
    wavelength: Optional[float] = None,
    set_column: str = "",
    skip_incomplete_rows: bool = False,
) -> Worksheet:
    """Reads a worksheet (*.tsd) or a measurement table (CSV, semicolon or TAB separated).

    wavelength (Angstrom) turns a table's 2theta column into d; set_column names the column of
    data-set labels; skip_incomplete_rows leaves out rows without d (listed in dropped_lines).
    """

def evaluate_stress(
    table: Any,
    phase: PhaseLike,
    model: str = "kroener",
    free: str = "sig_xx sig_yy d0",
    texture: Optional[Texture] = None,
    grain_shape: Tuple[float, float, float] = (1, 1, 1),
    intervals: int = 25,
    threads: int = 0,
    progress: Optional[Progress] = None,
    cancel: Optional[Cancel] = None,
) -> dict[str, dict[str, Any]]:
    """The stresses of every data set of a table of columns (a dict of arrays or a pandas
    DataFrame) named as a measurement table names them: label (set, label, point, ...), hkl
    (or h, k, l), phi and psi (degrees), d, optionally d_err, d0, d0_err (Angstrom); other
    numeric columns are carried. Returns {"sets": {label, first_row, rows, sig_xx .. sig_xy,
    sig_.._err (MPa), d0, d0_err (Angstrom), chisq, dof, chisq_reduced, carried columns,
    refusal}, "rows": {d_calc (Angstrom), residual}}, 1-D arrays."""

Triple = Tuple[float, float, float]

def fit_single_crystal(
    path: str,
    model: str = "kroener",
    cycles: int = 20,
    intervals: int = 25,
    report: Optional[str] = None,
    progress: Optional[Progress] = None,
    cancel: Optional[Cancel] = None,
) -> dict[str, Any]:
    """Single-crystal (and matrix) constants fitted to the measured stress factors of a fit
    input file (*.dec). Returns constants, errors, matrix, matrix_errors (GPa, by Voigt name),
    chisq, reduced_chisq, data_points, fitted, steps, cycles, converged, calc (1e-6/MPa) and
    report (the report's text, appended to the file `report` when given)."""

def stiffness_in_frame(
    phase: PhaseLike,
    x: Triple = (1, 0, 0),
    z: Triple = (0, 0, 1),
    turn: float = 0,
    transverse: bool = False,
) -> FloatArray:
    """The single-crystal stiffness (GPa, 6x6 Voigt) with crystal direction <x> along sample x,
    [z] along sample z, turned by `turn` degrees about crystal z; transverse: averaged about z."""

def taylor_factor(euler: Triple, ratio: Optional[float] = None) -> dict[str, float]:
    """Rate-sensitive Taylor factor of a BCC crystal (Bunge angles in degrees) under tension
    along x: {"factor", "ratio"}; the contraction ratio searched unless held."""

def schmid_factors(phase: PhaseLike, euler: Triple) -> dict[str, dict[str, Any]]:
    """Largest Schmid factors of a BCC crystal under tension along x, Kroener and inverse
    Kroener grain stress: {"kroener": {"schmid", "system"}, "inverse_kroener": {...}}."""

def grain_elongation(euler: Triple) -> dict[str, Any]:
    """Single slip of a BCC crystal under tension along x until E11 = 0.05: final_euler
    (degrees), stretch, steps, step_limit_reached."""

def twin_fractions(
    texture: Texture,
    hkl: Triple,
    habit_plane: Triple,
    shear_direction: Triple,
    window: Tuple[float, float, float, float],
) -> dict[str, float]:
    """twin_angle (degrees), fraction of the crystals with hkl in the window (phi_from, phi_to,
    psi_from, psi_to, degrees) and the fraction their twins hold."""

def reflections(
    phase: PhaseLike,
    max_index: int = 4,
    wavelength: float = 1.5406,
    grain_shape: Tuple[float, float, float] = (1, 1, 1),
    direction: Optional[Tuple[float, float]] = None,
    axis_setting: int = 1,
) -> Any:
    """Every reflection family up to max_index as a pandas DataFrame in decreasing d: hkl,
    h, k, l, multiplicity, d, two_theta, gamma3, angle_to_c and per model (voigt, reuss, hill,
    kroener, inverse_kroener) _s1, _half_s2 (1e-6/MPa), _E (GPa), _nu."""

def evaluate_map(table: Any, phase: PhaseLike, **options: Any) -> Any:
    """evaluate_stress's per-set results as a pandas DataFrame, one row per data set."""
