#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "object_checks.h"
#include "objectdb.h"
#include "side_files.h"
#include "surface_attributes.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Two quads: polygon 0 of surface "A", polygon 1 of surface "B", sharing
// points 1 and 2. The object's path is TempDir()/<name>.lwo; its side files
// are written beside it.
struct SideScene {
  ObjectDb* db = CreateObjectDb(0);
  ObjectDbOps& o = db->ops;
  std::string name;
  explicit SideScene(const std::string& objectName) : name(objectName) {
    db->path = TempDir() + "/" + name + ".lwo";
    o.AddLayer(db, "layer");
    o.AddSurface(db, "A");
    o.AddSurface(db, "B");
    const double points[6][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {2, 1}, {2, 0}};
    for (auto& p : points) o.AddPoint(db, p[0], p[1], 0);
    int32_t a[4] = {0, 1, 2, 3}, b[4] = {3, 2, 4, 5};
    o.AddPolygon(db, 4, a, "A");
    o.AddPolygon(db, 4, b, "B");
  }
  ~SideScene() { CloseObjectDb(&db); }

  std::string Write(const char* extension, const std::string& text) {
    return WriteTempFile(name + extension, Bytes(text));
  }
  const ObjUv* CornerUv(int polygon, int corner) {
    CornerChannel* c = o.FindPolygonChannel(db, polygon, TEX_COLR, 0);
    return c ? o.GetUv(db, c->values[size_t(corner)]) : nullptr;
  }
  const ObjColor* CornerColor(int polygon, int corner) {
    ObjPolygon* p = o.GetPolygon(db, polygon);
    return p->colors.empty() ? nullptr : o.GetColor(db, p->colors[size_t(corner)]);
  }
  TextureLayer* Layer(const char* surface) {
    SurfaceAttributes* a = o.GetSurfaceAttributes(db, o.FindSurface(db, surface)->id);
    return o.GetTextureLayer(db, a, TEX_COLR, 0);
  }
};

std::string Corners(const char* uvw) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += std::string(uvw) + "\n";
  return s;
}

TEST(SideFilesTest, PathReplacesTheExtensionOfTheLastComponentOnly) {
  EXPECT_EQ(SideFilePath("dir/ship.lwo", ".uv"), "dir/ship.uv");
  EXPECT_EQ(SideFilePath("./dir.v2/obj", ".uv"), "./dir.v2/obj.uv");
  EXPECT_EQ(SideFilePath("C:\\a.b\\obj", ".vcl"), "C:\\a.b\\obj.vcl");
  EXPECT_EQ(SideFilePath("obj", ".uv"), "obj.uv");
}

TEST(SideFilesTest, PositionalFileTexturesListedSurfaces) {
  SideScene s("positional");
  s.Write(".uv", "# made by hand\r\n2\r\n2\r\nA\r\nB\r\nimages/wood.tga\r\nNULL\r\n2\r\n0 4\r\n" +
                     Corners("0.25 0.25 1") + "# comments may come anywhere\n1 4\n" + Corners("0.5 0.5 1"));
  ASSERT_EQ(s.o.LoadUvFile(s.db, 0), 0);
  const ObjUv* uv = s.CornerUv(0, 2);
  ASSERT_NE(uv, nullptr);
  EXPECT_DOUBLE_EQ(uv->u, 0.25);
  EXPECT_DOUBLE_EQ(uv->v, 0.75);
  EXPECT_EQ(s.CornerUv(1, 0), nullptr);  // "B" has no image
  TextureLayer* t = s.Layer("A");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->projection, PROJ_UV_MAP);
  EXPECT_EQ(t->imageName, "images\\wood.tga");
  EXPECT_EQ(s.o.GetSurfaceAttributes(s.db, 0)->uvFileName, TempDir() + "/positional.uv");
  EXPECT_EQ(s.o.GetClipCount(s.db), 1);
  EXPECT_EQ(s.Layer("B"), nullptr);
}

