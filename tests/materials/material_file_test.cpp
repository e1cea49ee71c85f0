#include "materials/material_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "core/voigt.h"
#include "crystal/lattice.h"
#include "models/aggregate.h"
#include "models/reflection_dec.h"

namespace polydec::materials {
namespace {

namespace fs = std::filesystem;
using core::OrientationsRec;
using core::ORTN_Array;
using core::Real;

const std::string kNiFixture = std::string(POLYDEC_TEST_DATA) + "/materials_ni.dat";
const std::string kShippedDatabase = std::string(POLYDEC_SOURCE_DIR) + "/data/pfcryst.dat";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh directory per test, removed afterwards.
class MaterialFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(::testing::TempDir()) /
           (std::string("material_file_") + info->test_suite_name() + "_" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

// The 6x6 Voigt stiffness of a tensor (entries unchanged, 1-based).
using Matrix6 = std::array<std::array<Real, 7>, 7>;
Matrix6 VoigtMatrix(const core::Tensor4& T) {
  Matrix6 C{};
  for (int I = 1; I <= 6; ++I)
    for (int J = 1; J <= 6; ++J) {
      int i, j, k, l;
      core::VoigtPair(I, i, j);
      core::VoigtPair(J, k, l);
      C[I][J] = T(i, j, k, l);
    }
  return C;
}

// Cholesky factor of a symmetric matrix; false when it is not positive definite.
bool Cholesky(const Matrix6& C, Matrix6& R) {
  R = Matrix6{};
  for (int j = 1; j <= 6; ++j) {
    Real d = C[j][j];
    for (int k = 1; k < j; ++k) d -= R[j][k] * R[j][k];
    if (!(d > 0)) return false;
    R[j][j] = std::sqrt(d);
    for (int i = j + 1; i <= 6; ++i) {
      Real s = C[i][j];
      for (int k = 1; k < j; ++k) s -= R[i][k] * R[j][k];
      R[i][j] = s / R[j][j];
    }
  }
  return true;
}

TEST_F(MaterialFileTest, ReadsOneCompleteMaterial) {
  ORTN_Array list;
  core::InputError err;
  ASSERT_EQ(ReadMaterialFile(list, kNiFixture, &err), 0) << err.Describe();
  ASSERT_EQ(list.size(), 1u);
  const OrientationsRec& ni = *list[0];
  EXPECT_EQ(ni.Name, "Ni");
  EXPECT_EQ(ni.a[1], 246.5L);
  EXPECT_EQ(ni.a[4], 147.3L);
  EXPECT_EQ(ni.a[19], 124.7L);
  EXPECT_EQ(ni.Lr(3, 3, 3, 3), 246.5L);
  EXPECT_EQ(ni.Lr(3, 2, 2, 3), 124.7L);  // completed over the minor symmetries
  EXPECT_EQ(ni.Cryst.SYS, 1);
  EXPECT_EQ(ni.Cryst.c, 3.524L);
  // 90 * pi / 180 in extended arithmetic: within a few units of the last place of pi/2.
  EXPECT_NEAR(ni.Cryst.alpha, core::kPi / 2, 1e-18L);
  EXPECT_NEAR(ni.Cryst.gamma, core::kPi / 2, 1e-18L);
  EXPECT_EQ(ni.E, 199.5L);
  EXPECT_EQ(ni.nu, 0.312L);
  EXPECT_EQ(ni.K, 180.4L);
  EXPECT_EQ(ni.G, 76.0L);
  // Isotropic matrix stiffness from E and nu: c11 = E(1-nu)/((1+nu)(1-2nu)), c12 = nu c11/(1-nu);
  // the two forms differ only by rounding of 80-bit arithmetic.
  const Real E = ni.E, nu = ni.nu;
  EXPECT_NEAR(ni.L(2, 2, 2, 2), E * (1 - nu) / ((1 + nu) * (1 - 2 * nu)), 1e-15L * E);
  EXPECT_NEAR(ni.L(1, 1, 3, 3), E * nu / ((1 + nu) * (1 - 2 * nu)), 1e-15L * E);
  EXPECT_EQ(ni.L(1, 3, 3, 1), 76.0L);
  EXPECT_EQ(ni.L(1, 1, 1, 2), 0);
  EXPECT_EQ(ni.Reference[1], " nickel, fcc; Cij as compiled by Simmons & Wang (1971)");
  EXPECT_EQ(ni.Reference[2], " ");
  EXPECT_EQ(ni.Reference[3], " test fixture");
  // Everything the file does not name keeps the values of a cleared record.
  EXPECT_EQ(ni.hkl, (core::hklarray{{1, 1, 1}}));
  EXPECT_EQ(ni.ndata, 1);
  EXPECT_EQ(ni.HKLODFNUMP, 144);
  EXPECT_EQ(ni.Mr, core::Tensor4{});
}

TEST_F(MaterialFileTest, CrLfAndLfFilesReadAlike) {
  std::string lf = ReadBytes(kNiFixture);
  ASSERT_NE(lf.find("\r\n"), std::string::npos);
  std::erase(lf, '\r');
  WriteBytes(PathOf("lf.dat"), lf);

  ORTN_Array a, b;
  ASSERT_EQ(ReadMaterialFile(a, kNiFixture), 0);
  ASSERT_EQ(ReadMaterialFile(b, PathOf("lf.dat")), 0);
  EXPECT_EQ(a[0]->Name, b[0]->Name);
  EXPECT_EQ(a[0]->a, b[0]->a);
  EXPECT_EQ(a[0]->Lr, b[0]->Lr);
  EXPECT_EQ(a[0]->L, b[0]->L);
  EXPECT_EQ(a[0]->Cryst.gamma, b[0]->Cryst.gamma);
  EXPECT_EQ(a[0]->G, b[0]->G);
  EXPECT_EQ(a[0]->Reference, b[0]->Reference);
}

TEST_F(MaterialFileTest, NameIsTheTextBetweenTheFirstTwoQuotes) {
  const struct {
    std::string line, name;
  } cases[] = {
      {"#NAME \"Ni\"", "Ni"},
      {"#NAME \"Ni", ""},
      {"#NAME Ni", ""},
      {"#NAME \"Fe 3% Si\" \"x\"", "Fe 3% Si"},
      {"#NAME \"\"", ""},
      {"#NAME \"Fe\xE9\"", "Fe\xC3\xA9"},  // a Windows-1252 byte becomes its UTF-8 character
  };
  for (const auto& c : cases) {
    WriteBytes(PathOf("name.dat"), c.line + "\r\n#SYM   2\r\n");
    ORTN_Array list;
    EXPECT_EQ(ReadMaterialFile(list, PathOf("name.dat")), 0) << c.line;
    EXPECT_EQ(list[0]->Name, c.name) << c.line;
    EXPECT_EQ(list[0]->Cryst.SYS, 2) << c.line;
  }
}

TEST_F(MaterialFileTest, BadEntriesNameTheLineAndKeepEarlierRecords) {
  const std::string ni = ReadBytes(kNiFixture);  // nine lines
  const std::string cij20 = "#CIJKL" + [] {
    std::string s;
    for (int n = 1; n <= 20; ++n) s += " 1.000";
    return s;
  }();
  const struct {
    std::string what, badLine, fragment;
  } cases[] = {
      {"20 constants", cij20, "#CIJKL holds 20 numbers, 21 expected"},
      {"word not a number", "#CIJKL 1 2 3 x4", "#CIJKL C1122: \"x4\" is not a number"},
      {"number beyond range", "#CIJKL 1e99999", "\"1e99999\""},
      {"#SYM not an integer", "#SYM 1.0", "#SYM: \"1.0\" is not an integer"},
      {"#SYM missing", "#SYM", "#SYM: \"\" is not an integer"},
      {"#SYM too large", "#SYM  11", "class code 11 outside 0..10"},
      {"#SYM negative", "#SYM  -1", "class code -1 outside 0..10"},
      {"cell short", "#CRYST 1 1 1 90 90", "#CRYST holds 5 numbers, 6 expected"},
      {"zero edge", "#CRYST 1 0 1 90 90 90", "#CRYST: cell edge b"},
      {"flat angle", "#CRYST 1 1 1 90 90 180", "#CRYST: cell angle gamma"},
      {"no volume", "#CRYST 1 1 1 30 30 90", "#CRYST: cell angles alpha, beta, gamma span no"},
      {"nu = 1/2", "#EPKG 200 0.5 170 80", "#EPKG: nu = 0.500 gives no isotropic stiffness"},
      {"nu = -1", "#EPKG 200 -1 170 80", "#EPKG: nu = -1.000 gives no isotropic stiffness"},
      {"G missing", "#EPKG 200 0.3 170", "#EPKG holds 3 numbers, 4 expected"},
      {"NUL byte", std::string("#REF1 a\0b", 9), "NUL"},
      {"line too long", "#REF1 " + std::string(5000, 'x'), "longer than 4096"},
  };
  for (const auto& c : cases) {
    const std::string path = PathOf("bad.dat");
    WriteBytes(path, ni + "#NAME \"bad\"\r\n" + c.badLine + "\r\n#SYM   1\r\n");
    ORTN_Array list;
    core::InputError err;
    EXPECT_EQ(ReadMaterialFile(list, path, &err), -1) << c.what;
    EXPECT_EQ(err.file, path) << c.what;
    EXPECT_EQ(err.line, 11) << c.what;
    EXPECT_NE(err.message.find(c.fragment), std::string::npos) << c.what << ": " << err.message;
    ASSERT_GE(list.size(), 1u) << c.what;
    EXPECT_EQ(list[0]->Name, "Ni") << c.what;
    EXPECT_EQ(list[0]->a[21], 246.5L) << c.what;
    EXPECT_EQ(list[0]->Reference[3], " test fixture") << c.what;
  }
}

// A file cut right after a #NAME line would list a material whose every constant is 0; it is
// refused at that #NAME line, at the end of the file as before the next material.
TEST_F(MaterialFileTest, AMaterialWithoutDataLinesIsRefusedAtItsName) {
  const std::string ni = ReadBytes(kNiFixture);  // nine lines
  const struct {
    const char* what;
    std::string text;
    int line;
  } cases[] = {
      {"cut after #NAME", ni + "#NAME \"cut\"\r\n", 10},
      {"cut after #NAME, blank lines after it", ni + "#NAME \"cut\"\r\n\r\n\r\n", 10},
      {"the next material follows at once", ni + "#NAME \"cut\"\r\n" + ni, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = PathOf("cut.dat");
    WriteBytes(path, c.text);
    ORTN_Array list;
    core::InputError err;
    EXPECT_EQ(ReadMaterialFile(list, path, &err), -1);
    EXPECT_EQ(err.line, c.line);
    EXPECT_NE(err.message.find("material \"cut\" has a #NAME line and no data lines"),
              std::string::npos)
        << err.message;
  }
}

TEST_F(MaterialFileTest, KeywordBeforeTheFirstNameIsAnError) {
  const std::string path = PathOf("headless.dat");
  WriteBytes(path, "#SYM   1\r\n" + ReadBytes(kNiFixture));
  ORTN_Array list;
  core::InputError err;
  EXPECT_EQ(ReadMaterialFile(list, path, &err), -1);
  EXPECT_EQ(err.line, 1);
  EXPECT_EQ(err.message, "#SYM before the first #NAME line");
  EXPECT_EQ(err.Describe(), path + ", line 1: #SYM before the first #NAME line");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]->Name, "");
}

TEST_F(MaterialFileTest, MissingOrEmptyFileKeepsOnlyTheFirstEntry) {
  ORTN_Array list;
  for (const char* name : {"keep", "drop", "drop too"}) {
    list.push_back(std::make_unique<OrientationsRec>());
    list.back()->Name = name;
  }
  core::InputError err;
  EXPECT_EQ(ReadMaterialFile(list, PathOf("missing.dat"), &err), -1);
  EXPECT_EQ(err.line, 0);
  EXPECT_EQ(err.message, "file not found");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]->Name, "keep");

