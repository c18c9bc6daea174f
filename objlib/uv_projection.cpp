// Texture coordinates: the per-layer UV list, and the planar, cylindrical,
// spherical, cubic, front and UV-map projections that fill it.
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <unordered_map>
#include <vector>

#include "ops_internal.h"
#include "parallel.h"
#include "side_files.h"
#include "surface_attributes.h"

namespace {

constexpr double kEps = 1.1920928955078125e-07;  // 2^-23
// The projection formulas use these exact values, so coordinates match
// what other programs computed from the same objects.
constexpr double kPi = 3.14159265359;
constexpr double kInv2Pi = 0.159154943091884854;
constexpr double kInvPi = 0.318309886183769708;

// ------------------------------------------------------------- UV list

int GetUvCount(ObjectDb* db) { return db->currentLayer ? int(db->currentLayer->uvs.size()) : 0; }

int AddUv(ObjectDb* db, double u, double v, double w) {
  ObjLayer* l = db->currentLayer;
  if (!l) return -1;
  ObjUv uv;
  uv.u = u;
  uv.v = v;
  uv.w = w;
  try {
    l->uvs.push_back(uv);
  } catch (const std::bad_alloc&) {
    SetError(db, ERR_MEMORY);
    return -1;
  }
  return int(l->uvs.size() - 1);
}

int AddSharedUv(ObjectDb* db, int point, double u, double v, double w) {
  ObjLayer* l = db->currentLayer;
  if (!l) return -1;
  int found = -1;
  ForEachCornerAt(l, point, [&](ObjPolygon& p, int c) {
    const CornerChannel* channel = p.currentChannel;
    if (!channel || c < 0 || size_t(c) >= channel->values.size()) return false;
    const int i = channel->values[size_t(c)];
    if (i < 0 || size_t(i) >= l->uvs.size()) return false;
    const ObjUv& o = l->uvs[size_t(i)];
    if (std::fabs(o.u - u) < kEps && std::fabs(o.v - v) < kEps && std::fabs(o.w - w) < kEps) {
      found = i;
      return true;
    }
    return false;
  });
  return found >= 0 ? found : AddUv(db, u, v, w);
}

ObjUv* GetUv(ObjectDb* db, int index) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->uvs.size()) return nullptr;
  return &l->uvs[size_t(index)];
}

int SetUv(ObjectDb* db, int index, double u, double v, double w) {
  ObjUv* uv = GetUv(db, index);
  if (!uv) return ERR_PARAM;
  uv->u = u;
  uv->v = v;
  uv->w = w;
  return 0;
}

int FreeUvs(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return 0;
  l->uvs.clear();
  l->uvs.shrink_to_fit();
  if (l->noCornerChannels) return 0;
  for (auto& group : l->groups)
    ForEachInParts(group.polygons, [](ObjPolygon& p) {
      p.channels.clear();
      if (p.currentChannel) p.currentChannel = nullptr;
    });
  return 0;
}

// ---------------------------------------------------------- projections

// Heading of the direction (a, b), measured from +b.
double H(double a, double b) {
  if (a == 0 && b == 0) return 0;
  if (b == 0) return a >= 0 ? -kPi / 2 : kPi / 2;
  const double q = std::atan(a / b);
  return b >= 0 ? -q : kPi - q;
}

// Heading and pitch of (a, c, b), c being the pole direction.
void HP(double a, double c, double b, double* h, double* p) {
  if (a == 0 && b == 0) {
    *h = 0;
    *p = c > 0 ? kPi / 2 : (c < 0 ? -kPi / 2 : 0);
    return;
  }
  *h = H(a, b);
  *p = std::atan(c / std::sqrt(a * a + b * b));
}

double Finite(double x) { return std::isfinite(x) ? x : 0; }

// Within 2^-23 of 0 or of its own integer part, a coordinate is taken as
// exactly that; values are not reduced to [0, 1).
double Snap(double x) {
  x = Finite(x);
  if (std::fabs(x) < kEps) return 0;
  const double whole = std::trunc(x);
  return std::fabs(x - whole) < kEps ? whole : x;
}

