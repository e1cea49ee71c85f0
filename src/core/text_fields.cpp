#include "core/text_fields.h"

#include <locale.h>  // newlocale, locale_t
#include <stdlib.h>  // strtold_l

#include <algorithm>
#include <array>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <sstream>

namespace polydec::core {
namespace {

// Beyond these, more decimals or blanks carry no information and would only let a bad format
// argument allocate without bound. 5000 decimals still show the smallest subnormal extended.
constexpr int kMaxDecimals = 5000;
constexpr int kMaxWidth = 1000;
// An extended value has about 19 significant decimal digits; further digits only show the
// binary expansion.
constexpr int kMaxSignificant = 18;
constexpr int kMaxExponentDigits = 10;

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// The value of a checked number text (sign, digits, point, exponent) without the library's
// arbitrary-precision conversion, where that gives the same value: at most 19 significant
// digits make an integer mantissa the extended format holds exactly, and 10^k is exact up to
// k = 27, so one multiplication or division rounds once, as the library's conversion does.
// Returns false when the number needs the library.
bool ConvertExactly(std::string_view s, Real& value) {
  static constexpr Real kPowers[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,
                                     1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                                     1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L,
                                     1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
  std::size_t i = 0;
  const bool negative = i < s.size() && s[i] == '-';
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  unsigned long long mantissa = 0;
  int digits = 0;
  long scale = 0;
  bool afterPoint = false;
  for (; i < s.size(); ++i) {
    const char ch = s[i];
    if (ch == '.') {
      afterPoint = true;
      continue;
    }
    if (!IsDigit(ch)) break;
    if (mantissa == 0 && ch == '0') {
      if (afterPoint) --scale;
      continue;
    }
    if (digits == 19) return false;
    mantissa = mantissa * 10 + static_cast<unsigned long long>(ch - '0');
    ++digits;
    if (afterPoint) --scale;
  }
  if (i < s.size()) {  // the exponent
    ++i;
    bool negativeExponent = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negativeExponent = s[i++] == '-';
    long exponent = 0;
    for (; i < s.size(); ++i) {
      exponent = exponent * 10 + (s[i] - '0');
      if (exponent > 100000) return false;
    }
    scale += negativeExponent ? -exponent : exponent;
  }
  Real x = static_cast<Real>(mantissa);
  if (mantissa != 0) {
    if (scale < -27 || scale > 27) return false;
    x = scale < 0 ? x / kPowers[-scale] : x * kPowers[scale];
  }
  value = negative ? -x : x;
  return true;
}

// The splitters of words and TAB fields share one scan: runs of separators only delimit, so
// they never produce empty pieces.
template <typename IsSeparator>
std::string NthPiece(std::string_view s, int n, IsSeparator isSeparator) {
  if (n <= 0) return "***";
  std::size_t i = 0;
  int count = 0;
  while (i < s.size()) {
    while (i < s.size() && isSeparator(s[i])) ++i;
    if (i == s.size()) break;
    const std::size_t begin = i;
    while (i < s.size() && !isSeparator(s[i])) ++i;
    if (++count == n) return std::string(s.substr(begin, i - begin));
  }
  return {};
}

// Converts a text already checked against the number grammar. strtold alone would follow the
// process's LC_NUMERIC and read "2.868" as 2 under a decimal-comma locale, so the conversion
// runs under a private "C" locale; it rounds correctly to the 64-bit mantissa.
Real ConvertCheckedNumber(const std::string& text, bool& overflow) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  overflow = false;
  if (cLocale != nullptr) {
    errno = 0;
    const Real value = strtold_l(text.c_str(), nullptr, cLocale);
    overflow = errno == ERANGE && std::isinf(value);
    return value;
  }
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  Real value = 0;
  in >> value;
  overflow = in.fail();
  return value;
}

// Normalises printf output to the point: printf writes the decimal character of the global C
// locale (which may be several bytes), the system's files and boxes always use the point.
std::string WithPoint(const char* text) {
  std::string out;
  bool inSeparator = false;
  for (const char* p = text; *p != '\0'; ++p) {
    const char ch = *p;
    if (IsDigit(ch) || ch == '-' || ch == '+' || ch == 'e' || ch == 'E') {
      out += ch;
      inSeparator = false;
    } else if (!inSeparator) {
      out += '.';
      inSeparator = true;
    }
  }
  return out;
}

// |x| in fixed point with exactly `decimals` decimals, correctly rounded by the C library.
std::string FixedDigits(Real magnitude, int decimals) {
  const int length = std::snprintf(nullptr, 0, "%.*Lf", decimals, magnitude);
  std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(buffer.data(), buffer.size(), "%.*Lf", decimals, magnitude);
  return WithPoint(buffer.c_str());
}

// A magnitude rounded to a number of significant digits: d1.d2d3... x 10^exponent.
struct Decimal {
  std::string digits;
  int exponent = 0;
};

Decimal RoundToSignificant(Real magnitude, int significant) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*Le", significant - 1, magnitude);
  Decimal r;
  const char* p = buffer;
  for (; *p != '\0' && *p != 'e'; ++p)
    if (IsDigit(*p)) r.digits += *p;
  if (*p == 'e') {
    ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    for (; IsDigit(*p); ++p) r.exponent = 10 * r.exponent + (*p - '0');
    if (negative) r.exponent = -r.exponent;
  }
  return r;
}

void DropTrailingZeros(std::string& digits) {
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
}

// d1.d2d3... x 10^exponent in plain notation with exactly `decimals` decimals; digits the
// decimal does not hold are zeros.
std::string PlainText(const Decimal& r, int decimals) {
  const int length = static_cast<int>(r.digits.size());
  auto digitAt = [&](int i) { return i >= 0 && i < length ? r.digits[i] : '0'; };
  std::string out(r.exponent < 0 ? 1 : 0, '0');
  for (int i = 0; i <= r.exponent; ++i) out += digitAt(i);
  if (decimals > 0) {
    out += '.';
    for (int k = 1; k <= decimals; ++k) out += digitAt(r.exponent + k);
  }
  return out;
}

std::string ScientificText(const Decimal& r, bool plusSign, int exponentDigits) {
  std::string out(1, r.digits[0]);
  if (r.digits.size() > 1) out += '.' + r.digits.substr(1);
  out += 'E';
  if (r.exponent < 0) {
    out += '-';
  } else if (plusSign) {
    out += '+';
  }
  std::string exponent = std::to_string(std::abs(r.exponent));
  if (static_cast<int>(exponent.size()) < exponentDigits)
    exponent.insert(0, exponentDigits - exponent.size(), '0');
  return out + exponent;
}

// A value that rounds to zero is written without a minus sign, so -0 and -0.0004 at three
// decimals both read "0.000" and a file never holds "-0".
std::string WithSign(bool negative, std::string text) {
  const bool allZero =
      std::none_of(text.begin(), text.end(), [](char ch) { return ch >= '1' && ch <= '9'; });
  return negative && !allZero ? '-' + text : text;
}

std::string NonFiniteText(Real x) {
  if (std::isnan(x)) return "NAN";
  return std::signbit(x) ? "-INF" : "INF";
}

}  // namespace

