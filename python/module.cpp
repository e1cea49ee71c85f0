// The Python module over the public engine API: converts Python arguments into the API's
// records, runs the calls without the GIL, and turns results into floats, records and numpy
// arrays. Every number comes from include/polydec; nothing here computes a physical quantity.
#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "polydec/data_files.h"
#include "polydec/dec.h"
#include "polydec/error.h"
#include "polydec/fit.h"
#include "polydec/macro.h"
#include "polydec/map.h"
#include "polydec/phase.h"
#include "polydec/reflections.h"
#include "polydec/special.h"
#include "polydec/stress.h"
#include "polydec/stress_factors.h"
#include "polydec/texture.h"
#include "polydec/types.h"
#include "polydec/worksheet.h"
#include "polydec_version.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace polydec::python {

namespace {

// ---------------------------------------------------------------------------------------------
// Errors

// The exception types live as long as the interpreter; held without a destructor that would run
// after it is gone.
py::handle& InputErrorType() {
  static py::handle type;
  return type;
}
py::handle& CancelledType() {
  static py::handle type;
  return type;
}

// Sets polydec.InputError from the engine's record (the GIL is held).
void SetInputError(const InputError& e) {
  py::object exc = py::reinterpret_borrow<py::object>(InputErrorType())(e.Describe());
  exc.attr("file") = e.file;
  exc.attr("line") = e.line;
  exc.attr("column") = e.column;
  exc.attr("field") = e.field;
  exc.attr("message") = e.message;
  PyErr_SetObject(InputErrorType().ptr(), exc.ptr());
}

[[noreturn]] void RaiseInputError(const InputError& e) {
  SetInputError(e);
  throw py::error_already_set();
}

[[noreturn]] void RaiseInputError(const std::string& message, const std::string& field = {}) {
  InputError e = Refusal(message);
  e.field = field;
  RaiseInputError(e);
}

template <typename T>
T Take(Result<T>&& r, const std::string& field = {}) {
  if (!r) {
    InputError e = r.error();
    if (e.field.empty()) e.field = field;
    RaiseInputError(e);
  }
  return std::move(r).value();
}

// ---------------------------------------------------------------------------------------------
// Progress, Ctrl-C and cancellation of the long calls

// Set from any thread; the running call stops at its next progress report.
class Cancel {
 public:
  void Set() { flag_.store(true, std::memory_order_relaxed); }
  void Reset() { flag_.store(false, std::memory_order_relaxed); }
  bool IsSet() const { return flag_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> flag_{false};
};

// The progress hook handed to the engine. It runs without the GIL; it takes the GIL only now
// and then (at the first report, every 0.1 s and at the end) to let Python's signal handlers
// run and to call the user's callback, so that a call over many items costs no more per item.
class Watch {
 public:
  Watch(py::object callback, Cancel* cancel, std::size_t total)
      : callback_(std::move(callback)), cancel_(cancel), total_(total) {}
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

  bool operator()(std::size_t done, std::size_t total) {
    total_ = total;
    return (*this)(done);
  }
  bool operator()(std::size_t done) {
    if (cancel_ != nullptr && cancel_->IsSet()) return Stop();
    const auto now = std::chrono::steady_clock::now();
    if (reported_ && done < total_ && now - last_ < std::chrono::milliseconds(100)) return true;
    reported_ = true;
    last_ = now;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) {
      error_.emplace();
      return Stop();
    }
    if (callback_.is_none()) return true;
    try {
      const py::object answer = callback_(done, total_);
      if (!answer.is_none() && PyObject_IsTrue(answer.ptr()) == 0) return Stop();
    } catch (py::error_already_set& e) {
      error_.emplace(std::move(e));
      return Stop();
    }
    return true;
  }

  // After the call, with the GIL: raises what stopped it. A stop that came after the last item
  // refused nothing, and the result stands.
  void Raise(const InputError& refusal) {
    if (error_) {
      py::error_already_set e = std::move(*error_);
      error_.reset();
      throw e;
    }
    if (stopped_) {
      PyErr_SetString(CancelledType().ptr(), refusal.Describe().c_str());
      throw py::error_already_set();
    }
    RaiseInputError(refusal);
  }
  void RaiseIfInterrupted() {
    if (error_) Raise({});
  }
  template <typename T>
  T Take(Result<T>&& r) {
    if (!r) Raise(r.error());
    RaiseIfInterrupted();
    return std::move(r).value();
  }

 private:
  bool Stop() {
    stopped_ = true;
    return false;
  }
  py::object callback_;
  Cancel* cancel_;
  std::size_t total_;
  bool reported_ = false;
  bool stopped_ = false;
  std::chrono::steady_clock::time_point last_{};
  std::optional<py::error_already_set> error_;
};

// ---------------------------------------------------------------------------------------------
// Arguments

// The module's data files (set by the package on import): beside the module in a build tree,
// the installed ones of its prefix with the user's database copy otherwise.
DataFiles& ModuleData() {
  static DataFiles files;
  return files;
}
std::string DatabaseOr(const std::optional<std::string>& database) {
  return database ? *database : ActiveDatabase(ModuleData());
}

// The shortest decimal that reads back as x: the number as the user wrote it ("18.43", not
// "18.429999999999999716").
std::string NumberText(double x) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x);
  return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

// A Python float as the engine's extended real. The command line and the window read the
// decimal text a user typed in extended precision; a float holds the nearest double to that
// text instead, so it is read back through its shortest decimal, which is the text typed (for
// 231.4 the extended 231.4, not the extended value of the double 231.4). Without this the
// numbers of the module and of the command line for the same input differ in the last digits.
Real RealOf(double x) {
  // Whole numbers below 2^53 are their own shortest decimal.
  if (!std::isfinite(x) || (std::fabs(x) < 9007199254740992.0 && x == std::trunc(x))) return x;
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x);
  if (ec != std::errc()) return x;
  // The decimal digits as an integer m and a power of ten: with both exact in the extended
  // real (m < 1e19, |power| <= 27 since 5^27 < 2^64) one correctly rounded multiplication or
  // division gives what reading the text gives, at a tenth of its cost.
  std::uint64_t m = 0;
  int digits = 0, power = 0;
  bool fraction = false;
  const char* p = buffer;
  const bool negative = *p == '-';
  if (negative) ++p;
  for (; p != end && *p != 'e'; ++p) {
    if (*p == '.') {
      fraction = true;
      continue;
    }
    m = 10 * m + static_cast<std::uint64_t>(*p - '0');
    ++digits;
    if (fraction) --power;
  }
  if (p != end) {
    int e = 0;
    std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, e);
    power += e;
  }
  if (digits > 19 || power < -27 || power > 27) {
    Real value = x;
    std::from_chars(buffer, end, value);
    return value;
  }
  Real scale = 1;
  for (int k = 0; k < (power < 0 ? -power : power); ++k) scale *= 10;
  const Real magnitude = power < 0 ? static_cast<Real>(m) / scale : static_cast<Real>(m) * scale;
  return negative ? -magnitude : magnitude;
}

ModelCode ModelOf(const std::string& name) { return Take(ParseModel(name), "model"); }

GrainShape GrainShapeOf(const std::array<double, 3>& axes) {
  return {RealOf(axes[0]), RealOf(axes[1]), RealOf(axes[2])};
}

bool IsNumber(const py::handle& h) {
  // numpy arrays offer the number protocol too; a number is no sequence.
  return PyNumber_Check(h.ptr()) == 1 && PySequence_Check(h.ptr()) == 0;
}

// A reflection as a string "2 1 1" / "(1 0 -1 1)", or as three (or, for hexagonal and trigonal
// phases, four) numbers; read as the command line reads --hkl.
Miller MillerOf(const py::handle& h, CrystalClass c) {
  std::string text;
  if (py::isinstance<py::str>(h)) {
    text = h.cast<std::string>();
  } else {
    for (const py::handle item : h) {
      if (!text.empty()) text += ' ';
      text += NumberText(item.cast<double>());
    }
  }
  return Take(ReadMiller(text, c), "hkl");
}

// One reflection (a string or a sequence of numbers) or many (a sequence of those).
bool IsOneReflection(const py::handle& h) {
  if (py::isinstance<py::str>(h)) return true;
  const py::sequence s = py::reinterpret_borrow<py::sequence>(h);
  return py::len(s) > 0 && IsNumber(s[0]);
}

template <std::size_t N>
std::array<Real, N> RealArray(const std::array<double, N>& v) {
  std::array<Real, N> out{};
  for (std::size_t k = 0; k < N; ++k) out[k] = RealOf(v[k]);
  return out;
}

// The 21 constants as a "C11=... C12=..." text (ParseCij checks them against the class), a
// dict of such names, or the 21 components in the order of material files.
Cij21 CijOf(const py::handle& h, CrystalClass c) {
  if (py::isinstance<py::str>(h)) return Take(ParseCij(h.cast<std::string>(), c), "cij");
  if (py::isinstance<py::dict>(h)) {
    std::string text;
    for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(h))
      text += py::str(key).cast<std::string>() + "=" + NumberText(value.cast<double>()) + " ";
    return Take(ParseCij(text, c), "cij");
  }
  const auto v = h.cast<std::vector<double>>();
  if (v.size() != 21)
    RaiseInputError(
        "21 components (1111, 1112, ..., 3333) expected, " + std::to_string(v.size()) + " given",
        "cij");
  Cij21 cij{};
  for (std::size_t k = 0; k < 21; ++k) cij[k] = RealOf(v[k]);
  return cij;
}

Cell CellOf(const std::array<double, 6>& v) {
  return {RealOf(v[0]), RealOf(v[1]), RealOf(v[2]), RealOf(v[3]), RealOf(v[4]), RealOf(v[5])};
}