  WriteBytes(PathOf("empty.dat"), "\r\n\r\n");
  EXPECT_EQ(ReadMaterialFile(list, PathOf("empty.dat"), &err), -1);
  EXPECT_NE(err.message.find("no material"), std::string::npos);
  EXPECT_EQ(list[0]->Name, "keep");

  ORTN_Array none;
  EXPECT_EQ(ReadMaterialFile(none, PathOf("missing.dat")), -1);
  ASSERT_EQ(none.size(), 1u);
  ASSERT_NE(none[0], nullptr);
  EXPECT_EQ(none[0]->HKLODFNUMP, 144);  // a cleared record

  EXPECT_EQ(ReadMaterialFile(list, dir_.string(), &err), -1);  // a folder
  EXPECT_EQ(err.line, 0);
  EXPECT_FALSE(AppendMaterialFile(list, 0, dir_.string()));

  // Appending never creates the file.
  EXPECT_FALSE(AppendMaterialFile(list, 0, PathOf("missing.dat"), &err));
  EXPECT_NE(err.message.find("not found"), std::string::npos);
  EXPECT_FALSE(fs::exists(PathOf("missing.dat")));
}

// A record as the window builds it: constants in a, cell angles in degrees.
OrientationsRec TypedMaterial() {
  OrientationsRec r;
  ClearMaterial(r);
  r.Name = "Ti-6Al-4V";
  // Digits that show the rounding of the written text; the large diagonal keeps the stiffness
  // positive definite, as every stored material must be.
  for (int n = 1; n <= 21; ++n) r.a[n] = 10.1234567L * n - 60;
  for (int n : {1, 7, 12, 16, 19, 21}) r.a[n] += 1000;
  r.Cryst = {};
  r.Cryst.a = 2.9251234567L;
  r.Cryst.b = 2.9251234567L;
  r.Cryst.c = 4.6712345678L;
  r.Cryst.alpha = 90;
  r.Cryst.beta = 90;
  r.Cryst.gamma = 120;
  r.Cryst.SYS = polydec::kHexagonal;
  r.E = 113.8L;
  r.nu = 0.342L;
  r.K = 119.8L;
  r.G = 42.4L;
  r.Reference = {"", "typed in", "", "third line"};
  return r;
}

