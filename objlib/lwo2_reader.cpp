// Reader for FORM/LWO2 object files: layers, points, polygons of every type,
// polygon tags, vertex maps and tag strings; SURF, CLIP and ENVL bodies are
// kept as raw bytes for their own parsers.
//
// Every chunk is read through a view bounded by its declared end (and by the
// end of the file), and the walk always continues at the declared end, so a
// malformed chunk never desynchronises the rest. Accounting is 64-bit and the
// walk stops at the end of the file.
#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>

#include "ops_internal.h"
#include "parallel.h"

namespace {

constexpr Id4 ID_FORM = MakeId4("FORM");
constexpr Id4 ID_LWO2 = MakeId4("LWO2");
constexpr Id4 ID_LAYR = MakeId4("LAYR");
constexpr Id4 ID_PNTS = MakeId4("PNTS");
constexpr Id4 ID_BBOX = MakeId4("BBOX");
constexpr Id4 ID_POLS = MakeId4("POLS");
constexpr Id4 ID_PTAG = MakeId4("PTAG");
constexpr Id4 ID_VMAP = MakeId4("VMAP");
constexpr Id4 ID_VMAD = MakeId4("VMAD");
constexpr Id4 ID_TAGS = MakeId4("TAGS");
constexpr Id4 ID_CLIP = MakeId4("CLIP");
constexpr Id4 ID_ENVL = MakeId4("ENVL");

class Lwo2Reader {
 public:
  explicit Lwo2Reader(ObjectDb* db) : db_(db), ops_(db->ops) {}

  int Read(const char* path);
  int Read(ChunkReader& r);
  template <typename Chunks>
  int ReadChunks(Chunks& r);

 private:
  // The current layer; chunks that come before any LAYR land in an implicit
  // layer 0 so such files stay viewable.
  ObjLayer* Layer() {
    if (!db_->currentLayer) ops_.AddLayer(db_, "");
    return db_->currentLayer;
  }
  void CheckConsumed(const ByteSource& c, uint32_t length) {
    if (c.Position() != length) ops_.Log(db_, "??? %d != %d\n", int(c.Position()), int(length));
  }

  void ReadLayr(ByteSource& c, uint32_t length);
  void ReadPnts(ByteSource& c, uint32_t length);
  void ReadBbox(ByteSource& c);
  void ReadPols(ByteSource& c, uint32_t length);
  void ReadPtag(ByteSource& c, uint32_t length);
  void ReadVmap(ByteSource& c, uint32_t length, bool discontinuous);
  void ReadTags(ByteSource& c);
  void ReadSurf(ByteSource& c, uint32_t length);
  void ReadClip(ByteSource& c, uint32_t length);
  void ReadEnvl(ByteSource& c, uint32_t length);
  void Finish();
  void SortLayers();
  void BindTags();

  ObjectDb* db_;
  ObjectDbOps& ops_;
  IndexArray scratch_;
  std::vector<float> values_;
  std::vector<ObjLayer*> pointsReplaced_;
  std::vector<CheckedPolygons> checked_;  // groups whose point indices the face pass saw in range
};

// A file held whole in memory, handed out a stretch at a time as ChunkFile
// hands out a file.
class ChunksInMemory {
 public:
  explicit ChunksInMemory(ChunkReader& r) : r_(r) {}
  size_t Size() const { return r_.Size(); }
  size_t Position() const { return r_.Position(); }
  size_t Remaining() const { return r_.Remaining(); }
  ByteSource Take(size_t n) {
    n = std::min(n, r_.Remaining());
    ByteSource s(r_.Data() + r_.Position(), n);
    r_.Seek(r_.Position() + n);
    return s;
  }
  void Seek(size_t position) { r_.Seek(position); }
  bool OutOfMemory() const { return false; }

