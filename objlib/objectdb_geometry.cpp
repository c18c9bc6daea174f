// Derived geometry of the current layer: bounds, per-element user data,
// point/normal-to-polygon links, normals, edges, and the polygon and surface
// sorts.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "ops_internal.h"
#include "parallel.h"

namespace {

constexpr double kEps = 1.1920928955078125e-07;  // 2^-23
constexpr double kPi = 3.14159265358979323846;

// ----------------------------------------------------------------- bounds

int ComputeLayerBounds(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return ERR_PARAM;
  if (l->points.empty()) return 0;
  double* b = l->bounds;
  b[0] = b[3] = l->points[0].x;
  b[1] = b[4] = l->points[0].y;
  b[2] = b[5] = l->points[0].z;
  for (const ObjPoint& p : l->points) {
    b[0] = std::min(b[0], p.x);
    b[1] = std::min(b[1], p.y);
    b[2] = std::min(b[2], p.z);
    b[3] = std::max(b[3], p.x);
    b[4] = std::max(b[4], p.y);
    b[5] = std::max(b[5], p.z);
  }
  return 0;
}

int GetLayerBounds(ObjectDb* db, double out[6]) {
  if (!db->currentLayer) return ERR_PARAM;
  memcpy(out, db->currentLayer->bounds, sizeof db->currentLayer->bounds);
  return 0;
}

int TranslatePoints(ObjectDb* db, double dx, double dy, double dz) {
  if (!db->currentLayer) return ERR_PARAM;
  for (ObjPoint& p : db->currentLayer->points) {
    p.x += dx;
    p.y += dy;
    p.z += dz;
  }
  return 0;
}

int ScalePoints(ObjectDb* db, double sx, double sy, double sz) {
  if (!db->currentLayer) return ERR_PARAM;
  for (ObjPoint& p : db->currentLayer->points) {
    p.x *= sx;
    p.y *= sy;
    p.z *= sz;
  }
  return 0;
}

// -------------------------------------------------------------- user data

template <typename T>
int AllocUserData(ObjectDb* db, std::vector<T>& elements, std::vector<uint8_t>& block, int size) {
  if (elements.empty()) return SetError(db, ERR_DATABASE);
  if (size <= 0) return ERR_PARAM;
  block.clear();
  for (T& e : elements) e.userData = nullptr;
  try {
    // Rounded to 8 bytes so every element's block is aligned for pointers.
    size_t stride = (size_t(size) + 7) & ~size_t(7);
    block.reserve(stride * elements.size());
    PrefaultForWriting(block.data(), block.data() + stride * elements.size());
    block.assign(stride * elements.size(), 0);
    for (size_t i = 0; i < elements.size(); ++i) elements[i].userData = block.data() + i * stride;
  } catch (const std::bad_alloc&) {
    block.clear();
    return SetError(db, ERR_MEMORY);
  }
  return 0;
}

template <typename T>
int FreeUserData(std::vector<T>& elements, std::vector<uint8_t>& block) {
  for (T& e : elements) e.userData = nullptr;
  block.clear();
  block.shrink_to_fit();
  return 0;
}

int AllocPolygonUserData(ObjectDb* db, int size) {
  if (!db->currentLayer) return ERR_PARAM;
  return AllocUserData(db, db->currentLayer->Polygons(), db->currentLayer->polygonUserData, size);
}

int AllocPointUserData(ObjectDb* db, int size) {
  if (!db->currentLayer) return ERR_PARAM;
  db->currentLayer->pointLinksBuilt = false;
  return AllocUserData(db, db->currentLayer->points, db->currentLayer->pointUserData, size);
}

int AllocNormalUserData(ObjectDb* db, int size) {
  if (!db->currentLayer) return ERR_PARAM;
  db->currentLayer->normalLinksBuilt = false;
  return AllocUserData(db, db->currentLayer->normals, db->currentLayer->normalUserData, size);
}

int FreePolygonUserData(ObjectDb* db) {
  if (!db->currentLayer) return 0;
  return FreeUserData(db->currentLayer->Polygons(), db->currentLayer->polygonUserData);
}

int FreePointUserData(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return 0;
  l->pointLinksBuilt = false;
  std::vector<int32_t>().swap(l->pointLinkPool);  // its memory too: a large pool is not kept idle
  return FreeUserData(l->points, l->pointUserData);
}

int FreeNormalUserData(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return 0;
  l->normalLinksBuilt = false;
  std::vector<int32_t>().swap(l->normalLinkPool);
  return FreeUserData(l->normals, l->normalUserData);
}

// Builds links from each element (point or normal) to the corners that use
// it. `indexOf(polygon)` gives the per-corner element array. The lists are
// laid out in one pool, in polygon and corner order. The polygons are taken
// in consecutive parts at once: each part counts its corners per element,
// which tells every part where its own corners go in each list.
template <typename T, typename F>
int BuildLinks(ObjectDb* db, std::vector<T>& elements, std::vector<uint8_t>& block,
               std::vector<int32_t>& pool, F indexOf) {
  ObjLayer* l = db->currentLayer;
  int status = AllocUserData(db, elements, block, int(sizeof(PolygonLinks)));
  if (status) return status;
  const size_t n = elements.size();
  auto& polys = l->Polygons();
  const size_t polygonCount = polys.size();
  const unsigned parts = PartsFor(polygonCount);
  auto corners = [&](size_t pi) {
    const CornerArray& idx = indexOf(polys[pi]);
    return std::min(idx.size(), size_t(std::max(polys[pi].vertexCount, 0)));
  };
  // Per part, its corners at each element; then the pool slot of its first.
  std::vector<std::vector<size_t>> next;
  std::vector<int32_t> counts;
  try {
    next.resize(parts);
    auto count = [&](unsigned k) {
      std::vector<size_t>& c = next[k];
      c.assign(n, 0);
      for (size_t pi = PartBegin(k, parts, polygonCount), end = PartBegin(k + 1, parts, polygonCount); pi < end; ++pi) {
        const CornerArray& idx = indexOf(polys[pi]);
        for (size_t j = 0, m = corners(pi); j < m; ++j)
          if (idx[j] >= 0 && size_t(idx[j]) < n) ++c[size_t(idx[j])];
      }
    };
    RunParts(parts, count);
    counts.assign(n, 0);
  } catch (const std::bad_alloc&) {
    FreeUserData(elements, block);
    return SetError(db, ERR_MEMORY);
  }
  size_t total = 0;
  for (size_t i = 0; i < n; ++i) {
    size_t sum = 0;
    for (const auto& c : next) sum += c[i];
    if (sum > size_t(INT32_MAX)) {  // more than a link list can count
      FreeUserData(elements, block);
      return SetError(db, ERR_MEMORY);
    }
    counts[i] = int32_t(sum);
    total += sum;
  }
  try {
    pool.reserve(total * 2);
    PrefaultForWriting(pool.data(), pool.data() + total * 2);
    pool.assign(total * 2, 0);
  } catch (const std::bad_alloc&) {
    FreeUserData(elements, block);
    return SetError(db, ERR_MEMORY);
  }
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    auto* links = new (elements[i].userData) PolygonLinks;
    links->count = counts[i];
    links->capacity = counts[i];
    // An element's polygons and corners sit side by side: a walk over its
    // links then reads one stretch of the pool.
    links->polygons = pool.data() + start;
    links->corners = pool.data() + start + size_t(counts[i]);
    size_t slot = start;
    for (auto& c : next) {
      const size_t mine = c[i];
      c[i] = slot;
      slot += mine;
    }
    start += 2 * size_t(counts[i]);
  }
  int32_t* const slots = pool.data();
  auto fill = [&](unsigned k) {
    std::vector<size_t>& at = next[k];
    for (size_t pi = PartBegin(k, parts, polygonCount), end = PartBegin(k + 1, parts, polygonCount); pi < end; ++pi) {
      const CornerArray& idx = indexOf(polys[pi]);
      for (size_t c = 0, m = corners(pi); c < m; ++c) {
        const int32_t e = idx[c];
        if (e < 0 || size_t(e) >= n) continue;
        const size_t slot = at[size_t(e)]++;
        slots[slot] = int32_t(pi);
        slots[slot + size_t(counts[size_t(e)])] = int32_t(c);
      }
    }
  };
  RunParts(parts, fill);
  return 0;
}

