#include "surface_convert.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

#include "clip_envelope.h"
#include "ops_internal.h"
#include "surface_pack.h"

namespace {

constexpr Id4 ID_IMAP = MakeId4("IMAP");
constexpr Id4 ID_PROC = MakeId4("PROC");
constexpr Id4 ID_SHDR = MakeId4("SHDR");
constexpr Id4 ID_CHAN = MakeId4("CHAN");
constexpr Id4 ID_BUMP = MakeId4("BUMP");
constexpr Id4 ID_SPEC = MakeId4("SPEC");
constexpr Id4 ID_LUMI = MakeId4("LUMI");
constexpr Id4 ID_REFL = MakeId4("REFL");
constexpr Id4 ID_TRAN = MakeId4("TRAN");

struct ChannelTexture {
  Id4 channel;
  Id4 texture;
};
constexpr ChannelTexture kChannels[] = {
    {ID_BUMP, MakeId4("BTEX")},         {MakeId4("COLR"), MakeId4("CTEX")},
    {MakeId4("DIFF"), MakeId4("DTEX")}, {ID_LUMI, MakeId4("LTEX")},
    {ID_REFL, MakeId4("RTEX")},         {ID_SPEC, MakeId4("STEX")},
    {ID_TRAN, MakeId4("TTEX")},
};

Id4 TextureOfChannel(Id4 channel) {
  for (const ChannelTexture& c : kChannels)
    if (c.channel == channel) return c.texture;
  return 0;
}

Id4 ChannelOfTexture(Id4 texture) {
  for (const ChannelTexture& c : kChannels)
    if (c.texture == texture) return c.channel;
  return 0;
}

// LWO2 projections 0..4 and the LWOB texture names that stand for them.
const char* const kProjectionNames[5] = {"Planar Image Map", "Cylindrical Image Map",
                                         "Spherical Image Map", "Cubic Image Map",
                                         "Front Projection Image Map"};

int ProjectionOfName(const std::string& name) {
  for (int i = 0; i < 5; ++i)
    if (name == kProjectionNames[i]) return i;
  return -1;
}

// Procedurals both layouts know. On the bump channel LWO2's "Fractal Noise"
// is LWOB's "Fractal Bumps".
const char* const kBumpProcedurals[] = {"Bump Array", "Crumple", "Ripples"};
const char* const kProcedurals[] = {"Checkerboard", "Crust", "Dots",       "Fractal Noise", "Grid",
                                    "Marble",       "Veins", "Underwater", "Wood"};

template <size_t N>
bool Listed(const char* const (&names)[N], const std::string& name) {
  for (const char* n : names)
    if (name == n) return true;
  return false;
}

// The procedural's name in the other layout; "" when it has none there.
std::string ProceduralName(Id4 channel, const std::string& name, bool toLwob) {
  if (channel == ID_BUMP) {
    if (name == (toLwob ? "Fractal Noise" : "Fractal Bumps"))
      return toLwob ? "Fractal Bumps" : "Fractal Noise";
    return Listed(kBumpProcedurals, name) ? name : std::string();
  }
  return Listed(kProcedurals, name) ? name : std::string();
}

// x * scale rounded (half up) into 0..max; NaN and negatives give 0.
uint32_t Scaled(double x, double scale, uint32_t max) {
  const double v = x * scale + 0.5;
  if (!(v >= 0)) return 0;
  if (v >= double(max)) return max;
  return uint32_t(v);
}

uint8_t ColorByte(float v) { return uint8_t(Scaled(v, 255, 255)); }

// LWOB glossiness is 2^(g * 10 + 2). Rounded rather than cut, so that the
// float error in g does not lose a whole step (0.7 would give 511).
uint16_t GlossToLwob(float g) {
  const double e = double(g) * 10 + 2;
  if (!(e == e)) return 0;
  if (e >= 16) return 0xFFFF;
  return uint16_t(Scaled(std::exp2(e), 1, 0xFFFF));
}

// (floor(log2 G) - 2) * 0.1; G = 0 has no logarithm and maps to 0, as do the
// values below 4 that would give a negative glossiness.
float GlossToLwo2(uint16_t g) {
  int log2 = -1;
  for (uint32_t v = g; v; v >>= 1) ++log2;
  return log2 <= 2 ? 0.0f : float((log2 - 2) * 0.1);
}

// Wrap modes. LWO2: 0 reset, 1 repeat, 2 mirror, 3 edge. LWOB: 0 black,
// 1 clamp, 2 repeat, 3 mirror. Unknown modes become repeat.
uint16_t WrapToLwob(uint16_t mode) {
  static const uint16_t map[4] = {0, 2, 3, 1};
  return mode < 4 ? map[mode] : 2;
}
uint16_t WrapToLwo2(uint16_t mode) {
  static const uint16_t map[4] = {0, 3, 1, 2};
  return mode < 4 ? map[mode] : 1;
}

template <typename T>
LwobSlot<T> Slot(T value) {
  return LwobValue<T>{0, std::move(value)};
}

std::string ClipNameOf(ObjectDb* db, uint32_t index) {
  if (!db || index == 0 || index > 0x7FFFFFFF) return std::string();
  std::optional<std::string> name = ClipName(db, int(index));
  return name ? *name : std::string();
}

std::optional<LwobImage> ImageOfClip(ObjectDb* db, uint32_t index) {
  std::string name = ClipNameOf(db, index);
  if (name.empty()) return std::nullopt;
  LwobImage image;
  image.file = std::move(name);
  return image;
}

uint32_t ClipIdOf(ObjectDb* db, const std::string& file) {
  if (!db || file.empty()) return 0;
  const int id = FindClipIdByName(db, file.c_str());
  return id > 0 ? uint32_t(id) : 0;
}

// ------------------------------------------------- procedural parameters

constexpr size_t kParamFields = 5;  // TIP0, TFP0, TFP1, TFP2, TFP3

std::vector<uint8_t> PackParameters(const LwobTexture& t) {
  const bool present[kParamFields] = {bool(t.tip[0]), bool(t.tfp[0]), bool(t.tfp[1]),
                                      bool(t.tfp[2]), bool(t.tfp[3])};
  size_t count = 0;
  for (size_t i = 0; i < kParamFields; ++i)
    if (present[i]) count = i + 1;
  ChunkBuffWriter w;
  if (count > 0) w.WriteU4(t.tip[0] ? t.tip[0]->value : 0);
  for (size_t i = 1; i < count; ++i) w.WriteF4(t.tfp[i - 1] ? t.tfp[i - 1]->value : 0.0f);
  return w.bytes;
}

void UnpackParameters(const std::vector<uint8_t>& data, LwobTexture& t) {
  ChunkBuff r(data.data(), data.size());
  const size_t count = std::min(kParamFields, data.size() / 4);
  for (size_t i = 0; i < count; ++i) {
    if (i == 0) {
      uint32_t v = 0;
      r.ReadU4(&v);
      t.tip[0] = Slot(uint16_t(std::min<uint32_t>(v, 0xFFFF)));
    } else {
      float v = 0;
      r.ReadF4(&v);
      t.tfp[i - 1] = Slot(v);
    }
  }
}

// ------------------------------------------------------------ LWO2 -> LWOB

void AddLwobTexture(ObjectDb* db, const SurfBlock& b, LwobSurfChunks& o) {
  if (b.type == ID_SHDR) {
    if (!b.function || o.shaders.size() >= LwobSurfChunks::kMaxEntries) return;
    LwobShader shader;
    shader.name = b.function->name;
    shader.data = Slot(b.function->data);
    o.shaders.push_back(std::move(shader));
    return;
  }
  if (b.type != ID_IMAP && b.type != ID_PROC) return;  // gradients have no counterpart
  if (!b.header || !b.header->channel) return;
  const Id4 channel = b.header->channel->channel;
  LwobTexture t;
  t.id = TextureOfChannel(channel);
  if (!t.id || o.textures.size() >= LwobSurfChunks::kMaxEntries) return;

  if (b.type == ID_IMAP) {
    const int projection = b.projection ? b.projection->value : 0;
    if (projection > 4) return;  // UV maps, and values no layout knows
    t.type = kProjectionNames[projection];
    if (b.wrapWidth) t.tfp[0] = Slot(b.wrapWidth->value);
    if (b.wrapHeight) t.tfp[1] = Slot(b.wrapHeight->value);
    if (b.image)
      if (std::optional<LwobImage> image = ImageOfClip(db, b.image->index)) t.timg = image;
    if (b.wrap)
      t.twrp = Slot(std::array<uint16_t, 2>{WrapToLwob(b.wrap->width), WrapToLwob(b.wrap->height)});
  } else {
    if (!b.function) return;
    t.type = ProceduralName(channel, b.function->name, true);
    if (t.type.empty()) return;
    UnpackParameters(b.function->data, t);
  }

  // FLAG's low bits shifted by three overlap the world-coordinates (8),
  // pixel-blending (0x20) and antialiasing (0x40) bits; kept as LWOB has them.
  uint16_t flags = uint16_t(((b.flags ? b.flags->value : 0) & 0xF) * 8);
  if (b.antialias && b.antialias->value > 0) flags |= 0x40;
  if (b.pixelBlend && b.pixelBlend->value != 0) flags |= 0x20;
  if (b.tmap && b.tmap->coordSystem && b.tmap->coordSystem->value != 0) flags |= 8;
  const uint16_t axis = b.axis ? b.axis->value : 0;
  flags |= axis == 1 ? 2 : axis == 2 ? 4 : 1;
  t.tflg = Slot(flags);

  if (b.tmap) {
    const BlockTmap& m = *b.tmap;
    if (m.center)
      t.tctr = Slot(LwobVec3{m.center->value[0], m.center->value[1], m.center->value[2]});
    if (m.size) t.tsiz = Slot(LwobVec3{m.size->value[0], m.size->value[1], m.size->value[2]});
    if (m.falloff)
      t.tfal = Slot(LwobVec3{m.falloff->vector[0], m.falloff->vector[1], m.falloff->vector[2]});
    if (m.reference && !m.reference->text.empty()) t.tref = Slot(m.reference->text);
  }
  if (b.antialias) t.taas = Slot(b.antialias->value);
  if (b.header->opacity) t.topc = Slot(b.header->opacity->opacity);
  if (b.value && b.value->count == 3) {
    t.tclr = Slot(std::array<uint8_t, 4>{ColorByte(b.value->value[0]), ColorByte(b.value->value[1]),
                                         ColorByte(b.value->value[2]), 0});
  } else if (b.value && b.value->count > 0) {
    t.tval = Slot(uint16_t(Scaled(b.value->value[0], 256, 0xFFFF)));
  }
  o.textures.push_back(std::move(t));
}

// ------------------------------------------------------------ LWOB -> LWO2

SurfValue Value(float v) {
  SurfValue s;
  s.value = v;
  return s;
}

SurfVector Vector(float x, float y, float z) {
  SurfVector s;
  s.value[0] = x;
  s.value[1] = y;
  s.value[2] = z;
  return s;
}

SurfVector Vector(const LwobVec3& v) { return Vector(v[0], v[1], v[2]); }

SurfWord Word(uint16_t v) {
  SurfWord s;
  s.value = v;
  return s;
}

// Block ordinals sort the blocks in file order: "\x80", "\x81", ... and
// after "\xFE", "\xFF\x80" and so on.
std::string Ordinal(size_t n) {
  std::string s(n / 127, '\xFF');
  s += char(0x80 + n % 127);
  return s;
}

// A missing level that a texture of its channel modulates gets its base
// value first.
void AddBaseValue(Id4 channel, SurfChunks& s) {
  if (channel == ID_BUMP && !s.bump) s.bump = Value(1.0f);
  if (channel == ID_SPEC && !s.specular) s.specular = Value(0.0f);
  if (channel == ID_LUMI && !s.luminosity) s.luminosity = Value(0.0f);
  if (channel == ID_REFL && !s.reflection) s.reflection = Value(0.0f);
  if (channel == ID_TRAN && !s.transparency) s.transparency = Value(0.0f);
}

void AddLwo2Block(ObjectDb* db, const LwobTexture& t, SurfChunks& s) {
  const Id4 channel = ChannelOfTexture(t.id);
  if (!channel || s.blocks.size() >= kMaxSurfBlocks) return;
  const int projection = ProjectionOfName(t.type);
  std::string procedural;
  if (projection < 0) {
    procedural = ProceduralName(channel, t.type, false);
    if (procedural.empty()) return;
  }
  AddBaseValue(channel, s);

  SurfBlock b;
  b.type = projection >= 0 ? ID_IMAP : ID_PROC;
  BlockHeader& h = b.header.emplace();
  h.ordinal = Ordinal(s.blocks.size());
  h.channel = BlockChannel{0, ID_CHAN, channel};
  h.opacity = BlockOpacity{0, 0, t.topc ? t.topc->value : 1.0f, 0};

  const uint16_t flags = t.tflg ? t.tflg->value : 0;
  if (flags & 1)
    b.axis = Word(0);
  else if (flags & 2)
    b.axis = Word(1);
  else if (flags & 4)
    b.axis = Word(2);
  if (flags & 32) b.pixelBlend = Word(1);
  if (t.tref || t.tsiz || t.tctr || t.tfal || (flags & 8)) {
    BlockTmap& m = b.tmap.emplace();
    m.size = Vector(1, 1, 1);
    if (t.tsiz) m.size = Vector(t.tsiz->value);
    if (t.tctr) m.center = Vector(t.tctr->value);
    if (t.tfal)
      m.falloff = BlockFalloff{0, 0, {t.tfal->value[0], t.tfal->value[1], t.tfal->value[2]}, 0};
    if (t.tref) m.reference = SurfText{0, t.tref->value};
    if (flags & 8) m.coordSystem = Word(1);
  }

  if (projection >= 0) {
    b.projection = Word(uint16_t(projection));
    b.wrapWidth = Value(t.tfp[0] ? t.tfp[0]->value : 1.0f);
    b.wrapHeight = Value(t.tfp[1] ? t.tfp[1]->value : 1.0f);
    if (t.timg)
      if (uint32_t clip = ClipIdOf(db, t.timg->file)) b.image = SurfIndex{0, clip};
    if (t.twrp) b.wrap = BlockWrap{0, WrapToLwo2(t.twrp->value[0]), WrapToLwo2(t.twrp->value[1])};
  } else {
    b.function = BlockFunction{0, procedural, PackParameters(t)};
  }
  b.antialias = BlockWordFloat{0, 1, t.taas ? t.taas->value : 1.0f};
  if (t.tclr) {
    BlockValues& v = b.value.emplace();
    v.count = 3;
    for (int i = 0; i < 3; ++i) v.value[i] = t.tclr->value[size_t(i)] / 255.0f;
  } else if (t.tval) {
    BlockValues& v = b.value.emplace();
    v.count = 1;
    v.value[0] = t.tval->value / 255.0f;
  }
  s.blocks.push_back(std::move(b));
}

void AddShaderBlock(const LwobShader& shader, SurfChunks& s) {
  if (s.blocks.size() >= kMaxSurfBlocks) return;
  SurfBlock b;
  b.type = ID_SHDR;
  b.header.emplace().ordinal = Ordinal(s.blocks.size());
  b.function =
      BlockFunction{0, shader.name, shader.data ? shader.data->value : std::vector<uint8_t>()};
  s.blocks.push_back(std::move(b));
}

// The reflection and texture image files of an LWOB surface body.
std::vector<std::string> ConvertedImageFiles(const LwobSurfChunks& s) {
  std::vector<std::string> files;
  if (s.rimg && !s.rimg->file.empty()) files.push_back(s.rimg->file);
  for (const LwobTexture& t : s.textures)
    if (t.timg && !t.timg->file.empty() && ProjectionOfName(t.type) >= 0)
      files.push_back(t.timg->file);
  return files;
}

}  // namespace