 private:
  ChunkReader& r_;
};

// A file is read a top-level chunk at a time: of a large object, only the
// chunk in hand is held beside what has been made of the others.
int Lwo2Reader::Read(const char* path) {
  db_->error = 0;
  ChunkFile r;
  if (!r.Open(path)) {
    db_->failedPath = path;
    return SetError(db_, ERR_FILE_OPEN);
  }
  return ReadChunks(r);
}

int Lwo2Reader::Read(ChunkReader& r) {
  ChunksInMemory chunks(r);
  return ReadChunks(chunks);
}

template <typename Chunks>
int Lwo2Reader::ReadChunks(Chunks& r) {
  db_->error = 0;
  Id4 form = 0, type = 0;
  uint32_t formLength = 0;
  ByteSource head = r.Take(12);
  head.ReadID4(&form);
  head.ReadU4(&formLength);
  head.ReadID4(&type);
  if (r.OutOfMemory()) return SetError(db_, ERR_MEMORY);
  if (head.Error() || form != ID_FORM || type != ID_LWO2) return SetError(db_, ERR_UNKNOWN_TYPE);
  db_->format = 2;

  uint64_t accounted = 4;  // the form type
  while (accounted < formLength) {
    if (r.Remaining() < 8) {
      if (r.Remaining() > 0 || accounted + 8 <= formLength)
        ops_.Log(db_, "??? file ends at %d inside FORM\n", int(r.Position()));
      break;
    }
    Id4 id = 0;
    uint32_t length = 0;
    ByteSource header = r.Take(8);
    header.ReadID4(&id);
    header.ReadU4(&length);
    const size_t bodyStart = r.Position();
    const uint64_t declaredEnd = uint64_t(bodyStart) + length;
    const size_t bodyEnd = declaredEnd < r.Size() ? size_t(declaredEnd) : r.Size();
    // A body is read only for the chunks parsed: the others are passed over.
    ByteSource c;
    auto body = [&]() -> ByteSource& { return c = r.Take(bodyEnd - bodyStart); };
    switch (id) {
      case ID_LAYR: ReadLayr(body(), length); break;
      case ID_PNTS: ReadPnts(body(), length); break;
      case ID_BBOX: ReadBbox(body()); break;
      case ID_POLS: ReadPols(body(), length); break;
      case ID_PTAG: ReadPtag(body(), length); break;
      case ID_VMAP: ReadVmap(body(), length, false); break;
      case ID_VMAD: ReadVmap(body(), length, true); break;
      case ID_TAGS: ReadTags(body()); break;
      case ID_SURF: ReadSurf(body(), length); break;
      case ID_CLIP: ReadClip(body(), length); break;
      case ID_ENVL: ReadEnvl(body(), length); break;
      default: {
        char text[5];
        ID4ToText(id, text);
        ops_.Log(db_, "%s [%d]\n", text, int(length));
      }
    }
    if (r.OutOfMemory()) {  // no room for the body: it was read as empty
      SetError(db_, ERR_MEMORY);
      break;
    }
    r.Seek(bodyEnd);
    accounted += 8 + uint64_t(length);
    if (declaredEnd > r.Size()) {
      ops_.Log(db_, "??? chunk at %d runs past the end of the file\n", int(bodyStart - 8));
      break;
    }
  }
  Finish();
  return r.OutOfMemory() ? SetError(db_, ERR_MEMORY) : 0;
}

void Lwo2Reader::ReadLayr(ByteSource& c, uint32_t length) {
  uint16_t number = 0, flags = 0;
  float pivot[3];
  char name[kNameSize];
  c.ReadU2(&number);
  c.ReadU2(&flags);
  c.ReadVEC12(pivot);
  c.ReadS0(name, sizeof name);
  ObjLayer* l = ops_.AddLayer(db_, name);
  l->number = number;
  l->flags = flags;
  ops_.SetLayerPivot(db_, pivot[0], pivot[1], pivot[2]);
  if (uint64_t(length) == c.Position() + 2 && c.Remaining() >= 2) {
    uint16_t parent = 0;
    c.ReadU2(&parent);
    l->parent = parent;
  }
}

void Lwo2Reader::ReadPnts(ByteSource& c, uint32_t length) {
  ObjLayer* l = Layer();
  size_t n = length / 12;
  const size_t available = c.Size() / 12;
  if (n > available) n = available;
  if (!l->points.empty()) pointsReplaced_.push_back(l);
  l->points.clear();
  l->pointUserData.clear();
  AppendPoints(db_, c, n);
}

void Lwo2Reader::ReadBbox(ByteSource& c) {
  ObjLayer* l = Layer();
  float b[6];
  c.ReadF4(b, 6);
  for (int i = 0; i < 6; ++i) l->bounds[i] = b[i];
}

void Lwo2Reader::ReadPols(ByteSource& c, uint32_t length) {
  ObjLayer* l = Layer();
  Id4 type = 0;
  c.ReadID4(&type);
  ops_.BeginPolygonType(db_, type);
  auto& polys = l->Polygons();
  if (!polys.empty()) {
    // The new polygons replace the old ones; tables naming the old ones go.
    ops_.FreePolygons(db_);
    ops_.FreePolygonTagTables(db_, 0);
  }
  try {
    size_t room = std::min(l->points.size() * 2, c.Size() / 2);
    polys.reserve(room);
  } catch (const std::bad_alloc&) {
    SetError(db_, ERR_MEMORY);
    return;
  }
  // The reserved room is mapped just ahead of the records that fill it (see
  // PrefaultAhead): it is only a bound on what the chunk holds. Room that
  // runs out moves the list, whose new room is then left to faults.
  const ObjPolygon* const room = polys.data();
  PrefaultAhead ahead(polys.data() + polys.size(), polys.data() + polys.capacity());
  // With the library's own AddPolygon, the chunk's face normals are computed
  // after it, in parts at once: the points do not change meanwhile.
  const bool normalsAfter = HasLibraryOps(db_);
  const size_t first = polys.size();
  while (c.Position() < length && !c.AtEnd()) {
    if (polys.data() == room) ahead.Reached(polys.data() + polys.size());
    uint16_t word = 0;
    if (c.ReadU2(&word) != 2) break;
    const int count = word & 0x3FF;
    scratch_.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
      uint32_t vx = 0;
      c.ReadVX(&vx);
      scratch_[size_t(i)] = int32_t(vx);
    }
    if (c.Error()) break;
    int index = normalsAfter ? AddPolygonWithoutNormal(db_, count, scratch_.data(), nullptr)
                             : ops_.AddPolygon(db_, count, scratch_.data(), nullptr);
    if (index < 0) break;
    polys[size_t(index)].flags = word >> 10;
  }
  // The face pass also finds the largest point index, so the check after
  // the read can pass over these polygons while the points reach it.
  PolygonTypeGroup* group = &l->groups[l->currentType];
  checked_.erase(std::remove_if(checked_.begin(), checked_.end(),
                                [&](const CheckedPolygons& c) { return c.group == group; }),
                 checked_.end());
  if (normalsAfter && polys.size() > first) {
    const size_t n = polys.size() - first;
    const unsigned parts = std::min(PartsFor(n), kParallelParts);
    uint32_t largest[kParallelParts] = {};
    auto faces = [&](unsigned k) {
      uint32_t most = 0;
      for (size_t i = first + PartBegin(k, parts, n), end = first + PartBegin(k + 1, parts, n); i < end; ++i) {
        ObjPolygon& p = polys[i];
        ComputeFaceNormal(*l, p, p.normal);
        for (int32_t q : p.points) most = std::max(most, uint32_t(q));
      }
      largest[k] = most;
    };
    RunParts(parts, faces);
    try {
      if (first == 0) checked_.push_back({group, polys.size(), size_t(*std::max_element(largest, largest + parts)) + 1});
    } catch (const std::bad_alloc&) {
      // The check after the read goes through these polygons too.
    }
  }
  CheckConsumed(c, length);
  ops_.EndPolygonType(db_);
}

