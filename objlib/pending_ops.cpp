// Operations whose slots exist but which this build does not provide yet.
// Each fails cleanly: ERR_PARAM for status results, null for records.
#include "ops_internal.h"

namespace {

int Fail(ObjectDb*) { return ERR_PARAM; }
int FailI(ObjectDb*, int) { return ERR_PARAM; }
int FailII(ObjectDb*, int, int) { return ERR_PARAM; }
int ZeroLoops(ObjectDb*) { return 0; }
EdgeLoop* NullLoop(ObjectDb*, int) { return nullptr; }
LoopItem* NullLoopItem(ObjectDb*, int, int) { return nullptr; }
int FailBuildLoops(ObjectDb*, const void*) { return ERR_PARAM; }
int FailDump(ObjectDb*, FILE*) { return ERR_PARAM; }

}  // namespace

void InstallPendingOps(ObjectDbOps& ops) {
  ops.GetLoopCount = ZeroLoops;
  ops.GetLoop = NullLoop;
  ops.GetLoopItem = NullLoopItem;
  ops.BuildLoops = FailBuildLoops;
  ops.FreeLoops = ZeroLoops;
  ops.SortLoops = Fail;
  ops.TriangulatePolygon = FailII;
  ops.TriangulatePolygons = FailI;
  ops.Dump = FailDump;
}

void RenumberLoopPolygons(ObjectDb*, const IndexArray&) {}

