#include "lwob_surface.h"

#include <algorithm>

#include "subchunk_walk.h"

namespace {

// Which image record IMSQ, FLYR and IMCC attach to.
enum class ImageKind { kNone, kRimg, kTimg, kTalp };

constexpr Id4 kTextureIds[] = {MakeId4("CTEX"), MakeId4("DTEX"), MakeId4("STEX"), MakeId4("RTEX"),
                               MakeId4("TTEX"), MakeId4("LTEX"), MakeId4("BTEX")};

class SurfWalk {
 public:
  SurfWalk(ObjectDb* db, LwobSurfChunks* out) : db_(db), s_(*out) {}

  // Reads one sub-chunk from `sub` (its bytes only); returns the bytes its
  // values take, or kUnknownSubChunk.
  long Handle(Id4 id, uint16_t length, ChunkBuff& sub);

 private:
  long Read(Id4 id, FieldReader& f);
  long ReadTextureChunk(Id4 id, FieldReader& f);
  // A sub-chunk with no record to fill: a T-sub-chunk before any texture,
  // IMSQ/FLYR/IMCC before any image, SDAT before any shader, or an entry
  // past the 16-bit count. Passed over whole.
  long Skipped(const char* why, Id4 id, const FieldReader& f) {
    LogLine(db_, "??? %s ChunkBuff (%s) %d bytes\n", why, IdText(id).text, int(f.Declared()));
    return long(f.Declared());
  }

  template <typename T>
  LwobValue<T> Value(const FieldReader& f, T value) {
    return LwobValue<T>{f.Declared(), std::move(value)};
  }
  template <size_t N>
  static std::array<uint16_t, N> U2s(FieldReader& f) {
    std::array<uint16_t, N> v{};
    for (auto& x : v) x = f.U2();
    return v;
  }
  static std::array<uint8_t, 4> Bytes4(FieldReader& f) {
    std::array<uint8_t, 4> v{};
    for (auto& x : v) x = f.U1();
    return v;
  }
  static LwobVec3 Vec(FieldReader& f) {
    LwobVec3 v{};
    f.Vec(v.data());
    return v;
  }

  LwobTexture* Texture() { return haveTexture_ ? &s_.textures.back() : nullptr; }
  LwobImage* Image();
  void StartImage(ImageKind kind, std::optional<LwobImage>& slot, FieldReader& f);