void Lwo2Reader::ReadPtag(ByteSource& c, uint32_t length) {
  ObjLayer* l = Layer();
  Id4 type = 0;
  c.ReadID4(&type);
  int index = ops_.AddPolygonTagTable(db_, type);
  if (index < 0) return;
  PolygonTagTable& t = l->TagTables()[size_t(index)];
  const size_t polygonCount = l->Polygons().size();
  t.slotOf.assign(polygonCount, -1);
  // An entry takes at least four bytes (a two-byte index and the tag).
  const size_t room = std::min(polygonCount, c.Remaining() / 4);
  try {
    t.polygons.reserve(room);
    t.tags.reserve(room);
  } catch (const std::bad_alloc&) {
    // Grown entry by entry instead.
  }
  int skipped = 0;
  while (c.Position() < length && !c.AtEnd()) {
    uint32_t polygon = 0;
    uint16_t tag = 0;
    c.ReadVX(&polygon);
    c.ReadU2(&tag);
    if (c.Error()) break;
    if (polygon >= polygonCount) {
      ++skipped;
      continue;
    }
    int32_t& slot = t.slotOf[polygon];
    if (slot >= 0) {
      t.tags[size_t(slot)] = tag;
    } else {
      slot = int32_t(t.polygons.size());
      t.polygons.push_back(int32_t(polygon));
      t.tags.push_back(tag);
    }
  }
  CheckConsumed(c, length);
  if (skipped) ops_.Log(db_, "??? PTAG: %d entries name polygons past %d\n", skipped, int(polygonCount));
  ops_.EndPolygonType(db_);
}

