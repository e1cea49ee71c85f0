#include "models/stress_factors.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "core/tensor_inversion.h"
#include "core/text_fields.h"
#include "crystal/lattice.h"
#include "models/eshelby.h"
#include "models/fibre_average.h"
#include "models/macro_operation.h"
#include "models/reflection_dec.h"
#include "texture/odf_fiber.h"

namespace polydec::models {

using core::Tensor2;
using core::Tensor4;

namespace {

// Blank- or TAB-separated tokens of a line read free-format.
std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> tokens;
  std::istringstream in(line);
  std::string t;
  while (in >> t) tokens.push_back(t);
  return tokens;
}

bool ParseGrainLine(const std::string& line, GrainLine& g) {
  const std::vector<std::string> t = Tokens(line);
  if (t.size() < 12) return false;
  Real* fields[] = {&g.h, &g.k, &g.l, &g.phi, &g.psi, &g.a, &g.b, &g.c, &g.e1, &g.e2, &g.e3};
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    const core::ParsedNumber x = core::ParseNumber(t[i]);
    if (!x.ok()) return false;
    *fields[i] = x.value;
  }
  const core::ParsedInteger code = core::ReadInteger(t[11]);
  if (!code.ok()) return false;
  g.code = static_cast<polydec::ModelCode>(code.value);
  return true;
}

std::string GrainOutputLine(const GrainLine& gl, const Tensor2& F) {
  using core::FormatFixed;
  using core::FormatPadded;
  std::string code = std::to_string(gl.code);
  if (code.size() < 2) code.insert(0, 2 - code.size(), ' ');
  const Real toDeg = 180 / core::kPi;
  const std::string fields[] = {
      FormatPadded(gl.h, 2, 0),          FormatPadded(gl.k, 2, 0),
      FormatPadded(gl.l, 2, 0),          FormatPadded(gl.phi, 5, 1),
      FormatPadded(gl.psi, 5, 1),        FormatPadded(gl.a, 5, 3),
      FormatPadded(gl.b, 5, 3),          FormatPadded(gl.c, 5, 3),
      FormatPadded(gl.e1 * toDeg, 5, 1), FormatPadded(gl.e2 * toDeg, 5, 1),
      FormatPadded(gl.e3 * toDeg, 5, 1), code,
      FormatFixed(1000 * F(1, 1), 9, 6), FormatFixed(1000 * F(2, 2), 9, 6),
      FormatFixed(1000 * F(3, 3), 9, 6), FormatFixed(1000 * F(2, 3), 9, 6),
      FormatFixed(1000 * F(1, 3), 9, 6), FormatFixed(1000 * F(1, 2), 9, 6)};
  std::string text;
  for (const std::string& f : fields) text += (text.empty() ? "" : "\t") + f;
  return text + "\r\n";
}

// A grains file loaded as the texture: its weighted orientations stand for the sample.
bool GrainSetInUse(const core::OrientationsRec& ctx) {
  return ctx.UseGrains && !ctx.GOrient.phi1.empty();
}

bool TextureInUse(const core::OrientationsRec& ctx) {
  return (ctx.UseODF && ctx.ODFNUMP >= 1) || GrainSetInUse(ctx);
}

}  // namespace

std::string BuildPhaseContext(const PhaseInputs& in, core::OrientationsRec& ctx) {
  core::CrystalData& c = ctx.Cryst;
  crystal::SetCellFromDegrees(c, in.cell[0], in.cell[1], in.cell[2], in.cell[3], in.cell[4],
                              in.cell[5]);
  c.SYS = in.crystalClass;
  ctx.AxisLength = in.grainShape;
  ctx.InvSym = in.fastInversion ? 10 : 11;
  crystal::InitCrystal(c);
  ctx.SYMMETRY = in.sampleSymmetry;
  ctx.Lr = in.crystal;
  ctx.L = in.matrix;
  ctx.M = ctx.L;
  core::InvertTensor(ctx.M, ctx.SYMMETRY);
  ctx.Mr = ctx.Lr;
  core::InvertTensor(ctx.Mr, c.SYS);
  ctx.AlwaysUpdateEshelby = false;
  if (!UpdateEshelby(ctx)) return CheckAxes(ctx.AxisLength);
  return {};
}

int DefaultEulerIntervals(SampleSymmetry sampleSymmetry) {
  return sampleSymmetry == core::kMonoclinicSampleY || sampleSymmetry == core::kMonoclinicSampleZ ||
                 sampleSymmetry == core::kTriclinicSample
             ? 2 * kDefaultEulerIntervals
             : kDefaultEulerIntervals;
}