// ---------------------------------------------------------------------------------------------
// Results

py::tuple Tuple(const Miller& m) {
  return py::make_tuple(static_cast<double>(m[0]), static_cast<double>(m[1]),
                        static_cast<double>(m[2]));
}

template <std::size_t N>
py::array_t<double> Array(const std::array<Real, N>& v) {
  py::array_t<double> a(static_cast<py::ssize_t>(N));
  auto out = a.mutable_unchecked<1>();
  for (std::size_t k = 0; k < N; ++k) out(static_cast<py::ssize_t>(k)) = static_cast<double>(v[k]);
  return a;
}

py::array_t<double> Array(const std::vector<Real>& v) {
  py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
  auto out = a.mutable_unchecked<1>();
  for (std::size_t k = 0; k < v.size(); ++k)
    out(static_cast<py::ssize_t>(k)) = static_cast<double>(v[k]);
  return a;
}

py::array_t<double> Array(const Matrix6& m) {
  py::array_t<double> a({6, 6});
  auto out = a.mutable_unchecked<2>();
  for (py::ssize_t i = 0; i < 6; ++i)
    for (py::ssize_t j = 0; j < 6; ++j)
      out(i, j) = static_cast<double>(m[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]);
  return a;
}

py::object Optional(const std::optional<Real>& x) {
  return x ? py::object(py::float_(static_cast<double>(*x))) : py::object(py::none());
}

// DECs of many reflections, handed to Python as arrays when asked for.
struct DecTable {
  std::vector<Dec> rows;
};

// A worksheet cell as a number: its first word, with a decimal comma read as a point; NaN when
// it holds none.
double CellNumber(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::numeric_limits<double>::quiet_NaN();
  std::string word = text.substr(begin, text.find_first_of(" \t", begin) - begin);
  for (char& ch : word)
    if (ch == ',') ch = '.';
  double value = 0;
  const char* first = word.data() + (word[0] == '+' ? 1 : 0);
  const auto [end, ec] = std::from_chars(first, word.data() + word.size(), value);
  if (ec != std::errc() || end != word.data() + word.size())
    return std::numeric_limits<double>::quiet_NaN();
  return value;
}

// The measurement rows of a worksheet: row 1 on, as long as phi and psi hold numbers.
int MeasurementRows(const Worksheet& w) {
  const CellTable& g = w.sheet;
  const int cPhi = g.ColumnOf("phi"), cPsi = g.ColumnOf("psi");
  int n = 0;
  while (n + 1 < g.rows && !std::isnan(CellNumber(g.Cell(cPhi, n + 1))) &&
         !std::isnan(CellNumber(g.Cell(cPsi, n + 1))))
    ++n;
  return n;
}

py::dict RowsOf(const Worksheet& w) {
  const CellTable& g = w.sheet;
  const int n = MeasurementRows(w);
  const auto N = static_cast<py::ssize_t>(n);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  py::array_t<int> row(N);
  py::array_t<double> phi(N), psi(N), d(N), dErr(N), d0(N), d0Err(N), F({N, py::ssize_t{6}}),
      intensity(N), s1(N), halfS2(N), dCalc(N), residual(N);
  py::list hkl;
  const int cPhi = g.ColumnOf("phi"), cPsi = g.ColumnOf("psi");
  for (py::ssize_t i = 0; i < N; ++i) {
    const int r = static_cast<int>(i) + 1;
    row.mutable_at(i) = r;
    hkl.append(g.Cell(2, r));
    phi.mutable_at(i) = CellNumber(g.Cell(cPhi, r));
    psi.mutable_at(i) = CellNumber(g.Cell(cPsi, r));
    d.mutable_at(i) = CellNumber(g.Cell(5, r));
    dErr.mutable_at(i) = CellNumber(g.Cell(6, r));
    d0.mutable_at(i) = CellNumber(g.Cell(7, r));
    d0Err.mutable_at(i) = CellNumber(g.Cell(8, r));
    const auto f = w.factors.find(r);
    for (py::ssize_t k = 0; k < 6; ++k)
      F.mutable_at(i, k) = f == w.factors.end()
                               ? nan
                               : static_cast<double>(f->second.F[static_cast<std::size_t>(k)]);
    intensity.mutable_at(i) = f == w.factors.end() ? nan : static_cast<double>(f->second.intensity);
    s1.mutable_at(i) = f == w.factors.end() ? nan : static_cast<double>(f->second.s1);
    halfS2.mutable_at(i) = f == w.factors.end() ? nan : static_cast<double>(f->second.halfS2);
    const auto c = w.dCalc.find(r);
    dCalc.mutable_at(i) = c == w.dCalc.end() ? nan : static_cast<double>(c->second);
    // The residual in units of the row's uncertainty, as the command line reports it.
    const double sd = dErr.at(i);
    residual.mutable_at(i) = sd != 0 ? (d.at(i) - dCalc.at(i)) / sd : nan;
  }
  return py::dict("row"_a = row, "hkl"_a = hkl, "phi"_a = phi, "psi"_a = psi, "d"_a = d,
                  "d_err"_a = dErr, "d0"_a = d0, "d0_err"_a = d0Err, "F"_a = F,
                  "intensity"_a = intensity, "s1"_a = s1, "half_s2"_a = halfS2, "d_calc"_a = dCalc,
                  "residual"_a = residual);
}

py::dict AzimuthDict(const AzimuthFit& a) {
  return py::dict(
      "phi"_a = static_cast<double>(a.phi), "reflection"_a = a.reflection, "points"_a = a.points,
      "determined"_a = a.determined, "s1"_a = static_cast<double>(a.s1),
      "half_s2"_a = static_cast<double>(a.halfS2), "slope"_a = static_cast<double>(a.slope),
      "slope_err"_a = static_cast<double>(a.slopeErr), "splitting"_a = Optional(a.splitting),
      "splitting_err"_a = Optional(a.splittingErr),
      "sig_phi_minus_sig33"_a = static_cast<double>(a.sigma),
      "sig_phi_minus_sig33_err"_a = static_cast<double>(a.sigmaErr), "tau_phi"_a = Optional(a.tau),
      "tau_phi_err"_a = Optional(a.tauErr), "chisq"_a = static_cast<double>(a.chisq),
      "note"_a = a.note);
}

std::string DescribeDec(const Dec& d) {
  return "Dec(hkl=(" + NumberText(static_cast<double>(d.hkl[0])) + ", " +
         NumberText(static_cast<double>(d.hkl[1])) + ", " +
         NumberText(static_cast<double>(d.hkl[2])) +
         "), d=" + NumberText(static_cast<double>(d.d)) +
         ", s1=" + NumberText(static_cast<double>(d.s1)) +
         ", half_s2=" + NumberText(static_cast<double>(d.halfS2)) + ")";
}

// ---------------------------------------------------------------------------------------------
// The calls

Phase Material(const std::string& name, const std::optional<std::string>& database) {
  return Take(LoadMaterial(name, DatabaseOr(database)), "name");
}

// Wherever a phase is asked for, the name of a material of the database will do; an unknown
// name is refused as such rather than as an argument of the wrong type.
Phase PhaseOf(const py::handle& h) {
  if (py::isinstance<py::str>(h)) return Material(h.cast<std::string>(), std::nullopt);
  if (!py::isinstance<Phase>(h))
    throw py::type_error("phase: a polydec.Phase or the name of a material, not " +
                         py::repr(py::type::handle_of(h)).cast<std::string>());
  return h.cast<Phase>();
}

std::vector<Phase> Materials(const std::optional<std::string>& database) {
  return Take(ReadMaterials(DatabaseOr(database)));
}

Phase MakePhaseFrom(const std::string& name, const std::string& crystalClass, const py::object& cij,
                    const std::array<double, 6>& cell, const py::object& matrix) {
  const CrystalClass c = Take(ParseCrystalClass(crystalClass), "crystal_class");
  const Cij21 constants = CijOf(cij, c);
  if (py::isinstance<py::str>(matrix)) {
    if (matrix.cast<std::string>() != "self-consistent")
      RaiseInputError(
          "matrix: (E, nu) or \"self-consistent\", not \"" + matrix.cast<std::string>() + "\"",
          "matrix");
    // The matrix given here is replaced by the crystal's own self-consistent aggregate.
    Phase p = Take(MakePhase(name, c, constants, CellOf(cell), 200, Real{0.3L}));
    return Take(WithSelfConsistentMatrix(std::move(p)), "matrix");
  }
  const auto m = RealArray(matrix.cast<std::array<double, 2>>());
  return Take(MakePhase(name, c, constants, CellOf(cell), m[0], m[1]));
}

Phase Replace(const Phase& phase, const std::optional<std::string>& crystalClass,
              const py::object& cij, const std::optional<std::array<double, 6>>& cell,
              const py::object& matrix) {
  PhaseOverrides change;
  if (crystalClass) change.crystalClass = Take(ParseCrystalClass(*crystalClass), "crystal_class");
  if (!cij.is_none()) change.cij = CijOf(cij, change.crystalClass.value_or(phase.crystalClass));
  if (cell) change.cell = CellOf(*cell);
  const bool selfConsistent =
      py::isinstance<py::str>(matrix) && matrix.cast<std::string>() == "self-consistent";
  if (!matrix.is_none() && !selfConsistent)
    change.matrix = RealArray(matrix.cast<std::array<double, 2>>());
  Phase p = Take(ApplyOverrides(phase, change));
  if (selfConsistent) p = Take(WithSelfConsistentMatrix(std::move(p)), "matrix");
  return p;
}

// Reflections are handed to the engine in blocks so that a long list reports progress.
constexpr std::size_t kDecBlock = 4096;

