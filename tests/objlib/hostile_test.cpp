// Hostile input: truncated and corrupted variants of every LWO2 object in the
// corpus and the samples must load or fail with a status, never crash, hang
// or balloon, and whatever loads must be consistent.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "object_checks.h"
#include "objectdb.h"
#include "test_support.h"

// Live heap bytes of this process, for the memory bound below. The global
// operators pair malloc with free on purpose, which GCC cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<int64_t> g_live{0};
std::atomic<int64_t> g_peak{0};

void* Track(void* p) {
  if (p) {
    int64_t now = g_live += int64_t(malloc_usable_size(p));
    int64_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
  }
  return p;
}
void Untrack(void* p) {
  if (p) g_live -= int64_t(malloc_usable_size(p));
}
}  // namespace

void* operator new(size_t n) {
  if (void* p = Track(malloc(n ? n : 1))) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return Track(malloc(n ? n : 1)); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return Track(malloc(n ? n : 1)); }
void operator delete(void* p) noexcept {
  Untrack(p);
  free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete(p); }

namespace {

std::vector<std::string> Lwo2Files() {
  std::vector<std::string> files;
  for (const char* folder : {"lwo2", "lws"})
    for (auto& f : FilesUnder(CorpusPath(folder), ".lwo")) {
      char head[12] = {};
      FILE* in = fopen(f.c_str(), "rb");
      size_t n = in ? fread(head, 1, sizeof head, in) : 0;
      if (in) fclose(in);
      if (n == 12 && memcmp(head, "FORM", 4) == 0 && memcmp(head + 8, "LWO2", 4) == 0) files.push_back(f);
    }
  for (auto& f : FilesUnder(SourcePath("samples"), ".lwo")) files.push_back(f);
  return files;
}

// Loads the bytes (each call from its own exact-size heap block) with the
// viewer's post-processing when `process` is set, and checks the outcome.
void LoadAndCheck(const std::vector<uint8_t>& bytes, bool process, const std::string& what) {
  LoadOptions options;
  if (process) options.flags = LOAD_SORT | LOAD_TRIANGULATE | LOAD_NORMALS | LOAD_EDGES;
  const int64_t before = g_live.load();
  g_peak = before;
  ObjectDb* db = CreateObjectDb(0);
  ASSERT_NE(db, nullptr);
  int status = LoadObjectFromMemory(db, bytes.data(), bytes.size(), 2, &options);
  EXPECT_GE(status, 0) << what;
  EXPECT_LE(status, 13) << what;
  if (db->readStatus == 0) {
    EXPECT_EQ(FindInconsistency(db), "") << what;
  }
  CloseObjectDb(&db);
  const int64_t used = g_peak.load() - before;
  EXPECT_LE(used, int64_t(bytes.size()) * 64 + (int64_t(64) << 20)) << what;
}

uint32_t U4At(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

void PutU4(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v >> 24);
  b[at + 1] = uint8_t(v >> 16);
  b[at + 2] = uint8_t(v >> 8);
  b[at + 3] = uint8_t(v);
}

struct ChunkAt {
  size_t header;  // offset of the ID
  std::string id;
  uint32_t length;
};

std::vector<ChunkAt> Chunks(const std::vector<uint8_t>& b) {
  std::vector<ChunkAt> out;
  size_t at = 12;
  while (at + 8 <= b.size()) {
    uint32_t len = U4At(b, at + 4);
    out.push_back({at, std::string(reinterpret_cast<const char*>(&b[at]), 4), len});
    at += 8 + size_t(len);
  }
  return out;
}

class HostileLwo2 : public ::testing::TestWithParam<std::string> {};

TEST_P(HostileLwo2, TruncatedPrefixes) {
  const auto bytes = ReadFileBytes(GetParam());
  const size_t n = bytes.size();
  const bool small = n < 4096;
  const size_t steps = small ? n : 200;
  for (size_t i = 0; i < steps; ++i) {
    size_t len = small ? i : (n * i) / steps;
    std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + ptrdiff_t(len));
    LoadAndCheck(prefix, n < (256u << 10), "prefix " + std::to_string(len));
    if (HasFatalFailure()) return;
  }
}