int DefaultEulerIntervals(SampleSymmetry sampleSymmetry, ModelCode model) {
  const int n = DefaultEulerIntervals(sampleSymmetry);
  return model == polydec::kKroener || model == polydec::kInverseKroener ? 2 * n : n;
}

bool FibreIntervalsUsable(int n) { return n >= 1 && n <= texture::kMaxFiberIntervals; }

std::string FibreIntervalsMessage() {
  return "The number of integration intervals must be a whole number from 1 to " +
         std::to_string(texture::kMaxFiberIntervals) + ".";
}

std::string ModelNotAvailableMessage(ModelCode code) {
  return "Model not available (" + models::ModelName(code) + ")";
}

StressFactorCalculator::StressFactorCalculator(core::OrientationsRec phase, bool fibre)
    : ctx_(std::move(phase)), fibre_(fibre) {}

bool StressFactorCalculator::ElasticTensor(ModelCode code, Tensor4& T,
                                           const texture::FiberSamples* samples) {
  if (!fibre_) {
    ctx_.SYMMETRY = polydec::kIsotropicSample;
    // An ellipsoid fixed in the sample couples a grain differently to each direction: s1 and
    // 1/2 s2 are those of the measurement's direction, from the grains of its fibre (the
    // reflection's own formula would set the ellipsoid against the crystal's axes).
    if (DecDependsOnDirection(code, ctx_.AxisLength)) {
      const core::PolarAnglesRec direction = ctx_.SamplePolAngles;
      return CalcDirectionalDEC(ctx_, code, direction.phi, direction.psi, ctx_.s1, ctx_.s2);
    }
    // The reflection's formula resets the grain shape it does not use; the next measurement
    // keeps the one given.
    const core::EllipsoidAxisLength shape = ctx_.AxisLength;
    core::CijklVector buffer{};
    const bool made = CalcReflectionDEC(ctx_, buffer, code);
    ctx_.AxisLength = shape;
    if (!made) return false;
    core::CijklToTensor(buffer, T);
    return true;
  }
  return FibreTensor(code, T, samples);
}

bool StressFactorCalculator::FibreTensor(ModelCode code, Tensor4& T,
                                         const texture::FiberSamples* samples) {
  const bool textured = TextureInUse(ctx_);
  if (code == kVoigt && textured) return TexturedVoigtCompliance(T);
  if (code != kHill) return AverageAlongFiber(ctx_, T, code, samples);
  // Hill's estimate: the mean of the Voigt and Reuss grain compliances.
  Tensor4 voigt, reuss;
  const bool voigtMade =
      textured ? TexturedVoigtCompliance(voigt) : AverageAlongFiber(ctx_, voigt, kVoigt, samples);
  if (!voigtMade || !AverageAlongFiber(ctx_, reuss, kReuss, samples)) return false;
  for (std::size_t n = 0; n < T.e.size(); ++n) T.e[n] = (voigt.e[n] + reuss.e[n]) / 2;
  return true;
}

bool StressFactorCalculator::TexturedVoigtCompliance(Tensor4& T) {
  if (!texturedVoigt_) {
    core::OrientationsRec phase = ctx_;
    phase.UseGrains = GrainSetInUse(ctx_);
    // The Euler-space integral costs (2N + 1)^3 grain tensors where the fibre average costs
    // 2N + 1, so it keeps its own count.
    phase.IIntervls =
        eulerIntervals_ > 0
            ? eulerIntervals_
            : DefaultEulerIntervals(static_cast<polydec::SampleSymmetry>(phase.SYMMETRY));
    const MacroStiffnessResult r =
        CalcMacroStiffness(phase, MacroTexture::kOrientations, kVoigt, nullptr);
    if (r.status != MacroStatus::kOk) return false;
    Tensor4 compliance = phase.L;
    core::InvertTensor(compliance, phase.SYMMETRY);
    texturedVoigt_ = compliance;
  }
  T = *texturedVoigt_;
  return true;
}