// The reflection table as columns (a dict of numpy arrays and one list of texts), the form a
// pandas DataFrame takes; the column names are those of `polydec dec --all --csv`.
py::dict ReflectionColumns(const py::object& phaseArg, int maxIndex, double wavelength,
                           const std::array<double, 3>& grainShape,
                           const std::optional<std::array<double, 2>>& direction,
                           int axisSetting) {
  const Phase phase = PhaseOf(phaseArg);
  ReflectionTableOptions options;
  options.maxIndex = maxIndex;
  options.wavelength = wavelength;
  options.grainShape = GrainShapeOf(grainShape);
  options.axisSetting = axisSetting;
  if (direction) options.direction = RealArray(*direction);
  std::optional<Result<ReflectionTable>> computed;
  {
    py::gil_scoped_release nogil;
    computed.emplace(ComputeReflectionTable(phase, options));
  }
  const ReflectionTable table = Take(std::move(*computed));
  std::map<std::string, std::vector<Real>> columns;
  py::list texts;
  std::vector<int> multiplicity;
  for (const ReflectionRow& row : table.rows) {
    texts.append(MillerText(row.hkl, phase.crystalClass));
    columns["h"].push_back(row.hkl[0]);
    columns["k"].push_back(row.hkl[1]);
    columns["l"].push_back(row.hkl[2]);
    multiplicity.push_back(row.multiplicity);
    columns["d"].push_back(row.d);
    columns["two_theta"].push_back(row.twoTheta ? *row.twoTheta
                                                : std::numeric_limits<Real>::quiet_NaN());
    columns["gamma3"].push_back(row.gamma3);
    columns["angle_to_c"].push_back(row.angleToC);
    for (const ReflectionModelDec& m : row.models) {
      const std::string prefix = ReflectionColumnPrefix(m.model);
      columns[prefix + "_s1"].push_back(m.s1);
      columns[prefix + "_half_s2"].push_back(m.halfS2);
      columns[prefix + "_E"].push_back(m.E);
      columns[prefix + "_nu"].push_back(m.nu);
    }
  }
  py::dict out;
  out["hkl"] = texts;
  for (const char* name : {"h", "k", "l"}) out[name] = Array(columns[name]);
  out["multiplicity"] = py::array_t<int>(static_cast<py::ssize_t>(multiplicity.size()),
                                         multiplicity.data());
  for (const char* name : {"d", "two_theta", "gamma3", "angle_to_c"})
    out[name] = Array(columns[name]);
  for (ModelCode model : kReflectionTableModels)
    for (const char* q : {"_s1", "_half_s2", "_E", "_nu"}) {
      const std::string name = ReflectionColumnPrefix(model) + q;
      out[py::str(name)] = Array(columns[name]);
    }
  return out;
}

py::object ComputeDecsFor(const py::object& phaseArg, const py::object& hkl,
                          const std::string& model, const std::array<double, 3>& grainShape,
                          const std::optional<std::array<double, 2>>& direction, int axisSetting,
                          int intervals, const py::object& progress, Cancel* cancel) {
  const Phase phase = PhaseOf(phaseArg);
  DecOptions options;
  options.model = ModelOf(model);
  options.grainShape = GrainShapeOf(grainShape);
  options.axisSetting = axisSetting;
  options.intervals = intervals;
  if (direction) options.direction = RealArray(*direction);
  const bool one = IsOneReflection(hkl);
  std::vector<Miller> reflections;
  if (one) {
    reflections.push_back(MillerOf(hkl, phase.crystalClass));
  } else if (py::isinstance<py::array>(hkl) && py::reinterpret_borrow<py::array>(hkl).ndim() == 2) {
    // An (n, 3) or (n, 4) array is read from its buffer: no Python object per reflection.
    using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
    const Doubles a = Doubles::ensure(hkl);
    if (!a) throw py::error_already_set();
    const py::ssize_t width = a.shape(1);
    const double* v = a.data();
    reflections.reserve(static_cast<std::size_t>(a.shape(0)));
    for (py::ssize_t i = 0; i < a.shape(0); ++i) {
      std::string text;
      for (py::ssize_t k = 0; k < width; ++k) (text += NumberText(v[i * width + k])) += ' ';
      reflections.push_back(Take(ReadMiller(text, phase.crystalClass), "hkl"));
    }
  } else {
    for (const py::handle item : hkl) reflections.push_back(MillerOf(item, phase.crystalClass));
  }
  Watch watch(progress, cancel, reflections.size());
  DecTable table;
  std::optional<InputError> refused;
  {
    py::gil_scoped_release nogil;
    table.rows.reserve(reflections.size());
    std::size_t done = 0;
    while (done < reflections.size()) {
      if (!watch(done)) {
        refused = Refusal("stopped after " + std::to_string(done) + " of " +
                          std::to_string(reflections.size()) + " reflections");
        break;
      }
      const std::size_t end = std::min(reflections.size(), done + kDecBlock);
      auto block =
          ComputeDecs(phase,
                      std::vector<Miller>(reflections.begin() + static_cast<std::ptrdiff_t>(done),
                                          reflections.begin() + static_cast<std::ptrdiff_t>(end)),
                      options);
      if (!block) {
        refused = block.error();
        break;
      }
      table.rows.insert(table.rows.end(), block->begin(), block->end());
      done = end;
    }
    // The last report; a stop asked for now comes after the work and refuses nothing.
    if (!refused) watch(done);
  }
  if (refused) watch.Raise(*refused);
  watch.RaiseIfInterrupted();
  if (one) return py::cast(table.rows.front());
  return py::cast(std::move(table));
}

// phi and psi as 1-D arrays of one length; a single value goes with every entry of the other.
std::vector<Direction> DirectionsOf(const py::object& phi, const py::object& psi) {
  using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
  const Doubles a = Doubles::ensure(phi), b = Doubles::ensure(psi);
  if (!a || !b) throw py::error_already_set();
  if (a.ndim() > 1 || b.ndim() > 1)
    throw py::value_error("phi and psi must be numbers or 1-D arrays");
  const py::ssize_t na = a.size(), nb = b.size();
  if (na != nb && na != 1 && nb != 1)
    throw py::value_error("phi and psi have different lengths (" + std::to_string(na) + ", " +
                          std::to_string(nb) + ")");
  const py::ssize_t n = (na == 1 || nb == 1) ? std::max(na, nb) : na;
  std::vector<Direction> out(static_cast<std::size_t>(n));
  const double* pa = a.data();
  const double* pb = b.data();
  for (py::ssize_t k = 0; k < n; ++k)
    out[static_cast<std::size_t>(k)] = {RealOf(pa[na == 1 ? 0 : k]), RealOf(pb[nb == 1 ? 0 : k])};
  return out;
}

py::tuple StressFactorsFor(const py::object& phaseArg, const py::object& hkl, const py::object& phi,
                           const py::object& psi, const std::string& model, const Texture* texture,
                           const std::array<double, 3>& grainShape, int intervals,
                           const py::object& progress, Cancel* cancel) {
  const Phase phase = PhaseOf(phaseArg);
  StressFactorOptions options;
  options.model = ModelOf(model);
  options.grainShape = GrainShapeOf(grainShape);
  options.intervals = intervals;
  const Miller reflection = MillerOf(hkl, phase.crystalClass);
  const std::vector<Direction> directions = DirectionsOf(phi, psi);
  Watch watch(progress, cancel, directions.size());
  std::optional<Result<std::vector<StressFactors>>> result;
  {
    py::gil_scoped_release nogil;
    result.emplace(ComputeStressFactors(phase, reflection, directions, options, texture,
                                        [&watch](std::size_t done) { return watch(done); }));
  }
  const std::vector<StressFactors> factors = watch.Take(std::move(*result));
  const auto n = static_cast<py::ssize_t>(factors.size());
  py::array_t<double> F({n, py::ssize_t{6}}), intensity(n);
  auto f = F.mutable_unchecked<2>();
  auto in = intensity.mutable_unchecked<1>();
  for (py::ssize_t i = 0; i < n; ++i) {
    const StressFactors& s = factors[static_cast<std::size_t>(i)];
    for (py::ssize_t k = 0; k < 6; ++k)
      f(i, k) = static_cast<double>(s.F[static_cast<std::size_t>(k)]);
    in(i) = static_cast<double>(s.intensity);
  }
  return py::make_tuple(F, intensity);
}

Texture LoadTextureFrom(const std::optional<std::string>& path, const std::string& format,
                        const py::object& phase, const std::optional<std::string>& crystalClass,
                        const std::optional<std::array<double, 6>>& cell, int axisSetting,
                        const std::string& completion, const std::string& angles,
                        bool valuesAreWeights, int ebsdPhase,
                        const std::optional<double>& minQuality,
                        const std::optional<double>& maxMad,
                        const std::optional<double>& halfwidth, const std::string& kernel) {
  TextureSource source;
  source.path = path.value_or("");
  source.format = Take(ParseTextureFormat(format), "format");
  if (angles == "degrees") {
    source.angleUnits = AngleUnits::kDegrees;
  } else if (angles == "radians") {
    source.angleUnits = AngleUnits::kRadians;
  } else if (angles != "auto") {
    RaiseInputError("angles: \"auto\", \"degrees\" or \"radians\", not \"" + angles + "\"",
                    "angles");
  }
  source.valuesAreWeights = valuesAreWeights;
  source.phase = ebsdPhase;
  if (minQuality) source.minQuality = *minQuality;
  if (maxMad) source.maxMad = *maxMad;
  if (halfwidth) {
    KernelOptions k;
    k.shape = Take(ParseKernelShape(kernel), "kernel");
    k.halfwidth = *halfwidth;
    source.kernel = k;
  }
  if (!phase.is_none()) {
    const Phase p = PhaseOf(phase);
    source.crystalClass = p.crystalClass;
    source.cell = p.cell;
  }
  if (crystalClass) source.crystalClass = Take(ParseCrystalClass(*crystalClass), "crystal_class");
  if (cell) source.cell = CellOf(*cell);
  source.axisSetting = axisSetting;
  if (completion == "rules") {
    source.completion = TextureCompletion::kRules;
  } else if (completion != "operators") {
    RaiseInputError("completion: \"operators\" or \"rules\", not \"" + completion + "\"",
                    "completion");
  }
  std::optional<Result<Texture>> result;
  {
    py::gil_scoped_release nogil;
    result.emplace(LoadTexture(source));
  }
  return Take(std::move(*result));
}

