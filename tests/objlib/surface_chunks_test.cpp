#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "clip_envelope.h"
#include "objectdb.h"
#include "surface_chunks.h"
#include "test_support.h"

namespace {

// An ObjectDb whose log lines can be read back.
struct LoggedDb {
  ObjectDb* db = CreateObjectDb(0);
  LoggedDb() { db->logFile = tmpfile(); }
  ~LoggedDb() {
    fclose(db->logFile);
    db->logFile = nullptr;
    CloseObjectDb(&db);
  }
  std::string Log() const {
    std::string text;
    rewind(db->logFile);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, db->logFile)) > 0) text.append(buf, n);
    return text;
  }
  std::unique_ptr<SurfChunks> Parse(const std::vector<uint8_t>& body) {
    return ParseSurfChunks(db, body.data(), body.size());
  }
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::vector<uint8_t> Bytes(size_t n, uint8_t fill) { return std::vector<uint8_t>(n, fill); }

// A block with an IMAP header, a texture map and image sub-chunks, all in
// full form.
std::vector<uint8_t> ImageBlock(const char* ordinal, uint32_t clip) {
  Body head;
  head.S0(ordinal)
      .Sub("CHAN", Body().Id("COLR"))
      .Sub("OPAC", Body().U2(1).F4(0.5f).VX(3))
      .Sub("ENAB", Body().U2(1))
      .Sub("AXIS", Body().U2(2));
  Body tmap;
  tmap.Sub("CNTR", Body().Vec(1, 2, 3).VX(0))
      .Sub("ROTA", Body().Vec(0, 0.5f, 0).VX(70000))
      .Sub("FALL", Body().U2(1).Vec(0, 0, 0).VX(0))
      .Sub("OREF", Body().S0("(none)"))
      .Sub("CSYS", Body().U2(0));
  return Body()
      .Sub("IMAP", head)
      .Sub("TMAP", tmap)
      .Sub("PROJ", Body().U2(5))
      .Sub("AXIS", Body().U2(1))
      .Sub("IMAG", Body().VX(clip))
      .Sub("WRAP", Body().U2(1).U2(2))
      .Sub("WRPW", Body().F4(1).VX(0))
      .Sub("VMAP", Body().S0("Texture"))
      .Sub("AAST", Body().U2(1).F4(1));
}

std::vector<uint8_t> FullBody() {
  return Body()
      .Sub("COLR", Body().Vec(0.25f, 0.5f, 0.75f).VX(0))
      .Sub("DIFF", Body().F4(0.8f).VX(2))
      .Sub("SMAN", Body().F4(1.5f))
      .Sub("SIDE", Body().U2(3))
      .Sub("RIMG", Body().VX(70000))
      .Sub("GLOW", Body().U2(0).F4(1).VX(0).F4(0.5f).VX(0))
      .Sub("LINE", Body().U2(1).F4(2).VX(0).Vec(1, 0, 0).VX(0))
      .Sub("ALPH", Body().U2(1).F4(0.5f))
      .Sub("VCOL", Body().F4(1).VX(0).Id("RGBA").S0("paint"))
      .Sub("CMNT", Body().S0("hello"))
      .Sub("BLOK", ImageBlock("\x80", 1))
      .Sub("RBLR", Body().F4(0.2f).VX(0));
}

