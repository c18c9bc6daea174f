// Packing parsed surfaces back into SURF bodies, the inverse of
// ParseSurfBody (LWO2) and ParseLwobSurfBody (LWOB).
//
//   ChunkBuffWriter out;
//   if (PackSurfChunks(db, out, *parsed) == 0) use(out.bytes);
//
// Every sub-chunk is written in full form: its length is that of the values
// the record holds, as SizeSurfChunks and SizeLwobSurfChunks compute it. A
// sub-chunk of odd length is followed by a pad byte, which the parsers skip
// (only FUNC, SPBF and SDAT data can be odd).
//
// Sub-chunk lengths are 16-bit. A record whose sub-chunk or block would
// exceed 65535 bytes, or that holds an index above 24 bits, is refused with
// ERR_BAD_FORMAT rather than packed into a body a reader would misread.
#pragma once

#include "chunk.h"

struct ObjectDb;
struct SurfChunks;
struct LwobSurfChunks;

// Appends an LWO2 body to out, in the order COLR, LUMI, DIFF, SPEC, REFL,
// TRAN, TRNL, SHRP, GLOS, BUMP, SMAN, RFOP, SIDE, RIMG, RSAN, RIND, CLRH,
// TROP, TIMG, TSAN, CLRF, ADTR, GLOW, AVAL, GVAL, LINE, LCOL, LSIZ, ALPH,
// the blocks, CMNT, VCOL, RBLR, TBLR. A block holds its header (the channel
// always as CHAN), TMAP (CNTR, SIZE, ROTA, FALL, OREF, CSYS), then PROJ,
// AXIS, FLAG, IMAG, WRAP, WRPW, WRPH, VMAP, AAST, PIXB, STCK, TAMP, COLR,
// VALU, FTPS, ITPS, ETPS, GRST, GREN, FUNC. A block without a header is
// written without one. Returns 0 or ERR_BAD_FORMAT; db (may be null) gets a
// log line saying what did not fit.
int PackSurfChunks(ObjectDb* db, ChunkBuffWriter& out, const SurfChunks& record);

// Appends an LWOB body to out, in the order COLR, FLAG, DIFF, LUMI, SPEC,
// REFL, TRAN, VDIF, VLUM, VSPC, VRFL, VTRN, GLOS, RFLT, RSAN, RIND, EDGE,
// SMAN, RIMG (with its IMSQ, FLYR, IMCC), GLOW, ALPH, SPBF, then every
// texture (its ID with the type name, TFLG, TREF, TSIZ, TCTR, TFAL, TVEL,
// TCLR, TVAL, TAMP, TFP0-4, TIP0-4, TSP0-4, TFRQ, TIMG, TALP, TWRP, TAAS,
// TOPC), then every shader (SHDR, SDAT). Returns 0 or ERR_BAD_FORMAT.
int PackLwobSurfChunks(ObjectDb* db, ChunkBuffWriter& out, const LwobSurfChunks& record);
