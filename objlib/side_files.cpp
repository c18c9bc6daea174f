// ".uv" and ".vcl" side files, and vertex colours from maps.
#include "side_files.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "clip_envelope.h"
#include "ops_internal.h"
#include "surface_attributes.h"

namespace {

constexpr size_t kMaxLine = 4096;
constexpr int kMaxCorners = 4096;
constexpr size_t kTextLimit = 255;

// --------------------------------------------------------------- lines

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

class LineReader {
 public:
  explicit LineReader(FILE* f) : f_(f) {}

  // The next line that is neither empty nor a comment; false at the end.
  bool Next(std::string* line) {
    while (ReadRaw(line))
      if (!line->empty() && (*line)[0] != '#') return true;
    line->clear();
    return false;
  }

 private:
  bool ReadRaw(std::string* line) {
    line->clear();
    bool any = false;
    for (int ch; (ch = getc(f_)) != EOF;) {
      any = true;
      if (ch == '\n' || ch == '\r') return true;
      if (line->size() < kMaxLine) line->push_back(char(ch));
    }
    return any;
  }

  FILE* f_;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

// Up to n fields split at blanks; the n-th is the rest of the line.
std::vector<std::string_view> Split(std::string_view line, size_t n) {
  std::vector<std::string_view> fields;
  line = TrimLeft(line);
  while (!line.empty() && fields.size() + 1 < n) {
    size_t end = 0;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    fields.push_back(line.substr(0, end));
    line = TrimLeft(line.substr(end));
  }
  if (!line.empty()) fields.push_back(line);
  return fields;
}

std::string_view Field(const std::vector<std::string_view>& fields, size_t i) {
  return i < fields.size() ? fields[i] : std::string_view();
}

// Numbers are parsed without the C library's locale-dependent conversions.
std::optional<int> ToInt(std::string_view s) {
  s = TrimLeft(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  long long value = 0;
  auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end == s.data() || value < INT_MIN || value > INT_MAX) return std::nullopt;
  return int(value);
}

// A value that does not parse, or is not finite, reads as 0.
double ToDouble(std::string_view s) {
  s = TrimLeft(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double value = 0;
  auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end == s.data() || !std::isfinite(value)) return 0;
  return value;
}

std::string Text(std::string_view s) { return std::string(s); }

std::string Cut(std::string_view s) { return std::string(s.substr(0, kTextLimit)); }

int FormatError(ObjectDb* db, const std::string& message) {
  db->error.Set(ERR_BAD_FORMAT, message);
  return ERR_BAD_FORMAT;
}

File OpenSideFile(ObjectDb* db, const char* extension, std::string* path) {
  if (db->path.empty()) return nullptr;
  *path = SideFilePath(db->path, extension);
  return File(fopen(path->c_str(), "rb"));
}

// Point links make the shared adds linear; without points there is nothing
// to link and the error that reports it is not the caller's.
class PointLinks {
 public:
  PointLinks(ObjectDb* db, bool wanted) : db_(db) {
    if (!wanted) return;
    const ObjErrorCode before = db->error;
    const int status = db->ops.BuildPointPolygonLinks(db);
    built_ = status == 0;
    if (status == ERR_DATABASE) db->error = before;
  }
  ~PointLinks() {
    if (built_) db_->ops.FreePointPolygonLinks(db_);
  }
  PointLinks(const PointLinks&) = delete;
  PointLinks& operator=(const PointLinks&) = delete;

 private:
  ObjectDb* db_;
  bool built_ = false;
};

// ------------------------------------------------------------ UV files

// Image paths are stored in the local (backslash) form clips expect.
std::string LocalImagePath(std::string p) {
  if (p.find('/') != std::string::npos) {
    std::replace(p.begin(), p.end(), '/', '\\');
  } else if (p.find(':') != std::string::npos && p.find('\\') == std::string::npos) {
    if (p[0] == ':') p.erase(0, 1);
    std::replace(p.begin(), p.end(), ':', '\\');
  }
  return p;
}

class UvFileReader {
 public:
  UvFileReader(ObjectDb* db, FILE* f, std::string path, int flags)
      : db_(db), o_(db->ops), lines_(f), path_(std::move(path)), flags_(flags) {}

