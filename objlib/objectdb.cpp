#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <new>

#include "ops_internal.h"
#include "parallel.h"
#include "surface_attributes.h"

namespace {

constexpr double kEps = 1.1920928955078125e-07;       // 2^-23
constexpr double kEpsSq = 1.4210854715202004e-14;     // 2^-46

ObjectStore& Store(ObjectDb* db) { return *db->store; }

int LayerCount(ObjectDb* db) { return int(Store(db).layers.size()); }

// ------------------------------------------------------------------ layers

ObjLayer* AddLayer(ObjectDb* db, const char* name) {
  auto& layers = Store(db).layers;
  auto layer = std::make_unique<ObjLayer>();
  if (!layers.empty()) {
    layer->ordinal = layers.back()->ordinal + 1;
    layer->number = layers.back()->number + 1;
  }
  layer->parent = -1;
  CopyName(layer->name, name);
  for (int i = 0; i < 5; ++i) layer->groups[i].type = kPolygonTypes[i];
  layers.push_back(std::move(layer));
  db->currentLayer = layers.back().get();
  return db->currentLayer;
}

ObjLayer* NextLayer(ObjectDb* db, ObjLayer* layer) {
  auto& layers = Store(db).layers;
  if (!layer) return layers.empty() ? nullptr : layers.front().get();
  for (size_t i = 0; i + 1 < layers.size(); ++i)
    if (layers[i].get() == layer) return layers[i + 1].get();
  return nullptr;
}

ObjLayer* LastLayer(ObjectDb* db) {
  auto& layers = Store(db).layers;
  return layers.empty() ? nullptr : layers.back().get();
}

int GetLayerCount(ObjectDb* db) { return LayerCount(db); }

int SelectLayer(ObjectDb* db, int ordinal) {
  if (ordinal < 0 || ordinal >= LayerCount(db)) return ERR_PARAM;
  db->currentLayer = Store(db).layers[size_t(ordinal)].get();
  return 0;
}

ObjLayer* GetLayer(ObjectDb* db, int ordinal) {
  if (ordinal < 0 || ordinal >= LayerCount(db)) return nullptr;
  return Store(db).layers[size_t(ordinal)].get();
}

int GetLayerPivot(ObjectDb* db, double out[3]) {
  if (!db->currentLayer) return ERR_PARAM;
  memcpy(out, db->currentLayer->pivot, sizeof db->currentLayer->pivot);
  return 0;
}

int SetLayerPivot(ObjectDb* db, double x, double y, double z) {
  if (!db->currentLayer) return ERR_PARAM;
  db->currentLayer->pivot[0] = x;
  db->currentLayer->pivot[1] = y;
  db->currentLayer->pivot[2] = z;
  return 0;
}

// Parents are layer numbers, as the file stores them.
int GetParentLayerName(ObjectDb* db, char out[kNameSize]) {
  out[0] = 0;
  if (!db->currentLayer) return ERR_PARAM;
  int parent = db->currentLayer->parent;
  if (parent < 0) return 0;
  for (auto& l : Store(db).layers)
    if (l->number == parent) {
      memcpy(out, l->name, kNameSize);
      break;
    }
  return 0;
}

int SetParentLayerByName(ObjectDb* db, const char* name) {
  if (!db->currentLayer) return ERR_PARAM;
  db->currentLayer->parent = -1;
  if (!name) return 0;
  for (auto& l : Store(db).layers)
    if (strcmp(l->name, name) == 0) {
      db->currentLayer->parent = l->number;
      break;
    }
  return 0;
}

int BeginPolygonType(ObjectDb* db, Id4 type) {
  if (!db->currentLayer) return ERR_PARAM;
  int i = PolygonTypeIndex(type);
  db->currentLayer->currentType = i < 0 ? 0 : i;
  return 0;
}

// The current group is addressed in place, so there is nothing to store back.
int EndPolygonType(ObjectDb* db) { return db->currentLayer ? 0 : ERR_PARAM; }

Id4 NextPolygonType(ObjectDb*, Id4 type) {
  if (type == 0) return ID_FACE;
  int i = PolygonTypeIndex(type);
  if (i < 0 || i >= 4) return 0;
  return kPolygonTypes[i + 1];
}

int FreeLayers(ObjectDb* db) {
  auto& layers = Store(db).layers;
  for (auto& l : layers) {
    db->currentLayer = l.get();
    if (!l->loops.empty()) db->ops.FreeLoops(db);
  }
  layers.clear();
  db->currentLayer = nullptr;
  return 0;
}

// ------------------------------------------------------------------- tags

int GetTagCount(ObjectDb* db) { return int(Store(db).tags.size()); }

std::string TagKey(Id4 type, const char* name) {
  const size_t length = strlen(name);
  std::string key;
  key.reserve(4 + length);
  key += char(type >> 24);
  key += char(type >> 16);
  key += char(type >> 8);
  key += char(type);
  key.append(name, length);
  return key;
}

ObjTag* FindTag(ObjectDb* db, const char* name, Id4 type) {
  if (!name) return nullptr;
  char cut[kNameSize];
  CopyName(cut, name);
  LookupMemo& memo = db->memo;
  const uint64_t generation = Store(db).lookupGeneration;
  if (memo.tagStore == db->store.get() && memo.tagGeneration == generation && memo.tagType == type &&
      strcmp(memo.tagName, cut) == 0)
    return memo.tag;
  auto& index = Store(db).tagByTypeName;
  auto it = index.find(TagKey(type, cut));
  if (it == index.end()) return nullptr;
  memo.tagStore = db->store.get();
  memo.tagGeneration = generation;
  memo.tagType = type;
  memo.tag = it->second;
  memcpy(memo.tagName, cut, sizeof cut);
  return it->second;
}

void IndexTag(ObjectDb* db, ObjTag* tag) {
  Store(db).tagByTypeName.emplace(TagKey(tag->type, tag->name), tag);
}

void RebuildTagIndex(ObjectDb* db) {
  ++Store(db).lookupGeneration;
  Store(db).tagByTypeName.clear();
  for (auto& t : Store(db).tags) IndexTag(db, &t);
}

int AddTag(ObjectDb* db, const char* name, Id4 type) {
  if (type != 0)
    if (ObjTag* t = FindTag(db, name ? name : "", type)) return t->id;
  auto& tags = Store(db).tags;
  ObjTag tag;
  tag.id = int32_t(tags.size());
  tag.type = type;
  CopyName(tag.name, name);
  tags.push_back(tag);
  IndexTag(db, &tags.back());
  return tag.id;
}

ObjTag* GetTag(ObjectDb* db, int id) {
  auto& tags = Store(db).tags;
  if (id >= 0 && size_t(id) < tags.size() && tags[size_t(id)].id == id) return &tags[size_t(id)];
  for (auto& t : tags)
    if (t.id == id) return &t;
  return nullptr;
}

int FreeTags(ObjectDb* db) {
  ++Store(db).lookupGeneration;
  Store(db).tags.clear();
  Store(db).tagByTypeName.clear();
  return 0;
}

// ----------------------------------------------------------------- points

int GetPointCount(ObjectDb* db) {
  return db->currentLayer ? int(db->currentLayer->points.size()) : 0;
}

template <typename T>
bool Append(std::vector<T>& v, const T& value) {
  try {
    v.push_back(value);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

int AddPoint(ObjectDb* db, double x, double y, double z) {
  ObjLayer* l = db->currentLayer;
  if (!l) return -1;
  ObjPoint p;
  p.x = x;
  p.y = y;
  p.z = z;
  if (!Append(l->points, p)) {
    SetError(db, ERR_MEMORY);
    return -1;
  }
  return int(l->points.size() - 1);
}

ObjPoint* GetPoint(ObjectDb* db, int index) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->points.size()) return nullptr;
  return &l->points[size_t(index)];
}

int FreePoints(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return 0;
  l->points.clear();
  l->points.shrink_to_fit();
  l->pointUserData.clear();
  for (auto& g : l->groups)
    for (auto& p : g.polygons) {
      p.points.clear();
      p.vertexCount = 0;
    }
  return 0;
}

// --------------------------------------------------------------- polygons

int GetPolygonCount(ObjectDb* db) {
  return db->currentLayer ? int(db->currentLayer->Polygons().size()) : 0;
}

int GetCornerCount(ObjectDb* db) {
  if (!db->currentLayer) return 0;
  int64_t n = 0;
  for (auto& p : db->currentLayer->Polygons()) n += p.vertexCount;
  return int(n);
}

ObjSurface* FindSurface(ObjectDb* db, const char* name);

int SurfaceIdOf(ObjectDb* db, const char* name, int fallback) {
  ObjSurface* s = FindSurface(db, name);
  return s ? s->id : fallback;
}

int SetPolygonSurfaceImpl(ObjectDb* db, int index, const char* name) {
  const char* stored = db->ops.SetPolygonTag(db, index, ID_SURF, name);
  ObjPolygon* p = CurrentPolygon(db, index);
  if (!p) return ERR_PARAM;
  if (!stored) return SetError(db, ERR_MEMORY);
  p->surfaceName = stored;
  p->surfaceId = SurfaceIdOf(db, stored, p->surfaceId);
  return 0;
}

int AddPolygon(ObjectDb* db, int count, const int32_t* points, const char* surface) {
  const int index = AddPolygonWithoutNormal(db, count, points, surface);
  if (index >= 0) {
    ObjPolygon& p = db->currentLayer->Polygons()[size_t(index)];
    ComputeFaceNormal(*db->currentLayer, p, p.normal);
  }
  return index;
}

}  // namespace