py::tuple PoleFigureOf(const Texture& texture, const py::object& hkl) {
  const Miller reflection = MillerOf(hkl, texture.crystalClass);
  std::optional<Result<PoleFigure>> result;
  {
    py::gil_scoped_release nogil;
    result.emplace(ComputePoleFigure(texture, reflection));
  }
  const PoleFigure pf = Take(std::move(*result));
  const auto tilts = static_cast<py::ssize_t>(pf.psi.size());
  const auto azimuths = static_cast<py::ssize_t>(pf.phi.size());
  py::array_t<double> mrd({tilts, azimuths});
  auto out = mrd.mutable_unchecked<2>();
  for (py::ssize_t i = 0; i < tilts; ++i)
    for (py::ssize_t j = 0; j < azimuths; ++j)
      out(i, j) =
          static_cast<double>(pf.mrd[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]);
  return py::make_tuple(Array(pf.psi), Array(pf.phi), mrd);
}

py::array_t<double> MacroStiffnessOf(const py::object& phaseArg, const Texture* texture,
                                     const std::string& model,
                                     const std::optional<std::string>& sampleSymmetry,
                                     int intervals, const py::object& progress, Cancel* cancel) {
  const Phase phase = PhaseOf(phaseArg);
  MacroOptions options;
  options.model = ModelOf(model);
  if (sampleSymmetry)
    options.sampleSymmetry = Take(ParseSampleSymmetry(*sampleSymmetry), "sample_symmetry");
  options.intervals = intervals;
  // Without a texture: a uniform distribution in the phase's crystal and cell.
  Texture uniform;
  if (texture == nullptr) {
    TextureSource source;
    source.crystalClass = phase.crystalClass;
    source.cell = phase.cell;
    uniform = Take(LoadTexture(source));
    texture = &uniform;
  }
  // The self-consistent rounds are the long part; their count is not known beforehand.
  Watch watch(progress, cancel, 0);
  std::size_t round = 0;
  options.onRound = [&watch, &round](int, Real) { return watch(++round); };
  // A round integrates Euler space many times over: a stop is looked for before each.
  options.onEvaluation = [&watch, &round](int, int, int) { return watch(round); };
  std::optional<Result<MacroStiffness>> result;
  {
    py::gil_scoped_release nogil;
    result.emplace(ComputeMacroStiffness(phase, *texture, options));
  }
  return Array(watch.Take(std::move(*result)).C);
}

Worksheet LoadWorksheetFrom(const std::string& path, std::optional<double> wavelength,
                            const std::string& setColumn, bool skipIncompleteRows) {
  std::optional<Real> w;
  if (wavelength) w = RealOf(*wavelength);
  std::optional<Result<Worksheet>> result;
  {
    py::gil_scoped_release nogil;
    result.emplace(LoadWorksheet(path, w, setColumn, skipIncompleteRows));
  }
  return Take(std::move(*result));
}

void CalcDec(Worksheet& w, const py::object& phaseArg, const std::string& model,
             const Texture* texture, const std::array<double, 3>& grainShape, int intervals,
             int voigtIntervals, double orientationDistance, const py::object& progress,
             Cancel* cancel) {
  const Phase phase = PhaseOf(phaseArg);
  WorksheetDecOptions options;
  options.model = ModelOf(model);
  options.grainShape = GrainShapeOf(grainShape);
  options.intervals = intervals;
  options.voigtIntervals = voigtIntervals;
  options.orientationDistance = RealOf(orientationDistance);
  // The rows' reflections are read in the phase's class (four indices for hexagonal ones), and
  // textured stress factors exist only in the Fij notation.
  w.crystalClass = phase.crystalClass;
  if (texture != nullptr && !texture->path.empty()) Take(SetNotation(w, true, true));
  Watch watch(progress, cancel, static_cast<std::size_t>(MeasurementRows(w)));
  std::optional<Status> status;
  {
    py::gil_scoped_release nogil;
    status.emplace(CalcWorksheetDec(w, phase, options, texture, [&watch](int row) {
      return watch(static_cast<std::size_t>(row));
    }));
  }
  watch.Take(std::move(*status));
}

py::list StressSets(const Worksheet& w) { return py::cast(w.sets); }

void CalcStress(Worksheet& w, const std::optional<std::string>& free) {
  if (free) {
    const FitChoice choice = Take(ParseFreeParameters(*free), "free");
    for (std::size_t k = 0; k < 6; ++k) w.flags[k] = choice.fixed[k];
    w.flags[6] = choice.d0Fixed;
    w.flags[7] = choice.subtractEps0;
  }
  std::optional<Status> status;
  {
    py::gil_scoped_release nogil;
    status.emplace(CalcWorksheetStress(w));
  }
  Take(std::move(*status));
}

void CalcStrain(Worksheet& w, const std::optional<std::array<double, 6>>& stresses) {
  std::optional<std::array<Real, 6>> given;
  if (stresses) given = RealArray(*stresses);
  std::optional<Status> status;
  {
    py::gil_scoped_release nogil;
    status.emplace(CalcWorksheetStrain(w, given));
  }
  Take(std::move(*status));
}

py::list CellsOf(const Worksheet& w) {
  py::list rows;
  for (int r = 0; r < w.sheet.rows; ++r) {
    py::list row;
    for (int c = 0; c < w.sheet.cols; ++c) row.append(w.sheet.Cell(c, r));
    rows.append(row);
  }
  return rows;
}

// ---------------------------------------------------------------------------------------------
// Maps: the stresses of every data set of a table of columns

std::vector<Real> RealColumn(const py::handle& column) {
  using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
  const Doubles a = Doubles::ensure(column);
  if (!a) throw py::error_already_set();
  std::vector<Real> out(static_cast<std::size_t>(a.size()));
  const double* v = a.data();
  for (std::size_t k = 0; k < out.size(); ++k) out[k] = RealOf(v[k]);
  return out;
}

