#include "surface_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "clip_envelope.h"
#include "lwob_surface.h"
#include "objectdb.h"
#include "surface_chunks.h"
#include "surface_pack.h"
#include "test_support.h"

namespace {

constexpr Id4 ID_IMAP = MakeId4("IMAP");
constexpr Id4 ID_PROC = MakeId4("PROC");
constexpr Id4 ID_GRAD = MakeId4("GRAD");
constexpr Id4 ID_SHDR = MakeId4("SHDR");

struct Db {
  ObjectDb* db = CreateObjectDb(0);
  ~Db() { CloseObjectDb(&db); }
  operator ObjectDb*() const { return db; }
};

SurfValue V(float v) { return SurfValue{0, v, 0}; }
SurfWord W(uint16_t v) { return SurfWord{0, v}; }
SurfVector Vec(float x, float y, float z) { return SurfVector{0, {x, y, z}, 0}; }

SurfBlock Block(Id4 type, const char* channel) {
  SurfBlock b;
  b.type = type;
  b.header.emplace().ordinal = "\x80";
  b.header->channel =
      BlockChannel{0, MakeId4("CHAN"), MakeId4(channel[0], channel[1], channel[2], channel[3])};
  return b;
}

std::vector<uint8_t> Params(uint32_t tip0, float tfp0, float tfp1) {
  return Body().U4(tip0).F4(tfp0).F4(tfp1);
}

TEST(ConvertSurface, Lwo2ToLwobAndBackKeepsListedFields) {
  Db db;
  const int sky = AddClipFromPath(db, "sky.tga");
  const int wood = AddClipFromPath(db, "maps\\wood.tga");

  SurfChunks s;
  s.color = Vec(0.2f, 0.4f, 0.6f);
  s.diffuse = V(0.8f);
  s.luminosity = V(0.25f);
  s.specular = V(0.5f);
  s.reflection = V(0.1f);
  s.transparency = V(0.3f);
  s.glossiness = V(0.7f);
  s.smoothing = SurfFloat{0, 1.0f};
  s.reflectionOptions = W(2);
  s.sidedness = W(3);
  s.sharpness = V(0.6f);
  s.colorHighlights = V(0.5f);
  s.colorFilter = V(0.7f);
  s.additive = V(0.9f);
  s.line.emplace().flags = 1;
  s.reflectionImage = SurfIndex{0, uint32_t(sky)};
  s.reflectionSeam = V(0.5f);
  s.refractiveIndex = V(1.5f);
  s.alpha = SurfAlpha{0, 1, 0.5f};

  SurfBlock image = Block(ID_IMAP, "COLR");
  image.header->opacity = BlockOpacity{0, 0, 0.75f, 0};
  image.projection = W(1);
  image.axis = W(1);
  BlockTmap& m = image.tmap.emplace();
  m.center = Vec(1, 2, 3);
  m.size = Vec(4, 5, 6);
  m.falloff = BlockFalloff{0, 0, {0.5f, 0, 0}, 0};
  m.reference = SurfText{0, "Null"};
  m.coordSystem = W(1);
  image.image = SurfIndex{0, uint32_t(wood)};
  image.wrap = BlockWrap{0, 1, 3};
  image.wrapWidth = V(2);
  image.wrapHeight = V(3);
  image.antialias = BlockWordFloat{0, 1, 0.5f};
  image.pixelBlend = W(1);
  image.value = BlockValues{0, 3, {0.2f, 0.4f, 1.0f}};
  s.blocks.push_back(image);

  SurfBlock noise = Block(ID_PROC, "BUMP");
  noise.function = BlockFunction{0, "Fractal Noise", Params(3, 0.5f, 0.25f)};
  noise.value = BlockValues{0, 1, {0.5f, 0, 0}};
  s.blocks.push_back(noise);

  SurfBlock shader;
  shader.type = ID_SHDR;
  shader.header.emplace().ordinal = "\x80";
  shader.function = BlockFunction{0, "Cel", {1, 2, 3}};
  s.blocks.push_back(shader);

  const LwobSurfChunks o = ConvertToLwob(db, s);
  ASSERT_TRUE(o.colr && o.flag && o.glos);
  EXPECT_EQ(o.colr->value, (std::array<uint8_t, 4>{51, 102, 153, 0}));
  EXPECT_EQ(o.flag->value, 1 | 2 | 4 | 8 | 16 | 128 | 256 | 512);
  EXPECT_EQ(o.glos->value, 512);  // 2^9, not 511 from the float error in 0.7
  ASSERT_TRUE(o.rimg);
  EXPECT_EQ(o.rimg->file, "sky.tga");
  ASSERT_EQ(o.textures.size(), 2u);
  EXPECT_EQ(o.textures[0].type, "Cylindrical Image Map");
  EXPECT_EQ(o.textures[0].tflg->value, 0x40 | 0x20 | 8 | 2);
  EXPECT_EQ(o.textures[0].twrp->value, (std::array<uint16_t, 2>{2, 1}));
  EXPECT_EQ(o.textures[1].id, MakeId4("BTEX"));
  EXPECT_EQ(o.textures[1].type, "Fractal Bumps");
  EXPECT_EQ(o.textures[1].tval->value, 128);
  ASSERT_EQ(o.shaders.size(), 1u);

  const SurfChunks r = ConvertToLwo2(db, o);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(r.color->value[i], s.color->value[i], 0.5 / 255);
  for (auto level : {&SurfChunks::diffuse, &SurfChunks::luminosity, &SurfChunks::specular,
                     &SurfChunks::reflection, &SurfChunks::transparency,
                     &SurfChunks::reflectionSeam, &SurfChunks::refractiveIndex})
    EXPECT_EQ((r.*level)->value, (s.*level)->value);
  EXPECT_NEAR(r.glossiness->value, 0.7f, 1e-6);
  EXPECT_EQ(r.smoothing->value, 1.0f);
  EXPECT_EQ(r.reflectionOptions->value, 2);
  EXPECT_EQ(r.sidedness->value, 3);
  EXPECT_TRUE(r.sharpness && r.colorHighlights && r.colorFilter && r.additive && r.line);
  EXPECT_EQ(r.reflectionImage->index, uint32_t(sky));
  EXPECT_EQ(r.alpha->mode, 1);
  EXPECT_NEAR(r.alpha->value, 0.5, 1.0 / 255);

  ASSERT_EQ(r.blocks.size(), 3u);
  const SurfBlock& ri = r.blocks[0];
  EXPECT_EQ(ri.type, ID_IMAP);
  EXPECT_EQ(ri.header->channel->channel, MakeId4("COLR"));
  EXPECT_EQ(ri.header->opacity->opacity, 0.75f);
  EXPECT_EQ(ri.projection->value, 1);
  EXPECT_EQ(ri.axis->value, 1);
  EXPECT_EQ(ri.tmap->center->value[2], 3.0f);
  EXPECT_EQ(ri.tmap->size->value[0], 4.0f);
  EXPECT_EQ(ri.tmap->falloff->vector[0], 0.5f);
  EXPECT_EQ(ri.tmap->reference->text, "Null");
  EXPECT_EQ(ri.tmap->coordSystem->value, 1);
  EXPECT_EQ(ri.image->index, uint32_t(wood));
  EXPECT_EQ(std::make_pair(ri.wrap->width, ri.wrap->height),
            std::make_pair(uint16_t(1), uint16_t(3)));
  EXPECT_EQ(std::make_pair(ri.wrapWidth->value, ri.wrapHeight->value), std::make_pair(2.0f, 3.0f));
  EXPECT_EQ(ri.antialias->value, 0.5f);
  EXPECT_EQ(ri.pixelBlend->value, 1);
  EXPECT_NEAR(ri.value->value[2], 1.0, 1e-6);

  const SurfBlock& rp = r.blocks[1];
  EXPECT_EQ(rp.type, ID_PROC);
  EXPECT_EQ(rp.function->name, "Fractal Noise");
  EXPECT_EQ(rp.function->data, noise.function->data);
  EXPECT_NEAR(rp.value->value[0], 0.5, 0.01);  // x 256 out, / 255 back
  EXPECT_EQ(r.bump->value, 1.0f);              // the base value a bump texture needs

  EXPECT_EQ(r.blocks[2].type, ID_SHDR);
  EXPECT_EQ(r.blocks[2].function->name, "Cel");
  EXPECT_EQ(r.blocks[2].function->data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_LT(r.blocks[0].header->ordinal, r.blocks[1].header->ordinal);
}

TEST(ConvertSurface, ClampsValuesTheTargetCannotHold) {
  auto toLwob = [](auto&& edit) {
    SurfChunks s;
    edit(s);
    return ConvertToLwob(nullptr, s);
  };
  EXPECT_EQ(toLwob([](SurfChunks& s) { s.color = Vec(1.5f, -0.2f, 0.5f); }).colr->value,
            (std::array<uint8_t, 4>{255, 0, 128, 0}));
  EXPECT_EQ(toLwob([](SurfChunks&) {}).colr->value, (std::array<uint8_t, 4>{200, 200, 200, 0}));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (auto [g, want] : std::vector<std::pair<float, int>>{
           {1.4f, 65535}, {1e30f, 65535}, {nan, 0}, {-5.0f, 0}, {0, 4}})
    EXPECT_EQ(toLwob([g = g](SurfChunks& s) { s.glossiness = V(g); }).glos->value, want) << g;
  EXPECT_EQ(toLwob([](SurfChunks& s) {
              s.alpha = SurfAlpha{0, 2, 2.0f};
            }).alph->value,
            (std::array<uint16_t, 2>{2, 255}));
  for (auto [v, want] : std::vector<std::pair<float, int>>{{300.0f, 65535}, {-1.0f, 0}, {nan, 0}}) {
    LwobSurfChunks o = toLwob([v = v](SurfChunks& s) {
      SurfBlock b = Block(ID_PROC, "COLR");
      b.function = BlockFunction{0, "Dots", {}};
      b.value = BlockValues{0, 1, {v, 0, 0}};
      s.blocks.push_back(b);
    });
    ASSERT_EQ(o.textures.size(), 1u);
    EXPECT_EQ(o.textures[0].tval->value, want) << v;
  }

  // LWOB glossiness 0 has no logarithm; small values give no negative gloss.
  for (auto [g, want] :
       std::vector<std::pair<uint16_t, float>>{{0, 0}, {1, 0}, {4, 0}, {64, 0.4f}, {65535, 1.3f}}) {
    LwobSurfChunks o;
    o.glos = LwobValue<uint16_t>{2, g};
    SurfChunks r = ConvertToLwo2(nullptr, o);
    EXPECT_TRUE(std::isfinite(r.glossiness->value));
    EXPECT_NEAR(r.glossiness->value, want, 1e-6) << g;
    EXPECT_EQ(r.specular->value, 0.0f);  // only GLOS present
  }
  const SurfChunks bare = ConvertToLwo2(nullptr, LwobSurfChunks());
  EXPECT_EQ(bare.color->value[0], 0.78f);
  EXPECT_EQ(bare.sidedness->value, 1);
  EXPECT_EQ(bare.diffuse->value, 1.0f);
}

TEST(ConvertSurface, ValuesOutsideTheTables) {
  SurfChunks s;
  SurfBlock odd = Block(ID_IMAP, "DIFF");
  odd.projection = W(9);
  s.blocks.push_back(odd);
  SurfBlock uv = odd;
  uv.projection = W(5);
  s.blocks.push_back(uv);
  SurfBlock planar = Block(ID_IMAP, "DIFF");
  planar.projection = W(0);
  planar.axis = W(5);
  planar.wrap = BlockWrap{0, 7, 2};
  s.blocks.push_back(planar);
  const LwobSurfChunks o = ConvertToLwob(nullptr, s);
  ASSERT_EQ(o.textures.size(), 1u);                                       // PROJ 9 and UV dropped
  EXPECT_EQ(o.textures[0].tflg->value, 1);                                // AXIS 5 taken as X
  EXPECT_EQ(o.textures[0].twrp->value, (std::array<uint16_t, 2>{2, 3}));  // 7 -> repeat

  LwobSurfChunks b;
  LwobTexture t;
  t.id = MakeId4("DTEX");
  t.type = "Planar Image Map";
  t.twrp = LwobValue<std::array<uint16_t, 2>>{4, {7, 1}};
  t.tflg = LwobValue<uint16_t>{2, 0};
  b.textures.push_back(t);
  const SurfChunks r = ConvertToLwo2(nullptr, b);
  ASSERT_EQ(r.blocks.size(), 1u);
  EXPECT_EQ(r.blocks[0].wrap->width, 1);  // repeat
  EXPECT_EQ(r.blocks[0].wrap->height, 3);
  EXPECT_FALSE(r.blocks[0].axis);
  EXPECT_FALSE(r.blocks[0].tmap);
}

TEST(ConvertSurface, BlocksWithoutCounterpartAreDropped) {
  SurfChunks s;
  s.blocks.push_back(Block(ID_GRAD, "COLR"));
  SurfBlock translucency = Block(ID_IMAP, "TRNL");
  translucency.projection = W(0);
  s.blocks.push_back(translucency);
  for (auto [channel, name] : std::vector<std::pair<const char*, const char*>>{
           {"COLR", "Turbulence"}, {"COLR", "Crumple"}, {"BUMP", "Crumple"}, {"SPEC", "Wood"}}) {
    SurfBlock p = Block(ID_PROC, channel);
    p.function = BlockFunction{0, name, {}};
    s.blocks.push_back(p);
  }
  const LwobSurfChunks o = ConvertToLwob(nullptr, s);
  ASSERT_EQ(o.textures.size(), 2u);
  EXPECT_EQ(o.textures[0].id, MakeId4("BTEX"));
  EXPECT_EQ(o.textures[0].type, "Crumple");
  EXPECT_EQ(o.textures[1].id, MakeId4("STEX"));

  LwobSurfChunks b;
  for (auto [id, type] : std::vector<std::pair<const char*, const char*>>{{"BTEX", "Fractal Bumps"},
                                                                          {"CTEX", "Fractal Bumps"},
                                                                          {"CTEX", "UV Map"},
                                                                          {"XTEX", "Dots"}}) {
    LwobTexture t;
    t.id = MakeId4(id[0], id[1], id[2], id[3]);
    t.type = type;
    b.textures.push_back(t);
  }
  const SurfChunks r = ConvertToLwo2(nullptr, b);
  ASSERT_EQ(r.blocks.size(), 1u);
  EXPECT_EQ(r.blocks[0].function->name, "Fractal Noise");
  EXPECT_TRUE(r.blocks[0].function->data.empty());
}

// Packing a parsed body and parsing it again gives the same record.
void ExpectStablePacking(ObjectDb* db, const ObjSurface& surface) {
  SCOPED_TRACE(surface.name);
  if (db->format == 2) {
    std::unique_ptr<SurfChunks> parsed = ParseSurfChunks(nullptr, surface);
    ChunkBuffWriter first, second;
    ASSERT_EQ(PackSurfChunks(nullptr, first, *parsed), 0);
    bool oddData = false;
    for (const SurfBlock& b : parsed->blocks)
      oddData = oddData || (b.function && (b.function->data.size() & 1));
    if (!oddData) {
      EXPECT_EQ(int64_t(first.Count()), SizeSurfChunks(*parsed));
    }
    std::unique_ptr<SurfChunks> again = ParseSurfChunks(nullptr, first.bytes.data(), first.Count());
    ASSERT_EQ(PackSurfChunks(nullptr, second, *again), 0);
    EXPECT_EQ(first.bytes, second.bytes);
  } else {
    LwobSurfChunks parsed = ParseLwobSurfBody(nullptr, surface.raw.data(), surface.raw.size());
    ChunkBuffWriter first, second;
    ASSERT_EQ(PackLwobSurfChunks(nullptr, first, parsed), 0);
    EXPECT_EQ(first.Count(), SizeLwobSurfChunks(parsed));
    LwobSurfChunks again = ParseLwobSurfBody(nullptr, first.bytes.data(), first.Count());
    ASSERT_EQ(PackLwobSurfChunks(nullptr, second, again), 0);
    EXPECT_EQ(first.bytes, second.bytes);
  }
}

TEST(ConvertSurface, PackedBodiesParseBackToTheSameRecord) {
  int surfaces = 0;
  for (const std::string& f : FilesUnder(CorpusPath(""), ".lwo")) {
    ObjectDb* db = OpenObjectDb(f.c_str(), nullptr);
    if (!db) continue;
    for (const ObjSurface& s : db->store->surfaces) {
      ExpectStablePacking(db, s);
      ++surfaces;
    }
    CloseObjectDb(&db);
  }
  if (surfaces == 0) GTEST_SKIP() << "corpus not present";
}

TEST(ConvertSurface, StoredBodiesAndImageReferences) {
  IffBuilder f("LWOB");
  f.Chunk("PNTS", Body().Vec(0, 0, 0)).Chunk("SRFS", Body().S0("Glass"));
  f.Chunk("SURF",
          Body().S0("Glass").Sub("RIMG", Body().S0("env.tga")).Sub("VTRN", Body().F4(0.9f)));
  const std::vector<uint8_t> bytes = f.Bytes();
  Db db;
  ASSERT_EQ(LoadObjectFromMemory(db, bytes.data(), bytes.size(), 1, nullptr), 0);
  const ObjSurface& glass = *db.db->ops.GetSurface(db, 0);

  ConvertedSurface same;
  ASSERT_EQ(ConvertSurface(db, glass, 1, &same), 0);
  EXPECT_FALSE(same.converted);
  EXPECT_EQ(same.Data(), glass.raw.data());
  EXPECT_EQ(ConvertSurface(db, glass, 3, &same), ERR_PARAM);

  ConvertedSurface lwo2;
  ASSERT_EQ(ConvertSurface(db, glass, 2, &lwo2), 0);
  ASSERT_TRUE(lwo2.converted);
  std::unique_ptr<SurfChunks> parsed = ParseSurfChunks(nullptr, lwo2.Data(), lwo2.Size());
  EXPECT_EQ(parsed->transparency->value, 0.9f);
  EXPECT_EQ(parsed->reflectionImage->index, uint32_t(FindClipIdByName(db, "env.tga")));

  // Without a clip of that name the reference is left out; converting never
  // adds one, AddConversionClips does.
  db.db->ops.FreeClips(db);
  ASSERT_EQ(ConvertSurface(db, glass, 2, &lwo2), 0);
  EXPECT_FALSE(ParseSurfChunks(nullptr, lwo2.Data(), lwo2.Size())->reflectionImage);
  EXPECT_EQ(db.db->ops.GetClipCount(db), 0);
  EXPECT_EQ(AddConversionClips(db), 1);
  EXPECT_EQ(AddConversionClips(db), 0);
}

TEST(ConvertSurface, RefusesSubChunksOverSixteenBits) {
  SurfChunks s;
  SurfBlock shader;
  shader.type = ID_SHDR;
  shader.header.emplace();
  shader.function = BlockFunction{0, "Big", std::vector<uint8_t>(65535, 7)};
  s.blocks.push_back(shader);
  ChunkBuffWriter out;
  EXPECT_EQ(PackSurfChunks(nullptr, out, s), ERR_BAD_FORMAT);
  s.blocks[0].function->data.resize(65000);
  ChunkBuffWriter fits;
  EXPECT_EQ(PackSurfChunks(nullptr, fits, s), 0);
}

}  // namespace
