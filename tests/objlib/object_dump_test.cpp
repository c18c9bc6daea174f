#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "objectdb.h"
#include "strips.h"
#include "test_support.h"

namespace {

// Dump text of db, through a temporary file.
std::string DumpText(ObjectDb* db, const char* name) {
  const std::string path = WriteTempFile(name, {});
  FILE* f = fopen(path.c_str(), "w");
  EXPECT_EQ(0, db->ops.Dump(db, f));
  fclose(f);
  auto bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Compares with tests/golden-dumps/<name>. With TAMARIND_UPDATE_GOLDEN set
// in the environment the file is rewritten instead.
void ExpectGolden(const std::string& text, const std::string& name) {
  if (getenv("TAMARIND_UPDATE_GOLDEN")) {
    FILE* f = fopen(SourcePath("tests/golden-dumps/" + name).c_str(), "wb");
    ASSERT_NE(nullptr, f);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    return;
  }
  auto golden = ReadFileBytes(SourcePath("tests/golden-dumps/" + name));
  const std::string expected(golden.begin(), golden.end());
  EXPECT_EQ(expected, text) << "dump differs from tests/golden-dumps/" << name;
}

std::vector<uint8_t> SmallLwo2() {
  Body tags;
  tags.S0("Skin").S0("Part");
  Body head;
  head.S0("\x80").Sub("CHAN", Body().Id("COLR")).Sub("ENAB", Body().U2(1));
  Body tmap;
  tmap.Sub("CNTR", Body().Vec(0, 0.5f, 0).VX(0)).Sub("SIZE", Body().Vec(1, 1, 1).VX(0));
  Body block;
  block.Sub("IMAP", head).Sub("TMAP", tmap).Sub("PROJ", Body().U2(5)).Sub("IMAG", Body().VX(1))
      .Sub("VMAP", Body().S0("uv"));
  Body surf;
  surf.S0("Skin").S0("").Sub("COLR", Body().Vec(0.8f, 0.4f, 0.2f).VX(0))
      .Sub("DIFF", Body().F4(0.75f).VX(1)).Sub("BLOK", block);
  Body envl;
  envl.VX(1).Sub("TYPE", Body().U2(0x0302)).Sub("PRE ", Body().U2(1))
      .Sub("KEY ", Body().F4(0).F4(0.5f)).Sub("SPAN", Body().Id("TCB ").F4(0).F4(0).F4(0))
      .Sub("KEY ", Body().F4(1).F4(1)).Sub("SPAN", Body().Id("LINE"))
      .Sub("POST", Body().U2(1))
      .Sub("CHAN", Body().S0("Noise").U2(0).Raw({1, 2, 3, 4, 5, 6, 7, 8, 9}));
  IffBuilder f("LWO2");
  f.Chunk("TAGS", tags)
      .Chunk("LAYR", Body().U2(0).U2(0).Vec(0, 0, 0).S0("base"))
      .Chunk("PNTS", Body().Vec(0, 0, 0).Vec(1, 0, 0).Vec(1, 1, 0).Vec(0, 1, 0))
      .Chunk("VMAP", Body().Id("TXUV").U2(2).S0("uv").VX(0).F4(0).F4(0).VX(1).F4(1).F4(0)
                         .VX(2).F4(1).F4(1).VX(3).F4(0).F4(1))
      .Chunk("POLS", Body().Id("FACE").U2(3).VX(0).VX(1).VX(2).U2(3).VX(0).VX(2).VX(3))
      .Chunk("PTAG", Body().Id("SURF").VX(0).U2(0).VX(1).U2(0))
      .Chunk("PTAG", Body().Id("PART").VX(1).U2(1))
      .Chunk("VMAD", Body().Id("TXUV").U2(2).S0("uv").VX(0).VX(1).F4(0.25f).F4(0.5f))
      .Chunk("LAYR", Body().U2(1).U2(0).Vec(0.5f, 0, 0).S0("child").U2(0))
      .Chunk("PNTS", Body().Vec(2, 0, 0).Vec(3, 0, 0))
      .Chunk("POLS", Body().Id("FACE").U2(2).VX(0).VX(1))
      .Chunk("PTAG", Body().Id("SURF").VX(0).U2(0))
      .Chunk("CLIP", Body().U4(1).Sub("STIL", Body().S0("images/skin.tga"))
                         .Sub("BRIT", Body().F4(0.1f).VX(0)).Sub("NEGA", Body().U2(1)))
      .Chunk("ENVL", envl)
      .Chunk("SURF", surf);
  return f.Bytes();
}

struct Loaded {
  ObjectDb* db = CreateObjectDb(0);
  explicit Loaded(const std::vector<uint8_t>& bytes, int format) {
    EXPECT_EQ(0, LoadObjectFromMemory(db, bytes.data(), bytes.size(), format, nullptr));
  }
  ~Loaded() { CloseObjectDb(&db); }
};

// A file is read a chunk at a time, bytes in memory at once: the objects are
// the same, for every chunk cut short at the end of the file too.
TEST(ObjectDump, ReadFromAFileAsFromMemory) {
  const std::vector<uint8_t> bytes = SmallLwo2();
  auto dumpOf = [](ObjectDb* db) {
    std::string path = TempDir() + "/dump.txt";
    FILE* out = fopen(path.c_str(), "w");
    db->ops.Dump(db, out);
    fclose(out);
    const std::vector<uint8_t> text = ReadFileBytes(path);
    return std::string(text.begin(), text.end());
  };
  for (size_t size : {bytes.size(), bytes.size() - 1, bytes.size() / 2, size_t(20), size_t(11)}) {
    SCOPED_TRACE(size);
    const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + std::ptrdiff_t(size));
    ObjectDb* fromMemory = CreateObjectDb(0);
    const int memoryStatus = LoadObjectFromMemory(fromMemory, part.data(), part.size(), 2, nullptr);
    ObjectDb* fromFile = CreateObjectDb(0);
    const int fileStatus = fromFile->ops.Load(fromFile, WriteTempFile("part.lwo", part).c_str(), 2, nullptr);
    EXPECT_EQ(fileStatus, memoryStatus);
    fromMemory->path = fromFile->path;  // the dump names the file
    EXPECT_EQ(dumpOf(fromFile), dumpOf(fromMemory));
    CloseObjectDb(&fromMemory);
    CloseObjectDb(&fromFile);
  }
}

TEST(ObjectDump, GoldenLwo2LeavesObjectAsItWas) {
  Loaded o(SmallLwo2(), 2);
  ObjectDb* db = o.db;
  ASSERT_EQ(2, db->ops.GetLayerCount(db));
  db->ops.SelectLayer(db, 1);
  ObjLayer* current = db->currentLayer;
  // The surface gets its prepared attributes, the first layer edges and
  // strips, so every section shows up.
  ASSERT_NE(nullptr, db->ops.GetSurfaceAttributes(db, 0));
  db->ops.SelectLayer(db, 0);
  ASSERT_EQ(0, db->ops.BuildLoops(db, nullptr));
  db->ops.SelectLayer(db, 1);
  db->ops.BeginPolygonType(db, ID_CURV);

  const std::string text = DumpText(db, "lwo2.dump");
  EXPECT_EQ(current, db->currentLayer);
  EXPECT_EQ(ID_CURV, current->CurrentType());
  EXPECT_EQ(1, db->ops.GetSurfaceCount(db));
  ExpectGolden(text, "small_lwo2.txt");
  // Dumping again gives the same text: nothing was changed by the first.
  EXPECT_EQ(text, DumpText(db, "lwo2-again.dump"));
}

TEST(ObjectDump, GoldenLwob) {
  IffBuilder f("LWOB");
  f.Chunk("PNTS", Body().Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0).Vec(5, 5, 5))
      .Chunk("SRFS", Body().S0("Wood").S0("Metal"))
      .Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(1).U2(1).U2(3).U2(2))
      .Chunk("SURF", Body().S0("Wood").Sub("COLR", {200, 100, 50, 0}).Sub("FLAG", Body().U2(4))
                         .Sub("CTEX", Body().S0("Planar Image Map")).Sub("TIMG", Body().S0("wood.iff")))
      .Chunk("SURF", Body().S0("Metal").Sub("COLR", {10, 20, 30, 0}));
  Loaded o(f.Bytes(), 1);
  ExpectGolden(DumpText(o.db, "lwob.dump"), "small_lwob.txt");
}

