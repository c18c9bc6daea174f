// Surface attributes and texture layers, prepared from LWO2 and LWOB bodies.
#include "surface_attributes.h"

#include <cmath>
#include <new>
#include <unordered_map>

#include "clip_envelope.h"
#include "lwob_surface.h"
#include "ops_internal.h"
#include "parallel.h"
#include "surface_chunks.h"

const Id4 kChannelIds[8] = {MakeId4("COLR"), MakeId4("DIFF"), MakeId4("LUMI"), MakeId4("SPEC"),
                            MakeId4("REFL"), MakeId4("TRAN"), MakeId4("BUMP"), MakeId4("TRNL")};
const Id4 kLwobTextureIds[7] = {MakeId4("CTEX"), MakeId4("DTEX"), MakeId4("LTEX"), MakeId4("STEX"),
                                MakeId4("RTEX"), MakeId4("TTEX"), MakeId4("BTEX")};
const uint16_t kChannelMasks[8] = {TEX_COLR, TEX_DIFF, TEX_LUMI, TEX_SPEC,
                                   TEX_REFL, TEX_TRAN, TEX_BUMP, TEX_TRNL};

SurfaceAttributes::SurfaceAttributes() = default;
SurfaceAttributes::~SurfaceAttributes() = default;

namespace {

constexpr size_t kTextLimit = 255;

std::string Cut(const std::string& s) { return s.size() > kTextLimit ? s.substr(0, kTextLimit) : s; }

// Envelopes are referenced by VX index, index e naming the envelope at list
// position e - 1. One cache serves a whole preparation pass, so an envelope
// shared by many surfaces or blocks is parsed once.
class EnvelopeCache {
 public:
  explicit EnvelopeCache(ObjectDb* db) : db_(db) {}

  EnvelopePtr Single(uint32_t vx) { return vx ? At(int64_t(vx) - 1) : nullptr; }

  // Colour, size, centre and rotation take ordinals e - 1, e and e + 1, and
  // only all three together.
  void Group(uint32_t vx, EnvelopePtr out[3]) {
    for (int i = 0; i < 3; ++i) out[i] = nullptr;
    if (!vx) return;
    EnvelopePtr got[3];
    for (int i = 0; i < 3; ++i) {
      got[i] = At(int64_t(vx) - 1 + i);
      if (!got[i]) return;
    }
    for (int i = 0; i < 3; ++i) out[i] = got[i];
  }

 private:
  EnvelopePtr At(int64_t ordinal) {
    if (ordinal < 0 || ordinal >= db_->ops.GetEnvelopeCount(db_)) return nullptr;
    auto found = built_.find(ordinal);
    if (found != built_.end()) return found->second;
    EnvelopePtr curve = BuildEnvelope(db_, int(ordinal));
    built_.emplace(ordinal, curve);
    return curve;
  }