int BuildPointPolygonLinks(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return ERR_PARAM;
  int status = BuildLinks(db, l->points, l->pointUserData, l->pointLinkPool,
                          [](ObjPolygon& p) -> const CornerArray& { return p.points; });
  l->pointLinksBuilt = status == 0;
  return status;
}

int BuildNormalPolygonLinks(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return ERR_PARAM;
  int status = BuildLinks(db, l->normals, l->normalUserData, l->normalLinkPool,
                          [](ObjPolygon& p) -> const CornerArray& { return p.normals; });
  l->normalLinksBuilt = status == 0;
  return status;
}

// ---------------------------------------------------------------- normals

double Dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

bool IsZero(const double v[3]) { return v[0] == 0 && v[1] == 0 && v[2] == 0; }

// Normalises in place; a vector not longer than 2^-23 becomes zero.
void Normalise(double v[3]) {
  double len = std::sqrt(Dot(v, v));
  if (len <= kEps) {
    v[0] = v[1] = v[2] = 0;
    return;
  }
  v[0] /= len;
  v[1] /= len;
  v[2] /= len;
}

double AngleBetween(const double a[3], const double b[3]) {
  if (IsZero(a) || IsZero(b)) return 0;
  double d = Dot(a, b);
  if (d > 1) return 0;
  if (d < -1) return kPi;
  return std::acos(d);
}

