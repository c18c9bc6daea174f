#include "object_writer.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <new>
#include <unordered_map>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#define TAMARIND_HAVE_POSIX 1
#endif

#include "ops_internal.h"
#include "surface_convert.h"

namespace {

namespace fs = std::filesystem;

constexpr Id4 ID_FORM = MakeId4("FORM");
constexpr Id4 ID_LWO2 = MakeId4("LWO2");
constexpr Id4 ID_LWOB = MakeId4("LWOB");
constexpr Id4 ID_TAGS = MakeId4("TAGS");
constexpr Id4 ID_LAYR = MakeId4("LAYR");
constexpr Id4 ID_PNTS = MakeId4("PNTS");
constexpr Id4 ID_BBOX = MakeId4("BBOX");
constexpr Id4 ID_VMAP = MakeId4("VMAP");
constexpr Id4 ID_POLS = MakeId4("POLS");
constexpr Id4 ID_PTAG = MakeId4("PTAG");
constexpr Id4 ID_VMAD = MakeId4("VMAD");
constexpr Id4 ID_CLIP = MakeId4("CLIP");
constexpr Id4 ID_ENVL = MakeId4("ENVL");
constexpr Id4 ID_SRFS = MakeId4("SRFS");
constexpr Id4 ID_PCHS = MakeId4("PCHS");
constexpr Id4 ID_CRVS = MakeId4("CRVS");

constexpr size_t kMaxLwo2Corners = 0x3FF;  // the low 10 bits of the POLS word
constexpr int32_t kMaxLwo2Flags = 0x3F;    // its high 6 bits
constexpr uint32_t kMaxU2 = 0xFFFF;
constexpr uint64_t kMaxU4 = 0xFFFFFFFFu;
// LWOB surface numbers are signed 16-bit; negative ones mark detail polygons.
constexpr size_t kMaxLwobSurfaces = 32767;
// Name an LWOB save gives its only surface when the object has none: an
// LWOB polygon must name a surface.
constexpr char kDefaultSurface[] = "Default";

uint64_t S0(const char* text) { return uint64_t(SizeOfS0(text)); }
uint64_t VX(uint32_t index) { return uint64_t(SizeOfVX(index)); }

std::string IdString(Id4 id) {
  char text[5];
  ID4ToText(id, text);
  return text;
}

// The output routine, run once to count and once to write. It reads the
// object's records in place and changes nothing, so both runs produce the
// same bytes.
class ObjectWriter {
 public:
  ObjectWriter(ObjectDb* db, int format, const std::vector<ConvertedSurface>& bodies)
      : db_(db), ops_(db->ops), format_(format), bodies_(bodies) {}

  int Run(ChunkWriter& w, uint64_t formLength) {
    w_ = &w;
    status_ = 0;
    problem_.clear();
    w.WriteID4(ID_FORM);
    w.U4(uint32_t(formLength));
    w.WriteID4(format_ == 2 ? ID_LWO2 : ID_LWOB);
    if (WriteFailed()) return status_;
    if (format_ == 2)
      Lwo2();
    else
      Lwob();
    return status_;
  }

  const std::string& Problem() const { return problem_; }

 private:
  // Records the first failure with a line saying what it was; returns false.
  bool Refuse(int code, const char* format, ...) {
    if (status_ != 0) return false;
    char text[640];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    status_ = code;
    problem_ = text;
    return false;
  }

  bool WriteFailed() {
    if (!w_->Error()) return false;
    Refuse(ERR_FILE_WRITE, "write failed: %s", strerror(errno));
    return true;
  }

  // ID, U4 length and the body; the bytes the body wrote must be `length`.
  template <class Body>
  bool Chunk(Id4 id, uint64_t length, Body&& body) {
    if (status_ != 0) return false;
    if (length > kMaxU4)
      return Refuse(ERR_BAD_FORMAT, "%s chunk of %llu bytes is over the 4 GiB a chunk can hold",
                    IdString(id).c_str(), static_cast<unsigned long long>(length));
    const uint64_t start = w_->Count();
    w_->WriteID4(id);
    w_->U4(uint32_t(length));
    body();
    if (status_ != 0 || WriteFailed()) return false;
    if (w_->Count() - start != 8 + length)
      return Refuse(ERR_DATABASE, "%s chunk: %llu bytes written for a length of %llu",
                    IdString(id).c_str(), static_cast<unsigned long long>(w_->Count() - start - 8),
                    static_cast<unsigned long long>(length));
    return true;
  }

