#include "ops_internal.h"

void InstallTriangulationOps(ObjectDbOps&) {}