TEST_F(MaterialFileTest, AppendThenReadGivesTheSameMaterial) {
  const std::string path = PathOf("db.dat");
  const std::string old = ReadBytes(kNiFixture);
  WriteBytes(path, old);
  ORTN_Array list;
  list.push_back(std::make_unique<OrientationsRec>(TypedMaterial()));
  core::InputError err;
  ASSERT_TRUE(AppendMaterialFile(list, 0, path, &err)) << err.Describe();

  const std::string now = ReadBytes(path);
  ASSERT_GT(now.size(), old.size());
  EXPECT_EQ(now.substr(0, old.size()), old);
  const std::string block = now.substr(old.size());
  EXPECT_EQ(block.substr(0, 19), "#NAME \"Ti-6Al-4V\"\r\n");
  EXPECT_NE(block.find("\r\n#CIJKL  950.123  -39.753 "), std::string::npos);
  EXPECT_NE(block.find("1152.593 \r\n#CRYST  2.92512  2.92512  4.67123 90.00000 90.00000 "
                       "120.00000\r\n#SYM   2\r\n#EPKG 113.800000 0.34200000 119.800000 42.400000\r\n"
                       "#REF1 typed in\r\n#REF2 \r\n#REF3 third line\r\n\r\n"),
            std::string::npos)
      << block;

  ORTN_Array back;
  ASSERT_EQ(ReadMaterialFile(back, path, &err), 1) << err.Describe();
  const OrientationsRec& r = *back[1];
  const OrientationsRec typed = TypedMaterial();
  EXPECT_EQ(r.Name, typed.Name);
  for (int n = 1; n <= 21; ++n) EXPECT_NEAR(r.a[n], typed.a[n], 0.0005L) << n;  // 3 decimals
  EXPECT_NEAR(r.Cryst.a, typed.Cryst.a, 0.000005L);                             // 5 decimals
  EXPECT_NEAR(r.Cryst.c, typed.Cryst.c, 0.000005L);
  EXPECT_NEAR(r.Cryst.gamma * 180 / core::kPi, 120, 1e-15L);
  EXPECT_EQ(r.Cryst.SYS, 2);
  EXPECT_EQ(r.nu, 0.342L);
  EXPECT_EQ(r.Reference[1], " typed in");
  EXPECT_EQ(r.Reference[2], " ");
}

