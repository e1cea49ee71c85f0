// The texture commands run headless: the writers of the Texture page, the compound-ODF grid,
// the symmetric equivalents, and the pole figure with its view request.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/text_fields.h"
#include "core/text_lines.h"
#include "support/file_helpers.h"
#include "polydec/texture.h"
#include "workbench/main_form.h"

namespace polydec::workbench {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> FileLines(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return core::SplitLines(s.str());
}

class TexturePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeProgramFolder("polydec_texture_page_", {"random228.wts"});
    m_ = std::make_unique<MainForm>(services_, dir_.string());
    services_.messages.clear();
  }
  void TearDown() override {
    m_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Form& form() { return m_->form; }
  std::string Path(const std::string& name) { return (dir_ / name).string(); }
  // Loads the example rolling texture through "Load ODF".
  void LoadExample() {
    services_.files.push_back(POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf");
    m_->Run("LoadBtnClick");
    ASSERT_EQ(m_->CurrentContext.ODFNUMP, 197173);
    services_.messages.clear();
  }

  fs::path dir_;
  HeadlessServices services_;
  std::unique_ptr<MainForm> m_;
};

TEST_F(TexturePageTest, EveryTextureButtonHasItsCommand) {
  for (const char* name : {"WtsFileBtn", "WriteODFBtn", "EulerAnglesBtn", "WriteSymEquiPosBtn",
                           "TexCompBtn", "Button1", "FijODFBtn", "lamdaODFBtn", "SymEquiPos",
                           "CalcCompoundODF", "CalcPFBtn", "ShowPoleFigureBtn", "ODFGrid"})
    EXPECT_TRUE(m_->HasCommand(form()[name].command)) << name;
}

TEST_F(TexturePageTest, WriteOdfRefusesSectionLayoutsWithoutAnOdf) {
  for (int filter : {2, 3, 4}) {
    form().saveDialog.filterIndex = filter;
    services_.files.push_back(Path("odf.dat"));
    m_->Run("WriteODFBtnClick");
  }
  EXPECT_EQ(services_.messages.size(), 3u);
  EXPECT_NE(services_.messages[0].text.find("Load an ODF first"), std::string::npos);
  EXPECT_FALSE(fs::exists(Path("odf.dat")));
}

TEST_F(TexturePageTest, WrittenOdfAndGrainsReadBack) {
  LoadExample();
  form().saveDialog.filterIndex = 1;
  services_.files.push_back(Path("full.dat"));
  m_->Run("WriteODFBtnClick");
  EXPECT_EQ(form().saveDialog.title, "Write lamda fiber-ODF file.");
  EXPECT_EQ(FileLines(Path("full.dat")).size(), 1u + 197173);
  const core::DataVector before = m_->CurrentContext.ODF;
  services_.files.push_back(Path("full.dat"));
  m_->Run("LoadBtnClick");
  for (std::size_t n = 0; n < 197173; n += 37)
    ASSERT_NEAR(m_->CurrentContext.ODF[n], before[n], 5.1e-6) << n;

  form().SetText("OrtDistBox", "228");
  services_.files.push_back(Path("grains.wts"));
  m_->Run("WtsFileBtnClick");
  const auto lines = FileLines(Path("grains.wts"));
  ASSERT_EQ(lines.size(), 4u + 228);
  EXPECT_EQ(form().saveDialog.title, "");
  // The weights written are the ODF at each grain, which the context's grain set now holds.
  const core::GrainOrientations& grains = m_->CurrentContext.GOrient;
  ASSERT_EQ(grains.weight.size(), 228u);
  for (std::size_t i = 0; i < 228; i += 19)
    EXPECT_NEAR(core::ParseNumber(core::GetTabField(lines[4 + i], 4)).value, grains.weight[i],
                5.1e-5);
}

TEST_F(TexturePageTest, CompoundGridFillsRowsFromTheTopAndNeedsWeights) {
  Grid& g = form().GridOf("ODFGrid");
  g.col = 0, g.row = 3;
  m_->Run("ODFGridMouseDown");
  EXPECT_TRUE(services_.dialogs.empty());

  for (int r : {1, 2}) {
    g.col = 0, g.row = r;
    services_.files.push_back(POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf");
    m_->Run("ODFGridMouseDown");
    ASSERT_FALSE(g.Cell(2, r).empty());
  }
  const core::DataVector single = m_->CurrentContext.ODF;
  g.SetCell(1, 1, " 2");
  g.SetCell(1, 2, "2 ");
  services_.messages.clear();
  m_->Run("CalcCompoundODFClick");
  ASSERT_EQ(services_.Texts(), std::vector<std::string>{"Weight is missing."});
  g.SetCell(1, 2, "0");
  m_->Run("CalcCompoundODFClick");
  EXPECT_EQ(form().statusPanels[0], "Compound ODF built successfully.");
  for (std::size_t n = 0; n < 197173; n += 53) ASSERT_EQ(m_->CurrentContext.ODF[n], single[n]);
}

// A typed text that does not read is named and nothing is written: no file of the
// orientation 0 0 0 or the reflection 1 0 -1 read from the first three words, and a file the
// user chose keeps what it held.
TEST_F(TexturePageTest, TypedTextsThatDoNotReadWriteNothing) {
  const struct Case {
    const char* command;
    const char* box;
    const char* text;
    const char* message;
    bool dialog;
  } cases[] = {
      {"SymEquiPosClick", "SymEquiEdit", "10 2O 30",
       "\"Sym-Equi Positions\" needs 3 numbers; word 2 of \"10 2O 30\" is not a number.", false},
      {"SymEquiPosClick", "SymEquiEdit", "10 20",
       "\"Sym-Equi Positions\" needs 3 numbers; word 3 of \"10 20\" is not a number.", false},
      {"lamdaODFBtnClick", "DirConstHKLEdit", "0 0 1 l 0",
       "\"phi,psi, hkl\" needs 5 numbers; word 4 of \"0 0 1 l 0\" is not a number.", true},
      {"TexCompBtnClick", "DirConstHKLEdit", "0 0 1 1", "Data for hkl,phi,psi missing!", true},
      {"TexCompBtnClick", "DirConstHKLEdit", "0 x 1 1 0",
       "\"phi,psi, hkl\" needs 5 numbers; word 2 of \"0 x 1 1 0\" is not a number.", true},
      {"TexCompBtnClick", "TexCompWindowEdit", "five",
       "Not a valid input for Search window (degrees) for I(TexComp)!", true},
      {"EulerAnglesBtnClick", "czhkl", "1 0 -1 1",
       "Not a valid input for h k l: 1 0 -1 1 (four indices h k i l are for hexagonal and "
       "trigonal phases; this phase is cubic: write h k l)",
       true},
      {"EulerAnglesBtnClick", "czhkl", "2 1", "", true},
  };
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.command << " with " << c.box << " \"" << c.text
                                      << "\"");
    const std::string before = form().Text(c.box);
    form().SetText(c.box, c.text);
    const fs::path target = c.dialog ? dir_ / "kept.dat" : dir_ / "SymEquiPos.dat";
    std::ofstream(target, std::ios::binary) << "the user's data\n";
    if (c.dialog) services_.files.push_back(target.string());
    services_.messages.clear();
    m_->Run(c.command);
    ASSERT_EQ(services_.messages.size(), 1u);
    if (*c.message) {
      EXPECT_EQ(services_.messages[0].text, c.message);
    } else {
      EXPECT_EQ(services_.messages[0].text.rfind("Not a valid input for h k l: 2 1 (", 0), 0u)
          << services_.messages[0].text;
    }
    EXPECT_EQ(FileLines(target), std::vector<std::string>{"the user's data"});
    form().SetText(c.box, before);
  }
  fs::current_path(cwd);
}

