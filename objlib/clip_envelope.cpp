#include "ops_internal.h"

void DeriveClipName(ObjectDb*, int) {}
