#include "lwob_surface.h"

#include <algorithm>

#include "objectdb.h"

namespace {

// Which image record IMSQ, FLYR and IMCC attach to.
enum class ImageKind { kNone, kRimg, kTimg, kTalp };

class SurfWalk {
 public:
  SurfWalk(ObjectDb* db, const void* body, size_t size, LwobSurfChunks* out)
      : db_(db), in_(body, size), size_(size), s_(*out) {}

  void Run();

 private:
  template <typename... A>
  void Log(const char* format, A... args) {
    if (db_ && db_->ops.Log) db_->ops.Log(db_, format, args...);
  }

  enum class Outcome { kRead, kSkipped, kUnknown };
  // Reads the values of a known sub-chunk into its slot.
  Outcome ReadSubChunk(Id4 id, const char* text);
  // A sub-chunk with no record to fill (a T-sub-chunk before any texture,
  // IMSQ before any image, SDAT before any shader, or past the 16-bit count).
  Outcome Skipped(const char* why, const char* text) {
    Log("??? %s ChunkBuff (%s) %d bytes\n", why, text, int(length_));
    return Outcome::kSkipped;
  }

  uint16_t U2() {
    uint16_t v = 0;
    in_.ReadU2(&v);
    return v;
  }
  uint32_t U4() {
    uint32_t v = 0;
    in_.ReadU4(&v);
    return v;
  }
  float F4() {
    float v = 0;
    in_.ReadF4(&v);
    return v;
  }
  template <size_t N>
  std::array<uint8_t, N> Bytes() {
    std::array<uint8_t, N> v{};
    in_.ReadBytes(v.data(), N);
    return v;
  }
  template <size_t N>
  std::array<uint16_t, N> U2s() {
    std::array<uint16_t, N> v{};
    in_.ReadU2(v.data(), int(N));
    return v;
  }
  LwobVec3 Vec() {
    LwobVec3 v{};
    in_.ReadVEC12(v.data());
    return v;
  }
  // Texts never run past the sub-chunk, so a missing NUL cannot swallow
  // the sub-chunks after it.
  std::string S0() {
    std::string text;
    in_.ReadS0(&text, subEnd_);
    return text;
  }
  template <typename T>
  void Put(LwobSlot<T>& slot, T value) {
    slot = LwobValue<T>{length_, std::move(value)};
  }

  LwobTexture* Texture() { return haveTexture_ ? &s_.textures.back() : nullptr; }
  LwobImage* Image();
  void StartImage(ImageKind kind, std::optional<LwobImage>& slot);