PolygonLinks* PointLinks(ObjLayer* l, int point) {
  return static_cast<PolygonLinks*>(l->points[size_t(point)].userData);
}

// The average of the face normals of the polygons at a point (those of no
// area left out), normalised; zero when there are none. `faceNormal(q, n)`
// gives polygon q's.
template <typename F>
void AveragePointNormal(const PolygonLinks& links, F faceNormal, double sum[3]) {
  sum[0] = sum[1] = sum[2] = 0;
  int count = 0;
  for (int k = 0; k < links.count; ++k) {
    double n[3] = {0, 0, 0};
    faceNormal(links.polygons[k], n);
    if (IsZero(n)) continue;
    sum[0] += n[0];
    sum[1] += n[1];
    sum[2] += n[2];
    ++count;
  }
  if (count > 0) {
    for (int i = 0; i < 3; ++i) sum[i] /= count;
    Normalise(sum);
  }
}

// Each corner's normal is its point's.
void CornersTakePointNormals(ObjectDb* db, size_t begin, size_t end) {
  auto& polys = db->currentLayer->Polygons();
  for (size_t pi = begin; pi < end; ++pi) {
    ObjPolygon& p = polys[pi];
    for (int c = 0; c < p.vertexCount; ++c) p.normals[size_t(c)] = p.points[size_t(c)];
  }
}