  ObjectDb* db_;
  std::unordered_map<int64_t, EnvelopePtr> built_;
};

void SetAlphas(SurfaceAttributes& a, float alpha) {
  a.color[3] = a.diffuseColor[3] = a.specularColor[3] = a.emission[3] = alpha;
}

void ApplyProducts(SurfaceAttributes& a) {
  const float h = a.colorHighlights;
  for (int i = 0; i < 3; ++i) {
    a.diffuseColor[i] = a.color[i] * a.diffuse;
    a.specularColor[i] = a.specular * (1 - h) + h * a.color[i];
    a.emission[i] = a.color[i] * a.luminosity;
  }
}

void EvaluateEnvelopes(SurfaceAttributes& a) {
  const float t = float(a.time);
  auto eval = [t](const EnvelopePtr& e, float& value) {
    if (e) value = EvalEnvelope(*e, t);
  };
  for (int i = 0; i < 3; ++i) eval(a.colorEnvelope[i], a.color[i]);
  eval(a.diffuseEnvelope, a.diffuse);
  eval(a.colorHighlightsEnvelope, a.colorHighlights);
  eval(a.specularEnvelope, a.specular);
  eval(a.luminosityEnvelope, a.luminosity);
  eval(a.reflectionEnvelope, a.reflection);
  eval(a.refractiveIndexEnvelope, a.refractiveIndex);
  if (a.transparencyEnvelope) {
    eval(a.transparencyEnvelope, a.transparency);
    SetAlphas(a, 1 - a.transparency);
  }
  ApplyProducts(a);
  for (auto& layer : a.layers) {
    eval(layer->opacityEnvelope, layer->opacity);
    for (int i = 0; i < 3; ++i) {
      eval(layer->sizeEnvelope[i], layer->size[i]);
      eval(layer->centerEnvelope[i], layer->center[i]);
      eval(layer->rotationEnvelope[i], layer->rotation[i]);
    }
  }
}

TextureLayer* AppendLayer(SurfaceAttributes& a) {
  a.layers.push_back(std::make_unique<TextureLayer>());
  a.currentLayer = a.layers.back().get();
  return a.currentLayer;
}

std::string ClipText(ObjectDb* db, uint32_t clip) {
  if (clip == 0 || clip > 0x7FFFFFFF) return std::string();
  return Cut(ClipName(db, int(clip)).value_or(std::string()));
}

void FillLwo2Layer(ObjectDb* db, EnvelopeCache& envelopes, const SurfBlock& b, TextureLayer& t) {
  if (b.projection) t.projection = b.projection->value;
  if (b.axis)
    t.axis = b.axis->value;
  else if (b.header && b.header->axis)
    t.axis = b.header->axis->value;
  if (b.header && b.header->opacity) {
    t.blendMode = b.header->opacity->type;
    t.opacity = b.header->opacity->opacity;
    t.opacityEnvelope = envelopes.Single(b.header->opacity->envelope);
  }
  if (b.header && b.header->negative) t.negative = b.header->negative->value;
  if (b.tmap) {
    const BlockTmap& m = *b.tmap;
    auto vector = [&](const std::optional<SurfVector>& v, float out[3], EnvelopePtr env[3]) {
      if (!v) return;
      for (int i = 0; i < 3; ++i) out[i] = v->value[i];
      envelopes.Group(v->envelope, env);
    };
    vector(m.size, t.size, t.sizeEnvelope);
    vector(m.center, t.center, t.centerEnvelope);
    vector(m.rotation, t.rotation, t.rotationEnvelope);
    if (m.reference && !m.reference->text.empty()) {
      t.referenceName = Cut(m.reference->text);
      t.referenceFlags |= TEXLAYER_REFERENCE;
    }
  }
  if (b.wrap) {
    t.wrapModeWidth = b.wrap->width;
    t.wrapModeHeight = b.wrap->height;
  }
  if (b.wrapWidth) t.wrapWidth = b.wrapWidth->value;
  if (b.wrapHeight) t.wrapHeight = b.wrapHeight->value;
  if (b.image) {
    t.imageName = ClipText(db, b.image->index);
    if (!t.imageName.empty()) t.imageFlags |= TEXLAYER_IMAGE;
  }
  if (b.vmap) t.uvMapName = Cut(b.vmap->text);
  if (b.amplitude) t.amplitude = b.amplitude->value;
}

void FillFromLwo2(ObjectDb* db, EnvelopeCache& envelopes, const SurfChunks& s, SurfaceAttributes& a) {
  if (s.comment) a.comment = Cut(s.comment->text);
  if (s.transparency) {
    a.transparency = s.transparency->value;
    SetAlphas(a, 1 - a.transparency);
    a.transparencyEnvelope = envelopes.Single(s.transparency->envelope);
  }
  if (s.color) {
    for (int i = 0; i < 3; ++i) a.color[i] = s.color->value[i];
    envelopes.Group(s.color->envelope, a.colorEnvelope);
  }
  if (s.colorHighlights) {
    a.colorHighlights = s.colorHighlights->value;
    a.flags |= SURF_COLOR_HIGHLIGHTS;
    a.colorHighlightsEnvelope = envelopes.Single(s.colorHighlights->envelope);
  }
  auto level = [&](const std::optional<SurfValue>& v, float& value, EnvelopePtr& env) {
    if (!v) return;
    value = v->value;
    env = envelopes.Single(v->envelope);
  };
  level(s.diffuse, a.diffuse, a.diffuseEnvelope);
  level(s.specular, a.specular, a.specularEnvelope);
  if (s.glossiness) a.shininess[0] = s.glossiness->value * 128;
  level(s.luminosity, a.luminosity, a.luminosityEnvelope);
  level(s.reflection, a.reflection, a.reflectionEnvelope);
  level(s.refractiveIndex, a.refractiveIndex, a.refractiveIndexEnvelope);
  if (s.reflectionOptions) a.reflectionOption = s.reflectionOptions->value;
  if (s.reflectionSeam) a.reflectionSeam = s.reflectionSeam->value;
  if (s.refractionOptions) a.refractionOption = s.refractionOptions->value;
  if (s.refractionSeam) a.refractionSeam = s.refractionSeam->value;
  if (s.reflectionImage) {
    a.reflectionImage = ClipText(db, s.reflectionImage->index);
    if (!a.reflectionImage.empty()) a.flags |= SURF_REFLECTION_IMAGE;
  }
  if (s.refractionImage) {
    a.refractionImage = ClipText(db, s.refractionImage->index);
    if (!a.refractionImage.empty()) a.flags |= SURF_REFRACTION_IMAGE;
  }
  if (s.smoothing) {
    a.flags |= SURF_SMOOTHING;
    a.smoothingAngle = s.smoothing->value;
  }
  if (s.sidedness && s.sidedness->value == 3) a.flags |= SURF_DOUBLE_SIDED;
  if (s.vertexColor) {
    a.vertexColorType = s.vertexColor->mapType;
    a.vertexColorMap = Cut(s.vertexColor->mapName);
  }
  ApplyProducts(a);

  for (int c = 0; c < 8; ++c) {
    uint16_t n = 0;
    for (const SurfBlock& b : s.blocks) {
      if (!b.header || !b.header->channel || b.header->channel->channel != kChannelIds[c]) continue;
      TextureLayer* t = AppendLayer(a);
      t->channel = kChannelMasks[c];
      t->index = n++;
      FillLwo2Layer(db, envelopes, b, *t);
    }
  }
}

int LwobProjection(const std::string& name) {
  static const char* const kNames[] = {"Planar Image Map", "Cylindrical Image Map", "Spherical Image Map",
                                       "Cubic Image Map", "Front Projection Image Map"};
  for (int i = 0; i < 5; ++i)
    if (name == kNames[i]) return i;
  return PROJ_PLANAR;  // procedural textures project as planar
}

uint16_t LwobWrapMode(uint16_t value) {
  static const uint16_t kModes[4] = {WRAP_RESET, WRAP_EDGE, WRAP_REPEAT, WRAP_MIRROR};
  return value < 4 ? kModes[value] : uint16_t(WRAP_REPEAT);
}

// GLOS is a 16-bit fixed-point level; the exponent grows with its log2.
// Below 4 it would go negative, and 0 has no logarithm: both give 0, and
// the top is held at OpenGL's largest shininess.
float LwobGlossiness(uint16_t glos) {
  if (glos == 0) return 0;
  int log2 = 0;
  while (glos >> (log2 + 1)) ++log2;
  float g = float(log2 - 2) * 12.8f;
  return g < 0 ? 0 : (g > 128 ? 128 : g);
}

void FillFromLwob(const LwobSurfChunks& s, SurfaceAttributes& a) {
  if (s.colr)
    for (int i = 0; i < 3; ++i) a.color[i] = float(s.colr->value[size_t(i)]) / 255.0f;
  if (s.flag) {
    const uint16_t f = s.flag->value;
    if (f & 0x4) a.flags |= SURF_SMOOTHING;
    if (f & 0x8) {
      a.flags |= SURF_COLOR_HIGHLIGHTS;
      a.colorHighlights = 1.0f;
    }
    if (f & 0x100) a.flags |= SURF_DOUBLE_SIDED;
  }
  if (s.rimg && !s.rimg->file.empty()) {
    a.reflectionImage = Cut(s.rimg->file);
    a.flags |= SURF_REFLECTION_IMAGE;
  }
  auto level = [](const LwobSlot<float>& f, const LwobSlot<uint16_t>& i, float& value) {
    if (f)
      value = f->value;
    else if (i)
      value = float(i->value) / 256.0f;
  };
  level(s.vdif, s.diff, a.diffuse);
  level(s.vspc, s.spec, a.specular);
  level(s.vlum, s.lumi, a.luminosity);
  level(s.vrfl, s.refl, a.reflection);
  if (s.vtrn) {
    a.transparency = s.vtrn->value;
    SetAlphas(a, 1 - a.transparency);
  }
  if (s.glos) a.shininess[0] = LwobGlossiness(s.glos->value);
  ApplyProducts(a);

  for (int c = 0; c < 7; ++c) {
    uint16_t n = 0;
    for (const LwobTexture& x : s.textures) {
      if (x.id != kLwobTextureIds[c]) continue;
      TextureLayer* t = AppendLayer(a);
      t->channel = kChannelMasks[c];
      t->index = n++;
      t->projection = uint16_t(LwobProjection(x.type));
      if (x.tflg) {
        const uint16_t f = x.tflg->value;
        if (f & 0x1) t->axis = AXIS_X;
        if (f & 0x2) t->axis = AXIS_Y;
        if (f & 0x4) t->axis = AXIS_Z;
        if (f & 0x10) t->negative = 1;
      }
      if (x.tsiz)
        for (int i = 0; i < 3; ++i) t->size[i] = x.tsiz->value[size_t(i)];
      if (x.tctr)
        for (int i = 0; i < 3; ++i) t->center[i] = x.tctr->value[size_t(i)];
      if (x.twrp) {
        t->wrapModeWidth = LwobWrapMode(x.twrp->value[0]);
        t->wrapModeHeight = LwobWrapMode(x.twrp->value[1]);
      }
      if (x.tfp[0]) t->wrapWidth = x.tfp[0]->value;
      if (x.tfp[1]) t->wrapHeight = x.tfp[1]->value;
      if (x.timg && !x.timg->file.empty()) {
        t->imageName = Cut(x.timg->file);
        t->imageFlags |= TEXLAYER_IMAGE;
      }
      if (x.talp && !x.talp->file.empty()) {
        t->alphaImageName = Cut(x.talp->file);
        t->imageFlags |= TEXLAYER_ALPHA;
      }
      if (x.tref && !x.tref->value.empty()) {
        t->referenceName = Cut(x.tref->value);
        t->referenceFlags |= TEXLAYER_REFERENCE;
      }
    }
  }
}

ObjectStore& Store(ObjectDb* db) { return *db->store; }

// Parses the body when not yet parsed, then fills the record from it.
void Prepare(ObjectDb* db, EnvelopeCache& envelopes, const ObjSurface& surface, SurfaceAttributes& a) {
  if (db->format == 1) {
    a.format = 1;
    if (!a.lwob) {
      a.lwob = std::make_unique<LwobSurfChunks>();
      ParseLwobSurfBody(db, surface.raw.data(), surface.raw.size(), a.lwob.get());
    }
    FillFromLwob(*a.lwob, a);
  } else {
    a.format = 2;
    if (!a.lwo2) a.lwo2 = ParseSurfChunks(db, surface);
    if (a.lwo2) FillFromLwo2(db, envelopes, *a.lwo2, a);
  }
}

// Builds the record of every surface that has none yet, in one pass.
void BuildPending(ObjectDb* db) {
  EnvelopeCache envelopes(db);
  for (ObjSurface& s : Store(db).surfaces) {
    if (s.attributes) continue;
    try {
      auto a = std::make_unique<SurfaceAttributes>();
      a->name = s.name;
      a->surfaceId = s.id;
      a->time = db->time;
      Prepare(db, envelopes, s, *a);
      EvaluateEnvelopes(*a);
      s.attributes = a.release();
    } catch (const std::bad_alloc&) {
      SetError(db, ERR_MEMORY);
    }
  }
}

SurfaceAttributes* NewSurfaceAttributes(ObjectDb*, const char* name) {
  auto* a = new (std::nothrow) SurfaceAttributes;
  if (!a) return nullptr;
  try {
    char cut[kNameSize];
    CopyName(cut, name);
    a->name = cut;
  } catch (const std::bad_alloc&) {
    delete a;
    return nullptr;
  }
  return a;
}

SurfaceAttributes* GetSurfaceAttributes(ObjectDb* db, int surfaceId) {
  ObjSurface* s = db->ops.GetSurface(db, surfaceId);
  if (!s) return nullptr;
  if (!s->attributes) {
    BuildPending(db);
    return s->attributes;
  }
  s->attributes->surfaceId = s->id;  // SortSurfaces moves records between ids
  if (s->attributes->time != db->time) {
    s->attributes->time = db->time;
    EvaluateEnvelopes(*s->attributes);
  }
  return s->attributes;
}

int PrepareSurfaceAttributes(ObjectDb* db, int surfaceId, int channel) {
  SurfaceAttributes* a = GetSurfaceAttributes(db, surfaceId);
  if (!a || channel < 0 || channel >= 8) return 0;
  int n = 0;
  if (a->lwo2) {
    for (const SurfBlock& b : a->lwo2->blocks)
      if (b.header && b.header->channel && b.header->channel->channel == kChannelIds[channel]) ++n;
  } else if (a->lwob && channel < 7) {
    for (const LwobTexture& t : a->lwob->textures)
      if (t.id == kLwobTextureIds[channel]) ++n;
  }
  return n;
}

int FreeSurfaceAttributes(ObjectDb* db, SurfaceAttributes* record) {
  if (!record) return 0;
  ObjSurface* owner = db->ops.GetSurface(db, record->surfaceId);
  if (!owner || owner->attributes != record) {
    // SortSurfaces moves records between surfaces without renumbering them.
    owner = nullptr;
    for (ObjSurface& s : Store(db).surfaces)
      if (s.attributes == record) owner = &s;
  }
  if (owner) owner->attributes = nullptr;
  delete record;
  return 0;
}

TextureLayer* NewTextureLayer(ObjectDb* db, SurfaceAttributes* record) {
  if (!record) return nullptr;
  try {
    return AppendLayer(*record);
  } catch (const std::bad_alloc&) {
    SetError(db, ERR_MEMORY);
    return nullptr;
  }
}

TextureLayer* GetTextureLayer(ObjectDb*, SurfaceAttributes* record, int channel, int n) {
  if (!record || n < 0) return nullptr;
  for (auto& layer : record->layers)
    if (layer->channel == channel && n-- == 0) return layer.get();
  return nullptr;
}

// The surfaces' part of SelectTextureLayers.
void SelectSurfaceLayers(ObjectDb* db, int channel, int n) {
  for (ObjSurface& s : Store(db).surfaces) {
    SurfaceAttributes* a = channel ? GetSurfaceAttributes(db, s.id) : s.attributes;
    if (!a) continue;
    if (!channel)
      a->currentLayer = nullptr;
    else if (TextureLayer* t = GetTextureLayer(db, a, channel, n))
      a->currentLayer = t;
  }
}

// The polygons' part: with `clear`, a polygon without the channel is left
// with none current, else as it was. The polygons of `settled` are left out.
void SelectPolygonLayers(ObjectDb* db, int channel, int n, bool clear, const ObjLayer* settled = nullptr) {
  for (auto& layer : Store(db).layers) {
    if (layer.get() == settled) continue;
    for (auto& group : layer->groups)
      ForEachInParts(group.polygons, [channel, n, clear](ObjPolygon& p) {
        if (clear && p.currentChannel) p.currentChannel = nullptr;
        if (!channel) return;
        for (CornerChannel& c : p.channels)
          if (c.key == int16_t(channel) && c.key2 == int16_t(n)) {
            p.currentChannel = &c;
            break;
          }
      });
  }
}

int SelectTextureLayers(ObjectDb* db, int channel, int n) {
  SelectSurfaceLayers(db, channel, n);
  SelectPolygonLayers(db, channel, n, !channel);
  return 0;
}

}  // namespace

bool GetSurfaceSmoothing(ObjectDb* db, int surfaceId, double* angle) {
  SurfaceAttributes* a = db ? db->ops.GetSurfaceAttributes(db, surfaceId) : nullptr;
  if (!a || !(a->flags & SURF_SMOOTHING)) return false;
  if (angle) *angle = a->smoothingAngle;
  return true;
}

void InstallSurfaceOps(ObjectDbOps& o) {
  o.NewSurfaceAttributes = NewSurfaceAttributes;
  o.GetSurfaceAttributes = GetSurfaceAttributes;
  o.PrepareSurfaceAttributes = PrepareSurfaceAttributes;
  o.FreeSurfaceAttributes = FreeSurfaceAttributes;
  o.NewTextureLayer = NewTextureLayer;
  o.GetTextureLayer = GetTextureLayer;
  o.SelectTextureLayers = SelectTextureLayers;
}

void SelectFirstColorLayers(ObjectDb* db, const ObjLayer* settled) {
  SelectSurfaceLayers(db, 0, 0);
  SelectSurfaceLayers(db, TEX_COLR, 0);
  SelectPolygonLayers(db, TEX_COLR, 0, true, settled);
}
