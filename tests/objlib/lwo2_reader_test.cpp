#include <gtest/gtest.h>

#include <fstream>
#include <cstdio>

#include "object_checks.h"
#include "objectdb.h"
#include "test_support.h"

namespace {

struct Loaded {
  ObjectDb* db = CreateObjectDb(0);
  int status = 0;
  explicit Loaded(const std::vector<uint8_t>& bytes, const LoadOptions* options = nullptr, FILE* log = nullptr) {
    db->logFile = log;
    status = LoadObjectFromMemory(db, bytes.data(), bytes.size(), 2, options);
  }
  ~Loaded() { CloseObjectDb(&db); }
};

std::vector<uint8_t> Layr(uint16_t number, const char* name, int parent = -1) {
  Body b;
  b.U2(number).U2(0).Vec(1, 2, 3).S0(name);
  if (parent >= 0) b.U2(uint16_t(parent));
  return b;
}

std::vector<uint8_t> Pnts(int n) {
  Body b;
  for (int i = 0; i < n; ++i) b.Vec(float(i), float(i % 2), 0);
  return b;
}

// Tags, `points` points, polygons and one tag table, in that order.
std::vector<uint8_t> TaggedFile(const Body& tags, int points, const Body& pols, const Body& ptag) {
  return IffBuilder("LWO2")
      .Chunk("TAGS", tags)
      .Chunk("PNTS", Pnts(points))
      .Chunk("POLS", pols)
      .Chunk("PTAG", ptag)
      .Bytes();
}

struct ProvenanceRow {
  std::string file;
  int points, polygons;
};

// The LWO2 rows of the corpus table with their point and polygon counts.
std::vector<ProvenanceRow> Lwo2Rows() {
  std::ifstream in(CorpusPath("PROVENANCE.md"));
  std::vector<ProvenanceRow> rows;
  std::string line;
  while (std::getline(in, line)) {
    // | `file` | FORM LWO2 | size | N points, M polygons; ...
    if (line.rfind("| `", 0) != 0 || line.find("| FORM LWO2 |") == std::string::npos) continue;
    size_t end = line.find('`', 3);
    size_t details = line.find(" points, ");
    if (end == std::string::npos || details == std::string::npos) continue;
    size_t start = line.rfind("| ", details);
    int points = 0, polygons = 0;
    if (start == std::string::npos ||
        sscanf(line.c_str() + start, "| %d points, %d polygons", &points, &polygons) != 2)
      continue;
    rows.push_back({line.substr(3, end - 3), points, polygons});
  }
  return rows;
}

TEST(Lwo2Corpus, EveryObjectOpensWithTheListedCounts) {
  auto rows = Lwo2Rows();
  if (rows.empty()) GTEST_SKIP() << "corpus not present";
  EXPECT_GE(rows.size(), 50u);
  for (auto& row : rows) {
    SCOPED_TRACE(row.file);
    ObjectDb* db = OpenObjectDb(CorpusPath(row.file).c_str(), nullptr);
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(db->format, 2);
    int points = 0, polygons = 0;
    for (int i = 0; i < db->ops.GetLayerCount(db); ++i) {
      db->ops.SelectLayer(db, i);
      points += db->ops.GetPointCount(db);
      for (Id4 t : kPolygonTypes) {
        db->ops.BeginPolygonType(db, t);
        polygons += db->ops.GetPolygonCount(db);
      }
      db->ops.BeginPolygonType(db, ID_FACE);
    }
    EXPECT_EQ(points, row.points);
    EXPECT_EQ(polygons, row.polygons);
    EXPECT_EQ(FindInconsistency(db), "");
    CloseObjectDb(&db);
  }
}

TEST(Lwo2Corpus, HierarchySortsLayersByNumberKeepingParentNumbers) {
  ObjectDb* db = OpenObjectDb(CorpusPath("lwo2/assimp/hierarchy.lwo").c_str(), nullptr);
  if (!db) GTEST_SKIP() << "corpus not present";
  ASSERT_EQ(db->ops.GetLayerCount(db), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(db->ops.GetLayer(db, i)->ordinal, i);
    EXPECT_EQ(db->ops.GetLayer(db, i)->number, i + 1);
  }
  EXPECT_EQ(db->currentLayer, db->ops.GetLayer(db, 0));
  db->ops.SelectLayer(db, 0);
  char parent[kNameSize];
  db->ops.GetParentLayerName(db, parent);
  EXPECT_STREQ(parent, db->ops.GetLayer(db, 3)->name);  // parent is layer number 4
  CloseObjectDb(&db);
}

TEST(Lwo2Corpus, OtherFormsAndEmptyFilesAreRefused) {
  for (const char* f : {"lwo2/other-forms/lwo3_box0.lwo", "lwo2/other-forms/CrazyEngine.lxo",
                        "lwo2/invalid/empty.lwo"}) {
    std::string path = CorpusPath(f);
    if (!FileExists(path)) continue;
    ObjectDb* db = CreateObjectDb(0);
    EXPECT_EQ(OpenObjectDbInto(db, path.c_str(), nullptr), ERR_UNKNOWN_TYPE) << f;
    EXPECT_STREQ(db->ops.TakeErrorText(db), "unknown type");
    CloseObjectDb(&db);
  }
}

TEST(Lwo2Reader, LayersParentsPolygonFlagsAndLongIndices) {
  Body pols;
  pols.Id("FACE").U2(0x0403).VX(0).VX(1).VX(2);
  pols.U2(3).U1(0xFF).U1(0x00).U1(0x00).U1(0x10).VX(1).VX(2);  // VX FF 00 00 10 = point 16
  auto file = IffBuilder("LWO2")
                  .Chunk("LAYR", Layr(2, "two"))
                  .Chunk("PNTS", Pnts(17))
                  .Chunk("LAYR", Layr(0, "zero"))
                  .Chunk("PNTS", Pnts(17))
                  .Chunk("POLS", pols)
                  .Chunk("LAYR", Layr(1, "one", 2))
                  .Bytes();
  Loaded l(file);
  ASSERT_EQ(l.status, 0);
  auto& o = l.db->ops;
  ASSERT_EQ(o.GetLayerCount(l.db), 3);
  EXPECT_STREQ(o.GetLayer(l.db, 0)->name, "zero");
  EXPECT_STREQ(o.GetLayer(l.db, 1)->name, "one");
  EXPECT_STREQ(o.GetLayer(l.db, 2)->name, "two");
  EXPECT_EQ(o.GetLayer(l.db, 0)->parent, -1);
  EXPECT_EQ(o.GetLayer(l.db, 1)->parent, 2);
  EXPECT_EQ(o.GetLayer(l.db, 0)->pivot[2], 3.0);
  o.SelectLayer(l.db, 0);
  ASSERT_EQ(o.GetPolygonCount(l.db), 2);
  EXPECT_EQ(o.GetPolygon(l.db, 0)->vertexCount, 3);
  EXPECT_EQ(o.GetPolygon(l.db, 0)->flags, 1);
  EXPECT_EQ(o.GetPolygon(l.db, 1)->points[0], 16);
}

TEST(Lwo2Reader, TagsBindSurfacesAndUnknownChunksAreLogged) {
  Body tags;
  tags.S0("Hull").S0("Part");
  Body pols;
  pols.Id("FACE").U2(3).VX(0).VX(1).VX(2).U2(3).VX(1).VX(2).VX(3);
  Body ptag;
  ptag.Id("SURF").VX(0).U2(0).VX(1).U2(999).VX(999).U2(0);
  Body part;
  part.Id("PART").VX(1).U2(1);
  std::vector<uint8_t> icon(1234, 7);
  auto file = IffBuilder("LWO2")
                  .Chunk("TAGS", tags)
                  .Chunk("LAYR", Layr(0, ""))
                  .Chunk("PNTS", Pnts(4))
                  .Chunk("POLS", pols)
                  .Chunk("PTAG", ptag)
                  .Chunk("PTAG", part)
                  .Chunk("ICON", icon)
                  .Bytes();
  std::string logPath = TempDir() + "/tags.log";
  FILE* log = fopen(logPath.c_str(), "w");
  {
    Loaded l(file, nullptr, log);
    fclose(log);
    ASSERT_EQ(l.status, 0);
    auto& o = l.db->ops;
    ObjSurface* hull = o.FindSurface(l.db, "Hull");
    ASSERT_NE(hull, nullptr);  // no SURF chunk: created empty
    EXPECT_TRUE(hull->raw.empty());
    EXPECT_STREQ(o.GetPolygon(l.db, 0)->surfaceName, "Hull");
    EXPECT_EQ(o.GetPolygon(l.db, 0)->surfaceId, hull->id);
    EXPECT_EQ(o.GetPolygon(l.db, 1)->surfaceName, nullptr);  // tag 999 dropped
    EXPECT_EQ(o.GetTag(l.db, 1)->type, ID_PART);
    EXPECT_EQ(FindInconsistency(l.db), "");
  }
  std::ifstream in(logPath);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("ICON [1234]\n"), std::string::npos) << text;
}