// A polygon across the seam of a cylinder or sphere has corners near `wrap`
// and near 0; taking one wrap off the high ones keeps it in one piece when
// that does not spread its coordinates further.
void FixSeam(CornerUv* out, int n, double CornerUv::*field, double wrap) {
  if (n <= 0 || !std::isfinite(wrap)) return;
  bool reaches = false;
  double lo = out[0].*field, hi = lo;
  for (int i = 0; i < n; ++i) {
    const double x = out[i].*field;
    reaches = reaches || x >= wrap;
    lo = std::min(lo, x);
    hi = std::max(hi, x);
  }
  if (!reaches) return;
  std::vector<double> moved(static_cast<size_t>(n));
  double mlo = std::numeric_limits<double>::infinity(), mhi = -mlo;
  for (int i = 0; i < n; ++i) {
    double x = out[i].*field;
    if (x >= wrap - kEps) {
      x -= wrap;
      if (std::fabs(x) < kEps) x = 0;
    }
    moved[size_t(i)] = x;
    mlo = std::min(mlo, x);
    mhi = std::max(mhi, x);
  }
  if (mhi - mlo <= hi - lo)
    for (int i = 0; i < n; ++i) out[i].*field = moved[size_t(i)];
}

// Moves the polygon by whole units so that its smallest coordinate lies in
// [0, 1), in one step whatever the distance.
void ShiftToUnit(CornerUv* out, int n, double CornerUv::*field) {
  auto smallest = [&] {
    double m = std::numeric_limits<double>::infinity();
    for (int i = 0; i < n; ++i) m = std::min(m, out[i].*field);
    return m;
  };
  double m = smallest();
  if (!std::isfinite(m)) return;
  if (m < 0) {
    const double k = std::ceil(-m);
    for (int i = 0; i < n; ++i) out[i].*field += k;
    m = smallest();
  }
  if (m > 0) {
    const double whole = std::trunc(m);
    if (whole > 0)
      for (int i = 0; i < n; ++i) out[i].*field -= whole;
  }
}

struct Projection {
  int kind = PROJ_PLANAR;
  int axis = AXIS_X;
  double size[3] = {1, 1, 1};
  double center[3] = {0, 0, 0};
  double wrapWidth = 1, wrapHeight = 1;
  double cosH = 1, sinH = 0, cosP = 1, sinP = 0, cosB = 1, sinB = 0;
  const double (*matrix)[4] = nullptr;
};

// Axis codes other than X and Y act as Z.
int AxisOf(int code) { return code == AXIS_X || code == AXIS_Y ? code : AXIS_Z; }

int CubicAxis(const double n[3]) {
  const double x = std::fabs(n[0]), y = std::fabs(n[1]), z = std::fabs(n[2]);
  if (x > y && x > z) return AXIS_X;
  return y > z ? AXIS_Y : AXIS_Z;
}

Projection MakeProjection(ObjectDb* db, const TextureLayer& t, int polygon) {
  Projection p;
  p.matrix = t.matrix;
  p.kind = t.projection <= PROJ_FRONT ? int(t.projection) : int(PROJ_PLANAR);
  p.axis = AxisOf(t.axis);
  if (p.kind == PROJ_CUBIC) {
    double n[3];
    db->ops.GetPolygonNormal(db, polygon, n);
    p.axis = CubicAxis(n);
    p.kind = PROJ_PLANAR;
  }
  p.wrapWidth = t.wrapWidth;
  p.wrapHeight = t.wrapHeight;
  for (int i = 0; i < 3; ++i) {
    p.size[i] = t.size[i];
    p.center[i] = t.center[i];
  }
  // Points are row vectors: rotated about Z by -bank, then Y by heading,
  // then X by -pitch.
  p.cosH = std::cos(double(t.rotation[0]));
  p.sinH = std::sin(double(t.rotation[0]));
  p.cosP = std::cos(-double(t.rotation[1]));
  p.sinP = std::sin(-double(t.rotation[1]));
  p.cosB = std::cos(-double(t.rotation[2]));
  p.sinB = std::sin(-double(t.rotation[2]));
  return p;
}

