// Polygon triangulation: each polygon is projected onto its plane, cut into
// y-monotone faces by a plane sweep, and each face into triangles; convex and
// self-crossing polygons are fanned. The working records of one polygon are
// plain arrays indexed by integers (edges and faces never move while a
// polygon is processed) and are reused from polygon to polygon.
#include "triangulate.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "ops_internal.h"
#include "parallel.h"

namespace {

constexpr double kEps = 1.1920928955078125e-07;      // 2^-23
constexpr double kEps2 = 1.4210854715202004e-14;     // 2^-46
constexpr double kBridgeShift = 1.1920928955078125e-06;  // ten times kEps
constexpr double kPi = 3.14159265358979323846;

enum Kind { REGULAR = 0, START = 1, SPLIT = 2, END = 3, MERGE = 4 };
const char* const kKindNames[5] = {"REGULAR", "START", "SPLIT", "END", "MERGE"};

struct Node {
  int corner = 0;  // position in the (deduplicated) polygon; also the node's index
  int point = 0;
  double x = 0, y = 0;
  int kind = REGULAR;
};

// An undirected edge remembering one orientation. Links are indices into the
// edge pool, -1 for none.
struct Edge {
  int id = 0;
  int start = -1, end = -1;  // nodes
  int helper = -1;           // sweep helper node
  int origin = -1;           // node at which the face being processed enters it
  int next = -1, prev = -1;  // edge-set ring
  int nextFwd = -1;          // successor in the face walking start -> end
  int nextBwd = -1;          // successor in the face walking end -> start
  int faceFwd = -1, faceBwd = -1;
};

struct Face {
  int id = 0;
  int count = 0;
  int firstEdge = -1;
  int firstNode = -1;
};

// Values of the source polygon, taken after repeated corners are removed, so
// that writing a triangle into the polygon itself never reads values it has
// already overwritten.
struct Source {
  int index = 0;
  const char* surface = nullptr;
  std::vector<int32_t> points, normals, colors;
  struct Channel {
    int16_t key = 0, key2 = 0;
    std::vector<int32_t> values;
  };
  std::vector<Channel> channels;
  bool hasCurrent = false;
  int16_t currentKey = 0, currentKey2 = 0;
};

double Dist2(double ax, double ay, double bx, double by) {
  double dx = ax - bx, dy = ay - by;
  return dx * dx + dy * dy;
}

double Dist2(const ObjPoint& a, const ObjPoint& b) {
  double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz;
}

// Sweep order: higher first, on one level left first; points within eps of
// each other in both coordinates come before neither. Not a strict weak
// ordering (ties within eps are not transitive), so it is never handed to
// std::sort; BuildQueue's merge sort stays in bounds whatever it answers.
bool Before(const Node& a, const Node& b) {
  double dy = a.y - b.y;
  if (dy > kEps) return true;
  return std::fabs(dy) < kEps && b.x - a.x > kEps;
}

// cross(b - o, c - o)
double Cross(const Node& o, const Node& b, const Node& c) {
  return (b.x - o.x) * (c.y - o.y) - (b.y - o.y) * (c.x - o.x);
}

// For the triangulation, which visits polygons in order and reads each
// one's points: asks for the record of polygon i + kRecordsAhead and for
// the points of polygon i + kPointsAhead (whose record was asked for
// earlier) to be brought into the cache, where both would otherwise be
// waited for.
void PrefetchPolygonWalk(const ObjLayer& l, const std::vector<ObjPolygon>& polys, size_t i, size_t end) {
#if defined(__GNUC__)
  constexpr size_t kRecordsAhead = 16, kPointsAhead = 8;
  if (i + kRecordsAhead < end) {
    const char* record = reinterpret_cast<const char*>(&polys[i + kRecordsAhead]);
    for (size_t b = 0; b < sizeof(ObjPolygon); b += 64) __builtin_prefetch(record + b);
  }
  if (i + kPointsAhead < end) {
    const ObjPolygon& p = polys[i + kPointsAhead];
    const size_t n = std::min(p.points.size(), size_t(CornerArray::kInline));
    for (size_t c = 0; c < n; ++c) {
      const uint32_t q = uint32_t(p.points[c]);
      if (q < l.points.size()) __builtin_prefetch(&l.points[q]);
    }
  }
#else
  (void)l;
  (void)polys;
  (void)i;
  (void)end;
#endif
}

// A stretch of the aside lists, sized beforehand, that one part of the
// polygons fills while other parts fill stretches of their own.
struct AsideStretch {
  int32_t* surfaceIds = nullptr;
  int32_t* points = nullptr;  // three per triangle, as are normals and channel
  int32_t* normals = nullptr;
  int32_t* channel = nullptr;
  size_t room = 0;   // triangles it holds
  size_t count = 0;  // triangles written
};

class Triangulator {
 public:
  // With `shared` set, several triangulators work on one object at once,
  // each on polygons of its own: Run then leaves the object's error field
  // to the caller. Appended triangles go to `aside`, or to `stretch`, when
  // set, instead of the polygon list.
  explicit Triangulator(ObjectDb* db, AsideTriangles* aside = nullptr, bool shared = false,
                        AsideStretch* stretch = nullptr)
      : db_(db), aside_(aside), stretch_(stretch), shared_(shared), libraryOps_(HasLibraryOps(db)) {}

  // Triangulates polygon `index` (already range-checked). 0 or ERR_MEMORY.
  int Run(int index, int flags) {
    distinct_ = written_ = dropped_ = 0;
    try {
      return RunPolygon(index, flags);
    } catch (const std::bad_alloc&) {
      return shared_ ? int(ERR_MEMORY) : SetError(db_, ERR_MEMORY);
    }
  }

  // What the last Run did: corners left after removing repeats, triangles
  // written, triangles dropped as degenerate.
  int distinct_ = 0, written_ = 0, dropped_ = 0;

 private:
  ObjectDb* db_;
  AsideTriangles* aside_;  // where appended triangles go instead, when set
  AsideStretch* stretch_;
  bool shared_;
  bool libraryOps_;  // the source is then rewritten on its record, not through the table
  // The surface of the last triangle set aside.
  const char* lastSurfaceName_ = nullptr;
  int32_t lastSurfaceId_ = 0;
  bool lastSurfaceKnown_ = false;
  std::vector<Node> nodes_;
  std::vector<Edge> edges_;  // pool: polygon edges, then diagonals
  int edgeHead_ = -1;        // ring of the edge set
  int edgeCount_ = 0;
  std::vector<int> pending_;  // diagonals not yet applied, in creation order
  std::vector<Face> faces_;
  std::vector<int> queue_, sortTmp_;
  std::vector<int> tree_;   // sweep status: edges, in insertion order
  std::vector<int> stack_;  // chain stack
  size_t stackCapacity_ = 0;
  bool convex_ = false;
  Source src_;
  std::vector<int> newPolygons_;
  std::vector<int32_t> newPoints_;  // three per new polygon
  std::vector<int32_t> rewritten_;  // FixVMads: the rewritten source's points
  std::vector<float> values_;       // FixVMads: one node's values

