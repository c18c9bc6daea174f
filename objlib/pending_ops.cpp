// Operations whose slots exist but which this build does not provide yet.
// Each fails cleanly: ERR_PARAM for status results, null for records.
#include "ops_internal.h"

namespace {

int FailI(ObjectDb*, int) { return ERR_PARAM; }
int FailII(ObjectDb*, int, int) { return ERR_PARAM; }

}  // namespace

void InstallPendingOps(ObjectDbOps& ops) {
  ops.TriangulatePolygon = FailII;
  ops.TriangulatePolygons = FailI;
}