namespace {

// A table rather than a branch per character: splitting the lines of a full ODF table (197,173
// lines) into words called the test some 10 million times.
constexpr std::array<bool, 256> kWordSeparators = [] {
  std::array<bool, 256> table{};
  for (const char ch : {'\t', ' ', '"', '\'', ',', ';', '\\'})
    table[static_cast<unsigned char>(ch)] = true;
  return table;
}();

inline bool SeparatesWords(char ch) { return kWordSeparators[static_cast<unsigned char>(ch)]; }

}  // namespace

bool IsWordSeparator(char ch) { return SeparatesWords(ch); }

std::string GetWord(std::string_view s, int n) { return NthPiece(s, n, IsWordSeparator); }

int FirstWords(std::string_view s, std::string_view* words, int max) {
  int count = 0;
  std::size_t i = 0;
  while (count < max) {
    while (i < s.size() && SeparatesWords(s[i])) ++i;
    if (i == s.size()) break;
    const std::size_t begin = i;
    while (i < s.size() && !SeparatesWords(s[i])) ++i;
    words[count++] = s.substr(begin, i - begin);
  }
  return count;
}

std::string GetTabField(std::string_view s, int n) {
  return NthPiece(s, n, [](char ch) { return ch == '\t'; });
}

int CountTabFields(std::string_view s) {
  int count = 0;
  bool inField = false;
  for (const char ch : s) {
    if (ch == '\t') {
      inField = false;
    } else if (!inField) {
      inField = true;
      ++count;
    }
  }
  return count;
}

