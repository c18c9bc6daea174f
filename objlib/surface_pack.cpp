#include "surface_pack.h"

#include "lwob_surface.h"
#include "ops_internal.h"
#include "subchunk_walk.h"
#include "surface_chunks.h"

namespace {

// Writes sub-chunks as ID4, U2 length, values. The length is patched in once
// the values are written, so it always matches what was written.
class Packer {
 public:
  explicit Packer(ChunkBuffWriter& w) : w_(w) {}

  template <class F>
  void Sub(const char (&id)[5], F&& values) {
    w_.WriteID4(MakeId4(id));
    const size_t at = w_.Count();
    w_.WriteU2(0);
    values();
    const size_t length = w_.Count() - at - 2;
    if (length > 0xFFFF) {
      if (!tooLong_) ID4ToText(MakeId4(id), tooLongId_);
      tooLong_ = true;
      return;
    }
    w_.PatchU2(at, uint16_t(length));
    if (length & 1) w_.WriteU1(0);
  }

  // Returns 0, or logs what did not fit and returns ERR_BAD_FORMAT.
  int Finish(ObjectDb* db) {
    if (tooLong_) {
      LogLine(db, "??? %s sub-chunk longer than 65535 bytes\n", tooLongId_);
      return ERR_BAD_FORMAT;
    }
    if (w_.Error()) {
      LogLine(db, "??? surface index above 24 bits\n");
      return ERR_BAD_FORMAT;
    }
    return 0;
  }

  ChunkBuffWriter& w() { return w_; }

 private:
  ChunkBuffWriter& w_;
  bool tooLong_ = false;
  char tooLongId_[5] = {};
};

// ------------------------------------------------------------------- LWO2

class Lwo2Packer {
 public:
  explicit Lwo2Packer(ChunkBuffWriter& w) : p_(w), w_(w) {}

  int Pack(ObjectDb* db, const SurfChunks& s) {
    Vector("COLR", s.color);
    Value("LUMI", s.luminosity);
    Value("DIFF", s.diffuse);
    Value("SPEC", s.specular);
    Value("REFL", s.reflection);
    Value("TRAN", s.transparency);
    Value("TRNL", s.translucency);
    Value("SHRP", s.sharpness);
    Value("GLOS", s.glossiness);
    Value("BUMP", s.bump);
    Float("SMAN", s.smoothing);
    Word("RFOP", s.reflectionOptions);
    Word("SIDE", s.sidedness);
    Index("RIMG", s.reflectionImage);
    Value("RSAN", s.reflectionSeam);
    Value("RIND", s.refractiveIndex);
    Value("CLRH", s.colorHighlights);
    Word("TROP", s.refractionOptions);
    Index("TIMG", s.refractionImage);
    Value("TSAN", s.refractionSeam);
    Value("CLRF", s.colorFilter);
    Value("ADTR", s.additive);
    if (s.glow)
      p_.Sub("GLOW", [&] {
        w_.WriteU2(s.glow->type);
        w_.WriteF4(s.glow->intensity);
        w_.WriteVX(s.glow->intensityEnvelope);
        w_.WriteF4(s.glow->size);
        w_.WriteVX(s.glow->sizeEnvelope);
      });
    Float("AVAL", s.alphaValue);
    Value("GVAL", s.glowValue);
    if (s.line)
      p_.Sub("LINE", [&] {
        w_.WriteU2(s.line->flags);
        w_.WriteF4(s.line->size);
        w_.WriteVX(s.line->sizeEnvelope);
        w_.WriteVEC12(s.line->color);
        w_.WriteVX(s.line->colorEnvelope);
      });
    Vector("LCOL", s.lineColor);
    Value("LSIZ", s.lineSize);
    if (s.alpha)
      p_.Sub("ALPH", [&] {
        w_.WriteU2(s.alpha->mode);
        w_.WriteF4(s.alpha->value);
      });
    for (const SurfBlock& b : s.blocks) Block(b);
    Text("CMNT", s.comment);
    if (s.vertexColor)
      p_.Sub("VCOL", [&] {
        w_.WriteF4(s.vertexColor->intensity);
        w_.WriteVX(s.vertexColor->envelope);
        w_.WriteID4(s.vertexColor->mapType);
        w_.WriteS0(s.vertexColor->mapName.c_str());
      });
    Value("RBLR", s.reflectionBlur);
    Value("TBLR", s.refractionBlur);
    return p_.Finish(db);
  }

