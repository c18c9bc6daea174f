// Wiring of the operations table: each source file of the library fills the
// slots it implements. Internal to objlib.
#pragma once

#include <algorithm>

#include "objectdb.h"

// Slots whose operations are not built yet: each fails with ERR_PARAM (8) or
// returns null. Installed first, so the modules below override them.
void InstallPendingOps(ObjectDbOps& ops);
// Layers, tags, points, polygons, normals, colours, surfaces, clips,
// envelopes, edges, user data, sorting, Load, Clone, errors and log.
void InstallCoreOps(ObjectDbOps& ops);
// Normals, edges, links, user data, transforms, bounds and sorting.
void InstallGeometryOps(ObjectDbOps& ops);
// Vertex maps, discontinuous maps and polygon tag tables.
void InstallMapOps(ObjectDbOps& ops);
// Save (LWO2 and LWOB writer).
void InstallWriterOps(ObjectDbOps& ops);
// Surface attributes and texture layers.
void InstallSurfaceOps(ObjectDbOps& ops);
// Texture coordinates, their projection and the UV and vertex-colour files.
void InstallUvOps(ObjectDbOps& ops);
// TriangulatePolygon, TriangulatePolygons.
void InstallTriangulationOps(ObjectDbOps& ops);
// BuildLoops and the other edge-loop (polygon strip) operations.
void InstallStripOps(ObjectDbOps& ops);
// Dump (the text listing of the whole object).
void InstallDumpOps(ObjectDbOps& ops);

// Every slot of the table, as a new ObjectDb gets it.
void InstallLibraryOps(ObjectDbOps& ops);
// True while no slot of db's table has been replaced: then no caller's code
// runs inside an operation, and steps may split their work between threads.
bool HasLibraryOps(const ObjectDb* db);

// FindSurface without its memo of the last name: it writes nothing, so
// threads may call it at once.
ObjSurface* LookUpSurface(const ObjectDb* db, const char* name);

// AddPolygon without the face normal, for a reader that computes those for
// a whole chunk of polygons at once afterwards.
int AddPolygonWithoutNormal(ObjectDb* db, int count, const int32_t* points, const char* surface);

// FreeNormals on a layer; with `keepCurrent`, the polygons of the current
// type keep their per-corner normal lists (for a caller that remakes them).
void FreeNormalsOf(ObjLayer& l, bool keepCurrent);

// SelectTextureLayers(0, 0) and then (TEX_COLR, 0), with one walk over the
// polygons for both. The polygons of `settled` (when given) are known to
// have that channel current where they have it, and none current otherwise,
// and are passed over.
void SelectFirstColorLayers(ObjectDb* db, const ObjLayer* settled = nullptr);

// SetPolygonPoints on a record in hand: the points, the corner count, and
// every per-corner list cut or filled out to it.
void SetPointsOf(ObjPolygon& p, int count, const int32_t* points);

// The polygon's channel (key, key2), made (with a zero per corner) when it
// has none, and made current: SelectPolygonChannel on a record in hand.
// Throws std::bad_alloc when memory runs out.
CornerChannel* SelectChannel(ObjPolygon& p, int key, int key2);

// Polygon record of the current layer and type, or null.
inline ObjPolygon* CurrentPolygon(ObjectDb* db, int index) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->Polygons().size()) return nullptr;
  return &l->Polygons()[size_t(index)];
}

// Calls visit(polygon, corner) for the corners of the current polygons at a
// point, through the point links when they are built, else by a scan; stops
// when visit returns true.
template <typename F>
inline void ForEachCornerAt(ObjLayer* l, int point, F visit) {
  auto& polys = l->Polygons();
  if (point < 0 || size_t(point) >= l->points.size()) return;
  if (l->pointLinksBuilt && l->points[size_t(point)].userData) {
    auto* links = static_cast<PolygonLinks*>(l->points[size_t(point)].userData);
    for (int i = 0; i < links->count; ++i) {
      size_t pi = size_t(links->polygons[i]);
      if (pi < polys.size() && visit(polys[pi], links->corners[i])) return;
    }
    return;
  }
  for (auto& p : polys) {
    const size_t n = std::min(size_t(std::max(p.vertexCount, 0)), p.points.size());
    for (size_t c = 0; c < n; ++c)
      if (p.points[c] == point && visit(p, int(c))) return;
  }
}

// Reads n VEC12 points from c into the current layer (room reserved first).
// False when memory runs out.
bool AppendPoints(ObjectDb* db, ByteSource& c, size_t n);

// Polygons a reader has seen to hold only point indices below pointsBelow:
// while the group still has that many polygons and its layer at least that
// many points, none of them is out of range.
struct CheckedPolygons {
  const PolygonTypeGroup* group;
  size_t polygons;
  size_t pointsBelow;
};

// ValidateObjectDb, passing over the point indices of the groups `checked`
// vouches for.
int ValidateObjectDb(ObjectDb* db, const std::vector<CheckedPolygons>& checked);

// Sets the record's error field and returns the code.
inline int SetError(ObjectDb* db, int code) {
  db->error = code;
  return code;
}

// Renumbers every VMAD node of the current layer that belongs to the current
// polygon type: polygon p becomes newIndex[p]; entries mapped to -1 or out of
// range are dropped.
void RenumberVMadPolygons(ObjectDb* db, const IndexArray& newIndex);
// The same for the polygon indices held by the current layer's edge loops.
void RenumberLoopPolygons(ObjectDb* db, const IndexArray& newIndex);

// Parses a clip's raw CLIP body and stores its display name (see
// clip_envelope.h). Called by the LWO2 reader after each CLIP chunk.
void DeriveClipName(ObjectDb* db, int ordinal);

// Gives a tag its type (a tag read from TAGS gets it from the first table
// that names it), keeping the (type, name) lookup in step.
void SetTagType(ObjectDb* db, ObjTag* tag, Id4 type);
// Rebuilds the name lookup of the surfaces after their names moved.
void RebuildSurfaceIndex(ObjectDb* db);
