#include "core/text_fields.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <locale.h>
#include <random>
#include <stdlib.h>
#include <locale>
#include <stdexcept>
#include <string>
#include <vector>

namespace polydec::core {
namespace {

TEST(TextFields, GetWordSkipsRunsOfSeparators) {
  struct Case {
    std::string text;
    int n;
    std::string word;
  };
  const std::vector<Case> cases = {
      {"1 1 1", 2, "1"},
      {"  ab;c", 1, "ab"},
      {"  ab;c", 2, "c"},
      {"0 0 1", 4, ""},
      {"", 1, ""},
      {"a b c", 5, ""},
      {"a b", 0, "***"},
      {"a b", -3, "***"},
      {"#NAME \"Ni\"", 2, "Ni"},
      {"#NAME \"Ni 3Al\"", 3, "3Al"},
      // All seven separators, each alone and in runs; leading and trailing ones add nothing.
      {"\t'a\"b,,c;d\\\\e \t f,", 6, "f"},
      {"\t'a\"b,,c;d\\\\e \t f,", 7, ""},
      // Bytes of a multi-byte character never separate.
      {"Ni\xC2\xBDx y", 1, "Ni\xC2\xBDx"},
      {"x.y:z-w", 1, "x.y:z-w"},
  };
  for (const Case& c : cases) EXPECT_EQ(GetWord(c.text, c.n), c.word) << c.text << " #" << c.n;
}

TEST(TextFields, IsWordSeparatorOnlyForTheSevenCharacters) {
  const std::string separators = "\t \"',;\\";
  for (int ch = 0; ch < 256; ++ch) {
    const char c = static_cast<char>(ch);
    EXPECT_EQ(IsWordSeparator(c), separators.find(c) != std::string::npos) << ch;
  }
}

TEST(TextFields, TabFieldsKeepBlanksAndIgnoreEmptyRuns) {
  const std::string text = "\ta\t\tb";
  EXPECT_EQ(GetTabField(text, 1), "a");
  EXPECT_EQ(GetTabField(text, 2), "b");
  EXPECT_EQ(GetTabField(text, 3), "");
  EXPECT_EQ(GetTabField(text, 0), "***");
  EXPECT_EQ(CountTabFields(text), 2);

  EXPECT_EQ(GetTabField(" a b \tc, d\t", 1), " a b ");
  EXPECT_EQ(GetTabField(" a b \tc, d\t", 2), "c, d");
  EXPECT_EQ(CountTabFields(" a b \tc, d\t"), 2);
  EXPECT_EQ(CountTabFields(""), 0);
  EXPECT_EQ(CountTabFields("\t\t\t"), 0);
  EXPECT_EQ(CountTabFields(" "), 1);
  EXPECT_EQ(GetTabField("", 1), "");
}

TEST(TextFields, ParseNumberAcceptsTheGrammarWithExtendedPrecision) {
  struct Case {
    std::string text;
    Real value;
  };
  // The reader must round to the 64-bit mantissa like the compiler rounds L literals, so the
  // comparison is exact; a detour through double would already fail on 0.1.
  const std::vector<Case> cases = {
      {" 2.868", 2.868L},
      {"1e3", 1000},
      {".5", 0.5L},
      {".", 0},
      {"   .", 0},
      {"1.", 1},
      {"-1.5E-3", -1.5e-3L},
      {"+7", 7},
      {"007", 7},
      {"  -0.25e+2", -25},
      {"0.1", 0.1L},
      {"3.14159265358979323846264338327950288", 3.14159265358979323846264338327950288L},
      {"1e4900", 1e4900L},
      {"1e-5000", 0},  // below the subnormal range: zero, not an error
      {"0e999999999999", 0},
  };
  for (const Case& c : cases) {
    const ParsedNumber p = ParseNumber(c.text);
    EXPECT_TRUE(p.ok()) << c.text << " error at " << p.errorPos;
    EXPECT_EQ(p.value, c.value) << c.text;
  }
}

TEST(TextFields, ParseNumberReportsTheFirstCharacterThatDoesNotFit) {
  struct Case {
    std::string text;
    int errorPos;
  };
  const std::vector<Case> cases = {
      {"2.868 ", 6},
      {"1,5", 2},
      {"", 1},
      {"   ", 4},
      {"-", 2},
      {"1e", 3},
      {"1e+", 4},
      {"e5", 1},
      {"1.2.3", 4},
      {"--1", 2},
      {"abc", 1},
      {"\t1", 1},
      {"1x", 2},
      {"-.", 3},
      {". ", 2},
      {"..", 2},
      {"inf", 1},
      {"nan", 1},
      {"0x10", 2},
      {"1 2", 2},
      {"1d3", 2},
      {"+-1", 2},
      {"1E5.0", 4},
      {"-1e-", 5},
      // Beyond the extended range the exponent letter is to blame; without one, the number.
      {"1e5000", 2},
      {" -9.9E99999999999999999999", 6},
      {std::string(5000, '9'), 1},
  };
  for (const Case& c : cases) {
    const ParsedNumber p = ParseNumber(c.text);
    EXPECT_EQ(p.errorPos, c.errorPos) << "'" << c.text.substr(0, 40) << "'";
    EXPECT_FALSE(p.ok());
  }
}

TEST(TextFields, ReadIntegerStaysInThe32BitRange) {
  struct Case {
    std::string text;
    Int value;
    int errorPos;
  };
  const std::vector<Case> cases = {
      {"  42", 42, 0},
      {"-7", -7, 0},
      {"+3", 3, 0},
      {"2147483647", 2147483647, 0},
      {"-2147483648", std::numeric_limits<Int>::min(), 0},
      {"000000000000000000012", 12, 0},
      {"2147483648", 0, 10},
      {"-2147483649", 0, 11},
      {"99999999999999999999999", 0, 10},
      {"1.5", 0, 2},
      {"1e3", 0, 2},
      {"", 0, 1},
      {"-", 0, 2},
      {"12 ", 0, 3},
  };
  for (const Case& c : cases) {
    const ParsedInteger p = ReadInteger(c.text);
    EXPECT_EQ(p.errorPos, c.errorPos) << c.text;
    if (c.errorPos == 0) {
      EXPECT_EQ(p.value, c.value) << c.text;
    }
  }
}

TEST(TextFields, ReadLocaleNumberTakesAPointOrOneComma) {
  EXPECT_EQ(ReadLocaleNumber("12,5"), 12.5L);
  EXPECT_EQ(ReadLocaleNumber(" 12.5  "), 12.5L);
  EXPECT_EQ(ReadLocaleNumber("-1,5e3"), -1500.0L);
  EXPECT_EQ(ReadLocaleNumber(",5"), 0.5L);
  EXPECT_EQ(ReadLocaleNumber("0,1"), 0.1L);
  for (const char* bad :
       {"", "   ", ".", ",", "1,000.5", "1,2,3", "1..2", "abc", "1 2", "1e", "12,5 x"}) {
    EXPECT_FALSE(ReadLocaleNumber(bad).has_value()) << "'" << bad << "'";
  }
}

TEST(TextFields, FormatTable) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const Real nan = std::numeric_limits<Real>::quiet_NaN();
  const Real inf = std::numeric_limits<Real>::infinity();
  const std::vector<Case> cases = {
      {FormatPadded(237, 8, 3), " 237.000"},
      {FormatPadded(-1234.56L, 6, 1), "-1234.6"},
      {FormatPadded(3.14159L, 0, 0), "3"},
      {FormatPadded(-0.0L, 5, 2), " 0.00"},
      {FormatPadded(-0.0004L, 0, 3), "0.000"},
      {FormatPadded(-0.0006L, 0, 3), "-0.001"},
      {FormatPadded(1e20L, 3, 1), "100000000000000000000.0"},
      {FormatPadded(nan, 5, 2), "  NAN"},
      {FormatPadded(-inf, 0, 2), "-INF"},

      {FormatGeneral(212.6L), "212.6"},
      {FormatGeneral(0.000001L), "1E-6"},
      {FormatGeneral(0), "0"},
      {FormatGeneral(-0.0L), "0"},
      {FormatGeneral(0.00001L), "0.00001"},
      {FormatGeneral(0.0000123L), "0.0000123"},
      {FormatGeneral(0.00000123L), "1.23E-6"},
      {FormatGeneral(-2.5e-7L), "-2.5E-7"},
      {FormatGeneral(100), "100"},
      {FormatGeneral(0.1L), "0.1"},
      {FormatGeneral(1.0L / 3), "0.333333333333333"},
      {FormatGeneral(-2.0L / 3), "-0.666666666666667"},
      {FormatGeneral(999999999999999), "999999999999999"},
      {FormatGeneral(999999999999999.7L), "1E15"},
      {FormatGeneral(1e20L), "1E20"},
      {FormatGeneral(123456789012345678), "1.23456789012346E17"},
      {FormatGeneral(1.5e-300L), "1.5E-300"},
      {FormatGeneral(inf), "INF"},

      {FormatFixed(3.14159L, 6, 2), "3.14"},
      {FormatFixed(1234.5678L, 6, 2), "1234.57"},
      {FormatFixed(123456.789L, 6, 2), "123457.00"},
      {FormatFixed(-999.9999L, 6, 2), "-1000.00"},
      {FormatFixed(1234567, 6, 2), "1.23457E6"},
      {FormatFixed(999999.7L, 6, 2), "1E6"},
      {FormatFixed(-0.001L, 6, 2), "0.00"},
      {FormatFixed(0, 6, 2), "0.00"},
      {FormatFixed(-0.0L, 6, 0), "0"},
      {FormatFixed(0.0123456L, 3, 4), "0.0123"},
      {FormatFixed(0.0123456L, 3, 6), "0.012300"},
      // One rounding: to 3 decimals directly, not first to 5 digits (1.2345) and then on.
      {FormatFixed(1.2344999L, 5, 3), "1.234"},
      {FormatFixed(nan, 6, 2), "NAN"},

      {FormatExponent(212.6L, 15, 2), "2.12600000000000E+02"},
      {FormatExponent(0.000001L, 15, 2), "1.00000000000000E-06"},
      {FormatExponent(-1234.5L, 15, 2), "-1.23450000000000E+03"},
      {FormatExponent(1e100L, 15, 2), "1.00000000000000E+100"},
      {FormatExponent(0, 15, 2), "0.00000000000000E+00"},
      {FormatExponent(-0.0L, 4, 2), "0.000E+00"},
      {FormatExponent(0.5L, 4, 0), "5.000E-1"},
      {FormatExponent(123, 1, 3), "1E+002"},
      {FormatExponent(9.996L, 3, 2), "1.00E+01"},
      {FormatExponent(-inf, 15, 2), "-INF"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(cases[i].text, cases[i].expected) << "case " << i;
}

// Short numbers are converted without the library; the value must be the library's to the last
// bit, for every length of mantissa, position of the point and exponent around the fast range.
TEST(TextFields, ParseNumberGivesTheLibrarysValueBitForBit) {
  const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
  ASSERT_NE(c, nullptr);
  std::mt19937_64 random(7);
  std::vector<std::string> texts = {"0",     "-0",   "0.0",   "1",       "-1.5",  "+2.25",
                                    "0.1",   "0.3",  ".5",    "5.",      "1e27",  "1e28",
                                    "1e-27", "1e-28", "9999999999999999999", "18446744073709551615",
                                    "0.000000000000000000000000001234", "123456789012345678.9e-20"};
  for (int k = 0; k < 200000; ++k) {
    std::string t = random() % 2 ? "-" : "";
    const int digits = 1 + static_cast<int>(random() % 22);
    const int point = static_cast<int>(random() % (digits + 2));
    for (int d = 0; d < digits; ++d) {
      if (d == point) t += '.';
      t += static_cast<char>('0' + random() % 10);
    }
    if (random() % 3 == 0) t += "e" + std::to_string(static_cast<int>(random() % 70) - 35);
    texts.push_back(t);
  }
  for (const std::string& t : texts) {
    const ParsedNumber p = ParseNumber(t);
    ASSERT_TRUE(p.ok()) << t;
    const Real expected = strtold_l(t.c_str(), nullptr, c);
    ASSERT_TRUE(p.value == expected && std::signbit(p.value) == std::signbit(expected))
        << t << ": " << static_cast<double>(p.value);
  }
  freelocale(c);
}

// Reads every format's text back and checks it against the value to the precision written: half
// a unit of the last digit, plus 1e-18 relative for the reader's own 64-bit rounding.
void ExpectRoundTrips(Real x) {
  const Real scale = std::pow(10.0L, std::floor(std::log10(std::fabs(x))));
  const auto check = [&](const std::string& text, Real halfUnit) {
    const ParsedNumber p = ParseNumber(text);
    ASSERT_TRUE(p.ok()) << "'" << text << "' error at " << p.errorPos;
    EXPECT_LE(std::fabs(p.value - x), halfUnit + 1e-18L * std::fabs(x)) << x << " as " << text;
  };
  check(FormatPadded(x, 12, 4), 0.5e-4L);
  check(FormatPadded(x, 0, 0), 0.5L);
  check(FormatGeneral(x), 0.5e-14L * scale);
  check(FormatFixed(x, 6, 2), std::max(0.5e-2L, 0.5e-5L * scale));
  check(FormatFixed(x, 15, 3), std::max(0.5e-3L, 0.5e-14L * scale));
  check(FormatExponent(x, 15, 2), 0.5e-14L * scale);
  check(FormatExponent(x, 4, 3), 0.5e-3L * scale);
  check(FormatExponent(x, 18, 2), 0.5e-17L * scale);
}

TEST(TextFields, EveryFormatReadsBackToThePrecisionWritten) {
  for (const Real x :
       {212.6L, -1234.56L, 0.000001L, 2.0L / 3, -1.0L / 7, 6.02214076e23L, -1.602176634e-19L,
        123456789.987654321L, 0.00099999999999999999L, 999999.99999L, 1e-4000L, 7e4000L})
    ExpectRoundTrips(x);
}

// The process locale decides the decimal character of printf, strtold and C++ streams; a
// German desktop writes "2,868". Files written there must still be readable everywhere.
class DecimalCommaLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
      GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (see ./dev for generating it)";
    try {
      std::locale::global(std::locale("de_DE.UTF-8"));
    } catch (const std::runtime_error&) {
      GTEST_SKIP() << "the C++ library cannot build the locale de_DE.UTF-8";
    }
  }
  void TearDown() override {
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
  }
};

TEST_F(DecimalCommaLocale, FormatsWriteAPointAndReadBack) {
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  ASSERT_STREQ(probe, "1,5") << "the locale is not in effect, the test would prove nothing";

  const Real x = -2.868L;
  const std::vector<std::string> texts = {FormatPadded(x, 10, 3), FormatGeneral(x),
                                          FormatFixed(x, 6, 3),   FormatExponent(x, 15, 2),
                                          FormatGeneral(1.5e-7L), FormatFixed(3e9L, 6, 2)};
  EXPECT_EQ(texts[0], "    -2.868");
  EXPECT_EQ(texts[1], "-2.868");
  EXPECT_EQ(texts[2], "-2.868");
  EXPECT_EQ(texts[3], "-2.86800000000000E+00");
  EXPECT_EQ(texts[4], "1.5E-7");
  EXPECT_EQ(texts[5], "3E9");
  for (const std::string& text : texts) {
    EXPECT_EQ(text.find(','), std::string::npos) << text;
    EXPECT_TRUE(ParseNumber(text).ok()) << text;
  }
  EXPECT_EQ(ParseNumber(texts[1]).value, x);
  EXPECT_EQ(ParseNumber("2.868").value, 2.868L);
  EXPECT_EQ(ParseNumber("2,868").errorPos, 2);
  EXPECT_EQ(ReadLocaleNumber("12,5"), 12.5L);
  EXPECT_EQ(ReadLocaleNumber("12.5"), 12.5L);
}

TEST(TextFields, ToUtf8KeepsUtf8AndReadsEveryOtherByteAsWindows1252) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"\xBDS2", "\xC2\xBDS2"},      // the byte 0xBD of a saved worksheet
      {"\xC2\xBDS2", "\xC2\xBDS2"},  // already UTF-8
      {"Stahl \xE4\xF6\xFC", "Stahl \xC3\xA4\xC3\xB6\xC3\xBC"},
      {"\x80 \x96", "\xE2\x82\xAC \xE2\x80\x93"},        // euro sign, en dash
      {"\x81", "\xEF\xBF\xBD"},                          // undefined in Windows-1252
      {"\xC3\xA9t\xE9", "\xC3\xA9t\xC3\xA9"},            // both in one line
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // a UTF-16 surrogate is no UTF-8
      {"\xF0\x9F\x98", "\xC3\xB0\xC5\xB8\xCB\x9C"},      // a sequence cut short
  };
  for (const Case& c : cases) EXPECT_EQ(ToUtf8(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace polydec::core