// The listing of one surface: from its SURF line up to the empty line that
// ends it.
std::string SurfaceListing(const std::string& dump, const std::string& name) {
  const size_t at = dump.find("SURF [" + name + "]");
  if (at == std::string::npos) return "";
  const size_t body = dump.find('\n', at) + 1;
  return dump.substr(body, dump.find("\n\n", body) + 1 - body);
}

// Sub-chunks the golden files leave out: every nesting level's unknown
// sub-chunks (listed last at their level with their bytes), block parameter
// lists, a function with data, a short LINE, and a value cut off by the end
// of the body, which reads the bytes present and zeros for the rest.
TEST(ObjectDump, Lwo2SurfaceKindsUnknownsAndCutValue) {
  Body head;
  head.S0("A\\").Sub("TYPE", Body().Id("DIFF")).Sub("OPAC", Body().U2(1).F4(0.5f).VX(3))
      .Sub("HDRX", Body().U2(7));
  Body tmap;
  tmap.Sub("FALL", Body().U2(2).Vec(1, 2, 3).VX(0)).Sub("CSYS", Body().U2(1)).Sub("TMPX", {9}).U1(0);
  Body block;
  block.Sub("PROC", head).Sub("TMAP", tmap).Sub("FLAG", Body().U2(0x11))
      .Sub("WRAP", Body().U2(1).U2(2)).Sub("AAST", Body().U2(1).F4(0.25f))
      .Sub("FTPS", Body().F4(1).F4(2)).Sub("ITPS", Body().U2(uint16_t(-3)).U2(4))
      .Sub("ETPS", Body().VX(5).VX(0x123456)).Sub("FUNC", Body().S0("Fn").Raw({7, 8, 9})).U1(0)
      .Sub("BLKX", {});
  Body surf;
  surf.S0("Cut").S0("").Sub("LINE", Body().U2(3)).Sub("VCOL", Body().F4(1).VX(2).Id("RGBA").S0("paint"))
      .Sub("SURX", {1, 2, 3}).U1(0).Sub("BLOK", block).Raw(Body().Id("SMAN").U2(4).Raw({0x3f, 0x80}));
  IffBuilder f("LWO2");
  f.Chunk("TAGS", Body().S0("Cut")).Chunk("LAYR", Body().U2(0).U2(0).Vec(0, 0, 0).S0(""))
      .Chunk("PNTS", Body().Vec(0, 0, 0)).Chunk("SURF", surf);
  Loaded o(f.Bytes(), 2);
  const std::vector<uint8_t> raw = o.db->ops.GetSurface(o.db, 0)->raw;
  const std::string listing = SurfaceListing(DumpText(o.db, "kinds.dump"), "Cut");
  EXPECT_EQ(listing,
            "[SMAN] (4) <1.000000>\n"
            "[LINE] (22) <3> <0.000000> <0> <0.000000> <0.000000> <0.000000> <0>\n"
            "[VCOL] (16) <1.000000> <2> <RGBA> <paint>\n"
            "[BLOK] (149)\n"
            "\t[PROC] (28) <A\\x5c>\n"
            "\t\t[TYPE] (4) <DIFF>\n"
            "\t\t[OPAC] (8) <1> <0.500000> <3>\n"
            "\t\t[HDRX] (2)\n"
            "\t0x00, 0x07\n"
            "\t[TMAP] (30)\n"
            "\t\t[FALL] (16) <2> <1.000000> <2.000000> <3.000000> <0>\n"
            "\t\t[CSYS] (2) <1>\n"
            "\t\t[TMPX] (1)\n"
            "\t0x09\n"
            "\t[FLAG] (2) <0x0011>\n"
            "\t[WRAP] (4) <1> <2>\n"
            "\t[AAST] (6) <1> <0.250000>\n"
            "\t[FTPS] (8) <1.000000> <2.000000>\n"
            "\t[ITPS] (4) <-3> <4>\n"
            "\t[ETPS] (6) <5> <1193046>\n"
            "\t[FUNC] (7) <Fn>\n"
            "\t0x07, 0x08, 0x09\n"
            "\t[BLKX] (0)\n"
            "[SURX] (3)\n"
            "\t0x01, 0x02, 0x03\n");
  // Parsed for the listing only: the stored body is as it was.
  EXPECT_EQ(raw, o.db->ops.GetSurface(o.db, 0)->raw);
}