  void F4(double v) { w_->F4(float(v)); }

  // ------------------------------------------------------------- LWO2

  void Lwo2() {
    const int tagCount = ops_.GetTagCount(db_);
    std::vector<const char*> tags(size_t(tagCount), "");
    uint64_t length = 0;
    for (int id = 0; id < tagCount; ++id) {
      if (const ObjTag* tag = ops_.GetTag(db_, id)) tags[size_t(id)] = tag->name;
      length += S0(tags[size_t(id)]);
    }
    Chunk(ID_TAGS, length, [&] {
      for (const char* name : tags) w_->WriteS0(name);
    });

    const int layerCount = ops_.GetLayerCount(db_);
    for (int i = 0; i < layerCount && status_ == 0; ++i)
      if (const ObjLayer* layer = ops_.GetLayer(db_, i)) Layer(*layer);

    for (const ObjClip& clip : db_->store->clips)
      Chunk(ID_CLIP, 4 + uint64_t(clip.raw.size()), [&] {
        w_->U4(uint32_t(clip.id));
        w_->WriteBytes(clip.raw.data(), clip.raw.size());
      });

    for (const ObjEnvelope& envelope : db_->store->envelopes) {
      if (envelope.id < 0 || uint32_t(envelope.id) > kMaxU2) {
        Refuse(ERR_BAD_FORMAT, "envelope id %d does not fit 16 bits", int(envelope.id));
        return;
      }
      Chunk(ID_ENVL, 2 + uint64_t(envelope.raw.size()), [&] {
        w_->U2(uint16_t(envelope.id));
        w_->WriteBytes(envelope.raw.data(), envelope.raw.size());
      });
    }

    for (const ConvertedSurface& body : bodies_) {
      const ObjSurface& s = *body.surface;
      Chunk(ID_SURF, S0(s.name) + S0(s.name2) + body.Size(), [&] {
        w_->WriteS0(s.name);
        w_->WriteS0(s.name2);
        w_->WriteBytes(body.Data(), body.Size());
      });
    }
  }

  bool FitsU2(int32_t value, const ObjLayer& l, const char* what) {
    if (value >= 0 && uint32_t(value) <= kMaxU2) return true;
    return Refuse(ERR_BAD_FORMAT, "layer %d: %s %d does not fit 16 bits", int(l.ordinal), what,
                  int(value));
  }

  // A point index of layer l as an LWO2 VX.
  bool PointIndex(const ObjLayer& l, int32_t point) {
    if (point < 0 || size_t(point) >= l.points.size())
      return Refuse(ERR_DATABASE, "layer %d: point index %d outside its %zu points", int(l.ordinal),
                    int(point), l.points.size());
    if (uint32_t(point) > kMaxVX)
      return Refuse(ERR_POINT_COUNT, "layer %d: point index %d does not fit the 24 bits of LWO2",
                    int(l.ordinal), int(point));
    return true;
  }

  bool PolygonIndex(const ObjLayer& l, size_t polygons, int32_t polygon) {
    if (polygon < 0 || size_t(polygon) >= polygons)
      return Refuse(ERR_DATABASE, "layer %d: polygon index %d outside its %zu polygons",
                    int(l.ordinal), int(polygon), polygons);
    if (uint32_t(polygon) > kMaxVX)
      return Refuse(ERR_BAD_FORMAT, "layer %d: polygon index %d does not fit the 24 bits of LWO2",
                    int(l.ordinal), int(polygon));
    return true;
  }

  void Layer(const ObjLayer& l) {
    if (!FitsU2(l.number, l, "layer number") || !FitsU2(l.flags, l, "layer flags")) return;
    const bool hasParent = l.parent >= 0;
    if (hasParent && !FitsU2(l.parent, l, "parent layer")) return;
    Chunk(ID_LAYR, S0(l.name) + (hasParent ? 18 : 16), [&] {
      w_->U2(uint16_t(l.number));
      w_->U2(uint16_t(l.flags));
      for (double v : l.pivot) F4(v);
      w_->WriteS0(l.name);
      if (hasParent) w_->U2(uint16_t(l.parent));
    });

    Chunk(ID_PNTS, 12 * uint64_t(l.points.size()), [&] {
      for (const ObjPoint& p : l.points) {
        F4(p.x);
        F4(p.y);
        F4(p.z);
      }
    });

    Chunk(ID_BBOX, 24, [&] {
      double bounds[6];
      Bounds(l, bounds);
      for (double v : bounds) F4(v);
    });

    for (const ObjVMap& map : l.vmaps) VMap(l, map);
    for (int type = 0; type < 5; ++type) PolygonType(l, type);
  }

