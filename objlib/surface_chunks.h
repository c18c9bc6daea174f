// Parsed LWO2 surface bodies.
//
// An ObjSurface keeps the SURF chunk body (everything after the surface name
// and source name) as raw bytes. ParseSurfChunks turns such a body into a
// SurfChunks record: one optional slot per sub-chunk kind the library knows,
// each holding that sub-chunk's values exactly as stored, plus the texture
// blocks (BLOK) with their headers and texture maps.
//
//   std::unique_ptr<SurfChunks> s = ParseSurfChunks(db, *db->ops.GetSurface(db, 0));
//   if (s && s->diffuse) use(s->diffuse->value);
//
// Every record starts with `length`, the sub-chunk length as read from the
// file; SizeSurfChunks rewrites it from the content (the "full form" of each
// sub-chunk), which is what a writer packs. Envelope references are VX
// indices, 0 meaning none; image references are clip indices.
//
// Untrusted input: parsing is safe on any byte sequence. Reads never leave
// the body or the sub-chunk being read (missing bytes read as zero), every
// count is bounded by the bytes present, texts are cut to 255 bytes, and at
// most kMaxSurfBlocks blocks are kept. Problems are reported as diagnostic
// lines through the ObjectDb's Log operation and never stop the parse:
//   "??? UNKNOWN ChunkBuff %d\n"                          unknown sub-chunk
//   "??? (%s) INVALID SURF ChunkBuff SIZE  %d bytes over\n" declared length
//                                                 minus the bytes consumed
// and, inside blocks, headers and texture maps, the same with "BLOK",
// "HEAD" and "TMAP" texts. Each parse ends with the line
//   "***  SURFACE SIZE (%d / %d)  ***\n"   (body size, SizeSurfChunks result)
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chunk.h"

struct ObjectDb;
struct ObjSurface;

// F4 value and VX envelope (DIFF, LUMI, SPEC, ..., WRPW, TAMP).
struct SurfValue {
  uint16_t length = 0;
  float value = 0;
  uint32_t envelope = 0;
};

// VEC12 and VX envelope (COLR, LCOL, CNTR, SIZE, ROTA).
struct SurfVector {
  uint16_t length = 0;
  float value[3] = {0, 0, 0};
  uint32_t envelope = 0;
};

// A lone F4 (SMAN, AVAL, GRST, GREN).
struct SurfFloat {
  uint16_t length = 0;
  float value = 0;
};

// A lone U2 (RFOP, SIDE, TROP, PROJ, AXIS, FLAG, PIXB, ENAB, NEGA, CSYS).
// For RFOP, SIDE and TROP any bytes after the U2 are skipped and not kept.
struct SurfWord {
  uint16_t length = 0;
  uint16_t value = 0;
};

// A lone VX index (RIMG, TIMG, IMAG: clip indices).
struct SurfIndex {
  uint16_t length = 0;
  uint32_t index = 0;
};

// A text of up to 255 bytes (CMNT, VMAP, NAME, OREF).
struct SurfText {
  uint16_t length = 0;
  std::string text;
};

struct SurfGlow {
  uint16_t length = 0;
  uint16_t type = 0;
  float intensity = 0;
  uint32_t intensityEnvelope = 0;
  float size = 0;
  uint32_t sizeEnvelope = 0;
};

// LINE: the size part is read only when the length exceeds 2, the colour
// part only when it exceeds 8; the rest stays zero.
struct SurfLine {
  uint16_t length = 0;
  uint16_t flags = 0;
  float size = 0;
  uint32_t sizeEnvelope = 0;
  float color[3] = {0, 0, 0};
  uint32_t colorEnvelope = 0;
};

struct SurfAlpha {
  uint16_t length = 0;
  uint16_t mode = 0;
  float value = 0;
};

struct SurfVertexColor {
  uint16_t length = 0;
  float intensity = 0;
  uint32_t envelope = 0;
  Id4 mapType = 0;
  std::string mapName;
};

