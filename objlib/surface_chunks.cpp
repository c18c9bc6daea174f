#include "surface_chunks.h"

#include <new>

#include "ops_internal.h"
#include "subchunk_walk.h"

namespace {

constexpr Id4 ID_COLR = MakeId4("COLR");
constexpr Id4 ID_DIFF = MakeId4("DIFF");
constexpr Id4 ID_LUMI = MakeId4("LUMI");
constexpr Id4 ID_SPEC = MakeId4("SPEC");
constexpr Id4 ID_REFL = MakeId4("REFL");
constexpr Id4 ID_TRAN = MakeId4("TRAN");
constexpr Id4 ID_TRNL = MakeId4("TRNL");
constexpr Id4 ID_SHRP = MakeId4("SHRP");
constexpr Id4 ID_GLOS = MakeId4("GLOS");
constexpr Id4 ID_BUMP = MakeId4("BUMP");
constexpr Id4 ID_SMAN = MakeId4("SMAN");
constexpr Id4 ID_RFOP = MakeId4("RFOP");
constexpr Id4 ID_SIDE = MakeId4("SIDE");
constexpr Id4 ID_RIMG = MakeId4("RIMG");
constexpr Id4 ID_RSAN = MakeId4("RSAN");
constexpr Id4 ID_RIND = MakeId4("RIND");
constexpr Id4 ID_CLRH = MakeId4("CLRH");
constexpr Id4 ID_TROP = MakeId4("TROP");
constexpr Id4 ID_TIMG = MakeId4("TIMG");
constexpr Id4 ID_TSAN = MakeId4("TSAN");
constexpr Id4 ID_CLRF = MakeId4("CLRF");
constexpr Id4 ID_ADTR = MakeId4("ADTR");
constexpr Id4 ID_AVAL = MakeId4("AVAL");
constexpr Id4 ID_GVAL = MakeId4("GVAL");
constexpr Id4 ID_GLOW = MakeId4("GLOW");
constexpr Id4 ID_LINE = MakeId4("LINE");
constexpr Id4 ID_LCOL = MakeId4("LCOL");
constexpr Id4 ID_LSIZ = MakeId4("LSIZ");
constexpr Id4 ID_ALPH = MakeId4("ALPH");
constexpr Id4 ID_CMNT = MakeId4("CMNT");
constexpr Id4 ID_VCOL = MakeId4("VCOL");
constexpr Id4 ID_RBLR = MakeId4("RBLR");
constexpr Id4 ID_TBLR = MakeId4("TBLR");
constexpr Id4 ID_BLOK = MakeId4("BLOK");

constexpr Id4 ID_IMAP = MakeId4("IMAP");
constexpr Id4 ID_PROC = MakeId4("PROC");
constexpr Id4 ID_GRAD = MakeId4("GRAD");
constexpr Id4 ID_SHDR = MakeId4("SHDR");
constexpr Id4 ID_TMAP = MakeId4("TMAP");
constexpr Id4 ID_PROJ = MakeId4("PROJ");
constexpr Id4 ID_AXIS = MakeId4("AXIS");
constexpr Id4 ID_FLAG = MakeId4("FLAG");
constexpr Id4 ID_IMAG = MakeId4("IMAG");
constexpr Id4 ID_WRAP = MakeId4("WRAP");
constexpr Id4 ID_WRPW = MakeId4("WRPW");
constexpr Id4 ID_WRPH = MakeId4("WRPH");
constexpr Id4 ID_VMAP = MakeId4("VMAP");
constexpr Id4 ID_AAST = MakeId4("AAST");
constexpr Id4 ID_PIXB = MakeId4("PIXB");
constexpr Id4 ID_STCK = MakeId4("STCK");
constexpr Id4 ID_TAMP = MakeId4("TAMP");
constexpr Id4 ID_VALU = MakeId4("VALU");
constexpr Id4 ID_FTPS = MakeId4("FTPS");
constexpr Id4 ID_ITPS = MakeId4("ITPS");
constexpr Id4 ID_ETPS = MakeId4("ETPS");
constexpr Id4 ID_GRST = MakeId4("GRST");
constexpr Id4 ID_GREN = MakeId4("GREN");
constexpr Id4 ID_FUNC = MakeId4("FUNC");

constexpr Id4 ID_CHAN = MakeId4("CHAN");
constexpr Id4 ID_TYPE = MakeId4("TYPE");
constexpr Id4 ID_NAME = MakeId4("NAME");
constexpr Id4 ID_OPAC = MakeId4("OPAC");
constexpr Id4 ID_ENAB = MakeId4("ENAB");
constexpr Id4 ID_NEGA = MakeId4("NEGA");

constexpr Id4 ID_CNTR = MakeId4("CNTR");
constexpr Id4 ID_SIZE = MakeId4("SIZE");
constexpr Id4 ID_ROTA = MakeId4("ROTA");
constexpr Id4 ID_OREF = MakeId4("OREF");
constexpr Id4 ID_FALL = MakeId4("FALL");
constexpr Id4 ID_CSYS = MakeId4("CSYS");

// ------------------------------------------------------------- value readers

SurfValue ReadValue(FieldReader& r) {
  SurfValue v;
  v.length = r.Declared();
  v.value = r.F4();
  v.envelope = r.VX();
  return v;
}

SurfVector ReadVector(FieldReader& r) {
  SurfVector v;
  v.length = r.Declared();
  r.Vec(v.value);
  v.envelope = r.VX();
  return v;
}

SurfFloat ReadFloat(FieldReader& r) {
  SurfFloat v;
  v.length = r.Declared();
  v.value = r.F4();
  return v;
}

SurfWord ReadWord(FieldReader& r) {
  SurfWord v;
  v.length = r.Declared();
  v.value = r.U2();
  return v;
}

// RFOP, SIDE, TROP: only the U2 is kept and the rest passed over silently.
SurfWord ReadWordSkipRest(FieldReader& r) {
  SurfWord v = ReadWord(r);
  r.Bytes(r.DeclaredLeft());
  return v;
}

SurfIndex ReadIndex(FieldReader& r) {
  SurfIndex v;
  v.length = r.Declared();
  v.index = r.VX();
  return v;
}

SurfText ReadText(FieldReader& r) {
  SurfText v;
  v.length = r.Declared();
  v.text = r.S0();
  return v;
}

SurfText ReadComment(FieldReader& r) {
  SurfText v;
  v.length = r.Declared();
  std::vector<uint8_t> bytes = r.Bytes(r.Declared());
  size_t n = 0;
  while (n < bytes.size() && n + 1 < size_t(kNameSize) && bytes[n] != 0) ++n;
  v.text.assign(reinterpret_cast<const char*>(bytes.data()), n);
  return v;
}

SurfGlow ReadGlow(FieldReader& r) {
  SurfGlow v;
  v.length = r.Declared();
  v.type = r.U2();
  v.intensity = r.F4();
  v.intensityEnvelope = r.VX();
  v.size = r.F4();
  v.sizeEnvelope = r.VX();
  return v;
}

SurfLine ReadLine(FieldReader& r) {
  SurfLine v;
  v.length = r.Declared();
  v.flags = r.U2();
  if (v.length > 2) {
    v.size = r.F4();
    v.sizeEnvelope = r.VX();
  }
  if (v.length > 8) {
    r.Vec(v.color);
    v.colorEnvelope = r.VX();
  }
  return v;
}

SurfAlpha ReadAlpha(FieldReader& r) {
  SurfAlpha v;
  v.length = r.Declared();
  v.mode = r.U2();
  v.value = r.F4();
  return v;
}

SurfVertexColor ReadVertexColor(FieldReader& r) {
  SurfVertexColor v;
  v.length = r.Declared();
  v.intensity = r.F4();
  v.envelope = r.VX();
  v.mapType = r.ID4();
  v.mapName = r.S0();
  return v;
}

BlockWordFloat ReadWordFloat(FieldReader& r) {
  BlockWordFloat v;
  v.length = r.Declared();
  v.word = r.U2();
  v.value = r.F4();
  return v;
}

// Counted arrays take what the sub-chunk holds; a length that overruns the
// body counts only the bytes present.
size_t Present(const FieldReader& r) { return std::min<size_t>(r.Declared(), r.Available()); }

BlockValues ReadValues(FieldReader& r) {
  BlockValues v;
  v.length = r.Declared();
  size_t count = std::min<size_t>(v.length / 4, 3);
  v.count = uint16_t(count);
  for (size_t i = 0; i < count; ++i) v.value[i] = r.F4();
  return v;
}

BlockFloats ReadFloats(FieldReader& r) {
  BlockFloats v;
  v.length = r.Declared();
  size_t count = Present(r) / 4;
  v.values.resize(count);
  for (size_t i = 0; i < count; ++i) v.values[i] = r.F4();
  return v;
}

BlockShorts ReadShorts(FieldReader& r) {
  BlockShorts v;
  v.length = r.Declared();
  size_t count = Present(r) / 2;
  v.values.resize(count);
  for (size_t i = 0; i < count; ++i) v.values[i] = r.I2();
  return v;
}

BlockEnvelopes ReadEnvelopes(FieldReader& r) {
  BlockEnvelopes v;
  v.length = r.Declared();
  // Each VX needs 2 bytes, or 4 when it starts with 0xFF; an index that does
  // not fit in what is left ends the list.
  for (;;) {
    size_t left = std::min(r.DeclaredLeft(), r.Available());
    if (left < 2 || (r.Peek() == 0xFF && left < 4)) break;
    v.envelopes.push_back(r.VX());
  }
  return v;
}

BlockFunction ReadFunction(FieldReader& r) {
  BlockFunction v;
  v.length = r.Declared();
  v.name = r.S0();
  v.data = r.Bytes(r.DeclaredLeft());
  return v;
}

// ------------------------------------------------------------------- walks

class SurfParser {
 public:
  SurfParser(ObjectDb* db, SurfChunks& out) : db_(db), out_(out) {}

