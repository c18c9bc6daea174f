// Vertex maps, discontinuous vertex maps and polygon tag tables of the
// current layer.
#include <algorithm>
#include <cstring>
#include <functional>
#include <new>

#include "ops_internal.h"

namespace {

// ------------------------------------------------------------ vertex maps

int GetVMapCount(ObjectDb* db, Id4 type) {
  if (!db->currentLayer) return 0;
  int n = 0;
  for (auto& m : db->currentLayer->vmaps)
    if (type == 0 || m.type == type) ++n;
  return n;
}

template <typename M>
M* NextOf(std::vector<M>& maps, M* after, Id4 type) {
  size_t start = 0;
  if (after) {
    if (maps.empty() || after < maps.data() || after >= maps.data() + maps.size()) return nullptr;
    start = size_t(after - maps.data()) + 1;
  }
  for (size_t i = start; i < maps.size(); ++i)
    if (type == 0 || maps[i].type == type) return &maps[i];
  return nullptr;
}

ObjVMap* NextVMap(ObjectDb* db, ObjVMap* map, Id4 type) {
  if (!db->currentLayer) return nullptr;
  return NextOf(db->currentLayer->vmaps, map, type);
}

int AddVMap(ObjectDb* db, Id4 type, const char* name, int dimension) {
  ObjLayer* l = db->currentLayer;
  if (!l || dimension < 0) return -1;
  try {
    l->vmaps.emplace_back();
  } catch (const std::bad_alloc&) {
    SetError(db, ERR_MEMORY);
    return -1;
  }
  ObjVMap& m = l->vmaps.back();
  m.index = int32_t(l->vmaps.size() - 1);
  m.type = type;
  CopyName(m.name, name);
  m.dimension = dimension;
  return m.index;
}

// Grows a point-to-slot map so that `point` has an entry.
bool GrowSlotMap(IndexArray& slotOf, size_t pointCount, int point) {
  if (size_t(point) < slotOf.size()) return true;
  try {
    slotOf.resize(std::max(pointCount, size_t(point) + 1), -1);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

int SetVMapValue(ObjectDb* db, int index, int point, const float* values) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->vmaps.size()) return ERR_PARAM;
  if (point < 0 || size_t(point) >= l->points.size()) return ERR_PARAM;
  ObjVMap& m = l->vmaps[size_t(index)];
  const size_t dim = size_t(m.dimension);
  if (dim > 0 && !values) return ERR_PARAM;
  if (!GrowSlotMap(m.slotOf, l->points.size(), point)) return SetError(db, ERR_MEMORY);
  int32_t& slot = m.slotOf[size_t(point)];
  if (slot >= 0) {
    // memmove: the values may be read from the map's own list.
    if (dim) std::memmove(m.values.data() + size_t(slot) * dim, values, dim * sizeof(float));
    return 0;
  }
  // A new entry: its point and values are appended together, or neither is.
  const size_t entries = m.points.size(), filled = m.values.size();
  std::vector<float> own;  // values read from the map's own list, kept while it grows
  try {
    const std::less<const float*> before;
    if (dim && !before(values, m.values.data()) && before(values, m.values.data() + filled)) {
      own.assign(values, values + dim);
      values = own.data();
    }
    m.points.push_back(point);
    for (size_t i = 0; i < dim; ++i) m.values.push_back(values[i]);
  } catch (const std::bad_alloc&) {
    m.points.resize(entries);
    m.values.resize(filled);
    return SetError(db, ERR_MEMORY);
  }
  slot = int32_t(entries);
  return 0;
}

ObjVMap* FindVMap(ObjectDb* db, Id4 type, const char* name) {
  if (!db->currentLayer || !name) return nullptr;
  for (auto& m : db->currentLayer->vmaps)
    if (m.type == type && strcmp(m.name, name) == 0) return &m;
  return nullptr;
}

const float* GetVMapValue(ObjectDb*, ObjVMap* m, int point) {
  if (!m || point < 0 || size_t(point) >= m->slotOf.size()) return nullptr;
  int32_t slot = m->slotOf[size_t(point)];
  if (slot < 0) return nullptr;
  return m->values.data() + size_t(slot) * size_t(m->dimension);
}

template <typename M>
void Renumber(std::vector<M>& maps) {
  for (size_t i = 0; i < maps.size(); ++i) maps[i].index = int32_t(i);
}

int FreeVMaps(ObjectDb* db, Id4 type) {
  if (!db->currentLayer) return 0;
  auto& maps = db->currentLayer->vmaps;
  maps.erase(std::remove_if(maps.begin(), maps.end(),
                            [&](const ObjVMap& m) { return type == 0 || m.type == type; }),
             maps.end());
  Renumber(maps);
  return 0;
}

ObjVMad* VMadFor(ObjectDb* db, Id4 type, const char* name);

int DeleteVMad(ObjectDb* db, int index);

int DeleteVMap(ObjectDb* db, int index) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->vmaps.size()) return ERR_PARAM;
  ObjVMap& m = l->vmaps[size_t(index)];
  if (ObjVMad* d = VMadFor(db, m.type, m.name)) DeleteVMad(db, d->index);
  l->vmaps.erase(l->vmaps.begin() + index);
  Renumber(l->vmaps);
  return 0;
}