  // The bounds of the layer's points; a layer without points keeps its
  // stored bounds.
  static void Bounds(const ObjLayer& l, double out[6]) {
    if (l.points.empty()) {
      memcpy(out, l.bounds, sizeof l.bounds);
      return;
    }
    const ObjPoint& first = l.points.front();
    out[0] = out[3] = first.x;
    out[1] = out[4] = first.y;
    out[2] = out[5] = first.z;
    for (const ObjPoint& p : l.points) {
      const double v[3] = {p.x, p.y, p.z};
      for (int i = 0; i < 3; ++i) {
        if (v[i] < out[i]) out[i] = v[i];
        if (v[i] > out[i + 3]) out[i + 3] = v[i];
      }
    }
  }

  bool Dimension(const ObjLayer& l, int32_t dimension, const char* name) {
    if (dimension >= 0 && uint32_t(dimension) <= kMaxU2) return true;
    return Refuse(ERR_BAD_FORMAT, "layer %d: map \"%s\" has dimension %d", int(l.ordinal), name,
                  int(dimension));
  }

  void VMap(const ObjLayer& l, const ObjVMap& m) {
    if (!Dimension(l, m.dimension, m.name)) return;
    const size_t dim = size_t(m.dimension);
    if (m.values.size() < m.points.size() * dim) {
      Refuse(ERR_DATABASE, "layer %d: map \"%s\" holds fewer values than points", int(l.ordinal),
             m.name);
      return;
    }
    uint64_t length = S0(m.name) + 6;
    for (int32_t point : m.points) {
      if (!PointIndex(l, point)) return;
      length += VX(uint32_t(point)) + 4 * dim;
    }
    Chunk(ID_VMAP, length, [&] {
      w_->WriteID4(m.type);
      w_->U2(uint16_t(dim));
      w_->WriteS0(m.name);
      for (size_t slot = 0; slot < m.points.size(); ++slot) {
        w_->WriteVX(uint32_t(m.points[slot]));
        if (dim) w_->WriteF4(&m.values[slot * dim], int(dim));
      }
    });
  }

  // Discontinuous maps belong to the polygon type that was current when
  // they were made; an unknown type is taken as FACE.
  static int TypeOf(const ObjVMad& m) {
    const int type = PolygonTypeIndex(m.polygonType);
    return type < 0 ? 0 : type;
  }

  void PolygonType(const ObjLayer& l, int type) {
    const PolygonTypeGroup& g = l.groups[type];
    bool hasVMads = false;
    for (const ObjVMad& m : l.vmads) hasVMads = hasVMads || TypeOf(m) == type;
    // A type with no polygons is written only when tag tables or maps
    // belong to it, so that they are read back under the same type.
    if (g.polygons.empty() && g.tagTables.empty() && !hasVMads) return;
    const Id4 typeId = kPolygonTypes[type];

    uint64_t length = 4;
    for (size_t i = 0; i < g.polygons.size(); ++i) {
      const ObjPolygon& p = g.polygons[i];
      if (p.points.size() > kMaxLwo2Corners) {
        Refuse(ERR_BAD_POLYGON, "layer %d: %s polygon %zu has %zu corners; LWO2 holds at most %zu",
               int(l.ordinal), IdString(typeId).c_str(), i, p.points.size(), kMaxLwo2Corners);
        return;
      }
      if (p.flags < 0 || p.flags > kMaxLwo2Flags) {
        Refuse(ERR_BAD_POLYGON, "layer %d: %s polygon %zu has flags 0x%x; LWO2 holds 6 bits",
               int(l.ordinal), IdString(typeId).c_str(), i, unsigned(p.flags));
        return;
      }
      length += 2;
      for (int32_t point : p.points) {
        if (!PointIndex(l, point)) return;
        length += VX(uint32_t(point));
      }
    }
    Chunk(ID_POLS, length, [&] {
      w_->WriteID4(typeId);
      for (const ObjPolygon& p : g.polygons) {
        w_->U2(uint16_t((uint32_t(p.flags) << 10) | uint32_t(p.points.size())));
        for (int32_t point : p.points) w_->WriteVX(uint32_t(point));
      }
    });

    for (const PolygonTagTable& table : g.tagTables) PolygonTags(l, g, table);
    for (const ObjVMad& m : l.vmads)
      if (TypeOf(m) == type) VMad(l, g, m);
  }