  int Read() {
    std::string first;
    lines_.Next(&first);
    const auto fields = Split(first, 2);
    const int version = ToInt(Field(fields, fields.empty() ? 0 : fields.size() - 1)).value_or(0);
    if (version == 1 || version == 2) return ReadPositional();
    if (version == 4) return ReadKeywords(fields);
    return FormatError(db_, "BAD_VERSION {" + first + "} ");
  }

 private:
  int Fail(const std::string& message) { return FormatError(db_, message + path_); }
  int BadSurface(long long slot, std::string_view name) {
    return Fail("BAD_SURFACE [" + std::to_string(slot) + "] {" + Text(name) + "} ");
  }
  int BadCount(std::string_view value) { return Fail("BAD_NUMOFPOLY {" + Text(value) + "} "); }
  int BadPoly(long long index, long long count) {
    return Fail("BAD_POLY IDX[" + std::to_string(index) + "] NUM[" + std::to_string(count) + "] ");
  }

  ObjPolygon* Polygon(int index) { return o_.GetPolygon(db_, index); }

  // Gives the surface texture layer (COLR, 0) as a UV-mapped image.
  void Texture(ObjSurface* surface, const std::string& image) {
    AddClipFromPath(db_, image.c_str());
    SurfaceAttributes* a = o_.GetSurfaceAttributes(db_, surface->id);
    if (!a) return;
    TextureLayer* t = o_.GetTextureLayer(db_, a, TEX_COLR, 0);
    if (!t) {
      t = o_.NewTextureLayer(db_, a);
      if (!t) return;
      t->channel = TEX_COLR;
      t->index = 0;
    }
    t->imageFlags |= TEXLAYER_IMAGE;
    t->projection = PROJ_UV_MAP;
    t->imageName = Cut(image);
    a->uvFileName = Cut(path_);
  }

  int SetChannel(int polygon, const std::vector<int32_t>& indices) {
    if (!o_.SelectPolygonChannel(db_, polygon, TEX_COLR, 0)) return 0;
    o_.SetPolygonChannelValues(db_, polygon, int(indices.size()), indices.data());
    return 0;
  }

  // Versions 1 and 2: one value per line, positionally.
  int ReadPositional() {
    std::string line;
    lines_.Next(&line);
    const auto count = ToInt(Field(Split(line, 1), 0));
    if (!count || *count < 0) return BadSurface(count.value_or(-1), line);
    std::vector<ObjSurface*> surfaces;
    for (int i = 0; i < *count; ++i) {
      lines_.Next(&line);
      const std::string name = Text(Field(Split(line, 1), 0));
      ObjSurface* s = o_.FindSurface(db_, name.c_str());
      if (!s) return BadSurface(i, name);
      surfaces.push_back(s);
    }
    std::vector<std::string> images;
    for (int i = 0; i < *count; ++i) {
      lines_.Next(&line);
      images.push_back(Text(Field(Split(line, 1), 0)));
    }
    lines_.Next(&line);
    const int polygons = o_.GetPolygonCount(db_);
    if (ToInt(Field(Split(line, 1), 0)) != polygons) return BadCount(Field(Split(line, 1), 0));

    // The header holds: only now are surfaces changed.
    std::vector<char> textured(size_t(o_.GetSurfaceCount(db_)), 0);
    for (int i = 0; i < *count; ++i) {
      const std::string& image = images[size_t(i)];
      if (image.empty() || image == "NULL") continue;
      Texture(surfaces[size_t(i)], LocalImagePath(image));
      if (surfaces[size_t(i)]->id >= 0 && size_t(surfaces[size_t(i)]->id) < textured.size())
        textured[size_t(surfaces[size_t(i)]->id)] = 1;
    }
    o_.FreeUvs(db_);

    std::vector<int32_t> indices;
    for (int i = 0; i < polygons; ++i) {
      lines_.Next(&line);
      const auto head = Split(line, 2);
      const int index = ToInt(Field(head, 0)).value_or(-1);
      const int corners = ToInt(Field(head, 1)).value_or(-1);
      const ObjPolygon* p = Polygon(index);
      if (!p || corners != p->vertexCount) return BadPoly(index, corners);
      const ObjSurface* s = p->surfaceName ? o_.FindSurface(db_, p->surfaceName) : nullptr;
      const bool apply = s && s->id >= 0 && size_t(s->id) < textured.size() && textured[size_t(s->id)];
      indices.clear();
      for (int c = 0; c < corners; ++c) {
        if (!lines_.Next(&line)) return BadPoly(index, corners);
        if (!apply) continue;
        const auto uvw = Split(line, 3);
        const int uv = o_.AddUv(db_, ToDouble(Field(uvw, 0)), 1 - ToDouble(Field(uvw, 1)), ToDouble(Field(uvw, 2)));
        if (uv < 0) return SetError(db_, ERR_MEMORY);
        indices.push_back(uv);
      }
      if (apply) SetChannel(index, indices);
    }
    return 0;
  }