  ObjectDb* db_;
  LwobSurfChunks& s_;
  bool haveTexture_ = false;
  bool haveShader_ = false;
  ImageKind image_ = ImageKind::kNone;
  size_t imageTexture_ = 0;  // the texture holding the current TIMG / TALP
};

LwobImage* SurfWalk::Image() {
  std::optional<LwobImage>* slot = nullptr;
  if (image_ == ImageKind::kRimg) {
    slot = &s_.rimg;
  } else if (image_ != ImageKind::kNone && imageTexture_ < s_.textures.size()) {
    LwobTexture& t = s_.textures[imageTexture_];
    slot = image_ == ImageKind::kTimg ? &t.timg : &t.talp;
  }
  return slot && *slot ? &**slot : nullptr;
}

void SurfWalk::StartImage(ImageKind kind, std::optional<LwobImage>& slot, FieldReader& f) {
  LwobImage image;
  image.length = f.Declared();
  image.file = f.S0();
  slot = std::move(image);
  image_ = kind;
  if (kind != ImageKind::kRimg) imageTexture_ = s_.textures.size() - 1;
}

long SurfWalk::Handle(Id4 id, uint16_t length, ChunkBuff& sub) {
  FieldReader f(sub, length);
  LogLine(db_, "[%s] %d bytes\n", IdText(id).text, int(length));
  long consumed = Read(id, f);
  if (consumed == kUnknownSubChunk) LogLine(db_, "??? UNKNOWN ChunkBuff %d\n", int(length));
  return consumed;
}

long SurfWalk::Read(Id4 id, FieldReader& f) {
  LwobSurfChunks& s = s_;
  switch (id) {
    case MakeId4("COLR"): s.colr = Value(f, Bytes4(f)); break;
    case MakeId4("FLAG"): s.flag = Value(f, f.U2()); break;
    case MakeId4("DIFF"): s.diff = Value(f, f.U2()); break;
    case MakeId4("LUMI"): s.lumi = Value(f, f.U2()); break;
    case MakeId4("SPEC"): s.spec = Value(f, f.U2()); break;
    case MakeId4("REFL"): s.refl = Value(f, f.U2()); break;
    case MakeId4("TRAN"): s.tran = Value(f, f.U2()); break;
    case MakeId4("VDIF"): s.vdif = Value(f, f.F4()); break;
    case MakeId4("VLUM"): s.vlum = Value(f, f.F4()); break;
    case MakeId4("VSPC"): s.vspc = Value(f, f.F4()); break;
    case MakeId4("VRFL"): s.vrfl = Value(f, f.F4()); break;
    case MakeId4("VTRN"): s.vtrn = Value(f, f.F4()); break;
    case MakeId4("GLOS"): s.glos = Value(f, f.U2()); break;
    case MakeId4("RFLT"): s.rflt = Value(f, f.U2()); break;
    case MakeId4("RIMG"): StartImage(ImageKind::kRimg, s.rimg, f); break;
    case MakeId4("RSAN"): s.rsan = Value(f, f.F4()); break;
    case MakeId4("RIND"): s.rind = Value(f, f.F4()); break;
    case MakeId4("EDGE"): s.edge = Value(f, f.F4()); break;
    case MakeId4("SMAN"): s.sman = Value(f, f.F4()); break;
    case MakeId4("GLOW"): s.glow = Value(f, f.F4()); break;
    case MakeId4("ALPH"): s.alph = Value(f, U2s<2>(f)); break;
    case MakeId4("SPBF"): s.spbf = Value(f, f.Bytes(std::min<size_t>(f.Declared(), 4))); break;

    case MakeId4("SHDR"): {
      if (s.shaders.size() >= LwobSurfChunks::kMaxEntries) {
        haveShader_ = false;
        return Skipped("TOO MANY", id, f);
      }
      haveShader_ = true;
      LwobShader shader;
      shader.length = f.Declared();
      shader.name = f.S0();
      s.shaders.push_back(std::move(shader));
      break;
    }
    case MakeId4("SDAT"):
      if (!haveShader_) return Skipped("ORPHAN", id, f);
      s.shaders.back().data = Value(f, f.Bytes(f.Declared()));
      break;

    case MakeId4("IMSQ"):
    case MakeId4("FLYR"):
    case MakeId4("IMCC"): {
      LwobImage* image = Image();
      if (!image) return Skipped("ORPHAN", id, f);
      if (id == MakeId4("IMSQ")) {
        image->imsq = Value(f, U2s<3>(f));
      } else if (id == MakeId4("IMCC")) {
        image->imcc = Value(f, U2s<3>(f));
      } else {
        uint32_t first = f.U4();
        image->flyr = Value(f, std::array<uint32_t, 2>{first, f.U4()});
      }
      break;
    }

    default:
      for (Id4 textureId : kTextureIds)
        if (id == textureId) {
          if (s.textures.size() >= LwobSurfChunks::kMaxEntries) {
            // Its T-sub-chunks must not land in the last texture kept.
            haveTexture_ = false;
            return Skipped("TOO MANY", id, f);
          }
          s.textures.emplace_back();
          LwobTexture& t = s.textures.back();
          t.id = id;
          t.length = f.Declared();
          t.type = f.S0();
          haveTexture_ = true;
          return long(f.Used());
        }
      return ReadTextureChunk(id, f);
  }
  return long(f.Used());
}

// T-sub-chunks fill the most recent texture.
long SurfWalk::ReadTextureChunk(Id4 id, FieldReader& f) {
  const Id4 family = id & 0xFFFFFF00u;
  const int digit = int(id & 0xFFu) - '0';
  const bool numbered = (family == MakeId4("TFP\0") || family == MakeId4("TIP\0") ||
                         family == MakeId4("TSP\0")) &&
                        digit >= 0 && digit <= 4;
  const bool named = id == MakeId4("TFLG") || id == MakeId4("TREF") || id == MakeId4("TSIZ") ||
                     id == MakeId4("TCTR") || id == MakeId4("TFAL") || id == MakeId4("TVEL") ||
                     id == MakeId4("TCLR") || id == MakeId4("TVAL") || id == MakeId4("TAMP") ||
                     id == MakeId4("TFRQ") || id == MakeId4("TIMG") || id == MakeId4("TALP") ||
                     id == MakeId4("TWRP") || id == MakeId4("TAAS") || id == MakeId4("TOPC");
  if (!numbered && !named) return kUnknownSubChunk;
  LwobTexture* t = Texture();
  if (!t) return Skipped("ORPHAN", id, f);

  if (numbered) {
    const size_t i = size_t(digit);
    if (family == MakeId4("TIP\0")) t->tip[i] = Value(f, f.U2());
    else if (family == MakeId4("TFP\0")) t->tfp[i] = Value(f, f.F4());
    else t->tsp[i] = Value(f, f.F4());
    return long(f.Used());
  }
  switch (id) {
    case MakeId4("TFLG"): t->tflg = Value(f, f.U2()); break;
    case MakeId4("TREF"): t->tref = Value(f, f.S0()); break;
    case MakeId4("TSIZ"): t->tsiz = Value(f, Vec(f)); break;
    case MakeId4("TCTR"): t->tctr = Value(f, Vec(f)); break;
    case MakeId4("TFAL"): t->tfal = Value(f, Vec(f)); break;
    case MakeId4("TVEL"): t->tvel = Value(f, Vec(f)); break;
    case MakeId4("TCLR"): t->tclr = Value(f, Bytes4(f)); break;
    case MakeId4("TVAL"): t->tval = Value(f, f.U2()); break;
    case MakeId4("TAMP"): t->tamp = Value(f, f.F4()); break;
    case MakeId4("TFRQ"): t->tfrq = Value(f, f.U2()); break;
    case MakeId4("TIMG"): StartImage(ImageKind::kTimg, t->timg, f); break;
    case MakeId4("TALP"): StartImage(ImageKind::kTalp, t->talp, f); break;
    case MakeId4("TWRP"): t->twrp = Value(f, U2s<2>(f)); break;
    case MakeId4("TAAS"): t->taas = Value(f, f.F4()); break;
    case MakeId4("TOPC"): t->topc = Value(f, f.F4()); break;
    default: break;
  }
  return long(f.Used());
}

// Full form: each present sub-record's length becomes that of the values it
// holds, and the sub-chunk counts 6 + that length (+ 1 pad byte when odd).
template <typename T>
size_t Resize(LwobSlot<T>& slot, size_t length) {
  if (!slot) return 0;
  slot->length = uint16_t(length);
  return 6 + length + (length & 1);
}

size_t SizeOfText(const std::string& text) { return size_t(SizeOfS0(text.c_str())); }

size_t ResizeImage(std::optional<LwobImage>& image) {
  if (!image) return 0;
  image->length = uint16_t(SizeOfText(image->file));
  return 6 + image->length + Resize(image->imsq, 6) + Resize(image->flyr, 8) +
         Resize(image->imcc, 6);
}

size_t ResizeTexture(LwobTexture& t) {
  t.length = uint16_t(SizeOfText(t.type));
  size_t n = 6 + t.length + Resize(t.tflg, 2);
  if (t.tref) n += Resize(t.tref, SizeOfText(t.tref->value));
  n += Resize(t.tsiz, 12) + Resize(t.tctr, 12) + Resize(t.tfal, 12) + Resize(t.tvel, 12);
  n += Resize(t.tclr, 4) + Resize(t.tval, 2) + Resize(t.tamp, 4);
  for (auto& p : t.tfp) n += Resize(p, 4);
  for (auto& p : t.tip) n += Resize(p, 2);
  for (auto& p : t.tsp) n += Resize(p, 4);
  n += Resize(t.tfrq, 2) + ResizeImage(t.timg) + ResizeImage(t.talp);
  n += Resize(t.twrp, 4) + Resize(t.taas, 4) + Resize(t.topc, 4);
  return n;
}

}  // namespace