  // ------------------------------------------------------------- tracing

  // Without a log a trace line costs one test here: the arguments are
  // neither converted nor passed on to the formatting call.
  template <typename... Args>
  void Trace(const char* format, Args... args) {
    if (db_->logFile) TraceLine(format, args...);
  }
  // A line without conversions is written as it stands.
  void Trace(const char* text) {
    if (db_->logFile) TraceLine("%s", text);
  }

#if defined(__GNUC__)
  __attribute__((format(printf, 2, 3)))
#endif
  void TraceLine(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    db_->ops.Log(db_, "%s", line);
  }

  static const char* KindName(int kind) { return kKindNames[kind >= 0 && kind < 5 ? kind : 0]; }

  // ------------------------------------------------------ polygon set-up

  int RunPolygon(int index, int flags) {
    ObjLayer* layer = db_->currentLayer;
    ObjPolygon* p = CurrentPolygon(db_, index);
    if (!layer || !p) return ERR_PARAM;
    if (!RemoveRepeatedCorners(*layer, *p)) return 0;
    distinct_ = p->vertexCount;
    if (p->vertexCount < 4) return 0;
    TakeSource(index, *p);
    Project(index);
    // Nearly every polygon cut is a quadrilateral that ends as a fan: that
    // answer is found without the sweep's lists (and, with a log, the lists
    // are made anyway for their trace).
    if (db_->logFile || !QuadFans()) {
      SeparateBridges();
      MakePolygonList();
    } else {
      convex_ = true;
    }
    if (convex_) {
      if (!(flags & TRI_KEEP_CONVEX)) OutputConvex();
      return 0;
    }
    MakeMonotone();
    MakeFaceLinks();
    TriangulateMonotonePolygon();
    MakeFaceLinks();
    OutputTriangles();
    return 0;
  }

  // Drops every corner whose position repeats the last kept one (and a last
  // corner repeating corner 0), sliding per-corner values down with it.
  // False when the polygon cannot be read safely (then it is left alone).
  bool RemoveRepeatedCorners(const ObjLayer& layer, ObjPolygon& p) {
    const int n = p.vertexCount;
    if (n < 1 || p.points.size() < size_t(n)) return false;
    for (int i = 0; i < n; ++i) {
      int32_t q = p.points[size_t(i)];
      if (q < 0 || size_t(q) >= layer.points.size()) return false;
    }
    auto at = [&](int c) -> const ObjPoint& { return layer.points[size_t(p.points[size_t(c)])]; };
    std::vector<int>& keep = queue_;  // scratch
    keep.clear();
    keep.push_back(0);
    for (int i = 1; i < n; ++i)
      if (Dist2(at(i), at(keep.back())) >= kEps2) keep.push_back(i);
    if (keep.size() > 1 && Dist2(at(keep.back()), at(0)) < kEps2) keep.pop_back();
    const int kept = int(keep.size());
    if (kept == n) return true;

    auto slide = [&](CornerArray& values, int32_t fill) {
      if (values.empty()) return;
      values.resize(size_t(n), fill);
      for (int r = 0; r < kept; ++r) values[size_t(r)] = values[size_t(keep[size_t(r)])];
      values.resize(size_t(kept));
    };
    slide(p.points, 0);
    slide(p.normals, -1);
    slide(p.colors, -1);
    for (auto& c : p.channels) {
      if (c.values.empty()) c.values.assign(size_t(n), 0);
      slide(c.values, 0);
    }
    p.vertexCount = kept;
    return true;
  }

  void TakeSource(int index, const ObjPolygon& p) {
    const size_t n = size_t(p.vertexCount);
    auto perCorner = [n](const CornerArray& from, std::vector<int32_t>& to, int32_t fill) {
      to.clear();
      if (from.empty()) return;
      to.assign(from.begin(), from.begin() + ptrdiff_t(std::min(n, from.size())));
      to.resize(n, fill);
    };
    src_.index = index;
    src_.surface = p.surfaceName;
    perCorner(p.points, src_.points, 0);
    perCorner(p.normals, src_.normals, -1);
    perCorner(p.colors, src_.colors, -1);
    // The channel records (and their value buffers) of the last polygon are
    // reused: nearly every polygon has as many channels as the one before.
    size_t k = 0;
    for (auto& c : p.channels) {
      if (k == src_.channels.size()) src_.channels.emplace_back();
      Source::Channel& to = src_.channels[k++];
      to.key = c.key;
      to.key2 = c.key2;
      to.values.assign(n, 0);
      for (size_t i = 0; i < n && i < c.values.size(); ++i) to.values[i] = c.values[i];
    }
    src_.channels.resize(k);
    src_.hasCurrent = p.currentChannel != nullptr;
    if (src_.hasCurrent) {
      src_.currentKey = p.currentChannel->key;
      src_.currentKey2 = p.currentChannel->key2;
    }
  }

  // Rotates every corner so that the face normal becomes +Z; x, y are kept.
  void Project(int index) {
    double n[3] = {0, 0, 0};
    db_->ops.GetPolygonNormal(db_, index, n);
    const double nx = n[0], ny = n[1], nz = n[2];
    const double h = std::sqrt(nx * nx + nz * nz);
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    const ObjLayer& layer = *db_->currentLayer;
    nodes_.assign(src_.points.size(), Node());
    for (size_t i = 0; i < nodes_.size(); ++i) {
      const ObjPoint& q = layer.points[size_t(src_.points[i])];
      Node& node = nodes_[i];
      node.corner = int(i);
      node.point = src_.points[i];
      if (h >= kEps) {
        node.x = (q.x * nz - q.z * nx) / h;
        node.y = (-q.x * nx * ny + q.y * h * h - q.z * ny * nz) / (h * len);
      } else {
        node.x = -ny * q.x;
        node.y = q.z;
      }
      node.kind = REGULAR;
      Trace("[%d] XY<%f,%f> POS<%f,%f,%f>\n", node.corner, node.x, node.y, q.x, q.y, q.z);
    }
  }

  // An edge that retraces an earlier edge k -> k+1 backwards (a bridge to a
  // hole) is moved a little to its left, so that the outline no longer runs
  // over itself. The closing edge is checked too: where the outline starts
  // decides nothing about where its bridges are.
  void SeparateBridges() {
    const int n = int(nodes_.size());
    double area = 0;
    for (int i = 1; i + 1 < n; ++i) area += Cross(nodes_[0], nodes_[size_t(i)], nodes_[size_t(i + 1)]);
    const double orient = area < 0 ? -1 : 1;
    for (int i = 3; i <= n; ++i) {
      const int a = i - 1, b = i % n;
      for (int k = 0; k <= i - 2; ++k) {
        if (nodes_[size_t(k)].point == nodes_[size_t(b)].point &&
            nodes_[size_t(k + 1)].point == nodes_[size_t(a)].point) {
          ShiftApart(a, b, orient);
          break;
        }
      }
    }
  }

