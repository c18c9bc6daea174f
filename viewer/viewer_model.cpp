#include "viewer_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "objectdb.h"
#include "parallel.h"
#include "prefault.h"
#include "surface_attributes.h"
#include "texture_table.h"
#include "triangulate.h"
#include "ui_services.h"

namespace {

ModelBackendHooks* g_hooks = nullptr;

void Normalise(float v[3]) {
  float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (len > 0) {
    for (int i = 0; i < 3; ++i) {
      v[i] /= len;
      if (v[i] > 1) v[i] = 1;
    }
  }
}

// Sizes an array that is filled right after, its pages mapped in one request
// rather than one fault at a time (see AssignMapped).
template <typename T>
void SizeForFilling(std::vector<T>& v, size_t n) {
  AssignMapped(v, n, T());
}

// One triangle-to-be of the model: a polygon of the layer or a triangle set
// aside by the triangulation, seen through the same fields.
struct Primitive {
  const int32_t* points;
  const int32_t* normals;
  size_t normalCount;
  const int32_t* uvs;  // the current channel's values
  size_t uvCount;
  int32_t surfaceId;
  int32_t vertexCount;
};

// What the model takes of each polygon (see TakePolygonTriangles), in one
// block: per polygon its surface id, then its three points, three normals
// and three current-channel values.
struct TakenTriangles {
  static constexpr size_t kStride = 10;
  std::vector<int32_t> values;
  size_t Count() const { return values.size() / kStride; }
  Primitive operator[](size_t i) const {
    const int32_t* v = &values[i * kStride];
    return {v + 1, v + 4, 3, v + 7, 3, v[0], 3};
  }
};

// The layer's polygons in order (or the triangles taken from them), then
// the aside triangles (when given): the polygon list TriangulatePolygons
// would have left.
class Primitives {
 public:
  Primitives(const std::vector<ObjPolygon>& polys, const AsideTriangles* aside)
      : polys_(&polys), first_(polys.size()), aside_(aside) {}
  Primitives(const TakenTriangles& taken, const AsideTriangles* aside)
      : taken_(&taken), first_(taken.Count()), aside_(aside) {}
  size_t size() const { return first_ + (aside_ ? aside_->Count() : 0); }
  Primitive operator[](size_t i) const {
    if (i >= first_) {
      const size_t t = i - first_;
      const bool normals = !aside_->normals.empty();
      return {&aside_->points[3 * t], normals ? &aside_->normals[3 * t] : nullptr, normals ? 3u : 0u,
              &aside_->channel[3 * t], 3, aside_->surfaceIds[t], 3};
    }
    if (taken_) return (*taken_)[i];
    const ObjPolygon& p = (*polys_)[i];
    const CornerChannel* ch = p.currentChannel;
    return {p.points.data(), p.normals.data(), p.normals.size(), ch ? ch->values.data() : nullptr,
            ch ? ch->values.size() : 0, p.surfaceId, p.vertexCount};
  }

