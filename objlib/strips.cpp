// Polygon strips, fans, line chains and point runs over the winged edges of
// the current layer.
//
// Strip corners are laid out so that consecutive triples are the polygon's
// triangles with the usual strip winding (even triangles as listed, odd ones
// with their first two corners swapped). Inside a polygon the covered corners
// form an arc [lo .. hi]; the next corner is taken before lo when the last
// item is hi and after hi when it is lo, which keeps that rule.
#include "strips.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <unordered_map>

#include "ops_internal.h"
#include "surface_attributes.h"

namespace {

constexpr double kEps = 1.0 / 8388608.0;  // 2^-23

struct Item {
  int32_t corner, point, polygon;
};

int FindCorner(const ObjPolygon& p, int32_t point) {
  const int n = std::min(p.vertexCount, int(p.points.size()));
  for (int c = 0; c < n; ++c)
    if (p.points[size_t(c)] == point) return c;
  return -1;
}

class StripBuilder {
 public:
  StripBuilder(ObjectDb* db, const LoopOptions& o)
      : db_(db), l_(*db->currentLayer), polys_(l_.Polygons()), o_(o),
        visited_(polys_.size(), 0), stamp_(polys_.size(), 0) {}

  int Run();

 private:
  // Edge joining p0 and p1 found by walking the polygon's edge ring, at most
  // its corner count of steps; -1 (logged) when there is none.
  int FetchEdge(int pol, int32_t p0, int32_t p1) {
    const ObjPolygon& p = polys_[size_t(pol)];
    int e = p.edge;
    for (int step = 0; step < p.vertexCount; ++step) {
      if (e < 0 || size_t(e) >= l_.edges.size()) break;
      const ObjEdge& ed = l_.edges[size_t(e)];
      if ((ed.first == p0 && ed.second == p1) || (ed.first == p1 && ed.second == p0)) return e;
      if (ed.polygon == pol)
        e = ed.neighbour[0];
      else if (ed.polygon2 == pol)
        e = ed.neighbour[1];
      else
        break;
    }
    db_->ops.Log(db_, "??? FETCH_EDGE INFINITE LOOP NPNT[%d] POL[%d] ENO[%d]\n", p.vertexCount, pol,
                 p.edge);
    return -1;
  }

  bool SameCornerValues(const ObjPolygon& p, int cp, const ObjPolygon& n, int cn) const;
  enum Fit { kNo, kSeam, kFull };
  // Whether n may follow p across the edge loPt -> hiPt of n (hiPt follows
  // loPt in n, so both polygons face the same way).
  Fit Compatible(int p, int n, int32_t loPt, int32_t hiPt, size_t itemsSoFar, int extra);

  Item MakeItem(int pol, int corner) const {
    return {corner, polys_[size_t(pol)].points[size_t(corner)], pol};
  }
  // Walks forward from polygon cur whose covered arc ends at the edge
  // hiPt -> loPt, appending to items.
  void Walk(int cur, int32_t loPt, int32_t hiPt, bool lastIsHi, int startPolygon,
            std::vector<Item>& items);
  void Fill(int pol, int lo, int hi, bool& lastIsHi, std::vector<Item>& items, int32_t& loPt,
            int32_t& hiPt);
  std::vector<Item> Strip(int pol, int start);
  void Fans();
  void Lines();
  void Points();
  bool Store(int kind, int surface, const std::vector<Item>& items);