ParsedNumber ParseNumber(std::string_view s) {
  const std::size_t n = s.size();
  auto errorAt = [](std::size_t index) { return ParsedNumber{0, static_cast<int>(index) + 1}; };
  auto skipDigits = [&](std::size_t& i) {
    const std::size_t begin = i;
    while (i < n && IsDigit(s[i])) ++i;
    return i - begin;
  };

  std::size_t i = 0;
  while (i < n && s[i] == ' ') ++i;
  const std::size_t start = i;
  if (n - start == 1 && s[start] == '.') return {0, 0};
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t mantissaDigits = skipDigits(i);
  if (i < n && s[i] == '.') {
    ++i;
    mantissaDigits += skipDigits(i);
  }
  if (mantissaDigits == 0) return errorAt(i);
  std::size_t exponentAt = n;
  if (i < n && (s[i] == 'E' || s[i] == 'e')) {
    exponentAt = i++;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    if (skipDigits(i) == 0) return errorAt(i);
  }
  if (i < n) return errorAt(i);

  Real exact = 0;
  if (ConvertExactly(s.substr(start), exact)) return {exact, 0};
  bool overflow = false;
  const Real value = ConvertCheckedNumber(std::string(s.substr(start)), overflow);
  // A number beyond the extended range (about 1.19E4932) cannot be held; the exponent is what
  // puts it there, or the length of the digits when there is none.
  if (overflow) return errorAt(exponentAt < n ? exponentAt : start);
  return {value, 0};
}

ParsedInteger ReadInteger(std::string_view s) {
  const std::size_t n = s.size();
  auto errorAt = [](std::size_t index) { return ParsedInteger{0, static_cast<int>(index) + 1}; };
  std::size_t i = 0;
  while (i < n && s[i] == ' ') ++i;
  const bool negative = i < n && s[i] == '-';
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  if (i == n || !IsDigit(s[i])) return errorAt(i);
  // 2^31 is accepted only with a minus sign: the most negative integer is readable too.
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (; i < n; ++i) {
    if (!IsDigit(s[i])) return errorAt(i);
    magnitude = 10 * magnitude + (s[i] - '0');
    if (magnitude > kLimit || (!negative && magnitude == kLimit)) return errorAt(i);
  }
  return {static_cast<Int>(negative ? -magnitude : magnitude), 0};
}

Int LeadingInteger(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::int64_t magnitude = 0;
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  for (; i < s.size() && IsDigit(s[i]); ++i)
    magnitude = std::min(kLimit, 10 * magnitude + (s[i] - '0'));
  if (!negative) magnitude = std::min(magnitude, kLimit - 1);
  return static_cast<Int>(negative ? -magnitude : magnitude);
}