  struct Slot {
    ObjSurface* surface = nullptr;
    std::string image;  // local form; empty for none
    bool textured = false;
  };

  // Corner values of the polygon being read; a polygon is stored only once
  // all its corners were given.
  struct CornerValues {
    std::vector<int32_t> index;
    std::vector<char> given;
    void Reset(int corners) {
      index.assign(size_t(corners), -1);
      given.assign(size_t(corners), 0);
    }
    // Records corner c; true when that completes the polygon at its last corner.
    bool Put(int c, int32_t value) {
      index[size_t(c)] = value;
      given[size_t(c)] = 1;
      return size_t(c) + 1 == given.size() && std::all_of(given.begin(), given.end(), [](char g) { return g; });
    }
  };

  void TextureSlot(Slot& slot) {
    if (slot.textured || !slot.surface || slot.image.empty()) return;
    Texture(slot.surface, slot.image);
    slot.textured = true;
  }

  // Version 4: a keyword and its value per line.
  int ReadKeywords(const std::vector<std::string_view>& first) {
    if (Field(first, 0) != "VERSION" || ToInt(Field(first, 1)) != 4) {
      const int version = ToInt(Field(first, first.size() > 1 ? 1 : 0)).value_or(0);
      return Fail("BAD VERSION [" + std::to_string(version) + "]");
    }

    const int polygons = o_.GetPolygonCount(db_);
    const size_t maxSlots = std::max<size_t>(65536, size_t(o_.GetSurfaceCount(db_)));
    std::vector<Slot> slots;
    int channel = 0, slot = -1, poly = -1, polySlot = -1, corner = -1;
    bool counted = false;
    std::unique_ptr<PointLinks> links;
    CornerValues uvs, colors, normals;
    std::string line, next;

    auto slotValid = [&](long long i) { return i >= 0 && size_t(i) < slots.size(); };
    while (lines_.Next(&line)) {
      const auto kv = Split(line, 2);
      const std::string_view key = Field(kv, 0), value = Field(kv, 1);
      if (key == "SURFACE_COUNT") {
        const auto n = ToInt(value);
        if (!n || *n < 0 || size_t(*n) > maxSlots) return BadSurface(n.value_or(-1), value);
        slots.assign(size_t(*n), Slot());
        slot = polySlot = -1;
      } else if (key == "CHANNEL") {
        channel = ToInt(value).value_or(-1);
      } else if (key == "SURFACE") {
        const int i = ToInt(value).value_or(-1);
        if (!slotValid(i)) return BadSurface(i, value);
        slot = i;
      } else if (key == "SURFACE_NAME") {
        lines_.Next(&next);
        const std::string name = Text(Field(Split(next, 1), 0));
        ObjSurface* s = o_.FindSurface(db_, name.c_str());
        if (!slotValid(slot) || !s) return BadSurface(slot, name);
        slots[size_t(slot)].surface = s;
      } else if (key == "SURFACE_IMAGE_FILE") {
        lines_.Next(&next);
        const std::string image = Text(Field(Split(next, 1), 0));
        if (!slotValid(slot)) return BadSurface(slot, image);
        if (channel != 0 || image.empty() || image == "NULL") continue;
        slots[size_t(slot)].image = LocalImagePath(image);
        if (counted) TextureSlot(slots[size_t(slot)]);
      } else if (key == "POLY_COUNT") {
        if (ToInt(value) != polygons) return BadCount(value);
        o_.FreeUvs(db_);
        if (flags_ & UV_FILE_RGB) o_.FreeColors(db_);
        if (flags_ & UV_FILE_NORMAL) o_.FreeNormals(db_);
        counted = true;
        poly = corner = -1;
        for (Slot& s : slots) TextureSlot(s);
        if (!links) links = std::make_unique<PointLinks>(db_, (flags_ & UV_SHARE) != 0);
      } else if (channel != 0) {
        continue;  // polygon and corner data of other channels
      } else if (key == "POLY") {
        if (!counted) return BadCount("");
        const int i = ToInt(value).value_or(-1);
        const ObjPolygon* p = Polygon(i);
        if (!p) return BadPoly(i, 0);
        if (p->vertexCount > kMaxCorners) return BadPoly(i, p->vertexCount);
        poly = i;
        polySlot = corner = -1;
        uvs.Reset(p->vertexCount);
        colors.Reset(p->vertexCount);
        normals.Reset(p->vertexCount);
      } else if (key == "POLY_SURF") {
        const int i = ToInt(value).value_or(-1);
        if (poly < 0) return BadPoly(poly, 0);
        if (!slotValid(i)) return BadSurface(i, value);
        polySlot = i;
      } else if (key == "POLY_VERT_COUNT") {
        const int n = ToInt(value).value_or(-1);
        const ObjPolygon* p = Polygon(poly);
        if (!p || n != p->vertexCount || n > kMaxCorners) return BadPoly(poly, n);
      } else if (key == "VERT") {
        const int i = ToInt(value).value_or(-1);
        const ObjPolygon* p = Polygon(poly);
        if (!p || i < 0 || i >= p->vertexCount) return BadPoly(poly, i);
        corner = i;
      } else if (key == "VERT_CUV" || key == "VERT_UV" || key == "VERT_RGB" || key == "VERT_NORMAL") {
        const ObjPolygon* p = Polygon(poly);
        if (!p || corner < 0 || corner >= p->vertexCount) return BadPoly(poly, corner);
        const int status = CornerValue(key, value, poly, corner,
                                       slotValid(polySlot) && slots[size_t(polySlot)].textured, uvs, colors, normals);
        if (status) return status;
      }
    }
    if (!counted) return BadCount("");
    return 0;
  }

