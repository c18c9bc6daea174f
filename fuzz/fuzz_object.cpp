// Feeds arbitrary bytes to the object readers with the viewer's
// post-processing, as OpenObjectDb would (LWO2, then LWOB).
#include <cstddef>
#include <cstdint>

#include "objectdb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Every post-processing step, with the viewer's settings for each.
  LoadOptions options;
  options.flags = LOAD_SORT | LOAD_TRIANGULATE | LOAD_UVS | LOAD_NORMALS | LOAD_EDGES | LOAD_COLORS;
  options.normalFlags = 6;
  options.uvFlags = 10;
  options.uvChannels = 1;
  options.uvLayerCount = 2;
  options.colorFlags = 1;
  for (int format : {2, 1}) {
    ObjectDb* db = CreateObjectDb(0);
    if (!db) return 0;
    LoadObjectFromMemory(db, data, size, format, &options);
    CloseObjectDb(&db);
  }
  return 0;
}
