// Prepared surface attributes, texture layers and per-corner texture
// coordinates.
//
// A surface keeps its SURF body as raw bytes. GetSurfaceAttributes turns it,
// on first request, into a SurfaceAttributes record of ready shading values
// (colours already multiplied by their levels, envelopes evaluated at the
// ObjectDb's time) with one TextureLayer per texture of the surface. The
// record belongs to the surface and is freed by FreeSurfaces.
//
//   SurfaceAttributes* a = db->ops.GetSurfaceAttributes(db, polygon->surfaceId);
//   TextureLayer* t = a ? db->ops.GetTextureLayer(db, a, TEX_COLR, 0) : nullptr;
//   if (t && (t->imageFlags & TEXLAYER_IMAGE)) LoadImage(t->imageName);
//
// BuildUvs fills the current layer's texture-coordinate list and each
// polygon's CornerChannel (channel, n) from the texture layers' projections
// (or from a ".uv" side file), then leaves channel (TEX_COLR, 0) current.
//
// Untrusted input: surfaces are parsed with the bounded parsers of
// surface_chunks.h and lwob_surface.h; projections never divide into a
// non-finite coordinate (such results become 0), every loop is bounded by
// the corner count, and unknown codes from a file (projection, axis, wrap
// mode) fall back to a defined value. Not thread-safe (see objectdb.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chunk.h"
#include "objectdb.h"

struct EnvCurve;
struct SurfChunks;
struct LwobSurfChunks;

// Texture channel masks, in the order of kChannelIds.
enum TextureChannel : uint16_t {
  TEX_COLR = 1,
  TEX_DIFF = 2,
  TEX_LUMI = 4,
  TEX_SPEC = 8,
  TEX_REFL = 16,
  TEX_TRAN = 32,
  TEX_BUMP = 64,
  TEX_TRNL = 128,
};

// The LWO2 channel IDs ("COLR" ... "TRNL") and the LWOB texture sub-chunk IDs
// ("CTEX" ... "BTEX"; LWOB has no eighth), position i having mask 1 << i.
extern const Id4 kChannelIds[8];
extern const Id4 kLwobTextureIds[7];
extern const uint16_t kChannelMasks[8];

enum TextureProjection : uint16_t {
  PROJ_PLANAR = 0,
  PROJ_CYLINDRICAL = 1,
  PROJ_SPHERICAL = 2,
  PROJ_CUBIC = 3,
  PROJ_FRONT = 4,
  PROJ_UV_MAP = 5,
};

enum TextureAxis : uint16_t { AXIS_X = 0, AXIS_Y = 1, AXIS_Z = 2 };

enum WrapMode : uint16_t { WRAP_RESET = 0, WRAP_REPEAT = 1, WRAP_MIRROR = 2, WRAP_EDGE = 3 };

// SurfaceAttributes::flags.
enum SurfaceFlag : uint16_t {
  SURF_SMOOTHING = 0x1,
  SURF_REFLECTION_IMAGE = 0x8,
  SURF_DOUBLE_SIDED = 0x20,
  SURF_COLOR_HIGHLIGHTS = 0x200,
  SURF_REFRACTION_IMAGE = 0x400,
};

// TextureLayer::imageFlags and referenceFlags.
enum TextureLayerFlag : uint8_t {
  TEXLAYER_REFERENCE = 0x1,  // in referenceFlags
  TEXLAYER_IMAGE = 0x2,
  TEXLAYER_ALPHA = 0x4,
};

// BuildUvs and LoadUvFile flags.
enum UvFlag {
  UV_SHARE = 2,        // equal coordinates at a point share one entry
  UV_SHIFT = 4,        // shift each polygon's u and v so their minimum is in [0, 1)
  UV_TRY_FILE = 8,     // BuildUvs: take the ".uv" file when it loads
  UV_FILE_RGB = 16,    // LoadUvFile version 4: read VERT_RGB
  UV_FILE_NORMAL = 32, // LoadUvFile version 4: read VERT_NORMAL
};

// BuildVertexColors flags.
enum VertexColorFlag {
  VCOLOR_SHARE = 1,         // equal colours at a point share one entry
  VCOLOR_SURFACE_COLOR = 2, // fall back to (and blend RGBA maps over) surface colours
};

// Shared so that one envelope referenced by many surfaces or layers is built
// once; evaluation only moves the curve's cached key.
using EnvelopePtr = std::shared_ptr<EnvCurve>;