TEST_F(MaterialFileTest, AppendEndsAnUnfinishedLastLineFirst) {
  const struct {
    std::string ending, inserted;
  } cases[] = {{"\r\n", ""}, {"\n", ""}, {"\r", "\n"}, {"", "\r\n"}};
  ORTN_Array list;
  list.push_back(std::make_unique<OrientationsRec>(TypedMaterial()));
  std::string ni = ReadBytes(kNiFixture);
  ni.resize(ni.size() - 4);  // drop the empty line and the last line end: "... fixture"
  for (const auto& c : cases) {
    const std::string path = PathOf("open.dat");
    const std::string old = ni + c.ending;
    WriteBytes(path, old);
    ASSERT_TRUE(AppendMaterialFile(list, 0, path));
    const std::string now = ReadBytes(path);
    EXPECT_EQ(now.substr(0, old.size()), old);
    EXPECT_EQ(now.substr(old.size(), c.inserted.size() + 6), c.inserted + "#NAME ");
    ORTN_Array back;
    EXPECT_EQ(ReadMaterialFile(back, path), 1);
    EXPECT_EQ(back[0]->Reference[3], " test fixture");
    EXPECT_EQ(back[1]->Name, "Ti-6Al-4V");
  }
  WriteBytes(PathOf("empty.dat"), "");
  ASSERT_TRUE(AppendMaterialFile(list, 0, PathOf("empty.dat")));
  EXPECT_EQ(ReadBytes(PathOf("empty.dat")).substr(0, 6), "#NAME ");
}