TEST(SideFilesTest, MismatchedPolygonCountLeavesSurfacesAndProjectionsAlone) {
  SideScene s("stale");
  TextureLayer* planar = s.o.NewTextureLayer(s.db, s.o.GetSurfaceAttributes(s.db, 0));
  planar->channel = TEX_COLR;
  planar->axis = AXIS_Z;
  s.Write(".uv", "1\n1\nA\nwood.tga\n5\n");
  EXPECT_EQ(s.o.BuildUvs(s.db, TEX_COLR, 2, UV_SHARE | UV_TRY_FILE), 0);
  EXPECT_EQ(planar->projection, PROJ_PLANAR);
  EXPECT_EQ(planar->imageFlags, 0);
  EXPECT_EQ(s.o.GetClipCount(s.db), 0);
  const ObjUv* uv = s.CornerUv(0, 2);  // projected: point (1, 1, 0)
  ASSERT_NE(uv, nullptr);
  EXPECT_DOUBLE_EQ(uv->u, 1.5);
  EXPECT_STREQ(s.o.TakeErrorText(s.db), ("BAD_NUMOFPOLY {5} " + TempDir() + "/stale.uv").c_str());
  EXPECT_STREQ(s.o.TakeErrorText(s.db), "no error");
}

// A side file that fails after giving a polygon its coordinates leaves them:
// the projection that follows shares them like any other.
TEST(SideFilesTest, ProjectionSharesWhatAFailedFileGave) {
  SideScene s("failed");
  TextureLayer* planar = s.o.NewTextureLayer(s.db, s.o.GetSurfaceAttributes(s.db, 0));
  planar->channel = TEX_COLR;
  planar->axis = AXIS_Z;
  // Polygon 1 ("B") is given what the projection gives points 3 and 2, then
  // the file names a polygon that does not exist.
  s.Write(".uv", "VERSION 4\nSURFACE_COUNT 1\nSURFACE 0\nSURFACE_NAME\nB\nSURFACE_IMAGE_FILE\nwood.tga\n"
                 "POLY_COUNT 2\nPOLY 1\nPOLY_SURF 0\nVERT 0\nVERT_UV 1.5 0.5\nVERT 1\nVERT_UV 1.5 -0.5\n"
                 "VERT 2\nVERT_UV 0 0\nVERT 3\nVERT_UV 0 0\nPOLY 7\n");
  EXPECT_EQ(s.o.BuildUvs(s.db, TEX_COLR, 1, UV_SHARE | UV_TRY_FILE), 0);
  EXPECT_EQ(std::string(s.o.TakeErrorText(s.db)).rfind("BAD_POLY", 0), 0u);
  ASSERT_NE(s.CornerUv(1, 0), nullptr);
  ASSERT_NE(s.CornerUv(0, 3), nullptr);
  EXPECT_EQ(s.CornerUv(0, 3), s.CornerUv(1, 0));  // point 3
  EXPECT_EQ(s.CornerUv(0, 2), s.CornerUv(1, 1));  // point 2
  EXPECT_EQ(FindInconsistency(s.db), "");
}

