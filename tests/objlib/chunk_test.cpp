#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "chunk.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> Encode(uint32_t vx) {
  ChunkBuffWriter w;
  w.WriteVX(vx);
  return w.bytes;
}

TEST(ChunkVX, EncodingsAroundTheFourByteThreshold) {
  EXPECT_EQ(Encode(5), (std::vector<uint8_t>{0x00, 0x05}));
  EXPECT_EQ(Encode(65279), (std::vector<uint8_t>{0xFE, 0xFF}));
  EXPECT_EQ(Encode(65280), (std::vector<uint8_t>{0xFF, 0x00, 0xFF, 0x00}));
  EXPECT_EQ(Encode(65536), (std::vector<uint8_t>{0xFF, 0x01, 0x00, 0x00}));
  EXPECT_EQ(SizeOfVX(65279), 2);
  EXPECT_EQ(SizeOfVX(65280), 4);
  for (uint32_t v : {0u, 65279u, 65280u, 65536u, 0xFFFFFFu}) {
    auto bytes = Encode(v);
    ChunkBuff b(bytes.data(), bytes.size());
    uint32_t out = 0;
    EXPECT_EQ(b.ReadVX(&out), SizeOfVX(v));
    EXPECT_EQ(out, v);
    EXPECT_EQ(b.Error(), 0);
  }
}

TEST(ChunkVX, IndexPastTwentyFourBitsFailsTheWrite) {
  ChunkWriter w(nullptr, 0);
  EXPECT_EQ(w.WriteVX(0x1000000), 0);
  EXPECT_NE(w.Error(), 0);
  EXPECT_EQ(w.Count(), 0u);
}

TEST(ChunkS0, SizesAndPadding) {
  EXPECT_EQ(SizeOfS0(""), 2);
  EXPECT_EQ(SizeOfS0("a"), 2);
  EXPECT_EQ(SizeOfS0("ab"), 4);
  EXPECT_EQ(SizeOfS0("abc"), 4);
  for (const char* s : {"", "a", "ab", "abc"}) {
    ChunkBuffWriter w;
    EXPECT_EQ(w.WriteS0(s), SizeOfS0(s));
    ChunkBuff b(w.bytes.data(), w.bytes.size());
    char out[16];
    EXPECT_EQ(b.ReadS0(out, sizeof out), SizeOfS0(s));
    EXPECT_STREQ(out, s);
    EXPECT_TRUE(b.AtEnd());
  }
}

TEST(ChunkS0, UnterminatedLongTextStopsAtTheEndAndIsCut) {
  auto bytes = std::make_unique<uint8_t[]>(300);
  memset(bytes.get(), 'x', 300);
  ChunkBuff b(bytes.get(), 300);
  char out[256];
  EXPECT_EQ(b.ReadS0(out, sizeof out), 300);
  EXPECT_EQ(strlen(out), 255u);
  EXPECT_NE(b.Error(), 0);
}

TEST(ChunkBuffRead, ReadsStraddlingTheLimitGiveZerosAndFlag) {
  auto bytes = std::make_unique<uint8_t[]>(3);
  bytes[0] = 0x12;
  bytes[1] = 0x34;
  bytes[2] = 0x56;
  ChunkBuff b(bytes.get(), 3);
  uint32_t v = 1;
  EXPECT_EQ(b.ReadU4(&v), 0);
  EXPECT_EQ(v, 0x12345600u);
  EXPECT_NE(b.Error(), 0);

  ChunkBuff c(bytes.get(), 3);
  uint16_t u;
  c.ReadU2(&u);
  uint32_t vx = 7;
  c.ReadVX(&vx);  // one byte left
  EXPECT_EQ(vx, 0x5600u);
  EXPECT_NE(c.Error(), 0);
  EXPECT_TRUE(c.AtEnd());
}

// Cut anywhere, a run of values reads as the same run over zero bytes from
// the cut on, with the error flag from the first value the cut reaches.
TEST(ChunkBuffRead, EveryCutReadsAsZeroPaddedBytes) {
  ChunkBuffWriter w;
  const float vec[3] = {1.5f, -2.0f, 3.25f};
  for (uint32_t vx : {7u, 65280u, 0xABCDEFu, 65279u}) {
    w.WriteU2(uint16_t(vx));
    w.WriteVX(vx);
    w.WriteVEC12(vec);
  }
  const std::vector<uint8_t> full = w.bytes;
  struct Read {
    std::vector<uint32_t> values;
    std::vector<int> sizes;
  };
  auto readAll = [](ByteSource& b, std::vector<size_t>* ends) {
    Read r;
    for (int i = 0; i < 4; ++i) {
      uint16_t u = 9;
      r.sizes.push_back(b.ReadU2(&u));
      r.values.push_back(u);
      if (ends) ends->push_back(b.Position());
      uint32_t vx = 9;
      r.sizes.push_back(b.ReadVX(&vx));
      r.values.push_back(vx);
      if (ends) ends->push_back(b.Position());
      float f[3] = {9, 9, 9};
      r.sizes.push_back(b.ReadVEC12(f));
      for (float x : f) r.values.push_back(uint32_t(std::lround(x * 4)));
      if (ends) ends->push_back(b.Position());
    }
    return r;
  };
  for (size_t cut = 0; cut <= full.size(); ++cut) {
    SCOPED_TRACE(cut);
    std::vector<uint8_t> padded(full.begin(), full.begin() + ptrdiff_t(cut));
    padded.resize(full.size() + 8, 0);
    ChunkBuff whole(padded.data(), padded.size());
    std::vector<size_t> ends;
    const Read expected = readAll(whole, &ends);
    ChunkBuff cutShort(full.data(), cut);
    const Read got = readAll(cutShort, nullptr);
    EXPECT_EQ(got.values, expected.values);
    for (size_t k = 0; k < ends.size(); ++k) {
      // Sizes: U2 and VEC12 give 0 once they run short, VX its nominal size.
      const bool shortRead = ends[k] > cut;
      EXPECT_EQ(got.sizes[k], shortRead && k % 3 != 1 ? 0 : expected.sizes[k]) << k;
    }
    EXPECT_EQ(cutShort.Error() != 0, ends.back() > cut);
    EXPECT_LE(cutShort.Position(), cut);
  }
}