  // Moves both ends of edge a -> b by kBridgeShift to the edge's left. An end
  // where that would swing one of its edges across the other copy of the
  // node (see IntoCorner) moves along its corner's bisector instead.
  void ShiftApart(int a, int b, double orient) {
    const Node &A = nodes_[size_t(a)], &B = nodes_[size_t(b)];
    const double dx = B.x - A.x, dy = B.y - A.y;
    const double d = std::sqrt(dx * dx + dy * dy);
    if (!(d >= kEps)) return;  // a zero-length projected edge has no side to move to
    const double nx = -dy / d, ny = dx / d;
    double move[2][2];
    const int ends[2] = {a, b};
    for (int e = 0; e < 2; ++e) {
      move[e][0] = nx;
      move[e][1] = ny;
      IntoCorner(ends[e], orient, move[e]);
    }
    for (int e = 0; e < 2; ++e) {
      nodes_[size_t(ends[e])].x += move[e][0] * kBridgeShift;
      nodes_[size_t(ends[e])].y += move[e][1] * kBridgeShift;
    }
  }

  // Keeps unit direction s when moving node v along it keeps both of v's
  // edges inside v's corner (the interior angle from its outgoing to its
  // incoming edge, counter-clockwise for orient 1): s must lie in the corner
  // and within 180 degrees of each edge. Otherwise s becomes the corner's
  // bisector, which always qualifies. Spikes (corners of nearly 0 or 360
  // degrees) keep s.
  void IntoCorner(int v, double orient, double s[2]) const {
    const int n = int(nodes_.size());
    const Node& V = nodes_[size_t(v)];
    const Node& prev = nodes_[size_t((v + n - 1) % n)];
    const Node& next = nodes_[size_t((v + 1) % n)];
    double ox = next.x - V.x, oy = next.y - V.y, ix = prev.x - V.x, iy = prev.y - V.y;
    double lo = std::sqrt(ox * ox + oy * oy), li = std::sqrt(ix * ix + iy * iy);
    if (!(lo >= kEps) || !(li >= kEps)) return;
    ox /= lo;
    oy /= lo;
    auto angle = [orient, ox, oy](double x, double y) {
      double t = std::atan2(orient * (ox * y - oy * x), ox * x + oy * y);
      return t < 0 ? t + 2 * kPi : t;
    };
    const double corner = angle(ix / li, iy / li);
    if (corner < 1e-9 || corner > 2 * kPi - 1e-9) return;
    const double toS = angle(s[0], s[1]);
    if (toS > 0 && toS < corner && toS < kPi && corner - toS < kPi) return;
    const double c = std::cos(corner / 2), sn = orient * std::sin(corner / 2);
    s[0] = ox * c - oy * sn;
    s[1] = ox * sn + oy * c;
  }

  // ------------------------------------------------------------ edge sets

  int NewEdge(int start, int end, int id) {
    Edge e;
    e.id = id;
    e.start = start;
    e.end = end;
    edges_.push_back(e);
    return int(edges_.size() - 1);
  }

  // Queues a diagonal (a, b); a missing or repeated end adds nothing.
  void AddDiagonal(int a, int b) {
    if (a < 0 || b < 0 || a == b) return;
    int e = NewEdge(a, b, int(pending_.size()));
    pending_.push_back(e);
    Trace("\t\t----->  POLY_EDGE_ADD[%d] SP<%d> EP<%d>  ***\n", edges_[size_t(e)].id, a, b);
  }

  int OtherEnd(int e, int node) const {
    const Edge& E = edges_[size_t(e)];
    return node == E.start ? E.end : E.start;
  }

  // Face walk: from edge e entered at node n, the next edge; n becomes the
  // node at which that edge is entered.
  int Step(int e, int& n) const {
    const Edge& E = edges_[size_t(e)];
    if (n == E.end) {
      n = E.start;
      return E.nextBwd;
    }
    if (n == E.start) {
      n = E.end;
      return E.nextFwd;
    }
    return -1;
  }

  // Visits (edge, entry node) around a face. Returns the number of edges
  // walked, or -1 when the walk does not close within the edge count.
  template <typename F>
  int WalkFace(const Face& f, F visit) const {
    int e = f.firstEdge, n = f.firstNode, steps = 0;
    const int cap = int(edges_.size());
    while (e >= 0 && n >= 0 && steps < cap) {
      visit(e, n);
      ++steps;
      e = Step(e, n);
      if (e == f.firstEdge && n == f.firstNode) return steps;
    }
    return -1;
  }

  int NodeInFace(int f, int e) const {
    const Edge& E = edges_[size_t(e)];
    if (f == E.faceFwd) return E.start;
    if (f == E.faceBwd) return E.end;
    return -1;
  }

  // 1 when the edge runs down the face's left chain (its node in the face
  // comes first in sweep order), 0 on the right chain, -1 when not on the face.
  int ChainSide(int f, int e) const {
    if (e < 0) return -1;
    int q = NodeInFace(f, e);
    if (q < 0) return -1;
    return Before(nodes_[size_t(q)], nodes_[size_t(OtherEnd(e, q))]) ? 1 : 0;
  }

  // --------------------------------------------------------- polygon list

  void MakePolygonList() {
    Trace("//////////////////////////////  MakePolygonList\n");
    convex_ = true;
    edges_.clear();
    pending_.clear();
    faces_.clear();
    const int n = int(nodes_.size());
    for (auto& node : nodes_)
      if (!std::isfinite(node.x) || !std::isfinite(node.y)) return;  // fanned

    double area = 0;
    for (int i = 1; i + 1 < n; ++i) area += Cross(nodes_[0], nodes_[size_t(i)], nodes_[size_t(i + 1)]);
    const bool flip = area < 0;
    if (flip) Trace("++++++++++  FLIP NODE\n");
    for (int k = 0; k < n; ++k) {
      if (flip)
        NewEdge((n - k) % n, (2 * n - k - 1) % n, k);
      else
        NewEdge(k, (k + 1) % n, k);
    }
    for (int k = 0; k < n; ++k) {
      edges_[size_t(k)].next = (k + 1) % n;
      edges_[size_t(k)].prev = (k + n - 1) % n;
    }
    edgeHead_ = 0;
    edgeCount_ = n;

    for (int i = 0; i < n; ++i)
      for (int j = i + 2; j < n; ++j) {
        if (i == 0 && j == n - 1) continue;
        if (SegmentsCross(edges_[size_t(i)], edges_[size_t(j)])) {
          Trace("%% INTERSECT LINE(%d)-LINE(%d)\n", edges_[size_t(i)].id, edges_[size_t(j)].id);
          return;
        }
      }

    for (int k = 0; k < n; ++k) {
      Edge& e = edges_[size_t(k)];
      Node& v = nodes_[size_t(e.start)];
      const Node& next = nodes_[size_t(e.end)];
      const Node& prev = nodes_[size_t(edges_[size_t(e.prev)].start)];
      bool isConvex = Cross(prev, v, next) >= 0;
      if (!isConvex) convex_ = false;
      if (Before(v, prev) && Before(v, next))
        v.kind = isConvex ? START : SPLIT;
      else if (Before(prev, v) && Before(next, v))
        v.kind = isConvex ? END : MERGE;
      else
        v.kind = REGULAR;
      Trace("EDGE[%d] CONVEX<%d> NODE<%d> POS<%f,%f> PREV[%d] [%s]\n", k, isConvex ? 1 : 0,
            v.corner, v.x, v.y, edges_[size_t(e.prev)].id, KindName(v.kind));
      e.nextFwd = e.next;
      e.faceFwd = 0;
    }
    Face f;
    f.id = 0;
    f.count = n;
    f.firstEdge = edgeHead_;
    f.firstNode = edges_[size_t(edgeHead_)].start;
    faces_.push_back(f);
  }