TEST_F(TexturePageTest, SymmetryEquivalentsOfTheBoxOrientation) {
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_);
  form().SetText("SymEquiEdit", "10 20 30");
  m_->Run("SymEquiPosClick");
  fs::current_path(cwd);
  const auto lines = FileLines(dir_ / "SymEquiPos.dat");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].substr(0, 21), "  10.0\t  20.0\t  30.0\t");

  services_.files.push_back(Path("hex.dat"));
  m_->Run("WriteSymEquiPosBtnClick");
  EXPECT_EQ(FileLines(Path("hex.dat")).size(), 12u);
}

TEST_F(TexturePageTest, PoleFigureIsWrittenAndShown) {
  LoadExample();
  form().SetText("czhkl", "1 1 1");
  services_.files.push_back(Path("pf.cpf"));
  m_->Run("CalcPFBtnClick");
  const auto lines = FileLines(Path("pf.cpf"));
  ASSERT_EQ(lines.size(), 2u + 76 + 1);
  ASSERT_TRUE(m_->ShownPoleFigure);
  EXPECT_EQ(m_->PoleFigureRequests, 1);
  EXPECT_GT(m_->ShownPoleFigure->MaxMrd(), 1.5);
  EXPECT_EQ(lines[0], "pole figure generated from ODF max=" +
                          core::FormatFixed(m_->ShownPoleFigure->MaxMrd(), 6, 3) + " m.r.d");

  // Without a file, and refused for 0 0 0.
  form().SetText("czhkl", "2 0 0");
  m_->Run("ShowPoleFigureClick");
  EXPECT_EQ(m_->PoleFigureRequests, 2);
  EXPECT_EQ(m_->ShownPoleFigure->h, 2);
  form().SetText("czhkl", "0 0 0");
  m_->Run("ShowPoleFigureClick");
  EXPECT_EQ(m_->PoleFigureRequests, 2);
  EXPECT_EQ(services_.messages.size(), 1u);
}

