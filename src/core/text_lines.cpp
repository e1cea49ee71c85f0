#include "core/text_lines.h"

namespace polydec::core {

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++end;
    start = end + 1;
  }
  return lines;
}

LineRead LineSource::Next(std::string& line) {
  using Traits = std::streambuf::traits_type;
  line.clear();
  Traits::int_type c = in_.sbumpc();
  if (Traits::eq_int_type(c, Traits::eof())) return LineRead::kEnd;
  ++number_;
  while (!Traits::eq_int_type(c, Traits::eof())) {
    const char ch = Traits::to_char_type(c);
    if (ch == '\n') break;
    if (ch == '\r') {
      if (Traits::eq_int_type(in_.sgetc(), Traits::to_int_type('\n'))) in_.sbumpc();
      break;
    }
    if (line.size() >= maxLength_) return LineRead::kTooLong;
    line.push_back(ch);
    c = in_.sbumpc();
  }
  return LineRead::kLine;
}

}  // namespace polydec::core