// Polygons take their surface names from the table the same way when the
// naming is split into parts.
TEST(Lwo2Reader, SurfaceNamesFromATableSplitIntoParts) {
  Body tags;
  tags.S0("A").S0("B").S0("C");
  Body pols;
  pols.Id("FACE");
  for (int i = 0; i < 7; ++i) pols.U2(3).VX(0).VX(1).VX(2);
  Body ptag;
  ptag.Id("SURF").VX(0).U2(0).VX(1).U2(0).VX(2).U2(1).VX(3).U2(1).VX(4).U2(2).VX(5).U2(0).VX(1).U2(2);
  const auto file = TaggedFile(tags, 3, pols, ptag);
  const std::vector<const char*> expected = {"A", "C", "B", "B", "C", "A", nullptr};
  for (unsigned parts : {1u, 2u, 3u}) {
    SCOPED_TRACE(parts);
    ParallelLimitsScope limits(1, parts);
    Loaded l(file);
    ASSERT_EQ(l.status, 0);
    auto& o = l.db->ops;
    ASSERT_EQ(o.GetPolygonCount(l.db), 7);
    for (int p = 0; p < 7; ++p) {
      const ObjPolygon* polygon = o.GetPolygon(l.db, p);
      if (!expected[size_t(p)]) {
        EXPECT_EQ(polygon->surfaceName, nullptr) << p;
        continue;
      }
      ASSERT_NE(polygon->surfaceName, nullptr) << p;
      EXPECT_STREQ(polygon->surfaceName, expected[size_t(p)]) << p;
      EXPECT_EQ(polygon->surfaceId, o.FindSurface(l.db, expected[size_t(p)])->id) << p;
    }
    EXPECT_EQ(o.GetSurfaceCount(l.db), 3);
    EXPECT_EQ(FindInconsistency(l.db), "");
  }
}