int AddPolygonWithoutNormal(ObjectDb* db, int count, const int32_t* points, const char* surface) {
  ObjLayer* l = db->currentLayer;
  if (!l || count < 0 || (count > 0 && !points)) return -1;
  auto& polys = l->Polygons();
  try {
    polys.emplace_back();
  } catch (const std::bad_alloc&) {
    SetError(db, ERR_MEMORY);
    return -1;
  }
  ObjPolygon& p = polys.back();
  p.index = int32_t(polys.size() - 1);
  p.vertexCount = count;
  try {
    p.points.assign(points, points + count);
  } catch (const std::bad_alloc&) {
    polys.pop_back();  // no record whose corners are missing
    SetError(db, ERR_MEMORY);
    return -1;
  }
  int index = int(polys.size() - 1);
  if (surface) SetPolygonSurfaceImpl(db, index, surface);
  return index;
}

namespace {

ObjPolygon* GetPolygon(ObjectDb* db, int index) { return CurrentPolygon(db, index); }

int GetPolygonNormal(ObjectDb* db, int index, double out[3]) {
  ObjPolygon* p = CurrentPolygon(db, index);
  if (!p) return ERR_PARAM;
  if (p->vertexCount < 3) {
    out[0] = out[1] = out[2] = 0;
    return 0;
  }
  if (p->normal[0] == 0 && p->normal[1] == 0 && p->normal[2] == 0)
    ComputeFaceNormal(*db->currentLayer, *p, p->normal);
  memcpy(out, p->normal, sizeof p->normal);
  return 0;
}

int CountPolygonsOfSurface(ObjectDb* db, const char* name) {
  if (!db->currentLayer || !name) return 0;
  int n = 0;
  for (auto& p : db->currentLayer->Polygons())
    if (p.surfaceName && strcmp(p.surfaceName, name) == 0) ++n;
  return n;
}

int SetPolygonSurface(ObjectDb* db, int index, const char* name) {
  if (!CurrentPolygon(db, index) || !name) return ERR_PARAM;
  return SetPolygonSurfaceImpl(db, index, name);
}

// Per-corner arrays follow the corner count, so later per-corner reads stay
// in range whatever the caller does to the point list.
void ResizeCorners(ObjPolygon& p, int count) {
  if (!p.normals.empty()) p.normals.resize(size_t(count), -1);
  if (!p.colors.empty()) p.colors.resize(size_t(count), -1);
  for (auto& c : p.channels) c.values.resize(size_t(count), 0);
}

int SetPolygonPoints(ObjectDb* db, int index, int count, const int32_t* points) {
  ObjPolygon* p = CurrentPolygon(db, index);
  if (!p || count < 0 || (count > 0 && !points)) return ERR_PARAM;
  SetPointsOf(*p, count, points);
  return 0;
}

int SetPolygonNormals(ObjectDb* db, int index, int count, const int32_t* normals) {
  ObjPolygon* p = CurrentPolygon(db, index);
  if (!p || count != p->vertexCount || (count > 0 && !normals)) return ERR_PARAM;
  p->normals.assign(normals, normals + count);
  return 0;
}

int SetPolygonChannelValues(ObjectDb* db, int index, int count, const int32_t* values) {
  ObjPolygon* p = CurrentPolygon(db, index);
  if (!p || count != p->vertexCount || !p->currentChannel || (count > 0 && !values))
    return ERR_PARAM;
  p->currentChannel->values.assign(values, values + count);
  return 0;
}

int SetPolygonColors(ObjectDb* db, int index, int count, const int32_t* colors) {
  ObjPolygon* p = CurrentPolygon(db, index);
  if (!p || count != p->vertexCount || (count > 0 && !colors)) return ERR_PARAM;
  p->colors.assign(colors, colors + count);
  return 0;
}

int ResolveSurfaceIds(ObjectDb* db) {
  for (auto& l : Store(db).layers)
    for (auto& g : l->groups) {
      // In parts at once: the lookup writes nothing, and runs of polygons
      // naming one surface are looked up once.
      const size_t count = g.polygons.size();
      const unsigned parts = PartsFor(count);
      auto resolve = [&](unsigned k) {
        const char* lastName = nullptr;
        int lastId = 0;
        for (size_t i = PartBegin(k, parts, count), end = PartBegin(k + 1, parts, count); i < end; ++i) {
          ObjPolygon& p = g.polygons[i];
          if (!p.surfaceName) continue;
          if (p.surfaceName != lastName) {
            lastName = p.surfaceName;
            const ObjSurface* s = LookUpSurface(db, lastName);
            lastId = s ? s->id : -1;
          }
          if (lastId >= 0) p.surfaceId = lastId;
        }
      };
      RunParts(parts, resolve);
    }
  return 0;
}

CornerChannel* FindPolygonChannel(ObjectDb* db, int index, int key, int key2) {
  ObjPolygon* p = CurrentPolygon(db, index);
  if (!p) return nullptr;
  for (auto& c : p->channels)
    if (c.key == int16_t(key) && c.key2 == int16_t(key2)) return &c;
  return nullptr;
}

CornerChannel* SelectPolygonChannel(ObjectDb* db, int index, int key, int key2) {
  ObjPolygon* p = CurrentPolygon(db, index);
  return p ? SelectChannel(*p, key, key2) : nullptr;
}

int FreePolygons(ObjectDb* db) {
  if (!db->currentLayer) return 0;
  auto& polys = db->currentLayer->Polygons();
  polys.clear();
  polys.shrink_to_fit();
  db->currentLayer->polygonUserData.clear();
  return 0;
}

// ---------------------------------------------------------------- normals

int GetNormalCount(ObjectDb* db) {
  return db->currentLayer ? int(db->currentLayer->normals.size()) : 0;
}

int AddNormal(ObjectDb* db, double x, double y, double z) {
  ObjLayer* l = db->currentLayer;
  if (!l) return -1;
  ObjNormal n;
  n.x = x;
  n.y = y;
  n.z = z;
  if (!Append(l->normals, n)) {
    SetError(db, ERR_MEMORY);
    return -1;
  }
  return int(l->normals.size() - 1);
}

int AddSharedNormal(ObjectDb* db, int point, double x, double y, double z) {
  ObjLayer* l = db->currentLayer;
  if (!l) return -1;
  int found = -1;
  ForEachCornerAt(l, point, [&](ObjPolygon& p, int c) {
    if (size_t(c) >= p.normals.size()) return false;
    int n = p.normals[size_t(c)];
    if (n < 0 || size_t(n) >= l->normals.size()) return false;
    const ObjNormal& o = l->normals[size_t(n)];
    double dx = o.x - x, dy = o.y - y, dz = o.z - z;
    if (dx * dx + dy * dy + dz * dz < kEpsSq) {
      found = n;
      return true;
    }
    return false;
  });
  return found >= 0 ? found : AddNormal(db, x, y, z);
}

ObjNormal* GetNormal(ObjectDb* db, int index) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->normals.size()) return nullptr;
  return &l->normals[size_t(index)];
}