// An entry that would not read back would make every later entry of the database unreadable.
TEST_F(MaterialFileTest, AppendRefusesEntriesThatWouldNotReadBack) {
  const struct {
    std::string what;
    void (*spoil)(OrientationsRec&);
    std::string fragment;
  } cases[] = {
      {"quote in name", [](OrientationsRec& r) { r.Name = "5\" bar"; }, "double quote"},
      {"line break in name", [](OrientationsRec& r) { r.Name = "a\r\n#SYM 99"; }, "line break"},
      {"line break in reference", [](OrientationsRec& r) { r.Reference[2] = "x\ny"; },
       "line break"},
      {"keyword in reference", [](OrientationsRec& r) { r.Reference[1] = "see #NAME \"x\""; },
       "one material"},
      {"class code",
       [](OrientationsRec& r) { r.Cryst.SYS = static_cast<polydec::CrystalClass>(11); },
       "outside 0..10"},
      {"nu = 1/2 after rounding", [](OrientationsRec& r) { r.nu = 0.499999996L; }, "nu = 0.500"},
      {"edge rounding to zero", [](OrientationsRec& r) { r.Cryst.b = 0.000001L; }, "cell edge b"},
      {"not a number", [](OrientationsRec& r) { r.a[3] = std::numeric_limits<Real>::quiet_NaN(); },
       "finite"},
      {"overlong reference", [](OrientationsRec& r) { r.Reference[1] = std::string(5000, 'r'); },
       "longer than"},
  };
  const std::string path = PathOf("db.dat");
  const std::string old = ReadBytes(kNiFixture);
  WriteBytes(path, old);
  for (const auto& c : cases) {
    ORTN_Array list;
    list.push_back(std::make_unique<OrientationsRec>(TypedMaterial()));
    c.spoil(*list[0]);
    core::InputError err;
    EXPECT_FALSE(AppendMaterialFile(list, 0, path, &err)) << c.what;
    EXPECT_NE(err.message.find(c.fragment), std::string::npos) << c.what << ": " << err.message;
    EXPECT_EQ(ReadBytes(path), old) << c.what;
  }
  ORTN_Array list;
  list.push_back(std::make_unique<OrientationsRec>(TypedMaterial()));
  list.push_back(nullptr);
  for (int index : {-1, 1, 2}) EXPECT_FALSE(AppendMaterialFile(list, index, path)) << index;
  EXPECT_EQ(ReadBytes(path), old);
}