  void PolygonTags(const ObjLayer& l, const PolygonTypeGroup& g, const PolygonTagTable& table) {
    if (table.polygons.size() != table.tags.size()) {
      Refuse(ERR_DATABASE, "layer %d: tag table %d is inconsistent", int(l.ordinal),
             int(table.index));
      return;
    }
    uint64_t length = 4;
    for (size_t i = 0; i < table.polygons.size(); ++i) {
      if (!PolygonIndex(l, g.polygons.size(), table.polygons[i])) return;
      if (table.tags[i] < 0 || uint32_t(table.tags[i]) > kMaxU2) {
        Refuse(ERR_BAD_FORMAT, "layer %d: tag id %d does not fit 16 bits", int(l.ordinal),
               int(table.tags[i]));
        return;
      }
      length += VX(uint32_t(table.polygons[i])) + 2;
    }
    Chunk(ID_PTAG, length, [&] {
      w_->WriteID4(table.type);
      for (size_t i = 0; i < table.polygons.size(); ++i) {
        w_->WriteVX(uint32_t(table.polygons[i]));
        w_->U2(uint16_t(table.tags[i]));
      }
    });
  }

  void VMad(const ObjLayer& l, const PolygonTypeGroup& g, const ObjVMad& m) {
    if (!Dimension(l, m.dimension, m.name)) return;
    const size_t dim = size_t(m.dimension);
    uint64_t length = S0(m.name) + 6;
    for (const VMadSlot& slot : m.slots) {
      if (!PointIndex(l, slot.point)) return;
      for (const VMadNode& node : slot.nodes) {
        if (!PolygonIndex(l, g.polygons.size(), node.polygon)) return;
        if (node.values.size() != dim) {
          Refuse(ERR_DATABASE, "layer %d: map \"%s\" has an entry of %zu values", int(l.ordinal),
                 m.name, node.values.size());
          return;
        }
        length += VX(uint32_t(slot.point)) + VX(uint32_t(node.polygon)) + 4 * dim;
      }
    }
    Chunk(ID_VMAD, length, [&] {
      w_->WriteID4(m.type);
      w_->U2(uint16_t(dim));
      w_->WriteS0(m.name);
      for (const VMadSlot& slot : m.slots)
        for (const VMadNode& node : slot.nodes) {
          w_->WriteVX(uint32_t(slot.point));
          w_->WriteVX(uint32_t(node.polygon));
          if (dim) w_->WriteF4(node.values.data(), int(dim));
        }
    });
  }

  // ------------------------------------------------------------- LWOB

  void Lwob() {
    const ObjLayer* l = db_->currentLayer;
    if (!l) {
      Refuse(ERR_DATABASE, "no current layer to save as LWOB");
      return;
    }
    const int count = ops_.GetSurfaceCount(db_);
    if (size_t(count) > kMaxLwobSurfaces) {
      Refuse(ERR_BAD_FORMAT, "%d surfaces; LWOB holds at most %zu", count, kMaxLwobSurfaces);
      return;
    }
    // Surface numbers in polygons are positions in SRFS, written in id order.
    std::unordered_map<const ObjSurface*, size_t> bodyOf;
    for (size_t i = 0; i < bodies_.size(); ++i) bodyOf[bodies_[i].surface] = i;
    std::vector<const ConvertedSurface*> surfaces;
    for (int id = 0; id < count; ++id) {
      const ObjSurface* s = ops_.GetSurface(db_, id);
      auto it = bodyOf.find(s);
      if (!s || it == bodyOf.end()) {
        Refuse(ERR_DATABASE, "no surface with id %d of %d", id, count);
        return;
      }
      surfaces.push_back(&bodies_[it->second]);
    }

    const int kTypes[3] = {PolygonTypeIndex(ID_FACE), PolygonTypeIndex(ID_PTCH),
                           PolygonTypeIndex(ID_CURV)};
    bool anyPolygons = false;
    for (int type : kTypes) anyPolygons = anyPolygons || !l->groups[type].polygons.empty();
    std::vector<const char*> names;
    for (const ConvertedSurface* s : surfaces) names.push_back(s->surface->name);
    if (names.empty() && anyPolygons) names.push_back(kDefaultSurface);
    uint64_t length = 0;
    for (const char* name : names) length += S0(name);
    Chunk(ID_SRFS, length, [&] {
      for (const char* name : names) w_->WriteS0(name);
    });

    Chunk(ID_PNTS, 12 * uint64_t(l->points.size()), [&] {
      for (const ObjPoint& p : l->points) {
        F4(p.x);
        F4(p.y);
        F4(p.z);
      }
    });

    LwobPolygons(*l, kTypes[0], ID_POLS);
    LwobPolygons(*l, kTypes[1], ID_PCHS);
    LwobPolygons(*l, kTypes[2], ID_CRVS);

    for (const ConvertedSurface* body : surfaces) {
      const ObjSurface& s = *body->surface;
      Chunk(ID_SURF, S0(s.name) + body->Size(), [&] {
        w_->WriteS0(s.name);
        w_->WriteBytes(body->Data(), body->Size());
      });
    }
  }