int FreeNormals(ObjectDb* db) {
  if (db->currentLayer) FreeNormalsOf(*db->currentLayer, false);
  return 0;
}

// ---------------------------------------------------------------- colours

int GetColorCount(ObjectDb* db) {
  return db->currentLayer ? int(db->currentLayer->colors.size()) : 0;
}

int AddColor(ObjectDb* db, float r, float g, float b, float a) {
  ObjLayer* l = db->currentLayer;
  if (!l) return -1;
  ObjColor c;
  c.r = r;
  c.g = g;
  c.b = b;
  c.a = a;
  if (!Append(l->colors, c)) {
    SetError(db, ERR_MEMORY);
    return -1;
  }
  return int(l->colors.size() - 1);
}

int AddColorBytes(ObjectDb* db, int r, int g, int b, int a) {
  const float k = 1.0f / 255.0f;
  return AddColor(db, float(r & 255) * k, float(g & 255) * k, float(b & 255) * k,
                  float(a & 255) * k);
}

int AddSharedColor(ObjectDb* db, int point, float r, float g, float b, float a) {
  ObjLayer* l = db->currentLayer;
  if (!l) return -1;
  int found = -1;
  ForEachCornerAt(l, point, [&](ObjPolygon& p, int c) {
    if (size_t(c) >= p.colors.size()) return false;
    int i = p.colors[size_t(c)];
    if (i < 0 || size_t(i) >= l->colors.size()) return false;
    const ObjColor& o = l->colors[size_t(i)];
    if (std::fabs(o.r - r) < kEps && std::fabs(o.g - g) < kEps && std::fabs(o.b - b) < kEps &&
        std::fabs(o.a - a) < kEps) {
      found = i;
      return true;
    }
    return false;
  });
  return found >= 0 ? found : AddColor(db, r, g, b, a);
}