 private:
  void Value(const char (&id)[5], const std::optional<SurfValue>& v) {
    if (v)
      p_.Sub(id, [&] {
        w_.WriteF4(v->value);
        w_.WriteVX(v->envelope);
      });
  }
  void Vector(const char (&id)[5], const std::optional<SurfVector>& v) {
    if (v)
      p_.Sub(id, [&] {
        w_.WriteVEC12(v->value);
        w_.WriteVX(v->envelope);
      });
  }
  void Float(const char (&id)[5], const std::optional<SurfFloat>& v) {
    if (v) p_.Sub(id, [&] { w_.WriteF4(v->value); });
  }
  void Word(const char (&id)[5], const std::optional<SurfWord>& v) {
    if (v) p_.Sub(id, [&] { w_.WriteU2(v->value); });
  }
  void Index(const char (&id)[5], const std::optional<SurfIndex>& v) {
    if (v) p_.Sub(id, [&] { w_.WriteVX(v->index); });
  }
  void Text(const char (&id)[5], const std::optional<SurfText>& v) {
    if (v) p_.Sub(id, [&] { w_.WriteS0(v->text.c_str()); });
  }
  void WordFloat(const char (&id)[5], const std::optional<BlockWordFloat>& v) {
    if (v)
      p_.Sub(id, [&] {
        w_.WriteU2(v->word);
        w_.WriteF4(v->value);
      });
  }

  void Header(Id4 type, const BlockHeader& h) {
    char id[5];
    ID4ToText(type, id);
    p_.Sub(id, [&] {
      w_.WriteS0(h.ordinal.c_str());
      if (h.channel) p_.Sub("CHAN", [&] { w_.WriteID4(h.channel->channel); });
      Text("NAME", h.name);
      if (h.opacity)
        p_.Sub("OPAC", [&] {
          w_.WriteU2(h.opacity->type);
          w_.WriteF4(h.opacity->opacity);
          w_.WriteVX(h.opacity->envelope);
        });
      Word("ENAB", h.enable);
      Word("NEGA", h.negative);
      Word("AXIS", h.axis);
    });
  }

  void Tmap(const BlockTmap& t) {
    p_.Sub("TMAP", [&] {
      Vector("CNTR", t.center);
      Vector("SIZE", t.size);
      Vector("ROTA", t.rotation);
      if (t.falloff)
        p_.Sub("FALL", [&] {
          w_.WriteU2(t.falloff->type);
          w_.WriteVEC12(t.falloff->vector);
          w_.WriteVX(t.falloff->envelope);
        });
      Text("OREF", t.reference);
      Word("CSYS", t.coordSystem);
    });
  }

  void Block(const SurfBlock& b) {
    p_.Sub("BLOK", [&] {
      // The header ID is what tells a reader where a block's header is;
      // a header whose type was lost cannot be written back.
      if (b.header && b.type) Header(b.type, *b.header);
      if (b.tmap) Tmap(*b.tmap);
      Word("PROJ", b.projection);
      Word("AXIS", b.axis);
      Word("FLAG", b.flags);
      Index("IMAG", b.image);
      if (b.wrap)
        p_.Sub("WRAP", [&] {
          w_.WriteU2(b.wrap->width);
          w_.WriteU2(b.wrap->height);
        });
      Value("WRPW", b.wrapWidth);
      Value("WRPH", b.wrapHeight);
      Text("VMAP", b.vmap);
      WordFloat("AAST", b.antialias);
      Word("PIXB", b.pixelBlend);
      WordFloat("STCK", b.sticky);
      Value("TAMP", b.amplitude);
      Vector("COLR", b.color);
      if (b.value)
        p_.Sub("VALU", [&] {
          for (int i = 0; i < b.value->count && i < 3; ++i) w_.WriteF4(b.value->value[i]);
        });
      if (b.floatParams)
        p_.Sub("FTPS", [&] {
          for (float v : b.floatParams->values) w_.WriteF4(v);
        });
      if (b.intParams)
        p_.Sub("ITPS", [&] {
          for (int16_t v : b.intParams->values) w_.WriteI2(v);
        });
      if (b.envelopeParams)
        p_.Sub("ETPS", [&] {
          for (uint32_t e : b.envelopeParams->envelopes) w_.WriteVX(e);
        });
      Float("GRST", b.gradientStart);
      Float("GREN", b.gradientEnd);
      if (b.function)
        p_.Sub("FUNC", [&] {
          w_.WriteS0(b.function->name.c_str());
          if (!b.function->data.empty())
            w_.WriteBytes(b.function->data.data(), b.function->data.size());
        });
    });
  }

  Packer p_;
  ChunkBuffWriter& w_;
};

// ------------------------------------------------------------------- LWOB

class LwobPacker {
 public:
  explicit LwobPacker(ChunkBuffWriter& w) : p_(w), w_(w) {}