TEST(SideFilesTest, KeywordFileReadsCornersColoursAndNormals) {
  SideScene s("keywords");
  std::string text = "VERSION 4\nSURFACE_COUNT 2\nSURFACE 0\nSURFACE_NAME\nA\nCLAMP 1\n"
                     "SURFACE_IMAGE_FILE\n:Images:wood.tga\n"
                     "SURFACE 1\nSURFACE_NAME\nB\nSURFACE_IMAGE_FILE\nNULL\nPOLY_COUNT 2\n";
  for (int p = 0; p < 2; ++p) {
    text += "POLY " + std::to_string(p) + "\nPOLY_SURF 0\nPOLY_VERT_COUNT 4\n";
    for (int c = 0; c < 4; ++c)
      text += "VERT " + std::to_string(c) + "\n# note\nVERT_UV 0.25 0.25\nVERT_RGB 1 0.5 0\nVERT_NORMAL 0 0 -1\n";
  }
  text += "CHANNEL 1\nPOLY 99\nVERT 77\n";  // other channels are not read
  s.Write(".uv", text);
  ASSERT_EQ(s.o.LoadUvFile(s.db, UV_SHARE | UV_FILE_RGB | UV_FILE_NORMAL), 0) << s.o.TakeErrorText(s.db);
  const ObjUv* uv = s.CornerUv(0, 3);
  ASSERT_NE(uv, nullptr);
  EXPECT_DOUBLE_EQ(uv->u, 0.25);
  EXPECT_DOUBLE_EQ(uv->v, 0.75);
  EXPECT_DOUBLE_EQ(uv->w, 1.0);
  EXPECT_EQ(s.o.GetUvCount(s.db), 6);  // polygon 1 shares those of points 2 and 3
  EXPECT_EQ(s.CornerUv(1, 0), s.CornerUv(0, 3));
  EXPECT_EQ(s.Layer("A")->imageName, "Images\\wood.tga");
  EXPECT_EQ(s.Layer("B"), nullptr);
  ASSERT_NE(s.CornerColor(1, 3), nullptr);
  EXPECT_FLOAT_EQ(s.CornerColor(1, 3)->g, 0.5f);
  ASSERT_EQ(s.o.GetPolygon(s.db, 0)->normals.size(), 4u);
  EXPECT_DOUBLE_EQ(s.o.GetNormal(s.db, s.o.GetPolygon(s.db, 0)->normals[0])->z, -1);
  EXPECT_EQ(FindInconsistency(s.db), "");
}

TEST(SideFilesTest, KeywordFileSkipsPolygonsNotFullyGiven) {
  SideScene s("partial");
  s.Write(".uv",
          "VERSION 4\nSURFACE_COUNT 1\nSURFACE 0\nSURFACE_NAME\nA\nSURFACE_IMAGE_FILE\nwood.tga\nPOLY_COUNT 2\n"
          "POLY 0\nPOLY_SURF 0\nVERT 3\nVERT_UV 0.5 0.5\n"
          "POLY 1\nPOLY_SURF 0\nVERT 0\nVERT_UV 0 0\nVERT 1\nVERT_UV 0 1\nVERT 2\nVERT_UV 1 1\nVERT 3\nVERT_UV 1 0\n");
  ASSERT_EQ(s.o.LoadUvFile(s.db, 0), 0);
  EXPECT_EQ(s.CornerUv(0, 0), nullptr);
  ASSERT_NE(s.CornerUv(1, 2), nullptr);
  EXPECT_DOUBLE_EQ(s.CornerUv(1, 2)->v, 0);
}