void Transform(const Projection& pr, const ObjPoint& point, double out[3]) {
  const double (*m)[4] = pr.matrix;
  double x = point.x * m[0][0] + point.y * m[1][0] + point.z * m[2][0] + m[3][0] - pr.center[0];
  double y = point.x * m[0][1] + point.y * m[1][1] + point.z * m[2][1] + m[3][1] - pr.center[1];
  double z = point.x * m[0][2] + point.y * m[1][2] + point.z * m[2][2] + m[3][2] - pr.center[2];
  double x1 = x * pr.cosB - y * pr.sinB, y1 = x * pr.sinB + y * pr.cosB;
  double x2 = x1 * pr.cosH + z * pr.sinH, z2 = -x1 * pr.sinH + z * pr.cosH;
  double y3 = y1 * pr.cosP - z2 * pr.sinP, z3 = y1 * pr.sinP + z2 * pr.cosP;
  out[0] = x2;
  out[1] = y3;
  out[2] = z3;
}

void ProjectPoint(const Projection& pr, const double p[3], double* u, double* v) {
  const double x = p[0], y = p[1], z = p[2];
  switch (pr.kind) {
    case PROJ_CYLINDRICAL: {
      double h, t;
      if (pr.axis == AXIS_X) {
        h = H(z, -y);
        t = x / pr.size[0];
      } else if (pr.axis == AXIS_Y) {
        h = H(-x, z);
        t = y / pr.size[1];
      } else {
        h = H(-x, -y);
        t = z / pr.size[2];
      }
      *u = 1 - h * kInv2Pi;
      if (pr.wrapWidth != 1) *u *= pr.wrapWidth;
      *v = 0.5 - t;
      break;
    }
    case PROJ_SPHERICAL: {
      double h, pitch;
      if (pr.axis == AXIS_X)
        HP(z, x, -y, &h, &pitch);
      else if (pr.axis == AXIS_Y)
        HP(-x, y, z, &h, &pitch);
      else
        HP(-x, z, -y, &h, &pitch);
      *u = 1 - h * kInv2Pi;
      *v = 0.5 - pitch * kInvPi;
      if (pr.wrapWidth != 1) *u *= pr.wrapWidth;
      if (pr.wrapHeight != 1) *v *= pr.wrapHeight;
      break;
    }
    case PROJ_FRONT:
      *u = *v = 0;
      break;
    default:  // planar
      *u = (pr.axis == AXIS_X ? z / pr.size[2] : x / pr.size[0]) + 0.5;
      *v = 0.5 - (pr.axis == AXIS_Y ? z / pr.size[2] : y / pr.size[1]);
      break;
  }
}

// The UV maps a texture layer reads: its discontinuous and its per-point
// map, each null when missing or with fewer than two values per point.
struct UvMaps {
  ObjVMad* vmad = nullptr;
  ObjVMap* vmap = nullptr;
};

UvMaps FindUvMaps(ObjectDb* db, const TextureLayer& t) {
  const char* name = t.uvMapName.c_str();
  UvMaps m{db->ops.FindVMad(db, ID_TXUV, name), db->ops.FindVMap(db, ID_TXUV, name)};
  if (m.vmad && (m.vmad->dimension < 2 || m.vmad->polygonType != db->currentLayer->CurrentType())) m.vmad = nullptr;
  if (m.vmap && m.vmap->dimension < 2) m.vmap = nullptr;
  return m;
}

// Corners take the VMAD value for (point, polygon), else the VMAP value of
// the point; maps with fewer than two values per point count as missing.
int LookUpUvMap(ObjectDb* db, const UvMaps& maps, int polygon, const ObjPolygon& p, CornerUv* out) {
  ObjVMad* vmad = maps.vmad;
  ObjVMap* vmap = maps.vmap;
  int result = 0;
  for (int c = 0; c < p.vertexCount; ++c) {
    const int point = p.points[size_t(c)];
    const float* value = vmad ? db->ops.GetVMadValue(db, vmad, point, polygon) : nullptr;
    if (!value && vmap) value = db->ops.GetVMapValue(db, vmap, point);
    if (value) {
      out[c].u = Finite(value[0]);
      out[c].v = Finite(value[1]);
    } else {
      out[c].u = out[c].v = 0;
      result = ERR_UV_TEXTURE;
    }
  }
  return result;
}