  ObjectDb* db_;
  ObjLayer& l_;
  std::vector<ObjPolygon>& polys_;
  LoopOptions o_;
  std::vector<char> visited_;
  std::vector<uint32_t> stamp_;  // == attempt_ when in the loop being built
  uint32_t attempt_ = 0;
  int covered_ = 0;  // polygons in the strip being built
  bool failed_ = false;
};

bool StripBuilder::SameCornerValues(const ObjPolygon& p, int cp, const ObjPolygon& n, int cn) const {
  const size_t a = size_t(cp), b = size_t(cn);
  if (a < p.normals.size() && b < n.normals.size() && p.normals[a] != n.normals[b]) {
    const size_t i = size_t(p.normals[a]), j = size_t(n.normals[b]);
    if (i >= l_.normals.size() || j >= l_.normals.size()) return false;
    const ObjNormal &x = l_.normals[i], &y = l_.normals[j];
    if (std::fabs(x.x - y.x) > kEps || std::fabs(x.y - y.y) > kEps || std::fabs(x.z - y.z) > kEps)
      return false;
  }
  if (a < p.colors.size() && b < n.colors.size() && p.colors[a] != n.colors[b]) {
    const size_t i = size_t(p.colors[a]), j = size_t(n.colors[b]);
    if (i >= l_.colors.size() || j >= l_.colors.size()) return false;
    const ObjColor &x = l_.colors[i], &y = l_.colors[j];
    if (std::fabs(x.r - y.r) > kEps || std::fabs(x.g - y.g) > kEps ||
        std::fabs(x.b - y.b) > kEps || std::fabs(x.a - y.a) > kEps)
      return false;
  }
  for (const CornerChannel& cp_ch : p.channels) {
    for (const CornerChannel& cn_ch : n.channels) {
      if (cp_ch.key != cn_ch.key || cp_ch.key2 != cn_ch.key2) continue;
      if (a >= cp_ch.values.size() || b >= cn_ch.values.size()) continue;
      if (cp_ch.values[a] == cn_ch.values[b]) continue;
      const size_t i = size_t(cp_ch.values[a]), j = size_t(cn_ch.values[b]);
      if (i >= l_.uvs.size() || j >= l_.uvs.size()) return false;
      if (std::fabs(l_.uvs[i].u - l_.uvs[j].u) > kEps || std::fabs(l_.uvs[i].v - l_.uvs[j].v) > kEps)
        return false;
    }
  }
  return true;
}

StripBuilder::Fit StripBuilder::Compatible(int p, int n, int32_t loPt, int32_t hiPt,
                                           size_t itemsSoFar, int extra) {
  if (n < 0 || size_t(n) >= polys_.size() || n == p) return kNo;
  const ObjPolygon &pp = polys_[size_t(p)], &np = polys_[size_t(n)];
  if (visited_[size_t(n)] || stamp_[size_t(n)] == attempt_) return kNo;
  if (np.vertexCount <= 2 || size_t(np.vertexCount) > np.points.size()) return kNo;
  if (np.surfaceId != pp.surfaceId) return kNo;
  if (o_.maxItems > 0 &&
      int64_t(itemsSoFar) + extra + np.vertexCount - 2 > int64_t(o_.maxItems))
    return kNo;
  const int nlo = FindCorner(np, loPt), plo = FindCorner(pp, loPt), phi = FindCorner(pp, hiPt);
  if (nlo < 0 || plo < 0 || phi < 0) return kNo;
  const int nhi = (nlo + 1) % np.vertexCount;
  if (np.points[size_t(nhi)] != hiPt) return kNo;
  if (!SameCornerValues(pp, plo, np, nlo) || !SameCornerValues(pp, phi, np, nhi)) return kSeam;
  return kFull;
}

void StripBuilder::Fill(int pol, int lo, int hi, bool& lastIsHi, std::vector<Item>& items,
                        int32_t& loPt, int32_t& hiPt) {
  const ObjPolygon& p = polys_[size_t(pol)];
  const int n = p.vertexCount;
  for (int left = n - 2; left > 0; --left) {
    if (lastIsHi) {
      lo = (lo + n - 1) % n;
      items.push_back(MakeItem(pol, lo));
    } else {
      hi = (hi + 1) % n;
      items.push_back(MakeItem(pol, hi));
    }
    lastIsHi = !lastIsHi;
  }
  loPt = p.points[size_t(lo)];
  hiPt = p.points[size_t(hi)];
}

void StripBuilder::Walk(int cur, int32_t loPt, int32_t hiPt, bool lastIsHi, int startPolygon,
                        std::vector<Item>& items) {
  for (;;) {
    const int e = FetchEdge(cur, hiPt, loPt);
    if (e < 0) return;
    const ObjEdge& ed = l_.edges[size_t(e)];
    const int n = ed.polygon == cur ? ed.polygon2 : ed.polygon;
    if (n == startPolygon) return;
    const bool seams = (o_.flags & LOOP_CROSS_SEAMS) != 0;
    Fit fit = Compatible(cur, n, loPt, hiPt, items.size(), seams ? 2 : 0);
    if (fit == kNo || (fit == kSeam && !seams)) return;
    const ObjPolygon& np = polys_[size_t(n)];
    const int nlo = FindCorner(np, loPt), nhi = (nlo + 1) % np.vertexCount;
    if (fit == kSeam) {
      // Degenerate triangles let the corner attributes change.
      const Item a = items[items.size() - 2], b = items.back();
      items.push_back({FindCorner(np, a.point), a.point, n});
      items.push_back({FindCorner(np, b.point), b.point, n});
    }
    stamp_[size_t(n)] = attempt_;
    ++covered_;
    Fill(n, nlo, nhi, lastIsHi, items, loPt, hiPt);
    cur = n;
  }
}

std::vector<Item> StripBuilder::Strip(int pol, int start) {
  ++attempt_;
  covered_ = 1;
  const ObjPolygon& p = polys_[size_t(pol)];
  const int n = p.vertexCount;
  stamp_[size_t(pol)] = attempt_;
  const int lo = start, hi = (start + 1) % n;
  std::vector<Item> forward{MakeItem(pol, lo), MakeItem(pol, hi)};
  bool lastIsHi = true;
  int32_t loPt, hiPt;
  Fill(pol, lo, hi, lastIsHi, forward, loPt, hiPt);
  Walk(pol, loPt, hiPt, lastIsHi, pol, forward);

  // Backward: walk on from the start edge as if the strip began hi, lo, then
  // turn that part round and put it in front.
  std::vector<Item> back{MakeItem(pol, hi), MakeItem(pol, lo)};
  Walk(pol, p.points[size_t(hi)], p.points[size_t(lo)], true, pol, back);
  const size_t added = back.size() - 2;
  if (added == 0) return forward;
  std::vector<Item> items;
  items.reserve(added + 1 + forward.size());
  items.insert(items.end(), back.rbegin(), back.rend() - 2);
  items.insert(items.end(), forward.begin(), forward.end());
  if (added % 2) {
    // Reversing an odd run flips its winding; a repeated item restores it.
    const Item second = items[1];
    const int firstPolygon = items[0].polygon;
    const int c = FindCorner(polys_[size_t(firstPolygon)], second.point);
    items.insert(items.begin(), Item{c >= 0 ? c : second.corner, second.point, firstPolygon});
  }
  return items;
}

bool StripBuilder::Store(int kind, int surface, const std::vector<Item>& items) {
  try {
    auto loop = std::make_unique<EdgeLoop>();
    loop->kind = kind;
    loop->surfaceId = surface;
    loop->items.resize(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
      LoopItem& it = loop->items[i];
      it.corner = items[i].corner;
      it.point = items[i].point;
      it.polygon = items[i].polygon;
      it.previous = i ? &loop->items[i - 1] : nullptr;
      it.next = i + 1 < items.size() ? &loop->items[i + 1] : nullptr;
    }
    loop->itemCount = int32_t(items.size());
    loop->first = items.empty() ? nullptr : &loop->items.front();
    loop->last = items.empty() ? nullptr : &loop->items.back();
    if (l_.loops.size() == l_.loops.capacity()) l_.loops.reserve(l_.loops.size() + 16);
    l_.loops.push_back(loop.get());
    loop.release();
  } catch (const std::bad_alloc&) {
    failed_ = true;
    return false;
  }
  for (const Item& it : items)
    if (it.polygon >= 0 && size_t(it.polygon) < visited_.size()) visited_[size_t(it.polygon)] = 1;
  return true;
}

void StripBuilder::Fans() {
  const int minimum = std::max(o_.minFanPolygons, 0);
  for (size_t pt = 0; pt < l_.points.size() && !failed_; ++pt) {
    std::vector<int> around;
    ForEachCornerAt(&l_, int(pt), [&](ObjPolygon& p, int) {
      around.push_back(int(&p - polys_.data()));
      return false;
    });
    if (int(around.size()) < minimum) continue;
    for (int start : around) {
      const ObjPolygon& sp = polys_[size_t(start)];
      if (visited_[size_t(start)] || sp.vertexCount < 3) continue;
      ++attempt_;
      stamp_[size_t(start)] = attempt_;
      const int c0 = FindCorner(sp, int32_t(pt));
      std::vector<Item> items;
      for (int k = 0; k < sp.vertexCount; ++k) items.push_back(MakeItem(start, (c0 + k) % sp.vertexCount));
      int cur = start;
      for (;;) {
        const int32_t rim = items.back().point;
        const int e = FetchEdge(cur, rim, int32_t(pt));
        if (e < 0) break;
        const ObjEdge& ed = l_.edges[size_t(e)];
        const int n = ed.polygon == cur ? ed.polygon2 : ed.polygon;
        if (n == start || Compatible(cur, n, int32_t(pt), rim, items.size(), 0) != kFull) break;
        const ObjPolygon& np = polys_[size_t(n)];
        const int cn = FindCorner(np, int32_t(pt));
        for (int k = 2; k < np.vertexCount; ++k) items.push_back(MakeItem(n, (cn + k) % np.vertexCount));
        stamp_[size_t(n)] = attempt_;
        cur = n;
      }
      // A fan too small leaves its polygons to the strips.
      if (int(items.size()) - 2 >= minimum && !Store(LOOP_FAN, sp.surfaceId, items)) return;
    }
  }
}

void StripBuilder::Lines() {
  for (size_t i = 0; i < polys_.size() && !failed_; ++i) {
    const ObjPolygon& p = polys_[i];
    if (visited_[i] || p.vertexCount != 2 || p.points.size() < 2) continue;
    visited_[i] = 1;
    const int32_t startPt = p.points[0];
    // Each line is marked as it joins, so a chain ends even when it runs
    // into a cycle that does not pass its start.
    auto extend = [&](int32_t end, std::vector<Item>& out) {
      for (;;) {
        int found = -1, foundCorner = -1;
        ForEachCornerAt(&l_, end, [&](ObjPolygon& q, int c) {
          const size_t qi = size_t(&q - polys_.data());
          if (visited_[qi] || q.vertexCount != 2 || q.points.size() < 2 || q.surfaceId != p.surfaceId)
            return false;
          found = int(qi);
          foundCorner = 1 - c;
          return true;
        });
        if (found < 0) return false;
        visited_[size_t(found)] = 1;
        out.push_back(MakeItem(found, foundCorner));
        end = out.back().point;
        if (end == startPt) {
          db_->ops.Log(db_, "LOOP LINE MESH\n");
          return true;
        }
      }
    };
    std::vector<Item> items{MakeItem(int(i), 0), MakeItem(int(i), 1)};
    if (!extend(p.points[1], items)) {
      std::vector<Item> before;
      extend(startPt, before);
      items.insert(items.begin(), before.rbegin(), before.rend());
    }
    if (!Store(LOOP_LINE, p.surfaceId, items)) return;
  }
}

void StripBuilder::Points() {
  std::unordered_map<int32_t, size_t> open;  // surface -> index in l_.loops
  for (size_t i = 0; i < polys_.size() && !failed_; ++i) {
    const ObjPolygon& p = polys_[i];
    if (visited_[i] || p.vertexCount != 1 || p.points.empty()) continue;
    auto it = open.find(p.surfaceId);
    EdgeLoop* loop = it == open.end() ? nullptr : l_.loops[it->second];
    if (!loop || (o_.maxItems > 0 && loop->itemCount >= o_.maxItems)) {
      if (!Store(LOOP_POINTS, p.surfaceId, {})) return;
      open[p.surfaceId] = l_.loops.size() - 1;
      loop = l_.loops.back();
    }
    try {
      loop->items.push_back({0, p.points[0], int32_t(i), nullptr, nullptr});
    } catch (const std::bad_alloc&) {
      failed_ = true;
      return;
    }
    visited_[i] = 1;
    ++loop->itemCount;
  }
  // The item storage may have moved while growing: link it afterwards.
  for (EdgeLoop* loop : l_.loops) {
    if (loop->kind != LOOP_POINTS || loop->items.empty()) continue;
    for (size_t k = 0; k < loop->items.size(); ++k) {
      loop->items[k].previous = k ? &loop->items[k - 1] : nullptr;
      loop->items[k].next = k + 1 < loop->items.size() ? &loop->items[k + 1] : nullptr;
    }
    loop->first = &loop->items.front();
    loop->last = &loop->items.back();
  }
}

int StripBuilder::Run() {
  if (o_.flags & LOOP_FANS) Fans();
  for (size_t i = 0; i < polys_.size() && !failed_; ++i) {
    const ObjPolygon& p = polys_[i];
    if (visited_[i] || p.vertexCount < 3 || size_t(p.vertexCount) > p.points.size()) continue;
    const int n = p.vertexCount;
    const int starts = (o_.startFlags & 1) ? (n % 2 ? n : n / 2) : 1;
    // The longest strip is the one over the most polygons; among those the
    // one with the fewest repeated items.
    std::vector<Item> best;
    int bestCovered = 0;
    for (int s = 0; s < starts; ++s) {
      std::vector<Item> items = Strip(int(i), s);
      if (covered_ > bestCovered || (covered_ == bestCovered && items.size() < best.size())) {
        best.swap(items);
        bestCovered = covered_;
      }
    }
    if (!Store(LOOP_STRIP, p.surfaceId, best)) break;
  }
  if (!failed_) Lines();
  if (!failed_) Points();
  return failed_ ? SetError(db_, ERR_MEMORY) : 0;
}

// ------------------------------------------------------------ operations

int FreeLoops(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return ERR_PARAM;
  for (EdgeLoop* loop : l->loops) delete loop;
  l->loops.clear();
  l->loops.shrink_to_fit();
  return 0;
}

int SortLoops(ObjectDb* db) {
  ObjLayer* l = db->currentLayer;
  if (!l) return ERR_PARAM;
  std::stable_sort(l->loops.begin(), l->loops.end(),
                   [](const EdgeLoop* a, const EdgeLoop* b) { return a->sortKey < b->sortKey; });
  return 0;
}

int BuildLoops(ObjectDb* db, const void* options) {
  ObjLayer* l = db->currentLayer;
  if (!l) return ERR_PARAM;
  const LoopOptions o = options ? *static_cast<const LoopOptions*>(options) : LoopOptions{};
  if (l->edges.empty()) {
    const int status = db->ops.BuildEdges(db);
    if (status) return status;
  }
  FreeLoops(db);
  const bool hadLinks = l->pointLinksBuilt;
  if (!hadLinks) db->ops.BuildPointPolygonLinks(db);
  int status;
  try {
    StripBuilder builder(db, o);
    status = builder.Run();
  } catch (const std::bad_alloc&) {
    status = SetError(db, ERR_MEMORY);
  }
  if (!hadLinks) db->ops.FreePointPolygonLinks(db);
  if (status) return status;

  int64_t stripItems = 0;
  for (EdgeLoop* loop : l->loops) {
    // Only attributes already prepared are consulted: building the loops
    // should not prepare surfaces as a side effect.
    const ObjSurface* s = db->ops.GetSurface(db, loop->surfaceId);
    const float t = s && s->attributes ? s->attributes->transparency : 0.0f;
    loop->sortKey = LoopSortKey(t, loop->surfaceId, loop->kind);
    if (loop->kind == LOOP_STRIP) stripItems += loop->itemCount;
  }
  if (o.flags & LOOP_SORT) SortLoops(db);
  db->ops.Log(db, "RESULT %d/%d/%d\n", int(l->points.size()), int(stripItems),
              int(l->Polygons().size()));
  return 0;
}

int GetLoopCount(ObjectDb* db) {
  return db->currentLayer ? int(db->currentLayer->loops.size()) : 0;
}

EdgeLoop* GetLoop(ObjectDb* db, int index) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->loops.size()) return nullptr;
  return l->loops[size_t(index)];
}