// One normal per point. With `setCorners`, the polygons' normal lists have
// not been made yet: the split path makes each (-1 per corner) as it
// reaches its polygon (see BuildNormals).
int BuildNormalsPerPoint(ObjectDb* db, bool setCorners) {
  ObjLayer* l = db->currentLayer;
  auto& polys = l->Polygons();
  const size_t pointCount = l->points.size(), polygonCount = polys.size();
  try {
    l->normals.reserve(pointCount);  // one per point
    PrefaultForWriting(l->normals.data(), l->normals.data() + pointCount);
  } catch (const std::bad_alloc&) {
    return SetError(db, ERR_MEMORY);
  }
  const unsigned parts = HasLibraryOps(db) ? PartsFor(pointCount) : 1;
  if (parts == 1) {
    try {
      if (setCorners) ForEachInParts(polys, [](ObjPolygon& p) { p.normals.assign(size_t(p.vertexCount), -1); });
    } catch (const std::bad_alloc&) {
      return SetError(db, ERR_MEMORY);
    }
    auto face = [&](int32_t q, double n[3]) { db->ops.GetPolygonNormal(db, q, n); };
    for (size_t i = 0; i < pointCount; ++i) {
      double sum[3];
      AveragePointNormal(*PointLinks(l, int(i)), face, sum);
      if (db->ops.AddNormal(db, sum[0], sum[1], sum[2]) < 0) return SetError(db, ERR_MEMORY);
    }
    CornersTakePointNormals(db, 0, polygonCount);
    return 0;
  }
  // With the library's own operations the polygons are taken in parts at
  // once first, each given the face normal GetPolygonNormal would store.
  // Then each part of the points adds up the face normals at its points,
  // going through the polygons in the order their links would list them,
  // so each sum is the one AveragePointNormal makes, without the links.
  try {
    l->normals.resize(pointCount);
    std::vector<int32_t> count;
    AssignMapped(count, pointCount, 0);
    auto faces = [&](unsigned k) {
      const size_t begin = PartBegin(k, parts, polygonCount), end = PartBegin(k + 1, parts, polygonCount);
      for (size_t pi = begin; pi < end; ++pi) {
        ObjPolygon& p = polys[pi];
        if (setCorners) p.normals.assign(size_t(p.vertexCount), -1);
        if (p.vertexCount >= 3 && IsZero(p.normal)) ComputeFaceNormal(*l, p, p.normal);
        CornersTakePointNormals(db, pi, pi + 1);
      }
    };
    RunParts(parts, faces);
    auto points = [&](unsigned k) {
      const size_t first = PartBegin(k, parts, pointCount), last = PartBegin(k + 1, parts, pointCount);
      for (const ObjPolygon& p : polys) {
        if (p.vertexCount < 3 || IsZero(p.normal)) continue;
        const size_t corners = std::min(p.points.size(), size_t(p.vertexCount));
        for (size_t c = 0; c < corners; ++c) {
          const size_t i = size_t(uint32_t(p.points[c]));
          if (i < first || i >= last) continue;
          ObjNormal& n = l->normals[i];
          n.x += p.normal[0];
          n.y += p.normal[1];
          n.z += p.normal[2];
          ++count[i];
        }
      }
      for (size_t i = first; i < last; ++i) {
        if (count[i] == 0) continue;
        ObjNormal& n = l->normals[i];
        double sum[3] = {n.x / count[i], n.y / count[i], n.z / count[i]};
        Normalise(sum);
        n.x = sum[0];
        n.y = sum[1];
        n.z = sum[2];
      }
    };
    RunParts(parts, points);
  } catch (const std::bad_alloc&) {
    l->normals.clear();
    return SetError(db, ERR_MEMORY);
  }
  return 0;
}