  // True when the nodes are four corners of distinct points that
  // MakePolygonList would leave convex_ (SeparateBridges finds no bridge
  // among distinct points): a corner not finite, the outline crossing
  // itself, or every turn convex. False leaves the polygon to the sweep.
  bool QuadFans() const {
    if (nodes_.size() != 4) return false;
    const Node* v = nodes_.data();
    for (int i = 0; i < 4; ++i) {
      if (!std::isfinite(v[i].x) || !std::isfinite(v[i].y)) return true;
      for (int j = i + 1; j < 4; ++j)
        if (v[i].point == v[j].point) return false;
    }
    const bool flip = Cross(v[0], v[1], v[2]) + Cross(v[0], v[2], v[3]) < 0;
    // The outline's edges k as MakePolygonList lays them out.
    Edge e[4];
    for (int k = 0; k < 4; ++k) {
      e[k].start = flip ? (4 - k) % 4 : k;
      e[k].end = flip ? (7 - k) % 4 : (k + 1) % 4;
    }
    if (SegmentsCross(e[0], e[2]) || SegmentsCross(e[1], e[3])) return true;
    for (int k = 0; k < 4; ++k)
      if (!(Cross(v[e[(k + 3) % 4].start], v[e[k].start], v[e[k].end]) >= 0)) return false;
    return true;
  }

  // Proper crossing of two edges; touching ends, parallel and collinear
  // overlapping edges do not count.
  bool SegmentsCross(const Edge& e1, const Edge& e2) const {
    const Node &a = nodes_[size_t(e1.start)], &b = nodes_[size_t(e1.end)];
    const Node &c = nodes_[size_t(e2.start)], &d = nodes_[size_t(e2.end)];
    double det = (b.y - a.y) * (d.x - c.x) - (b.x - a.x) * (d.y - c.y);
    if (std::fabs(det) < kEps) return false;
    double t = ((d.x - c.x) * (c.y - a.y) - (d.y - c.y) * (c.x - a.x)) / det;
    double s = ((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)) / det;
    if (!(t >= 0 && t <= 1 && s >= 0 && s <= 1)) return false;
    return t >= kEps && 1 - t >= kEps && s >= kEps && 1 - s >= kEps;
  }

  // ---------------------------------------------------------- event queue

  // Sets each edge's origin for face f and sorts the face's edges by origin
  // in sweep order. A merge sort: it stays in bounds whatever the
  // comparison says about nearly coincident points.
  void BuildQueue(const Face& f) {
    queue_.clear();
    WalkFace(f, [&](int e, int n) {
      edges_[size_t(e)].origin = n;
      queue_.push_back(e);
    });
    const size_t m = queue_.size();
    sortTmp_.resize(m);
    auto before = [&](int a, int b) {
      return Before(nodes_[size_t(edges_[size_t(a)].origin)], nodes_[size_t(edges_[size_t(b)].origin)]);
    };
    for (size_t width = 1; width < m; width *= 2) {
      for (size_t lo = 0; lo < m; lo += 2 * width) {
        size_t mid = std::min(lo + width, m), hi = std::min(lo + 2 * width, m);
        size_t i = lo, j = mid, k = lo;
        while (i < mid && j < hi) sortTmp_[k++] = before(queue_[j], queue_[i]) ? queue_[j++] : queue_[i++];
        while (i < mid) sortTmp_[k++] = queue_[i++];
        while (j < hi) sortTmp_[k++] = queue_[j++];
      }
      queue_.swap(sortTmp_);
    }
    for (size_t i = 0; i < m; ++i) {
      const Node& o = nodes_[size_t(edges_[size_t(queue_[i])].origin)];
      Trace("QUEUE [%d] <%f,%f>\n", int(i), o.x, o.y);
    }
  }

  // ------------------------------------------------------ monotone pieces

  int TreeFind(int e) const {
    for (size_t i = 0; i < tree_.size(); ++i)
      if (edges_[size_t(tree_[i])].id == edges_[size_t(e)].id) return int(i);
    return -1;
  }

  void TreeAdd(int e) {
    if (e < 0) {
      Trace("????? TREE ADD [EDGE IS NULL] ??????\n");
      return;
    }
    Trace("TREE ADD EDGE<%d>\n", edges_[size_t(e)].id);
    tree_.push_back(e);
  }

  void TreeRemove(int e) {
    int i = TreeFind(e);
    if (i >= 0) tree_.erase(tree_.begin() + i);
  }

  bool MergeHelper(int e) const {
    int h = edges_[size_t(e)].helper;
    return h >= 0 && nodes_[size_t(h)].kind == MERGE;
  }

  // The tree edge directly left of the event's node, or -1.
  int FindLeftEdge(int ei) const {
    const Edge& E = edges_[size_t(ei)];
    const Node& v = nodes_[size_t(E.start)];
    const Node& vNext = nodes_[size_t(E.end)];
    const Node& vPrev = nodes_[size_t(edges_[size_t(E.prev)].start)];
    if (vNext.kind == START && std::fabs(v.y - vNext.y) < kEps && vNext.x < v.x)
      return TreeFind(E.next) >= 0 ? E.next : -1;

    int bestEdge = -1, bestEntry = -1;
    double bestDx = 0;
    for (int te : tree_) {
      const Edge& c = edges_[size_t(te)];
      const Node& s = nodes_[size_t(c.start)];
      const Node& t = nodes_[size_t(c.end)];
      const Node& lower = s.y < t.y ? s : t;
      const Node& upper = s.y < t.y ? t : s;
      if (!(lower.y <= v.y && v.y <= upper.y)) continue;
      if (!(lower.x <= v.x || upper.x <= v.x)) continue;
      double det = t.y - s.y;  // against the horizontal through v
      if (std::fabs(det) < kEps) continue;
      double k = (v.y - s.y) / det;
      double cx = s.x + k * (t.x - s.x), cy = s.y + k * (t.y - s.y);
      if (Dist2(cx, cy, vNext.x, vNext.y) < kEps2 || Dist2(cx, cy, vPrev.x, vPrev.y) < kEps2) continue;
      double dx = cx - v.x;
      if (!(dx < kEps)) continue;
      if (bestEdge < 0 || (std::fabs(dx - bestDx) < kEps && Dist2(cx, cy, upper.x, upper.y) < kEps2) ||
          dx > bestDx) {
        bestEdge = bestEntry = te;
        bestDx = dx;
      } else if (IsReverse(te, bestEdge)) {
        bestEdge = te;
      }
    }
    if (bestEdge < 0 || ChainSide(0, bestEdge) == 0) return -1;
    return bestEntry;
  }