  int CornerValue(std::string_view key, std::string_view value, int poly, int corner, bool textured,
                  CornerValues& uvs, CornerValues& colors, CornerValues& normals) {
    const int point = Polygon(poly)->points[size_t(corner)];
    if (key == "VERT_CUV" || key == "VERT_UV") {
      if (!textured) return 0;
      const auto f = Split(value, key == "VERT_CUV" ? 3 : 2);
      const size_t at = key == "VERT_CUV" ? 1 : 0;
      const double u = ToDouble(Field(f, at)), v = 1 - ToDouble(Field(f, at + 1));
      const int i = (flags_ & UV_SHARE) ? o_.AddSharedUv(db_, point, u, v, 1.0) : o_.AddUv(db_, u, v, 1.0);
      if (i < 0) return SetError(db_, ERR_MEMORY);
      if (uvs.Put(corner, i)) SetChannel(poly, uvs.index);
    } else if (key == "VERT_RGB") {
      if (!(flags_ & UV_FILE_RGB)) return 0;
      const auto f = Split(value, 3);
      const int i = o_.AddColor(db_, float(ToDouble(Field(f, 0))), float(ToDouble(Field(f, 1))),
                                float(ToDouble(Field(f, 2))), 1.0f);
      if (i < 0) return SetError(db_, ERR_MEMORY);
      if (colors.Put(corner, i)) o_.SetPolygonColors(db_, poly, int(colors.index.size()), colors.index.data());
    } else {
      if (!(flags_ & UV_FILE_NORMAL)) return 0;
      const auto f = Split(value, 3);
      const int i = o_.AddNormal(db_, ToDouble(Field(f, 0)), ToDouble(Field(f, 1)), ToDouble(Field(f, 2)));
      if (i < 0) return SetError(db_, ERR_MEMORY);
      if (normals.Put(corner, i)) o_.SetPolygonNormals(db_, poly, int(normals.index.size()), normals.index.data());
    }
    return 0;
  }