py::dict EvaluateStress(const py::object& table, const py::object& phaseArg,
                        const std::string& model, const std::string& free, const Texture* texture,
                        const std::array<double, 3>& grainShape, int intervals, unsigned threads,
                        const py::object& progress, Cancel* cancel) {
  const Phase phase = PhaseOf(phaseArg);
  MapOptions options;
  options.model = ModelOf(model);
  options.grainShape = GrainShapeOf(grainShape);
  options.intervals = intervals;
  options.fit = Take(ParseFreeParameters(free), "free");
  options.threads = threads;

  // The table's columns by the names a measurement table accepts; numeric columns of other
  // names are carried into the results (the first row's value of each data set).
  std::map<std::string, py::object> found;
  MapColumns columns;
  py::module_ numpy = py::module_::import("numpy");
  for (const py::handle key : table.attr("keys")()) {
    const std::string name = py::str(key).cast<std::string>();
    const py::object column = table[key];
    // The columns a map reads, by the table reader's own names; 2theta and the wavelength are
    // not among them, and are carried like any other column.
    const std::string field = MeasurementColumnOf(name);
    if (!field.empty() && field.find("2theta") == std::string::npos && field != "wavelength") {
      if (found.count(field) != 0) RaiseInputError("the column " + field + " is given twice", name);
      found[field] = column;
      continue;
    }
    const py::array values = numpy.attr("asarray")(column);
    const std::string kind = py::str(values.dtype().attr("kind")).cast<std::string>();
    if (kind == "f" || kind == "i" || kind == "u" || kind == "b") {
      columns.extraNames.push_back(name);
      columns.extra.push_back(RealColumn(values));
    }
  }
  for (const char* needed : {"phi", "psi", "d"})
    if (found.count(needed) == 0)
      RaiseInputError(std::string("the table has no column ") + needed, needed);
  columns.phi = RealColumn(found["phi"]);
  columns.psi = RealColumn(found["psi"]);
  columns.d = RealColumn(found["d"]);
  if (found.count("d_err")) columns.dErr = RealColumn(found["d_err"]);
  if (found.count("d0")) columns.d0 = RealColumn(found["d0"]);
  if (found.count("d0_err")) columns.d0Err = RealColumn(found["d0_err"]);
  const std::size_t n = columns.d.size();
  if (found.count("label")) {
    for (const py::handle x : found["label"])
      columns.label.push_back(py::str(x).cast<std::string>());
  }
  if (found.count("hkl")) {
    int line = 0;
    for (const py::handle x : found["hkl"]) {
      ++line;
      auto r = ReadMiller(py::str(x).cast<std::string>(), phase.crystalClass);
      if (!r) {
        InputError e = r.error();
        e.line = line;
        e.field = "hkl";
        RaiseInputError(e);
      }
      columns.hkl.push_back(*r);
    }
  } else if (found.count("h") && found.count("k") && found.count("l")) {
    const std::vector<Real> h = RealColumn(found["h"]), k = RealColumn(found["k"]),
                            l = RealColumn(found["l"]);
    for (std::size_t r = 0; r < h.size() && r < k.size() && r < l.size(); ++r)
      columns.hkl.push_back({h[r], k[r], l[r]});
  } else {
    RaiseInputError("the table has no column hkl (nor h, k and l)", "hkl");
  }

  Watch watch(progress, cancel, 0);
  std::optional<Result<std::vector<MapSetResult>>> result;
  {
    py::gil_scoped_release nogil;
    result.emplace(
        EvaluateMap(columns, phase, options, texture,
                    [&watch](std::size_t done, std::size_t total) { return watch(done, total); }));
  }
  const std::vector<MapSetResult> sets = watch.Take(std::move(*result));

  // Per data set: 1-D arrays (a pandas DataFrame takes them as they are); NaN where a set was
  // refused, its reason in "refusal".
  const auto count = static_cast<py::ssize_t>(sets.size());
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const char* components[] = {"xx", "yy", "zz", "yz", "xz", "xy"};
  std::vector<py::array_t<double>> sig, sigErr;
  for (int k = 0; k < 6; ++k) {
    sig.emplace_back(count);
    sigErr.emplace_back(count);
  }
  py::array_t<double> d0(count), d0Err(count), chisq(count), chisqReduced(count);
  py::array_t<int> firstRow(count), rows(count), dof(count);
  std::vector<py::array_t<double>> extra;
  for (std::size_t e = 0; e < columns.extraNames.size(); ++e) extra.emplace_back(count);
  py::list labels, refusals;
  py::array_t<double> dCalc(static_cast<py::ssize_t>(n)), residual(static_cast<py::ssize_t>(n));
  for (std::size_t r = 0; r < n; ++r) dCalc.mutable_at(static_cast<py::ssize_t>(r)) = nan;
  for (py::ssize_t i = 0; i < count; ++i) {
    const MapSetResult& set = sets[static_cast<std::size_t>(i)];
    labels.append(set.label);
    refusals.append(set.refusal ? py::object(py::str(set.refusal->Describe()))
                                : py::object(py::none()));
    firstRow.mutable_at(i) = set.firstLine;
    rows.mutable_at(i) = set.rows;
    for (std::size_t e = 0; e < extra.size(); ++e)
      extra[e].mutable_at(i) =
          e < set.extraValues.size() ? static_cast<double>(set.extraValues[e]) : nan;
    const StressSetResult* fit = set.fit ? &*set.fit : nullptr;
    for (std::size_t k = 0; k < 6; ++k) {
      sig[k].mutable_at(i) = fit ? static_cast<double>(fit->sig[k]) : nan;
      sigErr[k].mutable_at(i) = fit ? static_cast<double>(fit->sigErr[k]) : nan;
    }
    d0.mutable_at(i) = fit && fit->d0Fitted ? static_cast<double>(fit->d0) : nan;
    d0Err.mutable_at(i) = fit && fit->d0Fitted ? static_cast<double>(fit->d0Err) : nan;
    chisq.mutable_at(i) = fit ? static_cast<double>(fit->chisq) : nan;
    chisqReduced.mutable_at(i) = fit ? static_cast<double>(fit->chisqReduced) : nan;
    dof.mutable_at(i) = fit ? fit->dof : 0;
    if (!fit) continue;
    // The member rows are the table's row indices + 1.
    for (std::size_t m = 0; m < fit->rows.size() && m < fit->dCalc.size(); ++m) {
      const auto row = static_cast<std::size_t>(fit->rows[m] - 1);
      if (row < n)
        dCalc.mutable_at(static_cast<py::ssize_t>(row)) = static_cast<double>(fit->dCalc[m]);
    }
  }
  for (std::size_t r = 0; r < n; ++r) {
    const auto i = static_cast<py::ssize_t>(r);
    const double sd = r < columns.dErr.size() ? static_cast<double>(columns.dErr[r]) : nan;
    // The residual in units of the row's uncertainty, as the worksheet's rows() give it.
    residual.mutable_at(i) = sd != 0 ? (static_cast<double>(columns.d[r]) - dCalc.at(i)) / sd : nan;
  }
  // The carried columns first: a result of the same name takes their place.
  py::dict perSet;
  for (std::size_t e = 0; e < extra.size(); ++e) perSet[py::str(columns.extraNames[e])] = extra[e];
  perSet["label"] = labels;
  perSet["first_row"] = firstRow;
  perSet["rows"] = rows;
  for (int k = 0; k < 6; ++k) {
    perSet[py::str(std::string("sig_") + components[k])] = sig[static_cast<std::size_t>(k)];
    perSet[py::str(std::string("sig_") + components[k] + "_err")] =
        sigErr[static_cast<std::size_t>(k)];
  }
  perSet["d0"] = d0;
  perSet["d0_err"] = d0Err;
  perSet["chisq"] = chisq;
  perSet["dof"] = dof;
  perSet["chisq_reduced"] = chisqReduced;
  perSet["refusal"] = refusals;
  return py::dict("sets"_a = perSet,
                  "rows"_a = py::dict("d_calc"_a = dCalc, "residual"_a = residual));
}

// ---------------------------------------------------------------------------------------------
// The single-crystal constant fit and the special functions

py::dict ConstantsDict(const std::vector<FittedConstant>& constants, bool errors) {
  py::dict d;
  for (const FittedConstant& c : constants) {
    if (!errors)
      d[py::str(c.name)] = static_cast<double>(c.value);
    else if (c.error)
      d[py::str(c.name)] = static_cast<double>(*c.error);
  }
  return d;
}

py::dict FitSingleCrystalFrom(const std::string& path, const std::string& model, int cycles,
                              int intervals, const std::optional<std::string>& report,
                              const py::object& progress, Cancel* cancel) {
  SingleCrystalFitOptions options;
  options.model = ModelOf(model);
  if (cycles < 1) RaiseInputError("the fit needs at least one cycle", "cycles");
  options.maxCycles = cycles;
  if (intervals < 1) RaiseInputError("at least one interval", "intervals");
  options.intervals = intervals;
  // The steps are the progress; their count is not known beforehand.
  Watch watch(progress, cancel, 0);
  std::size_t steps = 0;
  options.stop = [&watch, &steps] { return !watch(++steps); };
  std::optional<Result<SingleCrystalFit>> result;
  {
    py::gil_scoped_release nogil;
    result.emplace(FitSingleCrystalFile(path, options));
  }
  const SingleCrystalFit fit = watch.Take(std::move(*result));
  if (report) {
    Status written = Ok();
    {
      py::gil_scoped_release nogil;
      written = AppendFitReport(fit, *report, path);
    }
    if (!written) RaiseInputError(written.error());
  }
  py::dict out;
  out["material"] = fit.name;
  out["crystal_class"] = CrystalClassName(fit.crystalClass);
  out["model"] = model;
  out["constants"] = ConstantsDict(fit.constants, false);
  out["errors"] = ConstantsDict(fit.constants, true);
  out["matrix"] = ConstantsDict(fit.matrix, false);
  out["matrix_errors"] = ConstantsDict(fit.matrix, true);
  out["matrix_fitted"] = fit.matrixFitted;
  out["chisq"] = static_cast<double>(fit.chisq);
  out["reduced_chisq"] = static_cast<double>(fit.reducedChisq);
  out["data_points"] = fit.dataPoints;
  out["fitted"] = fit.fittedCount;
  out["steps"] = fit.steps;
  out["cycles"] = fit.cycles;
  out["converged"] = fit.converged;
  out["calc"] = Array(fit.calc);
  out["report"] = fit.report;
  return out;
}

std::array<Real, 3> TripleOf(const std::array<double, 3>& v) {
  return {RealOf(v[0]), RealOf(v[1]), RealOf(v[2])};
}

EulerAngles EulerOf(const std::array<double, 3>& e) {
  return {RealOf(e[0]), RealOf(e[1]), RealOf(e[2])};
}

py::array_t<double> StiffnessInFrameOf(const py::object& phaseArg, const std::array<double, 3>& x,
                                       const std::array<double, 3>& z, double turn,
                                       bool transverse) {
  CrystalFrame frame;
  frame.x = TripleOf(x);
  frame.z = TripleOf(z);
  frame.turnDegrees = RealOf(turn);
  frame.transverse = transverse;
  return Array(Take(StiffnessInFrame(PhaseOf(phaseArg), frame)));
}

py::dict TaylorFactorOf(const std::array<double, 3>& euler, const std::optional<double>& ratio) {
  std::optional<Real> held;
  if (ratio) held = RealOf(*ratio);
  const TaylorFactor t = Take(ComputeTaylorFactor(EulerOf(euler), held), "ratio");
  py::dict out;
  out["factor"] = static_cast<double>(t.factor);
  out["ratio"] = static_cast<double>(t.ratio);
  return out;
}

py::dict SchmidFactorsOf(const py::object& phaseArg, const std::array<double, 3>& euler) {
  const SchmidFactors f = Take(ComputeSchmidFactors(PhaseOf(phaseArg), EulerOf(euler)));
  const auto one = [](const SchmidFactor& s) {
    py::dict d;
    d["schmid"] = static_cast<double>(s.value);
    d["system"] = s.system;
    return d;
  };
  py::dict out;
  out["kroener"] = one(f.kroener);
  out["inverse_kroener"] = one(f.inverseKroener);
  return out;
}

py::dict GrainElongationOf(const std::array<double, 3>& euler) {
  const GrainElongation e = Take(ComputeGrainElongation(EulerOf(euler)));
  py::dict out;
  out["final_euler"] = py::make_tuple(static_cast<double>(e.final.phi1),
                                      static_cast<double>(e.final.Phi),
                                      static_cast<double>(e.final.phi2));
  out["stretch"] = py::make_tuple(static_cast<double>(1 + e.e11), static_cast<double>(1 + e.e22),
                                  static_cast<double>(1 + e.e33));
  out["steps"] = e.steps;
  out["step_limit_reached"] = e.limitReached;
  return out;
}

