#include "ops_internal.h"
void InstallMapOps(ObjectDbOps&) {}
void RenumberVMadPolygons(ObjectDb*, const IndexArray&) {}
