// The two worksheet commands of the "DEC/Stress/Strain" page on a full worksheet, run headless
// as the buttons run them: "Calc DEC" with an ODF in use (one fibre average and one fibre
// intensity per row) and "Calc Stress" over many small data sets.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "core/text_fields.h"
#include "models/stress_factors.h"
#include "texture/odf_fixtures.h"
#include "workbench/main_form.h"

namespace {

using namespace polydec;
namespace fs = std::filesystem;

constexpr int kRows = 400;

// A program folder with the material database, and an MTEX file of a cubic crystal in an
// orthorhombic sample, removed at the end of the run.
class Workbench {
 public:
  Workbench() {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("polydec_bench_worksheet_" + std::to_string(rd()));
    fs::create_directories(dir_ / "program");
    fs::copy_file(POLYDEC_SOURCE_DIR "/data/pfcryst.dat", dir_ / "program" / "pfcryst.dat");
    odf_ = (dir_ / "orth.txt").string();
    std::ofstream(odf_, std::ios::binary)
        << texture_test::MtexText(texture_test::CubicOrthTexture, 90, 90, 90, "\r\n");
    form_ = std::make_unique<workbench::MainForm>(services_, (dir_ / "program").string());
  }
  ~Workbench() {
    form_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Workbench(const Workbench&) = delete;
  Workbench& operator=(const Workbench&) = delete;

  workbench::MainForm& form() { return *form_; }
  workbench::HeadlessServices& services() { return services_; }
  const std::string& odf() const { return odf_; }

 private:
  fs::path dir_;
  std::string odf_;
  workbench::HeadlessServices services_;
  std::unique_ptr<workbench::MainForm> form_;
};

// 400 measurement rows of ferrite: four reflections, three azimuths, psi from 0 to 66 degrees.
void FillRows(workbench::MainForm& m) {
  workbench::Grid& g = m.form.GridOf("StrainGrid");
  const char* reflections[] = {"2 1 1", "1 1 0", "2 0 0", "3 1 0"};
  const char* azimuths[] = {"0", "45", "90"};
  const int cNum = m.GetStringGridColNum("#"), cHkl = m.GetStringGridColNum("h k l");
  const int cPhi = m.GetStringGridColNum("phi"), cPsi = m.GetStringGridColNum("psi");
  const int cD = m.GetStringGridColNum("d"), cD0 = m.GetStringGridColNum("d0");
  for (int r = 1; r <= kRows - 1; ++r) {
    g.SetCell(cNum, r, "1");
    g.SetCell(cHkl, r, reflections[r % 4]);
    g.SetCell(cPhi, r, azimuths[(r / 4) % 3]);
    g.SetCell(cPsi, r, std::to_string(6 * ((r / 12) % 12)));
    g.SetCell(cD, r, "1.17");
    g.SetCell(cD + 1, r, "0.0001");
    g.SetCell(cD0, r, "1.17");
    g.SetCell(cD0 + 1, r, "0.0001");
  }
}

void LoadOdf(Workbench& w) {
  workbench::MainForm& m = w.form();
  w.services().answers = {workbench::Answer::kNoToAll, workbench::Answer::kNoToAll};
  w.services().files.push_back(w.odf());
  m.Run("LoadBtnClick");
  m.form.SetChecked("UseODFBtn", true);
  m.Run("UseODFBtnClick");
}

void BM_CalcDECWithOdf(benchmark::State& state) {
  Workbench w;
  workbench::MainForm& m = w.form();
  FillRows(m);
  m.form.SetChecked("KroenerBtn", true);
  m.form.SetText("IntegIntervals", std::to_string(models::kDefaultFibreIntervals));
  m.Run("IntegIntervalsExit");
  LoadOdf(w);
  if (m.CurrentContext.ODFNUMP < 1) {
    state.SkipWithError("the ODF was not loaded");
    return;
  }
  w.services().messages.clear();
  for (auto _ : state) m.Run("FijBtnClick");
  if (!w.services().messages.empty())
    state.SkipWithError(w.services().messages.front().text.c_str());
}
BENCHMARK(BM_CalcDECWithOdf)->Unit(benchmark::kMillisecond);

// 400 rows in 40 data sets of ten, with stress factors from an untextured "Calc DEC".
void BM_CalcStress40Sets(benchmark::State& state) {
  Workbench w;
  workbench::MainForm& m = w.form();
  FillRows(m);
  workbench::Grid& g = m.form.GridOf("StrainGrid");
  const int cNum = m.GetStringGridColNum("#");
  for (int r = 1; r <= kRows - 1; ++r) g.SetCell(cNum, r, std::to_string((r - 1) / 10 + 1));
  m.Run("FijBtnClick");
  // Spacings that follow a plane stress with some scatter, so that every fit has work to do.
  std::mt19937 random(1);
  std::uniform_real_distribution<double> scatter(-5e-5, 5e-5);
  const int cD = m.GetStringGridColNum("d");
  for (int r = 1; r <= kRows - 1; ++r)
    g.SetCell(cD, r, core::FormatFixed(1.17L + scatter(random) + 1e-4L * (r % 10), 8, 6));
  w.services().messages.clear();
  for (auto _ : state) m.Run("StressBtnClick");
  if (!w.services().messages.empty())
    state.SkipWithError(w.services().messages.front().text.c_str());
}
BENCHMARK(BM_CalcStress40Sets)->Unit(benchmark::kMillisecond);

}  // namespace
