#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "lwob_surface.h"
#include "object_checks.h"
#include "objectdb.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> Words(std::initializer_list<int> words) {
  Body b;
  for (int w : words) b.U2(uint16_t(w));
  return b;
}

std::vector<uint8_t> Points(int n) {
  Body b;
  for (int i = 0; i < n; ++i) b.Vec(float(i), float(i % 3), float(i % 5));
  return b;
}

// A file read with the LWOB reader alone, closed when this goes out of scope.
struct Loaded {
  ObjectDb* db = CreateObjectDb(0);
  int status = -1;
  explicit Loaded(const std::string& path) { status = db->ops.Load(db, path.c_str(), 1, nullptr); }
  ~Loaded() { CloseObjectDb(&db); }
  ObjPolygon* Polygon(Id4 type, int i) {
    db->ops.BeginPolygonType(db, type);
    return db->ops.GetPolygon(db, i);
  }
};

std::string SurfaceOf(const ObjPolygon* p) { return p && p->surfaceName ? p->surfaceName : "(none)"; }

TEST(LwobReader, PolygonWordWalk) {
  IffBuilder f("LWOB");
  f.Chunk("PNTS", Points(8)).Chunk("SRFS", Body().S0("A").S0("B"));
  f.Chunk("POLS", Words({3, 0, 1, 2, 1,                       // triangle, surface 1
                         4, 0, 1, 2, 3, -1, 2,                // quad, surface 1, two details
                         3, 4, 5, 6, 2, 3, 5, 6, 7, 1,        // the details
                         3, 0, 1, 2, 7, 2,                    // 7 > 2 surfaces: one more point
                         3, 0, 1, 2, 0,                       // surface 0: none
                         3, 0, 1, 2, -9, 0,                   // past the table: none
                         4, 0, 1}));                          // runs past the chunk
  Loaded o(WriteTempFile("walk.lwo", f.Bytes()));
  ASSERT_EQ(o.status, 0);
  EXPECT_EQ(o.db->format, 1);
  const struct {
    std::vector<int32_t> points;
    const char* surface;
    int id;
  } want[] = {{{0, 1, 2}, "A", 0},    {{0, 1, 2, 3}, "A", 0},    {{4, 5, 6}, "B", 1},
              {{5, 6, 7}, "A", 0},    {{0, 1, 2, 7}, "B", 1},    {{0, 1, 2}, "(none)", 0},
              {{0, 1, 2}, "(none)", 0}};
  ASSERT_EQ(o.db->ops.GetPolygonCount(o.db), 7);
  for (int i = 0; i < 7; ++i) {
    const ObjPolygon* p = o.Polygon(ID_FACE, i);
    EXPECT_EQ(p->points, want[i].points) << i;
    EXPECT_EQ(SurfaceOf(p), want[i].surface) << i;
    EXPECT_EQ(p->surfaceId, want[i].id) << i;
  }
  EXPECT_EQ(FindInconsistency(o.db), "");

  // The same bytes read from memory.
  ObjectDb* m = CreateObjectDb(0);
  const std::vector<uint8_t> bytes = f.Bytes();
  EXPECT_EQ(LoadObjectFromMemory(m, bytes.data(), bytes.size(), 1, nullptr), 0);
  EXPECT_EQ(m->ops.GetPolygonCount(m), 7);
  CloseObjectDb(&m);
}

