#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "clip_envelope.h"
#include "object_checks.h"
#include "object_writer.h"
#include "objectdb.h"
#include "surface_chunks.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

struct Db {
  ObjectDb* db = CreateObjectDb(0);
  ~Db() { CloseObjectDb(&db); }
  ObjectDb* operator->() const { return db; }
  operator ObjectDb*() const { return db; }
};

// Reads a file with the reader of its form type; null when neither reads it.
std::unique_ptr<Db> Open(const std::string& path) {
  auto d = std::make_unique<Db>();
  if (OpenObjectDbInto(d->db, path.c_str(), nullptr) != 0) return nullptr;
  return d;
}

// "LWO2", "LWOB" or "" from the first twelve bytes of a file.
std::string FormType(const std::string& path) {
  std::vector<uint8_t> b = ReadFileBytes(path);
  if (b.size() < 12 || memcmp(b.data(), "FORM", 4) != 0) return "";
  return std::string(reinterpret_cast<const char*>(b.data()) + 8, 4);
}

std::vector<std::string> ObjectsOfForm(const std::string& form) {
  std::vector<std::string> out;
  for (const std::string& folder : {CorpusPath(""), SourcePath("samples")})
    for (const std::string& f : FilesUnder(folder, ""))
      if (FormType(f) == form) out.push_back(f);
  return out;
}