  void Body(ChunkBuff& buf) {
    WalkSubChunks(
        buf, [this](Id4 id, uint16_t length, ChunkBuff& sub) { return BodySub(id, length, sub); },
        [this](Id4, uint16_t length) { LogLine(db_, "??? UNKNOWN ChunkBuff %d\n", int(length)); },
        [this](Id4 id, int diff) {
          LogLine(db_, "??? (%s) INVALID SURF ChunkBuff SIZE  %d bytes over\n", IdText(id).text,
                  diff);
        });
  }

 private:
  long BodySub(Id4 id, uint16_t length, ChunkBuff& sub) {
    if (id == ID_BLOK) return Block(length, sub);
    FieldReader r(sub, length);
    SurfChunks& s = out_;
    switch (id) {
      case ID_COLR: s.color = ReadVector(r); break;
      case ID_DIFF: s.diffuse = ReadValue(r); break;
      case ID_LUMI: s.luminosity = ReadValue(r); break;
      case ID_SPEC: s.specular = ReadValue(r); break;
      case ID_REFL: s.reflection = ReadValue(r); break;
      case ID_TRAN: s.transparency = ReadValue(r); break;
      case ID_TRNL: s.translucency = ReadValue(r); break;
      case ID_SHRP: s.sharpness = ReadValue(r); break;
      case ID_GLOS: s.glossiness = ReadValue(r); break;
      case ID_BUMP: s.bump = ReadValue(r); break;
      case ID_SMAN: s.smoothing = ReadFloat(r); break;
      case ID_RFOP: s.reflectionOptions = ReadWordSkipRest(r); break;
      case ID_SIDE: s.sidedness = ReadWordSkipRest(r); break;
      case ID_RIMG: s.reflectionImage = ReadIndex(r); break;
      case ID_RSAN: s.reflectionSeam = ReadValue(r); break;
      case ID_RIND: s.refractiveIndex = ReadValue(r); break;
      case ID_CLRH: s.colorHighlights = ReadValue(r); break;
      case ID_TROP: s.refractionOptions = ReadWordSkipRest(r); break;
      case ID_TIMG: s.refractionImage = ReadIndex(r); break;
      case ID_TSAN: s.refractionSeam = ReadValue(r); break;
      case ID_CLRF: s.colorFilter = ReadValue(r); break;
      case ID_ADTR: s.additive = ReadValue(r); break;
      case ID_AVAL: s.alphaValue = ReadFloat(r); break;
      case ID_GVAL: s.glowValue = ReadValue(r); break;
      case ID_GLOW: s.glow = ReadGlow(r); break;
      case ID_LINE: s.line = ReadLine(r); break;
      case ID_LCOL: s.lineColor = ReadVector(r); break;
      case ID_LSIZ: s.lineSize = ReadValue(r); break;
      case ID_ALPH: s.alpha = ReadAlpha(r); break;
      case ID_CMNT: s.comment = ReadComment(r); break;
      case ID_VCOL: s.vertexColor = ReadVertexColor(r); break;
      case ID_RBLR: s.reflectionBlur = ReadValue(r); break;
      case ID_TBLR: s.refractionBlur = ReadValue(r); break;
      default: return kUnknownSubChunk;
    }
    return long(r.Used());
  }