int BuildNormalsByAngle(ObjectDb* db, int flags) {
  ObjLayer* l = db->currentLayer;
  const bool shared = (flags & 4) != 0;
  const bool smoothAll = (flags & 1) != 0;
  auto add = [&](int point, const double n[3]) {
    return shared ? db->ops.AddSharedNormal(db, point, n[0], n[1], n[2])
                  : db->ops.AddNormal(db, n[0], n[1], n[2]);
  };
  const size_t polygonCount = l->Polygons().size();
  for (size_t pi = 0; pi < polygonCount; ++pi) {
    ObjPolygon* p = &l->Polygons()[pi];
    ObjSurface* surface = p->surfaceName ? db->ops.GetSurface(db, p->surfaceId) : nullptr;
    if (surface && (surface->flags & 1)) continue;
    double angle = 0;
    bool smoothing = surface && GetSurfaceSmoothing(db, surface->id, &angle);
    double face[3];
    db->ops.GetPolygonNormal(db, int(pi), face);
    if (!smoothing) {
      int index = add(p->vertexCount > 0 ? p->points[0] : -1, face);
      if (index < 0) return SetError(db, ERR_MEMORY);
      p = &l->Polygons()[pi];
      std::fill(p->normals.begin(), p->normals.end(), index);
      continue;
    }
    for (int c = 0; c < p->vertexCount; ++c) {
      p = &l->Polygons()[pi];
      if (p->normals[size_t(c)] != -1) continue;
      int point = p->points[size_t(c)];
      PolygonLinks* links = PointLinks(l, point);
      double sum[3] = {face[0], face[1], face[2]};
      int count = 1;
      bool everyone = true;
      for (int k = 0; k < links->count; ++k) {
        int q = links->polygons[k];
        if (size_t(q) == pi) continue;
        double other[3];
        db->ops.GetPolygonNormal(db, q, other);
        if (smoothAll || AngleBetween(face, other) < angle) {
          sum[0] += other[0];
          sum[1] += other[1];
          sum[2] += other[2];
          ++count;
        } else {
          everyone = false;
        }
      }
      for (double& s : sum) s /= count;
      Normalise(sum);
      int index = add(point, sum);
      if (index < 0) return SetError(db, ERR_MEMORY);
      p = &l->Polygons()[pi];
      p->normals[size_t(c)] = index;
      if (everyone) {
        for (int k = 0; k < links->count; ++k) {
          ObjPolygon& q = l->Polygons()[size_t(links->polygons[k])];
          ObjSurface* qs = q.surfaceName ? db->ops.GetSurface(db, q.surfaceId) : nullptr;
          if (qs && (qs->flags & 1)) continue;
          q.normals[size_t(links->corners[k])] = index;
        }
      }
    }
  }
  return 0;
}

int BuildNormals(ObjectDb* db, int flags) {
  ObjLayer* l = db->currentLayer;
  if (!l) return ERR_PARAM;
  // With the library's own operations and one normal per point over enough
  // points to split, the current polygons' normal lists are cleared and
  // made in the pass that computes their face normals, instead of in two
  // passes of their own before it.
  const bool inFacePass = (flags & 2) && HasLibraryOps(db) && PartsFor(l->points.size()) > 1;
  // Where the face pass does not run to its end, the current polygons are
  // left without normals, as FreeNormals leaves them.
  auto clearCurrent = [&] {
    if (inFacePass) ForEachInParts(l->Polygons(), [](ObjPolygon& p) { p.normals.clear(); });
  };
  if (inFacePass)
    FreeNormalsOf(*l, true);
  else
    db->ops.FreeNormals(db);
  // The face pass's per-point sums need no links.
  const bool reuse = inFacePass || (l->pointLinksHeld && l->pointLinksBuilt);
  int status = reuse ? 0 : db->ops.BuildPointPolygonLinks(db);
  if (status == ERR_DATABASE) {
    db->error = 0;  // no points: nothing to build
    clearCurrent();
    return 0;
  }
  if (status) {
    clearCurrent();
    return status;
  }
  try {
    if (!inFacePass)
      ForEachInParts(l->Polygons(), [](ObjPolygon& p) { p.normals.assign(size_t(p.vertexCount), -1); });
  } catch (const std::bad_alloc&) {
    status = SetError(db, ERR_MEMORY);
    if (!l->pointLinksHeld) db->ops.FreePointPolygonLinks(db);
    return status;
  }
  status = (flags & 2) ? BuildNormalsPerPoint(db, inFacePass) : BuildNormalsByAngle(db, flags);
  if (status) clearCurrent();
  if (!l->pointLinksHeld) db->ops.FreePointPolygonLinks(db);
  return status;
}

