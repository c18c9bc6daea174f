// Consistency pass run after a read: every index a file gave is checked
// against what was finally read (a later PNTS or POLS may have replaced what
// an earlier chunk referred to), and whatever is out of range is dropped.
#include <algorithm>
#include <atomic>

#include "ops_internal.h"
#include "parallel.h"

namespace {

int ValidatePolygons(ObjLayer& l, PolygonTypeGroup& g) {
  std::atomic<int> dropped{0};
  const size_t pointCount = l.points.size();
  ForEachInParts(g.polygons, [&](ObjPolygon& p) {
    auto bad = [&](int32_t i) { return i < 0 || size_t(i) >= pointCount; };
    if (std::none_of(p.points.begin(), p.points.end(), bad)) return;
    size_t before = p.points.size();
    p.points.erase(std::remove_if(p.points.begin(), p.points.end(), bad), p.points.end());
    dropped += int(before - p.points.size());
    p.vertexCount = int32_t(p.points.size());
    p.normals.clear();
    p.colors.clear();
    p.channels.clear();
    p.currentChannel = nullptr;
    ComputeFaceNormal(l, p, p.normal);
  });
  return dropped;
}

int ValidateTagTables(PolygonTypeGroup& g, int tagCount) {
  int dropped = 0;
  const size_t polygonCount = g.polygons.size();
  for (auto& t : g.tagTables) {
    t.slotOf.assign(polygonCount, -1);
    // Kept entries move down in place: entry `kept` is never ahead of s.
    const size_t entries = std::min(t.polygons.size(), t.tags.size());
    size_t kept = 0;
    for (size_t s = 0; s < entries; ++s) {
      int32_t p = t.polygons[s], tag = t.tags[s];
      if (p < 0 || size_t(p) >= polygonCount || tag < 0 || tag >= tagCount) {
        ++dropped;
        continue;
      }
      if (t.slotOf[size_t(p)] >= 0) {  // one entry per polygon: the last wins
        t.tags[size_t(t.slotOf[size_t(p)])] = tag;
        continue;
      }
      t.slotOf[size_t(p)] = int32_t(kept);
      t.polygons[kept] = p;
      t.tags[kept] = tag;
      ++kept;
    }
    dropped += int(std::max(t.polygons.size(), t.tags.size()) - entries);
    t.polygons.resize(kept);
    t.tags.resize(kept);
  }
  return dropped;
}

int ValidateVMaps(ObjLayer& l) {
  int dropped = 0;
  const size_t pointCount = l.points.size();
  for (auto& m : l.vmaps) {
    const size_t dim = size_t(m.dimension);
    if (m.values.size() != m.points.size() * dim) m.values.resize(m.points.size() * dim, 0.0f);
    size_t out = 0;
    for (size_t s = 0; s < m.points.size(); ++s) {
      int32_t p = m.points[s];
      if (p < 0 || size_t(p) >= pointCount) {
        ++dropped;
        continue;
      }
      m.points[out] = p;
      std::copy(m.values.begin() + ptrdiff_t(s * dim), m.values.begin() + ptrdiff_t((s + 1) * dim),
                m.values.begin() + ptrdiff_t(out * dim));
      ++out;
    }
    m.points.resize(out);
    m.values.resize(out * dim);
    m.slotOf.assign(pointCount, -1);
    for (size_t s = 0; s < out; ++s) m.slotOf[size_t(m.points[s])] = int32_t(s);
  }
  return dropped;
}

int ValidateVMads(ObjLayer& l) {
  int dropped = 0;
  const size_t pointCount = l.points.size();
  for (auto& m : l.vmads) {
    int type = PolygonTypeIndex(m.polygonType);
    const size_t polygonCount = type >= 0 ? l.groups[type].polygons.size() : 0;
    std::vector<VMadSlot> slots;
    slots.reserve(m.slots.size());
    for (auto& slot : m.slots) {
      if (slot.point < 0 || size_t(slot.point) >= pointCount) {
        dropped += int(slot.nodes.size());
        continue;
      }
      auto& nodes = slot.nodes;
      size_t before = nodes.size();
      nodes.erase(std::remove_if(nodes.begin(), nodes.end(),
                                 [&](const VMadNode& n) {
                                   return n.polygon < 0 || size_t(n.polygon) >= polygonCount ||
                                          n.values.size() != size_t(m.dimension);
                                 }),
                  nodes.end());
      dropped += int(before - nodes.size());
      if (!nodes.empty()) slots.push_back(std::move(slot));
    }
    m.slots.swap(slots);
    m.slotOf.assign(pointCount, -1);
    for (size_t s = 0; s < m.slots.size(); ++s) m.slotOf[size_t(m.slots[s].point)] = int32_t(s);
  }
  return dropped;
}

}  // namespace

int ValidateObjectDb(ObjectDb* db) { return ValidateObjectDb(db, {}); }

int ValidateObjectDb(ObjectDb* db, const std::vector<CheckedPolygons>& checked) {
  int dropped = 0;
  const int tagCount = int(db->store->tags.size());
  auto inRange = [&](const ObjLayer& l, const PolygonTypeGroup& g) {
    for (const CheckedPolygons& c : checked)
      if (c.group == &g) return c.polygons == g.polygons.size() && c.pointsBelow <= l.points.size();
    return false;
  };
  for (auto& layer : db->store->layers) {
    ObjLayer& l = *layer;
    for (auto& g : l.groups) {
      if (!inRange(l, g)) dropped += ValidatePolygons(l, g);
      dropped += ValidateTagTables(g, tagCount);
    }
    dropped += ValidateVMaps(l);
    dropped += ValidateVMads(l);
  }
  return dropped;
}
