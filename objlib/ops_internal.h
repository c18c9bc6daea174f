// Wiring of the operations table: each source file of the library fills the
// slots it implements. Internal to objlib.
#pragma once

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

// Polygon record of the current layer and type, or null.
inline ObjPolygon* CurrentPolygon(ObjectDb* db, int index) {
  ObjLayer* l = db->currentLayer;
  if (!l || index < 0 || size_t(index) >= l->Polygons().size()) return nullptr;
  return &l->Polygons()[size_t(index)];
}

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
