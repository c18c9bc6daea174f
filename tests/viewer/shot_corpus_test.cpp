// tamarind-shot over every LWO2 and LWOB object of the corpus: each one
// either renders or fails cleanly with status 1, and the sanitizers the
// tool is built with report nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "png_file.h"
#include "test_support.h"

namespace {

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

TEST(ShotCorpus, EveryObjectRendersOrFailsCleanly) {
  std::vector<std::string> files = FilesUnder(CorpusPath("lwo2"), ".lwo");
  for (const std::string& f : FilesUnder(CorpusPath("lwob"), ".lwo")) files.push_back(f);
  if (files.empty()) GTEST_SKIP() << "no corpus at " << CorpusPath("");
  const std::string out = TempDir() + "/shot.png", log = TempDir() + "/shot.log";
  int rendered = 0, index = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    // Every look and every switch comes round across the corpus.
    const int look = index++ % 5;
    std::string command = Quote(TAMARIND_SHOT) + " --size 160x120 --look " + std::to_string(look) +
                          " --outline --edges --textures --info" + (look % 2 ? " --axes --grid --immediate" : "") +
                          " -o " + Quote(out) + " " + Quote(file) + " >" + Quote(log) + " 2>&1";
    std::remove(out.c_str());
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "killed by a signal";
    const std::vector<uint8_t> bytes = ReadFileBytes(log);
    const std::string said(bytes.begin(), bytes.end());
    EXPECT_EQ(said.find("Sanitizer"), std::string::npos) << said;
    EXPECT_EQ(said.find("runtime error"), std::string::npos) << said;
    const int code = WEXITSTATUS(status);
    EXPECT_TRUE(code == 0 || code == 1) << "status " << code << "\n" << said;
    if (code != 0) continue;
    std::optional<RgbImage> image = ReadPng(out);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 160);
    EXPECT_EQ(image->height, 120);
    ++rendered;
  }
  // Nearly all of them are readable objects.
  EXPECT_GT(rendered, int(files.size()) / 2);
}