uint32_t U4At(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

struct ChunkAt {
  std::string id;
  uint32_t length;
  size_t body;  // offset of the chunk's body
};

// The top-level chunks of a FORM; an empty list unless the FORM length is
// the file size - 8 and the chunks fill it exactly.
std::vector<ChunkAt> Chunks(const std::vector<uint8_t>& b) {
  std::vector<ChunkAt> out;
  if (b.size() < 12 || U4At(b, 4) != b.size() - 8) return out;
  size_t at = 12;
  while (at + 8 <= b.size()) {
    ChunkAt c{std::string(reinterpret_cast<const char*>(&b[at]), 4), U4At(b, at + 4), at + 8};
    out.push_back(c);
    at = c.body + c.length;
  }
  if (at != b.size()) out.clear();
  return out;
}

bool SameFloats(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() &&
         (a.empty() || memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

auto Key(const ObjPoint& p) { return std::make_tuple(float(p.x), float(p.y), float(p.z)); }
auto Key(const PolygonTagTable& t) { return std::tie(t.type, t.polygons, t.tags); }
auto Key(const ObjTag& t) { return std::make_tuple(std::string(t.name), t.type); }
auto Key(const ObjSurface& s) { return std::tie(s.id, s.raw); }
auto Key(const ObjClip& c) { return std::tie(c.id, c.raw); }
auto Key(const ObjEnvelope& e) { return std::tie(e.id, e.raw); }
bool Same(const ObjVMap& a, const ObjVMap& b) {
  return a.type == b.type && !strcmp(a.name, b.name) && a.dimension == b.dimension &&
         a.points == b.points && SameFloats(a.values, b.values);
}
bool Same(const ObjVMad& a, const ObjVMad& b) {
  bool same = a.type == b.type && a.polygonType == b.polygonType && !strcmp(a.name, b.name) &&
              a.dimension == b.dimension && a.slots.size() == b.slots.size();
  for (size_t s = 0; same && s < a.slots.size(); ++s) {
    same =
        a.slots[s].point == b.slots[s].point && a.slots[s].nodes.size() == b.slots[s].nodes.size();
    for (size_t n = 0; same && n < a.slots[s].nodes.size(); ++n)
      same = a.slots[s].nodes[n].polygon == b.slots[s].nodes[n].polygon &&
             SameFloats(a.slots[s].nodes[n].values, b.slots[s].nodes[n].values);
  }
  return same;
}
template <class T>
auto Same(const T& a, const T& b) -> decltype(Key(a), true) {
  return Key(a) == Key(b);
}
// Index of the first element that differs, or -1.
template <class List>
int FirstDifference(const List& a, const List& b) {
  if (a.size() != b.size()) return int(std::min(a.size(), b.size()));
  for (size_t i = 0; i < a.size(); ++i)
    if (!Same(a[i], b[i])) return int(i);
  return -1;
}

// The first difference between what two objects hold, "" when none. LWOB
// objects keep one layer named after their file, so its name is not
// compared, nor are polygon flags (but curve flags), tags, maps, clips and
// envelopes, which LWOB lacks.
std::string Difference(ObjectDb* a, ObjectDb* b, bool lwob) {
  auto& sa = *a->store;
  auto& sb = *b->store;
  auto at = [](const char* what, int i) { return std::string(what) + " " + std::to_string(i); };
  if (sa.layers.size() != sb.layers.size()) return "layer count";
  for (size_t li = 0; li < sa.layers.size(); ++li) {
    const ObjLayer& la = *sa.layers[li];
    const ObjLayer& lb = *sb.layers[li];
    if (!lwob && (la.number != lb.number || la.parent != lb.parent || la.flags != lb.flags ||
                  strcmp(la.name, lb.name)))
      return at("header of layer", int(li));
    int i;
    if ((i = FirstDifference(la.points, lb.points)) >= 0) return at("point", i);
    for (int t = 0; t < 5; ++t) {
      const auto& pa = la.groups[t].polygons;
      const auto& pb = lb.groups[t].polygons;
      if (pa.size() != pb.size()) return at("polygon count of type", t);
      const bool flagsKept = !lwob || kPolygonTypes[t] == ID_CURV;
      for (size_t p = 0; p < pa.size(); ++p)
        if (pa[p].points != pb[p].points || (flagsKept && pa[p].flags != pb[p].flags) ||
            std::string(pa[p].surfaceName ? pa[p].surfaceName : "") !=
                (pb[p].surfaceName ? pb[p].surfaceName : ""))
          return at("polygon", int(p));
      if (!lwob && (i = FirstDifference(la.groups[t].tagTables, lb.groups[t].tagTables)) >= 0)
        return at("tag table", i);
    }
    if (!lwob && (i = FirstDifference(la.vmaps, lb.vmaps)) >= 0) return at("vmap", i);
    if (!lwob && (i = FirstDifference(la.vmads, lb.vmads)) >= 0) return at("vmad", i);
  }
  int i;
  for (size_t s = 0; s < sa.surfaces.size() && s < sb.surfaces.size(); ++s)
    if (strcmp(sa.surfaces[s].name, sb.surfaces[s].name)) return at("name of surface", int(s));
  if ((i = FirstDifference(sa.surfaces, sb.surfaces)) >= 0) return at("surface", i);
  if (lwob) return "";
  if ((i = FirstDifference(sa.tags, sb.tags)) >= 0) return at("tag", i);
  if ((i = FirstDifference(sa.clips, sb.clips)) >= 0) return at("clip", i);
  if ((i = FirstDifference(sa.envelopes, sb.envelopes)) >= 0) return at("envelope", i);
  return "";
}

std::string Saved(const std::string& name) { return TempDir() + "/writer/" + name; }

std::string OutPath(const std::string& source, const char* suffix) {
  static int n = 0;
  fs::create_directories(Saved(""));
  return Saved(std::to_string(++n) + "-" + fs::path(source).filename().string() + suffix);
}

// Saves, reads back, and checks the FORM length and the contents.
void ExpectRoundTrip(const std::string& source, int format) {
  SCOPED_TRACE(source);
  std::unique_ptr<Db> original = Open(source);
  ASSERT_TRUE(original);
  const std::string out = OutPath(source, ".lwo");
  std::string problem;
  ASSERT_EQ(SaveObject(*original, out.c_str(), format, &problem), 0) << problem;
  EXPECT_FALSE(Chunks(ReadFileBytes(out)).empty()) << "FORM length or chunk lengths";
  std::unique_ptr<Db> back = Open(out);
  ASSERT_TRUE(back);
  EXPECT_EQ((*back)->format, format);
  EXPECT_EQ(Difference(*original, *back, format == 1), "");
  EXPECT_EQ(FindInconsistency(*back), "");
  // What was written once is written again byte for byte.
  const std::string again = OutPath(source, ".again.lwo");
  ASSERT_EQ(SaveObject(*back, again.c_str(), format), 0);
  EXPECT_EQ(ReadFileBytes(again), ReadFileBytes(out));
}

TEST(WriterRoundTrip, EveryLwo2ObjectOfCorpusAndSamples) {
  std::vector<std::string> files = ObjectsOfForm("LWO2");
  ASSERT_GE(files.size(), 4u);  // the samples at least
  for (const std::string& f : files) ExpectRoundTrip(f, 2);
}

TEST(WriterRoundTrip, EveryLwobObjectOfCorpus) {
  std::vector<std::string> files = ObjectsOfForm("LWOB");
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  for (const std::string& f : files) ExpectRoundTrip(f, 1);
}

// Every non-zero reflection or texture image index of the written surfaces
// names a clip of the file; returns how many references there were.
int CheckImageReferences(ObjectDb* db) {
  int references = 0;
  for (const ObjSurface& s : db->store->surfaces) {
    std::unique_ptr<SurfChunks> parsed = ParseSurfChunks(nullptr, s);
    std::vector<uint32_t> images;
    if (parsed->reflectionImage) images.push_back(parsed->reflectionImage->index);
    for (const SurfBlock& b : parsed->blocks)
      if (b.image) images.push_back(b.image->index);
    for (uint32_t id : images) {
      ++references;
      EXPECT_GE(db->ops.FindClipOrdinal(db, int(id)), 0) << s.name << " names clip " << id;
    }
  }
  return references;
}

TEST(WriterConvert, LwobToLwo2NamesClipsItWrites) {
  // The reader registers the images as clips; with them gone, the save has
  // to add them before it sizes the file.
  IffBuilder f("LWOB");
  f.Chunk("PNTS", Body().Vec(0, 0, 0).Vec(1, 0, 0).Vec(0, 1, 0));
  f.Chunk("SRFS", Body().S0("Chrome").S0("Wood"));
  f.Chunk("POLS", Body().U2(3).U2(0).U2(1).U2(2).U2(1).U2(3).U2(2).U2(1).U2(0).U2(2));
  f.Chunk("SURF", Body()
                      .S0("Chrome")
                      .Sub("COLR", Body().U1(200).U1(10).U1(10).U1(0))
                      .Sub("RIMG", Body().S0("env\\sky.tga")));
  f.Chunk("SURF", Body()
                      .S0("Wood")
                      .Sub("CTEX", Body().S0("Planar Image Map"))
                      .Sub("TIMG", Body().S0("wood.tga"))
                      .Sub("TFLG", Body().U2(2))
                      .Sub("TSIZ", Body().Vec(2, 2, 2)));
  Db db;
  ASSERT_EQ(LoadObjectFromMemory(db, f.Bytes().data(), f.Bytes().size(), 1, nullptr), 0);
  ASSERT_EQ(db->ops.GetClipCount(db), 2);
  db->ops.FreeClips(db);

  const std::string out = Saved("lwob-images.lwo");
  fs::create_directories(Saved(""));
  std::string problem;
  ASSERT_EQ(SaveObject(db, out.c_str(), 2, &problem), 0) << problem;
  EXPECT_EQ(db->ops.GetClipCount(db), 2);
  std::vector<uint8_t> bytes = ReadFileBytes(out);
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(U4At(bytes, 4), bytes.size() - 8);
  EXPECT_FALSE(Chunks(bytes).empty());

  std::unique_ptr<Db> back = Open(out);
  ASSERT_TRUE(back);
  EXPECT_EQ(CheckImageReferences(*back), 2);
  EXPECT_EQ(FindClipIdByName(*back, "env\\sky.tga"), 1);
  EXPECT_EQ(FindClipIdByName(*back, "wood.tga"), 2);
  // Saving again finds the clips by name and adds none.
  ASSERT_EQ(SaveObject(db, out.c_str(), 2), 0);
  EXPECT_EQ(db->ops.GetClipCount(db), 2);
}

TEST(WriterConvert, EveryLwobObjectOfCorpusAsLwo2) {
  std::vector<std::string> files = ObjectsOfForm("LWOB");
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  int references = 0;
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    std::unique_ptr<Db> original = Open(f);
    ASSERT_TRUE(original);
    const std::string out = OutPath(f, ".lwo2");
    ASSERT_EQ(SaveObject(*original, out.c_str(), 2), 0);
    EXPECT_FALSE(Chunks(ReadFileBytes(out)).empty()) << "FORM length or chunk lengths";
    std::unique_ptr<Db> back = Open(out);
    ASSERT_TRUE(back);
    EXPECT_EQ(Difference(*original, *back, true), "surface 0");  // only the bodies change
    references += CheckImageReferences(*back);
  }
  EXPECT_GE(references, 1);  // bluewithcylindrictexz names an image
}

// A one-layer object built in memory: a fan of `corners` points.
void AddFan(ObjectDb* db, int corners, const char* surface = "Skin") {
  db->ops.AddLayer(db, "fan");
  std::vector<int32_t> points;
  for (int i = 0; i < corners; ++i) points.push_back(db->ops.AddPoint(db, i, i % 7, 0));
  db->ops.AddSurface(db, surface);
  db->ops.AddPolygon(db, corners, points.data(), surface);
}

TEST(WriterLimits, RefusesWhatTheFormatCannotHold) {
  fs::create_directories(Saved(""));
  const std::string out = Saved("refused.lwo");
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  {
    Db db;
    AddFan(db, 1024);
    std::ofstream(out) << "old";
    EXPECT_EQ(SaveObject(db, out.c_str(), 2), ERR_BAD_POLYGON);
    EXPECT_EQ(db->error, ERR_BAD_POLYGON);
    EXPECT_EQ(ReadFileBytes(out), old);            // left as it was
    EXPECT_EQ(SaveObject(db, out.c_str(), 1), 0);  // LWOB polygons may be larger
  }
  {
    Db db;
    AddFan(db, 1023);
    EXPECT_EQ(SaveObject(db, out.c_str(), 2), 0);
  }
  {
    // Point 70000 is a 4-byte VX in LWO2 and beyond LWOB's 16 bits.
    Db db;
    db->ops.AddLayer(db, "far");
    for (int i = 0; i <= 70000; ++i) db->ops.AddPoint(db, i, 0, 0);
    const int32_t far[3] = {0, 1, 70000};
    db->ops.AddPolygon(db, 3, far, nullptr);
    EXPECT_EQ(SaveObject(db, out.c_str(), 1), ERR_POINT_COUNT);
    ASSERT_EQ(SaveObject(db, out.c_str(), 2), 0);
    std::vector<uint8_t> bytes = ReadFileBytes(out);
    for (const ChunkAt& c : Chunks(bytes))
      if (c.id == "POLS") {
        ASSERT_EQ(c.length, 4u + 2 + 2 + 2 + 4);
        EXPECT_EQ(U4At(bytes, c.body + 10), 0xFF000000u | 70000u);
      }
  }
  {
    Db db;  // no layer to take
    EXPECT_EQ(SaveObject(db, out.c_str(), 1), ERR_DATABASE);
    EXPECT_EQ(SaveObject(db, out.c_str(), 3), ERR_PARAM);
  }
  {
    // A PTAG entry naming tag 65536 has no 16-bit tag index.
    Db db;
    AddFan(db, 3);
    for (int i = 0; i < 65537; ++i) db->ops.AddTag(db, ("t" + std::to_string(i)).c_str(), 0);
    db->ops.SetPolygonTag(db, 0, MakeId4("PART"), "t65536");
    EXPECT_EQ(SaveObject(db, out.c_str(), 2), ERR_BAD_FORMAT);
  }
  for (const auto& e : fs::directory_iterator(Saved("")))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
}

TEST(WriterLimits, FailedWritesLeaveNoFile) {
  Db db;
  AddFan(db, 3);
  EXPECT_EQ(SaveObject(db, (TempDir() + "/no/such/folder/x.lwo").c_str(), 2), ERR_FILE_OPEN);
  EXPECT_EQ(db->failedPath, TempDir() + "/no/such/folder/x.lwo");

  if (fs::exists("/dev/full")) {
    // Written in place: a small object fails at the flush, a large one at a write.
    EXPECT_EQ(SaveObject(db, "/dev/full", 2), ERR_FILE_WRITE);
    Db big;
    big->ops.AddLayer(big, "big");
    for (int i = 0; i < 20000; ++i) big->ops.AddPoint(big, i, 0, 0);
    EXPECT_EQ(SaveObject(big, "/dev/full", 1), ERR_FILE_WRITE);
  }

  // A regular file that cannot grow past 2000 bytes (the file size limit
  // stands in for a full disk): the save fails, the old file stays, and the
  // temporary file is removed.
  const std::string folder = TempDir() + "/limited";
  fs::create_directories(folder);
  const std::string target = folder + "/object.lwo";
  std::ofstream(target) << "old";
  Db big;
  big->ops.AddLayer(big, "big");
  for (int i = 0; i < 1000; ++i) big->ops.AddPoint(big, i, 0, 0);
  fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 2000;
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(SaveObject(big, target.c_str(), 2));
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), ERR_FILE_WRITE);
  EXPECT_EQ(ReadFileBytes(target), std::vector<uint8_t>({'o', 'l', 'd'}));
  EXPECT_EQ(FilesUnder(folder, "").size(), 1u);
}