  // The 1-based SRFS position of a polygon's surface; 1 when it has none.
  uint16_t SurfaceNumber(const ObjPolygon& p) {
    const ObjSurface* s = p.surfaceName ? ops_.FindSurface(db_, p.surfaceName) : nullptr;
    return s ? uint16_t(s->id + 1) : 1;
  }

  void LwobPolygons(const ObjLayer& l, int type, Id4 chunk) {
    const std::vector<ObjPolygon>& polygons = l.groups[type].polygons;
    if (polygons.empty()) return;
    const bool curves = chunk == ID_CRVS;
    uint64_t length = 0;
    for (size_t i = 0; i < polygons.size(); ++i) {
      const ObjPolygon& p = polygons[i];
      if (p.points.size() > kMaxU2) {
        Refuse(ERR_BAD_POLYGON, "%s polygon %zu has %zu corners; LWOB holds at most 65535",
               IdString(chunk).c_str(), i, p.points.size());
        return;
      }
      if (curves && (p.flags < 0 || uint32_t(p.flags) > kMaxU2)) {
        Refuse(ERR_BAD_POLYGON, "curve %zu has flags 0x%x; LWOB holds 16 bits", i,
               unsigned(p.flags));
        return;
      }
      for (int32_t point : p.points) {
        if (point < 0 || size_t(point) >= l.points.size()) {
          Refuse(ERR_DATABASE, "point index %d outside the %zu points", int(point),
                 l.points.size());
          return;
        }
        if (uint32_t(point) > kMaxU2) {
          Refuse(ERR_POINT_COUNT, "point index %d does not fit the 16 bits of LWOB", int(point));
          return;
        }
      }
      const ObjSurface* s = p.surfaceName ? ops_.FindSurface(db_, p.surfaceName) : nullptr;
      if (s && (s->id < 0 || size_t(s->id) >= kMaxLwobSurfaces)) {
        Refuse(ERR_BAD_FORMAT, "surface id %d has no LWOB surface number", int(s->id));
        return;
      }
      length += 2 * uint64_t(p.points.size()) + 4 + (curves ? 2 : 0);
    }
    Chunk(chunk, length, [&] {
      for (const ObjPolygon& p : polygons) {
        w_->U2(uint16_t(p.points.size()));
        for (int32_t point : p.points) w_->U2(uint16_t(point));
        w_->U2(SurfaceNumber(p));
        if (curves) w_->U2(uint16_t(p.flags));
      }
    });
  }

  ObjectDb* db_;
  ObjectDbOps& ops_;
  const int format_;
  const std::vector<ConvertedSurface>& bodies_;
  ChunkWriter* w_ = nullptr;
  int status_ = 0;
  std::string problem_;
};

// The file a save writes: a temporary file beside the target, renamed over
// it by Commit. Removed when the save ends any other way.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { Abandon(); }