TEST(SurfChunks, FullFormBodyKeepsItsValuesAndSizesToItsLength) {
  const std::vector<uint8_t> body = FullBody();
  LoggedDb t;
  auto s = t.Parse(body);
  ASSERT_TRUE(s && s->color && s->diffuse && s->reflectionImage && s->line && s->vertexColor);
  EXPECT_FLOAT_EQ(s->color->value[2], 0.75f);
  EXPECT_EQ(s->diffuse->envelope, 2u);
  EXPECT_EQ(s->reflectionImage->index, 70000u);
  EXPECT_FLOAT_EQ(s->line->color[0], 1.0f);
  EXPECT_EQ(s->vertexColor->mapName, "paint");
  EXPECT_FLOAT_EQ(s->reflectionBlur->value, 0.2f);

  ASSERT_EQ(s->blocks.size(), 1u);
  const SurfBlock& b = s->blocks[0];
  ASSERT_TRUE(b.header && b.tmap && b.axis && b.image);
  EXPECT_EQ(b.type, MakeId4("IMAP"));
  EXPECT_EQ(b.header->ordinal, "\x80");
  EXPECT_EQ(b.header->channel->channel, MakeId4("COLR"));
  EXPECT_EQ(b.header->opacity->envelope, 3u);
  EXPECT_EQ(b.header->axis->value, 2);  // the header's AXIS ...
  EXPECT_EQ(b.axis->value, 1);          // ... is not the block's
  EXPECT_EQ(b.tmap->rotation->envelope, 70000u);
  EXPECT_EQ(b.image->index, 1u);

  const std::string size = std::to_string(body.size());
  EXPECT_EQ(t.Log(), "***  SURFACE SIZE (" + size + " / " + size + ")  ***\n");
}

