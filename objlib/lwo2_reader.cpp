#include "ops_internal.h"
int ReadLwo2(ObjectDb* db, const char*, int) { return db->error = ERR_UNKNOWN_TYPE; }