TEST(ChunkF4, BitExactRoundTrip) {
  const uint32_t patterns[] = {0x80000000u /* -0.0 */, 0x7FC01234u /* NaN payload */, 0x3F800000u};
  for (uint32_t bits : patterns) {
    float f;
    memcpy(&f, &bits, 4);
    ChunkBuffWriter w;
    w.WriteF4(f);
    ChunkBuff b(w.bytes.data(), w.bytes.size());
    float g;
    b.ReadF4(&g);
    uint32_t back;
    memcpy(&back, &g, 4);
    EXPECT_EQ(back, bits);
  }
}

TEST(ChunkWriterPasses, CountOnlyPassMatchesTheWrittenFile) {
  auto body = [](ChunkWriter& w) {
    w.WriteID4("LAYR");
    w.U4(12);
    float v[3] = {1, 2, 3};
    w.WriteVEC12(v);
    w.WriteVX(70000);
    w.WriteS0("name");
    uint8_t raw[3] = {1, 2, 3};
    w.WriteBytes(raw, 3);
  };
  ChunkWriter counter(nullptr, 0);
  body(counter);
  std::string path = TempDir() + "/passes.bin";
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ChunkWriter writer(f, 1);
  body(writer);
  fclose(f);
  EXPECT_EQ(counter.Count(), writer.Count());
  EXPECT_EQ(ReadFileBytes(path).size(), counter.Count());
}

TEST(ChunkReaderFile, ShortReadsSetTheFlagAndReturnZero) {
  std::string path = WriteTempFile("short.bin", {0x00, 0x01, 0x02});
  ChunkReader r;
  ASSERT_TRUE(r.Open(path.c_str()));
  uint16_t u;
  EXPECT_EQ(r.ReadU2(&u), 2);
  EXPECT_EQ(u, 1);
  uint32_t v;
  EXPECT_EQ(r.ReadU4(&v), 0);
  EXPECT_NE(r.Error(), 0);
  EXPECT_FALSE(r.Open((TempDir() + "/missing.bin").c_str()));
}

TEST(ChunkFile, HandsOutStretchesAndEndsWhereTheFileDoes) {
  std::vector<uint8_t> bytes(100);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i);
  const std::string path = WriteTempFile("stretches.bin", bytes);
  ChunkFile f;
  ASSERT_TRUE(f.Open(path.c_str()));
  EXPECT_EQ(f.Size(), 100u);
  auto taken = [](ByteSource s) {
    std::vector<uint8_t> out(s.Size());
    if (!out.empty()) s.ReadU1(out.data(), int(out.size()));
    return out;
  };
  EXPECT_EQ(taken(f.Take(3)), (std::vector<uint8_t>{0, 1, 2}));
  f.Seek(50);  // past bytes never read
  EXPECT_EQ(taken(f.Take(2)), (std::vector<uint8_t>{50, 51}));
  f.Seek(10);  // back
  EXPECT_EQ(taken(f.Take(2)), (std::vector<uint8_t>{10, 11}));
  f.Seek(90);
  EXPECT_EQ(taken(f.Take(1000)).size(), 10u);  // what is left, no more
  EXPECT_EQ(f.Remaining(), 0u);
  EXPECT_EQ(f.Take(5).Size(), 0u);
  EXPECT_FALSE(f.OutOfMemory());

  // A file cut short after it was opened ends where its bytes do (large
  // enough that no buffer of the stream still holds the bytes cut).
  const std::string longPath = WriteTempFile("cut.bin", std::vector<uint8_t>(size_t(1) << 18, 7));
  ChunkFile cut;
  ASSERT_TRUE(cut.Open(longPath.c_str()));
  std::filesystem::resize_file(longPath, 30);
  EXPECT_EQ(taken(cut.Take(50)).size(), 30u);
  EXPECT_EQ(cut.Size(), 30u);
  EXPECT_EQ(cut.Remaining(), 0u);
  EXPECT_FALSE(ChunkFile().Open((TempDir() + "/missing.bin").c_str()));
}

TEST(MemConTracker, CountsGrowsWithoutZeroingAndFrees) {
  MemCon* m = CreateMemCon();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->allocate(m, 0), nullptr);
  auto* a = static_cast<uint8_t*>(m->allocate(m, 16));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a[15], 0);
  a[0] = 42;
  a = static_cast<uint8_t*>(m->reallocate(m, a, 64));
  EXPECT_EQ(a[0], 42);   // contents kept
  EXPECT_EQ(a[63], 0);   // grown tail zeroed
  EXPECT_EQ(m->total, 64);
  EXPECT_EQ(m->free(m, a), 0);
  void* unrecorded = malloc(8);
  m->free(m, unrecorded);  // freed, not leaked
  void* kept = m->allocate(m, 8);
  (void)kept;  // released with the tracker
  ReleaseMemCon(&m);
  EXPECT_EQ(m, nullptr);
}

}  // namespace