ObjColor* GetColor(ObjectDb* db, int index) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->colors.size()) return nullptr;
  return &l->colors[size_t(index)];
}

int FreeColors(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return 0;
  l->colors.clear();
  if (l->noCornerColors) return 0;
  for (auto& g : l->groups) ForEachInParts(g.polygons, [](ObjPolygon& p) { p.colors.clear(); });
  return 0;
}

// --------------------------------------------------------------- surfaces

int GetSurfaceCount(ObjectDb* db) { return int(Store(db).surfaces.size()); }

ObjSurface* FindSurface(ObjectDb* db, const char* name) {
  if (!name) return nullptr;
  LookupMemo& memo = db->memo;
  const uint64_t generation = Store(db).lookupGeneration;
  if (memo.surfaceStore == db->store.get() && memo.surfaceGeneration == generation &&
      strcmp(memo.surfaceName, name) == 0)
    return memo.surface;
  ObjSurface* found = LookUpSurface(db, name);
  // Stored names are shorter than kNameSize, so a found name always fits.
  if (found && strlen(name) < sizeof memo.surfaceName) {
    memo.surfaceStore = db->store.get();
    memo.surfaceGeneration = generation;
    memo.surface = found;
    CopyName(memo.surfaceName, name);
  }
  return found;
}

const char* AddSurface(ObjectDb* db, const char* name) {
  if (!name) return nullptr;
  char cut[kNameSize];
  CopyName(cut, name);
  if (ObjSurface* s = FindSurface(db, cut)) return s->name;
  auto& surfaces = Store(db).surfaces;
  surfaces.emplace_back();
  ObjSurface& s = surfaces.back();
  s.id = int32_t(surfaces.size() - 1);
  memcpy(s.name, cut, sizeof cut);
  Store(db).surfaceByName.emplace(s.name, &s);
  return s.name;
}

const char* NextSurfaceName(ObjectDb* db, const char* name) {
  auto& surfaces = Store(db).surfaces;
  if (!name) return surfaces.empty() ? nullptr : surfaces.front().name;
  for (size_t i = 0; i + 1 < surfaces.size(); ++i)
    if (strcmp(surfaces[i].name, name) == 0) return surfaces[i + 1].name;
  return nullptr;
}

ObjSurface* GetSurface(ObjectDb* db, int id) {
  auto& surfaces = Store(db).surfaces;
  if (id >= 0 && size_t(id) < surfaces.size() && surfaces[size_t(id)].id == id)
    return &surfaces[size_t(id)];
  for (auto& s : surfaces)
    if (s.id == id) return &s;
  return nullptr;
}

int SetSurfaceData(ObjectDb* db, const char* name, int size, const void* bytes) {
  ObjSurface* s = FindSurface(db, name);
  if (!s || size < 0 || (size > 0 && !bytes)) return ERR_PARAM;
  const uint8_t* b = static_cast<const uint8_t*>(bytes);
  s->raw.assign(b, b + size);
  return 0;
}