// Entries of a tag table that name no polygon or tag go and what follows
// moves up; of two for one polygon the later wins.
TEST(Lwo2Reader, TagTableEntriesAreCheckedAndTheLastOfAPolygonWins) {
  Body tags;
  tags.S0("A").S0("B");
  Body pols;
  pols.Id("FACE").U2(3).VX(0).VX(1).VX(2).U2(3).VX(1).VX(2).VX(3).U2(3).VX(0).VX(2).VX(3);
  Body ptag;
  ptag.Id("SURF").VX(0).U2(0).VX(9).U2(0).VX(1).U2(5).VX(2).U2(1).VX(0).U2(1);
  const auto file = TaggedFile(tags, 4, pols, ptag);
  Loaded l(file);
  ASSERT_EQ(l.status, 0);
  auto& o = l.db->ops;
  EXPECT_STREQ(o.GetPolygon(l.db, 0)->surfaceName, "B");
  EXPECT_EQ(o.GetPolygon(l.db, 1)->surfaceName, nullptr);  // tag 5 does not exist
  EXPECT_STREQ(o.GetPolygon(l.db, 2)->surfaceName, "B");
  const PolygonTagTable& t = l.db->currentLayer->TagTables().at(0);
  EXPECT_EQ(t.polygons, (IndexArray{0, 2}));
  EXPECT_EQ(t.tags, (IndexArray{1, 1}));
  EXPECT_EQ(t.slotOf, (IndexArray{0, -1, 1}));
  EXPECT_EQ(FindInconsistency(l.db), "");
}

