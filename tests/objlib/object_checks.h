// Checks shared by the object library tests.
#pragma once

#include <string>

#include "objectdb.h"

// Empty when every index the object holds is in range; otherwise a
// description of the first fault found.
inline std::string FindInconsistency(ObjectDb* db) {
  auto& o = db->ops;
  for (int li = 0; li < o.GetLayerCount(db); ++li) {
    ObjLayer* l = o.GetLayer(db, li);
    if (!l || l->ordinal != li) return "layer ordinal";
    const size_t points = l->points.size();
    for (int t = 0; t < 5; ++t) {
      auto& g = l->groups[t];
      const size_t polygons = g.polygons.size();
      for (auto& p : g.polygons) {
        if (p.vertexCount < 0 || p.points.size() != size_t(p.vertexCount)) return "corner count";
        for (int32_t i : p.points)
          if (i < 0 || size_t(i) >= points) return "polygon point index";
        if (!p.normals.empty() && p.normals.size() != size_t(p.vertexCount)) return "normal corners";
        for (int32_t n : p.normals)
          if (n < -1 || (n >= 0 && size_t(n) >= l->normals.size())) return "normal index";
        if (p.surfaceName && !o.FindSurface(db, p.surfaceName)) return "surface name";
      }
      for (auto& table : g.tagTables) {
        if (table.polygons.size() != table.tags.size()) return "tag table sizes";
        for (size_t s = 0; s < table.polygons.size(); ++s) {
          if (table.polygons[s] < 0 || size_t(table.polygons[s]) >= polygons) return "tag table polygon";
          if (!o.GetTag(db, table.tags[s])) return "tag table tag";
        }
      }
    }
    for (auto& m : l->vmaps) {
      if (m.values.size() != m.points.size() * size_t(m.dimension)) return "vmap values";
      for (int32_t p : m.points)
        if (p < 0 || size_t(p) >= points) return "vmap point";
    }
    for (auto& m : l->vmads) {
      int t = PolygonTypeIndex(m.polygonType);
      if (t < 0) return "vmad polygon type";
      for (auto& slot : m.slots) {
        if (slot.point < 0 || size_t(slot.point) >= points) return "vmad point";
        for (auto& n : slot.nodes) {
          if (n.polygon < 0 || size_t(n.polygon) >= l->groups[t].polygons.size()) return "vmad polygon";
          if (n.values.size() != size_t(m.dimension)) return "vmad values";
        }
      }
    }
    for (auto& e : l->edges)
      if (e.first < 0 || size_t(e.first) >= points || e.second < 0 || size_t(e.second) >= points)
        return "edge point";
  }
  return "";
}