// ------------------------------------------------------------------ edges

// Open-addressing map from an unordered point pair to its edge index.
class EdgeMap {
 public:
  explicit EdgeMap(size_t expected) {
    size_t cap = 16;
    while (cap < expected * 2) cap <<= 1;
    keys_.assign(cap, kEmpty);
    values_.assign(cap, -1);
  }
  static uint64_t Key(int32_t a, int32_t b) {
    uint32_t lo = uint32_t(std::min(a, b)), hi = uint32_t(std::max(a, b));
    return (uint64_t(hi) << 32) | lo;
  }
  int32_t Find(int32_t a, int32_t b) const {
    uint64_t k = Key(a, b);
    for (size_t i = Slot(k);; i = (i + 1) & (keys_.size() - 1)) {
      if (keys_[i] == kEmpty) return -1;
      if (keys_[i] == k) return values_[i];
    }
  }
  void Insert(int32_t a, int32_t b, int32_t value) {
    if ((used_ + 1) * 2 > keys_.size()) Grow();
    uint64_t k = Key(a, b);
    size_t i = Slot(k);
    while (keys_[i] != kEmpty && keys_[i] != k) i = (i + 1) & (keys_.size() - 1);
    if (keys_[i] == kEmpty) ++used_;
    keys_[i] = k;
    values_[i] = value;
  }

 private:
  static constexpr uint64_t kEmpty = ~uint64_t(0);
  size_t Slot(uint64_t k) const {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    return size_t(k) & (keys_.size() - 1);
  }
  void Grow() {
    std::vector<uint64_t> oldKeys;
    std::vector<int32_t> oldValues;
    oldKeys.swap(keys_);
    oldValues.swap(values_);
    keys_.assign(oldKeys.size() * 2, kEmpty);
    values_.assign(oldKeys.size() * 2, -1);
    used_ = 0;
    for (size_t i = 0; i < oldKeys.size(); ++i)
      if (oldKeys[i] != kEmpty) {
        uint64_t k = oldKeys[i];
        size_t j = Slot(k);
        while (keys_[j] != kEmpty) j = (j + 1) & (keys_.size() - 1);
        keys_[j] = k;
        values_[j] = oldValues[i];
        ++used_;
      }
  }
  std::vector<uint64_t> keys_;
  std::vector<int32_t> values_;
  size_t used_ = 0;
};

// The point that follows `point` in the polygon (cyclically), or -1.
int32_t Following(const ObjPolygon& p, int32_t point) {
  for (int c = 0; c < p.vertexCount; ++c)
    if (p.points[size_t(c)] == point) return p.points[size_t((c + 1) % p.vertexCount)];
  return -1;
}

int BuildEdges(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return ERR_PARAM;
  l->edges.clear();
  auto& polys = l->Polygons();
  try {
    l->edges.reserve(l->points.size() * 4 < (size_t(1) << 26) ? l->points.size() * 4 : 0);
    EdgeMap map(l->points.size() * 2 + 16);
    auto touch = [&](int32_t a, int32_t b, int32_t polygon) {
      int32_t e = map.Find(a, b);
      if (e >= 0) {
        l->edges[size_t(e)].polygon2 = polygon;
      } else {
        ObjEdge edge;
        edge.first = a;
        edge.second = b;
        edge.polygon = polygon;
        e = int32_t(l->edges.size());
        l->edges.push_back(edge);
        map.Insert(a, b, e);
      }
      return e;
    };
    for (size_t pi = 0; pi < polys.size(); ++pi) {
      ObjPolygon& p = polys[pi];
      p.edge = -1;
      const int n = p.vertexCount;
      if (n == 2) {
        p.edge = touch(p.points[0], p.points[1], int32_t(pi));
      } else if (n > 2) {
        for (int j = 0; j < n; ++j)
          p.edge = touch(p.points[size_t(j)], p.points[size_t((j + 1) % n)], int32_t(pi));
      }
    }
    for (auto& e : l->edges) {
      if (e.polygon >= 0) {
        int32_t next = Following(polys[size_t(e.polygon)], e.second);
        e.neighbour[0] = next >= 0 ? map.Find(e.second, next) : -1;
      }
      if (e.polygon2 >= 0) {
        int32_t next = Following(polys[size_t(e.polygon2)], e.first);
        e.neighbour[1] = next >= 0 ? map.Find(e.first, next) : -1;
      }
    }
    for (size_t i = 0; i < l->edges.size(); ++i) {
      int32_t first = l->edges[i].first;
      if (first >= 0 && size_t(first) < l->points.size()) l->points[size_t(first)].edge = int32_t(i);
    }
  } catch (const std::bad_alloc&) {
    l->edges.clear();
    return SetError(db, ERR_MEMORY);
  }
  return 0;
}

