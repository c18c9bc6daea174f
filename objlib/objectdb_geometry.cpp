#include "ops_internal.h"
void InstallGeometryOps(ObjectDbOps&) {}
