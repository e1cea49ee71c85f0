// Every input that ever broke a reader, and the small valid files the fuzzers start from, run
// through the readers again: each must come back (refused or read), never crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "targets.h"

namespace polydec::fuzz {
namespace {

namespace fs = std::filesystem;

TEST(CorpusReplay, EveryReaderComesBackFromEveryKeptInput) {
  const fs::path corpus = fs::path(POLYDEC_SOURCE_DIR) / "tests" / "fuzz" / "corpus";
  int replayed = 0;
  for (const NamedTarget& target : Targets()) {
    const fs::path folder = corpus / target.name;
    ASSERT_TRUE(fs::is_directory(folder)) << "no corpus for " << target.name;
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
      SCOPED_TRACE(entry.path().string());
      EXPECT_EQ(target.run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace polydec::fuzz
