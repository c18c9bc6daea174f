// Replays every input kept in fuzz/regressions/: each must load or fail with
// a status, and whatever loads must be consistent.
#include <gtest/gtest.h>

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

}  // namespace