TEST_P(HostileLwo2, CorruptedChunkLengthsAndIndices) {
  const auto bytes = ReadFileBytes(GetParam());
  const bool process = bytes.size() < (256u << 10);
  auto chunks = Chunks(bytes);
  // Large files have many similar chunks: the first ones and every kind once.
  std::vector<ChunkAt> picked;
  std::vector<std::string> seen;
  for (size_t i = 0; i < chunks.size(); ++i)
    if (i < 12 || std::find(seen.begin(), seen.end(), chunks[i].id) == seen.end()) {
      picked.push_back(chunks[i]);
      seen.push_back(chunks[i].id);
    }
  const uint32_t lengths[] = {0, 1, 0xFFFFFFF8u, uint32_t(bytes.size() * 2 + 1)};
  for (auto& c : picked) {
    for (uint32_t len : lengths) {
      auto v = bytes;
      PutU4(v, c.header + 4, len);
      LoadAndCheck(v, process, c.id + " length " + std::to_string(len));
    }
    if (c.length >= 1) {
      auto v = bytes;
      PutU4(v, c.header + 4, c.length | 1);  // odd
      LoadAndCheck(v, process, c.id + " odd length");
    }
    const size_t body = c.header + 8;
    if (body + 8 > bytes.size()) continue;
    auto v = bytes;
    if (c.id == "POLS" || c.id == "PTAG") {
      // The first index past every count, in its four-byte VX form.
      size_t at = body + 4 + (c.id == "POLS" ? 2 : 0);
      if (at + 4 <= v.size()) {
        v[at] = 0xFF;
        v[at + 1] = 0xFF;
        v[at + 2] = 0xFF;
        v[at + 3] = 0xFF;
        LoadAndCheck(v, process, c.id + " index past count");
      }
    } else if (c.id == "VMAP" || c.id == "VMAD") {
      v[body + 4] = 0;
      v[body + 5] = 0;  // dimension 0
      LoadAndCheck(v, process, c.id + " dimension 0");
    }
    if (HasFatalFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileLwo2, ::testing::ValuesIn(Lwo2Files()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param.substr(info.param.find_last_of('/') + 1);
                           for (char& ch : name)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name + "_" + std::to_string(info.index);
                         });

TEST(HostileLwo2Fixtures, LongNamesAndMissingLayers) {
  std::string longName(300, 'L');
  Body layr;
  layr.U2(0).U2(0).Vec(0, 0, 0).S0(longName.c_str());
  Body pnts;
  pnts.Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0);
  Body surf;
  surf.S0(longName.c_str()).S0("");
  Body tags;
  tags.S0(longName.c_str());
  Body pols;
  pols.Id("FACE").U2(3).VX(0).VX(1).VX(2);
  Body ptag;
  ptag.Id("SURF").VX(0).U2(0);
  auto file = IffBuilder("LWO2")
                  .Chunk("TAGS", tags)
                  .Chunk("LAYR", layr)
                  .Chunk("PNTS", pnts)
                  .Chunk("POLS", pols)
                  .Chunk("PTAG", ptag)
                  .Chunk("SURF", surf, 4)  // names longer than the chunk
                  .Bytes();
  ObjectDb* db = CreateObjectDb(0);
  ASSERT_EQ(LoadObjectFromMemory(db, file.data(), file.size(), 2, nullptr), 0);
  EXPECT_EQ(strlen(db->ops.GetLayer(db, 0)->name), 255u);
  EXPECT_EQ(strlen(db->ops.GetPolygon(db, 0)->surfaceName), 255u);
  EXPECT_EQ(FindInconsistency(db), "");
  CloseObjectDb(&db);

  // A FORM length past the end of the file, and one that stops early.
  for (int64_t formLength : {int64_t(1) << 31, int64_t(20)}) {
    auto bytes = IffBuilder("LWO2").Chunk("PNTS", pnts).Chunk("POLS", pols).Bytes(formLength);
    db = CreateObjectDb(0);
    EXPECT_EQ(LoadObjectFromMemory(db, bytes.data(), bytes.size(), 2, nullptr), 0);
    EXPECT_EQ(db->ops.GetPointCount(db), 3);  // the chunk that starts inside the FORM is read
    CloseObjectDb(&db);
  }
}

}  // namespace