TEST(MaterialRecord, DefaultMaterialIsIronAndClearResetsIt) {
  OrientationsRec r;
  r.Name = "left over";
  r.UseODF = true;
  DefaultMaterial(r);
  EXPECT_EQ(r.Name, "iron");
  EXPECT_EQ(r.Lr(1, 1, 1, 1), 237);
  EXPECT_EQ(r.Lr(2, 2, 3, 3), 141);
  EXPECT_EQ(r.Lr(1, 2, 2, 1), 116);
  EXPECT_EQ(r.Lr(1, 1, 2, 3), 0);
  EXPECT_EQ(r.L(3, 3, 3, 3), 282.7L);
  EXPECT_EQ(r.L(1, 1, 2, 2), 118.3L);
  EXPECT_EQ(r.L(2, 3, 3, 2), 82.2L);
  // M is the inverse of L: M:L is the symmetric identity up to 80-bit rounding.
  core::Tensor4 ML;
  core::ContractTensors(r.M, r.L, ML);
  const core::Tensor4& I = core::SymIdentityTensor();
  for (int n = 0; n < 81; ++n) EXPECT_NEAR(ML.e[n], I.e[n], 1e-15L) << n;
  EXPECT_EQ(r.hkl, (core::hklarray{{2, 1, 1}}));
  EXPECT_EQ(r.Cryst.a, 2.866L);
  EXPECT_EQ(r.Cryst.beta, core::kPi / 2);
  EXPECT_EQ(r.Cryst.SYS, 1);
  EXPECT_NEAR(r.Cryst.f(1, 1), 1 / (2.866L * 2.866L), 1e-18L);  // InitCrystal has run
  const core::PolarAnglesRec p = crystal::HKLToPolarAngles(r.Cryst, 2, 1, 1);
  EXPECT_EQ(r.CrystPolAngles.phi, p.phi);
  EXPECT_EQ(r.CrystPolAngles.psi, p.psi);
  EXPECT_GT(r.CrystPolAngles.psi, 0);
  EXPECT_EQ(r.E, 212.6L);
  EXPECT_EQ(r.nu, 0.295L);
  EXPECT_EQ(r.K, 173);
  EXPECT_EQ(r.G, 82.2L);
  EXPECT_TRUE(r.UseODF);  // not a material field

  ClearMaterial(r);
  EXPECT_EQ(r.Name, "");
  EXPECT_EQ(r.Lr, core::Tensor4{});
  EXPECT_EQ(r.M, core::Tensor4{});
  EXPECT_EQ(r.hkl, (core::hklarray{{1, 1, 1}}));
  EXPECT_EQ(r.Cryst.a, 1);
  EXPECT_EQ(r.Cryst.gamma, core::kPi / 2);
  EXPECT_EQ(r.Cryst.SYS, 0);
  EXPECT_EQ(r.E, 0);
  EXPECT_FALSE(r.UseODF);
  EXPECT_EQ(r.ndata, 1);
  EXPECT_EQ(r.HKLODFNUMP, 144);
  EXPECT_EQ(r.AxisLength.c, 1);
}