// Header sub-chunk "CHAN" or "TYPE" (one slot; `id` tells which was read).
struct BlockChannel {
  uint16_t length = 0;
  Id4 id = 0;
  Id4 channel = 0;
};

struct BlockOpacity {
  uint16_t length = 0;
  uint16_t type = 0;
  float opacity = 0;
  uint32_t envelope = 0;
};

// The block header: the IMAP, PROC, GRAD or SHDR sub-chunk of a block.
struct BlockHeader {
  uint16_t length = 0;
  std::string ordinal;
  std::optional<BlockChannel> channel;
  std::optional<SurfText> name;
  std::optional<BlockOpacity> opacity;
  std::optional<SurfWord> enable;
  std::optional<SurfWord> negative;
  std::optional<SurfWord> axis;
};

struct BlockFalloff {
  uint16_t length = 0;
  uint16_t type = 0;
  float vector[3] = {0, 0, 0};
  uint32_t envelope = 0;
};

struct BlockTmap {
  uint16_t length = 0;
  std::optional<SurfVector> center;     // CNTR
  std::optional<SurfVector> size;       // SIZE
  std::optional<SurfVector> rotation;   // ROTA
  std::optional<SurfText> reference;    // OREF
  std::optional<BlockFalloff> falloff;  // FALL
  std::optional<SurfWord> coordSystem;  // CSYS
};

struct BlockWrap {
  uint16_t length = 0;
  uint16_t width = 0;
  uint16_t height = 0;
};

// U2 then F4: AAST (flags, strength), STCK (on/off, time).
struct BlockWordFloat {
  uint16_t length = 0;
  uint16_t word = 0;
  float value = 0;
};

// VALU: count = length / 4, cut to 3.
struct BlockValues {
  uint16_t length = 0;
  uint16_t count = 0;
  float value[3] = {0, 0, 0};
};

struct BlockFloats {  // FTPS
  uint16_t length = 0;
  std::vector<float> values;
};

struct BlockShorts {  // ITPS
  uint16_t length = 0;
  std::vector<int16_t> values;
};

struct BlockEnvelopes {  // ETPS
  uint16_t length = 0;
  std::vector<uint32_t> envelopes;
};

struct BlockFunction {  // FUNC: name, then the sub-chunk's remaining bytes
  uint16_t length = 0;
  std::string name;
  std::vector<uint8_t> data;
};

// One BLOK. `length` is 32 bits because re-sizing short sub-chunks to their
// full form can push a block past 65535 bytes, which a writer must refuse.
struct SurfBlock {
  uint32_t length = 0;
  Id4 type = 0;  // header type: IMAP, PROC, GRAD or SHDR; 0 without a header
  std::optional<BlockHeader> header;
  std::optional<BlockTmap> tmap;
  std::optional<SurfWord> projection;            // PROJ
  std::optional<SurfWord> axis;                  // AXIS
  std::optional<SurfWord> flags;                 // FLAG
  std::optional<SurfIndex> image;                // IMAG
  std::optional<BlockWrap> wrap;                 // WRAP
  std::optional<SurfValue> wrapWidth;            // WRPW
  std::optional<SurfValue> wrapHeight;           // WRPH
  std::optional<SurfText> vmap;                  // VMAP
  std::optional<BlockWordFloat> antialias;       // AAST
  std::optional<SurfWord> pixelBlend;            // PIXB
  std::optional<BlockWordFloat> sticky;          // STCK
  std::optional<SurfValue> amplitude;            // TAMP
  std::optional<SurfVector> color;               // COLR
  std::optional<BlockValues> value;              // VALU
  std::optional<BlockFloats> floatParams;        // FTPS
  std::optional<BlockShorts> intParams;          // ITPS
  std::optional<BlockEnvelopes> envelopeParams;  // ETPS
  std::optional<SurfFloat> gradientStart;        // GRST
  std::optional<SurfFloat> gradientEnd;          // GREN
  std::optional<BlockFunction> function;         // FUNC
};

// Blocks beyond this count are skipped (and logged once).
constexpr size_t kMaxSurfBlocks = 65535;