  long Block(uint16_t length, ChunkBuff& sub) {
    if (out_.blocks.size() >= kMaxSurfBlocks) {
      if (!tooManyBlocksLogged_)
        LogLine(db_, "??? TOO MANY BLOK ChunkBuff (%d)\n", int(kMaxSurfBlocks));
      tooManyBlocksLogged_ = true;
      return length;
    }
    out_.blocks.emplace_back();
    SurfBlock& block = out_.blocks.back();
    block.length = length;
    WalkSubChunks(
        sub, [&](Id4 id, uint16_t len, ChunkBuff& s) { return BlockSub(block, id, len, s); },
        [this](Id4 id, uint16_t len) {
          LogLine(db_, "??? UNKNOWN BLOK ChunkBuff (%s) %d bytes\n", IdText(id).text, int(len));
        },
        [this](Id4 id, int diff) {
          LogLine(db_, "??? (%s) INVALID BLOK ChunkBuff SIZE  %d bytes over\n", IdText(id).text,
                  diff);
        });
    return long(sub.Position());
  }

  long BlockSub(SurfBlock& b, Id4 id, uint16_t length, ChunkBuff& sub) {
    if (id == ID_IMAP || id == ID_PROC || id == ID_GRAD || id == ID_SHDR) {
      b.type = id;
      b.header = BlockHeader();
      Header(*b.header, length, sub);
      return long(sub.Position());
    }
    if (id == ID_TMAP) {
      b.tmap = BlockTmap();
      Tmap(*b.tmap, length, sub);
      return long(sub.Position());
    }
    FieldReader r(sub, length);
    switch (id) {
      case ID_PROJ: b.projection = ReadWord(r); break;
      case ID_AXIS: b.axis = ReadWord(r); break;
      case ID_FLAG: b.flags = ReadWord(r); break;
      case ID_IMAG: b.image = ReadIndex(r); break;
      case ID_WRAP: {
        BlockWrap w;
        w.length = length;
        w.width = r.U2();
        w.height = r.U2();
        b.wrap = w;
        break;
      }
      case ID_WRPW: b.wrapWidth = ReadValue(r); break;
      case ID_WRPH: b.wrapHeight = ReadValue(r); break;
      case ID_VMAP: b.vmap = ReadText(r); break;
      case ID_AAST: b.antialias = ReadWordFloat(r); break;
      case ID_PIXB: b.pixelBlend = ReadWord(r); break;
      case ID_STCK: b.sticky = ReadWordFloat(r); break;
      case ID_TAMP: b.amplitude = ReadValue(r); break;
      case ID_COLR: b.color = ReadVector(r); break;
      case ID_VALU: b.value = ReadValues(r); break;
      case ID_FTPS: b.floatParams = ReadFloats(r); break;
      case ID_ITPS: b.intParams = ReadShorts(r); break;
      case ID_ETPS: b.envelopeParams = ReadEnvelopes(r); break;
      case ID_GRST: b.gradientStart = ReadFloat(r); break;
      case ID_GREN: b.gradientEnd = ReadFloat(r); break;
      case ID_FUNC: b.function = ReadFunction(r); break;
      default: return kUnknownSubChunk;
    }
    return long(r.Used());
  }