  ObjectDb* db_;
  ChunkBuff in_;
  size_t size_;
  LwobSurfChunks& s_;
  uint16_t length_ = 0;  // declared length of the current sub-chunk
  size_t subEnd_ = 0;    // its declared end, clamped to the body
  bool haveTexture_ = false;
  ImageKind image_ = ImageKind::kNone;
  size_t imageTexture_ = 0;  // texture holding the current TIMG / TALP
};

LwobImage* SurfWalk::Image() {
  switch (image_) {
    case ImageKind::kRimg:
      return s_.rimg ? &*s_.rimg : nullptr;
    case ImageKind::kTimg:
    case ImageKind::kTalp: {
      if (imageTexture_ >= s_.textures.size()) return nullptr;
      auto& slot = image_ == ImageKind::kTimg ? s_.textures[imageTexture_].timg
                                              : s_.textures[imageTexture_].talp;
      return slot ? &*slot : nullptr;
    }
    case ImageKind::kNone:
      break;
  }
  return nullptr;
}

void SurfWalk::StartImage(ImageKind kind, std::optional<LwobImage>& slot) {
  LwobImage image;
  image.length = length_;
  image.file = S0();
  slot = std::move(image);
  image_ = kind;
  if (kind != ImageKind::kRimg) imageTexture_ = s_.textures.size() - 1;
}

SurfWalk::Outcome SurfWalk::ReadSubChunk(Id4 id, const char* text) {
  switch (id) {
    case MakeId4("COLR"): Put(s_.colr, Bytes<4>()); return Outcome::kRead;
    case MakeId4("FLAG"): Put(s_.flag, U2()); return Outcome::kRead;
    case MakeId4("DIFF"): Put(s_.diff, U2()); return Outcome::kRead;
    case MakeId4("LUMI"): Put(s_.lumi, U2()); return Outcome::kRead;
    case MakeId4("SPEC"): Put(s_.spec, U2()); return Outcome::kRead;
    case MakeId4("REFL"): Put(s_.refl, U2()); return Outcome::kRead;
    case MakeId4("TRAN"): Put(s_.tran, U2()); return Outcome::kRead;
    case MakeId4("VDIF"): Put(s_.vdif, F4()); return Outcome::kRead;
    case MakeId4("VLUM"): Put(s_.vlum, F4()); return Outcome::kRead;
    case MakeId4("VSPC"): Put(s_.vspc, F4()); return Outcome::kRead;
    case MakeId4("VRFL"): Put(s_.vrfl, F4()); return Outcome::kRead;
    case MakeId4("VTRN"): Put(s_.vtrn, F4()); return Outcome::kRead;
    case MakeId4("GLOS"): Put(s_.glos, U2()); return Outcome::kRead;
    case MakeId4("RFLT"): Put(s_.rflt, U2()); return Outcome::kRead;
    case MakeId4("RIMG"): StartImage(ImageKind::kRimg, s_.rimg); return Outcome::kRead;
    case MakeId4("RSAN"): Put(s_.rsan, F4()); return Outcome::kRead;
    case MakeId4("RIND"): Put(s_.rind, F4()); return Outcome::kRead;
    case MakeId4("EDGE"): Put(s_.edge, F4()); return Outcome::kRead;
    case MakeId4("SMAN"): Put(s_.sman, F4()); return Outcome::kRead;
    case MakeId4("GLOW"): Put(s_.glow, F4()); return Outcome::kRead;
    case MakeId4("ALPH"): Put(s_.alph, U2s<2>()); return Outcome::kRead;
    case MakeId4("SPBF"): {
      std::vector<uint8_t> bytes(std::min<size_t>(length_, 4));
      bytes.resize(size_t(in_.ReadBytes(bytes.data(), bytes.size())));
      Put(s_.spbf, std::move(bytes));
      return Outcome::kRead;
    }

    case MakeId4("CTEX"): case MakeId4("DTEX"): case MakeId4("STEX"):
    case MakeId4("RTEX"): case MakeId4("TTEX"): case MakeId4("LTEX"):
    case MakeId4("BTEX"): {
      if (s_.textures.size() >= LwobSurfChunks::kMaxEntries) {
        // Later T-sub-chunks must not land in the last texture kept.
        haveTexture_ = false;
        return Skipped("TOO MANY", text);
      }
      s_.textures.emplace_back();
      LwobTexture& t = s_.textures.back();
      t.id = id;
      t.length = length_;
      t.type = S0();
      haveTexture_ = true;
      return Outcome::kRead;
    }

    case MakeId4("SHDR"): {
      if (s_.shaders.size() >= LwobSurfChunks::kMaxEntries) {
        return Skipped("TOO MANY", text);
      }
      LwobShader shader;
      shader.length = length_;
      shader.name = S0();
      s_.shaders.push_back(std::move(shader));
      return Outcome::kRead;
    }
    case MakeId4("SDAT"): {
      if (s_.shaders.empty()) {
        return Skipped("ORPHAN", text);
      }
      std::vector<uint8_t> data(std::min<size_t>(length_, in_.Remaining()));
      in_.ReadBytes(data.data(), data.size());
      Put(s_.shaders.back().data, std::move(data));
      return Outcome::kRead;
    }

    case MakeId4("IMSQ"): case MakeId4("FLYR"): case MakeId4("IMCC"): {
      LwobImage* image = Image();
      if (!image) {
        return Skipped("ORPHAN", text);
      }
      if (id == MakeId4("IMSQ")) Put(image->imsq, U2s<3>());
      else if (id == MakeId4("IMCC")) Put(image->imcc, U2s<3>());
      else Put(image->flyr, std::array<uint32_t, 2>{U4(), U4()});
      return Outcome::kRead;
    }
    default:
      break;
  }

  // Texture sub-chunks fill the most recent texture.
  const bool textureChunk =
      id == MakeId4("TFLG") || id == MakeId4("TREF") || id == MakeId4("TSIZ") ||
      id == MakeId4("TCTR") || id == MakeId4("TFAL") || id == MakeId4("TVEL") ||
      id == MakeId4("TCLR") || id == MakeId4("TVAL") || id == MakeId4("TAMP") ||
      id == MakeId4("TFRQ") || id == MakeId4("TIMG") || id == MakeId4("TALP") ||
      id == MakeId4("TWRP") || id == MakeId4("TAAS") || id == MakeId4("TOPC");
  const Id4 family = id & 0xFFFFFF00u;
  const int digit = int(id & 0xFF) - '0';
  const bool numbered = (family == MakeId4("TFP\0") || family == MakeId4("TIP\0") ||
                         family == MakeId4("TSP\0")) &&
                        digit >= 0 && digit <= 4;
  if (!textureChunk && !numbered) return Outcome::kUnknown;

  LwobTexture* t = Texture();
  if (!t) return Skipped("ORPHAN", text);
  if (numbered) {
    if (family == MakeId4("TIP\0")) Put(t->tip[size_t(digit)], U2());
    else Put(family == MakeId4("TFP\0") ? t->tfp[size_t(digit)] : t->tsp[size_t(digit)], F4());
    return Outcome::kRead;
  }
  switch (id) {
    case MakeId4("TFLG"): Put(t->tflg, U2()); break;
    case MakeId4("TREF"): Put(t->tref, S0()); break;
    case MakeId4("TSIZ"): Put(t->tsiz, Vec()); break;
    case MakeId4("TCTR"): Put(t->tctr, Vec()); break;
    case MakeId4("TFAL"): Put(t->tfal, Vec()); break;
    case MakeId4("TVEL"): Put(t->tvel, Vec()); break;
    case MakeId4("TCLR"): Put(t->tclr, Bytes<4>()); break;
    case MakeId4("TVAL"): Put(t->tval, U2()); break;
    case MakeId4("TAMP"): Put(t->tamp, F4()); break;
    case MakeId4("TFRQ"): Put(t->tfrq, U2()); break;
    case MakeId4("TIMG"): StartImage(ImageKind::kTimg, t->timg); break;
    case MakeId4("TALP"): StartImage(ImageKind::kTalp, t->talp); break;
    case MakeId4("TWRP"): Put(t->twrp, U2s<2>()); break;
    case MakeId4("TAAS"): Put(t->taas, F4()); break;
    case MakeId4("TOPC"): Put(t->topc, F4()); break;
    default: break;
  }
  return Outcome::kRead;
}

void SurfWalk::Run() {
  while (in_.Count() < size_) {
    const size_t start = in_.Count();
    if (size_ - start < 6) {
      Log("??? SHORT ChunkBuff %d bytes left\n", int(size_ - start));
      break;
    }
    Id4 id = 0;
    in_.ReadID4(&id);
    length_ = U2();
    char text[5];
    ID4ToText(id, text);
    Log("[%s] %d bytes\n", text, int(length_));
    subEnd_ = std::min(start + 6 + size_t(length_), size_);

    const Outcome outcome = ReadSubChunk(id, text);
    if (outcome == Outcome::kUnknown) {
      Log("??? UNKNOWN ChunkBuff %d\n", int(length_));
    } else if (outcome == Outcome::kRead) {
      // Values are read in their full form; a sub-chunk declared shorter or
      // longer is reported and the walk resumes at its declared end.
      const long consumed = long(in_.Count() - (start + 6));
      if (consumed != long(length_))
        Log("??? INVALIC ChunkBuff SIZE  %d bytes over\n", int(long(length_) - consumed));
    }
    in_.Seek(subEnd_);
  }
  Log("***  SURFACE SIZE (%d / %d)  ***\n", int(size_), int(SizeLwobSurfChunks(s_)));
}

// Full-form sizes: 6 + the length of the values held.
template <typename T>
size_t Sized(const LwobSlot<T>& slot, size_t length) {
  return slot ? 6 + length : 0;
}

size_t SizeOfText(const std::string& text) { return size_t(SizeOfS0(text.c_str())); }

size_t SizeOfImage(const std::optional<LwobImage>& image) {
  if (!image) return 0;
  return 6 + SizeOfText(image->file) + Sized(image->imsq, 6) + Sized(image->flyr, 8) +
         Sized(image->imcc, 6);
}

size_t SizeOfTexture(const LwobTexture& t) {
  size_t n = 6 + SizeOfText(t.type);
  n += Sized(t.tflg, 2);
  if (t.tref) n += 6 + SizeOfText(t.tref->value);
  n += Sized(t.tsiz, 12) + Sized(t.tctr, 12) + Sized(t.tfal, 12) + Sized(t.tvel, 12);
  n += Sized(t.tclr, 4) + Sized(t.tval, 2) + Sized(t.tamp, 4);
  for (int i = 0; i < 5; ++i) n += Sized(t.tfp[size_t(i)], 4);
  for (int i = 0; i < 5; ++i) n += Sized(t.tip[size_t(i)], 2);
  for (int i = 0; i < 5; ++i) n += Sized(t.tsp[size_t(i)], 4);
  n += Sized(t.tfrq, 2) + SizeOfImage(t.timg) + SizeOfImage(t.talp);
  n += Sized(t.twrp, 4) + Sized(t.taas, 4) + Sized(t.topc, 4);
  return n;
}

}  // namespace