// ProjectCornerUv, with the layer's UV maps looked up beforehand when
// `maps` is given.
int ProjectCorners(ObjectDb* db, TextureLayer* t, int flags, int polygon, CornerUv* out, const UvMaps* maps) {
  ObjPolygon* p = CurrentPolygon(db, polygon);
  if (!p || !t || !out || p->vertexCount < 0 || p->points.size() < size_t(p->vertexCount)) return ERR_PARAM;
  ObjLayer* l = db->currentLayer;
  const int n = p->vertexCount;
  int result = 0;
  Projection pr;
  if (t->projection == PROJ_UV_MAP) {
    result = LookUpUvMap(db, maps ? *maps : FindUvMaps(db, *t), polygon, *p, out);
  } else {
    pr = MakeProjection(db, *t, polygon);
    for (int c = 0; c < n; ++c) {
      const int point = p->points[size_t(c)];
      double u = 0, v = 0;
      if (point >= 0 && size_t(point) < l->points.size()) {
        double xyz[3];
        Transform(pr, l->points[size_t(point)], xyz);
        ProjectPoint(pr, xyz, &u, &v);
        if (pr.kind != PROJ_FRONT) v = 1 - v;
      }
      out[c].u = Snap(u);
      out[c].v = Snap(v);
    }
    if (pr.kind == PROJ_CYLINDRICAL) {
      FixSeam(out, n, &CornerUv::u, pr.wrapWidth);
    } else if (pr.kind == PROJ_SPHERICAL) {
      FixSeam(out, n, &CornerUv::u, pr.wrapWidth);
      FixSeam(out, n, &CornerUv::v, pr.wrapHeight);
    }
  }
  if (flags & UV_SHIFT) {
    ShiftToUnit(out, n, &CornerUv::u);
    ShiftToUnit(out, n, &CornerUv::v);
  }
  for (int c = 0; c < n; ++c) {
    out[c].u = Finite(out[c].u);
    out[c].v = Finite(out[c].v);
    out[c].w = 1.0;
    out[c].point = p->points[size_t(c)];
    out[c].surfaceId = p->surfaceId;
  }
  return result;
}

int ProjectCornerUv(ObjectDb* db, TextureLayer* t, int flags, int polygon, CornerUv* out) {
  return ProjectCorners(db, t, flags, polygon, out, nullptr);
}

// ------------------------------------------------------------- building

// Layer (channel, n) of the polygon's surface, or null.
class LayerLookup {
 public:
  LayerLookup(ObjectDb* db, int channel, int n) : db_(db), channel_(channel), n_(n) {}
  TextureLayer* For(const ObjPolygon& p) { return p.surfaceName ? ForSurface(p.surfaceId) : nullptr; }
  TextureLayer* ForSurface(int surfaceId) {
    auto found = bySurface_.find(surfaceId);
    if (found != bySurface_.end()) return found->second;
    SurfaceAttributes* a = db_->ops.GetSurfaceAttributes(db_, surfaceId);
    TextureLayer* t = a ? db_->ops.GetTextureLayer(db_, a, channel_, n_) : nullptr;
    bySurface_.emplace(surfaceId, t);
    return t;
  }

 private:
  ObjectDb* db_;
  int channel_, n_;
  std::unordered_map<int, TextureLayer*> bySurface_;
};

