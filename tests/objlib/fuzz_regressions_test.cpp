// Replays every input kept in fuzz/regressions/: each must load or fail with
// a status, and whatever loads must be consistent; and each target's folder
// goes through the very code its fuzz target runs.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz_entries.h"
#include "object_checks.h"
#include "objectdb.h"
#include "test_support.h"

namespace {

TEST(FuzzRegressions, EveryKeptInputLoadsOrFailsCleanly) {
  auto files = FilesUnder(SourcePath("fuzz/regressions"), "");
  LoadOptions options;
  options.flags = LOAD_SORT | LOAD_TRIANGULATE | LOAD_NORMALS | LOAD_EDGES;
  for (auto& f : files) {
    SCOPED_TRACE(f);
    auto bytes = ReadFileBytes(f);
    for (int format : {2, 1}) {
      ObjectDb* db = CreateObjectDb(0);
      int status = LoadObjectFromMemory(db, bytes.data(), bytes.size(), format, &options);
      EXPECT_TRUE(status >= 0 && status <= 13);
      if (db->readStatus == 0) {
        EXPECT_EQ(FindInconsistency(db), "");
      }
      CloseObjectDb(&db);
    }
  }
}

// A crash, leak or sanitizer report fails the run; returning is the pass.
TEST(FuzzRegressions, EveryTargetFolderReplaysThroughItsEntry) {
  for (size_t t = 0; t < kFuzzTargetCount; ++t) {
    SCOPED_TRACE(kFuzzTargets[t].name);
    for (auto& f : FilesUnder(SourcePath("fuzz/regressions/") + kFuzzTargets[t].name, "")) {
      SCOPED_TRACE(f);
      auto bytes = ReadFileBytes(f);
      kFuzzTargets[t].entry(bytes.data(), bytes.size());
    }
  }
}

// A finding filed under a folder no target owns would never be replayed.
TEST(FuzzRegressions, EveryFolderBelongsToATarget) {
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator(SourcePath("fuzz/regressions"), ec)) {
    if (!e.is_directory()) continue;
    const std::string name = e.path().filename().string();
    bool known = false;
    for (size_t t = 0; t < kFuzzTargetCount; ++t) known |= name == kFuzzTargets[t].name;
    EXPECT_TRUE(known) << name;
  }
}

}  // namespace