TEST(LwobReader, PatchesCurvesAndLayer) {
  // CRVS may come before any SRFS; its curves then have no surface.
  IffBuilder f("LWOB");
  f.Chunk("PNTS", Points(4)).Chunk("CRVS", Words({2, 0, 1, 1, 3}));
  f.Chunk("SRFS", Body().S0("S")).Chunk("PCHS", Words({4, 0, 1, 2, 3, 1}));
  f.Chunk("CRVS", Words({3, 1, 2, 3, 1, 0x8002, 2, 0}));  // then one cut short
  f.Chunk("XTRA", Words({1, 2, 3}));
  const std::string path = WriteTempFile(std::string(180, 'd') + "/" + std::string(120, 'n') + ".lwo", f.Bytes());
  Loaded o(path);
  ASSERT_EQ(o.status, 0);
  ASSERT_EQ(o.db->ops.GetLayerCount(o.db), 1);
  EXPECT_EQ(std::string(o.db->ops.GetLayer(o.db, 0)->name), path.substr(0, 255));
  EXPECT_EQ(SurfaceOf(o.Polygon(ID_PTCH, 0)), "S");
  ASSERT_EQ(o.db->ops.GetPolygonCount(o.db), 1);
  o.db->ops.BeginPolygonType(o.db, ID_CURV);
  ASSERT_EQ(o.db->ops.GetPolygonCount(o.db), 2);
  EXPECT_EQ(o.Polygon(ID_CURV, 0)->surfaceName, nullptr);
  EXPECT_EQ(o.Polygon(ID_CURV, 0)->flags, 3);
  EXPECT_EQ(o.Polygon(ID_CURV, 1)->points, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(SurfaceOf(o.Polygon(ID_CURV, 1)), "S");
  EXPECT_EQ(o.Polygon(ID_CURV, 1)->flags, 0x8002);
}

TEST(LwobReader, FailureStatuses) {
  auto status = [](const std::string& name, const std::vector<uint8_t>& bytes) {
    Loaded o(WriteTempFile(name, bytes));
    EXPECT_EQ(FindInconsistency(o.db), "") << name;
    return o.status;
  };
  const auto pnts = IffBuilder("LWOB").Chunk("PNTS", Points(2)).Bytes();
  EXPECT_EQ(status("pols-first.lwo", IffBuilder("LWOB").Chunk("POLS", Words({1, 0, 1})).Bytes()), 7);
  EXPECT_EQ(status("short-pnts.lwo", std::vector<uint8_t>(pnts.begin(), pnts.end() - 1)), 5);
  EXPECT_EQ(status("huge-pnts.lwo", IffBuilder("LWOB").Chunk("PNTS", Points(1), 0xFFFFFFF0).Bytes()), 5);
  EXPECT_EQ(status("huge-pols.lwo",
                   IffBuilder("LWOB").Chunk("SRFS", Body().S0("A")).Chunk("POLS", {}, 0x7FFFFFFF).Bytes()),
            5);
  EXPECT_EQ(status("short-form.lwo", {'F', 'O', 'R', 'M', 0, 0}), 5);
  EXPECT_EQ(status("short-header.lwo", IffBuilder("LWOB").Bytes(40)), 5);
  EXPECT_EQ(status("lwo3.lwo", IffBuilder("LWO3").Chunk("PNTS", Points(1)).Bytes()), 4);
  EXPECT_EQ(status("missing.lwo", {}), 4);
  Loaded missing(TempDir() + "/no-such-file.lwo");
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.db->failedPath, TempDir() + "/no-such-file.lwo");
}

TEST(LwobReader, SurfacesAndImageClips) {
  const std::vector<uint8_t> body = Body()
                                        .Sub("COLR", {200, 100, 50, 0})
                                        .Sub("RIMG", Body().S0("refl.iff"))
                                        .Sub("CTEX", Body().S0("Planar Image Map"))
                                        .Sub("TIMG", Body().S0("C:\\maps\\wood.iff"))
                                        .Sub("TALP", Body().S0(""));
  IffBuilder f("LWOB");
  f.Chunk("SRFS", Body().S0("Wood")).Chunk("SURF", Body().S0("Wood").Raw(body));
  f.Chunk("SURF", Body().S0("Stray").Raw(body));  // not in SRFS: stores nothing
  ObjectDb* db = OpenObjectDb(WriteTempFile("surf.lwo", f.Bytes()).c_str(), nullptr);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->format, 1);
  ASSERT_EQ(db->ops.GetSurfaceCount(db), 1);
  EXPECT_EQ(db->ops.GetSurface(db, 0)->raw, body);
  ASSERT_EQ(db->ops.GetClipCount(db), 2);  // the empty TALP names no image
  EXPECT_STREQ(db->ops.GetClip(db, 0)->name, "refl.iff");
  EXPECT_STREQ(db->ops.GetClip(db, 1)->name, "C:\\maps\\wood.iff");
  EXPECT_NE(db->ops.GetClip(db, 0)->id, db->ops.GetClip(db, 1)->id);
  CloseObjectDb(&db);

  // An LWO2 file is still read by the LWO2 reader.
  db = OpenObjectDb(SourcePath("samples/cube.lwo").c_str(), nullptr);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->format, 2);
  CloseObjectDb(&db);
}