std::string StressFactorCalculator::Compute(const FactorMeasurement& m, MeasurementFactors& out) {
  core::OrientationsRec& ctx = ctx_;
  ctx.SamplePolAngles = {m.phi, m.psi};
  for (int i = 1; i <= 3; ++i) ctx.hkl(i) = m.hkl[i - 1];
  const bool available =
      fibre_ ? FibreModelAvailable(m.code) : ReflectionModelAvailable(m.code);
  if (!available) return ModelNotAvailableMessage(m.code);

  // Axes given with the measurement give the grain its own ellipsoid; a refused shape stops
  // before any tensor is built from it.
  Real* axes[] = {&ctx.AxisLength.a, &ctx.AxisLength.b, &ctx.AxisLength.c};
  bool shapeGiven = false;
  for (int i = 0; i < 3; ++i) {
    if (!m.axes[i]) continue;
    *axes[i] = *m.axes[i];
    shapeGiven = true;
  }
  if (shapeGiven) {
    const std::string refused = CheckAxes(ctx.AxisLength);
    if (!refused.empty()) return refused;
  }
  if (m.axes[2]) UpdateEshelby(ctx);

  ctx.CrystPolAngles = crystal::HKLToPolarAngles(ctx.Cryst, m.hkl[0], m.hkl[1], m.hkl[2]);
  // The pole density's samples of the ODF along the fibre also weight the fibre average.
  std::optional<texture::FiberSamples> samples;
  out.intensity = 1;
  if (ctx.UseODF && ctx.ODFNUMP >= 1) {
    samples = texture::SampleFiber(ctx, texture::kPoleDensityIntervals, m.psi, m.phi,
                                   ctx.CrystPolAngles.psi, ctx.CrystPolAngles.phi);
    // The pole density in multiples of random distribution: the mean of the ODF (itself in
    // m.r.d.) over the turn about the scattering vector, so a uniform texture gives 1.
    out.intensity = texture::FiberIntegral(ctx, *samples) / (2 * core::kPi);
    // No grain of the texture diffracts there: the average over the fibre has no weight, and
    // zeros in its place would enter a fit as stress factors that were measured.
    if (!(out.intensity > 0))
      return "The ODF is zero along the whole diffraction fibre of " +
             core::FormatGeneral(m.hkl[0]) + " " + core::FormatGeneral(m.hkl[1]) + " " +
             core::FormatGeneral(m.hkl[2]) + " at phi = " +
             core::FormatGeneral(m.phi * 180 / core::kPi) + ", psi = " +
             core::FormatGeneral(m.psi * 180 / core::kPi) +
             ": no grain of the texture diffracts there, so there are no stress factors";
  }
  ctx.SamplePolAngles = {m.phi, m.psi};
  Tensor4 T;
  if (!ElasticTensor(m.code, T, samples ? &*samples : nullptr))
    return ModelNotAvailableMessage(m.code);
  if (fibre_) out.F = StressFactorMatrix(T, m.phi, m.psi);
  out.s1 = ctx.s1;
  out.s2half = ctx.s2;
  return {};
}

std::string StressFactorCalculator::ComputeGrain(const GrainLine& gl, Tensor2& F) {
  core::OrientationsRec& ctx = ctx_;
  if (!FibreModelAvailable(gl.code)) return ModelNotAvailableMessage(gl.code);
  ctx.hkl(1) = gl.h;
  ctx.hkl(2) = gl.k;
  ctx.hkl(3) = gl.l;
  ctx.AxisLength = {gl.a, gl.b, gl.c};
  ctx.EllipsoidOrient = {gl.e1, gl.e2, gl.e3};
  if (!UpdateEshelby(ctx)) return CheckAxes(ctx.AxisLength);
  const Real phiS = gl.phi * core::kPi / 180, psiS = gl.psi * core::kPi / 180;
  ctx.SamplePolAngles = {phiS, psiS};
  ctx.CrystPolAngles = crystal::HKLToPolarAngles(ctx.Cryst, gl.h, gl.k, gl.l);
  Tensor4 T;
  if (!FibreTensor(gl.code, T)) return ModelNotAvailableMessage(gl.code);
  F = StressFactorMatrix(T, phiS, psiS);
  return {};
}

GrainsFileResult ComputeGrainsFile(const std::string& content, const std::string& inPath,
                                   StressFactorCalculator& calc,
                                   const std::function<void(std::size_t line)>& progress) {
  GrainsFileResult out;
  std::vector<std::string> lines;
  {
    std::istringstream text(content);
    std::string line;
    while (std::getline(text, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
  }
  for (std::size_t n = 1; n <= lines.size(); ++n) {
    const std::string& line = lines[n - 1];
    if (Tokens(line).empty()) continue;
    const std::string where = " in " + inPath + " at line " + std::to_string(n);
    GrainLine gl;
    if (!ParseGrainLine(line, gl)) {
      out.error = "Fields are missing or have the wrong format" + where;
      return out;
    }
    Tensor2 F;
    const std::string refused = calc.ComputeGrain(gl, F);
    if (!refused.empty()) {
      out.error = refused + where;
      return out;
    }
    out.text += GrainOutputLine(gl, F);
    if (progress) progress(n);
  }
  return out;
}

}  // namespace polydec::models