py::dict TwinFractionsOf(const Texture& texture, const std::array<double, 3>& hkl,
                         const std::array<double, 3>& habitPlane,
                         const std::array<double, 3>& shearDirection,
                         const std::array<double, 4>& window) {
  TwinTask task;
  task.hkl = TripleOf(hkl);
  task.habitPlane = TripleOf(habitPlane);
  task.shearDirection = TripleOf(shearDirection);
  task.phiFrom = RealOf(window[0]);
  task.phiTo = RealOf(window[1]);
  task.psiFrom = RealOf(window[2]);
  task.psiTo = RealOf(window[3]);
  std::optional<Result<TwinFractions>> result;
  {
    py::gil_scoped_release nogil;
    result.emplace(ComputeTwinFractions(texture, task));
  }
  const TwinFractions t = Take(std::move(*result));
  py::dict out;
  out["twin_angle"] = static_cast<double>(t.twinAngle);
  out["fraction"] = static_cast<double>(t.fraction);
  out["twin_fraction"] = static_cast<double>(t.twinFraction);
  return out;
}

}  // namespace

}  // namespace polydec::python

// The module is defined at global scope, as Python looks for PyInit__polydec.
PYBIND11_MODULE(_polydec, m) {
  using namespace polydec;
  using namespace polydec::python;
  m.doc() =
      "polydec: diffraction elastic constants, stress factors, textures and stress evaluation.\n"
      "Units: stiffnesses in GPa; s1, 1/2 s2 and stress factors in 1e-6/MPa (= 1/TPa); stresses "
      "in MPa; lattice spacings in Angstrom; angles in degrees.";
  m.attr("__version__") = POLYDEC_VERSION;

  const py::object inputError =
      py::reinterpret_borrow<py::object>(PyExc_ValueError)
          .attr("__class__")(
              "InputError", py::make_tuple(py::reinterpret_borrow<py::object>(PyExc_ValueError)),
              py::dict(
                  "__module__"_a = "polydec",
                  "__doc__"_a = "What the input got wrong: file, line, column (1-based; 0 when "
                                "not known), field and message.",
                  "file"_a = "", "line"_a = 0, "column"_a = 0, "field"_a = "", "message"_a = ""));
  m.attr("InputError") = inputError;
  InputErrorType() = inputError.inc_ref();
  const py::object cancelled =
      py::reinterpret_borrow<py::object>(PyExc_Exception)
          .attr("__class__")(
              "Cancelled", py::make_tuple(py::reinterpret_borrow<py::object>(PyExc_Exception)),
              py::dict("__module__"_a = "polydec",
                       "__doc__"_a = "A long call was stopped by its progress callback or its "
                                     "Cancel token."));
  m.attr("Cancelled") = cancelled;
  CancelledType() = cancelled.inc_ref();
  // A value read from a refused result is the engine's programming error; in Python it is the
  // refusal it carries, never a crash.
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const BadResultAccess& e) {
      SetInputError(e.error());
    }
  });

  m.def("_set_data_folder", [](const std::string& folder, bool installed) {
    ModuleData() = installed ? InstalledDataFiles(folder) : DataFilesIn(folder);
  });
  m.def(
      "database_location",
      [] {
        return py::make_tuple(ActiveDatabase(ModuleData()), DatabaseOrigin(ModuleData()));
      },
      "database_location() -> tuple[str, str]\n\nThe material database read when no database= is "
      "given, and which copy it is: 'beside the program' (the build tree), 'installed' or "
      "\"the user's copy\" ($XDG_DATA_HOME/polydec/pfcryst.dat, where the window adds "
      "materials).");

  py::class_<Cancel>(m, "Cancel",
                     "A token that stops a running call from another thread: pass it as "
                     "cancel=, call cancel() anywhere; the call raises polydec.Cancelled.")
      .def(py::init<>())
      .def("cancel", &Cancel::Set, "Stops the calls holding this token at their next step.")
      .def("reset", &Cancel::Reset, "Makes the token usable again.")
      .def_property_readonly("cancelled", &Cancel::IsSet);

  py::class_<Phase>(m, "Phase",
                    "A crystalline phase: single-crystal stiffness (GPa) under its class, unit "
                    "cell (Angstrom, degrees) and the isotropic matrix of the self-consistent "
                    "models (E, K, G in GPa; nu).")
      .def(py::init([](const std::string& name) { return Material(name, std::nullopt); }), "name"_a,
           "The material of this name in the default database, database_location() (any case).")
      .def(py::init(&MakePhaseFrom), "name"_a, "crystal_class"_a, "cij"_a,
           "cell"_a = std::array<double, 6>{1, 1, 1, 90, 90, 90}, "matrix"_a = "self-consistent")
      .def_readonly("name", &Phase::name)
      .def_property_readonly("crystal_class",
                             [](const Phase& p) { return CrystalClassName(p.crystalClass); })
      .def_property_readonly("cij",
                             [](const Phase& p) {
                               std::vector<double> v;
                               for (Real x : p.cij) v.push_back(static_cast<double>(x));
                               return v;
                             })
      .def_property_readonly("stiffness",
                             [](const Phase& p) { return Array(VoigtStiffness(p.cij)); })
      .def_property_readonly("cell",
                             [](const Phase& p) {
                               const Cell& c = p.cell;
                               return py::make_tuple(
                                   static_cast<double>(c.a), static_cast<double>(c.b),
                                   static_cast<double>(c.c), static_cast<double>(c.alpha),
                                   static_cast<double>(c.beta), static_cast<double>(c.gamma));
                             })
      .def_property_readonly("E", [](const Phase& p) { return static_cast<double>(p.E); })
      .def_property_readonly("nu", [](const Phase& p) { return static_cast<double>(p.nu); })
      .def_property_readonly("K", [](const Phase& p) { return static_cast<double>(p.K); })
      .def_property_readonly("G", [](const Phase& p) { return static_cast<double>(p.G); })
      .def("replace", &Replace, "crystal_class"_a = py::none(), "cij"_a = py::none(),
           "cell"_a = py::none(), "matrix"_a = py::none())
      .def(
          "d_spacing",
          [](const Phase& p, const py::object& hkl) {
            return static_cast<double>(Take(DSpacing(p.cell, MillerOf(hkl, p.crystalClass))));
          },
          "hkl"_a)
      .def("__repr__", [](const Phase& p) {
        return "Phase(" + py::repr(py::str(p.name)).cast<std::string>() + ", " +
               CrystalClassName(p.crystalClass) + ")";
      });

  m.def("material", &Material, "name"_a, "database"_a = py::none(),
        "material(name, database=None) -> Phase\n\n"
        "The material of this name in the database (the one of database_location() unless "
        "another file is given): the exact spelling first, else the name in any case. "
        "Constants in GPa, cell in Angstrom and degrees.");
  m.def("materials", &Materials, "database"_a = py::none(),
        "materials(database=None) -> list[Phase]\n\nEvery material of the database, in file "
        "order.");

  py::class_<Dec>(m, "Dec", "s1 and 1/2 s2 (1e-6/MPa) and the spacing d (Angstrom) of hkl.")
      .def_property_readonly("hkl", [](const Dec& d) { return Tuple(d.hkl); })
      .def_property_readonly("d", [](const Dec& d) { return static_cast<double>(d.d); })
      .def_property_readonly("s1", [](const Dec& d) { return static_cast<double>(d.s1); })
      .def_property_readonly("half_s2", [](const Dec& d) { return static_cast<double>(d.halfS2); })
      .def("__repr__", &DescribeDec);

  py::class_<DecTable>(m, "DecTable",
                       "s1, 1/2 s2 (1e-6/MPa) and d (Angstrom) of many reflections as arrays.")
      .def("__len__", [](const DecTable& t) { return t.rows.size(); })
      .def("__getitem__",
           [](const DecTable& t, py::ssize_t i) {
             const auto n = static_cast<py::ssize_t>(t.rows.size());
             if (i < 0) i += n;
             if (i < 0 || i >= n) throw py::index_error();
             return t.rows[static_cast<std::size_t>(i)];
           })
      .def_property_readonly(
          "hkl",
          [](const DecTable& t) {
            const auto n = static_cast<py::ssize_t>(t.rows.size());
            py::array_t<double> a({n, py::ssize_t{3}});
            for (py::ssize_t i = 0; i < n; ++i)
              for (py::ssize_t k = 0; k < 3; ++k)
                a.mutable_at(i, k) = static_cast<double>(
                    t.rows[static_cast<std::size_t>(i)].hkl[static_cast<std::size_t>(k)]);
            return a;
          })
      .def_property_readonly("d",
                             [](const DecTable& t) {
                               std::vector<Real> v;
                               for (const Dec& d : t.rows) v.push_back(d.d);
                               return Array(v);
                             })
      .def_property_readonly("s1",
                             [](const DecTable& t) {
                               std::vector<Real> v;
                               for (const Dec& d : t.rows) v.push_back(d.s1);
                               return Array(v);
                             })
      .def_property_readonly("half_s2", [](const DecTable& t) {
        std::vector<Real> v;
        for (const Dec& d : t.rows) v.push_back(d.halfS2);
        return Array(v);
      });

  m.def("dec", &ComputeDecsFor, "phase"_a, "hkl"_a, "model"_a = "kroener",
        "grain_shape"_a = std::array<double, 3>{1, 1, 1}, "direction"_a = py::none(),
        "axis_setting"_a = 1, "intervals"_a = kDefaultFibreIntervals, "progress"_a = py::none(),
        "cancel"_a = nullptr,
        "dec(phase, hkl, model='kroener', grain_shape=(1, 1, 1), direction=None, "
        "axis_setting=1, intervals=25, progress=None, cancel=None)\n\n"
        "Diffraction elastic constants s1 and 1/2 s2 in 1e-6/MPa (= 1/TPa) and the spacing d "
        "in Angstrom of an untextured sample. phase: a Phase or a material name. hkl: one "
        "reflection ('2 1 1', (2, 1, 1), four indices for hexagonal phases) gives a Dec of "
        "floats; a list of them or an (n, 3) array gives a DecTable of numpy arrays. model: "
        "voigt, mvoigt, reuss, hill, kroener, inverse-kroener. grain_shape: semi-axes of the "
        "grain ellipsoid along sample x, y, z. direction: (phi, psi) in degrees, needed by the "
        "Kroener models for a grain that is not a sphere. Runs without the GIL; progress(done, "
        "total) returning False or cancel.cancel() stops it with Cancelled.");
  m.def("_reflection_columns", &ReflectionColumns, "phase"_a, "max_index"_a = 4,
        "wavelength"_a = 1.5406, "grain_shape"_a = std::array<double, 3>{1, 1, 1},
        "direction"_a = py::none(), "axis_setting"_a = 1,
        "The columns of reflections() as a dict of arrays.");
  m.def("stress_factors", &StressFactorsFor, "phase"_a, "hkl"_a, "phi"_a, "psi"_a,
        "model"_a = "kroener", "texture"_a = nullptr,
        "grain_shape"_a = std::array<double, 3>{1, 1, 1}, "intervals"_a = kDefaultFibreIntervals,
        "progress"_a = py::none(), "cancel"_a = nullptr,
        "stress_factors(phase, hkl, phi, psi, model='kroener', texture=None, "
        "grain_shape=(1, 1, 1), intervals=25, progress=None, cancel=None) -> (F, intensity)\n\n"
        "Stress factors of hkl measured along the directions (phi, psi) in degrees: numbers or "
        "1-D arrays of one length (a number goes with every entry of the other). F has shape "
        "(n, 6): F11, F22, F33, F23, F13, F12 in 1e-6/MPa (= 1/TPa; the shear factors twice the "
        "tensor component, as the worksheet holds them); intensity has shape (n,): the pole "
        "density I(ODF) of each direction's fibre in m.r.d., 1 without a texture. Runs without "
        "the GIL; progress(done, total) returning False or cancel.cancel() stops it with "
        "Cancelled, Ctrl-C with KeyboardInterrupt.");

  py::class_<Texture>(m, "Texture",
                      "An ODF on the 5-degree Bunge grid or a list of weighted orientations (with its "
                      "kernel ODF when one was asked for), read once.")
      .def_readonly("path", &Texture::path)
      .def_property_readonly("format", [](const Texture& t) { return TextureFormatName(t.format); })
      .def_property_readonly("crystal_class",
                             [](const Texture& t) { return CrystalClassName(t.crystalClass); })
      .def_property_readonly("sample_symmetry",
                             [](const Texture& t) { return SampleSymmetryName(t.sampleSymmetry); })
      .def_readonly("grains", &Texture::grains)
      .def_readonly("values_read", &Texture::valuesRead)
      .def_property_readonly("region",
                             [](const Texture& t) {
                               return py::make_tuple(static_cast<double>(t.region[0]),
                                                     static_cast<double>(t.region[1]),
                                                     static_cast<double>(t.region[2]));
                             })
      .def_readonly("nodes", &Texture::nodes)
      .def_property_readonly(
          "kernel_halfwidth",
          [](const Texture& t) { return static_cast<double>(t.kernel.halfwidth); })
      .def_readonly("points_left_out", &Texture::skipped)
      .def_readonly("phases", &Texture::phases)
      .def_readonly("zero_nodes", &Texture::zeroNodes)
      .def_readonly("repeated_nodes", &Texture::repeatedNodes)
      .def_readonly("copied_nodes", &Texture::copiedNodes)
      .def(
          "stats",
          [](const Texture& t, int intervals) {
            const TextureStatistics s = Take(TextureStats(t, intervals));
            return py::dict("minimum"_a = static_cast<double>(s.minimum),
                            "maximum"_a = static_cast<double>(s.maximum),
                            "integral"_a = static_cast<double>(s.integral),
                            "texture_index"_a = static_cast<double>(s.textureIndex));
          },
          "intervals"_a = 36)
      .def("__repr__", [](const Texture& t) {
        return "Texture(" + py::repr(py::str(t.path)).cast<std::string>() + ", " +
               TextureFormatName(t.format) + ")";
      });

  m.def("load_texture", &LoadTextureFrom, "path"_a, "format"_a = "auto", "phase"_a = py::none(),
        "crystal_class"_a = py::none(), "cell"_a = py::none(), "axis_setting"_a = 1,
        "completion"_a = "operators", "angles"_a = "auto", "values_are_weights"_a = false,
        "ebsd_phase"_a = 0, "min_quality"_a = py::none(), "max_mad"_a = py::none(),
        "halfwidth"_a = py::none(), "kernel"_a = "poussin",
        "load_texture(path, format='auto', phase=None, crystal_class=None, cell=None, "
        "axis_setting=1, completion='operators', angles='auto', values_are_weights=False, "
        "ebsd_phase=0, min_quality=None, max_mad=None, halfwidth=None, kernel='poussin') -> "
        "Texture\n\n"
        "Reads an ODF (popla or MTEX, 5-degree grid) or an orientation list (grains file, Euler "
        "table with weights or equispaced ODF values, .ang or .ctf EBSD map); path None gives a "
        "uniform texture. format: auto, popla, mtex, grains, orientations, ang, ctf. The "
        "crystal class and the cell (Angstrom, degrees) of the pole figures come from phase, or "
        "are given (cubic, unit cube by default). completion: operators or rules. angles: the "
        "unit of a table's angles (auto, degrees, radians); values_are_weights takes a table's "
        "values as weights though its points are not equispaced; ebsd_phase, min_quality "
        "(confidence index or band contrast) and max_mad choose the points of a map; halfwidth "
        "(degrees) also makes the ODF of an orientation list by kernel density estimation "
        "(kernel 'poussin' or 'gauss').");
  m.def("pole_figure", &PoleFigureOf, "texture"_a, "hkl"_a,
        "pole_figure(texture, hkl) -> (psi, phi, mrd)\n\n"
        "The pole figure of hkl: tilts psi = 0, 5, ..., 90 degrees (19), azimuths phi = 0, 5, "
        "..., 355 degrees (72), and the pole density mrd[tilt, azimuth] in m.r.d. (multiples "
        "of a random distribution), shape (19, 72).");
  m.def("macro_stiffness", &MacroStiffnessOf, "phase"_a, "texture"_a = nullptr, "model"_a = "voigt",
        "sample_symmetry"_a = py::none(), "intervals"_a = 0, "progress"_a = py::none(),
        "cancel"_a = nullptr,
        "macro_stiffness(phase, texture=None, model='voigt', sample_symmetry=None, "
        "intervals=0, progress=None, cancel=None) -> ndarray (6, 6)\n\n"
        "The macroscopic stiffness in GPa (Voigt notation, rows and columns 1..6) of the "
        "polycrystal: averaged over Euler space weighted by the texture's ODF, or over its "
        "grains; uniform without a texture. model: voigt, reuss, hill, kroener, "
        "inverse-kroener. sample_symmetry: imposed on the average (isotropic, transversal, "
        "orthorhombic, monoclinic, triclinic); default the texture's. Runs without the GIL; "
        "progress and cancel act between the self-consistent rounds and, for a stop, before each "
        "integration inside one.");

  py::class_<StressSetResult>(m, "StressSet",
                              "The fit of one data set: stresses in MPa (xx, yy, zz, yz, xz, "
                              "xy), d0 in Angstrom.")
      .def_readonly("label", &StressSetResult::label)
      .def_property_readonly("sig", [](const StressSetResult& s) { return Array(s.sig); })
      .def_property_readonly("sig_err", [](const StressSetResult& s) { return Array(s.sigErr); })
      .def_property_readonly("sig_err_stat",
                             [](const StressSetResult& s) { return Array(s.sigErrStat); })
      .def_property_readonly("sig_err_scaled",
                             [](const StressSetResult& s) { return Array(s.sigErrScaled); })
      .def_property_readonly("d0_systematic",
                             [](const StressSetResult& s) { return Array(s.d0Systematic); })
      .def_readonly("d0_fitted", &StressSetResult::d0Fitted)
      .def_property_readonly("d0",
                             [](const StressSetResult& s) {
                               return s.d0Fitted ? py::object(py::float_(static_cast<double>(s.d0)))
                                                 : py::object(py::none());
                             })
      .def_property_readonly("d0_err",
                             [](const StressSetResult& s) {
                               return s.d0Fitted
                                          ? py::object(py::float_(static_cast<double>(s.d0Err)))
                                          : py::object(py::none());
                             })
      .def_property_readonly("chisq",
                             [](const StressSetResult& s) { return static_cast<double>(s.chisq); })
      .def_readonly("dof", &StressSetResult::dof)
      .def_property_readonly(
          "chisq_reduced",
          [](const StressSetResult& s) { return static_cast<double>(s.chisqReduced); })
      .def_readonly("rows", &StressSetResult::rows)
      .def_property_readonly("d_calc", [](const StressSetResult& s) { return Array(s.dCalc); })
      .def_readonly("unweighted", &StressSetResult::unweighted)
      .def_readonly("d0_part_left_out", &StressSetResult::d0PartLeftOut)
      .def("__repr__", [](const StressSetResult& s) {
        return "StressSet(" + py::repr(py::str(s.label)).cast<std::string>() +
               ", sig_xx=" + NumberText(static_cast<double>(s.sig[0])) +
               ", sig_yy=" + NumberText(static_cast<double>(s.sig[1])) + ")";
      });

  py::class_<Worksheet>(m, "Worksheet",
                        "A measurement worksheet (*.tsd) or table (CSV) and what its steps "
                        "computed.")
      .def(py::init(&NewWorksheet))
      .def("calc_dec", &CalcDec, "phase"_a, "model"_a = "kroener", "texture"_a = nullptr,
           "grain_shape"_a = std::array<double, 3>{1, 1, 1}, "intervals"_a = kDefaultFibreIntervals,
           "voigt_intervals"_a = 0, "orientation_distance"_a = 5.0, "progress"_a = py::none(),
           "cancel"_a = nullptr,
           "\"Calc DEC\": the stress factors (1e-6/MPa) of every row under the model (for rows "
           "whose h k l cell names none), weighted by the texture when given. Runs without the "
           "GIL; progress(row, rows) returning False or cancel.cancel() stops it.")
      .def("calc_stress", &CalcStress, "free"_a = py::none(),
           "\"Calc Stress\": fits the stresses (MPa) and d0 (Angstrom) of every data set; free "
           "names the fitted parameters, e.g. 'sig_xx sig_yy d0' (default: the worksheet's). "
           "The fits are in sets, the rows' d_calc in rows().")
      .def("calc_strain", &CalcStrain, "stresses"_a = py::none(),
           "\"Calc Strain\": spacings from the stresses of the result rows or from stresses "
           "(xx, yy, zz, yz, xz, xy in MPa) for every data set.")
      .def(
          "set_notation",
          [](Worksheet& w, const std::string& notation, bool textured) {
            if (notation != "fij" && notation != "s1")
              RaiseInputError("notation: \"fij\" or \"s1\", not \"" + notation + "\"", "notation");
            Take(SetNotation(w, notation == "fij", textured));
          },
          "notation"_a, "textured"_a = false)
      .def(
          "save", [](Worksheet& w, const std::string& path) { Take(SaveWorksheet(w, path)); },
          "path"_a)
      .def("csv_text", &WorksheetCsvText)
      .def("per_azimuth",
           [](const Worksheet& w) {
             py::list out;
             for (const AzimuthFits& set : PerAzimuth(w)) {
               py::list azimuths;
               for (const AzimuthFit& a : set.azimuths) azimuths.append(AzimuthDict(a));
               out.append(py::dict("label"_a = set.label,
                                   "several_reflections"_a = set.severalReflections,
                                   "azimuths"_a = azimuths));
             }
             return out;
           })
      .def("rows", &RowsOf,
           "The measurement rows as a dict of arrays: row, hkl (list of str), phi, psi "
           "(degrees), d, d_err, d0, d0_err (Angstrom), F (n, 6), s1, half_s2 (1e-6/MPa), "
           "intensity (m.r.d.), d_calc (Angstrom), residual ((d - d_calc) / d_err); NaN where a "
           "step has not computed it.")
      .def_property_readonly("sets", &StressSets)
      .def_property_readonly("cells", &CellsOf)
      .def_property_readonly("notation", [](const Worksheet& w) { return w.fij ? "fij" : "s1"; })
      .def_readonly("warnings", &Worksheet::warnings)
      .def_readonly("dropped_lines", &Worksheet::droppedLines)
      .def_readonly("table_lines", &Worksheet::tableLines)
      .def("__len__", &MeasurementRows);

  m.def("load_worksheet", &LoadWorksheetFrom, "path"_a, "wavelength"_a = py::none(),
        "set_column"_a = "", "skip_incomplete_rows"_a = false,
        "load_worksheet(path, wavelength=None, set_column='', skip_incomplete_rows=False) "
        "-> Worksheet\n\n"
        "Reads a worksheet (*.tsd) or a measurement table (CSV, semicolon or TAB separated; "
        "phi and psi in degrees, d and d0 in Angstrom). wavelength (Angstrom) turns a table's "
        "2theta column into d; set_column names the column of data-set labels; "
        "skip_incomplete_rows leaves out rows without d (their lines in dropped_lines). Then "
        "calc_dec(phase), calc_stress() and the results in rows() and sets (MPa).");
  m.def("evaluate_stress", &EvaluateStress, "table"_a, "phase"_a, "model"_a = "kroener",
        "free"_a = "sig_xx sig_yy d0", "texture"_a = nullptr,
        "grain_shape"_a = std::array<double, 3>{1, 1, 1}, "intervals"_a = kDefaultFibreIntervals,
        "threads"_a = 0u, "progress"_a = py::none(), "cancel"_a = nullptr,
        "evaluate_stress(table, phase, model='kroener', free='sig_xx sig_yy d0', texture=None, "
        "grain_shape=(1, 1, 1), intervals=25, threads=0, progress=None, cancel=None) -> dict\n\n"
        "The stresses of every data set of a table of columns (a dict of arrays or a pandas "
        "DataFrame) named as a measurement table names them: a label column (set, label, point, "
        "...), hkl (or h, k, l), phi and psi (degrees), d, and optionally d_err, d0, d0_err "
        "(Angstrom); other numeric columns (x, y, ...) are carried into the results. The stress "
        "factors of each distinct reflection and direction are computed once; the data sets "
        "are fitted on `threads` threads (0: one per core) with the held components at 0. "
        "Returns {'sets': {...}, 'rows': {...}}: per data set label, first_row, rows, sig_xx .. "
        "sig_xy and their _err (MPa), d0, d0_err (Angstrom), chisq, dof, chisq_reduced, the "
        "carried columns and refusal (None, or why the set was not evaluated; NaN in its "
        "numbers); per table row d_calc (Angstrom) and residual ((d - d_calc) / d_err). Runs "
        "without the GIL; progress(sets done, sets) returning False or cancel.cancel() stops "
        "it.");

  m.def("fit_single_crystal", &FitSingleCrystalFrom, "path"_a, "model"_a = "kroener",
        "cycles"_a = 20, "intervals"_a = kDefaultFibreIntervals, "report"_a = py::none(),
        "progress"_a = py::none(), "cancel"_a = nullptr,
        "fit_single_crystal(path, model='kroener', cycles=20, intervals=25, report=None, "
        "progress=None, cancel=None) -> dict\n\n"
        "Single-crystal (and matrix) constants fitted by Levenberg-Marquardt to the measured "
        "stress factors of a fit input file (*.dec), cycle after cycle while chi-square falls, "
        "at most `cycles`; the start is taken as the window's grid shows it (0.1 GPa). Returns "
        "constants, errors, matrix, matrix_errors (GPa, by Voigt name), chisq, reduced_chisq, "
        "data_points, fitted, steps, cycles, converged, calc (calculated F11 of each "
        "measurement, 1e-6/MPa) and report (the report's text). report: a file the report is "
        "appended to. Runs without the GIL; progress(steps done, 0) returning False or "
        "cancel.cancel() stops it at the end of the running cycle.");
  m.def("stiffness_in_frame", &StiffnessInFrameOf, "phase"_a,
        "x"_a = std::array<double, 3>{1, 0, 0}, "z"_a = std::array<double, 3>{0, 0, 1},
        "turn"_a = 0.0, "transverse"_a = false,
        "stiffness_in_frame(phase, x=(1, 0, 0), z=(0, 0, 1), turn=0, transverse=False) -> "
        "ndarray (6, 6)\n\n"
        "The single-crystal stiffness (GPa, Voigt notation) in the sample frame with the crystal "
        "direction <x> along sample x and [z] along sample z (perpendicular), turned by `turn` "
        "degrees about the crystal z axis; transverse averages it about sample z.");
  m.def("taylor_factor", &TaylorFactorOf, "euler"_a, "ratio"_a = py::none(),
        "taylor_factor(euler, ratio=None) -> dict\n\n"
        "The rate-sensitive Taylor factor (exponent 65) of a BCC crystal ({110}<111>) with the "
        "Bunge angles `euler` (degrees) under tension along sample x; the contraction ratio is "
        "searched for the least factor, or held at `ratio` (0..1). Returns factor and ratio.");
  m.def("schmid_factors", &SchmidFactorsOf, "phase"_a, "euler"_a,
        "schmid_factors(phase, euler) -> dict\n\n"
        "The largest Schmid factor of the twelve BCC {110}<111> systems and its system number "
        "(1..12) under tension along sample x, for the grain stress of the Kroener and of the "
        "inverse Kroener model in the phase's matrix; euler: Bunge angles in degrees.");
  m.def("grain_elongation", &GrainElongationOf, "euler"_a,
        "grain_elongation(euler) -> dict\n\n"
        "Single slip of a BCC crystal under tension along x in steps of shear 0.001 until the "
        "strain E11 reaches 0.05: final_euler (degrees), stretch (1 + E11, 1 + E22, 1 + E33), "
        "steps, step_limit_reached.");
  m.def("twin_fractions", &TwinFractionsOf, "texture"_a, "hkl"_a, "habit_plane"_a,
        "shear_direction"_a, "window"_a,
        "twin_fractions(texture, hkl, habit_plane, shear_direction, window) -> dict\n\n"
        "From the texture's ODF: twin_angle (degrees), the volume fraction of the crystals with "
        "the plane normal hkl inside window (phi_from, phi_to, psi_from, psi_to in degrees) and "
        "the fraction held by their twins (a half turn about the habit plane normal).");
}