  bool IsReverse(int a, int b) const {
    const Edge &A = edges_[size_t(a)], &B = edges_[size_t(b)];
    auto near = [&](int p, int q) {
      const Node &P = nodes_[size_t(p)], &Q = nodes_[size_t(q)];
      return std::fabs(P.x - Q.x) < kEps && std::fabs(P.y - Q.y) < kEps;
    };
    return near(A.start, B.end) && near(A.end, B.start);
  }

  void MakeMonotone() {
    Trace("//////////////////////////////  MakeMonotone\n");
    BuildQueue(faces_[0]);
    tree_.clear();
    for (int ei : queue_) {
      const int vi = edges_[size_t(ei)].start;
      const int ePrev = edges_[size_t(ei)].prev;
      switch (nodes_[size_t(vi)].kind) {
        case START:
          TreeAdd(ei);
          edges_[size_t(ei)].helper = vi;
          break;
        case END:
          TreeAdd(ei);
          if (MergeHelper(ePrev)) AddDiagonal(vi, edges_[size_t(ePrev)].helper);
          TreeRemove(ePrev);
          break;
        case SPLIT: {
          int ej = FindLeftEdge(ei);
          if (ej >= 0) {
            AddDiagonal(vi, edges_[size_t(ej)].helper);
            edges_[size_t(ej)].helper = vi;
          }
          TreeAdd(ei);
          edges_[size_t(ei)].helper = vi;
          break;
        }
        case MERGE: {
          if (MergeHelper(ePrev)) AddDiagonal(vi, edges_[size_t(ePrev)].helper);
          TreeRemove(ePrev);
          int ej = FindLeftEdge(ei);
          if (ej >= 0) {
            if (MergeHelper(ej)) AddDiagonal(vi, edges_[size_t(ej)].helper);
            edges_[size_t(ej)].helper = vi;
          }
          break;
        }
        default:
          if (Before(nodes_[size_t(vi)], nodes_[size_t(edges_[size_t(ei)].end)])) {
            int h = edges_[size_t(ePrev)].helper;
            if (h >= 0)
              Trace(" HELP<%d>\n", nodes_[size_t(h)].corner);
            else
              Trace(" HELP<none>\n");
            if (MergeHelper(ePrev)) {
              AddDiagonal(vi, h);
              TreeRemove(ePrev);
            }
            TreeAdd(ei);
            edges_[size_t(ei)].helper = vi;
          } else {
            int ej = FindLeftEdge(ei);
            if (ej >= 0) {
              if (MergeHelper(ej)) AddDiagonal(vi, edges_[size_t(ej)].helper);
              edges_[size_t(ej)].helper = vi;
            }
          }
          break;
      }
    }
    tree_.clear();
  }

  // ----------------------------------------------------------- face links

  // The successor pointer used when edge e is entered at node n.
  int& Successor(int e, int n) {
    Edge& E = edges_[size_t(e)];
    return n == E.start ? E.nextFwd : E.nextBwd;
  }

  // Writes the face's id into the edges it walks and its edge count.
  void StampFace(Face& f) {
    int walked = WalkFace(f, [&](int e, int n) {
      Edge& E = edges_[size_t(e)];
      if (n == E.start)
        E.faceFwd = f.id;
      else
        E.faceBwd = f.id;
    });
    f.count = walked < 0 ? 0 : walked;  // an open walk is never a triangle
  }

  // Splits faces along every pending diagonal.
  void MakeFaceLinks() {
    Trace("//////////////////////////////  MakeFaceLinks\n");
    const int anchor = edges_[size_t(edgeHead_)].prev;  // last edge of the set now
    for (int d : pending_) {
      const int x = edges_[size_t(d)].start, y = edges_[size_t(d)].end;
      int faceIndex = -1, a0 = -1, a0Node = -1, a1 = -1, a1Node = -1;
      for (size_t fi = 0; fi < faces_.size() && faceIndex < 0; ++fi) {
        if (faces_[fi].count == 3) continue;
        int seenX = 0, seenY = 0, e0 = -1, n0 = -1, e1 = -1, n1 = -1;
        int walked = WalkFace(faces_[fi], [&](int e, int n) {
          int far = OtherEnd(e, n);
          if (n == x) ++seenX;
          if (n == y) ++seenY;
          if (far == x && e0 < 0) e0 = e, n0 = n;
          if (far == y && e1 < 0) e1 = e, n1 = n;
        });
        if (walked < 0 || seenX != 1 || seenY != 1 || e0 < 0 || e1 < 0) continue;
        faceIndex = int(fi);
        a0 = e0, a0Node = n0, a1 = e1, a1Node = n1;
      }
      if (faceIndex < 0) {
        Trace("????? NO FACE FOR THE EDGE <%d> ?????\n", edges_[size_t(d)].id);
        continue;
      }
      int& s0 = Successor(a0, a0Node);
      int& s1 = Successor(a1, a1Node);
      edges_[size_t(d)].nextFwd = s1;
      edges_[size_t(d)].nextBwd = s0;
      s1 = d;
      s0 = d;

      Face& kept = faces_[size_t(faceIndex)];
      kept.firstEdge = a0;
      kept.firstNode = a0Node;
      Face added;
      added.id = int(faces_.size());
      added.firstEdge = a1;
      added.firstNode = a1Node;

      Edge& D = edges_[size_t(d)];
      Edge& A = edges_[size_t(anchor)];
      D.id = edgeCount_++;
      D.prev = anchor;
      D.next = A.next;
      edges_[size_t(A.next)].prev = d;
      A.next = d;

      StampFace(faces_[size_t(faceIndex)]);
      faces_.push_back(added);
      StampFace(faces_.back());
    }
    pending_.clear();
  }

  // ------------------------------------------------------------ triangles

  void Push(int e) {
    if (e >= 0 && stack_.size() < stackCapacity_) stack_.push_back(e);
  }

  int Pop() {
    if (stack_.empty()) return -1;
    int e = stack_.back();
    stack_.pop_back();
    return e;
  }

