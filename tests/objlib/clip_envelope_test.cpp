#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "clip_envelope.h"
#include "objectdb.h"
#include "test_support.h"

namespace {

struct Db {
  ObjectDb* db = CreateObjectDb(0);
  Db() { db->logFile = tmpfile(); }
  ~Db() {
    fclose(db->logFile);
    db->logFile = nullptr;
    CloseObjectDb(&db);
  }
  std::string Log() const {
    std::string text(1 << 16, '\0');
    rewind(db->logFile);
    text.resize(fread(&text[0], 1, text.size(), db->logFile));
    return text;
  }
  // Adds a clip with that id and body and derives its name, as the reader does.
  void AddClip(int id, const std::vector<uint8_t>& body) {
    int ordinal = db->ops.AddClip(db, id);
    db->ops.SetClipData(db, ordinal, int(body.size()), body.data());
    DeriveClipName(db, ordinal);
  }
};

// ------------------------------------------------------------------- clips

TEST(ClipPaths, PortableAndLocalForms) {
  struct Case {
    const char* in;
    const char* portable;
    const char* local;
  };
  const Case cases[] = {
      {"D:\\dir\\file.tga", "D:dir/file.tga", "D:\\dir\\file.tga"},
      {"D:dir/file.tga", "D:dir/file.tga", "D:\\dir\\file.tga"},
      {"images\\sign\\BG.jpg", "images/sign/BG.jpg", "images\\sign\\BG.jpg"},
      {"C:/x/y", "C:/x/y", "C:\\x\\y"},
      {"plain.png", "plain.png", "plain.png"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(PortablePath(c.in), c.portable);
    EXPECT_EQ(LocalPath(c.in), c.local);
  }
  // Growth from inserted separators stays within a name.
  std::string colons;
  for (int i = 0; i < 125; ++i) colons += "a:";
  EXPECT_EQ(LocalPath(colons).size(), 255u);
}

TEST(ClipNames, DerivedFromStillSequenceAndAnimation) {
  const std::vector<uint8_t> still = Body().Sub("STIL", Body().S0("D:dir/still.tga"));
  const std::vector<uint8_t> seq =
      Body().Sub("ISEQ", Body().U1(3).U1(1).U2(0).U2(1).U2(1).U2(30).S0("dir/img").S0(".tga"));
  const std::vector<uint8_t> anim = Body().Sub("ANIM", Body().S0("movie.avi").S0("AVI"));
  struct Case {
    const char* name;
    std::vector<uint8_t> body;
    const char* expected;
  };
  const Case cases[] = {
      {"still", still, "D:\\dir\\still.tga"},
      {"sequence", seq, "dir\\img (sequence)"},
      {"animation", anim, "movie.avi"},
      {"sequence over still", Body().Raw(seq).Raw(still), "dir\\img (sequence)"},
      {"animation over both", Body().Raw(anim).Raw(seq).Raw(still), "movie.avi"},
      {"no image", Body().Sub("FLAG", Body().U4(0x80)), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Db t;
    t.AddClip(4, c.body);
    EXPECT_STREQ(t.db->ops.GetClip(t.db, 0)->name, c.expected);
    EXPECT_EQ(ClipName(t.db, 4).value_or("?"), c.expected);
    EXPECT_EQ(t.Log(), "");
  }
}

TEST(ClipNames, SetNameWinsAndLongNamesAreCut) {
  std::string colons;
  for (int i = 0; i < 125; ++i) colons += "c:";
  Db t;
  t.AddClip(1, Body().Sub("STIL", Body().S0("a.tga")));
  t.AddClip(2, Body().Sub("STIL", Body().S0(colons.c_str())));
  t.AddClip(3,
            Body().Sub("ISEQ",
                       Body().U1(3).U1(1).U2(0).U2(1).U2(1).U2(30).S0(colons.c_str()).S0(".tga")));
  t.db->ops.SetClipName(t.db, 0, "");
  EXPECT_EQ(ClipName(t.db, 1).value_or("?"), "a.tga");  // derived again from the body
  t.db->ops.SetClipName(t.db, 0, "given");
  EXPECT_EQ(ClipName(t.db, 1).value_or("?"), "given");
  EXPECT_FALSE(ClipName(t.db, 4));
  EXPECT_EQ(strlen(t.db->ops.GetClip(t.db, 1)->name), 255u);
  EXPECT_EQ(ClipName(t.db, 3)->size(), 255u);
}

TEST(ClipNames, FindIgnoresAsciiCaseAndReturnsTheFirst) {
  Db t;
  t.AddClip(7, Body().Sub("STIL", Body().S0("Dir/Img.tga")));
  t.AddClip(3, Body().Sub("STIL", Body().S0("dir/img.TGA")));
  // A clip whose name was never stored is found by its derived name.
  int ordinal = t.db->ops.AddClip(t.db, 9);
  std::vector<uint8_t> body = Body().Sub("STIL", Body().S0("other.png"));
  t.db->ops.SetClipData(t.db, ordinal, int(body.size()), body.data());

  EXPECT_EQ(FindClipIdByName(t.db, "DIR\\IMG.TGA"), 7);
  EXPECT_EQ(FindClipIdByName(t.db, "OTHER.png"), 9);
  EXPECT_EQ(FindClipIdByName(t.db, "dir\\img.tg"), 0);
  EXPECT_EQ(FindClipIdByName(t.db, nullptr), 0);
  // Non-ASCII bytes must match exactly.
  t.AddClip(11, Body().Sub("STIL", Body().S0("\xE0.tga")));
  EXPECT_EQ(FindClipIdByName(t.db, "\xC0.tga"), 0);
  EXPECT_EQ(FindClipIdByName(t.db, "\xE0.TGA"), 11);
}

TEST(ClipAdd, FromPathAndFromSequence) {
  Db t;
  EXPECT_EQ(AddClipFromPath(t.db, ""), 0);
  EXPECT_EQ(AddClipFromPath(t.db, "C:\\tex\\wood.tga"), 1);
  ObjClip* clip = t.db->ops.GetClip(t.db, 0);
  EXPECT_STREQ(clip->name, "C:\\tex\\wood.tga");
  auto parsed = ParseClipChunks(t.db, *clip);
  ASSERT_TRUE(parsed && parsed->still);
  EXPECT_EQ(parsed->still->name, "C:tex/wood.tga");

  EXPECT_EQ(AddClipFromSequence(t.db, "frames\\img000.tga (sequence)", 2, 1, 30), 2);
  clip = t.db->ops.GetClip(t.db, 1);
  EXPECT_STREQ(clip->name, "frames\\img (sequence)");
  parsed = ParseClipChunks(t.db, *clip);
  ASSERT_TRUE(parsed && parsed->sequence);
  const ClipSequence& q = *parsed->sequence;
  EXPECT_EQ(std::vector<int>({q.digits, q.flags, q.offset, q.reserved, q.start, q.end}),
            std::vector<int>({3, 1, 2, 1, 1, 30}));
  EXPECT_EQ(q.prefix, "frames/img");
  EXPECT_EQ(q.suffix, ".tga");
  EXPECT_EQ(DerivedClipName(*parsed), clip->name);
  EXPECT_EQ(t.Log(), "");  // the bodies it writes are well formed
}

TEST(ClipChunks, ValuesAndMismatchLines) {
  Body body;
  body.Sub("STIL", Body().S0("b.tga").U4(0).U4(0))  // padded with zeros, like some exporters
      .Sub("STCC", Body().U2(uint16_t(-2)).U2(7).S0("cyc"))
      .Sub("NEGA", {})
      .Sub("ALPH", Body().VX(70000))
      .Sub("COMP", Body().VX(2).F4(0.75f).VX(1))
      .Sub("QQQQ", Body().U4(1))
      .Sub("IFLT", Body().S0("Blur").U2(3).U4(0xA1B2C3D4))
      .Sub("TIME", Body().F4(1).F4(2).F4(3));
  Db t;
  auto c = ParseClipChunks(t.db, body.bytes().data(), body.bytes().size());
  ASSERT_TRUE(c && c->still && c->colorCycle && c->alpha && c->composite && c->imageFilter &&
              c->time);
  EXPECT_EQ(c->still->name, "b.tga");
  EXPECT_EQ(c->colorCycle->low, -2);
  EXPECT_EQ(c->alpha->clip, 70000u);
  EXPECT_FLOAT_EQ(c->composite->opacity, 0.75f);
  EXPECT_EQ(c->imageFilter->flags, 3);
  EXPECT_EQ(c->imageFilter->data, (std::vector<uint8_t>{0xA1, 0xB2, 0xC3, 0xD4}));
  EXPECT_FLOAT_EQ(c->time->values[2], 3.0f);
  EXPECT_EQ(t.Log(),
            "??? INVALIC ChunkBuff SIZE  8 bytes over\n"
            "??? INVALIC ChunkBuff SIZE  -2 bytes over\n"
            "??? UNKNOWN ChunkBuff 4\n");
}

// --------------------------------------------------------------- envelopes

struct KeyDef {
  float time;
  float value;
  const char* shape;  // null: no SPAN
  std::vector<float> params;
};

std::vector<uint8_t> EnvBody(int pre, int post, const std::vector<KeyDef>& keys) {
  Body b;
  if (pre >= 0) b.Sub("PRE ", Body().U2(uint16_t(pre)));
  for (const KeyDef& k : keys) {
    b.Sub("KEY ", Body().F4(k.time).F4(k.value));
    if (k.shape) {
      Body span;
      span.Id(k.shape);
      for (float p : k.params) span.F4(p);
      b.Sub("SPAN", span);
    }
  }
  if (post >= 0) b.Sub("POST", Body().U2(uint16_t(post)));
  return b;
}

EnvCurve Curve(const std::vector<KeyDef>& keys, int pre = ENV_CONSTANT, int post = ENV_CONSTANT) {
  std::vector<uint8_t> body = EnvBody(pre, post, keys);
  auto chunks = ParseEnvlChunks(nullptr, body.data(), body.size());
  return BuildEnvCurve(*chunks);
}

const std::vector<KeyDef> kTcb = {
    {0, 0, nullptr, {}}, {10, 10, "TCB ", {0.5f, 0.2f, -0.4f}}, {20, 0, "TCB ", {0, 0, 0}}};
const std::vector<KeyDef> kHerm3 = {
    {0, 0, "HERM", {0, 4}}, {10, 10, "HERM", {2, 6}}, {30, 0, "HERM", {1, 0}}};
const std::vector<KeyDef> kBez2 = {{0, 0, "BEZ2", {0, 0, 1, 2}}, {3, 3, "BEZ2", {-1, 1, 0, 0}}};
const std::vector<KeyDef> kStep = {{0, 3, nullptr, {}}, {10, 7, "STEP", {}}, {20, 1, "STEP", {}}};

// Values worked by hand from the Hermite basis
//   h1 = 2u^3 - 3u^2 + 1, h2 = -2u^3 + 3u^2, h3 = u^3 - 2u^2 + u, h4 = u^3 - u^2
// (u = 0.5: 0.5, 0.5, 0.125, -0.125) and the span's in/out tangents.
TEST(EnvShapes, HandComputedValues) {
  struct Case {
    const char* name;
    std::vector<KeyDef> keys;
    float t;
    double expected;
  };
  const Case cases[] = {
      // out(K0) = 10 (no previous key); in(K1) = 0.5 * (0.5*1.2*1.4*-10 + 0.5*0.8*0.6*10) = -3.
      {"TCB first span, u = 0.5", kTcb, 5, 5 + 1.25 + 0.375},
      // u = 0.25: h2 = 0.15625, h3 = 0.140625, h4 = -0.046875.
      {"TCB first span, u = 0.25", kTcb, 2.5f, 1.5625 + 1.40625 + 0.140625},
      // out(K1) = 0.5 * (0.5*1.2*0.6*10 + 0.5*0.8*1.4*-10) = -1; in(K2) = -10.
      {"TCB second span", kTcb, 15, 5 - 0.125 + 1.25},
      {"Hermite, two keys", {{0, 0, "HERM", {0, 4}}, {10, 10, "HERM", {2, 0}}}, 5, 5 + 0.5 - 0.25},
      // in(K1) = 2 * 10/30.
      {"Hermite, next key scales in", kHerm3, 5, 5 + 0.5 - 0.125 * 2.0 / 3.0},
      // out(K1) = 6 * 20/30 = 4, in(K2) = 1.
      {"Hermite, previous key scales out", kHerm3, 20, 5 + 0.5 - 0.125},
      {"Bezier", {{0, 0, "BEZI", {0, -2}}, {10, 10, "BEZI", {8, 0}}}, 5, 5 - 0.25 - 1},
      {"linear", {{0, 0, nullptr, {}}, {10, 20, "LINE", {}}}, 2.5f, 5},
      {"stepped", kStep, 9.9f, 3},
      // Time control points 0, 1, 2, 3 make Bx(s) = 3s; value points 0, 2, 4, 3.
      {"BEZ2 midpoint", kBez2, 1.5f, (0 + 6 + 12 + 3) / 8.0},
      {"BEZ2 quarter", kBez2, 0.75f, 3 * 0.5625 * 0.25 * 2 + 3 * 0.75 * 0.0625 * 4 + 0.015625 * 3},
      // After a TCB key: x1 = 1, y1 = out/3 = 1.
      {"BEZ2 after TCB",
       {{0, 0, nullptr, {}}, {3, 3, "BEZ2", {-1, 1, 0, 0}}},
       1.5f,
       (0 + 3 + 12 + 3) / 8.0},
      {"unknown shape", {{0, 5, nullptr, {}}, {10, 5, "XXXX", {}}}, 5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EnvCurve env = Curve(c.keys);
    EXPECT_NEAR(EvalEnvelope(env, c.t), c.expected, 1e-5);
  }
}

TEST(EnvShapes, EveryKeyGivesItsValueAtItsTime) {
  const std::vector<KeyDef> sets[] = {kTcb,
                                      kHerm3,
                                      kBez2,
                                      kStep,
                                      {{0, 1, "LINE", {}},
                                       {4, -2, "LINE", {}},
                                       {9, 6, "BEZI", {1, 1}},
                                       {12, 0, "BEZ2", {-1, 0, 1, 0}}}};
  for (const auto& keys : sets) {
    EnvCurve env = Curve(keys);
    // Forwards, then backwards so the cached span is passed over.
    for (size_t i = 0; i < keys.size(); ++i)
      EXPECT_EQ(EvalEnvelope(env, keys[i].time), keys[i].value);
    for (size_t i = keys.size(); i-- > 0;)
      EXPECT_EQ(EvalEnvelope(env, keys[i].time), keys[i].value);
  }
}

// Keys (0, 2) and (10, 22) joined by a line, v(t) = 2 + 2t; the second set
// has the first key at 10: v(t) = 2 + 2(t - 10).
TEST(EnvBehaviors, BeforeAndAfterTheKeys) {
  const std::vector<KeyDef> line = {{0, 2, nullptr, {}}, {10, 22, "LINE", {}}};
  const std::vector<KeyDef> lineFirst = {{0, 2, "LINE", {}}, {10, 22, "LINE", {}}};
  const std::vector<KeyDef> late = {{10, 2, nullptr, {}}, {20, 22, "LINE", {}}};
  const std::vector<KeyDef> tcb = {{0, 2, nullptr, {}}, {10, 22, nullptr, {}}};
  struct Case {
    const char* name;
    const std::vector<KeyDef>* keys;
    int behavior;
    float t;
    float expected;
  };
  const Case cases[] = {
      {"reset before", &line, ENV_RESET, -5, 0},
      {"reset after", &line, ENV_RESET, 15, 0},
      {"constant before", &line, ENV_CONSTANT, -5, 2},
      {"constant after", &line, ENV_CONSTANT, 15, 22},
      {"repeat before", &line, ENV_REPEAT, -3, 16},
      {"repeat whole ranges before", &line, ENV_REPEAT, -20, 2},
      {"repeat after", &line, ENV_REPEAT, 13, 8},
      {"oscillate once before", &line, ENV_OSCILLATE, -3, 8},
      {"oscillate twice before", &line, ENV_OSCILLATE, -13, 16},
      {"oscillate once after", &line, ENV_OSCILLATE, 13, 16},
      {"oscillate twice after", &line, ENV_OSCILLATE, 23, 8},
      {"oscillate from 10, before", &late, ENV_OSCILLATE, 7, 8},
      {"oscillate from 10, after", &late, ENV_OSCILLATE, 27, 8},
      {"oscillate from 10, twice after", &late, ENV_OSCILLATE, 36, 14},
      {"offset repeat before", &line, ENV_OFFSET_REPEAT, -3, -4},
      {"offset repeat three ranges before", &line, ENV_OFFSET_REPEAT, -25, -48},
      {"offset repeat after", &line, ENV_OFFSET_REPEAT, 13, 28},
      {"offset repeat twice after", &line, ENV_OFFSET_REPEAT, 25, 52},
      // The first key is not LINE: its outgoing slope cache (20) per time unit.
      {"linear before, slope cache", &line, ENV_LINEAR, -5, 2 - 5 * 20},
      {"linear after, line through the last keys", &line, ENV_LINEAR, 15, 32},
      {"linear before, line through the first keys", &lineFirst, ENV_LINEAR, -5, -8},
      // A TCB end key without a next key: incoming cache (G + H) * 20 * 0.5 = 20.
      {"linear after, slope cache", &tcb, ENV_LINEAR, 12, 22 + 2 * 20},
      {"unknown code acts as reset", &line, 9, -5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EnvCurve env = Curve(*c.keys, c.behavior, c.behavior);
    EXPECT_NEAR(EvalEnvelope(env, c.t), c.expected, 1e-4);
  }
}

TEST(EnvBehaviors, DegenerateAndHugeInputsTerminateFinite) {
  EnvCurve none;
  EXPECT_EQ(EvalEnvelope(none, 3), 0.0f);
  EnvCurve one = Curve({{5, 7, nullptr, {}}});
  EXPECT_EQ(EvalEnvelope(one, -100), 7.0f);
  EnvCurve bare = Curve({{0, 1, nullptr, {}}, {1, 2, nullptr, {}}}, -1, -1);  // no PRE/POST: reset
  EXPECT_EQ(EvalEnvelope(bare, -1) + EvalEnvelope(bare, 2), 0.0f);

  // Keys sharing a time: the second key's value, never a division by zero.
  EnvCurve same =
      Curve({{0, 1, nullptr, {}}, {0, 5, "LINE", {}}, {10, 9, "TCB ", {0.5f, 0.5f, 0.5f}}},
            ENV_LINEAR, ENV_LINEAR);
  EXPECT_EQ(EvalEnvelope(same, 0), 5.0f);
  for (float t : {-3.0f, 4.0f, 13.0f}) EXPECT_TRUE(std::isfinite(EvalEnvelope(same, t))) << t;
  for (int behavior = 0; behavior <= 5; ++behavior) {
    EnvCurve flat = Curve({{5, 1, "LINE", {}}, {5, 3, "LINE", {}}}, behavior, behavior);
    EXPECT_TRUE(std::isfinite(EvalEnvelope(flat, 0) + EvalEnvelope(flat, 10))) << behavior;
    if (behavior >= ENV_REPEAT && behavior <= ENV_OFFSET_REPEAT) {  // act as constant
      EXPECT_EQ(EvalEnvelope(flat, 0), 1.0f);
      EXPECT_EQ(EvalEnvelope(flat, 10), 3.0f);
    }
  }

  // Times far outside the keys, and keys near the top of the float range.
  const std::vector<KeyDef> unit = {{0, 0, nullptr, {}}, {1, 1, "LINE", {}}};
  const std::vector<KeyDef> high = {{3e38f, 0, nullptr, {}}, {3.4e38f, 1, "LINE", {}}};
  for (int behavior : {ENV_REPEAT, ENV_OSCILLATE, ENV_OFFSET_REPEAT}) {
    EnvCurve a = Curve(unit, behavior, behavior), b = Curve(high, behavior, behavior);
    for (float t : {1e30f, -1e30f, 16777217.0f, -3.4e38f})
      EXPECT_TRUE(std::isfinite(EvalEnvelope(a, t) + EvalEnvelope(b, t))) << behavior << " " << t;
  }
  EnvCurve repeat = Curve(unit, ENV_REPEAT, ENV_REPEAT);
  EXPECT_NEAR(EvalEnvelope(repeat, 1e6f + 0.25f), 0.25f, 1e-6);

  // BEZ2 at times whose float spacing exceeds the bisection tolerance, and
  // with offsets that fold the time curve back on itself.
  EnvCurve wide = Curve({{0, 0, "BEZ2", {0, 0, 3000, 0}}, {10000, 1, "BEZ2", {-3000, 0, 0, 0}}});
  EXPECT_NEAR(EvalEnvelope(wide, 5000), 0.5f, 1e-3);
  EXPECT_TRUE(std::isfinite(EvalEnvelope(wide, 9999.999f)));
  EnvCurve folded = Curve({{0, 0, "BEZ2", {0, 0, -1e6f, 0}}, {10, 1, "BEZ2", {1e6f, 0, 0, 0}}});
  for (float t : {1.0f, 5.0f, 9.0f}) EXPECT_TRUE(std::isfinite(EvalEnvelope(folded, t))) << t;
}

TEST(EnvlChunks, ParseSizesAndLogs) {
  Body body;
  body.Sub("TYPE", Body().U2(0x0201))
      .Sub("PRE ", Body().U2(2))
      .Sub("SPAN", Body().Id("LINE"))  // before any key: dropped
      .Sub("KEY ", Body().F4(0).F4(1))
      .Sub("SPAN", Body().Id("BEZ2").F4(1).F4(2).F4(3).F4(4).F4(5).F4(6))
      .Sub("KEY ", Body().F4(2).F4(3).U4(0))  // KEY is read as 8 bytes
      .Sub("NAME", Body().S0("Position.X"))
      .Sub("CHAN", Body().S0("Noise").U2(1).U4(0x01020304))
      .Sub("POST", Body().U2(4))
      .Sub("????", Body().U2(0));
  Db t;
  auto e = ParseEnvlChunks(t.db, body.bytes().data(), body.bytes().size());
  ASSERT_TRUE(e && e->keys.size() == 2 && e->keys[0].span && e->channels.size() == 1);
  EXPECT_EQ(e->keys[0].span->params.size(), 6u);
  EXPECT_FALSE(e->keys[1].span);
  EXPECT_FLOAT_EQ(e->keys[1].value, 3.0f);
  EXPECT_EQ(e->channels[0].data, (std::vector<uint8_t>{1, 2, 3, 4}));
  // Recomputed: the dropped SPAN (10), the KEY's extra 4 bytes and the
  // unknown sub-chunk (8) are gone.
  const int64_t computed = int64_t(body.bytes().size()) - 10 - 4 - 8;
  EXPECT_EQ(t.Log(),
            "??? INVALIC ChunkBuff SIZE  4 bytes over\n"
            "??? UNKNOWN ChunkBuff 2\n"
            "***  ENVELOPE SIZE (" +
                std::to_string(body.bytes().size()) + " / " + std::to_string(computed) +
                ")  ***\n");
  EXPECT_EQ(SizeEnvlChunks(*e), computed);

  EnvCurve env = BuildEnvCurve(*e);
  EXPECT_EQ(env.pre, ENV_REPEAT);
  EXPECT_EQ(env.post, ENV_OFFSET_REPEAT);
  EXPECT_EQ(env.keys[0].shape, ENV_BEZ2);
  EXPECT_EQ(env.keys[0].p[3], 4.0f);  // only four parameters are used
}

// Every prefix and every single-byte corruption of a CLIP and an ENVL body
// parses, builds and evaluates without leaving the body.
TEST(EnvlChunks, TruncatedAndCorruptedBodiesAreSafe) {
  const std::vector<uint8_t> envl = Body()
                                        .Sub("PRE ", Body().U2(3))
                                        .Raw(EnvBody(-1, -1,
                                                     {{0, 1, "TCB ", {0.1f, 0.2f, 0.3f}},
                                                      {4, 2, "BEZ2", {1, 1, 1, 1}},
                                                      {9, 0, "HERM", {1, 2}}}))
                                        .Sub("CHAN", Body().S0("srv").U2(0).U2(7))
                                        .Sub("POST", Body().U2(4));
  const std::vector<uint8_t> clip =
      Body()
          .Sub("ISEQ", Body().U1(3).U1(1).U2(0).U2(1).U2(1).U2(30).S0("img").S0(".tga"))
          .Sub("IFLT", Body().S0("f").U2(1).U2(2))
          .Sub("COMP", Body().VX(70000).F4(1).VX(1));
  auto exercise = [](const std::vector<uint8_t>& e, const std::vector<uint8_t>& c) {
    std::unique_ptr<EnvlChunks> chunks = ParseEnvlChunks(nullptr, e.data(), e.size());
    ASSERT_TRUE(chunks);
    EnvCurve env = BuildEnvCurve(*chunks);
    for (float t : {-1e30f, -5.0f, 0.0f, 2.5f, 4.0f, 7.0f, 30.0f, 1e30f}) EvalEnvelope(env, t);
    std::unique_ptr<ClipChunks> parsed = ParseClipChunks(nullptr, c.data(), c.size());
    ASSERT_TRUE(parsed);
    DerivedClipName(*parsed);
  };
  for (size_t n = 0; n <= std::max(envl.size(), clip.size()); ++n) {
    std::vector<uint8_t> e(envl.begin(), envl.begin() + long(std::min(n, envl.size())));
    std::vector<uint8_t> c(clip.begin(), clip.begin() + long(std::min(n, clip.size())));
    exercise(e, c);
  }
  for (uint8_t fill : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x7F)}) {
    for (size_t i = 0; i < std::max(envl.size(), clip.size()); ++i) {
      std::vector<uint8_t> e = envl, c = clip;
      if (i < e.size()) e[i] = fill;
      if (i < c.size()) c[i] = fill;
      exercise(e, c);
    }
  }
}

}  // namespace