int RenameSurface(ObjectDb* db, const char* oldName, const char* newName) {
  if (!oldName || !newName || !*oldName || !*newName) return ERR_PARAM;
  ObjSurface* s = FindSurface(db, oldName);
  if (!s) return ERR_PARAM;
  char oldCopy[kNameSize];
  CopyName(oldCopy, oldName);
  CopyName(s->name, newName);
  // The tag's text is what polygons point at, so renaming it renames them.
  if (ObjTag* t = FindTag(db, oldCopy, ID_SURF)) CopyName(t->name, newName);
  RebuildSurfaceIndex(db);
  RebuildTagIndex(db);
  return 0;
}

int FreeSurfaces(ObjectDb* db) {
  for (auto& s : Store(db).surfaces)
    if (s.attributes) {
      db->ops.FreeSurfaceAttributes(db, s.attributes);
      s.attributes = nullptr;
    }
  ++Store(db).lookupGeneration;
  Store(db).surfaces.clear();
  Store(db).surfaceByName.clear();
  return 0;
}

// ------------------------------------------------------------------ clips

int GetClipCount(ObjectDb* db) { return int(Store(db).clips.size()); }

int NextClipId(ObjectDb* db) {
  int largest = 0;
  for (auto& c : Store(db).clips)
    if (c.id > largest) largest = c.id;
  return largest + 1;
}

int AddClip(ObjectDb* db, int id) {
  auto& clips = Store(db).clips;
  clips.emplace_back();
  clips.back().id = id;
  return int(clips.size() - 1);
}

ObjClip* GetClip(ObjectDb* db, int ordinal) {
  auto& clips = Store(db).clips;
  if (ordinal < 0 || size_t(ordinal) >= clips.size()) return nullptr;
  return &clips[size_t(ordinal)];
}

int SetClipData(ObjectDb* db, int ordinal, int size, const void* bytes) {
  ObjClip* c = GetClip(db, ordinal);
  if (!c || size < 0 || (size > 0 && !bytes)) return ERR_PARAM;
  const uint8_t* b = static_cast<const uint8_t*>(bytes);
  c->raw.assign(b, b + size);
  return 0;
}

int FindClipOrdinal(ObjectDb* db, int id) {
  auto& clips = Store(db).clips;
  for (size_t i = 0; i < clips.size(); ++i)
    if (clips[i].id == id) return int(i);
  return -1;
}

int SetClipName(ObjectDb* db, int ordinal, const char* name) {
  ObjClip* c = GetClip(db, ordinal);
  if (!c) return ERR_PARAM;
  CopyName(c->name, name);
  return 0;
}

bool SameIgnoringCase(const char* a, const char* b) {
  auto up = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; };
  for (;; ++a, ++b) {
    if (up(static_cast<unsigned char>(*a)) != up(static_cast<unsigned char>(*b))) return false;
    if (!*a) return true;
  }
}

int FindClipByName(ObjectDb* db, const char* name) {
  if (!name) return 0;
  for (auto& c : Store(db).clips)
    if (SameIgnoringCase(c.name, name)) return c.id;
  return 0;
}

int FreeClips(ObjectDb* db) {
  Store(db).clips.clear();
  return 0;
}

// -------------------------------------------------------------- envelopes

int GetEnvelopeCount(ObjectDb* db) { return int(Store(db).envelopes.size()); }

int AddEnvelope(ObjectDb* db, int id) {
  auto& envs = Store(db).envelopes;
  envs.emplace_back();
  envs.back().id = id;
  return int(envs.size() - 1);
}

ObjEnvelope* GetEnvelope(ObjectDb* db, int ordinal) {
  auto& envs = Store(db).envelopes;
  if (ordinal < 0 || size_t(ordinal) >= envs.size()) return nullptr;
  return &envs[size_t(ordinal)];
}

int SetEnvelopeData(ObjectDb* db, int ordinal, int size, const void* bytes) {
  ObjEnvelope* e = GetEnvelope(db, ordinal);
  if (!e || size < 0 || (size > 0 && !bytes)) return ERR_PARAM;
  const uint8_t* b = static_cast<const uint8_t*>(bytes);
  e->raw.assign(b, b + size);
  return 0;
}

int FreeEnvelopes(ObjectDb* db) {
  Store(db).envelopes.clear();
  return 0;
}

// ------------------------------------------------------------------ edges

int GetEdgeCount(ObjectDb* db) {
  return db->currentLayer ? int(db->currentLayer->edges.size()) : 0;
}

ObjEdge* GetEdge(ObjectDb* db, int index) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->edges.size()) return nullptr;
  return &l->edges[size_t(index)];
}

void* EmptySlot(ObjectDb*) { return nullptr; }

int FreeEdges(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return 0;
  l->edges.clear();
  return 0;
}

// ----------------------------------------------------------- whole object

// The layers of the object before a read: a read may add to them, so
// only the others are as the reader left them.
std::vector<const ObjLayer*> LayersBefore(ObjectDb* db) {
  std::vector<const ObjLayer*> layers;
  for (auto& l : Store(db).layers) layers.push_back(l.get());
  return layers;
}