void ParseLwobSurfBody(ObjectDb* db, const void* body, size_t size, LwobSurfChunks* record) {
  if (!record) return;
  *record = LwobSurfChunks();
  if (!body) size = 0;
  SurfWalk(db, body, size, record).Run();
}

LwobSurfChunks ParseLwobSurfBody(ObjectDb* db, const void* body, size_t size) {
  LwobSurfChunks record;
  ParseLwobSurfBody(db, body, size, &record);
  return record;
}

size_t SizeLwobSurfChunks(const LwobSurfChunks& s) {
  size_t n = Sized(s.colr, 4) + Sized(s.flag, 2);
  n += Sized(s.diff, 2) + Sized(s.lumi, 2) + Sized(s.spec, 2) + Sized(s.refl, 2) +
       Sized(s.tran, 2);
  n += Sized(s.vdif, 4) + Sized(s.vlum, 4) + Sized(s.vspc, 4) + Sized(s.vrfl, 4) +
       Sized(s.vtrn, 4);
  n += Sized(s.glos, 2) + Sized(s.rflt, 2) + SizeOfImage(s.rimg);
  n += Sized(s.rsan, 4) + Sized(s.rind, 4) + Sized(s.edge, 4) + Sized(s.sman, 4) +
       Sized(s.glow, 4);
  n += Sized(s.alph, 4);
  if (s.spbf) n += 6 + s.spbf->value.size();
  for (const LwobTexture& t : s.textures) n += SizeOfTexture(t);
  for (const LwobShader& sh : s.shaders) {
    n += 6 + SizeOfText(sh.name);
    if (sh.data) n += 6 + sh.data->value.size();
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
