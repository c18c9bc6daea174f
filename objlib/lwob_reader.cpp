#include "ops_internal.h"

int ReadLwob(ObjectDb* db, const char*, int) { return db->error = ERR_UNKNOWN_TYPE; }