void ParseLwobSurfBody(ObjectDb* db, const void* body, size_t size, LwobSurfChunks* record) {
  if (!record) return;
  *record = LwobSurfChunks();
  if (!body) size = 0;
  SurfWalk walk(db, record);
  ChunkBuff buf(body, size);
  WalkSubChunks(
      buf, [&](Id4 id, uint16_t length, ChunkBuff& sub) { return walk.Handle(id, length, sub); },
      [](Id4, uint16_t) {},
      [&](Id4, int difference) {
        LogLine(db, "??? INVALIC ChunkBuff SIZE  %d bytes over\n", difference);
      });
  LogLine(db, "***  SURFACE SIZE (%d / %d)  ***\n", int(size), int(SizeLwobSurfChunks(*record)));
}

LwobSurfChunks ParseLwobSurfBody(ObjectDb* db, const void* body, size_t size) {
  LwobSurfChunks record;
  ParseLwobSurfBody(db, body, size, &record);
  return record;
}

size_t SizeLwobSurfChunks(LwobSurfChunks& s) {
  size_t n = Resize(s.colr, 4) + Resize(s.flag, 2);
  n += Resize(s.diff, 2) + Resize(s.lumi, 2) + Resize(s.spec, 2) + Resize(s.refl, 2) +
       Resize(s.tran, 2);
  n += Resize(s.vdif, 4) + Resize(s.vlum, 4) + Resize(s.vspc, 4) + Resize(s.vrfl, 4) +
       Resize(s.vtrn, 4);
  n += Resize(s.glos, 2) + Resize(s.rflt, 2) + ResizeImage(s.rimg);
  n += Resize(s.rsan, 4) + Resize(s.rind, 4) + Resize(s.edge, 4) + Resize(s.sman, 4) +
       Resize(s.glow, 4);
  n += Resize(s.alph, 4);
  if (s.spbf) n += Resize(s.spbf, s.spbf->value.size());
  for (LwobTexture& t : s.textures) n += ResizeTexture(t);
  for (LwobShader& sh : s.shaders) {
    sh.length = uint16_t(SizeOfText(sh.name));
    n += 6 + sh.length;
    if (sh.data) n += Resize(sh.data, sh.data->value.size());
  }
  return n;
}

void FreeLwobSurfChunks(LwobSurfChunks* record) {
  if (record) *record = LwobSurfChunks();
}

std::vector<std::string> LwobImageFiles(const LwobSurfChunks& s) {
  std::vector<std::string> files;
  auto add = [&](const std::optional<LwobImage>& image) {
    if (image && !image->file.empty()) files.push_back(image->file);
  };
  add(s.rimg);
  for (const LwobTexture& t : s.textures) {
    add(t.timg);
    add(t.talp);
  }
  return files;
}