// Declared lengths that differ from what the handler reads: the walk logs
// length - consumed and resumes at the declared end.
TEST(SurfChunks, LengthMismatchesAreLoggedAndTheWalkResumes) {
  struct Case {
    const char* name;
    std::vector<uint8_t> colr;
    const char* log;  // nullptr: no mismatch line
    uint32_t envelope;
  };
  const Case cases[] = {
      {"exact", Body().Vec(1, 2, 3).VX(7), nullptr, 7},
      {"two extra bytes", Body().Vec(1, 2, 3).VX(7).U2(0xBEEF),
       "??? (COLR) INVALID SURF ChunkBuff SIZE  2 bytes over\n", 7},
      // The VX is missing: it reads as zero, not from the next sub-chunk.
      {"VX missing", Body().Vec(1, 2, 3), "??? (COLR) INVALID SURF ChunkBuff SIZE  -2 bytes over\n",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoggedDb t;
    auto s = t.Parse(Body().Sub("COLR", c.colr).Sub("DIFF", Body().F4(0.5f).VX(0)));
    ASSERT_TRUE(s->color && s->diffuse);
    EXPECT_FLOAT_EQ(s->color->value[2], 3.0f);
    EXPECT_EQ(s->color->envelope, c.envelope);
    EXPECT_FLOAT_EQ(s->diffuse->value, 0.5f);
    const std::string log = t.Log();
    EXPECT_EQ(Count(log, "INVALID"), c.log ? 1u : 0u) << log;
    if (c.log) {
      EXPECT_NE(log.find(c.log), std::string::npos) << log;
    }
    // Sizing always gives the full form.
    EXPECT_EQ(s->color->length, 14);
  }
}

TEST(SurfChunks, ShortLinePaddedUnknownAndRepeatedSubChunks) {
  LoggedDb t;
  auto s = t.Parse(Body()
                       .Sub("LINE", Body().U2(5))
                       .Sub("ZZZZ", Body().U2(1).U4(2))
                       .Sub("AUVN", Body().U2(1).U2(2).U1(3))
                       .U1(0)  // odd length, pad byte
                       .Sub("CMNT", Body().S0("first"))
                       .Sub("SMAN", Body().F4(0.5f))
                       .Sub("CMNT", Body().S0("second")));
  ASSERT_TRUE(s->line && s->smoothing && s->comment);
  EXPECT_EQ(s->line->flags, 5);
  EXPECT_EQ(s->line->size, 0.0f);
  EXPECT_FLOAT_EQ(s->smoothing->value, 0.5f);
  EXPECT_EQ(s->comment->text, "second");
  const std::string log = t.Log();
  EXPECT_EQ(log.find("INVALID"), std::string::npos) << log;
  EXPECT_NE(log.find("??? UNKNOWN ChunkBuff 6\n??? UNKNOWN ChunkBuff 5\n"), std::string::npos)
      << log;
  // LINE is repacked in full form: 6 + 22; SMAN 6 + 4; CMNT 6 + 8.
  EXPECT_EQ(SizeSurfChunks(*s), 28 + 10 + 14);
}

TEST(SurfChunks, BlocksKeepFileOrderAndNestedWalksLogTheirOwnLines) {
  Body second;
  second
      .Sub("PROC", Body()
                       .S0("\x81")
                       .Sub("CHAN", Body().Id("DIFF"))
                       .Sub("QQQQ", Body().U2(1))
                       .Sub("ENAB", Body().U2(1).U2(9)))
      .Sub("TMAP", Body().Sub("CSYS", Body().U2(1).U2(0)).Sub("RRRR", Body().U4(0)))
      .Sub("VALU", Body().F4(0.25f))
      .Sub("FUNC", Body().S0("Turbulence").U4(0x01020304))
      .Sub("XXXX", Body().U2(0));
  LoggedDb t;
  auto s = t.Parse(Body().Sub("BLOK", ImageBlock("\x80", 1)).Sub("BLOK", second));
  ASSERT_EQ(s->blocks.size(), 2u);
  EXPECT_EQ(s->blocks[0].type, MakeId4("IMAP"));
  const SurfBlock& b = s->blocks[1];
  EXPECT_EQ(b.type, MakeId4("PROC"));
  EXPECT_EQ(b.header->channel->channel, MakeId4("DIFF"));
  EXPECT_EQ(b.header->enable->value, 1);
  EXPECT_EQ(b.tmap->coordSystem->value, 1);
  EXPECT_EQ(b.value->count, 1);
  EXPECT_FLOAT_EQ(b.value->value[0], 0.25f);
  EXPECT_EQ(b.function->name, "Turbulence");
  EXPECT_EQ(b.function->data, (std::vector<uint8_t>{1, 2, 3, 4}));

  const std::string log = t.Log();
  EXPECT_NE(log.find("??? UNKNOWN HEAD ChunkBuff (QQQQ) 2 bytes\n"), std::string::npos) << log;
  EXPECT_NE(log.find("??? INVALIC HEAD ChunkBuff SIZE  2 bytes over\n"), std::string::npos) << log;
  EXPECT_NE(log.find("??? INVALIC TMAP ChunkBuff SIZE  2 bytes over\n"), std::string::npos) << log;
  EXPECT_NE(log.find("??? UNKNOWN TMAP ChunkBuff (RRRR) 4 bytes\n"), std::string::npos) << log;
  EXPECT_NE(log.find("??? UNKNOWN BLOK ChunkBuff (XXXX) 2 bytes\n"), std::string::npos) << log;
  EXPECT_EQ(Count(log, "???"), 5u) << log;
}

// Hostile bodies: each must parse without reading outside the body and give
// the stated records and diagnostics.
TEST(SurfChunks, MalformedBodies) {
  {
    SCOPED_TRACE("ETPS of odd length");
    LoggedDb t;
    auto s = t.Parse(Body().Sub("BLOK", Body().Sub("ETPS", Body().U2(4).U1(9))));
    ASSERT_EQ(s->blocks.size(), 1u);
    EXPECT_EQ(s->blocks[0].envelopeParams->envelopes, (std::vector<uint32_t>{4}));
    EXPECT_NE(t.Log().find("??? (ETPS) INVALID BLOK ChunkBuff SIZE  1 bytes over"),
              std::string::npos);
  }
  {
    SCOPED_TRACE("ETPS ending with a 4-byte VX that has 2 bytes");
    LoggedDb t;
    auto s = t.Parse(Body().Sub("BLOK", Body().Sub("ETPS", Body().VX(1).U1(0xFF).U1(0x12))));
    EXPECT_EQ(s->blocks[0].envelopeParams->envelopes, (std::vector<uint32_t>{1}));
    EXPECT_EQ(SizeSurfChunks(*s), 6 + 6 + 2);
  }
  {
    SCOPED_TRACE("BLOK longer than the body");
    Body block;
    block.Sub("PROJ", Body().U2(2));
    std::vector<uint8_t> body = Body().Id("BLOK").U2(1000).Raw(block);
    LoggedDb t;
    auto s = t.Parse(body);
    ASSERT_EQ(s->blocks.size(), 1u);
    EXPECT_EQ(s->blocks[0].projection->value, 2);
    EXPECT_NE(t.Log().find("??? (BLOK) INVALID SURF ChunkBuff SIZE  992 bytes over"),
              std::string::npos)
        << t.Log();
  }
  {
    SCOPED_TRACE("sub-chunk inside a block running past the block");
    std::vector<uint8_t> block = Body().Id("VMAP").U2(40).S0("uv");
    LoggedDb t;
    auto s = t.Parse(Body().Sub("BLOK", block).Sub("SMAN", Body().F4(2)));
    EXPECT_EQ(s->blocks[0].vmap->text, "uv");
    ASSERT_TRUE(s->smoothing);  // the body walk is unaffected
    EXPECT_FLOAT_EQ(s->smoothing->value, 2.0f);
  }
  {
    SCOPED_TRACE("300-byte CMNT without a NUL");
    LoggedDb t;
    auto s = t.Parse(Body().Sub("CMNT", Bytes(300, 'c')));
    EXPECT_EQ(s->comment->text, std::string(255, 'c'));
    EXPECT_EQ(SizeSurfChunks(*s), 6 + 256);
    EXPECT_EQ(t.Log().find("INVALID"), std::string::npos);
  }
  {
    SCOPED_TRACE("VALU of 5 values, re-sized");
    LoggedDb t;
    auto s = t.Parse(Body().Sub("BLOK", Body().Sub("VALU", Body().F4(1).F4(2).F4(3).F4(4).F4(5))));
    const BlockValues& v = *s->blocks[0].value;
    EXPECT_EQ(v.count, 3);
    EXPECT_FLOAT_EQ(v.value[2], 3.0f);
    EXPECT_EQ(SizeSurfChunks(*s), 6 + 6 + 12);
    EXPECT_EQ(s->blocks[0].value->length, 12);
  }
  {
    SCOPED_TRACE("FUNC whose name runs past its length");
    std::vector<uint8_t> block =
        Body().Id("FUNC").U2(4).Raw(Body().S0("LongName")).Raw(Body().Id("PROJ").U2(2).U2(1));
    LoggedDb t;
    auto s = t.Parse(Body().Sub("BLOK", block));
    EXPECT_EQ(s->blocks[0].function->name, "Long");
    EXPECT_TRUE(s->blocks[0].function->data.empty());
  }
  {
    SCOPED_TRACE("body cut inside a sub-chunk header");
    LoggedDb t;
    auto s = t.Parse(Body().Sub("SMAN", Body().F4(1)).U1('D').U1('I'));
    EXPECT_FLOAT_EQ(s->smoothing->value, 1.0f);
  }
  {
    SCOPED_TRACE("length past the body, no ObjectDb");
    std::vector<uint8_t> junk = Body().Id("COLR").U2(0xFFFF).U4(0x3F800000);
    auto s = ParseSurfChunks(nullptr, junk.data(), junk.size());
    EXPECT_FLOAT_EQ(s->color->value[0], 1.0f);
    EXPECT_EQ(s->color->value[1], 0.0f);
  }
}

// Every single-byte corruption of a full body parses inside its bytes.
TEST(SurfChunks, CorruptedBytesAreSafe) {
  const std::vector<uint8_t> body = FullBody();
  for (uint8_t fill : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x81)}) {
    for (size_t i = 0; i < body.size(); ++i) {
      std::vector<uint8_t> bad = body;
      bad[i] = fill;
      auto s = ParseSurfChunks(nullptr, bad.data(), bad.size());
      ASSERT_TRUE(s);
      SizeSurfChunks(*s);
    }
  }
}