  ObjectDb* db_;
  ObjectDbOps& o_;
  LineReader lines_;
  std::string path_;
  int flags_;
};

int LoadUvFile(ObjectDb* db, int flags) {
  if (!db->currentLayer) return ERR_PARAM;
  std::string path;
  File f = OpenSideFile(db, ".uv", &path);
  if (!f) return ERR_FILE_OPEN;
  try {
    return UvFileReader(db, f.get(), path, flags).Read();
  } catch (const std::bad_alloc&) {
    return SetError(db, ERR_MEMORY);
  }
}

// ------------------------------------------------------ vertex colours

struct Rgba {
  float c[4];
};

// Adds a polygon's corner colours and sets them; false on memory failure.
bool StoreColors(ObjectDb* db, int polygon, const std::vector<Rgba>& colors, bool share) {
  ObjPolygon* p = db->ops.GetPolygon(db, polygon);
  std::vector<int32_t> indices(colors.size());
  for (size_t c = 0; c < colors.size(); ++c) {
    const float* k = colors[c].c;
    const int i = share ? db->ops.AddSharedColor(db, p->points[c], k[0], k[1], k[2], k[3])
                        : db->ops.AddColor(db, k[0], k[1], k[2], k[3]);
    if (i < 0) return false;
    indices[c] = i;
  }
  db->ops.SetPolygonColors(db, polygon, int(indices.size()), indices.data());
  return true;
}

Rgba SurfaceColor(ObjectDb* db, const ObjPolygon& p) {
  SurfaceAttributes* a = p.surfaceName ? db->ops.GetSurfaceAttributes(db, p.surfaceId) : nullptr;
  static const SurfaceAttributes kDefaults;
  const float* c = a ? a->color : kDefaults.color;
  return Rgba{{c[0], c[1], c[2], c[3]}};
}

// The map's values for every corner of the polygon, or false when one is
// missing.
bool TaggedColors(ObjectDb* db, int polygon, const ObjPolygon& p, Id4 type, std::vector<Rgba>* out) {
  PolygonTagTable* table = db->ops.FindPolygonTagTable(db, nullptr, polygon, type);
  ObjTag* tag = table ? db->ops.GetPolygonTag(db, table, polygon) : nullptr;
  ObjVMap* map = tag ? db->ops.FindVMap(db, type, tag->name) : nullptr;
  const int need = type == ID_RGBA ? 4 : 3;
  if (!map || map->dimension < need) return false;
  out->resize(size_t(p.vertexCount));
  for (int c = 0; c < p.vertexCount; ++c) {
    const float* v = db->ops.GetVMapValue(db, map, p.points[size_t(c)]);
    if (!v) return false;
    (*out)[size_t(c)] = Rgba{{v[0], v[1], v[2], need == 4 ? v[3] : 1.0f}};
  }
  return true;
}

int ColorsFromMaps(ObjectDb* db, int flags) {
  ObjLayer* l = db->currentLayer;
  const bool blend = (flags & VCOLOR_SURFACE_COLOR) != 0;
  PointLinks links(db, (flags & VCOLOR_SHARE) != 0);
  std::vector<Rgba> colors;
  const int count = int(l->Polygons().size());
  for (int pi = 0; pi < count; ++pi) {
    const ObjPolygon& p = l->Polygons()[size_t(pi)];
    if (p.vertexCount <= 0 || p.points.size() < size_t(p.vertexCount)) continue;
    SurfaceAttributes* a = p.surfaceName ? db->ops.GetSurfaceAttributes(db, p.surfaceId) : nullptr;
    const Rgba surface = SurfaceColor(db, p);
    if (a && !a->vertexColorMap.empty()) {
      const Id4 type = a->vertexColorType;
      const int need = type == ID_RGBA ? 4 : (type == ID_RGB ? 3 : INT_MAX);
      const char* name = a->vertexColorMap.c_str();
      ObjVMap* map = db->ops.FindVMap(db, type, name);
      ObjVMad* mad = db->ops.FindVMad(db, type, name);
      if (map && map->dimension < need) map = nullptr;
      if (mad && (mad->dimension < need || mad->polygonType != l->CurrentType())) mad = nullptr;
      colors.resize(size_t(p.vertexCount));
      for (int c = 0; c < p.vertexCount; ++c) {
        const int point = p.points[size_t(c)];
        const float* v = mad ? db->ops.GetVMadValue(db, mad, point, pi) : nullptr;
        if (!v && map) v = db->ops.GetVMapValue(db, map, point);
        Rgba& k = colors[size_t(c)];
        if (!v) {
          k = surface;
        } else if (need == 4) {
          const float alpha = v[3];
          for (int i = 0; i < 3; ++i) k.c[i] = blend ? surface.c[i] * (1 - alpha) + v[i] * alpha : v[i];
          k.c[3] = alpha;
        } else {
          k = Rgba{{v[0], v[1], v[2], 1.0f}};
        }
      }
    } else if (!TaggedColors(db, pi, p, ID_RGBA, &colors) && !TaggedColors(db, pi, p, ID_RGB, &colors)) {
      if (!blend) continue;
      colors.assign(size_t(p.vertexCount), surface);
    }
    if (!StoreColors(db, pi, colors, (flags & VCOLOR_SHARE) != 0)) return SetError(db, ERR_MEMORY);
  }
  return 0;
}

struct VclEntry {
  int32_t polygon;
  uint8_t rgba[4];
};

int ReadVertexColorFile(ObjectDb* db, int flags) {
  std::string path;
  File f = OpenSideFile(db, ".vcl", &path);
  if (!f) return ERR_FILE_OPEN;
  LineReader lines(f.get());
  auto fail = [&](const char* what, std::string_view line) {
    return FormatError(db, std::string(what) + " {" + Text(line) + "} " + path);
  };
  std::string line;
  lines.Next(&line);
  if (Field(Split(line, 2), 0) != "VCLFILE") return fail("NOT VCL FILE", line);
  lines.Next(&line);
  lines.Next(&line);
  lines.Next(&line);
  ObjLayer* l = db->currentLayer;
  const size_t points = l->points.size();
  if (ToInt(Field(Split(line, 1), 0)) != int(points)) return fail("BAD NUMBER OF POINT", line);
  lines.Next(&line);
  const auto total = ToInt(Field(Split(line, 1), 0));
  if (!total || *total < 0) return fail("BAD NUMBER OF POINT", line);

  // Entries of point i are entries[start[i] .. start[i + 1]).
  std::vector<VclEntry> entries;
  std::vector<size_t> start(points + 1, 0);
  for (size_t i = 0; i < points; ++i) {
    lines.Next(&line);
    const auto k = ToInt(Field(Split(line, 1), 0));
    if (!k || *k < 0 || entries.size() + size_t(*k) > size_t(*total)) return fail("BAD NUMBER OF POINT", line);
    for (int e = 0; e < *k; ++e) {
      if (!lines.Next(&line)) return fail("BAD NUMBER OF POINT", line);
      const auto v = Split(line, 5);
      VclEntry entry{ToInt(Field(v, 0)).value_or(-1), {}};
      for (int c = 0; c < 4; ++c)
        entry.rgba[c] = uint8_t(std::clamp(ToInt(Field(v, size_t(c) + 1)).value_or(0), 0, 255));
      entries.push_back(entry);
    }
    start[i + 1] = entries.size();
    // The first entry in file order wins among equal polygons.
    std::stable_sort(entries.begin() + long(start[i]), entries.end(),
                     [](const VclEntry& a, const VclEntry& b) { return a.polygon < b.polygon; });
  }

  PointLinks links(db, (flags & VCOLOR_SHARE) != 0);
  const float k = 1.0f / 255.0f;
  std::vector<Rgba> colors;
  const int count = int(l->Polygons().size());
  for (int pi = 0; pi < count; ++pi) {
    const ObjPolygon& p = l->Polygons()[size_t(pi)];
    if (p.vertexCount <= 0 || p.points.size() < size_t(p.vertexCount)) continue;
    colors.resize(size_t(p.vertexCount));
    bool complete = true;
    for (int c = 0; c < p.vertexCount && complete; ++c) {
      const int point = p.points[size_t(c)];
      complete = point >= 0 && size_t(point) < points;
      if (!complete) break;
      auto first = entries.begin() + long(start[size_t(point)]);
      auto last = entries.begin() + long(start[size_t(point) + 1]);
      auto found =
          std::lower_bound(first, last, pi, [](const VclEntry& e, int polygon) { return e.polygon < polygon; });
      complete = found != last && found->polygon == pi;
      if (complete)
        colors[size_t(c)] = Rgba{{found->rgba[0] * k, found->rgba[1] * k, found->rgba[2] * k, found->rgba[3] * k}};
    }
    if (complete && !StoreColors(db, pi, colors, (flags & VCOLOR_SHARE) != 0)) return SetError(db, ERR_MEMORY);
  }
  return 0;
}

// Every polygon takes its surface's colour, one colour per surface.
int SurfaceColors(ObjectDb* db) {
  std::unordered_map<int, int> colorOf;
  for (ObjSurface& s : db->store->surfaces) {
    SurfaceAttributes* a = db->ops.GetSurfaceAttributes(db, s.id);
    if (!a) continue;
    const int i = db->ops.AddColor(db, a->color[0], a->color[1], a->color[2], a->color[3]);
    if (i < 0) return SetError(db, ERR_MEMORY);
    colorOf.emplace(s.id, i);
  }
  ObjLayer* l = db->currentLayer;
  std::vector<int32_t> indices;
  for (size_t pi = 0; pi < l->Polygons().size(); ++pi) {
    const ObjPolygon& p = l->Polygons()[pi];
    auto found = p.surfaceName ? colorOf.find(p.surfaceId) : colorOf.end();
    if (found == colorOf.end() || p.vertexCount <= 0) continue;
    indices.assign(size_t(p.vertexCount), found->second);
    db->ops.SetPolygonColors(db, int(pi), p.vertexCount, indices.data());
  }
  return 0;
}

int BuildVertexColors(ObjectDb* db, int flags) {
  if (!db->currentLayer) return ERR_PARAM;
  try {
    db->ops.FreeColors(db);
    if (db->ops.GetVMapCount(db, ID_RGBA) + db->ops.GetVMapCount(db, ID_RGB) > 0) return ColorsFromMaps(db, flags);
    const int status = ReadVertexColorFile(db, flags);
    if (status == 0 || !(flags & VCOLOR_SURFACE_COLOR)) return status;
    db->ops.FreeColors(db);
    return SurfaceColors(db);
  } catch (const std::bad_alloc&) {
    return SetError(db, ERR_MEMORY);
  }
}

}  // namespace

std::string SideFilePath(const std::string& objectPath, const char* extension) {
  const size_t slash = objectPath.find_last_of("/\\");
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = objectPath.find_last_of('.');
  if (dot != std::string::npos && dot >= name) return objectPath.substr(0, dot) + extension;
  return objectPath + extension;
}

void InstallSideFileOps(ObjectDbOps& o) {
  o.LoadUvFile = LoadUvFile;
  o.BuildVertexColors = BuildVertexColors;
}