struct TextureLayer {
  uint8_t imageFlags = 0;      // TEXLAYER_IMAGE, TEXLAYER_ALPHA
  uint8_t referenceFlags = 0;  // TEXLAYER_REFERENCE
  uint16_t channel = 0;        // a TextureChannel mask
  uint16_t index = 0;          // ordinal among the layers of that channel
  uint16_t projection = PROJ_PLANAR;
  uint16_t axis = AXIS_X;
  float opacity = 1;
  uint16_t blendMode = 0;  // the opacity type
  uint16_t negative = 0;
  float size[3] = {1, 1, 1};
  float center[3] = {0, 0, 0};
  float rotation[3] = {0, 0, 0};  // heading, pitch, bank (radians)
  float amplitude = 1;
  float wrapWidth = 1, wrapHeight = 1;  // repeats around a cylinder or sphere
  uint16_t wrapModeWidth = WRAP_REPEAT, wrapModeHeight = WRAP_REPEAT;
  std::string imageName, alphaImageName, referenceName, uvMapName;  // <= 255 bytes
  EnvelopePtr opacityEnvelope;
  EnvelopePtr sizeEnvelope[3], centerEnvelope[3], rotationEnvelope[3];
  // Applied to points (as row vectors, translation in the last row) before
  // projecting; the identity unless a caller sets it.
  double matrix[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

struct SurfaceAttributes {
  std::string name;
  int32_t surfaceId = -1;  // the surface it is attached to; -1 when none
  int format = 0;          // 1 LWOB, 2 LWO2
  uint16_t flags = 0;      // SurfaceFlag bits
  double time = 0;         // when the envelopes were last evaluated

  // r, g, b, alpha. shininess[0] is the glossiness (a shininess exponent).
  float color[4] = {0.78f, 0.78f, 0.78f, 1};
  float diffuseColor[4] = {0.78f, 0.78f, 0.78f, 1};
  float specularColor[4] = {0, 0, 0, 0};
  float shininess[4] = {0, 0, 0, 0};
  float emission[4] = {0, 0, 0, 0};

  float diffuse = 1;
  float specular = 0;
  float luminosity = 0;
  float reflection = 0;
  float refractiveIndex = 1;
  float smoothingAngle = 1.56207f;  // radians (89.5 degrees)
  float transparency = 0;
  float colorHighlights = 0;

  uint16_t reflectionOption = 0;
  std::string reflectionImage;
  float reflectionSeam = 0;
  uint16_t refractionOption = 0;
  std::string refractionImage;
  float refractionSeam = 0;

  Id4 vertexColorType = 0;  // "RGB " or "RGBA" from VCOL; 0 when none
  std::string vertexColorMap;
  std::string uvFileName;  // the ".uv" file that textured this surface
  std::string comment;

  EnvelopePtr colorEnvelope[3];  // r, g, b: all three or none
  EnvelopePtr diffuseEnvelope, specularEnvelope, luminosityEnvelope, reflectionEnvelope,
      refractiveIndexEnvelope, transparencyEnvelope, colorHighlightsEnvelope;

  std::vector<std::unique_ptr<TextureLayer>> layers;  // in creation order
  TextureLayer* currentLayer = nullptr;

  // The parsed body, by the reader of the object's format.
  std::unique_ptr<SurfChunks> lwo2;
  std::unique_ptr<LwobSurfChunks> lwob;

  SurfaceAttributes();
  ~SurfaceAttributes();
};

// One corner's texture coordinate as a projection produces it.
struct CornerUv {
  double u = 0, v = 0, w = 1;
  int32_t point = -1;
  int32_t surfaceId = 0;
};

// The operations of this module, reached through db->ops:
//
// NewSurfaceAttributes(name): a record with the defaults, attached to no
//   surface; the caller frees it with FreeSurfaceAttributes. Null on memory
//   failure.
// GetSurfaceAttributes(surfaceId): the surface's record, built on first
//   request (any other surfaces still without one are built in the same pass,
//   sharing the envelopes they reference). Later calls re-evaluate the
//   envelopes when db->time changed. Null for an unknown id.
// PrepareSurfaceAttributes(surfaceId, channelIndex): the number of texture
//   blocks of channel kChannelIds[channelIndex] in the parsed surface; 0 for an
//   unknown surface or index.
// FreeSurfaceAttributes(record): frees it (null is allowed) and detaches it
//   from its surface. Returns 0.
// NewTextureLayer(record): appends a layer with the defaults above and makes
//   it current. GetTextureLayer(record, channel, n): the n-th layer (0-based)
//   whose channel equals the mask, or null.
// SelectTextureLayers(channel, n): every surface's current layer becomes its
//   layer (channel, n) when it has one, and every polygon of every layer its
//   CornerChannel (channel, n) when it has one; channel 0 clears both.
//
// GetUvCount, AddUv(u, v, w) -> index (-1 on memory failure, error 1),
//   AddSharedUv(point, u, v, w) -> the index a corner at that point already
//   uses (through its polygon's current channel) when u, v and w each match
//   within 2^-23, else AddUv; GetUv(index) (null out of range), SetUv (8 out
//   of range), FreeUvs (empties the list and every polygon's channels).
// BuildUvs(channels, layerCount, flags): FreeUvs; with UV_TRY_FILE returns 0
//   when LoadUvFile succeeds; otherwise MapPolygonUvs for every channel bit
//   (low to high) and n < layerCount, stopping at the first error; always
//   ends by selecting channel (TEX_COLR, 0) and freeing the point links.
// MapPolygonUvs(channel, n, flags): projects every polygon of the current
//   layer whose surface has layer (channel, n) into CornerChannel (channel, n).
//   A polygon whose UV-map corners are missing gets no indices.
// ProjectCornerUv(layer, flags, polygon, out): fills out[0 .. vertexCount)
//   (the caller sizes it); 0, 13 when a UV-map corner has no value (it gets
//   (0, 0)), 8 for a bad polygon, layer or out.
// LoadUvFile(flags), BuildVertexColors(flags): see side_files.h.

// The smoothing that angle-mode BuildNormals applies (declared in objectdb.h):
// GetSurfaceSmoothing(db, surfaceId, &angle).