  int Top() {
    if (stack_.empty()) {
      Trace("??????  STUCK IS EMPTY (%d) ????????\n", 0);
      return -1;
    }
    return stack_.back();
  }

  int Origin(int e) const { return e >= 0 ? edges_[size_t(e)].origin : -1; }

  void TriangulateMonotonePolygon() {
    Trace("//////////////////////////////  TriangulateMonotonePolygon\n");
    stackCapacity_ = size_t(edgeCount_);
    const size_t faceCount = faces_.size();
    for (size_t fi = 0; fi < faceCount; ++fi) {
      if (faces_[fi].count == 3) continue;
      const int f = faces_[fi].id;
      BuildQueue(faces_[fi]);
      const size_t m = queue_.size();
      if (m < 4) continue;
      stack_.clear();
      Push(queue_[0]);
      Push(queue_[1]);
      for (size_t j = 2; j + 1 < m; ++j) {
        const int uj = queue_[j];
        const int u = Origin(uj);
        const int side = ChainSide(f, uj);
        if (side == ChainSide(f, Top())) {
          int last = Pop();
          while (!stack_.empty()) {
            const int w = Origin(stack_.back());
            const int l = Origin(last);
            if (u < 0 || w < 0 || l < 0) break;
            const Node& a = nodes_[size_t(side == 1 ? u : w)];
            const Node& b = nodes_[size_t(side == 1 ? w : u)];
            if (Cross(b, nodes_[size_t(l)], a) < 0) break;
            last = Pop();
            AddDiagonal(u, w);
          }
          Push(last);
          Push(uj);
        } else {
          while (!stack_.empty()) {
            int e = Pop();
            if (!stack_.empty()) AddDiagonal(u, Origin(e));
          }
          Push(queue_[j - 1]);
          Push(uj);
        }
      }
      const int z = Origin(queue_[m - 1]);
      Pop();
      while (!stack_.empty()) {
        int e = Pop();
        if (!stack_.empty()) AddDiagonal(z, Origin(e));
      }
    }
  }

  // ---------------------------------------------------------------- output