// An LWOB texture with its fields and image settings, a shader with data,
// and what the parse passed over: a texture field before any texture, an
// unknown ID, and one whose length runs past the body (its bytes present).
TEST(ObjectDump, LwobTextureShaderAndPassedOver) {
  Body surf;
  surf.S0("Tex").Sub("TFLG", Body().U2(1)).Sub("VDIF", Body().F4(0.5f)).Sub("DIFF", Body().U2(128))
      .Sub("RIMG", Body().S0("sky.iff")).Sub("IMSQ", Body().U2(1).U2(2).U2(3))
      .Sub("BTEX", Body().S0("Fractal Noise")).Sub("TFLG", Body().U2(0x0a))
      .Sub("TSIZ", Body().Vec(1, 2, 3)).Sub("TIP2", Body().U2(4)).Sub("TFP0", Body().F4(0.125f))
      .Sub("TCLR", {1, 2, 3, 4}).Sub("TALP", Body().S0("a.iff")).Sub("FLYR", Body().U4(5).U4(6))
      .Sub("TWRP", Body().U2(1).U2(0)).Sub("SHDR", Body().S0("Edge")).Sub("SDAT", {0xAB, 0xCD, 0xEF}).U1(0)
      .Sub("ZZZZ", {0x10}).U1(0).Raw(Body().Id("SPBF").U2(9).Raw({0x42}));
  IffBuilder f("LWOB");
  f.Chunk("PNTS", Body().Vec(0, 0, 0)).Chunk("SRFS", Body().S0("Tex")).Chunk("SURF", surf);
  Loaded o(f.Bytes(), 1);
  EXPECT_EQ(SurfaceListing(DumpText(o.db, "lwob-tex.dump"), "Tex"),
            "[DIFF] (2) <128>\n"
            "[VDIF] (4) <0.500000>\n"
            "[RIMG] (8) <sky.iff>\n"
            "\t[IMSQ] (6) <1> <2> <3>\n"
            "[SPBF] (1)\n"
            "\t0x42\n"
            "[BTEX] (14) <Fractal Noise>\n"
            "\t[TFLG] (2) <0x000a>\n"
            "\t[TSIZ] (12) <1.000000> <2.000000> <3.000000>\n"
            "\t[TCLR] (4) <1> <2> <3> <4>\n"
            "\t[TFP0] (4) <0.125000>\n"
            "\t[TIP2] (2) <4>\n"
            "\t[TALP] (6) <a.iff>\n"
            "\t\t[FLYR] (8) <5> <6>\n"
            "\t[TWRP] (4) <1> <0>\n"
            "[SHDR] (6) <Edge>\n"
            "\t[SDAT] (3)\n"
            "\t0xab, 0xcd, 0xef\n"
            "[TFLG] (2)\n"
            "\t0x00, 0x01\n"
            "[ZZZZ] (1)\n"
            "\t0x10\n");
}