void Lwo2Reader::ReadVmap(ByteSource& c, uint32_t length, bool discontinuous) {
  ObjLayer* l = Layer();
  Id4 type = 0;
  uint16_t dimension = 0;
  char name[kNameSize];
  c.ReadID4(&type);
  c.ReadU2(&dimension);
  c.ReadS0(name, sizeof name);
  int map = discontinuous ? ops_.AddVMad(db_, type, name, dimension)
                          : ops_.AddVMap(db_, type, name, dimension);
  if (map < 0) return;
  values_.resize(dimension);
  const size_t pointCount = l->points.size();
  if (!discontinuous) {
    // An entry takes at least a two-byte index and its values.
    ObjVMap& m = l->vmaps[size_t(map)];
    const size_t room = std::min(pointCount, c.Remaining() / (2 + 4 * size_t(dimension)));
    try {
      m.points.reserve(m.points.size() + room);
      m.values.reserve(m.values.size() + room * dimension);
    } catch (const std::bad_alloc&) {
      // Grown entry by entry instead.
    }
  }
  while (c.Position() < length && !c.AtEnd()) {
    uint32_t point = 0, polygon = 0;
    c.ReadVX(&point);
    if (discontinuous) c.ReadVX(&polygon);
    c.ReadF4(values_.data(), dimension);
    if (c.Error()) break;
    if (point >= pointCount) continue;
    if (discontinuous)
      ops_.SetVMadValue(db_, map, int(point), int(polygon), values_.data());
    else
      ops_.SetVMapValue(db_, map, int(point), values_.data());
  }
  CheckConsumed(c, length);
}

void Lwo2Reader::ReadTags(ByteSource& c) {
  char name[kNameSize];
  while (!c.AtEnd()) {
    c.ReadS0(name, sizeof name);
    ops_.AddTag(db_, name, 0);
  }
}

// Bytes of the chunk left after what the handler read, never negative.
size_t Rest(const ByteSource& c, uint32_t length) {
  size_t declared = length > c.Position() ? length - c.Position() : 0;
  return std::min(declared, c.Remaining());
}

void Lwo2Reader::ReadSurf(ByteSource& c, uint32_t length) {
  char name[kNameSize], source[kNameSize];
  c.ReadS0(name, sizeof name);
  c.ReadS0(source, sizeof source);
  const char* stored = ops_.AddSurface(db_, name);
  size_t rest = Rest(c, length);
  ops_.SetSurfaceData(db_, stored, int(rest), c.Data() + c.Position());
}

void Lwo2Reader::ReadClip(ByteSource& c, uint32_t length) {
  uint32_t index = 0;
  c.ReadU4(&index);
  int ordinal = ops_.AddClip(db_, int(index));
  size_t rest = Rest(c, length);
  ops_.SetClipData(db_, ordinal, int(rest), c.Data() + c.Position());
  DeriveClipName(db_, ordinal);
}

void Lwo2Reader::ReadEnvl(ByteSource& c, uint32_t length) {
  uint16_t index = 0;
  c.ReadU2(&index);
  int ordinal = ops_.AddEnvelope(db_, index);
  size_t rest = Rest(c, length);
  ops_.SetEnvelopeData(db_, ordinal, int(rest), c.Data() + c.Position());
}

void Lwo2Reader::SortLayers() {
  auto& layers = db_->store->layers;
  if (layers.size() > 1)
    std::stable_sort(layers.begin(), layers.end(),
                     [](const std::unique_ptr<ObjLayer>& a, const std::unique_ptr<ObjLayer>& b) {
                       return a->number < b->number;
                     });
  for (size_t i = 0; i < layers.size(); ++i) layers[i]->ordinal = int32_t(i);
}