 private:
  const std::vector<ObjPolygon>* polys_ = nullptr;
  const TakenTriangles* taken_ = nullptr;
  size_t first_;
  const AsideTriangles* aside_;
};

bool Drawn(const Primitive& p, size_t groupCount) {
  return p.vertexCount >= 3 && p.surfaceId >= 0 && size_t(p.surfaceId) < groupCount;
}

// What the model takes of each polygon, so that the polygons can be let
// go before the model's triangles are made: the surface id (-1 for a
// polygon that is not drawn) and the first three corners' points, normals
// and current-channel values (-1 where the polygon has none). False (and
// `taken` incomplete) when a polygon drawn has more than three corners: its
// corner count orders it among the others.
bool TakePolygonTriangles(const std::vector<ObjPolygon>& polys, size_t groupCount, TakenTriangles* taken) {
  const size_t n = polys.size();
  SizeForFilling(taken->values, n * TakenTriangles::kStride);
  const unsigned parts = PartsFor(n);
  std::vector<char> whole(parts, 1);
  auto take = [&](unsigned k) {
    bool triangles = true;
    for (size_t i = PartBegin(k, parts, n), end = PartBegin(k + 1, parts, n); i < end; ++i) {
      const ObjPolygon& p = polys[i];
      int32_t* v = &taken->values[i * TakenTriangles::kStride];
      const bool drawn = Drawn({nullptr, nullptr, 0, nullptr, 0, p.surfaceId, p.vertexCount}, groupCount);
      v[0] = drawn ? p.surfaceId : -1;
      if (!drawn) continue;
      if (p.vertexCount != 3 || p.points.size() < 3) {
        triangles = false;
        break;
      }
      const CornerChannel* ch = p.currentChannel;
      for (size_t c = 0; c < 3; ++c) {
        v[1 + c] = p.points[c];
        v[4 + c] = c < p.normals.size() ? p.normals[c] : -1;
        v[7 + c] = ch && c < ch->values.size() ? ch->values[c] : -1;
      }
    }
    whole[k] = triangles;
  };
  RunParts(parts, take);
  return std::all_of(whole.begin(), whole.end(), [](char c) { return c != 0; });
}

// A drawn primitive's key in the polygon sort: by surface id, then by
// corner count. Within a group, primitives are in the sort's order when
// their keys never go down.
uint32_t SortKey(const Primitive& p) { return uint32_t(p.surfaceId) | (uint32_t(p.vertexCount) << 16); }

// The order the polygon sort would leave (stable by SortKey) among the
// primitives that are drawn.
std::vector<int32_t> SortedOrder(const Primitives& prims, size_t groupCount) {
  std::vector<int32_t> order;
  std::vector<std::pair<uint32_t, int32_t>> keyed;
  for (size_t i = 0; i < prims.size(); ++i)
    if (Drawn(prims[i], groupCount)) keyed.push_back({SortKey(prims[i]), int32_t(i)});
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  order.reserve(keyed.size());
  for (const auto& k : keyed) order.push_back(k.second);
  return order;
}

// Releases the memory of the current layer's point, normal and UV lists,
// leaving the polygons' indices into them as they are. Only for an object
// that is closed once its model is built.
template <typename T>
void Release(std::vector<T>& list) {
  std::vector<T>().swap(list);
}

// The three steps of BuildViewerModel. ConvertLists fills the texture
// coordinates (ConvertUvs), then the normals and vertices from the current
// layer's lists; after it BuildGroups needs only the layer's polygons (and
// `aside`, the triangles set aside by the triangulation, when given), its
// surfaces and vertex maps (with `releasePolygons`, it frees the polygons
// once it has taken what it draws of them). With `inParts` (the model's own
// load) the lists are read in parts at once, and the UV and normal lists
// are released as they are converted, so no more than one of the model's
// lists is held twice. FinishModel needs nothing of the object: the face
// normals, the renderer's scratch arrays and the scaling are made from the
// model alone, so an object that is closed once its model is built can be
// closed before them.
void ConvertUvs(ObjectDb* db, ViewerModel* model, bool inParts);
void ConvertNormalsAndVertices(ObjectDb* db, ViewerModel* model, bool inParts);
void ConvertLists(ObjectDb* db, ViewerModel* model, bool inParts) {
  ConvertUvs(db, model, inParts);
  ConvertNormalsAndVertices(db, model, inParts);
}
void BuildGroups(ObjectDb* db, ViewerModel* model, const AsideTriangles* aside, bool releasePolygons = false);
void FinishModel(ViewerModel* model, int normalise);

}  // namespace

void SetModelBackendHooks(ModelBackendHooks* hooks) { g_hooks = hooks; }

LoadOptions ViewerLoadOptions() {
  LoadOptions o;
  o.flags = LOAD_SORT | LOAD_TRIANGULATE | LOAD_UVS | LOAD_NORMALS | LOAD_COLORS;
  CopyName(o.contentDirectory, ".");
  o.readerParameter = 0;
  o.normalFlags = 6;
  o.uvFlags = 10;
  o.uvChannels = 1;
  o.uvLayerCount = 2;
  o.colorFlags = 1;
  o.triangulationFlags = 0;
  return o;
}