  void Header(BlockHeader& h, uint16_t length, ChunkBuff& sub) {
    h.length = length;
    {
      FieldReader r(sub, length);
      h.ordinal = r.S0();
    }
    WalkSubChunks(
        sub, [&](Id4 id, uint16_t len, ChunkBuff& s) { return HeaderSub(h, id, len, s); },
        [this](Id4 id, uint16_t len) {
          LogLine(db_, "??? UNKNOWN HEAD ChunkBuff (%s) %d bytes\n", IdText(id).text, int(len));
        },
        [this](Id4, int diff) {
          LogLine(db_, "??? INVALIC HEAD ChunkBuff SIZE  %d bytes over\n", diff);
        });
  }

  long HeaderSub(BlockHeader& h, Id4 id, uint16_t length, ChunkBuff& sub) {
    FieldReader r(sub, length);
    switch (id) {
      case ID_CHAN:
      case ID_TYPE: {
        BlockChannel c;
        c.length = length;
        c.id = id;
        c.channel = r.ID4();
        h.channel = c;
        break;
      }
      case ID_NAME: h.name = ReadText(r); break;
      case ID_OPAC: {
        BlockOpacity o;
        o.length = length;
        o.type = r.U2();
        o.opacity = r.F4();
        o.envelope = r.VX();
        h.opacity = o;
        break;
      }
      case ID_ENAB: h.enable = ReadWord(r); break;
      case ID_NEGA: h.negative = ReadWord(r); break;
      case ID_AXIS: h.axis = ReadWord(r); break;
      default: return kUnknownSubChunk;
    }
    return long(r.Used());
  }

