// Feeds arbitrary bytes to the object readers with the viewer's
// post-processing, as OpenObjectDb would (LWO2, then LWOB).
#include <cstddef>
#include <cstdint>

#include "objectdb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LoadOptions options;
  options.flags = LOAD_SORT | LOAD_TRIANGULATE | LOAD_NORMALS | LOAD_EDGES;
  for (int format : {2, 1}) {
    ObjectDb* db = CreateObjectDb(0);
    if (!db) return 0;
    LoadObjectFromMemory(db, data, size, format, &options);
    CloseObjectDb(&db);
  }
  return 0;
}