void ClearMad(ObjVMad& d) {
  d.slots.clear();
  d.slotOf.clear();
}

int ClearVMap(ObjectDb* db, int index) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->vmaps.size()) return ERR_PARAM;
  ObjVMap& m = l->vmaps[size_t(index)];
  m.points.clear();
  m.values.clear();
  m.slotOf.clear();
  if (ObjVMad* d = VMadFor(db, m.type, m.name)) ClearMad(*d);
  return 0;
}

int RenameVMap(ObjectDb* db, int index, const char* name) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->vmaps.size() || !name) return ERR_PARAM;
  ObjVMap& m = l->vmaps[size_t(index)];
  if (ObjVMad* d = VMadFor(db, m.type, m.name)) CopyName(d->name, name);
  CopyName(m.name, name);
  return 0;
}

// ------------------------------------------------------ discontinuous maps

int GetVMadCount(ObjectDb* db, Id4 type) {
  if (!db->currentLayer) return 0;
  int n = 0;
  for (auto& m : db->currentLayer->vmads)
    if (type == 0 || m.type == type) ++n;
  return n;
}

ObjVMad* NextVMad(ObjectDb* db, ObjVMad* map, Id4 type) {
  if (!db->currentLayer) return nullptr;
  return NextOf(db->currentLayer->vmads, map, type);
}

int AddVMad(ObjectDb* db, Id4 type, const char* name, int dimension) {
  ObjLayer* l = db->currentLayer;
  if (!l || dimension < 0) return -1;
  try {
    l->vmads.emplace_back();
  } catch (const std::bad_alloc&) {
    SetError(db, ERR_MEMORY);
    return -1;
  }
  ObjVMad& m = l->vmads.back();
  m.index = int32_t(l->vmads.size() - 1);
  m.type = type;
  m.polygonType = l->CurrentType();
  CopyName(m.name, name);
  m.dimension = dimension;
  return m.index;
}

int SetVMadValue(ObjectDb* db, int index, int point, int polygon, const float* values) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->vmads.size()) return ERR_PARAM;
  if (point < 0 || size_t(point) >= l->points.size() || polygon < 0) return ERR_PARAM;
  ObjVMad& m = l->vmads[size_t(index)];
  const size_t dim = size_t(m.dimension);
  if (dim > 0 && !values) return ERR_PARAM;
  if (!GrowSlotMap(m.slotOf, l->points.size(), point)) return SetError(db, ERR_MEMORY);
  try {
    int32_t slot = m.slotOf[size_t(point)];
    if (slot < 0) {
      slot = int32_t(m.slots.size());
      m.slots.emplace_back();
      m.slots.back().point = point;
      m.slotOf[size_t(point)] = slot;
    }
    auto& nodes = m.slots[size_t(slot)].nodes;
    auto it = std::find_if(nodes.begin(), nodes.end(),
                           [&](const VMadNode& n) { return n.polygon == polygon; });
    if (it == nodes.end()) {
      nodes.emplace_back();
      it = nodes.end() - 1;
      it->polygon = polygon;
    }
    it->values.assign(values, values + dim);
  } catch (const std::bad_alloc&) {
    return SetError(db, ERR_MEMORY);
  }
  return 0;
}

ObjVMad* FindVMad(ObjectDb* db, Id4 type, const char* name) {
  if (!db->currentLayer || !name) return nullptr;
  for (auto& m : db->currentLayer->vmads)
    if (m.type == type && strcmp(m.name, name) == 0) return &m;
  return nullptr;
}

ObjVMad* VMadFor(ObjectDb* db, Id4 type, const char* name) { return FindVMad(db, type, name); }