  void Tmap(BlockTmap& t, uint16_t length, ChunkBuff& sub) {
    t.length = length;
    WalkSubChunks(
        sub, [&](Id4 id, uint16_t len, ChunkBuff& s) { return TmapSub(t, id, len, s); },
        [this](Id4 id, uint16_t len) {
          LogLine(db_, "??? UNKNOWN TMAP ChunkBuff (%s) %d bytes\n", IdText(id).text, int(len));
        },
        [this](Id4, int diff) {
          LogLine(db_, "??? INVALIC TMAP ChunkBuff SIZE  %d bytes over\n", diff);
        });
  }

  long TmapSub(BlockTmap& t, Id4 id, uint16_t length, ChunkBuff& sub) {
    FieldReader r(sub, length);
    switch (id) {
      case ID_CNTR: t.center = ReadVector(r); break;
      case ID_SIZE: t.size = ReadVector(r); break;
      case ID_ROTA: t.rotation = ReadVector(r); break;
      case ID_OREF: t.reference = ReadText(r); break;
      case ID_FALL: {
        BlockFalloff f;
        f.length = length;
        f.type = r.U2();
        r.Vec(f.vector);
        f.envelope = r.VX();
        t.falloff = f;
        break;
      }
      case ID_CSYS: t.coordSystem = ReadWord(r); break;
      default: return kUnknownSubChunk;
    }
    return long(r.Used());
  }

  ObjectDb* db_;
  SurfChunks& out_;
  bool tooManyBlocksLogged_ = false;
};

// ------------------------------------------------------------------ sizing

// Adds 6 + the full-form length of an optional record and rewrites it.
template <class T>
int64_t Sized(std::optional<T>& rec, int64_t length) {
  if (!rec) return 0;
  rec->length = uint16_t(length);
  return 6 + length;
}

int64_t VX(uint32_t index) { return SizeOfVX(index); }
int64_t S0(const std::string& text) { return SizeOfS0(text.c_str()); }

int64_t SizeValue(std::optional<SurfValue>& v) { return v ? Sized(v, 4 + VX(v->envelope)) : 0; }
int64_t SizeVector(std::optional<SurfVector>& v) { return v ? Sized(v, 12 + VX(v->envelope)) : 0; }
int64_t SizeText(std::optional<SurfText>& v) { return v ? Sized(v, S0(v->text)) : 0; }
int64_t SizeWord(std::optional<SurfWord>& v) { return Sized(v, 2); }
int64_t SizeFloat(std::optional<SurfFloat>& v) { return Sized(v, 4); }
int64_t SizeIndex(std::optional<SurfIndex>& v) { return v ? Sized(v, VX(v->index)) : 0; }

int64_t SizeHeader(BlockHeader& h) {
  int64_t n = S0(h.ordinal);
  n += Sized(h.channel, 4);
  n += SizeText(h.name);
  if (h.opacity) n += Sized(h.opacity, 6 + VX(h.opacity->envelope));
  n += SizeWord(h.enable);
  n += SizeWord(h.negative);
  n += SizeWord(h.axis);
  h.length = uint16_t(n);
  return n;
}

int64_t SizeTmap(BlockTmap& t) {
  int64_t n = SizeVector(t.center) + SizeVector(t.size) + SizeVector(t.rotation);
  n += SizeText(t.reference);
  if (t.falloff) n += Sized(t.falloff, 14 + VX(t.falloff->envelope));
  n += SizeWord(t.coordSystem);
  t.length = uint16_t(n);
  return n;
}

int64_t SizeBlock(SurfBlock& b) {
  int64_t n = 0;
  if (b.header) n += 6 + SizeHeader(*b.header);
  if (b.tmap) n += 6 + SizeTmap(*b.tmap);
  n += SizeWord(b.projection) + SizeWord(b.axis) + SizeWord(b.flags);
  n += SizeIndex(b.image);
  n += Sized(b.wrap, 4);
  n += SizeValue(b.wrapWidth) + SizeValue(b.wrapHeight);
  n += SizeText(b.vmap);
  n += Sized(b.antialias, 6);
  n += SizeWord(b.pixelBlend);
  n += Sized(b.sticky, 6);
  n += SizeValue(b.amplitude);
  n += SizeVector(b.color);
  if (b.value) n += Sized(b.value, 4 * int64_t(b.value->count));
  if (b.floatParams) n += Sized(b.floatParams, 4 * int64_t(b.floatParams->values.size()));
  if (b.intParams) n += Sized(b.intParams, 2 * int64_t(b.intParams->values.size()));
  if (b.envelopeParams) {
    int64_t e = 0;
    for (uint32_t index : b.envelopeParams->envelopes) e += VX(index);
    n += Sized(b.envelopeParams, e);
  }
  n += SizeFloat(b.gradientStart) + SizeFloat(b.gradientEnd);
  if (b.function) n += Sized(b.function, S0(b.function->name) + int64_t(b.function->data.size()));
  b.length = uint32_t(n);
  return n;
}

}  // namespace