const uint8_t* ConvertedSurface::Data() const {
  if (converted) return body.data();
  return surface ? surface->raw.data() : nullptr;
}

size_t ConvertedSurface::Size() const {
  if (converted) return body.size();
  return surface ? surface->raw.size() : 0;
}

LwobSurfChunks ConvertToLwob(ObjectDb* db, const SurfChunks& s) {
  LwobSurfChunks o;
  std::array<uint8_t, 4> color = {200, 200, 200, 0};
  if (s.color)
    color = {ColorByte(s.color->value[0]), ColorByte(s.color->value[1]),
             ColorByte(s.color->value[2]), 0};
  o.colr = Slot(color);

  auto atLeastHalf = [](const std::optional<SurfValue>& v) { return v && v->value >= 0.5f; };
  uint16_t flag = 0;
  if (s.luminosity) flag |= 1;
  if (s.line) flag |= 2;
  if (s.smoothing && s.smoothing->value > 0) flag |= 4;
  if (atLeastHalf(s.colorHighlights)) flag |= 8;
  if (atLeastHalf(s.colorFilter)) flag |= 16;
  if (atLeastHalf(s.sharpness)) flag |= 128;
  if (s.sidedness && s.sidedness->value == 3) flag |= 256;
  if (atLeastHalf(s.additive)) flag |= 512;
  o.flag = Slot(flag);

  if (s.luminosity) o.vlum = Slot(s.luminosity->value);
  o.vdif = Slot(s.diffuse ? s.diffuse->value : 1.0f);
  if (s.specular) o.vspc = Slot(s.specular->value);
  if (s.reflection) o.vrfl = Slot(s.reflection->value);
  if (s.transparency) o.vtrn = Slot(s.transparency->value);
  if (s.glossiness) o.glos = Slot(GlossToLwob(s.glossiness->value));
  if (s.reflectionOptions) o.rflt = Slot(s.reflectionOptions->value);
  if (s.smoothing) o.sman = Slot(s.smoothing->value);
  if (s.reflectionImage) o.rimg = ImageOfClip(db, s.reflectionImage->index);
  if (s.reflectionSeam) o.rsan = Slot(s.reflectionSeam->value);
  if (s.refractiveIndex) o.rind = Slot(s.refractiveIndex->value);
  if (s.glow) o.glow = Slot(s.glow->intensity);
  if (s.alpha)
    o.alph =
        Slot(std::array<uint16_t, 2>{s.alpha->mode, uint16_t(Scaled(s.alpha->value, 255, 255))});
  for (const SurfBlock& b : s.blocks) AddLwobTexture(db, b, o);
  SizeLwobSurfChunks(o);
  return o;
}

