// Version-1 (LWOB) surface bodies parsed into one record per body.
//
// An LWOB SURF body is a run of sub-chunks (ID4, U2 length, values). The
// parse keeps every known sub-chunk's values exactly as stored in the file,
// so that the surface attributes, the dump and the writer all see the same
// thing; each sub-record also carries a length, which the parse leaves in
// full form (see SizeLwobSurfChunks), ready to be packed. A slot that the
// body did not contain stays empty (std::nullopt).
//
//   LwobSurfChunks s = ParseLwobSurfBody(db, raw.data(), raw.size());
//   if (s.colr) red = s.colr->value[0];
//   for (const LwobTexture& t : s.textures) ...
//
// Untrusted input: any byte sequence parses, and no read leaves the sub-chunk
// being read (values missing from a short sub-chunk read as zero). Unknown
// sub-chunks are logged and skipped; a sub-chunk whose declared length
// differs from what its values occupy is logged and the walk resumes at its
// declared end. Sub-chunks with no record to fill (a T-sub-chunk before any
// texture, IMSQ/FLYR/IMCC before any image record, SDAT before any shader)
// are logged and skipped. Texts are cut to 255 bytes, SPBF to 4 bytes, and the
// texture and shader lists stop growing at 65535 entries each.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chunk.h"

struct ObjectDb;

// One sub-chunk's values and its length (as read, until SizeLwobSurfChunks
// rewrites it; the parse does that last).
template <typename T>
struct LwobValue {
  uint16_t length = 0;
  T value{};
};
template <typename T>
using LwobSlot = std::optional<LwobValue<T>>;

using LwobVec3 = std::array<float, 3>;

// A file name with its image-sequence settings ("RIMG", "TIMG", "TALP").
// IMSQ, FLYR and IMCC found anywhere after it in the body belong to the
// image record read most recently.
struct LwobImage {
  uint16_t length = 0;
  std::string file;                         // S0, cut to 255 bytes
  LwobSlot<std::array<uint16_t, 3>> imsq;   // "IMSQ"
  LwobSlot<std::array<uint32_t, 2>> flyr;   // "FLYR"
  LwobSlot<std::array<uint16_t, 3>> imcc;   // "IMCC"
};

// One texture ("CTEX", "DTEX", "STEX", "RTEX", "TTEX", "LTEX" or "BTEX");
// the T-sub-chunks that follow it fill it until the next texture starts.
struct LwobTexture {
  Id4 id = 0;              // which of the seven textures
  uint16_t length = 0;
  std::string type;        // texture type name, e.g. "Planar Image Map"
  LwobSlot<uint16_t> tflg;
  LwobSlot<std::string> tref;
  LwobSlot<LwobVec3> tsiz, tctr, tfal, tvel;
  LwobSlot<std::array<uint8_t, 4>> tclr;
  LwobSlot<uint16_t> tval;
  LwobSlot<float> tamp;
  std::array<LwobSlot<float>, 5> tfp;      // "TFP0".."TFP4"
  std::array<LwobSlot<uint16_t>, 5> tip;   // "TIP0".."TIP4"
  std::array<LwobSlot<float>, 5> tsp;      // "TSP0".."TSP4"
  LwobSlot<uint16_t> tfrq;
  std::optional<LwobImage> timg;
  std::optional<LwobImage> talp;
  LwobSlot<std::array<uint16_t, 2>> twrp;  // width wrap, height wrap
  LwobSlot<float> taas;
  LwobSlot<float> topc;
};

// A shader plug-in ("SHDR" name) and its data ("SDAT", kept as bytes).
struct LwobShader {
  uint16_t length = 0;
  std::string name;
  LwobSlot<std::vector<uint8_t>> data;
};

struct LwobSurfChunks {
  static constexpr size_t kMaxEntries = 65535;  // texture and shader counts are 16-bit

  LwobSlot<std::array<uint8_t, 4>> colr;  // red, green, blue, unused
  LwobSlot<uint16_t> flag;
  LwobSlot<uint16_t> diff, lumi, spec, refl, tran;  // fixed point, 256 = 100%
  LwobSlot<float> vdif, vlum, vspc, vrfl, vtrn;
  LwobSlot<uint16_t> glos;
  LwobSlot<uint16_t> rflt;
  std::optional<LwobImage> rimg;
  LwobSlot<float> rsan, rind, edge, sman, glow;
  LwobSlot<std::array<uint16_t, 2>> alph;
  LwobSlot<std::vector<uint8_t>> spbf;  // at most 4 bytes
  std::vector<LwobTexture> textures;    // in file order
  std::vector<LwobShader> shaders;      // in file order
};

// Parses a version-1 SURF body (the bytes after the surface name) into
// *record, which is cleared first; never fails. Each sub-chunk is logged
// through db's Log operation as "[ID] n bytes", unknown and misfitting
// sub-chunks with "???" lines; at the end the record is sized with
// SizeLwobSurfChunks and "***  SURFACE SIZE (body / sized)  ***" is logged.
// db may be null (nothing is logged); body may be null when size is 0.
void ParseLwobSurfBody(ObjectDb* db, const void* body, size_t size, LwobSurfChunks* record);
// The same, into a new record.
LwobSurfChunks ParseLwobSurfBody(ObjectDb* db, const void* body, size_t size);

// Rewrites the length of every present sub-record from the values it holds
// (the full form a writer packs) and returns the size of the body it packs
// to: the sum of 6 + length over the sub-chunks present, plus a pad byte
// after each odd length (only SPBF and SDAT can be odd). An image record's
// length is that of its name; its IMSQ, FLYR and IMCC count as sub-chunks of
// their own, as do a texture's T-sub-chunks and a shader's SDAT.
size_t SizeLwobSurfChunks(LwobSurfChunks& record);

// Releases everything the record holds and leaves it empty.
void FreeLwobSurfChunks(LwobSurfChunks* record);

// The image file names a surface uses, in body order: RIMG, then each
// texture's TIMG and TALP. Empty names are left out.
std::vector<std::string> LwobImageFiles(const LwobSurfChunks& record);