TEST(ObjectDump, OddShapesAndNullFile) {
  ObjectDb* db = CreateObjectDb(0);
  ObjectDbOps& ops = db->ops;
  ops.AddLayer(db, "odd");
  ops.AddPoint(db, 0, 0, 0);
  EXPECT_EQ(0, ops.Dump(db, nullptr));
  // A 0-corner polygon, a 0-dimension map, a channel key beyond the names.
  ASSERT_GE(ops.AddPolygon(db, 0, nullptr, "s"), 0);
  ASSERT_GE(ops.AddVMap(db, MakeId4("PICK"), "none", 0), 0);
  ASSERT_EQ(0, ops.SetVMapValue(db, 0, 0, nullptr));
  const int32_t one = 0;
  ASSERT_GE(ops.AddPolygon(db, 1, &one, "s"), 0);
  ASSERT_NE(nullptr, ops.SelectPolygonChannel(db, 1, 0x4000, 2));
  ASSERT_EQ(0, ops.SetPolygonChannelValues(db, 1, 1, &one));
  const std::string text = DumpText(db, "odd.dump");
  EXPECT_NE(std::string::npos, text.find("[0] POLS [0] SURF<s> SURF_NO<0> EDGE_NO<-1> FLAG<0x0000> PNTS<>\n"));
  EXPECT_NE(std::string::npos, text.find("PNTID <0> <>\n"));
  EXPECT_NE(std::string::npos, text.find(" MAPS[NONE][2]<0>\n"));
  CloseObjectDb(&db);
}

TEST(ObjectDump, NumbersIgnoreTheLocale) {
  Loaded o(SmallLwo2(), 2);
  const std::string plain = DumpText(o.db, "plain.dump");
  const std::string saved = setlocale(LC_NUMERIC, nullptr);
  if (!setlocale(LC_NUMERIC, "de_DE.UTF-8") && !setlocale(LC_NUMERIC, "de_DE.utf8"))
    GTEST_SKIP() << "no decimal-comma locale installed";
  char probe[16];
  snprintf(probe, sizeof probe, "%.1f", 0.5);
  const std::string localized = DumpText(o.db, "comma.dump");
  setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_STREQ("0,5", probe);
  EXPECT_EQ(plain, localized);
}

}  // namespace