  bool Open(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
      // Devices and pipes cannot be replaced; they are written in place.
      direct_ = true;
      file_ = fopen(path.c_str(), "wb");
      return Opened();
    }
    target_ = path;
#ifdef TAMARIND_HAVE_POSIX
    // Renaming would replace a file its owner made read-only.
    if (fs::exists(status) && access(path.c_str(), W_OK) != 0) return false;
#endif
    // A symbolic link keeps pointing at the file it names.
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
      fs::path resolved = fs::canonical(path, ec);
      if (!ec) target_ = resolved.string();
    }
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
      const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
      temp_ = target_ + ".tmp" +
              std::to_string((uint64_t(ticks) ^ (uint64_t(counter++) << 40)) % 1000000007u);
      file_ = fopen(temp_.c_str(), "wbx");
      if (!file_ && errno != EEXIST) break;
    }
    if (!file_) {
      temp_.clear();
      return false;
    }
    if (fs::exists(status)) fs::permissions(temp_, fs::status(target_, ec).permissions(), ec);
    return Opened();
  }

  FILE* Get() const { return file_; }

  // Flushes, closes and renames; false (errno set) when any step failed.
  bool Commit() {
    FILE* f = file_;
    file_ = nullptr;
    bool ok = fflush(f) == 0;
#ifdef TAMARIND_HAVE_POSIX
    if (ok && !direct_) ok = fsync(fileno(f)) == 0;
#endif
    int error = ok ? 0 : errno;
    if (fclose(f) != 0 && ok) {
      ok = false;
      error = errno;
    }
    if (ok && !direct_) {
      std::error_code ec;
      fs::rename(temp_, target_, ec);
      if (ec) {
        ok = false;
        error = ec.value();
      }
    }
    if (ok) temp_.clear();
    Abandon();
    errno = error;
    return ok;
  }

 private:
  bool Opened() {
    if (!file_) return false;
    setvbuf(file_, nullptr, _IOFBF, 1 << 16);
    return true;
  }

  void Abandon() {
    if (file_) fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) {
      std::error_code ec;
      fs::remove(temp_, ec);
      temp_.clear();
    }
  }

  FILE* file_ = nullptr;
  bool direct_ = false;
  std::string target_;
  std::string temp_;
};

int Save(ObjectDb* db, const char* path, int format, std::string& problem) {
  if (!path || !*path) {
    problem = "no path";
    return ERR_PARAM;
  }
  if (format != 1 && format != 2) {
    problem = "the format must be 1 (LWOB) or 2 (LWO2)";
    return ERR_PARAM;
  }
  db->error = 0;
  if (format == 2) db->loadWord = 0;

  // Clips go in before anything is sized: adding one between the passes
  // would make the second write more than the first counted.
  if (format == 2) AddConversionClips(db);
  std::vector<ConvertedSurface> bodies;
  for (const ObjSurface& surface : db->store->surfaces) {
    bodies.emplace_back();
    if (int status = ConvertSurface(db, surface, format, &bodies.back())) {
      problem = std::string("surface \"") + surface.name + "\" cannot be converted";
      return status;
    }
  }

  ObjectWriter writer(db, format, bodies);
  ChunkWriter counter(nullptr, 0);
  if (int status = writer.Run(counter, 0)) {
    problem = writer.Problem();
    return status;
  }
  const uint64_t total = counter.Count();
  if (total - 8 > kMaxU4) {
    problem = "the object needs more than the 4 GiB a FORM can hold";
    return ERR_BAD_FORMAT;
  }

  OutputFile file;
  if (!file.Open(path)) {
    problem = std::string("cannot create the file: ") + strerror(errno);
    db->failedPath = path;
    return ERR_FILE_OPEN;
  }
  ChunkWriter out(file.Get(), 1);
  if (int status = writer.Run(out, total - 8)) {
    problem = writer.Problem();
    return status;
  }
  if (out.Count() != total) {
    problem = "the written object differs in size from the counted one";
    return ERR_DATABASE;
  }
  if (!file.Commit()) {
    problem = std::string("write failed: ") + strerror(errno);
    return ERR_FILE_WRITE;
  }
  return 0;
}

int SaveOperation(ObjectDb* db, const char* path, int format, int) {
  return SaveObject(db, path, format);
}

}  // namespace

int SaveObject(ObjectDb* db, const char* path, int format, std::string* problem) {
  if (!db) return ERR_PARAM;
  std::string why;
  int status;
  try {
    status = Save(db, path, format, why);
  } catch (const std::bad_alloc&) {
    status = ERR_MEMORY;
    why = "memory error";
  }
  if (status != 0) {
    db->ops.Log(db, "??? save %s: %s\n", path ? path : "", why.c_str());
    if (status != ERR_PARAM) db->error = status;
  }
  if (problem) *problem = why;
  return status;
}

void InstallWriterOps(ObjectDbOps& ops) { ops.Save = SaveOperation; }