const float* GetVMadValue(ObjectDb*, ObjVMad* m, int point, int polygon) {
  if (!m || point < 0 || size_t(point) >= m->slotOf.size()) return nullptr;
  int32_t slot = m->slotOf[size_t(point)];
  if (slot < 0) return nullptr;
  for (auto& n : m->slots[size_t(slot)].nodes)
    if (n.polygon == polygon) return n.values.data();
  return nullptr;
}

int FreeVMads(ObjectDb* db, Id4 type) {
  if (!db->currentLayer) return 0;
  auto& maps = db->currentLayer->vmads;
  maps.erase(std::remove_if(maps.begin(), maps.end(),
                            [&](const ObjVMad& m) { return type == 0 || m.type == type; }),
             maps.end());
  Renumber(maps);
  return 0;
}

int DeleteVMad(ObjectDb* db, int index) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->vmads.size()) return ERR_PARAM;
  l->vmads.erase(l->vmads.begin() + index);
  Renumber(l->vmads);
  return 0;
}

int ClearVMad(ObjectDb* db, int index) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->vmads.size()) return ERR_PARAM;
  ClearMad(l->vmads[size_t(index)]);
  return 0;
}

// ------------------------------------------------------ polygon tag tables

int GetPolygonTagTableCount(ObjectDb* db, Id4 type) {
  if (!db->currentLayer) return 0;
  int n = 0;
  for (auto& t : db->currentLayer->TagTables())
    if (type == 0 || t.type == type) ++n;
  return n;
}

PolygonTagTable* NextPolygonTagTable(ObjectDb* db, PolygonTagTable* table, Id4 type) {
  if (!db->currentLayer) return nullptr;
  return NextOf(db->currentLayer->TagTables(), table, type);
}

int AddPolygonTagTable(ObjectDb* db, Id4 type) {
  ObjLayer* l = db->currentLayer;
  if (!l) return -1;
  auto& tables = l->TagTables();
  try {
    tables.emplace_back();
  } catch (const std::bad_alloc&) {
    SetError(db, ERR_MEMORY);
    return -1;
  }
  tables.back().index = int32_t(tables.size() - 1);
  tables.back().type = type;
  return tables.back().index;
}