TEST(SurfChunks, BlockCountStopsAt65535) {
  Body body;
  for (int i = 0; i < 70000; ++i) body.Sub("BLOK", {});
  LoggedDb t;
  auto s = t.Parse(body);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->blocks.size(), kMaxSurfBlocks);
  EXPECT_EQ(Count(t.Log(), "TOO MANY BLOK"), 1u);
}

// ----------------------------------------------------------------- corpus

// Every FORM/LWO2 file of the corpus, whatever its name.
std::vector<std::string> CorpusLwo2() {
  std::vector<std::string> out;
  for (const std::string& f : FilesUnder(CorpusPath(""), "")) {
    char head[12] = {};
    std::ifstream in(f, std::ios::binary);
    if (in.read(head, 12) && std::string(head, 4) == "FORM" && std::string(head + 8, 4) == "LWO2")
      out.push_back(f);
  }
  return out;
}

// Every surface, clip and envelope of every LWO2 file of the corpus parses;
// so does every prefix of each body (copied, so ASan sees where it ends).
TEST(SurfCorpus, EverySurfaceClipAndEnvelopeParses) {
  std::vector<std::string> files = CorpusLwo2();
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  auto prefixes = [](const std::vector<uint8_t>& raw, auto parse) {
    for (size_t n = 0; n < raw.size(); n += 1 + n / 64)
      parse(std::vector<uint8_t>(raw.begin(), raw.begin() + long(n)));
  };
  size_t blocks = 0, clips = 0, envelopes = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ObjectDb* db = OpenObjectDb(file.c_str(), nullptr);
    ASSERT_NE(db, nullptr);
    for (int id = 0; id < db->ops.GetSurfaceCount(db); ++id) {
      ObjSurface* surface = db->ops.GetSurface(db, id);
      auto s = ParseSurfChunks(db, *surface);
      ASSERT_TRUE(s);
      blocks += s->blocks.size();
      prefixes(surface->raw,
               [](const std::vector<uint8_t>& b) { ParseSurfChunks(nullptr, b.data(), b.size()); });
    }
    for (int i = 0; i < db->ops.GetClipCount(db); ++i, ++clips) {
      ObjClip* clip = db->ops.GetClip(db, i);
      EXPECT_NE(clip->name[0], 0);
      EXPECT_EQ(FindClipIdByName(db, clip->name), clip->id);  // names differ within a file
      prefixes(clip->raw,
               [](const std::vector<uint8_t>& b) { ParseClipChunks(nullptr, b.data(), b.size()); });
    }
    for (int i = 0; i < db->ops.GetEnvelopeCount(db); ++i, ++envelopes) {
      std::unique_ptr<EnvCurve> env = BuildEnvelope(db, i);
      ASSERT_TRUE(env && !env->keys.empty());
      EXPECT_TRUE(std::isfinite(EvalEnvelope(*env, 1.5f)));
    }
    if (file.find("earth_cylindrical_y_scale_111_wrap_21") != std::string::npos) {
      auto s = ParseSurfChunks(db, *db->ops.GetSurface(db, 0));
      const SurfBlock& b = s->blocks.at(0);
      ASSERT_TRUE(b.projection && b.axis && b.wrapWidth && b.image);
      EXPECT_EQ(b.projection->value, 1);  // cylindrical about Y, wrapped twice around
      EXPECT_EQ(b.axis->value, 1);
      EXPECT_FLOAT_EQ(b.wrapWidth->value, 2.0f);
      EXPECT_EQ(ClipName(db, int(b.image->index)).value_or("?"),
                "Q:\\ASSIMP\\coordsys\\test\\models\\LWO\\LWO2\\MappingModes\\earthCylindric.jpg");
    }
    CloseObjectDb(&db);
  }
  EXPECT_GT(blocks, 20u);
  EXPECT_GT(clips, 20u);
  EXPECT_GE(envelopes, 4u);
}

}  // namespace
