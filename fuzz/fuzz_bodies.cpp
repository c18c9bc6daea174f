// Feeds arbitrary bytes to the sub-chunk parsers of surface, clip and
// envelope bodies (both object layouts), then re-sizes what they kept.
#include <cstddef>
#include <cstdint>

#include "clip_envelope.h"
#include "lwob_surface.h"
#include "surface_chunks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (auto s = ParseSurfChunks(nullptr, data, size)) SizeSurfChunks(*s);
  LwobSurfChunks lwob;
  ParseLwobSurfBody(nullptr, data, size, &lwob);
  ParseClipChunks(nullptr, data, size);
  if (auto e = ParseEnvlChunks(nullptr, data, size)) {
    EnvCurve curve = BuildEnvCurve(*e);
    for (float t : {-100.0f, -1.0f, 0.0f, 0.5f, 1.0f, 30.0f, 1e6f}) EvalEnvelope(curve, t);
  }
  return 0;
}