// Runs the post-processing steps the options ask for on every layer.
int PostProcess(ObjectDb* db, const LoadOptions* options, const std::vector<const ObjLayer*>& before) {
  int result = 0;
  for (int i = 0; i < LayerCount(db); ++i) {
    SelectLayer(db, i);
    const bool asRead = std::find(before.begin(), before.end(), db->currentLayer) == before.end();
    result = PostProcessCurrentLayer(db, options, nullptr, nullptr, asRead);
  }
  SelectLayer(db, 0);
  return result;
}

int Load(ObjectDb* db, const char* path, int format, const LoadOptions* options) {
  if (!path) return ERR_PARAM;
  LoadOptions defaults;
  if (!options) options = &defaults;
  db->path = path;
  if (format != 1 && format != 2) return ERR_PARAM;
  const std::vector<const ObjLayer*> before = LayersBefore(db);
  const int status = format == 1 ? ReadLwob(db, path, options->readerParameter)
                                 : ReadLwo2(db, path, options->readerParameter);
  db->readStatus = status;
  if (status != 0) return status;
  return PostProcess(db, options, before);
}

ObjectDb* Clone(ObjectDb* db) {
  ObjectDb* c = new (std::nothrow) ObjectDb;
  if (!c) return nullptr;
  c->path = db->path;
  c->failedPath = db->failedPath;
  c->error = db->error;
  c->format = db->format;
  c->memcon = db->memcon;
  c->logFile = db->logFile;
  c->flags = db->flags | 1;
  c->currentLayer = db->currentLayer;
  c->time = db->time;
  c->readStatus = db->readStatus;
  c->store = db->store;
  c->ops = db->ops;
  return c;
}

const char* TakeErrorText(ObjectDb* db) { return db->error.Take(); }

void Log(ObjectDb* db, const char* format, ...) {
  if (!db->logFile || !format) return;
  va_list args;
  va_start(args, format);
  vfprintf(db->logFile, format, args);
  va_end(args);
  fflush(db->logFile);
}

const char* GetVersionText(ObjectDb*) { return "1.0b22"; }

}  // namespace

void RebuildSurfaceIndex(ObjectDb* db) {
  ++Store(db).lookupGeneration;
  auto& index = Store(db).surfaceByName;
  index.clear();
  for (auto& s : Store(db).surfaces) index.emplace(s.name, &s);
}

void SetTagType(ObjectDb* db, ObjTag* tag, Id4 type) {
  if (tag->type == type) return;
  ++Store(db).lookupGeneration;
  auto& index = Store(db).tagByTypeName;
  auto it = index.find(TagKey(tag->type, tag->name));
  if (it != index.end() && it->second == tag) {
    index.erase(it);
    // Another tag of the old (type, name) becomes the first one.
    for (auto& t : Store(db).tags)
      if (&t != tag && t.type == tag->type && strcmp(t.name, tag->name) == 0) {
        index.emplace(TagKey(t.type, t.name), &t);
        break;
      }
  }
  tag->type = type;
  std::string key = TagKey(type, tag->name);
  auto existing = index.find(key);
  // Keep the first tag in list order for each key.
  if (existing == index.end() || existing->second->id > tag->id) index[key] = tag;
}

void ObjErrorCode::Set(int32_t code, const std::string& message) {
  code_ = code;
  message_.assign(message, 0, kMessageSize - 1);
}

const char* ObjErrorCode::Take() {
  if (message_.empty())
    taken_ = ObjErrorText(code_);
  else
    taken_.swap(message_);
  *this = 0;
  return taken_.c_str();
}

const char* ObjErrorText(int code) {
  static const char* const texts[] = {
      "no error",        "memory error",          "file open error",     "disk full",
      "unknown type",    "file read error",       "file write error",    "bad file format",
      "function param error", "object database error", "tim file open failed",
      "bad polygon data", "bad number of point",  "uv texture not found"};
  if (code < 0 || code > 13) return "";
  return texts[code];
}

int PolygonTypeIndex(Id4 type) {
  for (int i = 0; i < 5; ++i)
    if (kPolygonTypes[i] == type) return i;
  return -1;
}

void ComputeFaceNormal(const ObjLayer& layer, const ObjPolygon& polygon, double out[3]) {
  out[0] = out[1] = out[2] = 0;
  const int n = polygon.vertexCount;
  if (n < 3 || polygon.points.size() < size_t(n)) return;
  const size_t pointCount = layer.points.size();
  for (int i = 0; i < n; ++i)
    if (polygon.points[size_t(i)] < 0 || size_t(polygon.points[size_t(i)]) >= pointCount) return;
  auto P = [&](int i) -> const ObjPoint& { return layer.points[size_t(polygon.points[size_t(i)])]; };
  const ObjPoint &p0 = P(0), &p1 = P(1), &pn = P(n - 1);
  double ax = p1.x - p0.x, ay = p1.y - p0.y, az = p1.z - p0.z;
  double bx = pn.x - p0.x, by = pn.y - p0.y, bz = pn.z - p0.z;
  double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
  if (n >= 4) {
    // A reflex corner 0 flips the three-point normal; the Newell normal of
    // the whole outline decides the facing then.
    double wx = 0, wy = 0, wz = 0;
    for (int i = 0; i < n; ++i) {
      const ObjPoint& a = P(i);
      const ObjPoint& b = P(i + 1 == n ? 0 : i + 1);
      wx += a.y * b.z - a.z * b.y;
      wy += a.z * b.x - a.x * b.z;
      wz += a.x * b.y - a.y * b.x;
    }
    bool zero = nx == 0 && ny == 0 && nz == 0;
    if (zero || nx * wx + ny * wy + nz * wz < 0) {
      nx = wx;
      ny = wy;
      nz = wz;
    }
  }
  double len = std::sqrt(nx * nx + ny * ny + nz * nz);
  if (len > 0) {
    out[0] = nx / len;
    out[1] = ny / len;
    out[2] = nz / len;
  }
}