// Every FORM/LWOB file of the corpus, with the counts its provenance notes give.
// slack: bytes of its surface body that are not in full form; clips: images
// its surface names.
struct CorpusFile {
  const char* path;
  int points, polygons;
  size_t slack;
  int clips;
};
const CorpusFile kCorpus[] = {
    {"lwob/assimp/ConcavePolygon.lwo", 64, 1, 0, 0},
    // A TIMG, and a 4-byte TALP holding an empty name.
    {"lwob/assimp/MappingModes/bluewithcylindrictexz.lwo", 8, 6, 2, 1},
    {"lwob/assimp/sphere_with_mat_gloss_10pc.lwo", 266, 288, 0, 0},
    {"lwob/assimp/sphere_with_mat_gloss_50pc.lwo", 266, 288, 0, 0},
    {"lwob/assimp/formatDetection", 24, 1, 0, 0},
    {"lws/quickdraw/LWO/LWO2/LWSReferences/QuickDraw--Laserbeam.lwo", 2424, 2402, 0, 0},
};

TEST(LwobCorpus, OpensWithProvenanceCounts) {
  for (const CorpusFile& c : kCorpus) {
    SCOPED_TRACE(c.path);
    ObjectDb* db = OpenObjectDb(CorpusPath(c.path).c_str(), nullptr);
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(db->format, 1);
    int polygons = 0;
    for (Id4 type : kPolygonTypes) {
      db->ops.BeginPolygonType(db, type);
      polygons += db->ops.GetPolygonCount(db);
    }
    db->ops.BeginPolygonType(db, ID_FACE);
    EXPECT_EQ(db->ops.GetPointCount(db), c.points);
    EXPECT_EQ(polygons, c.polygons);
    EXPECT_EQ(FindInconsistency(db), "");
    for (int i = 0; i < db->ops.GetPolygonCount(db); ++i)
      ASSERT_NE(db->ops.GetPolygon(db, i)->surfaceName, nullptr);
    ASSERT_EQ(db->ops.GetSurfaceCount(db), 1);
    const std::vector<uint8_t>& raw = db->ops.GetSurface(db, 0)->raw;
    LwobSurfChunks s = ParseLwobSurfBody(db, raw.data(), raw.size());
    EXPECT_EQ(SizeLwobSurfChunks(s) + c.slack, raw.size());
    EXPECT_EQ(db->ops.GetClipCount(db), c.clips);
    CloseObjectDb(&db);
  }
}

