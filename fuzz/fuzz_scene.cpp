// Feeds arbitrary text to the scene reader (objects are not loaded).
#include <cstddef>
#include <cstdint>

#include "scenedb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SceneDb* db = CreateSceneDbFromMemory("fuzz.lws", reinterpret_cast<const char*>(data), size, 0, nullptr);
  CloseSceneDb(&db);
  return 0;
}
