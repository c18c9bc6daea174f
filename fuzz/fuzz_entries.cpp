#include "fuzz_entries.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "clip_envelope.h"
#include "lwob_surface.h"
#include "objectdb.h"
#include "parallel.h"
#include "viewer_model.h"
#include "surface_attributes.h"
#include "surface_chunks.h"

namespace {

// A folder of this process's own for the files the readers open by path.
class Scratch {
 public:
  Scratch() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tamarind-fuzz-XXXXXX";
    if (mkdtemp(pattern.data())) folder_ = pattern;
  }
  ~Scratch() {
    for (const std::string& f : written_) unlink(f.c_str());
    if (!folder_.empty()) rmdir(folder_.c_str());
  }

  // Writes the bytes to the folder's file `name` and returns its path (empty
  // when it cannot be written).
  std::string Write(const char* name, const uint8_t* data, size_t size) {
    if (folder_.empty()) return {};
    std::string path = folder_ + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return {};
    const bool ok = size == 0 || fwrite(data, 1, size, f) == size;
    if (fclose(f) != 0 || !ok) return {};
    bool known = false;
    for (const std::string& w : written_) known |= w == path;
    if (!known) written_.push_back(path);
    return path;
  }
  std::string Path(const char* name) const { return folder_.empty() ? std::string() : folder_ + "/" + name; }

 private:
  std::string folder_;
  std::vector<std::string> written_;
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

FILE* NullFile() {
  static FILE* f = fopen("/dev/null", "w");
  return f;
}

// Splits the libraries' loops in two for its lifetime, however few their
// items, so that the parts' code is run on every input.
struct LoopsInTwo {
  LoopsInTwo() { SetParallelLimits(1, 2); }
  ~LoopsInTwo() { SetParallelLimits(kParallelMinimum, 0); }
};

void LoadAndDump(const uint8_t* data, size_t size, int format) {
  const std::string path = TheScratch().Write(format == 1 ? "input.lob" : "input.lwo", data, size);
  if (path.empty()) return;
  LoopsInTwo split;
  LoadOptions options;
  options.flags = LOAD_SORT | LOAD_TRIANGULATE | LOAD_UVS | LOAD_NORMALS | LOAD_EDGES | LOAD_COLORS;
  options.normalFlags = 6;
  options.uvFlags = 10;
  options.uvChannels = 1;
  options.uvLayerCount = 2;
  options.colorFlags = 1;
  ObjectDb* db = CreateObjectDb(0);
  if (!db) return;
  db->ops.Load(db, path.c_str(), format, &options);
  const bool read = db->readStatus == 0;
  if (read) db->ops.Dump(db, NullFile());
  CloseObjectDb(&db);
  // The program's own load of the same file: its model and surface edges.
  if (read) FreeViewerModel(OpenViewerModel(path.c_str(), nullptr), nullptr);
}

// Two quads sharing an edge and a triangle, on surfaces "A", "B" and "C",
// stored as <scratch>/side.lwo so that its side files are side.uv and
// side.vcl.
ObjectDb* SideObject() {
  ObjectDb* db = CreateObjectDb(0);
  if (!db) return nullptr;
  ObjectDbOps& o = db->ops;
  db->path = TheScratch().Path("side.lwo");
  o.AddLayer(db, "layer");
  for (const char* name : {"A", "B", "C"}) o.AddSurface(db, name);
  const double points[7][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {2, 1}, {2, 0}, {3, 0}};
  for (auto& p : points) o.AddPoint(db, p[0], p[1], 0);
  int32_t a[4] = {0, 1, 2, 3}, b[4] = {3, 2, 4, 5}, c[3] = {5, 4, 6};
  o.AddPolygon(db, 4, a, "A");
  o.AddPolygon(db, 4, b, "B");
  o.AddPolygon(db, 3, c, "C");
  return db;
}

}  // namespace

std::string WriteFuzzScratch(const char* name, const uint8_t* data, size_t size) {
  return TheScratch().Write(name, data, size);
}

void FuzzLwo2(const uint8_t* data, size_t size) { LoadAndDump(data, size, 2); }

void FuzzLwob(const uint8_t* data, size_t size) { LoadAndDump(data, size, 1); }

void FuzzSurf(const uint8_t* data, size_t size) {
  if (auto s = ParseSurfChunks(nullptr, data, size)) SizeSurfChunks(*s);
  LwobSurfChunks lwob;
  ParseLwobSurfBody(nullptr, data, size, &lwob);
  SizeLwobSurfChunks(lwob);
  LwobImageFiles(lwob);
}

void FuzzClip(const uint8_t* data, size_t size) { ParseClipChunks(nullptr, data, size); }

void FuzzEnvl(const uint8_t* data, size_t size) {
  if (auto e = ParseEnvlChunks(nullptr, data, size)) {
    EnvCurve curve = BuildEnvCurve(*e);
    for (float t : {-100.0f, -1.0f, 0.0f, 0.5f, 1.0f, 30.0f, 1e6f}) EvalEnvelope(curve, t);
  }
}

void FuzzUv(const uint8_t* data, size_t size) {
  if (TheScratch().Write("side.uv", data, size).empty()) return;
  for (int flags : {UV_SHARE | UV_FILE_RGB | UV_FILE_NORMAL, 0}) {
    ObjectDb* db = SideObject();
    if (!db) return;
    db->ops.LoadUvFile(db, flags);
    CloseObjectDb(&db);
  }
}

void FuzzVcl(const uint8_t* data, size_t size) {
  if (TheScratch().Write("side.vcl", data, size).empty()) return;
  for (int flags : {VCOLOR_SHARE | VCOLOR_SURFACE_COLOR, 0}) {
    ObjectDb* db = SideObject();
    if (!db) return;
    db->ops.BuildVertexColors(db, flags);
    CloseObjectDb(&db);
  }
}

const FuzzTarget kFuzzTargets[] = {
    {"fuzz_surf", FuzzSurf}, {"fuzz_clip", FuzzClip}, {"fuzz_envl", FuzzEnvl}, {"fuzz_uv", FuzzUv},
    {"fuzz_vcl", FuzzVcl},   {"fuzz_tga", FuzzTga},   {"fuzz_ini", FuzzIni},   {"fuzz_lws", FuzzLws},
    {"fuzz_lwob", FuzzLwob}, {"fuzz_lwo2", FuzzLwo2},
};
const size_t kFuzzTargetCount = sizeof(kFuzzTargets) / sizeof(kFuzzTargets[0]);