// ---------------------------------------------------------------- sorting

// Orders (key, record) pairs by key, keeping equal keys in their order. Many
// pairs take two counting passes over the key's 16-bit halves, lower half
// first, in linear time; a pass whose half is the same in every key leaves
// the order as it is and is skipped.
void StableOrderByKey(std::vector<std::pair<uint32_t, int32_t>>& order) {
  const size_t n = order.size();
  if (n < 1024) {
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return;
  }
  std::vector<std::pair<uint32_t, int32_t>> sorted(n);
  std::vector<size_t> start(size_t(1) << 16);
  for (const int shift : {0, 16}) {
    auto digit = [shift](uint32_t key) { return size_t((key >> shift) & 0xFFFF); };
    std::fill(start.begin(), start.end(), 0);
    for (const auto& e : order) ++start[digit(e.first)];
    if (start[digit(order[0].first)] == n) continue;
    size_t sum = 0;
    for (size_t& s : start) {
      const size_t count = s;
      s = sum;
      sum += count;
    }
    for (const auto& e : order) sorted[start[digit(e.first)]++] = e;
    order.swap(sorted);
  }
}

int SortPolygons(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return ERR_PARAM;
  auto& polys = l->Polygons();
  const size_t n = polys.size();
  bool inOrder = true;
  for (size_t i = 0; i < n; ++i) {
    uint32_t key = uint32_t(polys[i].surfaceId) | (uint32_t(polys[i].vertexCount) << 16);
    polys[i].sortKey = int32_t(key);
    if (i > 0 && key < uint32_t(polys[i - 1].sortKey)) inOrder = false;
  }
  IndexArray newIndex(n);
  if (inOrder) {
    // The stable sort would keep every polygon where it is.
    for (size_t i = 0; i < n; ++i) newIndex[i] = int32_t(i);
  } else {
    std::vector<std::pair<uint32_t, int32_t>> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = {uint32_t(polys[i].sortKey), int32_t(i)};
    StableOrderByKey(order);
    for (size_t i = 0; i < n; ++i) newIndex[size_t(order[i].second)] = int32_t(i);
    // Applied in place, one cycle of the permutation at a time, so the
    // records are never held twice.
    std::vector<bool> placed(n, false);
    for (size_t start = 0; start < n; ++start) {
      if (placed[start] || size_t(order[start].second) == start) continue;
      ObjPolygon held = std::move(polys[start]);
      size_t at = start;
      for (;;) {
        placed[at] = true;
        const size_t from = size_t(order[at].second);
        if (from == start) break;
        // The cycle jumps around the list: fetch the next record early.
        const char* next = reinterpret_cast<const char*>(&polys[size_t(order[from].second)]);
        for (size_t b = 0; b < sizeof(ObjPolygon); b += 64) __builtin_prefetch(next + b);
        polys[at] = std::move(polys[from]);
        at = from;
      }
      polys[at] = std::move(held);
    }
  }
  for (size_t i = 0; i < n; ++i) polys[i].index = int32_t(i);

  for (auto& table : l->TagTables()) {
    table.slotOf.assign(n, -1);
    for (size_t s = 0; s < table.polygons.size(); ++s) {
      int32_t& p = table.polygons[s];
      if (p >= 0 && size_t(p) < n) p = newIndex[size_t(p)];
      if (p >= 0 && size_t(p) < n) table.slotOf[size_t(p)] = int32_t(s);
    }
  }
  RenumberVMadPolygons(db, newIndex);
  for (auto& e : l->edges) {
    if (e.polygon >= 0 && size_t(e.polygon) < n) e.polygon = newIndex[size_t(e.polygon)];
    if (e.polygon2 >= 0 && size_t(e.polygon2) < n) e.polygon2 = newIndex[size_t(e.polygon2)];
  }
  RenumberLoopPolygons(db, newIndex);
  db->ops.FreePointUserData(db);
  db->ops.ResolveSurfaceIds(db);
  return 0;
}