std::string ImageFileName(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

ViewerModel* OpenViewerModel(const char* path, UiServices* ui) {
  auto model = std::unique_ptr<ViewerModel>(new (std::nothrow) ViewerModel);
  if (!model) return nullptr;
  // The model is all that is kept of the object, so the layer's polygons are
  // neither sorted nor given the triangles the triangulation adds: those are
  // read from beside the list, in the order the sort would have left them.
  // The model is the same, without a second set of polygon records.
  LoadOptions options = ViewerLoadOptions();
  const int triangulationFlags = options.triangulationFlags;
  options.flags &= ~(LOAD_SORT | LOAD_TRIANGULATE);
  // Only the lowest layer is drawn, so only it is post-processed.
  LoadOptions readOnly = options;
  readOnly.flags = 0;
  ObjectDb* db = OpenObjectDb(path, &readOnly);
  if (!db) {
    if (ui) ui->ShowMessage("ファイルがオープンできません", path, MessageButtons::Ok, DialogOwner::MainWindow);
    return nullptr;
  }
  // Each list of the object is let go as soon as nothing further reads it:
  // the polygon tags other than colour ones (which the colour step reads)
  // once the object is read, the texture maps and the texture coordinates
  // once the model's coordinates are made from them, the rest of the tags
  // once the colours are made, the normals once the model has its copy,
  // the points once the polygons are cut, the polygons once the model has
  // taken what it draws of them, and the whole object before the model's
  // face normals are made.
  try {
    db->ops.SelectLayer(db, 0);
    ObjLayer* layer = db->currentLayer;
    const bool hasLayer = layer != nullptr;
    if (layer) {
      std::vector<Id4> tagTypes;
      for (const PolygonTagTable& t : layer->TagTables())
        if (t.type != ID_RGB && t.type != ID_RGBA) tagTypes.push_back(t.type);
      for (Id4 type : tagTypes) db->ops.FreePolygonTagTables(db, type);
      // Read with no steps, its polygons untouched since: the layer is as read.
      PostProcessCurrentLayer(
          db, &options,
          [](ObjectDb* d, void* m) {
            d->ops.FreeVMaps(d, ID_TXUV);
            d->ops.FreeVMads(d, ID_TXUV);
            ConvertUvs(d, static_cast<ViewerModel*>(m), true);
          },
          model.get(), true);
      db->ops.FreePolygonTagTables(db, 0);
      ConvertNormalsAndVertices(db, model.get(), true);
      AsideTriangles aside;
      // With one normal per point, a corner's normal is its point, as the
      // model takes a corner without one: the aside triangles need none.
      aside.keepNormals = (options.flags & LOAD_NORMALS) && !(options.normalFlags & 2);
      TriangulatePolygonsAside(db, triangulationFlags, &aside);  // a shortage leaves fewer triangles, as in a load
      Release(layer->points);
      BuildGroups(db, model.get(), &aside, true);
    }
    CloseObjectDb(&db);
    if (hasLayer) FinishModel(model.get(), 1);
  } catch (const std::bad_alloc&) {
    CloseObjectDb(&db);
    return nullptr;
  }
  for (SurfaceGroup& g : model->groups) BuildSurfaceEdges(model.get(), &g);
  return model.release();
}

void BuildViewerModel(ObjectDb* db, ViewerModel* model, int normalise) {
  if (!db->currentLayer) return;
  ConvertLists(db, model, false);
  BuildGroups(db, model, nullptr);
  FinishModel(model, normalise);
}

namespace {

// Calls convert(k, i) for every i in [0, count), part k of `parts` taking
// the k-th stretch; each i writes only its own place.
template <typename F>
void InPartsOf(unsigned parts, int count, F convert) {
  const size_t n = size_t(std::max(count, 0));
  auto work = [&](unsigned k) {
    for (size_t i = PartBegin(k, parts, n), end = PartBegin(k + 1, parts, n); i < end; ++i) convert(k, i);
  };
  RunParts(parts, work);
}

// With `inParts` (an object the model's own load opened, whose operations
// are the library's), the layer's lists are read straight and in parts at
// once; otherwise one by one through the object's operations.
void ConvertUvs(ObjectDb* db, ViewerModel* model, bool inParts) {
  auto& o = db->ops;
  ObjLayer* l = db->currentLayer;
  const int uvCount = o.GetUvCount(db);
  const unsigned parts = inParts ? PartsFor(size_t(std::max(uvCount, 0))) : 1;
  model->uvCount = uvCount;
  SizeForFilling(model->uvs, size_t(uvCount) * 2);
  InPartsOf(parts, uvCount, [&](unsigned, size_t i) {
    const ObjUv* uv = inParts ? &l->uvs[i] : o.GetUv(db, int(i));
    model->uvs[i * 2] = float(uv->u);
    model->uvs[i * 2 + 1] = float(uv->v);
  });
  if (inParts) Release(l->uvs);
}

void ConvertNormalsAndVertices(ObjectDb* db, ViewerModel* model, bool inParts) {
  auto& o = db->ops;
  ObjLayer* l = db->currentLayer;
  const int pointCount = o.GetPointCount(db), normalCount = o.GetNormalCount(db);
  const unsigned parts = inParts ? PartsFor(size_t(std::max(pointCount, 0))) : 1;
  auto inPartsOf = [&](int count, auto convert) { InPartsOf(parts, count, convert); };

  // The normals first, the list released once it is converted, then the
  // vertices (the points are read until the polygons are cut).
  model->normalCount = normalCount;
  SizeForFilling(model->normals, size_t(normalCount) * 3);
  inPartsOf(normalCount, [&](unsigned, size_t i) {
    const ObjNormal* n = inParts ? &l->normals[i] : o.GetNormal(db, int(i));
    float* v = &model->normals[i * 3];
    v[0] = float(n->x);
    v[1] = float(n->y);
    v[2] = float(-n->z);
  });
  if (inParts) Release(l->normals);

  // Vertices, with z negated. Each part takes the extent of its own in
  // locals, handed over at its end (parts writing beside each other on
  // every point would share cache lines); maxima and minima do not depend
  // on the order they are taken in.
  model->vertexCount = pointCount;
  const size_t n = size_t(std::max(pointCount, 0));
  SizeForFilling(model->vertices, n * 3);
  struct Extent {
    float top = 0, bottom = 0, radius = 0;
  };
  std::vector<Extent> extents(parts);
  auto vertices = [&](unsigned k) {
    Extent e;
    for (size_t i = PartBegin(k, parts, n), end = PartBegin(k + 1, parts, n); i < end; ++i) {
      const ObjPoint* p = inParts ? &l->points[i] : o.GetPoint(db, int(i));
      float* v = &model->vertices[i * 3];
      v[0] = float(p->x);
      v[1] = float(p->y);
      v[2] = float(-p->z);
      e.top = std::max(e.top, v[1]);
      e.bottom = std::min(e.bottom, v[1]);
      e.radius = std::max(e.radius, std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
    }
    extents[k] = e;
  };
  RunParts(parts, vertices);
  Extent all;
  for (const Extent& e : extents) {
    all.top = std::max(all.top, e.top);
    all.bottom = std::min(all.bottom, e.bottom);
    all.radius = std::max(all.radius, e.radius);
  }
  model->radius = all.radius;
  model->centreHeight = (all.top + all.bottom) * 0.5f;
}

void BuildGroups(ObjectDb* db, ViewerModel* model, const AsideTriangles* aside, bool releasePolygons) {
  auto& o = db->ops;
  ObjLayer* layer = db->currentLayer;
  const int normalCount = model->normalCount, uvCount = model->uvCount;

  // Groups, one per surface id, and one texture per textured surface.
  const int groupCount = o.GetSurfaceCount(db);
  const size_t groups = size_t(groupCount);
  Primitives prims(layer->Polygons(), aside);
  // With `releasePolygons` (an object closed once its model is made), the
  // polygons are let go once what the model takes of them is taken, before
  // the model's triangles are made: the two are not held at once.
  TakenTriangles taken;
  if (releasePolygons && aside) {
    if (TakePolygonTriangles(layer->Polygons(), groups, &taken)) {
      o.FreePolygons(db);
      prims = Primitives(taken, aside);
    } else {
      taken = TakenTriangles();
    }
  }
  // With the aside triangles, the list was not sorted: the primitives are
  // drawn in the order the sort would leave, which is theirs already when,
  // in every group, their keys never go down (as after the sort, or when
  // all of a surface's polygons are triangles).
  std::vector<int32_t> order;
  size_t primitiveCount = prims.size();
  auto primitive = [&](size_t i) { return prims[order.empty() ? i : size_t(order[i])]; };
  // The triangles are filled in consecutive parts of the primitives at once,
  // each part from where the parts before it end in every group. The count
  // of each part's triangles per group also tells whether the keys go down
  // within the part, and the first and last key of each group in it.
  unsigned parts = PartsFor(primitiveCount);
  std::vector<std::vector<int32_t>> start;
  std::vector<std::vector<uint32_t>> firstKey, lastKey;
  std::vector<char> partInOrder;
  // Each part counts into lists of its own, handed over at its end: parts
  // writing beside each other on every primitive would share cache lines.
  auto count = [&](unsigned k) {
    const bool check = !firstKey.empty();
    std::vector<int32_t> counts(groups, 0);
    std::vector<uint32_t> first(check ? groups : 0, 0), last(check ? groups : 0, 0);
    bool inOrder = true;
    for (size_t i = PartBegin(k, parts, primitiveCount), end = PartBegin(k + 1, parts, primitiveCount); i < end; ++i) {
      const Primitive p = primitive(i);
      if (!Drawn(p, groups)) continue;
      const size_t id = size_t(p.surfaceId);
      ++counts[id];
      if (!check) continue;
      const uint32_t key = SortKey(p);
      if (counts[id] == 1)
        first[id] = key;
      else if (key < last[id])
        inOrder = false;
      last[id] = key;
    }
    start[k + 1] = std::move(counts);
    if (!check) return;
    firstKey[k] = std::move(first);
    lastKey[k] = std::move(last);
    partInOrder[k] = inOrder;
  };
  auto countParts = [&](bool check) {
    start.assign(parts + 1, std::vector<int32_t>(groups, 0));
    firstKey.assign(check ? parts : 0, {});
    lastKey.assign(check ? parts : 0, {});
    partInOrder.assign(parts, 1);
    RunParts(parts, count);
  };
  countParts(aside != nullptr);
  if (aside) {
    bool inOrder = std::all_of(partInOrder.begin(), partInOrder.end(), [](char c) { return c != 0; });
    for (size_t id = 0; id < groups && inOrder; ++id) {
      uint32_t last = 0;
      for (unsigned k = 0; k < parts; ++k) {
        if (start[k + 1][id] == 0) continue;
        if (firstKey[k][id] < last) inOrder = false;
        last = lastKey[k][id];
      }
    }
    if (!inOrder) {
      order = SortedOrder(prims, groups);
      primitiveCount = order.size();
      parts = PartsFor(primitiveCount);
      countParts(false);
    }
  }
  for (unsigned k = 1; k <= parts; ++k)
    for (size_t id = 0; id < size_t(groupCount); ++id) start[k][id] += start[k - 1][id];
  model->groups.resize(size_t(groupCount));
  for (int id = 0; id < groupCount; ++id) {
    SurfaceGroup& g = model->groups[size_t(id)];
    g.capacity = start[parts][size_t(id)];
    const size_t n = size_t(g.capacity);
    SizeForFilling(g.points, n * 3);
    SizeForFilling(g.normals, n * 3);
    ObjSurface* surface = o.GetSurface(db, id);
    if (surface) g.surfaceName = surface->name;
    SurfaceAttributes* a = o.GetSurfaceAttributes(db, id);
    if (a) {
      for (int c = 0; c < 3; ++c) g.color[c] = a->color[c];
      if (!a->layers.empty() && !a->layers.front()->imageName.empty()) {
        g.textureIndex = int32_t(model->textures.size());
        model->textures.push_back({-1, ImageFileName(a->layers.front()->imageName)});
        SizeForFilling(g.uvs, n * 3);
      }
    } else {
      g.color[0] = g.color[1] = g.color[2] = 0.78f;
    }
  }

  // Triangles, corners reversed to keep their facing with z negated.
  const size_t normalLimit = size_t(normalCount), uvLimit = size_t(uvCount);
  auto inRange = [](int32_t i, size_t limit) { return i >= 0 && size_t(i) < limit; };
  auto fill = [&](unsigned k) {
    std::vector<int32_t> next = start[k];
    const std::vector<int32_t>& limit = start[k + 1];
    for (size_t i = PartBegin(k, parts, primitiveCount), end = PartBegin(k + 1, parts, primitiveCount); i < end; ++i) {
      const Primitive p = primitive(i);
      if (!Drawn(p, size_t(groupCount))) continue;
      const size_t id = size_t(p.surfaceId);
      SurfaceGroup& g = model->groups[id];
      if (next[id] >= limit[id]) continue;
      const size_t t = size_t(next[id]++) * 3;
      const int corner[3] = {2, 1, 0};
      for (size_t j = 0; j < 3; ++j) {
        const size_t c = size_t(corner[j]);
        g.points[t + j] = p.points[c];
        int32_t n = c < p.normalCount ? p.normals[c] : -1;
        // A corner without a normal borrows its point's, when normals are per point.
        g.normals[t + j] = inRange(n, normalLimit) ? n : (inRange(p.points[c], normalLimit) ? p.points[c] : 0);
        if (!g.uvs.empty()) {
          int32_t uv = c < p.uvCount ? p.uvs[c] : -1;
          g.uvs[t + j] = inRange(uv, uvLimit) ? uv : -1;
        }
      }
    }
  };
  RunParts(parts, fill);
  for (size_t id = 0; id < size_t(groupCount); ++id) model->groups[id].triangleCount = start[parts][id];
  model->triangleCount = 0;
  for (SurfaceGroup& g : model->groups) {
    g.capacity = g.triangleCount;
    model->triangleCount += g.triangleCount;
  }

  for (ObjVMap* m = o.NextVMap(db, nullptr, ID_WGHT); m; m = o.NextVMap(db, m, ID_WGHT)) {
    WeightMap w;
    w.name = m->name;
    w.points = m->points;
    w.values.resize(m->points.size());
    for (size_t s = 0; s < m->points.size(); ++s)
      w.values[s] = m->dimension > 0 ? m->values[s * size_t(m->dimension)] : 0.0f;
    model->weightMaps.push_back(std::move(w));
  }
}

void FinishModel(ViewerModel* model, int normalise) {
  const int pointCount = model->vertexCount;
  SizeForFilling(model->normalScratchA, size_t(model->normalCount));
  SizeForFilling(model->normalScratchB, size_t(model->normalCount));
  for (SurfaceGroup& g : model->groups) {
    const size_t n = size_t(g.capacity);
    SizeForFilling(g.faceNormals, n * 3);
    SizeForFilling(g.scratch, n);
    const unsigned parts = PartsFor(n);
    auto faces = [&](unsigned k) {
      for (size_t t = PartBegin(k, parts, n) * 3, end = PartBegin(k + 1, parts, n) * 3; t < end; t += 3) {
        const float* v0 = &model->vertices[size_t(g.points[t]) * 3];
        const float* v1 = &model->vertices[size_t(g.points[t + 1]) * 3];
        const float* v2 = &model->vertices[size_t(g.points[t + 2]) * 3];
        // (V[p1] - V[p2]) x (V[p0] - V[p2]) with (p2, p1, p0) stored in order.
        const float a[3] = {v1[0] - v0[0], v1[1] - v0[1], v1[2] - v0[2]};
        const float b[3] = {v2[0] - v0[0], v2[1] - v0[1], v2[2] - v0[2]};
        float* fn = &g.faceNormals[t];
        fn[0] = a[1] * b[2] - a[2] * b[1];
        fn[1] = a[2] * b[0] - a[0] * b[2];
        fn[2] = a[0] * b[1] - a[1] * b[0];
        Normalise(fn);
      }
    };
    RunParts(parts, faces);
  }

  if (normalise && model->radius > 0) {
    const float scale = 15.0f / model->radius;
    for (int i = 0; i < pointCount; ++i) {
      float* v = &model->vertices[size_t(i) * 3];
      v[1] -= model->centreHeight;
      v[0] *= scale;
      v[1] *= scale;
      v[2] *= scale;
    }
  }
  if (g_hooks) g_hooks->ModelBuilt(*model);
}

}  // namespace

void BuildSurfaceEdges(ViewerModel* model, SurfaceGroup* group) {
  (void)model;
  const size_t edgeCount = size_t(group->triangleCount) * 3;
  const std::vector<int32_t>& pts = group->points;
  group->boundaryEdges.clear();
  group->boundaryEdgeCount = 0;
  group->edgesBuilt = true;
  if (edgeCount == 0) return;
  // Memory running out leaves the group without edges rather than ends the
  // program: outlines are an aid, not the object.
  try {
    // Edge e runs from corner e to the next corner of its triangle.
    auto ends = [&](size_t e, int32_t* lo, int32_t* hi) {
      const int32_t a = pts[e], b = pts[e % 3 == 2 ? e - 2 : e + 1];
      *lo = std::min(a, b);
      *hi = std::max(a, b);
    };
    // The three edges of triangle t (corners t..t+2), in edge order.
    auto smaller = [&](size_t t, int32_t lo[3]) {
      const int32_t a = pts[t], b = pts[t + 1], c = pts[t + 2];
      lo[0] = std::min(a, b);
      lo[1] = std::min(b, c);
      lo[2] = std::min(c, a);
    };
    auto larger = [&](size_t t, int32_t hi[3]) {
      const int32_t a = pts[t], b = pts[t + 1], c = pts[t + 2];
      hi[0] = std::max(a, b);
      hi[1] = std::max(b, c);
      hi[2] = std::max(c, a);
    };
    // Edges bucketed under their smaller point index (counting sort), then
    // matched within each small bucket. A group uses a range of points;
    // buckets cover that range only. Consecutive parts of the triangles are
    // bucketed at once, each part counting its own edges per bucket first, and
    // consecutive parts of the buckets are matched at once.
    const size_t triangleCount = edgeCount / 3;
    const unsigned parts = PartsFor(triangleCount);
    std::vector<std::pair<int32_t, int32_t>> range(parts, {pts[0], pts[0]});
    auto extent = [&](unsigned k) {
      int32_t least = pts[0], most = pts[0];
      for (size_t e = PartBegin(k, parts, triangleCount) * 3, end = PartBegin(k + 1, parts, triangleCount) * 3; e < end;
           ++e) {
        least = std::min(least, pts[e]);
        most = std::max(most, pts[e]);
      }
      range[k] = {least, most};
    };
    RunParts(parts, extent);
    int32_t minPoint = pts[0], maxPoint = pts[0];
    for (const auto& r : range) {
      minPoint = std::min(minPoint, r.first);
      maxPoint = std::max(maxPoint, r.second);
    }
    const size_t base = size_t(minPoint), bucketCount = size_t(maxPoint) - base + 1;
    // Per part, its edges in each bucket; then the slot of its first there.
    std::vector<std::vector<int32_t>> next(parts);
    auto count = [&](unsigned k) {
      std::vector<int32_t>& c = next[k];
      c.assign(bucketCount, 0);
      for (size_t t = PartBegin(k, parts, triangleCount) * 3, end = PartBegin(k + 1, parts, triangleCount) * 3; t < end;
           t += 3) {
        int32_t lo[3];
        smaller(t, lo);
        for (int j = 0; j < 3; ++j) ++c[size_t(lo[j]) - base];
      }
    };
    RunParts(parts, count);
    // start[b] is bucket b's first slot; bucket b ends where b + 1 begins.
    std::vector<int32_t> start(bucketCount + 1, 0);
    int32_t slot = 0;
    for (size_t b = 0; b < bucketCount; ++b) {
      start[b] = slot;
      for (auto& c : next) {
        const int32_t mine = c[b];
        c[b] = slot;
        slot += mine;
      }
    }
    start[bucketCount] = slot;
    // Each edge is bucketed with its larger point, so matching reads the
    // buckets alone rather than the triangles the edges come from.
    struct Bucketed {
      int32_t edge, hi;
    };
    std::unique_ptr<Bucketed[]> bucket(new Bucketed[edgeCount]);
    PrefaultForWriting(bucket.get(), bucket.get() + edgeCount);
    auto fill = [&](unsigned k) {
      std::vector<int32_t>& at = next[k];
      for (size_t t = PartBegin(k, parts, triangleCount) * 3, end = PartBegin(k + 1, parts, triangleCount) * 3; t < end;
           t += 3) {
        int32_t lo[3], hi[3];
        smaller(t, lo);
        larger(t, hi);
        for (int j = 0; j < 3; ++j) bucket[size_t(at[size_t(lo[j]) - base]++)] = {int32_t(t + size_t(j)), hi[j]};
      }
    };
    RunParts(parts, fill);
    next.clear();
    // Within a bucket, an edge whose larger point no other edge of the bucket
    // shares is used by one triangle only. Buckets are a point's few edges, so
    // they are compared pairwise; a large one (a fan) is sorted by larger point
    // instead, to stay linear-logarithmic.
    std::vector<std::vector<int32_t>> singles(parts);
    auto match = [&](unsigned k) {
      constexpr size_t kPairwise = 32;
      int32_t others[kPairwise];
      std::vector<int32_t> single;  // handed over at the end: the parts' lists sit side by side
      std::vector<std::pair<int32_t, int32_t>> run;  // larger point, edge
      for (size_t b = PartBegin(k, parts, bucketCount), end = PartBegin(k + 1, parts, bucketCount); b < end; ++b) {
        const size_t first = size_t(start[b]), last = size_t(start[b + 1]);
        const size_t count = last - first;
        if (count == 1) {
          single.push_back(bucket[first].edge);
          continue;
        }
        if (count <= kPairwise) {
          for (size_t i = 0; i < count; ++i) others[i] = bucket[first + i].hi;
          for (size_t i = 0; i < count; ++i) {
            size_t j = 0;
            while (j < count && (j == i || others[j] != others[i])) ++j;
            if (j == count) single.push_back(bucket[first + i].edge);
          }
          continue;
        }
        run.clear();
        for (size_t i = first; i < last; ++i) run.push_back({bucket[i].hi, bucket[i].edge});
        std::sort(run.begin(), run.end());
        for (size_t i = 0; i < run.size();) {
          size_t j = i + 1;
          while (j < run.size() && run[j].first == run[i].first) ++j;
          if (j - i == 1) single.push_back(run[i].second);
          i = j;
        }
      }
      singles[k] = std::move(single);
    };
    RunParts(parts, match);
    std::vector<int32_t>& single = singles[0];
    for (unsigned k = 1; k < parts; ++k) single.insert(single.end(), singles[k].begin(), singles[k].end());
    std::sort(single.begin(), single.end());
    group->boundaryEdges.reserve(single.size() * 2);
    for (int32_t e : single) {
      int32_t lo, hi;
      ends(size_t(e), &lo, &hi);
      group->boundaryEdges.push_back(lo);
      group->boundaryEdges.push_back(hi);
    }
    group->boundaryEdgeCount = int32_t(group->boundaryEdges.size() / 2);
  } catch (const std::bad_alloc&) {
    group->boundaryEdges.clear();
    group->boundaryEdgeCount = 0;
  }
}

bool LoadViewerModelTextures(ViewerModel* model, TextureTable& table) {
  bool any = false;
  for (ModelTexture& t : model->textures) {
    t.handle = table.LoadModelTexture(t.name);
    if (t.handle < 0) t.handle = -1;
    any = any || t.handle >= 0;
  }
  return any;
}

void FreeViewerModel(ViewerModel* model, TextureTable* table) {
  if (!model) return;
  if (g_hooks) g_hooks->ModelFreed(*model);
  if (table)
    for (ModelTexture& t : model->textures)
      if (t.handle > 0) table->ReleaseTexture(t.handle);
  delete model;
}

int GetWeightValue(const ViewerModel* model, const char* mapName, int point, float* out) {
  *out = 0;
  if (!model || !mapName) return 0;
  for (const WeightMap& w : model->weightMaps) {
    if (w.name != mapName) continue;
    for (size_t i = 0; i < w.points.size(); ++i)
      if (w.points[i] == point) {
        *out = w.values[i];
        break;
      }
    return 1;
  }
  return 0;
}