  int Pack(ObjectDb* db, const LwobSurfChunks& s) {
    Bytes("COLR", s.colr);
    U2("FLAG", s.flag);
    U2("DIFF", s.diff);
    U2("LUMI", s.lumi);
    U2("SPEC", s.spec);
    U2("REFL", s.refl);
    U2("TRAN", s.tran);
    F4("VDIF", s.vdif);
    F4("VLUM", s.vlum);
    F4("VSPC", s.vspc);
    F4("VRFL", s.vrfl);
    F4("VTRN", s.vtrn);
    U2("GLOS", s.glos);
    U2("RFLT", s.rflt);
    F4("RSAN", s.rsan);
    F4("RIND", s.rind);
    F4("EDGE", s.edge);
    F4("SMAN", s.sman);
    Image("RIMG", s.rimg);
    F4("GLOW", s.glow);
    if (s.alph) p_.Sub("ALPH", [&] { Words(s.alph->value); });
    if (s.spbf) p_.Sub("SPBF", [&] { Raw(s.spbf->value); });
    for (const LwobTexture& t : s.textures) Texture(t);
    for (const LwobShader& sh : s.shaders) {
      p_.Sub("SHDR", [&] { w_.WriteS0(sh.name.c_str()); });
      if (sh.data) p_.Sub("SDAT", [&] { Raw(sh.data->value); });
    }
    return p_.Finish(db);
  }

 private:
  template <size_t N>
  void Words(const std::array<uint16_t, N>& v) {
    for (uint16_t x : v) w_.WriteU2(x);
  }
  void Raw(const std::vector<uint8_t>& v) {
    if (!v.empty()) w_.WriteBytes(v.data(), v.size());
  }
  void U2(const char (&id)[5], const LwobSlot<uint16_t>& v) {
    if (v) p_.Sub(id, [&] { w_.WriteU2(v->value); });
  }
  void F4(const char (&id)[5], const LwobSlot<float>& v) {
    if (v) p_.Sub(id, [&] { w_.WriteF4(v->value); });
  }
  void Vec(const char (&id)[5], const LwobSlot<LwobVec3>& v) {
    if (v) p_.Sub(id, [&] { w_.WriteVEC12(v->value.data()); });
  }
  void Bytes(const char (&id)[5], const LwobSlot<std::array<uint8_t, 4>>& v) {
    if (v) p_.Sub(id, [&] { w_.WriteBytes(v->value.data(), 4); });
  }
  void Text(const char (&id)[5], const LwobSlot<std::string>& v) {
    if (v) p_.Sub(id, [&] { w_.WriteS0(v->value.c_str()); });
  }

  void Image(const char (&id)[5], const std::optional<LwobImage>& image) {
    if (!image) return;
    p_.Sub(id, [&] { w_.WriteS0(image->file.c_str()); });
    if (image->imsq) p_.Sub("IMSQ", [&] { Words(image->imsq->value); });
    if (image->flyr)
      p_.Sub("FLYR", [&] {
        w_.WriteU4(image->flyr->value[0]);
        w_.WriteU4(image->flyr->value[1]);
      });
    if (image->imcc) p_.Sub("IMCC", [&] { Words(image->imcc->value); });
  }

  void Texture(const LwobTexture& t) {
    char id[5];
    ID4ToText(t.id, id);
    p_.Sub(id, [&] { w_.WriteS0(t.type.c_str()); });
    U2("TFLG", t.tflg);
    Text("TREF", t.tref);
    Vec("TSIZ", t.tsiz);
    Vec("TCTR", t.tctr);
    Vec("TFAL", t.tfal);
    Vec("TVEL", t.tvel);
    Bytes("TCLR", t.tclr);
    U2("TVAL", t.tval);
    F4("TAMP", t.tamp);
    static const char kTfp[5][5] = {"TFP0", "TFP1", "TFP2", "TFP3", "TFP4"};
    static const char kTip[5][5] = {"TIP0", "TIP1", "TIP2", "TIP3", "TIP4"};
    static const char kTsp[5][5] = {"TSP0", "TSP1", "TSP2", "TSP3", "TSP4"};
    for (size_t i = 0; i < 5; ++i) F4(kTfp[i], t.tfp[i]);
    for (size_t i = 0; i < 5; ++i) U2(kTip[i], t.tip[i]);
    for (size_t i = 0; i < 5; ++i) F4(kTsp[i], t.tsp[i]);
    U2("TFRQ", t.tfrq);
    Image("TIMG", t.timg);
    Image("TALP", t.talp);
    if (t.twrp) p_.Sub("TWRP", [&] { Words(t.twrp->value); });
    F4("TAAS", t.taas);
    F4("TOPC", t.topc);
  }

  Packer p_;
  ChunkBuffWriter& w_;
};

}  // namespace

int PackSurfChunks(ObjectDb* db, ChunkBuffWriter& out, const SurfChunks& record) {
  return Lwo2Packer(out).Pack(db, record);
}

int PackLwobSurfChunks(ObjectDb* db, ChunkBuffWriter& out, const LwobSurfChunks& record) {
  return LwobPacker(out).Pack(db, record);
}