SurfChunks ConvertToLwo2(ObjectDb* db, const LwobSurfChunks& o) {
  SurfChunks s;
  s.color = o.colr ? Vector(o.colr->value[0] / 255.0f, o.colr->value[1] / 255.0f,
                            o.colr->value[2] / 255.0f)
                   : Vector(0.78f, 0.78f, 0.78f);
  const uint16_t flag = o.flag ? o.flag->value : 0;
  if (flag & 128) s.sharpness = Value(0.5f);
  s.sidedness = Word(flag & 256 ? 3 : 1);
  if (flag & 8) s.colorHighlights = Value(0.5f);
  if (flag & 16) s.colorFilter = Value(0.5f);
  if (flag & 512) s.additive = Value(0.5f);
  if (flag & 2) {
    SurfLine& line = s.line.emplace();
    line.flags = 1;
    line.size = 1.0f;
    line.color[0] = line.color[1] = line.color[2] = 0.78f;
  }

  // Each level from its float form, else from its 8.8 fixed-point form.
  auto level = [](const LwobSlot<float>& f,
                  const LwobSlot<uint16_t>& fixed) -> std::optional<SurfValue> {
    if (f) return Value(f->value);
    if (fixed) return Value(fixed->value / 256.0f);
    return std::nullopt;
  };
  s.diffuse = level(o.vdif, o.diff);
  if (!s.diffuse) s.diffuse = Value(1.0f);
  s.luminosity = level(o.vlum, o.lumi);
  s.specular = level(o.vspc, o.spec);
  if (!s.specular && o.glos) s.specular = Value(0.0f);
  s.reflection = level(o.vrfl, o.refl);
  s.transparency = level(o.vtrn, o.tran);
  if (o.glos) s.glossiness = Value(GlossToLwo2(o.glos->value));
  if (o.rflt) s.reflectionOptions = Word(o.rflt->value);
  if (o.rimg)
    if (uint32_t clip = ClipIdOf(db, o.rimg->file)) s.reflectionImage = SurfIndex{0, clip};
  if (o.rsan) s.reflectionSeam = Value(o.rsan->value);
  if (o.rind) s.refractiveIndex = Value(o.rind->value);
  if (o.sman) s.smoothing = SurfFloat{0, o.sman->value};
  if (o.glow) s.glowValue = Value(o.glow->value);
  if (o.alph) s.alpha = SurfAlpha{0, o.alph->value[0], o.alph->value[1] / 255.0f};
  for (const LwobTexture& t : o.textures) AddLwo2Block(db, t, s);
  for (const LwobShader& shader : o.shaders) AddShaderBlock(shader, s);
  SizeSurfChunks(s);
  return s;
}