TEST(Lwo2Reader, DataBeforeTheFirstLayerLandsInLayerZero) {
  Body pols;
  pols.Id("FACE").U2(3).VX(0).VX(1).VX(2);
  Body vmap;
  vmap.Id("TXUV").U2(2).S0("uv").VX(0).F4(0.5f).F4(0.25f);
  auto file = IffBuilder("LWO2").Chunk("VMAP", vmap).Chunk("PNTS", Pnts(3)).Chunk("POLS", pols).Bytes();
  Loaded l(file);
  ASSERT_EQ(l.status, 0);
  ASSERT_EQ(l.db->ops.GetLayerCount(l.db), 1);
  EXPECT_EQ(l.db->ops.GetPolygonCount(l.db), 1);
  EXPECT_EQ(l.db->ops.GetVMapValue(l.db, l.db->ops.FindVMap(l.db, ID_TXUV, "uv"), 0), nullptr);  // before PNTS
}

TEST(Lwo2Reader, ReplacingChunksLeaveNoStaleIndices) {
  Body pols;
  pols.Id("FACE").U2(3).VX(0).VX(5).VX(6).U2(3).VX(0).VX(1).VX(2);
  Body ptag;
  ptag.Id("SURF").VX(1).U2(0);
  Body tags;
  tags.S0("S");
  Body few;
  few.Id("FACE").U2(3).VX(0).VX(1).VX(2);
  auto file = IffBuilder("LWO2")
                  .Chunk("TAGS", tags)
                  .Chunk("PNTS", Pnts(8))
                  .Chunk("POLS", pols)
                  .Chunk("PTAG", ptag)
                  .Chunk("POLS", few)   // replaces both polygons and drops the tag table
                  .Chunk("PNTS", Pnts(3))  // shrinks the points
                  .Bytes();
  Loaded l(file);
  ASSERT_EQ(l.status, 0);
  EXPECT_EQ(l.db->ops.GetPolygonCount(l.db), 1);
  EXPECT_EQ(l.db->ops.GetPolygonTagTableCount(l.db, 0), 0);
  EXPECT_EQ(FindInconsistency(l.db), "");
}

// Points read again after the polygons: indices the new points no longer
// reach are dropped, and those they do reach are kept, however many.
TEST(Lwo2Reader, PointsReadAfterThePolygonsKeepOnlyTheIndicesTheyReach) {
  Body pols;
  pols.Id("FACE").U2(4).VX(0).VX(1).VX(2).VX(3).U2(3).VX(1).VX(4).VX(5);
  for (int after : {5, 9}) {
    SCOPED_TRACE(after);
    auto file = IffBuilder("LWO2").Chunk("PNTS", Pnts(6)).Chunk("POLS", pols).Chunk("PNTS", Pnts(after)).Bytes();
    Loaded l(file);
    ASSERT_EQ(l.status, 0);
    ASSERT_EQ(l.db->ops.GetPolygonCount(l.db), 2);
    const ObjPolygon* quad = l.db->ops.GetPolygon(l.db, 0);
    const ObjPolygon* triangle = l.db->ops.GetPolygon(l.db, 1);
    EXPECT_EQ(std::vector<int32_t>(quad->points), (std::vector<int32_t>{0, 1, 2, 3}));
    const std::vector<int32_t> kept = after == 5 ? std::vector<int32_t>{1, 4} : std::vector<int32_t>{1, 4, 5};
    EXPECT_EQ(std::vector<int32_t>(triangle->points), kept);
    EXPECT_EQ(triangle->vertexCount, after == 5 ? 2 : 3);
    EXPECT_EQ(FindInconsistency(l.db), "");
  }
}

TEST(Lwo2Samples, BundledSamplesReadAsWritten) {
  struct Expect {
    const char* file;
    int layers, points, polygons, surfaces;
  } expected[] = {{"samples/cube.lwo", 1, 8, 6, 2},
                  {"samples/sphere.lwo", 1, 266, 288, 1},
                  {"samples/shapes.lwo", 1, 17, 2, 2},
                  {"samples/layers.lwo", 2, 8, 6, 2}};
  for (auto& e : expected) {
    SCOPED_TRACE(e.file);
    ObjectDb* db = OpenObjectDb(SourcePath(e.file).c_str(), nullptr);
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(db->ops.GetLayerCount(db), e.layers);
    EXPECT_EQ(db->ops.GetPointCount(db), e.points);
    EXPECT_EQ(db->ops.GetPolygonCount(db), e.polygons);
    EXPECT_EQ(db->ops.GetSurfaceCount(db), e.surfaces);
    EXPECT_EQ(FindInconsistency(db), "");
    CloseObjectDb(&db);
  }
}

}  // namespace
