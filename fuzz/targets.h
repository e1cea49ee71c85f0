// Entry points that feed one input of arbitrary bytes to each reader of the program. The
// fuzzers (libFuzzer, with AddressSanitizer and UndefinedBehaviorSanitizer) call them with
// mutated files; the test suite replays the regression corpus through them. Each returns 0;
// a reader that refuses its input is fine, a crash, a sanitizer finding or a hang is not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace polydec::fuzz {

using Target = int (*)(const std::uint8_t* data, std::size_t size);

struct NamedTarget {
  const char* name;  // also the folder of its corpus
  Target run;
};

int MaterialDatabase(const std::uint8_t* data, std::size_t size);
// The ODF readers up to the values on the grid, without the expansion over Euler space.
int PoplaODF(const std::uint8_t* data, std::size_t size);
int MtexODF(const std::uint8_t* data, std::size_t size);
// The whole load of an ODF, expansion and check included (slower): popla when the first byte is
// even, else MTEX.
int OdfExpansion(const std::uint8_t* data, std::size_t size);
int GrainsFile(const std::uint8_t* data, std::size_t size);
// The orientation lists (Euler tables, .ang and .ctf maps), some with their kernel ODF.
int OrientationTable(const std::uint8_t* data, std::size_t size);
int AngMap(const std::uint8_t* data, std::size_t size);
int CtfMap(const std::uint8_t* data, std::size_t size);
int Worksheet(const std::uint8_t* data, std::size_t size);
// The worksheet loaded in a window, then "Calc DEC" and "Calc Stress" run on what was read.
int WorksheetCalc(const std::uint8_t* data, std::size_t size);
int MeasurementTable(const std::uint8_t* data, std::size_t size);
int StressFactorFile(const std::uint8_t* data, std::size_t size);
int FitInput(const std::uint8_t* data, std::size_t size);
int Settings(const std::uint8_t* data, std::size_t size);

// Every target with its name.
const std::vector<NamedTarget>& Targets();

}  // namespace polydec::fuzz