std::optional<Real> ReadLocaleNumber(std::string_view s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::nullopt;
  std::string text(s.substr(first, s.find_last_not_of(' ') - first + 1));
  const auto commas = std::count(text.begin(), text.end(), ',');
  const auto points = std::count(text.begin(), text.end(), '.');
  if (commas > 1 || (commas == 1 && points > 0)) return std::nullopt;
  std::replace(text.begin(), text.end(), ',', '.');
  // ParseNumber reads a lone point as 0 for the sake of files; a typed value needs a digit.
  if (std::none_of(text.begin(), text.end(), IsDigit)) return std::nullopt;
  const ParsedNumber parsed = ParseNumber(text);
  if (!parsed.ok()) return std::nullopt;
  return parsed.value;
}

std::string FormatPadded(Real x, int w, int d) {
  std::string text;
  if (!std::isfinite(x)) {
    text = NonFiniteText(x);
  } else {
    text = WithSign(std::signbit(x), FixedDigits(std::fabs(x), std::clamp(d, 0, kMaxDecimals)));
  }
  const int width = std::min(w, kMaxWidth);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
  return text;
}

std::string FormatGeneral(Real x) {
  if (!std::isfinite(x)) return NonFiniteText(x);
  if (x == 0) return "0";
  Decimal r = RoundToSignificant(std::fabs(x), 15);
  DropTrailingZeros(r.digits);
  // Below 1E-5 or with more than 15 integer digits the plain form would show more zeros than
  // information; the exponent carries no "+" ("1E20").
  if (r.exponent < -5 || r.exponent >= 15)
    return WithSign(std::signbit(x), ScientificText(r, false, 0));
  const int decimals = std::max(0, static_cast<int>(r.digits.size()) - 1 - r.exponent);
  return WithSign(std::signbit(x), PlainText(r, decimals));
}

std::string FormatFixed(Real x, int p, int d) {
  if (!std::isfinite(x)) return NonFiniteText(x);
  const int significant = std::clamp(p, 1, kMaxSignificant);
  const int decimals = std::clamp(d, 0, kMaxDecimals);
  const bool negative = std::signbit(x);
  if (x == 0) return FixedDigits(0, decimals);
  Decimal r = RoundToSignificant(std::fabs(x), significant);
  if (r.exponent + 1 > significant) {
    DropTrailingZeros(r.digits);
    return WithSign(negative, ScientificText(r, false, 0));
  }
  // One rounding only, at whichever position comes first: the last significant digit or the
  // last decimal. Rounding first to p digits and then to d decimals could round twice
  // (1.2344999 -> 1.2345 -> 1.235).
  if (significant <= r.exponent + 1 + decimals) return WithSign(negative, PlainText(r, decimals));
  return WithSign(negative, FixedDigits(std::fabs(x), decimals));
}

std::string FormatExponent(Real x, int p, int d) {
  if (!std::isfinite(x)) return NonFiniteText(x);
  const Decimal r = RoundToSignificant(std::fabs(x), std::clamp(p, 1, kMaxSignificant));
  return WithSign(std::signbit(x), ScientificText(r, true, std::clamp(d, 0, kMaxExponentDigits)));
}

namespace {

// Length of the valid UTF-8 sequence at the start of s (1..4), or 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view s) {
  const auto b = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = b(0);
  if (lead < 0x80) return 1;
  std::size_t n = 0;
  unsigned lo = 0x80, hi = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  if (b(1) < lo || b(1) > hi) return 0;
  for (std::size_t i = 2; i < n; ++i)
    if (b(i) < 0x80 || b(i) > 0xBF) return 0;
  return n;
}

void AppendCodePoint(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Windows-1252 bytes 0x80..0x9F; the others of 0xA0..0xFF are Latin-1.
constexpr unsigned kWindows1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

}  // namespace

std::string ToUtf8(std::string_view text) {
  // Plain ASCII, the common case, is UTF-8 as it stands.
  if (std::all_of(text.begin(), text.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t n = Utf8SequenceLength(text.substr(i));
    if (n > 0) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    const auto byte = static_cast<unsigned char>(text[i++]);
    AppendCodePoint(out, byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte);
  }
  return out;
}

}  // namespace polydec::core