TEST_F(TexturePageTest, FibreFilesOfTheDirectionBox) {
  form().SetText("DirConstHKLEdit", "0 0 1 1 0");
  services_.files.push_back(Path("lamda.dat"));
  m_->Run("lamdaODFBtnClick");
  EXPECT_EQ(FileLines(Path("lamda.dat")).size(), 1u + 145 + 1);

  services_.files.push_back(Path("fij.dat"));
  m_->Run("FijODFBtnClick");
  const auto fij = FileLines(Path("fij.dat"));
  ASSERT_FALSE(fij.empty());
  EXPECT_EQ(fij[0].substr(0, 5), "lamda");

  form().SetText("DirConstHKLEdit", "0 0 1 1");
  services_.files.push_back(Path("comp.dat"));
  m_->Run("TexCompBtnClick");
  EXPECT_EQ(services_.Texts().back(), "Data for hkl,phi,psi missing!");
  EXPECT_TRUE(FileLines(Path("comp.dat")).empty());
}

// The page's account of the loaded texture holds the numbers the engine's API gives for the
// same file, and the pictures of its pole figures and sections are drawn.
TEST_F(TexturePageTest, LoadedTextureIsDescribedOnThePage) {
  EXPECT_EQ(m_->ShownTexture.revision, 0);
  LoadExample();
  EXPECT_EQ(m_->ShownTexture.revision, 1);
  const std::vector<std::string>& lines = form()["TextureSummaryMemo"].lines;
  const auto line = [&lines](const std::string& label) {
    for (const std::string& l : lines)
      if (l.rfind(label + ": ", 0) == 0) return l.substr(label.size() + 2);
    ADD_FAILURE() << "no line " << label;
    return std::string();
  };
  EXPECT_EQ(line("Source"), POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf");
  EXPECT_EQ(line("Crystal class"), "cubic");
  EXPECT_EQ(line("Sample symmetry"), "orthorhombic");
  EXPECT_EQ(line("Region (deg)"), "phi1 0..90, Phi 0..90, phi2 0..90");

  TextureSource source;
  source.path = POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf";
  const auto texture = LoadTexture(source);
  ASSERT_TRUE(texture);
  const auto stats = TextureStats(*texture);
  ASSERT_TRUE(stats);
  const auto number = [&](const std::string& label) {
    return static_cast<double>(core::ParseNumber(line(label)).value);
  };
  EXPECT_NEAR(number("Maximum (m.r.d.)"), static_cast<double>(stats->maximum), 1e-3);
  EXPECT_NEAR(number("Minimum (m.r.d.)"), static_cast<double>(stats->minimum), 1e-3);
  EXPECT_NEAR(number("Texture index"), static_cast<double>(stats->textureIndex), 1e-3);
  EXPECT_GT(stats->textureIndex, 1.2);  // a rolling texture, well away from random
  EXPECT_NEAR(number("Integral / 8 pi^2"),
              static_cast<double>(stats->integral / (8 * core::kPi * core::kPi)), 1e-4);
  EXPECT_GT(m_->ShownTexture.poleFigures.image.width, 0);
  EXPECT_GT(m_->ShownTexture.sections.image.width, 0);
  int titles = 0;
  for (const core::PictureText& t : m_->ShownTexture.poleFigures.texts)
    titles += t.text == "{1 0 0}" || t.text == "{1 1 0}" || t.text == "{1 1 1}";
  EXPECT_EQ(titles, 3);
}

// A load that fails may leave part of its file on the grid: the page no longer shows the
// texture loaded before, and the sections button draws nothing, until a load succeeds.
TEST_F(TexturePageTest, AFailedLoadLeavesNoTextureOnThePage) {
  LoadExample();
  const std::string bad = Path("bad.odf");
  test::WriteFile(bad, "not an ODF\n1 2 3\n");
  services_.files.push_back(bad);
  m_->Run("LoadBtnClick");
  ASSERT_FALSE(services_.messages.empty());  // the reader's refusal
  EXPECT_EQ(form()["TextureSummaryMemo"].lines,
            (std::vector<std::string>{"Source: " + bad + " (not read)",
                                      "ODF: none in use: the file could not be read"}));
  EXPECT_EQ(m_->ShownTexture.poleFigures.image.width, 0);
  EXPECT_EQ(m_->ShownTexture.sections.image.width, 0);
  services_.messages.clear();
  m_->Run("OdfSectionsBtnClick");  // refused before any dialog
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find("Load an ODF first"), std::string::npos);
  LoadExample();
  EXPECT_EQ(form()["TextureSummaryMemo"].lines.front(),
            "Source: " POLYDEC_SOURCE_DIR "/examples/rolling_cubic.odf");
}

TEST_F(TexturePageTest, SectionsPictureIsWrittenWhereTheDialogSays) {
  m_->Run("OdfSectionsBtnClick");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find("Load an ODF first"), std::string::npos);
  LoadExample();
  const FileDialog before = form().saveDialog;
  services_.files.push_back(Path("sections"));
  m_->Run("OdfSectionsBtnClick");
  EXPECT_EQ(test::ReadFile(Path("sections.png")).substr(1, 3), "PNG");
  EXPECT_EQ(form().saveDialog.title, before.title);
  EXPECT_EQ(form().saveDialog.filter, before.filter);
  services_.files.push_back(Path("sections.svg"));
  m_->Run("OdfSectionsBtnClick");
  EXPECT_NE(test::ReadFile(Path("sections.svg")).find(">phi2 = 90<"), std::string::npos);
  EXPECT_TRUE(services_.messages.empty());
  services_.files.push_back(Path("sections.jpg"));
  m_->Run("OdfSectionsBtnClick");
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(services_.messages[0].text.find("\".jpg\""), std::string::npos);
  EXPECT_FALSE(fs::exists(Path("sections.jpg")));
}

}  // namespace
}  // namespace polydec::workbench