// Signed byte comparison, a prefix first.
bool NameBefore(const char* a, const char* b) {
  for (;; ++a, ++b) {
    signed char x = static_cast<signed char>(*a), y = static_cast<signed char>(*b);
    if (x != y) {
      if (!*a) return true;
      if (!*b) return false;
      return x < y;
    }
    if (!*a) return false;
  }
}

int SortSurfaces(ObjectDb* db) {
  auto& surfaces = db->store->surfaces;
  struct Contents {
    int32_t word, flags;
    char name[kNameSize];
    char name2[kNameSize + 1];
    std::vector<uint8_t> raw;
    SurfaceAttributes* attributes;
  };
  std::vector<Contents> work;
  work.reserve(surfaces.size());
  for (auto& s : surfaces) {
    Contents c;
    c.word = s.word;
    c.flags = s.flags;
    memcpy(c.name, s.name, sizeof c.name);
    memcpy(c.name2, s.name2, sizeof c.name2);
    c.raw = std::move(s.raw);
    c.attributes = s.attributes;
    work.push_back(std::move(c));
  }
  std::stable_sort(work.begin(), work.end(),
                   [](const Contents& a, const Contents& b) { return NameBefore(a.name, b.name); });
  for (size_t i = 0; i < work.size(); ++i) {
    ObjSurface& s = surfaces[i];
    s.word = work[i].word;
    s.flags = work[i].flags;
    memcpy(s.name, work[i].name, sizeof s.name);
    memcpy(s.name2, work[i].name2, sizeof s.name2);
    s.raw = std::move(work[i].raw);
    s.attributes = work[i].attributes;
  }
  RebuildSurfaceIndex(db);
  db->ops.ResolveSurfaceIds(db);
  return 0;
}

}  // namespace

void InstallGeometryOps(ObjectDbOps& o) {
  o.ComputeLayerBounds = ComputeLayerBounds;
  o.GetLayerBounds = GetLayerBounds;
  o.BuildNormals = BuildNormals;
  o.BuildEdges = BuildEdges;
  o.AllocPolygonUserData = AllocPolygonUserData;
  o.AllocPointUserData = AllocPointUserData;
  o.AllocNormalUserData = AllocNormalUserData;
  o.FreePolygonUserData = FreePolygonUserData;
  o.FreePointUserData = FreePointUserData;
  o.FreeNormalUserData = FreeNormalUserData;
  o.BuildPointPolygonLinks = BuildPointPolygonLinks;
  o.BuildNormalPolygonLinks = BuildNormalPolygonLinks;
  o.FreePointPolygonLinks = FreePointUserData;
  o.FreeNormalPolygonLinks = FreeNormalUserData;
  o.TranslatePoints = TranslatePoints;
  o.ScalePoints = ScalePoints;
  o.SortPolygons = SortPolygons;
  o.SortSurfaces = SortSurfaces;
}
