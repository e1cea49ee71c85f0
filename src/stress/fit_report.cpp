#include "stress/fit_report.h"

#include "core/text_fields.h"

namespace polydec::stress {

namespace {

std::string Components(const std::array<Real, 6>& v) {
  std::string s;
  for (Real x : v) s += " " + core::FormatFixed(x, 7, 2);
  return s;
}

}  // namespace

std::vector<std::string> UncertaintyReport(const std::vector<StressSetResult>& sets) {
  std::vector<std::string> lines;
  lines.push_back("Uncertainties (MPa, in the order sig_xx sig_yy sig_zz sig_yz sig_xz sig_xy)");
  for (const StressSetResult& r : sets) {
    lines.push_back("Data set " + r.label + ": chisq " + core::FormatExponent(r.chisq, 3, 2) +
                    ", dof " + std::to_string(r.dof) + ", chisq/dof " +
                    (r.dof > 0 ? core::FormatExponent(r.chisqReduced, 3, 2) : "-"));
    if (r.unweighted)
      lines.push_back("  no uncertainties of d given: unweighted fit, uncertainties from the "
                      "scatter");
    if (r.d0PartLeftOut)
      lines.push_back("  d0 held without its uncertainty: the d0 part is left out");
    lines.push_back("  from stated d uncertainties:" + Components(r.sigErrStat));
    lines.push_back("  scaled by sqrt(chisq/dof):  " +
                    (r.dof > 0 ? Components(r.sigErrScaled) : std::string(" - (no dof)")));
    if (!r.d0Fitted) {
      lines.push_back("  from the d0 uncertainty:    " + Components(r.d0Systematic));
      continue;
    }
    lines.push_back("  strain-free correction " + core::FormatExponent(r.d0Correction, 4, 2) +
                    " +/- " + core::FormatExponent(r.d0CorrectionErr, 3, 2));
    for (const ReflectionD0& ref : r.reflections)
      lines.push_back("  d0 of row " + std::to_string(ref.row) + " (" +
                      core::FormatFixed(ref.d0Row, 8, 6) + "): " +
                      core::FormatFixed(ref.d0, 8, 6) + " +/- " +
                      core::FormatFixed(ref.d0Err, 8, 6));
  }
  return lines;
}

}  // namespace polydec::stress
