// Reader for FORM/LWOB object files (the layout before LWO2): one layer with
// its points, FACE, PTCH and CURV polygons and the surfaces they name, each
// surface keeping its version-1 SURF body as raw bytes. The image files the
// surfaces use are registered as clips.
//
// Unlike the LWO2 reader, a file that ends inside a chunk header or inside
// point or polygon data fails with ERR_FILE_READ; what was read before stays
// and is consistent. Every count and index from the file is bounded: the
// polygon word walk never leaves its chunk, surface numbers outside the
// surface table give polygons without a surface, and nothing is preallocated
// beyond what the bytes left in the file can hold.
#include <algorithm>
#include <climits>
#include <new>
#include <string>
#include <vector>

#include "clip_envelope.h"
#include "lwob_surface.h"
#include "ops_internal.h"
#include "subchunk_walk.h"

namespace {

constexpr Id4 ID_FORM = MakeId4("FORM");
constexpr Id4 ID_LWOB = MakeId4("LWOB");
constexpr Id4 ID_PNTS = MakeId4("PNTS");
constexpr Id4 ID_SRFS = MakeId4("SRFS");
constexpr Id4 ID_POLS = MakeId4("POLS");
constexpr Id4 ID_PCHS = MakeId4("PCHS");
constexpr Id4 ID_CRVS = MakeId4("CRVS");

// Polygons carry surface numbers as signed 16-bit words, so no table entry
// past this one can be named.
constexpr size_t kMaxSurfaceNumber = 32767;

class LwobReader {
 public:
  explicit LwobReader(ObjectDb* db) : db_(db), ops_(db->ops) {}

  int Read(const char* path);
  // Reads an LWOB FORM from r; the single layer is named `layerName`.
  int Read(ChunkReader& r, const char* layerName);

 private:
  // Each handler reads from `c`, the chunk's bytes up to its declared end or
  // the end of the file, whichever comes first.
  void ReadPnts(ByteSource& c, uint32_t length);
  void ReadSrfs(ByteSource& c);
  void ReadPols(ByteSource& c, uint32_t length, Id4 type);
  void ReadCrvs(ByteSource& c, uint32_t length);
  void ReadSurf(ByteSource& c);
  // The chunk's data as U2 words; false (error 5) when the file ends first.
  bool ReadWords(ByteSource& c, uint32_t length);
  // The stored name of surface number s (1-based), or null when s names no
  // entry of the surface table.
  const char* SurfaceName(int s);
  int AddPolygon(const char* surface);
  void Finish();
  void RegisterImages();

