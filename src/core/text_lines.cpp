#include "core/text_lines.h"

#include <algorithm>
#include <cstring>

namespace polydec::core {

namespace {

// The first LF or CR in [begin, stop), else stop. memchr looks for each in windows of a few
// hundred bytes: a file whose lines end in CR alone is never searched to the end for an LF.
const char* FindLineEnd(const char* begin, const char* stop) {
  constexpr std::size_t kWindow = 256;
  for (const char* at = begin; at != stop;) {
    const std::size_t span = std::min(kWindow, static_cast<std::size_t>(stop - at));
    const void* lf = std::memchr(at, '\n', span);
    const char* limit = lf != nullptr ? static_cast<const char*>(lf) : at + span;
    if (const void* cr = std::memchr(at, '\r', static_cast<std::size_t>(limit - at)))
      return static_cast<const char*>(cr);
    if (lf != nullptr) return limit;
    at = limit;
  }
  return stop;
}

}  // namespace

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

bool LineSource::Fill() {
  if (pos_ < end_) return true;
  if (block_.empty()) block_.resize(std::size_t{1} << 16);
  const std::streamsize got = in_.sgetn(block_.data(), static_cast<std::streamsize>(block_.size()));
  pos_ = 0;
  end_ = got > 0 ? static_cast<std::size_t>(got) : 0;
  return end_ > 0;
}

LineRead LineSource::Next(std::string& line) {
  line.clear();
  if (!Fill()) return LineRead::kEnd;
  ++number_;
  for (;;) {
    const char* begin = block_.data() + pos_;
    const char* stop = block_.data() + end_;
    const char* eol = FindLineEnd(begin, stop);
    const std::size_t span = static_cast<std::size_t>(eol - begin);
    if (line.size() + span > maxLength_) {
      const std::size_t room = maxLength_ - line.size();
      line.append(begin, room);
      pos_ += room;
      return LineRead::kTooLong;
    }
    line.append(begin, span);
    pos_ += span;
    if (eol != stop) {
      ++pos_;
      // CR LF is one line end, even when the block ends between the two.
      if (*eol == '\r' && Fill() && block_[pos_] == '\n') ++pos_;
      return LineRead::kLine;
    }
    if (!Fill()) return LineRead::kLine;
  }
}

}  // namespace polydec::core