void InstallCoreOps(ObjectDbOps& o) {
  o.AddLayer = AddLayer;
  o.NextLayer = NextLayer;
  o.LastLayer = LastLayer;
  o.GetLayerCount = GetLayerCount;
  o.SelectLayer = SelectLayer;
  o.GetLayer = GetLayer;
  o.GetLayerPivot = GetLayerPivot;
  o.SetLayerPivot = SetLayerPivot;
  o.GetParentLayerName = GetParentLayerName;
  o.SetParentLayerByName = SetParentLayerByName;
  o.BeginPolygonType = BeginPolygonType;
  o.EndPolygonType = EndPolygonType;
  o.NextPolygonType = NextPolygonType;
  o.FreeLayers = FreeLayers;
  o.GetTagCount = GetTagCount;
  o.AddTag = AddTag;
  o.GetTag = GetTag;
  o.FindTag = FindTag;
  o.FreeTags = FreeTags;
  o.GetPointCount = GetPointCount;
  o.AddPoint = AddPoint;
  o.GetPoint = GetPoint;
  o.FreePoints = FreePoints;
  o.GetPolygonCount = GetPolygonCount;
  o.GetCornerCount = GetCornerCount;
  o.AddPolygon = AddPolygon;
  o.GetPolygon = GetPolygon;
  o.GetPolygonNormal = GetPolygonNormal;
  o.CountPolygonsOfSurface = CountPolygonsOfSurface;
  o.SetPolygonSurface = SetPolygonSurface;
  o.SetPolygonPoints = SetPolygonPoints;
  o.SetPolygonNormals = SetPolygonNormals;
  o.SetPolygonChannelValues = SetPolygonChannelValues;
  o.SetPolygonColors = SetPolygonColors;
  o.ResolveSurfaceIds = ResolveSurfaceIds;
  o.SelectPolygonChannel = SelectPolygonChannel;
  o.FindPolygonChannel = FindPolygonChannel;
  o.FreePolygons = FreePolygons;
  o.GetNormalCount = GetNormalCount;
  o.AddNormal = AddNormal;
  o.AddSharedNormal = AddSharedNormal;
  o.GetNormal = GetNormal;
  o.FreeNormals = FreeNormals;
  o.GetColorCount = GetColorCount;
  o.AddColorBytes = AddColorBytes;
  o.AddColor = AddColor;
  o.AddSharedColor = AddSharedColor;
  o.GetColor = GetColor;
  o.FreeColors = FreeColors;
  o.GetSurfaceCount = GetSurfaceCount;
  o.AddSurface = AddSurface;
  o.FindSurface = FindSurface;
  o.NextSurfaceName = NextSurfaceName;
  o.GetSurface = GetSurface;
  o.SetSurfaceData = SetSurfaceData;
  o.RenameSurface = RenameSurface;
  o.FreeSurfaces = FreeSurfaces;
  o.GetClipCount = GetClipCount;
  o.NextClipId = NextClipId;
  o.AddClip = AddClip;
  o.SetClipData = SetClipData;
  o.GetClip = GetClip;
  o.FindClipOrdinal = FindClipOrdinal;
  o.SetClipName = SetClipName;
  o.FindClipByName = FindClipByName;
  o.FreeClips = FreeClips;
  o.GetEnvelopeCount = GetEnvelopeCount;
  o.AddEnvelope = AddEnvelope;
  o.SetEnvelopeData = SetEnvelopeData;
  o.GetEnvelope = GetEnvelope;
  o.FreeEnvelopes = FreeEnvelopes;
  o.GetEdgeCount = GetEdgeCount;
  o.GetEdge = GetEdge;
  o.EmptySlot = EmptySlot;
  o.FreeEdges = FreeEdges;
  o.Load = Load;
  o.Clone = Clone;
  o.TakeErrorText = TakeErrorText;
  o.Log = Log;
  o.GetVersionText = GetVersionText;
  InstallGeometryOps(o);
}

ObjectDb::~ObjectDb() = default;

ObjectDb* CreateObjectDb(int flags) {
  MemCon* memcon = CreateMemCon();
  if (!memcon) return nullptr;
  ObjectDb* db = new (std::nothrow) ObjectDb;
  if (!db) {
    ReleaseMemCon(&memcon);
    return nullptr;
  }
  db->store = std::make_shared<ObjectStore>();
  db->memcon = memcon;
  db->flags = flags;
  InstallLibraryOps(db->ops);
  return db;
}

ObjSurface* LookUpSurface(const ObjectDb* db, const char* name) {
  if (!name) return nullptr;
  const auto& index = db->store->surfaceByName;
  auto it = index.find(name);
  return it == index.end() ? nullptr : it->second;
}

void InstallLibraryOps(ObjectDbOps& ops) {
  InstallPendingOps(ops);
  InstallCoreOps(ops);
  InstallMapOps(ops);
  InstallWriterOps(ops);
  InstallSurfaceOps(ops);
  InstallUvOps(ops);
  InstallTriangulationOps(ops);
  InstallStripOps(ops);
  InstallDumpOps(ops);
}