void Lwo2Reader::BindTags() {
  const bool libraryOps = HasLibraryOps(db_);
  const int layerCount = ops_.GetLayerCount(db_);
  for (int li = 0; li < layerCount; ++li) {
    ops_.SelectLayer(db_, li);
    ObjLayer* l = db_->currentLayer;
    for (Id4 type : kPolygonTypes) {
      ops_.BeginPolygonType(db_, type);
      auto& polys = l->Polygons();
      for (auto& table : l->TagTables()) {
        const size_t count = table.polygons.size();
        // With the library's operations, a large surface table's polygons
        // are given their names afterwards in parts at once: the table names
        // each polygon once, and GetTag only reads.
        const bool namesAfter = libraryOps && table.type == ID_SURF && PartsFor(count) > 1;
        const ObjTag* surfaceKnown = nullptr;  // the last tag whose surface exists
        // Runs of polygons with one tag are the rule: the library's GetTag
        // and SetTagType give the same for the same tag, so a run asks once.
        ObjTag* tag = nullptr;
        int32_t tagId = 0;
        for (size_t s = 0; s < count; ++s) {
          if (!libraryOps || !tag || table.tags[s] != tagId) {
            tagId = table.tags[s];
            tag = ops_.GetTag(db_, tagId);
            if (!tag) continue;
            SetTagType(db_, tag, table.type);
          }
          if (table.type != ID_SURF) continue;
          if (!namesAfter) polys[size_t(table.polygons[s])].surfaceName = tag->name;
          if (tag == surfaceKnown) continue;
          if (!ops_.FindSurface(db_, tag->name)) ops_.AddSurface(db_, tag->name);
          surfaceKnown = tag;
        }
        if (!namesAfter) continue;
        const unsigned parts = PartsFor(count);
        auto name = [&](unsigned k) {
          const ObjTag* runTag = nullptr;
          int32_t runId = 0;
          for (size_t s = PartBegin(k, parts, count), end = PartBegin(k + 1, parts, count); s < end; ++s) {
            if (!runTag || table.tags[s] != runId) {
              runId = table.tags[s];
              runTag = ops_.GetTag(db_, runId);
              if (!runTag) continue;
            }
            polys[size_t(table.polygons[s])].surfaceName = runTag->name;
          }
        };
        RunParts(parts, name);
      }
    }
    ops_.BeginPolygonType(db_, ID_FACE);
  }
}

void Lwo2Reader::Finish() {
  SortLayers();
  for (ObjLayer* l : pointsReplaced_)
    for (auto& g : l->groups)
      for (auto& p : g.polygons) ComputeFaceNormal(*l, p, p.normal);
  int dropped = ValidateObjectDb(db_, checked_);
  if (dropped) ops_.Log(db_, "??? %d entries out of range dropped\n", dropped);
  BindTags();
  ops_.ResolveSurfaceIds(db_);
  for (auto& l : db_->store->layers) l->currentType = 0;
  ops_.SelectLayer(db_, 0);
  db_->loadWord = 0;
}

}  // namespace

bool AppendPoints(ObjectDb* db, ByteSource& c, size_t n) {
  ObjLayer* l = db->currentLayer;
  try {
    l->points.reserve(l->points.size() + n);
  } catch (const std::bad_alloc&) {
    SetError(db, ERR_MEMORY);
    return false;
  }
  // The room is mapped just ahead of the points that fill it.
  const ObjPoint* const room = l->points.data();
  PrefaultAhead ahead(l->points.data() + l->points.size(), l->points.data() + l->points.size() + n);
  for (size_t i = 0; i < n; ++i) {
    if (l->points.data() == room) ahead.Reached(l->points.data() + l->points.size());
    float v[3];
    c.ReadVEC12(v);
    if (db->ops.AddPoint(db, v[0], v[1], v[2]) < 0) return false;
  }
  return true;
}

int ReadLwo2(ObjectDb* db, const char* path, int) {
  Lwo2Reader reader(db);
  return reader.Read(path);
}

int ReadLwo2Memory(ObjectDb* db, const void* data, size_t size) {
  ChunkReader r;
  r.OpenMemory(data, size);
  Lwo2Reader reader(db);
  return reader.Read(r);
}