LoopItem* GetLoopItem(ObjectDb* db, int index, int n) {
  EdgeLoop* loop = GetLoop(db, index);
  if (!loop || n < 0 || size_t(n) >= loop->items.size()) return nullptr;
  return &loop->items[size_t(n)];
}

}  // namespace

uint32_t LoopSortKey(float transparency, int surfaceId, int kind) {
  float t = transparency;
  if (!(t > 0.0f)) t = 0.0f;  // also NaN
  if (t > 1.0f) t = 1.0f;
  const uint32_t top = uint32_t(std::lround(t * 255.0f));
  return (top << 24) | ((uint32_t(surfaceId) & 0xFFFFu) << 8) | (uint32_t(kind) & 0xFFu);
}

void RenumberLoopPolygons(ObjectDb* db, const IndexArray& newIndex) {
  ObjLayer* l = db->currentLayer;
  if (!l) return;
  for (EdgeLoop* loop : l->loops)
    for (LoopItem& it : loop->items)
      if (it.polygon >= 0 && size_t(it.polygon) < newIndex.size()) it.polygon = newIndex[size_t(it.polygon)];
}

void InstallStripOps(ObjectDbOps& o) {
  o.GetLoopCount = GetLoopCount;
  o.GetLoop = GetLoop;
  o.GetLoopItem = GetLoopItem;
  o.BuildLoops = BuildLoops;
  o.FreeLoops = FreeLoops;
  o.SortLoops = SortLoops;
}
