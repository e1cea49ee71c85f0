// Choosing reflections on the "Isotropic" page, headless: "List reflections" gives the table of
// the command line for the phase on the page, the plot's points follow the table, and the
// directional pictures carry the single crystal's extremes.
#include "workbench/reflection_page.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/run_cli.h"
#include "core/text_fields.h"
#include "support/file_helpers.h"
#include "workbench/main_form.h"

namespace polydec::workbench {
namespace {

namespace fs = std::filesystem;

class ReflectionPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeProgramFolder("polydec_reflection_page_");
    m_ = std::make_unique<MainForm>(services_, dir_.string());
    services_.messages.clear();
  }
  void TearDown() override {
    m_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Form& form() { return m_->form; }

  HeadlessServices services_;
  std::unique_ptr<MainForm> m_;
  fs::path dir_;
};

// The window's table shows, to its decimals, the numbers `polydec dec --all` prints for the
// material on the page.
TEST_F(ReflectionPageTest, TableIsTheCommandLines) {
  form().SetText("MaxIndexEdit", "3");
  form().SetText("ReflWavelengthEdit", "1.79");
  ASSERT_TRUE(m_->Run("ReflectionTableBtnClick"));
  ASSERT_TRUE(services_.messages.empty()) << services_.messages.front().text;
  ASSERT_TRUE(m_->ShownReflections.has_value());
  EXPECT_EQ(m_->ReflectionRequests, 1);
  const ReflectionTableText t = ReflectionTableTexts(*m_->ShownReflections, m_->ShownReflectionsClass);

  const cli_test::CliRun run = cli_test::RunPolydec(
      {"dec", "--material", form().Text("CompoundNameBox"), "--all", "--max-index", "3",
       "--wavelength", "1.79", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto rows = nlohmann::json::parse(run.out)["rows"];
  ASSERT_EQ(t.rows.size(), rows.size());
  const auto text = [](const nlohmann::json& v, int decimals) {
    return v.is_null() ? std::string("-") : core::FormatPadded(v.get<double>(), 0, decimals);
  };
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const auto& cli = rows[r];
    const std::vector<std::string>& w = t.rows[r];
    EXPECT_EQ(w[0], cli["hkl_text"].get<std::string>());
    EXPECT_EQ(w[1], std::to_string(cli["multiplicity"].get<int>()));
    EXPECT_EQ(w[2], text(cli["d"], 5));
    EXPECT_EQ(w[3], text(cli["two_theta"], 3));
    EXPECT_EQ(w[4], text(cli["gamma3"], 4));
    std::size_t c = 5;
    for (const char* model : {"voigt", "reuss", "hill", "kroener", "inverse-kroener"}) {
      const auto& m = cli["models"][model];
      EXPECT_EQ(w[c++], text(m["s1"], 4)) << model << " row " << r;
      EXPECT_EQ(w[c++], text(m["half_s2"], 4)) << model << " row " << r;
      EXPECT_EQ(w[c++], text(m["E"], 1)) << model << " row " << r;
      EXPECT_EQ(w[c++], text(m["nu"], 4)) << model << " row " << r;
    }
    EXPECT_EQ(c, t.header.size());
  }

  // The plot: one series per model, a point per family at its 3 Gamma.
  const ReflectionPlot p = BuildReflectionPlot(*m_->ShownReflections, m_->ShownReflectionsClass,
                                               ReflectionPlotQuantity::kHalfS2);
  ASSERT_EQ(p.series.size(), 5u);
  ASSERT_EQ(p.labels.size(), rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    EXPECT_EQ(p.series[1].x[r], rows[r]["gamma3"].get<double>());
    EXPECT_EQ(p.series[1].y[r], rows[r]["models"]["reuss"]["half_s2"].get<double>());
  }
}

TEST_F(ReflectionPageTest, BoxesThatDoNotReadAreNamed) {
  struct Case {
    const char* box;
    const char* text;
    const char* message;
  };
  const Case cases[] = {{"MaxIndexEdit", "x", "largest index"},
                        {"MaxIndexEdit", "2.5", "whole number"},
                        {"MaxIndexEdit", "0", "between 1 and"},
                        {"ReflWavelengthEdit", "-1", "wavelength"}};
  for (const Case& c : cases) {
    form().SetText("MaxIndexEdit", "2");
    form().SetText("ReflWavelengthEdit", "1.5406");
    form().SetText(c.box, c.text);
    services_.messages.clear();
    m_->ShownReflections.reset();
    ASSERT_TRUE(m_->Run("ReflectionTableBtnClick"));
    ASSERT_FALSE(services_.messages.empty()) << c.text;
    EXPECT_NE(services_.messages.front().text.find(c.message), std::string::npos)
        << services_.messages.front().text;
    EXPECT_FALSE(m_->ShownReflections.has_value());
  }
}

TEST_F(ReflectionPageTest, DirectionalPicturesOfThePhase) {
  ASSERT_TRUE(m_->Run("YoungMapBtnClick"));
  ASSERT_TRUE(m_->ShownSurvey.has_value());
  EXPECT_EQ(m_->ShownSurvey->quantity, DirectionalQuantity::kYoungsModulus);
  EXPECT_GT(m_->ShownSurvey->maximum.value, m_->ShownSurvey->minimum.value);
  ASSERT_TRUE(m_->Run("CompressibilityMapBtnClick"));
  EXPECT_EQ(m_->ShownSurvey->unit, "1/TPa");
  EXPECT_EQ(m_->SurveyRequests, 2);
}

}  // namespace
}  // namespace polydec::workbench