// The corners a pass of MapPolygonUvs has mapped so far, for shared
// coordinates. When no polygon has a current channel as the pass begins, the
// only corners AddSharedUv can match are those of the polygons the pass has
// been through, met in polygon and corner order. The distinct coordinate
// indices those corners gave are kept here per point in that order (a
// repeat can never be the first match), so a lookup reads one or two
// indices rather than the record of every polygon at the point, and finds
// what the walk would find. No point links are needed.
class MappedCorners {
 public:
  // False, and the walk is used instead, when a polygon has a current
  // channel (or memory is short). `noneCurrent` says the caller knows none
  // has.
  bool Begin(ObjLayer& l, bool noneCurrent) {
    if (!noneCurrent && AnyCurrent(l)) return false;
    try {
      AssignMapped(slot_, l.points.size(), kNone);
      chain_.clear();
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  // The coordinate AddSharedUv would share for (u, v, w) at point, or -1.
  int Find(const ObjLayer& l, int point, double u, double v, double w) const {
    if (point < 0 || size_t(point) >= slot_.size()) return -1;
    auto matches = [&](int32_t i) {
      if (i < 0 || size_t(i) >= l.uvs.size()) return false;
      const ObjUv& o = l.uvs[size_t(i)];
      return std::fabs(o.u - u) < kEps && std::fabs(o.v - v) < kEps && std::fabs(o.w - w) < kEps;
    };
    const int32_t s = slot_[size_t(point)];
    if (s >= 0) return matches(s) ? s : -1;
    for (int32_t k = ChainOf(s); k >= 0; k = chain_[size_t(k)].next)
      if (matches(chain_[size_t(k)].uv)) return chain_[size_t(k)].uv;
    return -1;
  }

  // Polygon pi has been through the pass, mapped or not. False when memory
  // ran out.
  bool Done(ObjLayer& l, size_t pi) {
    const ObjPolygon& p = l.Polygons()[pi];
    const CornerChannel* ch = p.currentChannel;
    if (!ch) return true;
    const size_t n = std::min({p.points.size(), size_t(std::max(p.vertexCount, 0)), ch->values.size()});
    try {
      for (size_t c = 0; c < n; ++c) {
        const int32_t point = p.points[c];
        if (point >= 0 && size_t(point) < slot_.size()) Add(slot_[size_t(point)], ch->values[c]);
      }
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

 private:
  static bool AnyCurrent(ObjLayer& l) {
    for (const ObjPolygon& p : l.Polygons())
      if (p.currentChannel) return true;
    return false;
  }

  // A point's slot: kNone, a coordinate index when it has one, or a chain
  // of them (kChain - first link) once it has more.
  static constexpr int32_t kNone = -1;
  static constexpr int32_t kChain = -2;
  struct Link {
    int32_t uv;
    int32_t next;
  };
  static int32_t ChainOf(int32_t slot) { return slot <= kChain ? kChain - slot : -1; }

  void Add(int32_t& slot, int32_t uv) {
    if (uv < 0 || slot == uv) return;
    if (slot == kNone) {
      slot = uv;
      return;
    }
    if (chain_.size() >= size_t(INT32_MAX - 2)) throw std::bad_alloc();
    int32_t k = ChainOf(slot);
    if (k < 0) {
      chain_.push_back({slot, -1});
      slot = kChain - int32_t(chain_.size() - 1);
      k = ChainOf(slot);
    }
    for (;; k = chain_[size_t(k)].next) {
      if (chain_[size_t(k)].uv == uv) return;
      if (chain_[size_t(k)].next < 0) break;
    }
    chain_.push_back({uv, -1});
    chain_[size_t(k)].next = int32_t(chain_.size() - 1);
  }

  std::vector<int32_t> slot_;
  std::vector<Link> chain_;
};

bool AnySurfaceHasLayer(ObjectDb* db, int channel, int n) {
  for (ObjSurface& s : db->store->surfaces) {
    SurfaceAttributes* a = db->ops.GetSurfaceAttributes(db, s.id);
    if (a && db->ops.GetTextureLayer(db, a, channel, n)) return true;
  }
  return false;
}

// Scratch and state of one MapPolygonUvs pass.
struct UvPass {
  int channel, n, flags;
  LayerLookup lookup;
  std::vector<CornerUv> corners;
  std::vector<int32_t> indices;
  size_t mapped;                  // the UV list's room mapped so far (see PrefaultForWriting)
  const MappedCorners* done;      // answers shared lookups when set
  bool libraryOps;                // no slot of the table replaced (HasLibraryOps)
};

// Gives polygon pi's projected corners (`corners`, vertexCount of them) their
// coordinate indices and the polygon its channel; 0 or ERR_MEMORY.
int SharePolygon(ObjectDb* db, UvPass& pass, size_t pi, const CornerUv* corners) {
  // The list's room is mapped a step ahead of the coordinates added to it,
  // never more than a step past the last one.
  constexpr size_t kMapStep = kParallelPrefault / sizeof(ObjUv);
  ObjLayer* l = db->currentLayer;
  const int corner = l->Polygons()[pi].vertexCount;
  if (l->uvs.size() + size_t(corner) > pass.mapped) {
    const size_t step = std::min(l->uvs.capacity() - l->uvs.size(), kMapStep);
    PrefaultForWriting(l->uvs.data() + l->uvs.size(), l->uvs.data() + l->uvs.size() + step);
    pass.mapped = l->uvs.size() + step;
  }
  try {
    pass.indices.resize(size_t(corner));  // every corner is given its index below
  } catch (const std::bad_alloc&) {
    return SetError(db, ERR_MEMORY);
  }
  const bool share = (pass.flags & UV_SHARE) != 0;
  for (int c = 0; c < corner; ++c) {
    const CornerUv& k = corners[c];
    int index;
    if (pass.done) {
      index = pass.done->Find(*l, k.point, k.u, k.v, k.w);
      if (index < 0) index = AddUv(db, k.u, k.v, k.w);
    } else {
      index = share ? db->ops.AddSharedUv(db, k.point, k.u, k.v, k.w) : db->ops.AddUv(db, k.u, k.v, k.w);
    }
    if (index < 0) return SetError(db, ERR_MEMORY);
    pass.indices[size_t(c)] = index;
  }
  try {
    if (pass.libraryOps) {
      // SelectPolygonChannel and SetPolygonChannelValues on the record in hand.
      SelectChannel(l->Polygons()[pi], pass.channel, pass.n)->values.assign(pass.indices.begin(), pass.indices.end());
      return 0;
    }
    if (!db->ops.SelectPolygonChannel(db, int(pi), pass.channel, pass.n)) return 0;
  } catch (const std::bad_alloc&) {
    return SetError(db, ERR_MEMORY);
  }
  db->ops.SetPolygonChannelValues(db, int(pi), corner, pass.indices.data());
  return 0;
}

// Maps polygon pi's corners for the pass; 0 or ERR_MEMORY.
int MapPolygon(ObjectDb* db, UvPass& pass, size_t pi) {
  const ObjPolygon& p = db->currentLayer->Polygons()[pi];
  TextureLayer* t = pass.lookup.For(p);
  if (!t || p.vertexCount <= 0) return 0;
  try {
    pass.corners.assign(size_t(p.vertexCount), CornerUv());
  } catch (const std::bad_alloc&) {
    return SetError(db, ERR_MEMORY);
  }
  if (db->ops.ProjectCornerUv(db, t, pass.flags, int(pi), pass.corners.data()) != 0) return 0;
  return SharePolygon(db, pass, pi, pass.corners.data());
}

// One stretch of polygons projected ahead of their sharing: each polygon's
// corners start at its offset, -1 for a polygon that is not mapped.
struct ProjectedStretch {
  size_t begin = 0, end = 0;
  std::vector<int64_t> offset;
  std::vector<CornerUv> corners;
};

// Projects polygons [begin, end) into `into`. Reads the polygons, points and
// maps only (the texture layers were looked up before), so it runs beside
// the sharing of the stretch before.
void ProjectStretch(ObjectDb* db, const UvPass& pass, const std::vector<TextureLayer*>& layerOf, size_t begin,
                    size_t end, ProjectedStretch& into) {
  const auto& polys = db->currentLayer->Polygons();
  into.begin = begin;
  into.end = end;
  into.offset.assign(end - begin, -1);
  auto layerFor = [&](const ObjPolygon& p) {
    return p.surfaceName && p.surfaceId >= 0 && size_t(p.surfaceId) < layerOf.size() ? layerOf[size_t(p.surfaceId)]
                                                                                      : nullptr;
  };
  size_t room = 0;
  for (size_t pi = begin; pi < end; ++pi)
    if (polys[pi].vertexCount > 0 && layerFor(polys[pi])) room += size_t(polys[pi].vertexCount);
  into.corners.resize(room);
  // Only the library's operations run here (see MapInStretches), so each
  // texture layer's UV maps are looked up once rather than per polygon.
  const TextureLayer* mapsOf = nullptr;
  UvMaps maps;
  size_t at = 0;
  for (size_t pi = begin; pi < end; ++pi) {
    const ObjPolygon& p = polys[pi];
    TextureLayer* t = layerFor(p);
    if (!t || p.vertexCount <= 0) continue;
    if (t->projection == PROJ_UV_MAP && t != mapsOf) {
      maps = FindUvMaps(db, *t);
      mapsOf = t;
    }
    if (ProjectCorners(db, t, pass.flags, int(pi), into.corners.data() + at, &maps) != 0) continue;
    into.offset[pi - begin] = int64_t(at);
    at += size_t(p.vertexCount);
  }
}

// The pass over polygons [0, count) in stretches: while one stretch is
// shared on the calling thread, the next is projected on another.
int MapInStretches(ObjectDb* db, UvPass& pass, MappedCorners& done, bool tracked, size_t count) {
  // Long enough that starting a thread per stretch costs little, short
  // enough that the two halves keep in step: 16 stretches or more.
  const size_t stretch = std::max<size_t>(1, std::min<size_t>(count / 16, 16384));
  ObjLayer* l = db->currentLayer;
  try {
    // Texture layers are looked up here, once per surface: the lookup may
    // build a surface's attributes, which the projections then only read.
    std::vector<TextureLayer*> layerOf(size_t(std::max(db->ops.GetSurfaceCount(db), 0)));
    for (size_t id = 0; id < layerOf.size(); ++id) layerOf[id] = pass.lookup.ForSurface(int(id));
    ProjectedStretch ready, next;
    ProjectStretch(db, pass, layerOf, 0, std::min(stretch, count), ready);
    while (ready.begin < count) {
      const size_t begin = ready.begin, end = ready.end;
      int status = 0;
      auto step = [&](unsigned k) {
        if (k == 1) {
          ProjectStretch(db, pass, layerOf, end, std::min(end + stretch, count), next);
          return;
        }
        for (size_t pi = begin; pi < end && status == 0; ++pi) {
          pass.done = tracked ? &done : nullptr;
          const int64_t at = ready.offset[pi - begin];
          if (at >= 0) status = SharePolygon(db, pass, pi, ready.corners.data() + at);
          if (status == 0 && tracked && !done.Done(*l, pi)) status = SetError(db, ERR_MEMORY);
        }
      };
      RunParts(end < count ? 2 : 1, step);
      if (status) return status;
      if (end >= count) break;
      std::swap(ready, next);
    }
  } catch (const std::bad_alloc&) {
    return SetError(db, ERR_MEMORY);
  }
  return 0;
}

// Point links for a pass that looks shared coordinates up by the walk,
// which reads them: made for the first such pass and kept for the rest.
struct PassLinks {
  bool tried = false;
  bool made = false;  // made here, so released when the passes are over
  int status = 0;
};

int MakePassLinks(ObjectDb* db, PassLinks& links) {
  if (links.tried) return links.status;
  links.tried = true;
  ObjLayer* l = db->currentLayer;
  if (l->pointLinksHeld && l->pointLinksBuilt) return 0;
  const ObjErrorCode before = db->error;
  links.status = db->ops.BuildPointPolygonLinks(db);
  links.made = links.status == 0;
  if (links.status == ERR_DATABASE) {
    db->error = before;  // no points: nothing to link
    links.status = 0;
  }
  return links.status;
}

// MapPolygonUvs; `noneCurrent` as for MappedCorners::Begin. With `links`,
// point links are made for a shared pass that cannot be tracked.
int MapUvs(ObjectDb* db, int channel, int n, int flags, bool noneCurrent, PassLinks* links = nullptr) {
  ObjLayer* l = db->currentLayer;
  if (!l) return ERR_PARAM;
  if (!AnySurfaceHasLayer(db, channel, n)) return 0;
  if (l->uvs.empty()) {
    // Shared coordinates come to about one per point: room for those taken
    // at once instead of by doubling, which copies and touches the list
    // twice over. More (seams, unshared corners) grow it as before.
    try {
      l->uvs.reserve(l->points.size());
    } catch (const std::bad_alloc&) {
      // Grown one append at a time instead.
    }
  }
  UvPass pass{channel, n, flags, LayerLookup(db, channel, n), {}, {}, l->uvs.size(), nullptr, HasLibraryOps(db)};
  // The library's own sharing is answered from the corners mapped so far.
  MappedCorners done;
  bool tracked = (flags & UV_SHARE) && db->ops.AddSharedUv == AddSharedUv && done.Begin(*l, noneCurrent);
  if ((flags & UV_SHARE) && !tracked && links && MakePassLinks(db, *links) == ERR_MEMORY) return ERR_MEMORY;
  const size_t count = l->Polygons().size();
  // Projecting a polygon reads nothing the sharing writes, so with the
  // library's own operations the two overlap.
  if (PartsFor(count) > 1 && HasLibraryOps(db)) return MapInStretches(db, pass, done, tracked, count);
  for (size_t pi = 0; pi < count; ++pi) {
    pass.done = tracked ? &done : nullptr;
    const int status = MapPolygon(db, pass, pi);
    if (status) return status;
    if (tracked && !done.Done(*l, pi)) return SetError(db, ERR_MEMORY);
  }
  return 0;
}

int MapPolygonUvs(ObjectDb* db, int channel, int n, int flags) { return MapUvs(db, channel, n, flags, false); }

// How many layers of that channel the richest surface has: layer indices at
// or beyond it exist on no surface.
int LayerCountOf(ObjectDb* db, int channel) {
  int most = 0;
  for (ObjSurface& s : db->store->surfaces) {
    SurfaceAttributes* a = db->ops.GetSurfaceAttributes(db, s.id);
    if (!a) continue;
    int n = 0;
    for (auto& t : a->layers) n += t->channel == channel;
    most = std::max(most, n);
  }
  return most;
}

int BuildUvs(ObjectDb* db, int channels, int layerCount, int flags) {
  if (!db->currentLayer) return ERR_PARAM;
  int status = db->ops.FreeUvs(db);
  if (status) return status;
  // FreeUvs leaves no polygon a current channel; a side file read part way
  // may have given some one.
  const bool libraryOps = HasLibraryOps(db);
  bool noneCurrent = libraryOps;
  // On a layer as its reader left it, the passes give the only channels:
  // when each was the first colour layer's, every polygon that has that
  // channel has it current already, and the others have none.
  bool firstColorCurrent = libraryOps && db->currentLayer->noCornerChannels;
  if (flags & UV_TRY_FILE) {
    const int read = db->ops.LoadUvFile(db, flags);
    if (read == 0) return 0;
    if (read != ERR_FILE_OPEN) noneCurrent = firstColorCurrent = false;
  }
  // The library's own passes make the point links only when a pass needs
  // them (see MapUvs); a replaced pass may walk the links from the start.
  PassLinks links;
  ObjLayer* l = db->currentLayer;
  int result = 0;
  if ((flags & UV_SHARE) && !libraryOps) result = MakePassLinks(db, links) == ERR_MEMORY ? ERR_MEMORY : 0;
  for (int bit = 0; bit < 8 && result == 0; ++bit) {
    const int channel = 1 << bit;
    if (!(channels & channel)) continue;
    const int count = std::min(layerCount, LayerCountOf(db, channel));
    for (int n = 0; n < count && result == 0; ++n) {
      if (channel != TEX_COLR || n != 0) firstColorCurrent = false;
      result = libraryOps ? MapUvs(db, channel, n, flags, noneCurrent, &links)
                          : db->ops.MapPolygonUvs(db, channel, n, flags);
      noneCurrent = false;  // the pass has given polygons channels of their own
    }
  }
  if (libraryOps) {
    SelectFirstColorLayers(db, firstColorCurrent ? l : nullptr);
  } else {
    db->ops.SelectTextureLayers(db, 0, 0);
    db->ops.SelectTextureLayers(db, TEX_COLR, 0);
  }
  if (links.made && !l->pointLinksHeld) db->ops.FreePointPolygonLinks(db);
  return result;
}

}  // namespace

void InstallUvOps(ObjectDbOps& o) {
  o.GetUvCount = GetUvCount;
  o.AddUv = AddUv;
  o.AddSharedUv = AddSharedUv;
  o.GetUv = GetUv;
  o.SetUv = SetUv;
  o.BuildUvs = BuildUvs;
  o.MapPolygonUvs = MapPolygonUvs;
  o.ProjectCornerUv = ProjectCornerUv;
  o.FreeUvs = FreeUvs;
  InstallSideFileOps(o);
}
