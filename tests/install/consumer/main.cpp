// The DEC of iron 211 under the Kroener model from the installed database given as argument.
#include <polydec/dec.h>
#include <polydec/phase.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const auto iron = polydec::LoadMaterial("iron", argv[1]);
  if (!iron) {
    std::fprintf(stderr, "%s\n", iron.error().Describe().c_str());
    return 1;
  }
  const auto dec = polydec::ComputeDec(*iron, {2, 1, 1});
  if (!dec) return 1;
  std::printf("s1 %.5Lf half_s2 %.5Lf\n", static_cast<long double>(dec->s1),
              static_cast<long double>(dec->halfS2));
  return 0;
}