TEST(LwobSurface, ReadsRecordsAndSkipsOrphans) {
  const std::string longName(300, 'x');
  const std::vector<uint8_t> body =
      Body()
          .Sub("TFLG", Words({4}))                  // before any texture
          .Sub("IMSQ", Words({1, 2, 3}))            // before any image record
          .Sub("SDAT", {1, 2})                      // before any shader
          .Sub("FLAG", Words({0x104}))
          .Sub("VDIF", Body().F4(0.75f))
          .Sub("ALPH", Words({2, 255}))
          .Sub("SPBF", {1, 2, 3, 4, 5, 6})
          .Sub("RIMG", Body().S0(longName.c_str()))
          .Sub("DTEX", Body().S0("Fractal Noise"))
          .Sub("TIP2", Words({7}))
          .Sub("TFP4", Body().F4(0.5f))
          .Sub("TSP0", Body().F4(2.0f))
          .Sub("TFP5", Body().F4(9.0f))             // no such parameter
          .Sub("TIMG", Body().S0("a.iff"))
          .Sub("BTEX", Body().S0("Bump Array"))
          .Sub("IMSQ", Words({4, 5, 6}))            // still belongs to a.iff
          .Sub("FLYR", Body().U4(7).U4(8))
          .Sub("TWRP", Words({1, 2}))
          .Sub("SHDR", Body().S0("plug"))
          .Sub("SDAT", {9, 8, 7});
  LwobSurfChunks s = ParseLwobSurfBody(nullptr, body.data(), body.size());
  ASSERT_TRUE(s.flag && s.vdif && s.alph && s.spbf && s.rimg);
  EXPECT_EQ(s.flag->value, 0x104);
  EXPECT_EQ(s.vdif->value, 0.75f);
  EXPECT_EQ(s.alph->value, (std::array<uint16_t, 2>{2, 255}));
  EXPECT_EQ(s.spbf->value, (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(s.spbf->length, 4);  // lengths are left in full form
  EXPECT_EQ(s.rimg->file, longName.substr(0, 255));
  EXPECT_FALSE(s.rimg->imsq);
  ASSERT_EQ(s.textures.size(), 2u);
  const LwobTexture& d = s.textures[0];
  EXPECT_EQ(d.type, "Fractal Noise");
  EXPECT_FALSE(d.tflg);
  ASSERT_TRUE(d.tip[2] && d.tfp[4] && d.tsp[0] && d.timg && d.timg->imsq && d.timg->flyr);
  EXPECT_EQ(d.tip[2]->value, 7);
  EXPECT_EQ(d.tfp[4]->value, 0.5f);
  EXPECT_EQ(d.tsp[0]->value, 2.0f);
  EXPECT_EQ(d.timg->imsq->value, (std::array<uint16_t, 3>{4, 5, 6}));
  EXPECT_EQ(d.timg->flyr->value, (std::array<uint32_t, 2>{7, 8}));
  EXPECT_TRUE(s.textures[1].twrp);
  EXPECT_FALSE(d.twrp);
  ASSERT_EQ(s.shaders.size(), 1u);
  EXPECT_EQ(s.shaders[0].name, "plug");
  ASSERT_TRUE(s.shaders[0].data);
  EXPECT_EQ(s.shaders[0].data->value, (std::vector<uint8_t>{9, 8, 7}));
  EXPECT_EQ(LwobImageFiles(s), (std::vector<std::string>{longName.substr(0, 255), "a.iff"}));
  FreeLwobSurfChunks(&s);
  EXPECT_TRUE(s.textures.empty());
  EXPECT_FALSE(s.flag);
}

TEST(LwobSurface, LogsMisfitsAndSizes) {
  const std::vector<uint8_t> body = Body()
                                        .Sub("COLR", {1, 2, 3, 4, 0, 0})  // 2 over
                                        .Sub("DIFF", {1})                 // 1 short
                                        .U1(0)                            // its pad byte
                                        .Sub("ABCD", {0, 0, 0, 0, 0, 0})
                                        .Sub("GLOS", Words({64}));
  ObjectDb* db = CreateObjectDb(0);
  db->logFile = tmpfile();
  LwobSurfChunks s = ParseLwobSurfBody(db, body.data(), body.size());
  std::string log(4096, '\0');
  if (db->logFile) {
    rewind(db->logFile);
    log.resize(fread(&log[0], 1, log.size(), db->logFile));
    fclose(db->logFile);
  }
  db->logFile = nullptr;
  CloseObjectDb(&db);

  ASSERT_TRUE(s.colr && s.diff && s.glos);
  EXPECT_EQ(s.diff->value, 0x0100);  // the missing byte reads as zero
  EXPECT_EQ(s.glos->value, 64);
  EXPECT_NE(log.find("[COLR] 6 bytes\n??? INVALIC ChunkBuff SIZE  2 bytes over\n"), std::string::npos);
  EXPECT_NE(log.find("??? INVALIC ChunkBuff SIZE  -1 bytes over\n"), std::string::npos);
  EXPECT_NE(log.find("[ABCD] 6 bytes\n??? UNKNOWN ChunkBuff 6\n"), std::string::npos);
  EXPECT_NE(log.find("***  SURFACE SIZE (40 / 26)  ***\n"), std::string::npos) << log;

  // A body in full form sizes to itself, pad bytes of odd raw data included.
  const std::vector<uint8_t> full = Body()
                                        .Sub("SPBF", {1, 2, 3}).U1(0)
                                        .Sub("TTEX", Body().S0("Wood"))
                                        .Sub("TIMG", Body().S0("w.iff"))
                                        .Sub("IMCC", Words({1, 2, 3}))
                                        .Sub("TFP1", Body().F4(1))
                                        .Sub("SHDR", Body().S0("sh"))
                                        .Sub("SDAT", {5}).U1(0);
  LwobSurfChunks f = ParseLwobSurfBody(nullptr, full.data(), full.size());
  EXPECT_EQ(SizeLwobSurfChunks(f), full.size());
}

TEST(LwobSurface, KeepsAtMost65535Textures) {
  Body b;
  for (int i = 0; i < 70000; ++i) b.Sub("CTEX", {0, 0});
  b.Sub("TFLG", Words({1}));  // belongs to a dropped texture
  const std::vector<uint8_t>& body = b.bytes();
  LwobSurfChunks s = ParseLwobSurfBody(nullptr, body.data(), body.size());
  ASSERT_EQ(s.textures.size(), LwobSurfChunks::kMaxEntries);
  EXPECT_FALSE(s.textures.back().tflg);
}

// Loads a file through the fallback and checks that it either loads
// consistently or fails with a status code.
void ExpectLoadsOrFails(const std::string& path, const std::string& what) {
  ObjectDb* db = CreateObjectDb(0);
  const int status = OpenObjectDbInto(db, path.c_str(), nullptr);
  EXPECT_TRUE(status >= 0 && status <= 13) << what << " status " << status;
  EXPECT_EQ(FindInconsistency(db), "") << what;
  for (int id = 0; id < db->ops.GetSurfaceCount(db); ++id) {
    // Each body in a block of exactly its size, so any overread is caught.
    const std::vector<uint8_t>& raw = db->ops.GetSurface(db, id)->raw;
    if (raw.empty()) continue;
    std::unique_ptr<uint8_t[]> copy(new uint8_t[raw.size()]);
    memcpy(copy.get(), raw.data(), raw.size());
    ParseLwobSurfBody(db, copy.get(), raw.size());
  }
  CloseObjectDb(&db);
}

TEST(LwobHostile, TruncationSweep) {
  for (const CorpusFile& c : kCorpus) {
    const std::vector<uint8_t> bytes = ReadFileBytes(CorpusPath(c.path));
    ASSERT_FALSE(bytes.empty()) << c.path;
    const size_t steps = bytes.size() < 4096 ? bytes.size() : 200;
    for (size_t k = 0; k < steps; ++k) {
      const size_t n = bytes.size() < 4096 ? k : k * bytes.size() / steps;
      const std::string path = WriteTempFile("cut.lwo", std::vector<uint8_t>(bytes.begin(), bytes.begin() + ptrdiff_t(n)));
      ExpectLoadsOrFails(path, std::string(c.path) + " cut at " + std::to_string(n));
    }
  }
}

TEST(LwobHostile, CorruptedVariants) {
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (const CorpusFile& c : kCorpus) {
    const std::vector<uint8_t> bytes = ReadFileBytes(CorpusPath(c.path));
    for (int variant = 0; variant < 150; ++variant) {
      std::vector<uint8_t> v = bytes;
      const int flips = 1 + int(next() % 8);
      for (int i = 0; i < flips; ++i) {
        const size_t at = next() % v.size();
        // Favour values that break counts and lengths: 0x00, 0xFF, 0x80, random.
        const uint8_t values[4] = {0x00, 0xFF, 0x80, uint8_t(next() >> 24)};
        v[at] = values[next() % 4];
      }
      ExpectLoadsOrFails(WriteTempFile("flip.lwo", v), std::string(c.path) + " variant " + std::to_string(variant));
    }
  }
}

}  // namespace