// Adds or replaces the polygon's entry in the table; the slot map grows to
// cover the polygon (new entries -1).
bool SetTableEntry(PolygonTagTable& t, int polygon, int tag) {
  try {
    if (size_t(polygon) >= t.slotOf.size()) t.slotOf.resize(size_t(polygon) + 1, -1);
    int32_t slot = t.slotOf[size_t(polygon)];
    if (slot >= 0 && size_t(slot) < t.polygons.size() && t.polygons[size_t(slot)] == polygon) {
      t.tags[size_t(slot)] = tag;
      return true;
    }
    t.slotOf[size_t(polygon)] = int32_t(t.polygons.size());
    t.polygons.push_back(polygon);
    t.tags.push_back(tag);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

const char* SetPolygonTag(ObjectDb* db, int polygon, Id4 type, const char* name) {
  ObjLayer* l = db->currentLayer;
  if (!l || !name || polygon < 0 || size_t(polygon) >= l->Polygons().size()) return nullptr;
  int id = db->ops.AddTag(db, name, type);
  ObjTag* tag = db->ops.GetTag(db, id);
  if (!tag) return nullptr;
  auto& tables = l->TagTables();
  auto it = std::find_if(tables.begin(), tables.end(),
                         [&](const PolygonTagTable& t) { return t.type == type; });
  if (it == tables.end()) {
    if (AddPolygonTagTable(db, type) < 0) return nullptr;
    it = tables.end() - 1;
  }
  if (!SetTableEntry(*it, polygon, id)) {
    SetError(db, ERR_MEMORY);
    return nullptr;
  }
  return tag->name;
}

PolygonTagTable* GetPolygonTagTable(ObjectDb* db, int index) {
  if (!db->currentLayer) return nullptr;
  auto& tables = db->currentLayer->TagTables();
  if (index < 0 || size_t(index) >= tables.size()) return nullptr;
  return &tables[size_t(index)];
}

bool TableHolds(const PolygonTagTable& t, int polygon) {
  if (polygon < 0 || size_t(polygon) >= t.slotOf.size()) return false;
  int32_t slot = t.slotOf[size_t(polygon)];
  return slot >= 0 && size_t(slot) < t.polygons.size() && t.polygons[size_t(slot)] == polygon;
}

PolygonTagTable* FindPolygonTagTable(ObjectDb* db, PolygonTagTable* table, int polygon, Id4 type) {
  for (PolygonTagTable* t = NextPolygonTagTable(db, table, type); t;
       t = NextPolygonTagTable(db, t, type))
    if (TableHolds(*t, polygon)) return t;
  return nullptr;
}

ObjTag* GetPolygonTag(ObjectDb* db, PolygonTagTable* t, int polygon) {
  if (!t || !TableHolds(*t, polygon)) return nullptr;
  return db->ops.GetTag(db, t->tags[size_t(t->slotOf[size_t(polygon)])]);
}

int FreePolygonTagTables(ObjectDb* db, Id4 type) {
  if (!db->currentLayer) return 0;
  auto& tables = db->currentLayer->TagTables();
  tables.erase(std::remove_if(tables.begin(), tables.end(),
                              [&](const PolygonTagTable& t) { return type == 0 || t.type == type; }),
               tables.end());
  Renumber(tables);
  return 0;
}

int CopyPolygonTags(ObjectDb* db, int from, int to) {
  ObjLayer* l = db->currentLayer;
  if (!l) return ERR_PARAM;
  size_t count = l->TagTables().size();
  for (size_t i = 0; i < count; ++i) {
    PolygonTagTable& t = l->TagTables()[i];
    if (!TableHolds(t, from)) continue;
    ObjTag* tag = db->ops.GetTag(db, t.tags[size_t(t.slotOf[size_t(from)])]);
    if (!tag) continue;
    char name[kNameSize];
    memcpy(name, tag->name, sizeof name);
    if (!db->ops.SetPolygonTag(db, to, t.type, name)) return ERR_PARAM;
  }
  return 0;
}

int DeletePolygonTagTable(ObjectDb* db, int index) {
  if (!db->currentLayer) return ERR_PARAM;
  auto& tables = db->currentLayer->TagTables();
  if (index < 0 || size_t(index) >= tables.size()) return ERR_PARAM;
  tables.erase(tables.begin() + index);
  Renumber(tables);
  return 0;
}

}  // namespace

void RenumberVMadPolygons(ObjectDb* db, const IndexArray& newIndex) {
  ObjLayer* l = db->currentLayer;
  if (!l) return;
  const Id4 type = l->CurrentType();
  for (auto& m : l->vmads) {
    if (m.polygonType != type) continue;
    for (auto& slot : m.slots) {
      auto& nodes = slot.nodes;
      for (auto& n : nodes)
        n.polygon = n.polygon >= 0 && size_t(n.polygon) < newIndex.size() ? newIndex[size_t(n.polygon)] : -1;
      nodes.erase(std::remove_if(nodes.begin(), nodes.end(), [](const VMadNode& n) { return n.polygon < 0; }),
                  nodes.end());
    }
  }
}

void InstallMapOps(ObjectDbOps& o) {
  o.GetVMapCount = GetVMapCount;
  o.NextVMap = NextVMap;
  o.AddVMap = AddVMap;
  o.SetVMapValue = SetVMapValue;
  o.FindVMap = FindVMap;
  o.GetVMapValue = GetVMapValue;
  o.FreeVMaps = FreeVMaps;
  o.DeleteVMap = DeleteVMap;
  o.ClearVMap = ClearVMap;
  o.RenameVMap = RenameVMap;
  o.GetVMadCount = GetVMadCount;
  o.NextVMad = NextVMad;
  o.AddVMad = AddVMad;
  o.SetVMadValue = SetVMadValue;
  o.FindVMad = FindVMad;
  o.GetVMadValue = GetVMadValue;
  o.FreeVMads = FreeVMads;
  o.DeleteVMad = DeleteVMad;
  o.ClearVMad = ClearVMad;
  o.GetPolygonTagTableCount = GetPolygonTagTableCount;
  o.NextPolygonTagTable = NextPolygonTagTable;
  o.AddPolygonTagTable = AddPolygonTagTable;
  o.SetPolygonTag = SetPolygonTag;
  o.GetPolygonTagTable = GetPolygonTagTable;
  o.FindPolygonTagTable = FindPolygonTagTable;
  o.GetPolygonTag = GetPolygonTag;
  o.FreePolygonTagTables = FreePolygonTagTables;
  o.CopyPolygonTags = CopyPolygonTags;
  o.DeletePolygonTagTable = DeletePolygonTagTable;
}