bool HasLibraryOps(const ObjectDb* db) {
  static const ObjectDbOps own = [] {
    ObjectDbOps o{};
    InstallLibraryOps(o);
    return o;
  }();
  return std::memcmp(&db->ops, &own, sizeof own) == 0;
}

int OpenObjectDbInto(ObjectDb* db, const char* path, const LoadOptions* options) {
  int status = db->ops.Load(db, path, 2, options);
  if (status == 0) return 0;
  if (db->readStatus == 0) return 0;  // read as LWO2; a post-processing step failed
  if (db->readStatus == ERR_UNKNOWN_TYPE && db->format == 0) {
    status = db->ops.Load(db, path, 1, options);
    if (status == 0 || db->readStatus == 0) return 0;
  }
  return status;
}

int LoadObjectFromMemory(ObjectDb* db, const void* data, size_t size, int format,
                         const LoadOptions* options) {
  LoadOptions defaults;
  if (!options) options = &defaults;
  if (format != 1 && format != 2) return ERR_PARAM;
  const std::vector<const ObjLayer*> before = LayersBefore(db);
  const int status = format == 1 ? ReadLwobMemory(db, data, size) : ReadLwo2Memory(db, data, size);
  db->readStatus = status;
  if (status != 0) return status;
  return PostProcess(db, options, before);
}

int PostProcessCurrentLayer(ObjectDb* db, const LoadOptions* options, void (*afterUvs)(ObjectDb*, void*),
                            void* context, bool asRead) {
  ObjLayer* l = db->currentLayer;
  if (!l || !options) return ERR_PARAM;
  int result = 0;
  const int flags = options->flags;
  // The readers give polygons neither corner channels nor colours; a
  // replaced operation might, so only the library's own are taken at that.
  // Neither mark outlasts the call, however it ends.
  struct Marks {
    ObjLayer* l;
    ~Marks() { l->noCornerChannels = l->noCornerColors = false; }
  } marks{l};
  l->noCornerChannels = l->noCornerColors = asRead && HasLibraryOps(db);
  // Shared UVs and normals both walk the corners at each point; nothing
  // between the two steps moves a polygon's points, so the links the UV
  // step builds serve the normals too.
  l->pointLinksHeld = (flags & LOAD_UVS) && (options->uvFlags & UV_SHARE) && (flags & LOAD_NORMALS);
  if (flags & LOAD_UVS) result = db->ops.BuildUvs(db, options->uvChannels, options->uvLayerCount, options->uvFlags);
  l->noCornerChannels = false;
  if (afterUvs) afterUvs(db, context);
  if (flags & LOAD_NORMALS) result = db->ops.BuildNormals(db, options->normalFlags);
  if (l->pointLinksHeld) {
    l->pointLinksHeld = false;
    db->ops.FreePointPolygonLinks(db);
  }
  if (flags & LOAD_COLORS) result = db->ops.BuildVertexColors(db, options->colorFlags);
  l->noCornerColors = false;
  if (flags & LOAD_TRIANGULATE) result = db->ops.TriangulatePolygons(db, options->triangulationFlags);
  if (flags & LOAD_SORT) result = db->ops.SortPolygons(db);
  if (flags & LOAD_EDGES) result = db->ops.BuildEdges(db);
  return result;
}

ObjectDb* OpenObjectDb(const char* path, const LoadOptions* options) {
  ObjectDb* db = CreateObjectDb(0);
  if (!db) return nullptr;
  if (OpenObjectDbInto(db, path, options) != 0) CloseObjectDb(&db);
  return db;
}

void CloseObjectDb(ObjectDb** pdb) {
  if (!pdb || !*pdb) return;
  ObjectDb* db = *pdb;
  if (!(db->flags & 1)) {
    db->ops.FreeLayers(db);
    db->ops.FreeSurfaces(db);
    db->ops.FreeClips(db);
    db->ops.FreeEnvelopes(db);
    db->ops.FreeTags(db);
    ReleaseMemCon(&db->memcon);
  }
  delete db;
  *pdb = nullptr;
}

CornerChannel* SelectChannel(ObjPolygon& p, int key, int key2) {
  CornerChannel* c = nullptr;
  for (auto& channel : p.channels)
    if (channel.key == int16_t(key) && channel.key2 == int16_t(key2)) {
      c = &channel;
      break;
    }
  if (!c) {
    c = &p.channels.emplace_back();
    c->key = int16_t(key);
    c->key2 = int16_t(key2);
    c->values.assign(size_t(p.vertexCount), 0);
  }
  p.currentChannel = c;
  return c;
}

void SetPointsOf(ObjPolygon& p, int count, const int32_t* points) {
  p.points.assign(points, points + count);
  p.vertexCount = count;
  ResizeCorners(p, count);
}

void FreeNormalsOf(ObjLayer& l, bool keepCurrent) {
  l.normals.clear();
  l.normalUserData.clear();
  l.normalLinkPool.clear();
  l.normalLinksBuilt = false;
  for (auto& g : l.groups)
    if (!keepCurrent || &g.polygons != &l.Polygons()) ForEachInParts(g.polygons, [](ObjPolygon& p) { p.normals.clear(); });
}
