#include "ops_internal.h"
int ValidateObjectDb(ObjectDb*) { return 0; }
