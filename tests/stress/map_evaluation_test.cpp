// The map evaluation of the public API: the same stresses as the worksheet's Calc DEC and Calc
// Stress for the same rows, whatever the threads and chunks, each stress factor computed once,
// a refused data set reported in its place, and a run that can be stopped.
#include "polydec/map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "polydec/worksheet.h"
#include "support/file_helpers.h"

namespace polydec {
namespace {

namespace fs = std::filesystem;

const std::string kDatabase = std::string(POLYDEC_BIN_DIR) + "/pfcryst.dat";

// Kroener DECs of iron 211 (1e-6/MPa), for spacings close to those the fit will see.
constexpr double kS1 = -1.26289, kHalfS2 = 5.71544, kD0 = 1.17004;
const double kPhis[] = {0, 90};
const double kPsis[] = {0, 20, 35, 50};

double Spacing(double sxx, double syy, double phiDeg, double psiDeg, double noise) {
  const double phi = phiDeg * M_PI / 180, psi = psiDeg * M_PI / 180;
  const double sphi = sxx * std::cos(phi) * std::cos(phi) + syy * std::sin(phi) * std::sin(phi);
  return kD0 * (1 + 1e-6 * (kS1 * (sxx + syy) + kHalfS2 * sphi * std::sin(psi) * std::sin(psi))) +
         noise;
}

// Five points; point "P3" is measured at phi = 0 alone, so sig_yy is not determined there.
struct Map {
  std::string csv;
  MapColumns columns;
};
Map MakeMap() {
  Map map;
  map.csv = "point,x,hkl,phi,psi,d,d_err,d0\n";
  map.columns.extraNames = {"x"};
  map.columns.extra.resize(1);
  for (int p = 1; p <= 5; ++p) {
    const std::string label = "P" + std::to_string(p);
    for (double phi : kPhis) {
      if (p == 3 && phi != 0) continue;
      for (double psi : kPsis) {
        const double noise = 1e-6 * std::sin(7.0 * p + phi + psi);
        char d[40];
        std::snprintf(d, sizeof d, "%.9f", Spacing(100.0 * p, -50.0 * p, phi, psi, noise));
        map.csv += label + "," + std::to_string(p) + ",2 1 1," + std::to_string(int(phi)) + "," +
                   std::to_string(int(psi)) + "," + d + ",2e-05," + "1.17004\n";
        map.columns.label.push_back(label);
        map.columns.hkl.push_back({2, 1, 1});
        map.columns.phi.push_back(phi);
        map.columns.psi.push_back(psi);
        map.columns.d.push_back(std::stold(d));
        map.columns.dErr.push_back(2e-5L);
        map.columns.d0.push_back(1.17004L);
        map.columns.extra[0].push_back(p);
      }
    }
  }
  return map;
}

fs::path WriteMap(const std::string& text) {
  const fs::path dir = fs::temp_directory_path() / "polydec_map_evaluation_test";
  fs::create_directories(dir);
  polydec::test::WriteFile(dir / "map.csv", text);
  return dir / "map.csv";
}

struct FileRun {
  std::vector<MapSetResult> sets;
  MapSummary summary;
};
FileRun RunFile(const fs::path& path, const Phase& phase, MapOptions options) {
  FileRun run;
  auto r = EvaluateMapFile(path.string(), phase, options, {}, nullptr, [&](const MapChunk& c) {
    EXPECT_LE(c.sets.size(), options.chunkSets);
    for (const MapSetResult& s : c.sets) run.sets.push_back(s);
  });
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().Describe());
  if (r.ok()) run.summary = *r;
  return run;
}

// The worksheet of the map's rows without those of the points the map refused, through Calc DEC
// and Calc Stress, against the map's results of the other points.
void ExpectTheWorksheetsStresses(const Map& map, const std::vector<MapSetResult>& results,
                                 const Phase& phase, const Texture* texture) {
  std::string rows;
  std::size_t fitted = 0;
  for (std::size_t at = 0, next; at < map.csv.size(); at = next + 1) {
    next = map.csv.find('\n', at);
    const std::string row = map.csv.substr(at, next - at + 1);
    bool refused = false;
    for (const MapSetResult& r : results)
      refused = refused || (r.refusal && row.rfind(r.label + ",", 0) == 0);
    if (!refused) rows += row;
  }
  for (const MapSetResult& r : results) fitted += r.fit ? 1 : 0;
  Worksheet sheet = LoadWorksheet(WriteMap(rows).string()).value();
  ASSERT_TRUE(CalcWorksheetDec(sheet, phase, {}, texture).ok());
  ASSERT_TRUE(CalcWorksheetStress(sheet).ok());
  ASSERT_EQ(sheet.sets.size(), fitted);
  std::size_t k = 0;
  for (const MapSetResult& r : results) {
    if (r.refusal) continue;
    SCOPED_TRACE(r.label);
    const StressSetResult& w = sheet.sets[k++];
    ASSERT_TRUE(r.fit);
    EXPECT_EQ(r.fit->label, w.label);
    EXPECT_EQ(r.extra, std::vector<std::string>{r.label.substr(1)});
    EXPECT_EQ(r.rows, r.label == "P3" ? 4 : 8);
    // The worksheet fits the factors as its cells hold them, to six decimals.
    for (int p = 0; p < 6; ++p) {
      EXPECT_NEAR(static_cast<double>(r.fit->sig[p]), static_cast<double>(w.sig[p]), 1e-3);
      EXPECT_NEAR(static_cast<double>(r.fit->sigErr[p]), static_cast<double>(w.sigErr[p]), 1e-4);
    }
    EXPECT_NEAR(static_cast<double>(r.fit->d0), static_cast<double>(w.d0), 1e-9);
    EXPECT_EQ(r.fit->dof, w.dof);
    EXPECT_NEAR(static_cast<double>(r.fit->chisq), static_cast<double>(w.chisq), 1e-3);
  }
}

TEST(MapEvaluation, GivesTheWorksheetsStressesAndRefusesOnlyTheUndeterminedPoint) {
  const Phase iron = LoadMaterial("iron", kDatabase).value();
  const Map map = MakeMap();
  const fs::path path = WriteMap(map.csv);
  const FileRun run = RunFile(path, iron, {});
  ASSERT_EQ(run.sets.size(), 5u);
  EXPECT_EQ(run.summary.refused, 1u);
  EXPECT_EQ(run.summary.columns, std::vector<std::string>{"x"});
  // Eight distinct directions, whatever the number of points.
  EXPECT_EQ(run.summary.factorsComputed, 8u);

  const MapSetResult& p3 = run.sets[2];
  EXPECT_EQ(p3.label, "P3");
  ASSERT_TRUE(p3.refusal);
  EXPECT_FALSE(p3.fit);
  EXPECT_NE(p3.refusal->message.find("sig_yy"), std::string::npos) << p3.refusal->Describe();
  EXPECT_EQ(p3.refusal->file, path.string());
  ExpectTheWorksheetsStresses(map, run.sets, iron, nullptr);
}

// With an ODF the factors are the textured ones the worksheet's Calc DEC gives.
TEST(MapEvaluation, TexturedFactorsAreTheWorksheetsToo) {
  const Phase iron = LoadMaterial("iron", kDatabase).value();
  TextureSource source;
  source.path = POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf";
  source.format = TextureFormat::kMtex;
  const Texture texture = LoadTexture(source).value();
  const Map map = MakeMap();
  std::vector<MapSetResult> sets;
  const auto r = EvaluateMapFile(WriteMap(map.csv).string(), iron, {}, {}, &texture,
                                 [&](const MapChunk& c) {
                                   sets.insert(sets.end(), c.sets.begin(), c.sets.end());
                                 });
  ASSERT_TRUE(r.ok()) << r.error().Describe();
  ASSERT_EQ(sets.size(), 5u);
  ExpectTheWorksheetsStresses(map, sets, iron, &texture);
  // The texture moves the stresses away from the untextured ones the spacings were made from.
  const auto untextured = EvaluateMap(map.columns, iron, {});
  ASSERT_TRUE(untextured.ok());
  EXPECT_GT(std::fabs(static_cast<double>(sets[0].fit->sig[0] - (*untextured)[0].fit->sig[0])), 0.1);
}

TEST(MapEvaluation, ThreadsAndChunksDoNotChangeABitAndTheColumnsGiveTheFilesResults) {
  const Phase iron = LoadMaterial("iron", kDatabase).value();
  const Map map = MakeMap();
  const fs::path path = WriteMap(map.csv);
  MapOptions one;
  one.threads = 1;
  MapOptions two;
  two.threads = 2;
  two.chunkSets = 2;
  const FileRun a = RunFile(path, iron, one), b = RunFile(path, iron, two);
  auto columns = EvaluateMap(map.columns, iron, two);
  ASSERT_TRUE(columns.ok());
  ASSERT_EQ(a.sets.size(), b.sets.size());
  ASSERT_EQ(columns->size(), a.sets.size());
  for (std::size_t k = 0; k < a.sets.size(); ++k) {
    const MapSetResult &x = a.sets[k], &y = b.sets[k], &z = (*columns)[k];
    EXPECT_EQ(x.label, y.label);
    EXPECT_EQ(x.index, k);
    EXPECT_EQ(z.label, x.label);
    EXPECT_EQ(z.extraValues, std::vector<Real>{Real(k + 1)});
    ASSERT_EQ(x.fit.has_value(), y.fit.has_value());
    ASSERT_EQ(x.fit.has_value(), z.fit.has_value());
    if (!x.fit) continue;
    EXPECT_EQ(x.fit->sig, y.fit->sig);
    EXPECT_EQ(x.fit->sigErr, y.fit->sigErr);
    EXPECT_EQ(x.fit->sigErrScaled, y.fit->sigErrScaled);
    EXPECT_EQ(x.fit->d0, y.fit->d0);
    EXPECT_EQ(x.fit->chisq, y.fit->chisq);
    EXPECT_EQ(x.fit->dCalc, y.fit->dCalc);
    for (int p = 0; p < 6; ++p)
      EXPECT_NEAR(static_cast<double>(z.fit->sig[p]), static_cast<double>(x.fit->sig[p]), 1e-9);
  }
}

TEST(MapEvaluation, AStopSaysWhereAndUnequalColumnsAreRefused) {
  const Phase iron = LoadMaterial("iron", kDatabase).value();
  Map map = MakeMap();
  MapOptions options;
  options.chunkSets = 1;
  std::size_t calls = 0;
  const auto stopped = EvaluateMap(map.columns, iron, options, nullptr,
                                   [&](std::size_t done, std::size_t total) {
                                     EXPECT_EQ(total, 5u);
                                     ++calls;
                                     return done < 2;
                                   });
  ASSERT_FALSE(stopped.ok());
  EXPECT_EQ(calls, 2u);
  EXPECT_NE(stopped.error().message.find("after 2 of 5"), std::string::npos);

  std::size_t delivered = 0;
  const auto file = EvaluateMapFile(
      WriteMap(map.csv).string(), iron, options, {}, nullptr,
      [&](const MapChunk& c) { delivered += c.sets.size(); },
      [](const MapProgress& p) { return p.setsDone < 3; });
  ASSERT_FALSE(file.ok());
  EXPECT_EQ(delivered, 3u);
  EXPECT_NE(file.error().message.find("after 3 data sets"), std::string::npos);

  map.columns.psi.pop_back();
  const auto unequal = EvaluateMap(map.columns, iron, options);
  ASSERT_FALSE(unequal.ok());
  EXPECT_EQ(unequal.error().field, "psi");
}

}  // namespace
}  // namespace polydec