int ConvertSurface(ObjectDb* db, const ObjSurface& surface, int format, ConvertedSurface* out) {
  if (!db || !out || (format != 1 && format != 2)) return ERR_PARAM;
  *out = ConvertedSurface();
  out->surface = &surface;
  const int loaded = db->format;
  if (loaded == format || (loaded != 1 && loaded != 2)) return 0;
  try {
    ChunkBuffWriter packed;
    int status;
    if (format == 1) {
      std::unique_ptr<SurfChunks> parsed = ParseSurfChunks(db, surface);
      if (!parsed) return ERR_MEMORY;
      status = PackLwobSurfChunks(db, packed, ConvertToLwob(db, *parsed));
    } else {
      LwobSurfChunks parsed = ParseLwobSurfBody(db, surface.raw.data(), surface.raw.size());
      status = PackSurfChunks(db, packed, ConvertToLwo2(db, parsed));
    }
    if (status != 0) return status;
    out->body = std::move(packed.bytes);
    out->converted = true;
    return 0;
  } catch (const std::bad_alloc&) {
    return ERR_MEMORY;
  }
}

int AddConversionClips(ObjectDb* db) {
  if (!db || db->format != 1) return 0;
  int added = 0;
  LwobSurfChunks parsed;
  const int count = db->ops.GetSurfaceCount(db);
  for (int i = 0; i < count; ++i) {
    const ObjSurface* surface = db->ops.GetSurface(db, i);
    if (!surface || surface->raw.empty()) continue;
    ParseLwobSurfBody(nullptr, surface->raw.data(), surface->raw.size(), &parsed);
    for (const std::string& file : ConvertedImageFiles(parsed))
      if (FindClipIdByName(db, file.c_str()) == 0 && AddClipFromPath(db, file.c_str()) != 0)
        ++added;
  }
  return added;
}