TEST(WriterLayout, ChunksFollowTheObject) {
  Db db;
  db->ops.AddLayer(db, "root");
  db->ops.AddPoint(db, 0, 0, 0);
  ObjLayer* child = db->ops.AddLayer(db, "child");
  child->parent = 0;
  const int32_t pts[2] = {db->ops.AddPoint(db, 1, 2, 3), db->ops.AddPoint(db, -1, 5, 0)};
  db->ops.BeginPolygonType(db, ID_CURV);
  db->ops.AddSurface(db, "Line");
  db->ops.AddPolygon(db, 2, pts, "Line");
  db->ops.SelectLayer(db, 0);
  const std::string out = Saved("layout.lwo");
  fs::create_directories(Saved(""));
  ASSERT_EQ(SaveObject(db, out.c_str(), 2), 0);
  // The save leaves the current layer and polygon type alone.
  EXPECT_EQ(db->currentLayer, db->ops.GetLayer(db, 0));
  EXPECT_EQ(child->CurrentType(), ID_CURV);

  std::vector<uint8_t> bytes = ReadFileBytes(out);
  std::string ids;
  std::vector<uint32_t> layr;
  std::vector<size_t> bbox;
  for (const ChunkAt& c : Chunks(bytes)) {
    ids += c.id + " ";
    if (c.id == "LAYR") layr.push_back(c.length);
    if (c.id == "BBOX") bbox.push_back(c.body);
  }
  // Only the CURV type has polygons; the empty layer has no POLS at all.
  EXPECT_EQ(ids, "TAGS LAYR PNTS BBOX LAYR PNTS BBOX POLS PTAG SURF ");
  EXPECT_EQ(layr, (std::vector<uint32_t>{16 + 6, 16 + 6 + 2}));  // "root"/"child" S0s, parent
  ASSERT_EQ(bbox.size(), 2u);
  std::vector<float> box(6);
  for (size_t i = 0; i < 6; ++i) {
    uint32_t u = U4At(bytes, bbox[1] + 4 * i);
    memcpy(&box[i], &u, 4);
  }
  EXPECT_EQ(box, (std::vector<float>{-1, 2, 0, 1, 5, 3}));

  // LWOB: the current layer; a polygon needs a surface, and an object
  // without one gets a default name.
  Db bare;
  bare->ops.AddLayer(bare, "bare");
  for (int i = 0; i < 3; ++i) bare->ops.AddPoint(bare, i, 0, 0);
  const int32_t tri[3] = {0, 1, 2};
  bare->ops.AddPolygon(bare, 3, tri, nullptr);
  ASSERT_EQ(SaveObject(bare, out.c_str(), 1), 0);
  std::unique_ptr<Db> back = Open(out);
  ASSERT_TRUE(back);
  EXPECT_EQ((*back)->format, 1);
  ASSERT_EQ((*back)->ops.GetPolygonCount(*back), 1);
  EXPECT_STREQ((*back)->ops.GetPolygon(*back, 0)->surfaceName, "Default");
}

}  // namespace
