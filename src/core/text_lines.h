// Lines of text files as every reader of the program takes them: a line ends at CR LF, LF or a
// lone CR (files from Windows, Unix and old Mac programs alike), and a last line end adds no
// empty line.
#pragma once

#include <cstddef>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace polydec::core {

// The lines of a whole text, without their ends.
std::vector<std::string> SplitLines(std::string_view text);

enum class LineRead { kLine, kEnd, kTooLong };

// Lines of a stream, counted from 1; a line is never held beyond maxLength characters,
// whatever the stream contains (kTooLong then ends reading).
class LineSource {
 public:
  // Reads the stream in blocks: everything after the construction must be read through Next.
  LineSource(std::streambuf& in, std::size_t maxLength) : in_(in), maxLength_(maxLength) {}
  LineRead Next(std::string& line);
  int Number() const { return number_; }

 private:
  bool Fill();  // false at the end of the stream

  std::streambuf& in_;
  std::size_t maxLength_;
  int number_ = 0;
  std::vector<char> block_;
  std::size_t pos_ = 0, end_ = 0;
};

}  // namespace polydec::core
