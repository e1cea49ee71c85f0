// Splitting texts into words and TAB fields, reading numbers, and the four number formats
// that every reader and writer of the system uses. File layouts are defined in these terms.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/types.h"

namespace polydec::core {

// TAB, blank, double quote, single quote, comma, semicolon, backslash.
bool IsWordSeparator(char ch);

// Word n (from 1) of s; "***" for n <= 0, empty when s has fewer words.
std::string GetWord(std::string_view s, int n);
// The first words of s (as GetWord counts them) into words[0..max-1], without copying; returns
// how many there are (at most max). The views point into s.
int FirstWords(std::string_view s, std::string_view* words, int max);
// TAB field n (from 1) of s; runs of TABs never make empty fields; "***" for n < 1.
std::string GetTabField(std::string_view s, int n);
int CountTabFields(std::string_view s);

// A number read from text: errorPos is 0 for a valid number, else the 1-based position of the
// first character that does not fit (1 for an empty text).
struct ParsedNumber {
  Real value = 0;
  int errorPos = 0;
  bool ok() const { return errorPos == 0; }
};
struct ParsedInteger {
  Int value = 0;
  int errorPos = 0;
  bool ok() const { return errorPos == 0; }
};

// Leading blanks, optional sign, digits, optional point and digits, optional exponent; the
// decimal separator is always the point, whatever the locale. A lone point reads as 0. A value
// beyond the extended range is an error at the exponent letter (at the first character of the
// number when it has no exponent); one below it reads as 0 or a subnormal.
ParsedNumber ParseNumber(std::string_view s);
// Leading blanks, optional sign, decimal digits up to the end of the text; a value outside the
// 32-bit range is an error at the digit that leaves it.
ParsedInteger ReadInteger(std::string_view s);
// The integer a lenient conversion reads: leading blanks, a sign, the digits before the first
// character that does not fit; 0 when there are none, saturated at the 32-bit range.
Int LeadingInteger(std::string_view s);
// Number typed by a user: the point, or a single comma in its place, as decimal separator;
// blanks around it are allowed. Empty when the text is no number.
std::optional<Real> ReadLocaleNumber(std::string_view s);

// Every format writes the point as decimal separator whatever the locale, writes a value that
// rounds to zero without a minus sign, and writes "NAN", "INF" or "-INF" for non-finite values.

// Fixed point with exactly d decimals and a point, right-aligned to at least w characters.
std::string FormatPadded(Real x, int w, int d);
// Shortest text of at most 15 significant digits; scientific below 1e-5 or above 15 integer
// digits, with no "+" in the exponent ("1E-6", "1E20").
std::string FormatGeneral(Real x);
// d decimals of a value rounded to p significant digits (one rounding, at whichever position
// comes first); scientific like FormatGeneral, with p digits, when the value has more than p
// integer digits.
std::string FormatFixed(Real x, int p, int d);
// Scientific d.ddd...E+xx with p significant digits and at least d exponent digits.
std::string FormatExponent(Real x, int p, int d);

// Text of a file as UTF-8: valid UTF-8 sequences stay as they are, every other byte is read as
// the Windows-1252 character it stands for (files from spreadsheets and older programs mix
// both; "½" comes as the byte 0xBD as often as in UTF-8). Bytes that Windows-1252 leaves
// undefined become U+FFFD. The result is always valid UTF-8.
std::string ToUtf8(std::string_view text);

}  // namespace polydec::core