void ParseSurfBody(ObjectDb* db, const uint8_t* body, size_t size, SurfChunks* out) {
  if (!out) return;
  *out = SurfChunks();
  if (!body) size = 0;
  ChunkBuff buf(body, size);
  SurfParser(db, *out).Body(buf);
  int64_t computed = SizeSurfChunks(*out);
  LogLine(db, "***  SURFACE SIZE (%lld / %lld)  ***\n", static_cast<long long>(size),
          static_cast<long long>(computed));
}

std::unique_ptr<SurfChunks> ParseSurfChunks(ObjectDb* db, const uint8_t* body, size_t size) {
  try {
    auto record = std::make_unique<SurfChunks>();
    ParseSurfBody(db, body, size, record.get());
    return record;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::unique_ptr<SurfChunks> ParseSurfChunks(ObjectDb* db, const ObjSurface& surface) {
  return ParseSurfChunks(db, surface.raw.data(), surface.raw.size());
}

int64_t SizeSurfChunks(SurfChunks& s) {
  int64_t n = 0;
  n += SizeVector(s.color);
  n += SizeValue(s.diffuse) + SizeValue(s.luminosity) + SizeValue(s.specular);
  n += SizeValue(s.reflection) + SizeValue(s.transparency) + SizeValue(s.translucency);
  n += SizeValue(s.sharpness) + SizeValue(s.glossiness) + SizeValue(s.bump);
  n += SizeFloat(s.smoothing);
  n += SizeWord(s.reflectionOptions) + SizeWord(s.sidedness);
  n += SizeIndex(s.reflectionImage);
  n += SizeValue(s.reflectionSeam) + SizeValue(s.refractiveIndex) + SizeValue(s.colorHighlights);
  n += SizeWord(s.refractionOptions);
  n += SizeIndex(s.refractionImage);
  n += SizeValue(s.refractionSeam) + SizeValue(s.colorFilter) + SizeValue(s.additive);
  n += SizeFloat(s.alphaValue);
  n += SizeValue(s.glowValue);
  if (s.glow) n += Sized(s.glow, 10 + VX(s.glow->intensityEnvelope) + VX(s.glow->sizeEnvelope));
  if (s.line) n += Sized(s.line, 18 + VX(s.line->sizeEnvelope) + VX(s.line->colorEnvelope));
  n += SizeVector(s.lineColor);
  n += SizeValue(s.lineSize);
  n += Sized(s.alpha, 6);
  n += SizeText(s.comment);
  if (s.vertexColor)
    n += Sized(s.vertexColor, 8 + VX(s.vertexColor->envelope) + S0(s.vertexColor->mapName));
  n += SizeValue(s.reflectionBlur) + SizeValue(s.refractionBlur);
  for (SurfBlock& b : s.blocks) n += 6 + SizeBlock(b);
  return n;
}