TEST_F(MaterialFileTest, ShippedDatabaseReadsCompletelyAndIsSound) {
  ORTN_Array list;
  core::InputError err;
  const int last = ReadMaterialFile(list, kShippedDatabase, &err);
  ASSERT_GE(last, 8) << err.Describe();
  ASSERT_EQ(list.size(), static_cast<std::size_t>(last) + 1);

  const OrientationsRec& iron = *list[0];
  EXPECT_EQ(iron.Name, "iron");
  EXPECT_EQ(iron.Cryst.SYS, 1);
  EXPECT_EQ(iron.Cryst.a, 2.866L);
  EXPECT_EQ(iron.Lr(1, 1, 1, 1), 237);
  EXPECT_EQ(iron.Lr(1, 1, 2, 2), 141);
  EXPECT_EQ(iron.Lr(1, 2, 1, 2), 116);
  EXPECT_EQ(iron.E, 212.602971L);
  EXPECT_EQ(iron.nu, 0.29518018L);
  EXPECT_EQ(iron.K, 173);
  EXPECT_EQ(iron.G, 82.07467L);

  for (int i = 0; i <= last; ++i) {
    const OrientationsRec& m = *list[static_cast<std::size_t>(i)];
    SCOPED_TRACE(m.Name);
    EXPECT_FALSE(m.Name.empty());
    EXPECT_TRUE(crystal::CheckCell(m.Cryst).empty());
    for (int k = 1; k <= 3; ++k) EXPECT_GT(m.Reference[k].size(), 1u) << k;
    const Matrix6 C = VoigtMatrix(m.Lr);
    Matrix6 R;
    ASSERT_TRUE(Cholesky(C, R)) << "stiffness not positive definite";
    // Every entry carries its self-consistent (Kroener) aggregate, the matrix that makes the
    // Kroener model self-consistent: moduli written to 6 decimals, nu to 8.
    core::CijklVector a{};
    core::TensorToCijkl(m.Lr, a);
    const models::IsotropicAggregateResult sc = models::CalcIsoMaConst(
        a, static_cast<polydec::CrystalClass>(m.Cryst.SYS), models::kKroener);
    ASSERT_TRUE(sc.converged && !sc.failed);
    const models::IsotropicConstants c = models::EngineeringConstants(a);
    EXPECT_NEAR(m.E, c.E, 1e-6L);
    EXPECT_NEAR(m.nu, c.nu, 1e-8L);
    EXPECT_NEAR(m.K, c.K, 1e-6L);
    EXPECT_NEAR(m.G, c.G, 1e-6L);
    EXPECT_NE(m.Reference[3].find("self-consistent"), std::string::npos);
  }

  // The file is exactly what AppendMaterialFile writes for these materials.
  const std::string path = PathOf("rewritten.dat");
  WriteBytes(path, "");
  for (int i = 0; i <= last; ++i) {
    OrientationsRec m = *list[static_cast<std::size_t>(i)];
    for (Real* angle : {&m.Cryst.alpha, &m.Cryst.beta, &m.Cryst.gamma})
      *angle = *angle * 180 / core::kPi;
    for (int k = 1; k <= 3; ++k) m.Reference[k].erase(0, 1);
    ORTN_Array one;
    one.push_back(std::make_unique<OrientationsRec>(m));
    ASSERT_TRUE(AppendMaterialFile(one, 0, path, &err)) << err.Describe();
  }
  EXPECT_EQ(ReadBytes(path), ReadBytes(kShippedDatabase));
}

}  // namespace
}  // namespace polydec::materials
