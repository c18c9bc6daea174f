// Conversion of surface bodies between the LWO2 and LWOB layouts, used when
// an object is saved in the layout it was not loaded from.
//
//   AddConversionClips(db);                 // once, before converting
//   ConvertedSurface body;
//   if (ConvertSurface(db, *db->ops.GetSurface(db, 0), 2, &body) == 0)
//     write(body.Data(), body.Size());
//
// The two layouts describe surfaces differently; only the values with a
// counterpart are carried over, and some drift on a round trip (LWOB keeps
// colours as bytes and glossiness as a power of two, and texture values go
// to LWOB as value x 256 but come back as value / 255). Values outside what
// the target can hold are clamped: colour and alpha bytes to 0..255, texture
// values to 0..65535, glossiness to 0..65535 (LWOB) and to 0 and above
// (LWO2). Unknown axis values map to X, unknown wrap modes to repeat, and an
// unknown projection drops the block, as a UV projection does.
//
// Procedural textures keep their parameters in the LWO2 FUNC data as five
// big-endian four-byte fields: TIP0 (as U4), TFP0, TFP1, TFP2, TFP3 (F4).
// Fields are written up to the last parameter the texture holds, missing ones
// before it as 0; reading back takes as many whole fields as the data holds.
//
// Conversion never changes the object: image references are resolved by
// clip name (FindClipIdByName) and a missing clip leaves the reference out.
// AddConversionClips adds the clips an LWOB-to-LWO2 conversion needs; the
// writer calls it once before sizing its output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lwob_surface.h"
#include "surface_chunks.h"

struct ObjectDb;
struct ObjSurface;

// A surface's body in a requested layout: the stored bytes when no
// conversion was needed, otherwise a converted copy it owns.
struct ConvertedSurface {
  const ObjSurface* surface = nullptr;  // the stored record (name, id, flags)
  bool converted = false;
  std::vector<uint8_t> body;  // the converted body; empty unless converted

  const uint8_t* Data() const;
  size_t Size() const;
};

// Gives the body of `surface` in `format` (1 LWOB, 2 LWO2). When the object
// was loaded in that format, or was never loaded (format 0: bodies built in
// memory are taken to be in the requested layout), the stored body is used
// as it is. Otherwise the body is parsed in the loaded layout, converted and
// packed in the requested one. Returns 0, ERR_PARAM for another format or
// no db, ERR_BAD_FORMAT when the converted body cannot be packed (a
// sub-chunk over 65535 bytes), ERR_MEMORY when memory runs out.
int ConvertSurface(ObjectDb* db, const ObjSurface& surface, int format, ConvertedSurface* out);

// The values of an LWO2 surface in the LWOB description. db supplies clip
// names for image references (may be null: references are then left out).
LwobSurfChunks ConvertToLwob(ObjectDb* db, const SurfChunks& surface);

// The values of an LWOB surface in the LWO2 description. Image references
// become the ids of the clips named like the image files (left out when
// there is none); envelope references are 0. db may be null.
SurfChunks ConvertToLwo2(ObjectDb* db, const LwobSurfChunks& surface);

// For an object loaded as LWOB: adds a clip (AddClipFromPath) for every
// reflection and texture image file its surfaces name that no clip names
// yet. Returns the number of clips added; 0 for other objects.
int AddConversionClips(ObjectDb* db);
