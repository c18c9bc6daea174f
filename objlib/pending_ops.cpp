// Operations whose slots exist but which this build does not provide yet.
// Each fails cleanly: ERR_PARAM for status results, null for records.
#include "ops_internal.h"

namespace {

int Fail(ObjectDb*) { return ERR_PARAM; }
int FailI(ObjectDb*, int) { return ERR_PARAM; }
int FailII(ObjectDb*, int, int) { return ERR_PARAM; }
int FailIII(ObjectDb*, int, int, int) { return ERR_PARAM; }
int FailCount(ObjectDb* db) { return db->currentLayer ? int(db->currentLayer->uvs.size()) : 0; }
int FailAddUv(ObjectDb*, double, double, double) { return -1; }
int FailAddSharedUv(ObjectDb*, int, double, double, double) { return -1; }
ObjUv* NullUv(ObjectDb*, int) { return nullptr; }
int FailSetUv(ObjectDb*, int, double, double, double) { return ERR_PARAM; }
int FailProject(ObjectDb*, TextureLayer*, int, int, double*) { return ERR_PARAM; }
SurfaceAttributes* NullAttrName(ObjectDb*, const char*) { return nullptr; }
SurfaceAttributes* NullAttrId(ObjectDb*, int) { return nullptr; }
int FailFreeAttr(ObjectDb*, SurfaceAttributes*) { return ERR_PARAM; }
TextureLayer* NullNewLayer(ObjectDb*, SurfaceAttributes*) { return nullptr; }
TextureLayer* NullGetLayer(ObjectDb*, SurfaceAttributes*, int, int) { return nullptr; }
int ZeroLoops(ObjectDb*) { return 0; }
EdgeLoop* NullLoop(ObjectDb*, int) { return nullptr; }
LoopItem* NullLoopItem(ObjectDb*, int, int) { return nullptr; }
int FailBuildLoops(ObjectDb*, const void*) { return ERR_PARAM; }
int FailSave(ObjectDb*, const char*, int, int) { return ERR_PARAM; }
int FailDump(ObjectDb*, FILE*) { return ERR_PARAM; }
int ZeroPrepare(ObjectDb*, int, int) { return 0; }

}  // namespace

void InstallPendingOps(ObjectDbOps& ops) {
  ops.GetUvCount = FailCount;
  ops.AddUv = FailAddUv;
  ops.AddSharedUv = FailAddSharedUv;
  ops.GetUv = NullUv;
  ops.SetUv = FailSetUv;
  ops.BuildUvs = FailIII;
  ops.MapPolygonUvs = FailIII;
  ops.ProjectCornerUv = FailProject;
  ops.LoadUvFile = FailI;
  ops.FreeUvs = Fail;
  ops.BuildVertexColors = FailI;
  ops.NewSurfaceAttributes = NullAttrName;
  ops.GetSurfaceAttributes = NullAttrId;
  ops.PrepareSurfaceAttributes = ZeroPrepare;
  ops.FreeSurfaceAttributes = FailFreeAttr;
  ops.NewTextureLayer = NullNewLayer;
  ops.GetTextureLayer = NullGetLayer;
  ops.SelectTextureLayers = FailII;
  ops.GetLoopCount = ZeroLoops;
  ops.GetLoop = NullLoop;
  ops.GetLoopItem = NullLoopItem;
  ops.BuildLoops = FailBuildLoops;
  ops.FreeLoops = ZeroLoops;
  ops.SortLoops = Fail;
  ops.TriangulatePolygon = FailII;
  ops.TriangulatePolygons = FailI;
  ops.Save = FailSave;
  ops.Dump = FailDump;
}

bool GetSurfaceSmoothing(ObjectDb*, int, double*) { return false; }

void RenumberLoopPolygons(ObjectDb*, const IndexArray&) {}