  ObjectDb* db_;
  ObjectDbOps& ops_;
  std::vector<const char*> surfaces_;  // the latest SRFS table
  std::vector<uint16_t> words_;
  IndexArray points_;
  int badSurfaces_ = 0;
  int cutChunks_ = 0;
};

int LwobReader::Read(const char* path) {
  db_->error = 0;
  ChunkReader r;
  if (!r.Open(path)) {
    db_->failedPath = path;
    return SetError(db_, ERR_FILE_OPEN);
  }
  return Read(r, path);
}

int LwobReader::Read(ChunkReader& r, const char* layerName) {
  db_->error = 0;
  Id4 form = 0, type = 0;
  uint32_t formLength = 0;
  r.ReadID4(&form);
  if (form != ID_FORM) return SetError(db_, ERR_UNKNOWN_TYPE);
  if (r.ReadU4(&formLength) != 4) return SetError(db_, ERR_FILE_READ);
  r.ReadID4(&type);
  if (type != ID_LWOB) return SetError(db_, ERR_UNKNOWN_TYPE);
  db_->format = 1;
  if (!ops_.AddLayer(db_, layerName)) return SetError(db_, ERR_MEMORY);

  uint64_t accounted = 4;  // the form type
  while (accounted < formLength) {
    Id4 id = 0;
    uint32_t length = 0;
    r.ReadID4(&id);
    if (r.ReadU4(&length) != 4) {
      SetError(db_, ERR_FILE_READ);
      break;
    }
    const size_t start = r.Position();
    const uint64_t declaredEnd = uint64_t(start) + length;
    const size_t end = declaredEnd < r.Size() ? size_t(declaredEnd) : r.Size();
    ByteSource c(r.Data() + start, end - start);
    switch (id) {
      case ID_PNTS: ReadPnts(c, length); break;
      case ID_SRFS: ReadSrfs(c); break;
      case ID_POLS: ReadPols(c, length, ID_FACE); break;
      case ID_PCHS: ReadPols(c, length, ID_PTCH); break;
      case ID_CRVS: ReadCrvs(c, length); break;
      case ID_SURF: ReadSurf(c); break;
      default: break;
    }
    ops_.Log(db_, "CHUNK <%s>\n", IdText(id).text);
    if (db_->error != 0) break;
    r.Seek(end);
    accounted += 8 + uint64_t(length);
  }
  Finish();
  return db_->error;
}

void LwobReader::ReadPnts(ByteSource& c, uint32_t length) {
  const size_t n = length / 12;
  if (n > c.Size() / 12) {
    SetError(db_, ERR_FILE_READ);
    return;
  }
  ObjLayer* l = db_->currentLayer;
  if (l->points.size() + n > size_t(INT_MAX)) {
    SetError(db_, ERR_BAD_FORMAT);
    return;
  }
  AppendPoints(db_, c, n);
}

void LwobReader::ReadSrfs(ByteSource& c) {
  surfaces_.clear();
  char name[kNameSize];
  while (!c.AtEnd()) {
    c.ReadS0(name, sizeof name);
    if (surfaces_.size() >= kMaxSurfaceNumber) {
      ops_.Log(db_, "??? SRFS: names past %d ignored\n", int(kMaxSurfaceNumber));
      break;
    }
    const char* stored = ops_.AddSurface(db_, name);
    if (!stored) {
      SetError(db_, ERR_MEMORY);
      return;
    }
    surfaces_.push_back(stored);
  }
}

bool LwobReader::ReadWords(ByteSource& c, uint32_t length) {
  const size_t n = length / 2;
  if (n > c.Size() / 2) {
    SetError(db_, ERR_FILE_READ);
    return false;
  }
  try {
    words_.resize(n);
  } catch (const std::bad_alloc&) {
    SetError(db_, ERR_MEMORY);
    return false;
  }
  const uint8_t* p = c.Data();
  for (size_t i = 0; i < n; ++i) words_[i] = uint16_t((p[2 * i] << 8) | p[2 * i + 1]);
  return true;
}

const char* LwobReader::SurfaceName(int s) {
  if (s >= 1 && size_t(s) <= surfaces_.size()) return surfaces_[size_t(s - 1)];
  ++badSurfaces_;
  return nullptr;
}

int LwobReader::AddPolygon(const char* surface) {
  return ops_.AddPolygon(db_, int(points_.size()), points_.data(), surface);
}

// Each entry: vertex count n, n point indices, then a signed surface word s.
// s < 0 names surface -s and is followed by a count of detail polygons,
// which come next as ordinary entries; s above the number of surfaces is one
// more point of this polygon and the next word is examined the same way.
void LwobReader::ReadPols(ByteSource& c, uint32_t length, Id4 type) {
  if (ops_.GetSurfaceCount(db_) == 0) {
    SetError(db_, ERR_BAD_FORMAT);
    return;
  }
  if (!ReadWords(c, length)) return;
  ops_.BeginPolygonType(db_, type);
  const size_t n = words_.size();
  try {
    auto& polys = db_->currentLayer->Polygons();
    polys.reserve(polys.size() + n / 2);  // an entry takes two words at least
  } catch (const std::bad_alloc&) {
    SetError(db_, ERR_MEMORY);
    return;
  }
  const int surfaceCount = int(surfaces_.size());
  size_t i = 0;
  while (i < n) {
    const size_t count = words_[i++];
    if (count > n - i) {
      ++cutChunks_;
      break;
    }
    points_.assign(words_.begin() + ptrdiff_t(i), words_.begin() + ptrdiff_t(i + count));
    i += count;
    bool complete = false;
    int s = 0;
    while (i < n) {
      s = int16_t(words_[i++]);
      if (s > surfaceCount) {
        points_.push_back(s);
        continue;
      }
      if (s < 0) {
        s = -s;
        if (i < n) ++i;  // the detail polygon count
      }
      complete = true;
      break;
    }
    if (!complete) {
      ++cutChunks_;
      break;
    }
    if (AddPolygon(SurfaceName(s)) < 0) return;
  }
  ops_.EndPolygonType(db_);
}

// Each curve: vertex count n, n point indices, a surface number and a word
// of curve flags, kept in the polygon's flag word.
void LwobReader::ReadCrvs(ByteSource& c, uint32_t length) {
  if (!ReadWords(c, length)) return;
  ops_.BeginPolygonType(db_, ID_CURV);
  const size_t n = words_.size();
  size_t i = 0;
  while (i < n) {
    const size_t count = words_[i++];
    if (count + 2 > n - i) {
      ++cutChunks_;
      break;
    }
    points_.assign(words_.begin() + ptrdiff_t(i), words_.begin() + ptrdiff_t(i + count));
    i += count;
    const int s = int16_t(words_[i++]);
    const uint16_t flags = words_[i++];
    const int index = AddPolygon(SurfaceName(s));
    if (index < 0) return;
    db_->currentLayer->Polygons()[size_t(index)].flags = flags;
  }
  ops_.EndPolygonType(db_);
}

void LwobReader::ReadSurf(ByteSource& c) {
  char name[kNameSize];
  c.ReadS0(name, sizeof name);
  const size_t rest = c.Remaining();
  if (rest > size_t(INT_MAX)) return;
  // A name missing from SRFS stores nothing; reading goes on.
  ops_.SetSurfaceData(db_, name, int(rest), c.Data() + c.Position());
}

void LwobReader::RegisterImages() {
  LwobSurfChunks parsed;
  const int count = ops_.GetSurfaceCount(db_);
  for (int id = 0; id < count; ++id) {
    const ObjSurface* s = ops_.GetSurface(db_, id);
    if (!s || s->raw.empty()) continue;
    ParseLwobSurfBody(db_, s->raw.data(), s->raw.size(), &parsed);
    for (const std::string& file : LwobImageFiles(parsed)) AddClipFromPath(db_, file.c_str());
  }
}

// Runs also after a failed read, so that what was read is consistent; the
// image clips are registered only for a complete file.
void LwobReader::Finish() {
  const int error = db_->error;
  if (badSurfaces_)
    ops_.Log(db_, "??? %d polygons name no surface of the table\n", badSurfaces_);
  if (cutChunks_) ops_.Log(db_, "??? %d polygon chunks end inside a polygon\n", cutChunks_);
  surfaces_.clear();
  for (auto& l : db_->store->layers) l->currentType = 0;
  ops_.SelectLayer(db_, 0);
  int dropped = ValidateObjectDb(db_);
  if (dropped) ops_.Log(db_, "??? %d entries out of range dropped\n", dropped);
  if (error == 0) RegisterImages();
  ops_.ResolveSurfaceIds(db_);
  if (error != 0) db_->error = error;
}

}  // namespace

int ReadLwob(ObjectDb* db, const char* path, int) {
  if (!db || !path) return ERR_PARAM;
  LwobReader reader(db);
  return reader.Read(path);
}

int ReadLwobMemory(ObjectDb* db, const void* data, size_t size) {
  if (!db || (!data && size > 0)) return ERR_PARAM;
  ChunkReader r;
  r.OpenMemory(data, size);
  LwobReader reader(db);
  return reader.Read(r, db->path.c_str());
}