  // Degeneracy test of a candidate triangle in 3-D: corners closer than
  // 2^-23, or an angle at the first corner whose sine is below 2^-23 (the
  // corners are collinear to single precision, in which files keep points).
  // A coarser bound would also drop thin triangles with real area, which
  // the sweep makes from nearly collinear corners that are not neighbours,
  // and leave cracks.
  bool Solid(const int c[3]) const {
    const ObjLayer& layer = *db_->currentLayer;
    const ObjPoint& a = layer.points[size_t(src_.points[size_t(c[0])])];
    const ObjPoint& b = layer.points[size_t(src_.points[size_t(c[1])])];
    const ObjPoint& d = layer.points[size_t(src_.points[size_t(c[2])])];
    double u[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
    double w[3] = {d.x - a.x, d.y - a.y, d.z - a.z};
    double lu = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    double lw = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    if (!(lu >= kEps) || !(lw >= kEps)) return false;
    for (double& x : u) x /= lu;
    for (double& x : w) x /= lw;
    double cx = u[1] * w[2] - u[2] * w[1], cy = u[2] * w[0] - u[0] * w[2], cz = u[0] * w[1] - u[1] * w[0];
    return cx * cx + cy * cy + cz * cz >= kEps2;
  }

  // Appends a triangle of the source's corners c with its tags and
  // per-corner values; remembers it for the vertex-map fix-up.
  void AppendTriangle(const int c[3]) {
    int32_t pts[3] = {src_.points[size_t(c[0])], src_.points[size_t(c[1])], src_.points[size_t(c[2])]};
    if (aside_ || stretch_) {
      SetAside(pts, c);
      return;
    }
    int t = db_->ops.AddPolygon(db_, 3, pts, src_.surface);
    if (t < 0) return;
    ++written_;
    db_->ops.CopyPolygonTags(db_, src_.index, t);
    CopyCornerValues(t, c, true);
    newPolygons_.push_back(t);
    newPoints_.insert(newPoints_.end(), pts, pts + 3);
  }

  // What AppendTriangle would have written, as the triangle's record would
  // read: the surface id AddPolygon gives, the normals, and the values of the
  // channel that ends up current (the last channel copied with its keys;
  // zeros when the polygon's current channel is not one of its own).
  void SetAside(const int32_t pts[3], const int c[3]) {
    if (src_.surface != lastSurfaceName_ || !lastSurfaceKnown_) {
      // Names are tag texts the polygons point to, so one name is one pointer.
      const ObjSurface* surface = !src_.surface ? nullptr
                                  : shared_     ? LookUpSurface(db_, src_.surface)
                                                : db_->ops.FindSurface(db_, src_.surface);
      lastSurfaceName_ = src_.surface;
      lastSurfaceId_ = surface ? surface->id : 0;
      lastSurfaceKnown_ = true;
    }
    const Source::Channel* current = nullptr;
    if (src_.hasCurrent)
      for (const auto& ch : src_.channels)
        if (ch.key == src_.currentKey && ch.key2 == src_.currentKey2) current = &ch;
    int32_t normals[3], channel[3];
    for (int i = 0; i < 3; ++i) {
      normals[i] = src_.normals.empty() ? -1 : src_.normals[size_t(c[i])];
      channel[i] = !src_.hasCurrent ? -1 : current ? current->values[size_t(c[i])] : 0;
    }
    if (stretch_) {
      AsideStretch& s = *stretch_;
      // The room is the most the part's polygons can add; running out of it
      // is taken as memory running out.
      if (s.count == s.room) throw std::bad_alloc();
      const size_t t = s.count++;
      s.surfaceIds[t] = lastSurfaceId_;
      for (size_t i = 0; i < 3; ++i) {
        s.points[t * 3 + i] = pts[i];
        if (s.normals) s.normals[t * 3 + i] = normals[i];
        s.channel[t * 3 + i] = channel[i];
      }
      ++written_;
      return;
    }
    AsideTriangles& a = *aside_;
    const size_t before = a.Count();
    try {
      a.surfaceIds.push_back(lastSurfaceId_);
      for (int i = 0; i < 3; ++i) {
        a.points.push_back(pts[i]);
        if (a.keepNormals) a.normals.push_back(normals[i]);
        a.channel.push_back(channel[i]);
      }
    } catch (const std::bad_alloc&) {
      // All four lists keep the same triangles.
      a.surfaceIds.resize(before);
      a.points.resize(before * 3);
      a.normals.resize(a.keepNormals ? before * 3 : 0);
      a.channel.resize(before * 3);
      throw;
    }
    ++written_;
  }

  void RewriteSource(const int c[3]) {
    int32_t pts[3] = {src_.points[size_t(c[0])], src_.points[size_t(c[1])], src_.points[size_t(c[2])]};
    if (libraryOps_) {
      // The library's SetPolygonPoints, on the record itself.
      ObjPolygon* p = CurrentPolygon(db_, src_.index);
      if (!p) return;
      SetPointsOf(*p, 3, pts);
    } else if (db_->ops.SetPolygonPoints(db_, src_.index, 3, pts) != 0) {
      return;
    }
    ++written_;
    CopyCornerValues(src_.index, c, false);
  }

  void CopyCornerValues(int target, const int c[3], bool appended) {
    int32_t v[3];
    auto pick = [&](const std::vector<int32_t>& from) {
      for (int i = 0; i < 3; ++i) v[i] = from[size_t(c[i])];
    };
    // The rewritten source, with the library's operations, takes its values
    // on the record, as SetPolygonNormals and SetPolygonColors would give them.
    ObjPolygon* onRecord = !appended && libraryOps_ ? CurrentPolygon(db_, target) : nullptr;
    if (!src_.normals.empty()) {
      pick(src_.normals);
      if (onRecord)
        onRecord->normals.assign(v, v + 3);
      else
        db_->ops.SetPolygonNormals(db_, target, 3, v);
    }
    if (!src_.colors.empty()) {
      pick(src_.colors);
      if (onRecord)
        onRecord->colors.assign(v, v + 3);
      else
        db_->ops.SetPolygonColors(db_, target, 3, v);
    }
    if (appended) {
      for (auto& ch : src_.channels) {
        pick(ch.values);
        if (db_->ops.SelectPolygonChannel(db_, target, ch.key, ch.key2))
          db_->ops.SetPolygonChannelValues(db_, target, 3, v);
      }
      // Copying leaves the last channel current; restore the source's choice.
      if (src_.hasCurrent) {
        db_->ops.SelectPolygonChannel(db_, target, src_.currentKey, src_.currentKey2);
      } else if (ObjPolygon* p = CurrentPolygon(db_, target)) {
        p->currentChannel = nullptr;
      }
    } else if (ObjPolygon* p = CurrentPolygon(db_, target)) {
      size_t k = 0;
      for (auto& ch : p->channels) {
        if (k >= src_.channels.size()) break;
        pick(src_.channels[k++].values);
        ch.values.assign(v, v + 3);
      }
    }
  }

  void BeginOutput() {
    newPolygons_.clear();
    newPoints_.clear();
  }

  void OutputTriangles() {
    Trace("//////////////////////////////  OutputTriangles\n");
    BeginOutput();
    for (size_t fi = 0; fi < faces_.size(); ++fi) {
      const Face& f = faces_[fi];
      if (f.count != 3) {
        Trace("???  FACE<%d> IS NOT TRIAGLE (%d)  ???\n", f.id, f.count);
        continue;
      }
      int c[3], k = 0;
      WalkFace(f, [&](int, int n) {
        if (k < 3) c[k++] = nodes_[size_t(n)].corner;
      });
      if (k != 3) continue;
      if (fi + 1 < faces_.size()) {
        if (Solid(c))
          AppendTriangle(c);
        else
          ++dropped_;
      } else {
        RewriteSource(c);
      }
    }
    FixVMads();
  }

  void OutputConvex() {
    Trace("//////////////////////////////  OutputConvex\n");
    BeginOutput();
    const int n = int(src_.points.size());
    for (int i = 1; i + 1 < n; ++i) {
      int c[3] = {0, i, i + 1};
      if (i + 2 < n)
        AppendTriangle(c);
      else
        RewriteSource(c);
    }
    FixVMads();
  }

  // Discontinuous vertex-map values given to the source polygon follow their
  // point onto the new triangles: the first triangle with the point takes
  // over the value when the rewritten source no longer has the point, every
  // other one gets a copy.
  void FixVMads() {
    ObjLayer* layer = db_->currentLayer;
    if (newPolygons_.empty() || layer->vmads.empty()) return;
    const ObjPolygon* s = CurrentPolygon(db_, src_.index);
    if (!s) return;
    std::vector<int32_t>& rewritten = rewritten_;  // kept from polygon to polygon
    rewritten.assign(s->points.begin(),
                     s->points.begin() + std::min(s->points.size(), size_t(std::max(s->vertexCount, 0))));
    auto has = [](const int32_t* first, const int32_t* last, int32_t point) {
      for (; first != last; ++first)
        if (*first == point) return true;
      return false;
    };
    const Id4 type = layer->CurrentType();
    std::vector<float>& values = values_;
    for (size_t m = 0; m < layer->vmads.size(); ++m) {
      if (layer->vmads[m].polygonType != type) continue;
      for (size_t ci = 0; ci < src_.points.size(); ++ci) {
        const int32_t point = src_.points[ci];
        if (has(src_.points.data(), src_.points.data() + ci, point)) continue;  // seen
        const ObjVMad& probe = layer->vmads[m];
        if (point < 0 || size_t(point) >= probe.slotOf.size()) continue;
        const int32_t slot = probe.slotOf[size_t(point)];
        if (slot < 0 || size_t(slot) >= probe.slots.size() || probe.slots[size_t(slot)].point != point) continue;
        const size_t nodeCount = probe.slots[size_t(slot)].nodes.size();  // pairs added below are not revisited
        for (size_t k = 0; k < nodeCount; ++k) {
          if (layer->vmads[m].slots[size_t(slot)].nodes[k].polygon != src_.index) continue;
          bool held = has(rewritten.data(), rewritten.data() + rewritten.size(), point);
          for (size_t t = 0; t < newPolygons_.size(); ++t) {
            const int32_t* tri = newPoints_.data() + 3 * t;
            if (!has(tri, tri + 3, point)) continue;
            ObjVMad& vm = layer->vmads[m];
            VMadNode& node = vm.slots[size_t(slot)].nodes[k];
            if (held) {
              values.assign(node.values.begin(), node.values.end());
              values.resize(size_t(std::max(vm.dimension, 0)) + 1, 0.0f);
              db_->ops.SetVMadValue(db_, int(m), point, newPolygons_[t], values.data());
            } else {
              node.polygon = newPolygons_[t];
              held = true;
            }
          }
        }
      }
    }
  }
};

int TriangulatePolygon(ObjectDb* db, int index, int flags) {
  ObjPolygon* p = CurrentPolygon(db, index);
  if (!p) return ERR_PARAM;
  if (p->vertexCount < ((flags & TRI_KEEP_QUADS) ? 5 : 4)) return 0;
  Triangulator t(db);
  return t.Run(index, flags);
}

// Polygons are cut independently of each other, and cutting one touches
// nothing but its own record (set aside, its triangles make no records, tags
// or vertex-map values), so the list is split into consecutive parts, each
// cut on a thread of its own into a stretch of the aside lists sized for the
// most triangles the part can add (`extras`, one per part). The stretches
// are then closed up: the parts' triangles follow each other in order, as
// one pass leaves them.
int TriangulateAsideInParts(ObjectDb* db, int flags, const std::vector<size_t>& extras, AsideTriangles* aside) {
  const int minimum = (flags & TRI_KEEP_QUADS) ? 5 : 4;
  const auto& polys = db->currentLayer->Polygons();
  const size_t count = polys.size();
  const unsigned parts = unsigned(extras.size());
  std::vector<size_t> offset(parts + 1, aside->Count());
  for (unsigned k = 0; k < parts; ++k) offset[k + 1] = offset[k] + extras[k];
  std::vector<AsideStretch> stretches(parts);
  std::vector<int> results(parts, 0);
  // All four lists keep the same triangles, whatever runs out; nothing
  // after this allocates.
  auto resizeAll = [&](size_t triangles) {
    aside->surfaceIds.resize(triangles);
    aside->points.resize(triangles * 3);
    aside->normals.resize(aside->keepNormals ? triangles * 3 : 0);
    aside->channel.resize(triangles * 3);
  };
  try {
    resizeAll(offset[parts]);
  } catch (const std::bad_alloc&) {
    resizeAll(offset[0]);
    throw;
  }
  for (unsigned k = 0; k < parts; ++k) {
    AsideStretch& s = stretches[k];
    s.surfaceIds = aside->surfaceIds.data() + offset[k];
    s.points = aside->points.data() + offset[k] * 3;
    s.normals = aside->keepNormals ? aside->normals.data() + offset[k] * 3 : nullptr;
    s.channel = aside->channel.data() + offset[k] * 3;
    s.room = extras[k];
  }
  auto work = [&](unsigned k) {
    const size_t begin = PartBegin(k, parts, count), end = PartBegin(k + 1, parts, count);
    // The part's own copy, handed back at its end: the stretches' counts
    // sit side by side.
    AsideStretch stretch = stretches[k];
    Triangulator t(db, nullptr, true, &stretch);
    const ObjLayer& layer = *db->currentLayer;
    int status = 0;
    for (size_t i = begin; i < end; ++i) {
      PrefetchPolygonWalk(layer, polys, i, end);
      if (polys[i].vertexCount >= minimum && t.Run(int(i), flags) == ERR_MEMORY) status = ERR_MEMORY;
    }
    stretches[k].count = stretch.count;
    results[k] = status;
  };
  RunParts(parts, work);
  int result = 0;
  size_t end = offset[0];
  for (unsigned k = 0; k < parts; ++k) {
    const size_t n = stretches[k].count;
    if (end != offset[k]) {
      auto moveDown = [&](std::vector<int32_t>& v, size_t per) {
        std::memmove(v.data() + end * per, v.data() + offset[k] * per, n * per * sizeof(int32_t));
      };
      moveDown(aside->surfaceIds, 1);
      moveDown(aside->points, 3);
      if (aside->keepNormals) moveDown(aside->normals, 3);
      moveDown(aside->channel, 3);
    }
    end += n;
    if (results[k] && !result) result = results[k];
  }
  resizeAll(end);
  db->ops.EndPolygonType(db);
  return result ? SetError(db, result) : 0;
}

int Triangulate(ObjectDb* db, int flags, TriangulateCounts* counts, AsideTriangles* aside) {
  if (counts) *counts = TriangulateCounts();
  if (!db || !db->currentLayer) return ERR_PARAM;
  const int count = db->ops.GetPolygonCount(db);
  const int minimum = (flags & TRI_KEEP_QUADS) ? 5 : 4;
  // Room for every triangle that can be appended, taken once, so the records
  // are not copied over and over (nor held twice) as the list grows.
  auto& polys = db->currentLayer->Polygons();
  auto extraIn = [&](size_t begin, size_t end) {
    size_t n = 0;
    for (size_t i = begin; i < end; ++i)
      if (polys[i].vertexCount >= minimum) n += size_t(polys[i].vertexCount) - 3;
    return n;
  };
  // Per part of the polygons, as TriangulateAsideInParts splits them.
  const unsigned countParts = PartsFor(polys.size());
  std::vector<size_t> extras;
  size_t extra = 0;
  try {
    extras.assign(countParts, 0);
    auto countExtra = [&](unsigned k) {
      extras[k] = extraIn(PartBegin(k, countParts, polys.size()), PartBegin(k + 1, countParts, polys.size()));
    };
    RunParts(countParts, countExtra);
    for (size_t e : extras) extra += e;
  } catch (const std::bad_alloc&) {
    extras.clear();
    extra = extraIn(0, polys.size());
  }
  try {
    if (aside) {
      aside->surfaceIds.reserve(aside->surfaceIds.size() + extra);
      for (auto* v : {&aside->points, &aside->normals, &aside->channel})
        if (v != &aside->normals || aside->keepNormals) v->reserve(v->size() + 3 * extra);
    } else {
      polys.reserve(polys.size() + extra);
      PrefaultForWriting(polys.data() + polys.size(), polys.data() + polys.size() + extra);
    }
  } catch (const std::bad_alloc&) {
    // Grown one triangle at a time instead.
  }
  if (aside && !counts && countParts > 1 && extras.size() == countParts && !db->logFile && HasLibraryOps(db)) {
    try {
      return TriangulateAsideInParts(db, flags, extras, aside);
    } catch (const std::bad_alloc&) {  // no room for the stretches: nothing was cut
      db->ops.EndPolygonType(db);
      return SetError(db, ERR_MEMORY);
    }
  }
  Triangulator t(db, aside);
  int result = 0;
  for (int i = 0; i < count; ++i) {
    ObjPolygon* p = CurrentPolygon(db, i);
    if (!p || p->vertexCount < minimum) continue;
    if (t.Run(i, flags) == ERR_MEMORY) result = ERR_MEMORY;
    if (!counts) continue;
    ++counts->polygons;
    p = CurrentPolygon(db, i);
    if (p && p->vertexCount > 3) {
      ++counts->leftWhole;
    } else if (t.distinct_ >= 3) {
      counts->expected += t.distinct_ - 2;
      counts->triangles += t.distinct_ == 3 ? 1 : t.written_;
      counts->dropped += t.dropped_;
    }
  }
  db->ops.EndPolygonType(db);
  return result;
}

int TriangulatePolygons(ObjectDb* db, int flags) { return Triangulate(db, flags, nullptr, nullptr); }

}  // namespace

int TriangulatePolygonsCounted(ObjectDb* db, int flags, TriangulateCounts* counts) {
  return Triangulate(db, flags, counts, nullptr);
}

int TriangulatePolygonsAside(ObjectDb* db, int flags, AsideTriangles* aside) {
  if (!aside) return ERR_PARAM;
  return Triangulate(db, flags, nullptr, aside);
}

void InstallTriangulationOps(ObjectDbOps& ops) {
  ops.TriangulatePolygon = TriangulatePolygon;
  ops.TriangulatePolygons = TriangulatePolygons;
}