// A parsed surface body. A sub-chunk that appears twice keeps its last copy.
struct SurfChunks {
  std::optional<SurfVector> color;             // COLR
  std::optional<SurfValue> diffuse;            // DIFF
  std::optional<SurfValue> luminosity;         // LUMI
  std::optional<SurfValue> specular;           // SPEC
  std::optional<SurfValue> reflection;         // REFL
  std::optional<SurfValue> transparency;       // TRAN
  std::optional<SurfValue> translucency;       // TRNL
  std::optional<SurfValue> sharpness;          // SHRP
  std::optional<SurfValue> glossiness;         // GLOS
  std::optional<SurfValue> bump;               // BUMP
  std::optional<SurfFloat> smoothing;          // SMAN, radians
  std::optional<SurfWord> reflectionOptions;   // RFOP
  std::optional<SurfWord> sidedness;           // SIDE
  std::optional<SurfIndex> reflectionImage;    // RIMG
  std::optional<SurfValue> reflectionSeam;     // RSAN
  std::optional<SurfValue> refractiveIndex;    // RIND
  std::optional<SurfValue> colorHighlights;    // CLRH
  std::optional<SurfWord> refractionOptions;   // TROP
  std::optional<SurfIndex> refractionImage;    // TIMG
  std::optional<SurfValue> refractionSeam;     // TSAN
  std::optional<SurfValue> colorFilter;        // CLRF
  std::optional<SurfValue> additive;           // ADTR
  std::optional<SurfFloat> alphaValue;         // AVAL
  std::optional<SurfValue> glowValue;          // GVAL
  std::optional<SurfGlow> glow;                // GLOW
  std::optional<SurfLine> line;                // LINE
  std::optional<SurfVector> lineColor;         // LCOL
  std::optional<SurfValue> lineSize;           // LSIZ
  std::optional<SurfAlpha> alpha;              // ALPH
  std::optional<SurfText> comment;             // CMNT
  std::optional<SurfVertexColor> vertexColor;  // VCOL
  std::optional<SurfValue> reflectionBlur;     // RBLR
  std::optional<SurfValue> refractionBlur;     // TBLR
  std::vector<SurfBlock> blocks;               // BLOK, in file order
};

// Parses a SURF body of `size` bytes into `out`, which is cleared first.
// Never fails on its input: unknown or misfitting sub-chunks are logged and
// skipped (only running out of memory throws std::bad_alloc). db is used
// only for logging and may be null (then nothing is logged); a null body
// reads as empty. The record owns copies of everything it keeps.
void ParseSurfBody(ObjectDb* db, const uint8_t* body, size_t size, SurfChunks* out);

// Parses a surface's raw body into a new record owned by the caller.
// Returns null only when memory runs out.
std::unique_ptr<SurfChunks> ParseSurfChunks(ObjectDb* db, const ObjSurface& surface);
std::unique_ptr<SurfChunks> ParseSurfChunks(ObjectDb* db, const uint8_t* body, size_t size);

// Rewrites the length of every present sub-record, header, texture map and
// block from its content in full form, and returns the body size a writer
// would produce: the sum of 6 + length over the present sub-chunks and
// blocks. Full form: value-and-envelope records 4 + VX size; COLR and LCOL
// 12 + VX; GLOW 10 + both VX; LINE 18 + both VX; VCOL 8 + VX + S0 of the
// name; SMAN, AVAL, GRST, GREN 4; ALPH, AAST, STCK 6; RFOP, SIDE, TROP and
// the other U2 records 2; RIMG, TIMG, IMAG the VX size; CMNT, VMAP, NAME,
// OREF the S0 size of the text; WRAP 4; VALU, FTPS 4 per value; ITPS 2 per
// value; ETPS the VX sizes; FUNC S0 + data; CHAN/TYPE 4; OPAC 6 + VX; FALL
// 14 + VX; a header S0 of its ordinal plus its sub-chunks; each sub-chunk
// of a block, header or texture map counts 6 + its length.
int64_t SizeSurfChunks(SurfChunks& record);