TEST(SideFilesTest, MalformedFilesFailWithTheirMessage) {
  const std::string head = "VERSION 4\nSURFACE_COUNT 2\nSURFACE 0\nSURFACE_NAME\nA\nSURFACE_IMAGE_FILE\nwood.tga\n";
  const std::string longName(10000, 'x');
  struct Case {
    const char* name;
    std::string text;
    std::string message;  // the path follows all but BAD_VERSION
    bool withPath;
  } cases[] = {
      {"version 3", "3\n", "BAD_VERSION {3} ", false},
      {"empty file", "", "BAD_VERSION {} ", false},
      {"version 4 without its keyword", "4\n", "BAD VERSION [4]", true},
      {"unknown surface", "1\n1\nC\nNULL\n2\n", "BAD_SURFACE [0] {C} ", true},
      {"slot beyond SURFACE_COUNT", "VERSION 4\nSURFACE_COUNT 2\nSURFACE 99\n", "BAD_SURFACE [99] {99} ", true},
      {"slot before SURFACE_COUNT", "VERSION 4\nSURFACE 0\n", "BAD_SURFACE [0] {0} ", true},
      {"huge SURFACE_COUNT", "VERSION 4\nSURFACE_COUNT 2000000000\n", "BAD_SURFACE [2000000000] {2000000000} ", true},
      {"polygon data before POLY_COUNT", head + "POLY 0\n", "BAD_NUMOFPOLY {} ", true},
      {"no POLY_COUNT", head, "BAD_NUMOFPOLY {} ", true},
      {"polygon out of range", head + "POLY_COUNT 2\nPOLY 2\n", "BAD_POLY IDX[2] NUM[0] ", true},
      {"corner out of range", head + "POLY_COUNT 2\nPOLY 0\nVERT 5000\n", "BAD_POLY IDX[0] NUM[5000] ", true},
      {"corner count mismatch", head + "POLY_COUNT 2\nPOLY 1\nPOLY_VERT_COUNT 3\n", "BAD_POLY IDX[1] NUM[3] ", true},
      {"corner value before VERT", head + "POLY_COUNT 2\nPOLY 0\nPOLY_SURF 0\nVERT_UV 1 1\n", "BAD_POLY IDX[0] NUM[-1] ",
       true},
      {"slot of a polygon out of range", head + "POLY_COUNT 2\nPOLY 0\nPOLY_SURF 2\n", "BAD_SURFACE [2] {2} ", true},
      {"positional corner count", "2\n1\nA\nwood.tga\n2\n0 3\n", "BAD_POLY IDX[0] NUM[3] ", true},
      {"positional truncated corners", "2\n1\nA\nwood.tga\n2\n0 4\n0 0 1\n", "BAD_POLY IDX[0] NUM[4] ", true},
      {"10,000-character name", "VERSION 4\nSURFACE_COUNT 1\nSURFACE 0\nSURFACE_NAME\n" + longName + "\n",
       "BAD_SURFACE [0] {" + longName.substr(0, 4096) + "} ", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SideScene s("malformed");
    std::string path = s.Write(".uv", c.text);
    EXPECT_EQ(s.o.LoadUvFile(s.db, UV_SHARE | UV_FILE_RGB), ERR_BAD_FORMAT);
    std::string expected = c.message + (c.withPath ? path : "");
    EXPECT_EQ(std::string(s.o.TakeErrorText(s.db)), expected.substr(0, ObjErrorCode::kMessageSize - 1));
    EXPECT_EQ(FindInconsistency(s.db), "");
  }
}

TEST(SideFilesTest, OverlongLinesAreConsumedWhole) {
  SideScene s("overlong");
  // Were the tail of the long line read again, it would be a POLY_COUNT of 9.
  s.Write(".uv", "VERSION 4\n" + std::string(5000, ' ') + "POLY_COUNT 9\nPOLY_COUNT 2\n");
  EXPECT_EQ(s.o.LoadUvFile(s.db, 0), 0);
}

TEST(SideFilesTest, MissingSideFilesSetNoError) {
  SideScene s("absent");
  EXPECT_EQ(s.o.LoadUvFile(s.db, 0), ERR_FILE_OPEN);
  EXPECT_EQ(s.o.BuildVertexColors(s.db, 0), ERR_FILE_OPEN);
  EXPECT_EQ(s.db->error, 0);
  EXPECT_TRUE(s.db->failedPath.empty());
  EXPECT_EQ(s.o.BuildVertexColors(s.db, VCOLOR_SURFACE_COLOR), 0);  // falls back to surface colours
  EXPECT_FLOAT_EQ(s.CornerColor(1, 0)->r, 0.78f);
  EXPECT_EQ(s.o.GetColorCount(s.db), 2);
}

// Numbers in side files use "." whatever the process locale says.
TEST(SideFilesTest, NumbersIgnoreADecimalCommaLocale) {
  std::string previous = setlocale(LC_ALL, nullptr);
  const char* comma = nullptr;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE.utf8", "fr_FR.utf8"})
    if (setlocale(LC_ALL, name)) {
      comma = name;
      break;
    }
  if (!comma) GTEST_SKIP() << "no decimal-comma locale installed";
  SideScene s("locale");
  s.Write(".uv", "2\n1\nA\nwood.tga\n2\n0 4\n" + Corners("0.25 0.125 1.5") + "1 4\n" + Corners("1 1 1"));
  const int status = s.o.LoadUvFile(s.db, 0);
  setlocale(LC_ALL, previous.c_str());
  ASSERT_EQ(status, 0);
  EXPECT_DOUBLE_EQ(s.CornerUv(0, 0)->u, 0.25);
  EXPECT_DOUBLE_EQ(s.CornerUv(0, 0)->v, 0.875);
  EXPECT_DOUBLE_EQ(s.CornerUv(0, 0)->w, 1.5);
}

TEST(VertexColorTest, FileEntriesPerPointAndPolygon) {
  SideScene s("colours");
  // Point 3 lacks its entry for polygon 1, so polygon 1 gets no colours.
  std::string text = "VCLFILE\nx\ny\n6\n7\n";
  const int uses[6][2] = {{0, -1}, {0, -1}, {0, 1}, {0, -1}, {1, -1}, {1, -1}};
  for (int p = 0; p < 6; ++p) {
    text += std::to_string(uses[p][1] < 0 ? 1 : 2) + "\n";
    text += std::to_string(uses[p][0]) + " 255 0 51 255\n";
    if (uses[p][1] >= 0) text += std::to_string(uses[p][1]) + " 0 0 0 0\n";
  }
  s.Write(".vcl", text);
  ASSERT_EQ(s.o.BuildVertexColors(s.db, VCOLOR_SHARE), 0);
  ASSERT_NE(s.CornerColor(0, 3), nullptr);
  EXPECT_FLOAT_EQ(s.CornerColor(0, 3)->b, 0.2f);
  EXPECT_EQ(s.CornerColor(1, 0), nullptr);
  EXPECT_EQ(s.o.GetColorCount(s.db), 4);
}

TEST(VertexColorTest, MalformedFilesFailWithTheirMessage) {
  struct Case {
    std::string text, message;
  } cases[] = {
      {"VCL\n", "NOT VCL FILE {VCL} "},
      {"VCLFILE\nx\ny\n3\n0\n", "BAD NUMBER OF POINT {3} "},
      {"VCLFILE\nx\ny\n6\n1\n2\n", "BAD NUMBER OF POINT {2} "},  // more entries than the total
      {"VCLFILE\nx\ny\n6\n8\n1\n0 1 2 3 4\n", "BAD NUMBER OF POINT {} "},  // ends early
  };
  for (const Case& c : cases) {
    SideScene s("badcolours");
    std::string path = s.Write(".vcl", c.text);
    EXPECT_EQ(s.o.BuildVertexColors(s.db, 0), ERR_BAD_FORMAT);
    EXPECT_EQ(std::string(s.o.TakeErrorText(s.db)), c.message + path);
    EXPECT_EQ(s.o.GetColorCount(s.db), 0);
  }
}

TEST(VertexColorTest, MapsBlendOverSurfaceColoursAndShortMapsAreIgnored) {
  SideScene s("maps");
  std::vector<uint8_t> red =
      Body().Sub("COLR", Body().Vec(1, 0, 0).VX(0)).Sub("VCOL", Body().F4(1).VX(0).Id("RGBA").S0("paint"));
  s.o.SetSurfaceData(s.db, "A", int(red.size()), red.data());
  int paint = s.o.AddVMap(s.db, ID_RGBA, "paint", 4);
  const float blue[4] = {0, 0, 1, 0.25f};
  for (int p = 0; p < 4; ++p) s.o.SetVMapValue(s.db, paint, p, blue);
  int flat = s.o.AddVMap(s.db, ID_RGB, "flat", 2);  // too few values for a colour
  const float two[2] = {0.5f, 0.5f};
  for (int p = 0; p < 6; ++p) s.o.SetVMapValue(s.db, flat, p, two);
  s.o.SetPolygonTag(s.db, 1, ID_RGB, "flat");

  ASSERT_EQ(s.o.BuildVertexColors(s.db, VCOLOR_SHARE | VCOLOR_SURFACE_COLOR), 0);
  const ObjColor* c = s.CornerColor(0, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_FLOAT_EQ(c->r, 0.75f);
  EXPECT_FLOAT_EQ(c->b, 0.25f);
  EXPECT_FLOAT_EQ(c->a, 0.25f);
  ASSERT_NE(s.CornerColor(1, 0), nullptr);  // the short map is passed over
  EXPECT_FLOAT_EQ(s.CornerColor(1, 0)->r, 0.78f);
  ASSERT_EQ(s.o.BuildVertexColors(s.db, 0), 0);
  EXPECT_FLOAT_EQ(s.CornerColor(0, 0)->r, 0);
  EXPECT_EQ(s.CornerColor(1, 0), nullptr);
}

// The viewer's load: the ".uv" file beside an LWO2 object gives its
// coordinates, which survive triangulation and sorting.
TEST(SideFilesTest, ViewerLoadTakesTheUvFile) {
  Body pols;
  pols.Id("FACE").U2(4).U2(0).U2(1).U2(2).U2(3);
  std::vector<uint8_t> file = IffBuilder("LWO2")
                                  .Chunk("TAGS", Body().S0("A"))
                                  .Chunk("LAYR", Body().U2(0).U2(0).Vec(0, 0, 0).S0("layer"))
                                  .Chunk("PNTS", Body().Vec(0, 0, 0).Vec(0, 1, 0).Vec(1, 1, 0).Vec(1, 0, 0))
                                  .Chunk("POLS", pols)
                                  .Chunk("PTAG", Body().Id("SURF").U2(0).U2(0))
                                  .Chunk("SURF", Body().S0("A").S0("").Sub("COLR", Body().Vec(1, 1, 1).VX(0)))
                                  .Bytes();
  const std::string path = WriteTempFile("viewer.lwo", file);
  WriteTempFile("viewer.uv", Bytes("VERSION 4\nSURFACE_COUNT 1\nSURFACE 0\nSURFACE_NAME\nA\nSURFACE_IMAGE_FILE\n"
                                   "wood.tga\nPOLY_COUNT 1\nPOLY 0\nPOLY_SURF 0\nPOLY_VERT_COUNT 4\n"
                                   "VERT 0\nVERT_UV 0 0\nVERT 1\nVERT_UV 0 1\nVERT 2\nVERT_UV 1 1\nVERT 3\nVERT_UV 1 0\n"));
  LoadOptions viewer;
  viewer.flags = 0x2F;
  viewer.normalFlags = 6;
  viewer.uvFlags = 10;
  viewer.uvChannels = 1;
  viewer.uvLayerCount = 2;
  viewer.colorFlags = 1;
  ObjectDb* db = OpenObjectDb(path.c_str(), &viewer);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->error, 0);
  EXPECT_EQ(db->ops.GetPolygonCount(db), 2);
  EXPECT_EQ(db->ops.GetUvCount(db), 4);
  EXPECT_EQ(db->ops.GetNormalCount(db), 4);
  for (int p = 0; p < db->ops.GetPolygonCount(db); ++p) {
    ObjPolygon* polygon = db->ops.GetPolygon(db, p);
    ASSERT_NE(polygon->currentChannel, nullptr);
    for (int c = 0; c < polygon->vertexCount; ++c) {
      const ObjPoint* point = db->ops.GetPoint(db, polygon->points[size_t(c)]);
      const ObjUv* uv = db->ops.GetUv(db, polygon->currentChannel->values[size_t(c)]);
      EXPECT_DOUBLE_EQ(uv->u, point->x);  // the file maps (x, y) to (x, 1 - y)
      EXPECT_DOUBLE_EQ(uv->v, 1 - point->y);
    }
  }
  CloseObjectDb(&db);
}

}  // namespace
