// Dump: a readable listing of everything an ObjectDb holds. Reads only; the
// layers and polygon types it makes current are put back as they were.
#include <algorithm>
#include <array>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "c_number_locale.h"
#include "clip_envelope.h"
#include "lwob_surface.h"
#include "ops_internal.h"
#include "strips.h"
#include "subchunk_walk.h"
#include "surface_attributes.h"
#include "surface_chunks.h"

namespace {

const char* ChannelName(int mask) {
  static const char* const kNames[] = {"NONE", "COLR", "DIFF", "LUMI", "SPEC",
                                       "REFL", "TRAN", "BUMP", "TRNL"};
  const unsigned m = unsigned(mask) & 0xFFFFu;
  if (m == 0) return kNames[0];
  int bit = 1;
  while (!(m & (1u << (bit - 1)))) ++bit;
  return bit < 9 ? kNames[bit] : kNames[0];
}

const char* FormatName(int format) {
  static const char* const kNames[] = {"UNKNOWN", "LWOB", "LWO2", "RSD"};
  return format >= 0 && format < 4 ? kNames[format] : kNames[0];
}

// A four-character ID, most significant byte first.
struct IdText {
  char text[5];
  explicit IdText(Id4 id) {
    for (int i = 0; i < 4; ++i) {
      const unsigned char c = (unsigned char)(id >> (24 - 8 * i));
      text[i] = c >= 0x20 && c < 0x7F ? char(c) : '.';
    }
    text[4] = 0;
  }
};

template <typename T, typename F>
void List(FILE* f, const T* values, size_t n, F one) {
  for (size_t i = 0; i < n; ++i) {
    one(values[i]);
    fputs(i + 1 < n ? "," : "", f);
  }
  fputc('>', f);
}

void Floats(FILE* f, const float* v, size_t n) {
  for (size_t i = 0; i < n; ++i) fprintf(f, i + 1 < n ? "%f, " : "%f", double(v[i]));
  fputs(">\n", f);
}

void Bytes(FILE* f, const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (i % 8 == 0) fputc('\t', f);
    const bool endOfLine = i % 8 == 7;
    fprintf(f, "0x%02x%s", data[i], endOfLine ? "\n" : (i + 1 < size ? ", " : ""));
  }
  if (size % 8) fputc('\n', f);
}

void Bytes(FILE* f, const std::vector<uint8_t>& data) { Bytes(f, data.data(), data.size()); }

void EndSection(FILE* f) {
  fputc('\n', f);
  fflush(f);
}

void DumpLayer(ObjectDb* db, FILE* f, ObjLayer& l) {
  fprintf(f, "\n**************  L A Y E R  I N F O  ******************\n");
  fprintf(f, "Layer      [%d][%s]\n", l.number, l.name);
  fprintf(f, "parent_no  [%d]\n", l.parent);
  fprintf(f, "pivot      [%f,%f,%f]\n", l.pivot[0], l.pivot[1], l.pivot[2]);
  fprintf(f, "numPnts    [%d]\n", int(l.points.size()));
  fprintf(f, "numNorms   [%d]\n", int(l.normals.size()));
  fprintf(f, "numMaps    [%d]\n", int(l.uvs.size()));
  fprintf(f, "numCols    [%d]\n", int(l.colors.size()));
  fprintf(f, "numEdges   [%d]\n", int(l.edges.size()));
  fprintf(f, "numVMaps   [%d]\n", int(l.vmaps.size()));
  fprintf(f, "numVMads   [%d]\n", int(l.vmads.size()));
  fprintf(f, "bbox <%f,%f,%f> <%f,%f,%f>\n", l.bounds[0], l.bounds[1], l.bounds[2], l.bounds[3],
          l.bounds[4], l.bounds[5]);
  fputc('\n', f);

  for (size_t i = 0; i < l.points.size(); ++i) {
    const ObjPoint& p = l.points[i];
    fprintf(f, "PNTS [%d] <%f,%f,%f> EDGE_NO <%d>\n", int(i), p.x, p.y, p.z, p.edge);
  }
  if (!l.points.empty()) fputc('\n', f);
  for (size_t i = 0; i < l.normals.size(); ++i) {
    const ObjNormal& n = l.normals[i];
    fprintf(f, "NORMS [%d] <%f,%f,%f>\n", int(i), n.x, n.y, n.z);
  }
  if (!l.normals.empty()) fputc('\n', f);
  for (size_t i = 0; i < l.edges.size(); ++i) {
    const ObjEdge& e = l.edges[i];
    fprintf(f, "EDGES [%d] p0<%d> p1<%d> pol_R<%d> pol_L<%d> edge_R<%d> edge_L<%d>\n", int(i),
            e.first, e.second, e.polygon, e.polygon2, e.neighbour[0], e.neighbour[1]);
  }
  if (!l.edges.empty()) fputc('\n', f);
  for (size_t i = 0; i < l.loops.size(); ++i) {
    const EdgeLoop& loop = *l.loops[i];
    const ObjSurface* s = db->ops.GetSurface(db, loop.surfaceId);
    fprintf(f, "MESH [%d] TYPE [%d] KEY [0x%08x] SURF <%s> NODES [%d]\n", int(i), loop.kind,
            loop.sortKey, s ? s->name : "", loop.itemCount);
    for (const LoopItem* it = loop.first; it; it = it->next)
      fprintf(f, "\t<POL=%d,PNT=%d,IDX=%d>\n", it->polygon, it->point, it->corner);
  }
  if (!l.loops.empty()) fputc('\n', f);
  for (size_t i = 0; i < l.uvs.size(); ++i) {
    const ObjUv& u = l.uvs[i];
    fprintf(f, "MAPS [%d] <%f,%f,%f>\n", int(i), u.u, u.v, u.w);
  }
  if (!l.uvs.empty()) fputc('\n', f);
  for (size_t i = 0; i < l.colors.size(); ++i) {
    const ObjColor& c = l.colors[i];
    fprintf(f, "COLORS [%d] <%g,%g,%g,%g>\n", int(i), double(c.r), double(c.g), double(c.b),
            double(c.a));
  }
  if (!l.colors.empty()) fputc('\n', f);
  for (size_t m = 0; m < l.vmaps.size(); ++m) {
    const ObjVMap& v = l.vmaps[m];
    fprintf(f, "VMAP [%d] TYPE<%s> NAME<%s> DIM<%d> NPNT<%d>\n", int(m), IdText(v.type).text, v.name,
            v.dimension, v.Count());
    const size_t dim = size_t(std::max(v.dimension, 0));
    for (size_t s = 0; s < v.points.size(); ++s) {
      fprintf(f, "PNTID <%d> <", v.points[s]);
      const size_t at = s * dim;
      Floats(f, at + dim <= v.values.size() ? v.values.data() + at : nullptr,
             at + dim <= v.values.size() ? dim : 0);
    }
  }
  if (!l.vmaps.empty()) fputc('\n', f);
  for (size_t m = 0; m < l.vmads.size(); ++m) {
    const ObjVMad& v = l.vmads[m];
    fprintf(f, "VMAD [%d] TYPE<%s> NAME<%s> DIM<%d> NPNT<%d>\n", int(m), IdText(v.type).text, v.name,
            v.dimension, v.Count());
    for (const VMadSlot& slot : v.slots)
      for (const VMadNode& node : slot.nodes) {
        fprintf(f, "PNTID <%d> POLID <%d> <", slot.point, node.polygon);
        Floats(f, node.values.data(), node.values.size());
      }
  }
  if (!l.vmads.empty()) fputc('\n', f);

  const int savedType = l.currentType;
  for (int t = 0; t < 5; ++t) {
    if (l.groups[t].polygons.empty() && l.groups[t].tagTables.empty()) continue;
    db->ops.BeginPolygonType(db, kPolygonTypes[t]);
    auto& polys = l.Polygons();
    fprintf(f, "NEW POLS CHUNK TYPE [%s]\n\n", IdText(kPolygonTypes[t]).text);
    fprintf(f, "NPOLS      [%d]\n", int(polys.size()));
    auto index = [f](int32_t v) { fprintf(f, "%d", v); };
    for (size_t i = 0; i < polys.size(); ++i) {
      const ObjPolygon& p = polys[i];
      fprintf(f, "[%d] POLS [%d] SURF<%s> SURF_NO<%d> EDGE_NO<%d> FLAG<0x%04x> PNTS<", int(i),
              p.vertexCount, p.surfaceName ? p.surfaceName : "", p.surfaceId, p.edge,
              unsigned(p.flags));
      List(f, p.points.data(), p.points.size(), index);
      if (!p.normals.empty()) {
        fputs(" NORMALS<", f);
        List(f, p.normals.data(), p.normals.size(), index);
      }
      if (!p.colors.empty()) {
        fputs(" COLORS<", f);
        List(f, p.colors.data(), p.colors.size(), index);
      }
      for (const CornerChannel& c : p.channels) {
        fprintf(f, " MAPS[%s][%d]<", ChannelName(c.key), c.key2);
        List(f, c.values.data(), c.values.size(), index);
      }
      fputc('\n', f);
    }
    fputc('\n', f);
    fprintf(f, "NPTAG      [%d]\n", int(l.TagTables().size()));
    for (size_t k = 0; k < l.TagTables().size(); ++k) {
      const PolygonTagTable& tt = l.TagTables()[k];
      fprintf(f, "PTAG [%d] TYPE<%s> NPOL<%d>\n", int(k), IdText(tt.type).text, tt.Count());
      for (size_t e = 0; e < tt.polygons.size() && e < tt.tags.size(); ++e)
        fprintf(f, "POLID <%d> TAG<%d>\n", tt.polygons[e], tt.tags[e]);
    }
    fputc('\n', f);
  }
  l.currentType = savedType;
  EndSection(f);
}

// ------------------------------------------------------ surface listing
//
// A surface's sub-chunks are listed from its parsed record, one line per
// sub-chunk: "[ID] (length)" and its values, nested records indented by a
// tab per level. Lengths are those the record holds (the parse leaves them
// in full form). Sub-chunks the parse kept no record of come last at their
// level, with their bytes.

// One sub-chunk of a body as the parsers' walk meets it: the declared
// length and the bytes present (fewer when the body ends early).
struct RawSub {
  Id4 id;
  int length;
  const uint8_t* data;
  size_t size;
};

// The sub-chunks from buf's position to its end, walked as the parsers walk.
std::vector<RawSub> RawSubs(ChunkBuff& buf) {
  std::vector<RawSub> out;
  WalkSubChunks(
      buf,
      [&](Id4 id, uint16_t length, ChunkBuff& sub) -> long {
        out.push_back({id, length, sub.Data(), sub.Remaining()});
        return long(length);
      },
      [](Id4, uint16_t) {}, [](Id4, int) {});
  return out;
}

std::vector<RawSub> RawSubs(const uint8_t* data, size_t size) {
  ChunkBuff buf(data, size);
  return RawSubs(buf);
}

bool OneOf(Id4 id, std::initializer_list<const char*> ids) {
  for (const char* known : ids)
    if (id == MakeId4(known[0], known[1], known[2], known[3])) return true;
  return false;
}

// Starts a sub-chunk's line: the indent, "[ID] (length)".
void Tag(FILE* f, int depth, const char* id, int length) {
  for (int d = 0; d < depth; ++d) fputc('\t', f);
  fprintf(f, "[%s] (%d)", id, length);
}

void Unparsed(FILE* f, int depth, const RawSub& s) {
  Tag(f, depth, IdText(s.id).text, s.length);
  fputc('\n', f);
  Bytes(f, s.data, s.size);
}

template <class Known>
void UnparsedAmong(FILE* f, int depth, const std::vector<RawSub>& subs, Known known) {
  for (const RawSub& s : subs)
    if (!known(s.id)) Unparsed(f, depth, s);
}

void Value(FILE* f, int depth, const char* id, const std::optional<SurfValue>& v) {
  if (!v) return;
  Tag(f, depth, id, v->length);
  fprintf(f, " <%f> <%d>\n", double(v->value), int(v->envelope));
}

void Vector(FILE* f, int depth, const char* id, const std::optional<SurfVector>& v) {
  if (!v) return;
  Tag(f, depth, id, v->length);
  fprintf(f, " <%f> <%f> <%f> <%d>\n", double(v->value[0]), double(v->value[1]),
          double(v->value[2]), int(v->envelope));
}

void Float(FILE* f, int depth, const char* id, const std::optional<SurfFloat>& v) {
  if (!v) return;
  Tag(f, depth, id, v->length);
  fprintf(f, " <%f>\n", double(v->value));
}

void Word(FILE* f, int depth, const char* id, const std::optional<SurfWord>& v) {
  if (!v) return;
  Tag(f, depth, id, v->length);
  fprintf(f, " <%d>\n", v->value);
}

void Index(FILE* f, int depth, const char* id, const std::optional<SurfIndex>& v) {
  if (!v) return;
  Tag(f, depth, id, v->length);
  fprintf(f, " <%d>\n", int(v->index));
}

void Text(FILE* f, int depth, const char* id, const std::optional<SurfText>& v) {
  if (!v) return;
  Tag(f, depth, id, v->length);
  fprintf(f, " <%s>\n", v->text.c_str());
}

// A block ordinal is a sort key of arbitrary bytes: printable ASCII is kept,
// anything else written as \xNN.
void Ordinal(FILE* f, const std::string& ordinal) {
  fputs(" <", f);
  for (unsigned char c : ordinal) {
    if (c >= 0x20 && c < 0x7F && c != '\\') fputc(c, f);
    else fprintf(f, "\\x%02x", c);
  }
  fputs(">\n", f);
}

bool HeaderId(Id4 id) { return OneOf(id, {"IMAP", "PROC", "GRAD", "SHDR"}); }

// The last sub-chunk of the given kind (the one a parsed slot keeps).
const RawSub* LastOf(const std::vector<RawSub>& subs, bool (*match)(Id4)) {
  const RawSub* last = nullptr;
  for (const RawSub& s : subs)
    if (match(s.id)) last = &s;
  return last;
}

void DumpBlockHeader(FILE* f, const SurfBlock& b, const RawSub* raw) {
  const BlockHeader& h = *b.header;
  Tag(f, 1, IdText(b.type).text, h.length);
  Ordinal(f, h.ordinal);
  if (const auto& c = h.channel) {
    Tag(f, 2, IdText(c->id).text, c->length);
    fprintf(f, " <%s>\n", IdText(c->channel).text);
  }
  Text(f, 2, "NAME", h.name);
  if (const auto& o = h.opacity) {
    Tag(f, 2, "OPAC", o->length);
    fprintf(f, " <%d> <%f> <%d>\n", o->type, double(o->opacity), int(o->envelope));
  }
  Word(f, 2, "ENAB", h.enable);
  Word(f, 2, "NEGA", h.negative);
  Word(f, 2, "AXIS", h.axis);
  if (!raw) return;
  ChunkBuff buf(raw->data, raw->size);
  char ordinal[kNameSize];
  buf.ReadS0(ordinal, sizeof ordinal);
  UnparsedAmong(f, 2, RawSubs(buf),
                [](Id4 id) { return OneOf(id, {"CHAN", "TYPE", "NAME", "OPAC", "ENAB", "NEGA", "AXIS"}); });
}

void DumpBlockTmap(FILE* f, const BlockTmap& t, const RawSub* raw) {
  Tag(f, 1, "TMAP", t.length);
  fputc('\n', f);
  Vector(f, 2, "CNTR", t.center);
  Vector(f, 2, "SIZE", t.size);
  Vector(f, 2, "ROTA", t.rotation);
  Text(f, 2, "OREF", t.reference);
  if (const auto& v = t.falloff) {
    Tag(f, 2, "FALL", v->length);
    fprintf(f, " <%d> <%f> <%f> <%f> <%d>\n", v->type, double(v->vector[0]), double(v->vector[1]),
            double(v->vector[2]), int(v->envelope));
  }
  Word(f, 2, "CSYS", t.coordSystem);
  if (raw)
    UnparsedAmong(f, 2, RawSubs(raw->data, raw->size),
                  [](Id4 id) { return OneOf(id, {"CNTR", "SIZE", "ROTA", "OREF", "FALL", "CSYS"}); });
}

template <class T>
void Numbers(FILE* f, int depth, const char* id, int length, const T* values, size_t n,
             const char* format) {
  Tag(f, depth, id, length);
  for (size_t i = 0; i < n; ++i) fprintf(f, format, values[i]);
  fputc('\n', f);
}

void DumpBlock(FILE* f, const SurfBlock& b, const RawSub* raw) {
  Tag(f, 0, "BLOK", int(b.length));
  fputc('\n', f);
  std::vector<RawSub> subs;
  if (raw) subs = RawSubs(raw->data, raw->size);
  if (b.header) DumpBlockHeader(f, b, LastOf(subs, HeaderId));
  if (b.tmap) DumpBlockTmap(f, *b.tmap, LastOf(subs, [](Id4 id) { return id == MakeId4("TMAP"); }));
  Word(f, 1, "PROJ", b.projection);
  Word(f, 1, "AXIS", b.axis);
  if (b.flags) {
    Tag(f, 1, "FLAG", b.flags->length);
    fprintf(f, " <0x%04x>\n", b.flags->value);
  }
  Index(f, 1, "IMAG", b.image);
  if (b.wrap) {
    Tag(f, 1, "WRAP", b.wrap->length);
    fprintf(f, " <%d> <%d>\n", b.wrap->width, b.wrap->height);
  }
  Value(f, 1, "WRPW", b.wrapWidth);
  Value(f, 1, "WRPH", b.wrapHeight);
  Text(f, 1, "VMAP", b.vmap);
  auto wordFloat = [f](const char* id, const std::optional<BlockWordFloat>& v) {
    if (!v) return;
    Tag(f, 1, id, v->length);
    fprintf(f, " <%d> <%f>\n", v->word, double(v->value));
  };
  wordFloat("AAST", b.antialias);
  Word(f, 1, "PIXB", b.pixelBlend);
  wordFloat("STCK", b.sticky);
  Value(f, 1, "TAMP", b.amplitude);
  Vector(f, 1, "COLR", b.color);
  if (const auto& v = b.value) {
    const double values[3] = {v->value[0], v->value[1], v->value[2]};
    Numbers(f, 1, "VALU", v->length, values, std::min<size_t>(v->count, 3), " <%f>");
  }
  if (const auto& v = b.floatParams) {
    std::vector<double> values(v->values.begin(), v->values.end());
    Numbers(f, 1, "FTPS", v->length, values.data(), values.size(), " <%f>");
  }
  if (const auto& v = b.intParams) {
    std::vector<int> values(v->values.begin(), v->values.end());
    Numbers(f, 1, "ITPS", v->length, values.data(), values.size(), " <%d>");
  }
  if (const auto& v = b.envelopeParams) {
    std::vector<int> values(v->envelopes.begin(), v->envelopes.end());
    Numbers(f, 1, "ETPS", v->length, values.data(), values.size(), " <%d>");
  }
  Float(f, 1, "GRST", b.gradientStart);
  Float(f, 1, "GREN", b.gradientEnd);
  if (const auto& v = b.function) {
    Tag(f, 1, "FUNC", v->length);
    fprintf(f, " <%s>\n", v->name.c_str());
    Bytes(f, v->data);
  }
  UnparsedAmong(f, 1, subs, [](Id4 id) {
    return HeaderId(id) ||
           OneOf(id, {"TMAP", "PROJ", "AXIS", "FLAG", "IMAG", "WRAP", "WRPW", "WRPH", "VMAP", "AAST",
                      "PIXB", "STCK", "TAMP", "COLR", "VALU", "FTPS", "ITPS", "ETPS", "GRST", "GREN",
                      "FUNC"});
  });
}

void DumpLwo2Surface(FILE* f, const uint8_t* body, size_t size) {
  const std::unique_ptr<SurfChunks> parsed = ParseSurfChunks(nullptr, body, size);
  if (!parsed) return;
  const SurfChunks& s = *parsed;
  Vector(f, 0, "COLR", s.color);
  Value(f, 0, "DIFF", s.diffuse);
  Value(f, 0, "LUMI", s.luminosity);
  Value(f, 0, "SPEC", s.specular);
  Value(f, 0, "REFL", s.reflection);
  Value(f, 0, "TRAN", s.transparency);
  Value(f, 0, "TRNL", s.translucency);
  Value(f, 0, "SHRP", s.sharpness);
  Value(f, 0, "GLOS", s.glossiness);
  Value(f, 0, "BUMP", s.bump);
  Float(f, 0, "SMAN", s.smoothing);
  Word(f, 0, "RFOP", s.reflectionOptions);
  Word(f, 0, "SIDE", s.sidedness);
  Index(f, 0, "RIMG", s.reflectionImage);
  Value(f, 0, "RSAN", s.reflectionSeam);
  Value(f, 0, "RIND", s.refractiveIndex);
  Value(f, 0, "CLRH", s.colorHighlights);
  Word(f, 0, "TROP", s.refractionOptions);
  Index(f, 0, "TIMG", s.refractionImage);
  Value(f, 0, "TSAN", s.refractionSeam);
  Value(f, 0, "CLRF", s.colorFilter);
  Value(f, 0, "ADTR", s.additive);
  Float(f, 0, "AVAL", s.alphaValue);
  Value(f, 0, "GVAL", s.glowValue);
  if (const auto& g = s.glow) {
    Tag(f, 0, "GLOW", g->length);
    fprintf(f, " <%d> <%f> <%d> <%f> <%d>\n", g->type, double(g->intensity),
            int(g->intensityEnvelope), double(g->size), int(g->sizeEnvelope));
  }
  if (const auto& l = s.line) {
    Tag(f, 0, "LINE", l->length);
    fprintf(f, " <%d> <%f> <%d> <%f> <%f> <%f> <%d>\n", l->flags, double(l->size),
            int(l->sizeEnvelope), double(l->color[0]), double(l->color[1]), double(l->color[2]),
            int(l->colorEnvelope));
  }
  Vector(f, 0, "LCOL", s.lineColor);
  Value(f, 0, "LSIZ", s.lineSize);
  if (const auto& a = s.alpha) {
    Tag(f, 0, "ALPH", a->length);
    fprintf(f, " <%d> <%f>\n", a->mode, double(a->value));
  }
  Text(f, 0, "CMNT", s.comment);
  if (const auto& v = s.vertexColor) {
    Tag(f, 0, "VCOL", v->length);
    fprintf(f, " <%f> <%d> <%s> <%s>\n", double(v->intensity), int(v->envelope),
            IdText(v->mapType).text, v->mapName.c_str());
  }
  Value(f, 0, "RBLR", s.reflectionBlur);
  Value(f, 0, "TBLR", s.refractionBlur);

  // Blocks pair with the body's BLOK sub-chunks in order.
  const std::vector<RawSub> subs = RawSubs(body, size);
  size_t nextBlok = 0;
  for (const SurfBlock& b : s.blocks) {
    while (nextBlok < subs.size() && subs[nextBlok].id != MakeId4("BLOK")) ++nextBlok;
    DumpBlock(f, b, nextBlok < subs.size() ? &subs[nextBlok++] : nullptr);
  }
  size_t bloks = 0;  // blocks past the parse's limit were passed over
  UnparsedAmong(f, 0, subs, [&bloks](Id4 id) {
    if (id == MakeId4("BLOK")) return ++bloks <= kMaxSurfBlocks;
    return OneOf(id, {"COLR", "DIFF", "LUMI", "SPEC", "REFL", "TRAN", "TRNL", "SHRP", "GLOS",
                      "BUMP", "SMAN", "RFOP", "SIDE", "RIMG", "RSAN", "RIND", "CLRH", "TROP",
                      "TIMG", "TSAN", "CLRF", "ADTR", "AVAL", "GVAL", "GLOW", "LINE", "LCOL",
                      "LSIZ", "ALPH", "CMNT", "VCOL", "RBLR", "TBLR"});
  });
}

// ---------------------------------------------------- LWOB surface listing

template <class T, class Print>
void Slot(FILE* f, int depth, const char* id, const LwobSlot<T>& v, Print print) {
  if (!v) return;
  Tag(f, depth, id, v->length);
  print(v->value);
  fputc('\n', f);
}

void LwobU2(FILE* f, int depth, const char* id, const LwobSlot<uint16_t>& v) {
  Slot(f, depth, id, v, [f](uint16_t x) { fprintf(f, " <%d>", x); });
}

void LwobF4(FILE* f, int depth, const char* id, const LwobSlot<float>& v) {
  Slot(f, depth, id, v, [f](float x) { fprintf(f, " <%f>", double(x)); });
}

void LwobVec(FILE* f, int depth, const char* id, const LwobSlot<LwobVec3>& v) {
  Slot(f, depth, id, v, [f](const LwobVec3& x) {
    fprintf(f, " <%f> <%f> <%f>", double(x[0]), double(x[1]), double(x[2]));
  });
}

template <size_t N, class T>
void LwobInts(FILE* f, int depth, const char* id, const LwobSlot<std::array<T, N>>& v) {
  Slot(f, depth, id, v, [f](const std::array<T, N>& x) {
    for (T e : x) fprintf(f, " <%u>", unsigned(e));
  });
}

void LwobImageRecord(FILE* f, int depth, const char* id, const std::optional<LwobImage>& image) {
  if (!image) return;
  Tag(f, depth, id, image->length);
  fprintf(f, " <%s>\n", image->file.c_str());
  LwobInts(f, depth + 1, "IMSQ", image->imsq);
  LwobInts(f, depth + 1, "FLYR", image->flyr);
  LwobInts(f, depth + 1, "IMCC", image->imcc);
}

void LwobTextureRecord(FILE* f, const LwobTexture& t) {
  Tag(f, 0, IdText(t.id).text, t.length);
  fprintf(f, " <%s>\n", t.type.c_str());
  Slot(f, 1, "TFLG", t.tflg, [f](uint16_t x) { fprintf(f, " <0x%04x>", x); });
  Slot(f, 1, "TREF", t.tref, [f](const std::string& x) { fprintf(f, " <%s>", x.c_str()); });
  LwobVec(f, 1, "TSIZ", t.tsiz);
  LwobVec(f, 1, "TCTR", t.tctr);
  LwobVec(f, 1, "TFAL", t.tfal);
  LwobVec(f, 1, "TVEL", t.tvel);
  LwobInts(f, 1, "TCLR", t.tclr);
  LwobU2(f, 1, "TVAL", t.tval);
  LwobF4(f, 1, "TAMP", t.tamp);
  auto numbered = [](char kind, size_t i) { return std::array<char, 5>{'T', kind, 'P', char('0' + i), 0}; };
  for (size_t i = 0; i < 5; ++i) LwobF4(f, 1, numbered('F', i).data(), t.tfp[i]);
  for (size_t i = 0; i < 5; ++i) LwobU2(f, 1, numbered('I', i).data(), t.tip[i]);
  for (size_t i = 0; i < 5; ++i) LwobF4(f, 1, numbered('S', i).data(), t.tsp[i]);
  LwobU2(f, 1, "TFRQ", t.tfrq);
  LwobImageRecord(f, 1, "TIMG", t.timg);
  LwobImageRecord(f, 1, "TALP", t.talp);
  LwobInts(f, 1, "TWRP", t.twrp);
  LwobF4(f, 1, "TAAS", t.taas);
  LwobF4(f, 1, "TOPC", t.topc);
}

bool LwobTextureId(Id4 id) { return OneOf(id, {"CTEX", "DTEX", "STEX", "RTEX", "TTEX", "LTEX", "BTEX"}); }

bool LwobTextureField(Id4 id) {
  const Id4 family = id & 0xFFFFFF00u;
  const unsigned digit = (id & 0xFFu) - '0';
  if ((family == MakeId4("TFP\0") || family == MakeId4("TIP\0") || family == MakeId4("TSP\0")) &&
      digit <= 4)
    return true;
  return OneOf(id, {"TFLG", "TREF", "TSIZ", "TCTR", "TFAL", "TVEL", "TCLR", "TVAL", "TAMP", "TFRQ",
                    "TIMG", "TALP", "TWRP", "TAAS", "TOPC"});
}

// The body's sub-chunks that the parse passed over: unknown IDs, and known
// ones with no record to fill (texture fields before any texture, image
// settings before any image, SDAT before any SHDR, entries past the count).
std::vector<RawSub> LwobUnparsed(const uint8_t* body, size_t size) {
  std::vector<RawSub> out;
  bool texture = false, shader = false, image = false;
  size_t textures = 0, shaders = 0;
  for (const RawSub& s : RawSubs(body, size)) {
    bool parsed;
    if (OneOf(s.id, {"COLR", "FLAG", "DIFF", "LUMI", "SPEC", "REFL", "TRAN", "VDIF", "VLUM", "VSPC",
                     "VRFL", "VTRN", "GLOS", "RFLT", "RSAN", "RIND", "EDGE", "SMAN", "GLOW", "ALPH",
                     "SPBF"})) {
      parsed = true;
    } else if (s.id == MakeId4("RIMG")) {
      parsed = image = true;
    } else if (s.id == MakeId4("SHDR")) {
      parsed = shader = shaders < LwobSurfChunks::kMaxEntries;
      shaders += parsed;
    } else if (s.id == MakeId4("SDAT")) {
      parsed = shader;
    } else if (OneOf(s.id, {"IMSQ", "FLYR", "IMCC"})) {
      parsed = image;
    } else if (LwobTextureId(s.id)) {
      parsed = texture = textures < LwobSurfChunks::kMaxEntries;
      textures += parsed;
    } else {
      parsed = texture && LwobTextureField(s.id);
      if (parsed && OneOf(s.id, {"TIMG", "TALP"})) image = true;
    }
    if (!parsed) out.push_back(s);
  }
  return out;
}

void DumpLwobSurface(FILE* f, const uint8_t* body, size_t size) {
  const LwobSurfChunks s = ParseLwobSurfBody(nullptr, body, size);
  LwobInts(f, 0, "COLR", s.colr);
  Slot(f, 0, "FLAG", s.flag, [f](uint16_t x) { fprintf(f, " <0x%04x>", x); });
  LwobU2(f, 0, "DIFF", s.diff);
  LwobU2(f, 0, "LUMI", s.lumi);
  LwobU2(f, 0, "SPEC", s.spec);
  LwobU2(f, 0, "REFL", s.refl);
  LwobU2(f, 0, "TRAN", s.tran);
  LwobF4(f, 0, "VDIF", s.vdif);
  LwobF4(f, 0, "VLUM", s.vlum);
  LwobF4(f, 0, "VSPC", s.vspc);
  LwobF4(f, 0, "VRFL", s.vrfl);
  LwobF4(f, 0, "VTRN", s.vtrn);
  LwobU2(f, 0, "GLOS", s.glos);
  LwobU2(f, 0, "RFLT", s.rflt);
  LwobImageRecord(f, 0, "RIMG", s.rimg);
  LwobF4(f, 0, "RSAN", s.rsan);
  LwobF4(f, 0, "RIND", s.rind);
  LwobF4(f, 0, "EDGE", s.edge);
  LwobF4(f, 0, "SMAN", s.sman);
  LwobF4(f, 0, "GLOW", s.glow);
  LwobInts(f, 0, "ALPH", s.alph);
  if (s.spbf) {
    Tag(f, 0, "SPBF", s.spbf->length);
    fputc('\n', f);
    Bytes(f, s.spbf->value);
  }
  for (const LwobTexture& t : s.textures) LwobTextureRecord(f, t);
  for (const LwobShader& sh : s.shaders) {
    Tag(f, 0, "SHDR", sh.length);
    fprintf(f, " <%s>\n", sh.name.c_str());
    if (sh.data) {
      Tag(f, 1, "SDAT", sh.data->length);
      fputc('\n', f);
      Bytes(f, sh.data->value);
    }
  }
  for (const RawSub& u : LwobUnparsed(body, size)) Unparsed(f, 0, u);
}

void DumpMaterial(FILE* f, const SurfaceAttributes& a) {
  auto four = [f](const char* label, const float* c) {
    fprintf(f, "\t%s[%g,%g,%g,%g]\n", label, double(c[0]), double(c[1]), double(c[2]), double(c[3]));
  };
  auto one = [f](const char* label, float v) { fprintf(f, "\t%s[%g]\n", label, double(v)); };
  fprintf(f, "\n******   MATERIAL INFO  ******\n\n");
  fprintf(f, "\tSURFACE NAME       [%s]\n", a.name.c_str());
  fprintf(f, "\tMATERIAL TYPE      [%d]\n", a.format);
  fprintf(f, "\tMATERIAL FLAG      [0x%04x]\n", unsigned(a.flags));
  fprintf(f, "\tANIMATION TIME     [%g]\n", a.time);
  four("SURFACE COLOR      ", a.color);
  four("DIFFUSE COLOR      ", a.diffuseColor);
  four("SPECULAR COLOR     ", a.specularColor);
  four("SHININESS COLOR    ", a.shininess);
  four("EMISSION COLOR     ", a.emission);
  one("DIFFUSE INTENSITY  ", a.diffuse);
  one("SPECULAR INTENSITY ", a.specular);
  one("LUMINOSITY         ", a.luminosity);
  one("REFLECTION LEVEL   ", a.reflection);
  one("REFRACTIVE INDEX   ", a.refractiveIndex);
  one("SMOOTHING ANGLE    ", a.smoothingAngle);
  one("TRANSPARENCY       ", a.transparency);
  one("COLOR HIGHLIGHTS   ", a.colorHighlights);
  fprintf(f, "\tREFLECTION OPTION  [%d]\n", a.reflectionOption);
  fprintf(f, "\tREFLECTION IMAGE   [%s]\n", a.reflectionImage.c_str());
  fprintf(f, "\tREFLECTION ANGLE   [%f]\n", double(a.reflectionSeam));
  fprintf(f, "\tREFRACTION OPTION  [%d]\n", a.refractionOption);
  fprintf(f, "\tREFRACTION IMAGE   [%s]\n", a.refractionImage.c_str());
  fprintf(f, "\tREFRACTION ANGLE   [%f]\n", double(a.refractionSeam));
  fprintf(f, "\tVERTEX COLOR NAME  [%s]\n", a.vertexColorMap.c_str());
  fprintf(f, "\tVERTEX COLOR TYPE  [%s]\n", a.vertexColorType ? IdText(a.vertexColorType).text : "");
  fprintf(f, "\tSURFACE COMMENT    [%s]\n", a.comment.c_str());
  fprintf(f, "\tUVIEW FILE NAME    [%s]\n", a.uvFileName.c_str());
  for (const auto& t : a.layers) {
    fputc('\n', f);
    fprintf(f, "\tTEXTURE MAP CHANNEL TYPE [%s]\n", ChannelName(t->channel));
    fprintf(f, "\tTEXTURE IMAGE LAYER      [%d]\n", t->index);
    fprintf(f, "\tPROJECTION TYPE          [%d]\n", t->projection);
    fprintf(f, "\tTEXTURE AXIS             [%d]\n", t->axis);
    fprintf(f, "\tTEXTURE OPACITY          [%f]\n", double(t->opacity));
    fprintf(f, "\tTEXTURE BLEND MODE       [%d]\n", t->blendMode);
    fprintf(f, "\tTEXTURE NEGATIVE         [%d]\n", t->negative);
    fprintf(f, "\tTEXTURE SIZE             [%g,%g,%g]\n", double(t->size[0]), double(t->size[1]),
            double(t->size[2]));
    fprintf(f, "\tTEXTURE CENTER           [%g,%g,%g]\n", double(t->center[0]), double(t->center[1]),
            double(t->center[2]));
    fprintf(f, "\tTEXTURE ROTATION         [%g,%g,%g]\n", double(t->rotation[0]),
            double(t->rotation[1]), double(t->rotation[2]));
    fprintf(f, "\tTEXTURE AMPLITUDE        [%g]\n", double(t->amplitude));
    fprintf(f, "\tIMAGE WRAP WIDTH AMOUNT  [%g]\n", double(t->wrapWidth));
    fprintf(f, "\tIMAGE WRAP HEIGHT AMOUNT [%g]\n", double(t->wrapHeight));
    fprintf(f, "\tWRAP OPTIONS             [%d,%d]\n", t->wrapModeWidth, t->wrapModeHeight);
    fprintf(f, "\tTEXTURE IMAGE NAME       [%s]\n", t->imageName.c_str());
    fprintf(f, "\tTEXTURE ALPHA IMAGE      [%s]\n", t->alphaImageName.c_str());
    fprintf(f, "\tTEXTURE REFERENCE OBJECT [%s]\n", t->referenceName.c_str());
    fprintf(f, "\tTXUV VMAP NAME           [%s]\n", t->uvMapName.c_str());
  }
  fputc('\n', f);
}

bool NameBefore(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const signed char x = static_cast<signed char>(*a), y = static_cast<signed char>(*b);
    if (x != y) {
      if (!*a) return true;
      if (!*b) return false;
      return x < y;
    }
    if (!*a) return false;
  }
}

void DumpSurfaces(ObjectDb* db, FILE* f) {
  auto& surfaces = db->store->surfaces;
  fprintf(f, "NSURF      [%d]\n", int(surfaces.size()));
  std::vector<const ObjSurface*> order;
  for (const ObjSurface& s : surfaces) order.push_back(&s);
  std::stable_sort(order.begin(), order.end(),
                   [](const ObjSurface* a, const ObjSurface* b) { return NameBefore(a->name, b->name); });
  for (const ObjSurface* s : order) {
    fprintf(f, "SURF [%s] SIZE <%d> INDEX <%d>\n", s->name, int(s->raw.size()), s->id);
    try {
      if (db->format == 1)
        DumpLwobSurface(f, s->raw.data(), s->raw.size());
      else
        DumpLwo2Surface(f, s->raw.data(), s->raw.size());
    } catch (const std::bad_alloc&) {
      fputs("??? OUT OF MEMORY\n", f);
    }
    if (s->attributes) DumpMaterial(f, *s->attributes);
    fputc('\n', f);
  }
  EndSection(f);
}

void DumpClip(FILE* f, const ClipChunks& c) {
  auto value = [f](const char* tag, const std::optional<ClipValue>& v) {
    if (v) fprintf(f, "[%s] (%d) <%f> <%d>\n", tag, v->length, double(v->value), int(v->envelope));
  };
  auto filter = [f](const char* tag, const std::optional<ClipFilter>& v) {
    if (!v) return;
    fprintf(f, "[%s] (%d) <%s> <%d>\n", tag, v->length, v->server.c_str(), v->flags);
    Bytes(f, v->data);
  };
  if (c.still) fprintf(f, "[STIL] (%d) <%s>\n", c.still->length, c.still->name.c_str());
  if (const auto& s = c.sequence)
    fprintf(f, "[ISEQ] (%d) <%d> <%d> <%d> <%d> <%d> <%d> <%s> <%s>\n", s->length, s->digits,
            s->flags, s->offset, s->reserved, s->start, s->end, s->prefix.c_str(), s->suffix.c_str());
  if (const auto& a = c.animation)
    fprintf(f, "[ANIM] (%d) <%s> <%s>\n", a->length, a->fileName.c_str(), a->serverName.c_str());
  if (const auto& r = c.reference)
    fprintf(f, "[XREF] (%d) <%d> <%s>\n", r->length, int(r->index), r->name.c_str());
  if (const auto& s = c.colorCycle)
    fprintf(f, "[STCC] (%d) <%d> <%d> <%s>\n", s->length, s->low, s->high, s->name.c_str());
  value("CONT", c.contrast);
  value("BRIT", c.brightness);
  value("SATR", c.saturation);
  value("HUE ", c.hue);
  value("GAMM", c.gamma);
  if (c.negative) fprintf(f, "[NEGA] (%d) <%d>\n", c.negative->length, c.negative->value);
  if (const auto& r = c.crop)
    fprintf(f, "[CROP] (%d) <%f> <%f> <%f> <%f>\n", r->length, double(r->values[0]),
            double(r->values[1]), double(r->values[2]), double(r->values[3]));
  if (c.alpha) fprintf(f, "[ALPH] (%d) <%d>\n", c.alpha->length, int(c.alpha->clip));
  if (const auto& m = c.composite)
    fprintf(f, "[COMP] (%d) <%d> <%f> <%d>\n", m->length, int(m->clip), double(m->opacity),
            int(m->envelope));
  filter("IFLT", c.imageFilter);
  filter("PFLT", c.pixelFilter);
  if (c.flags) fprintf(f, "[FLAG] (%d) <0x%08x>\n", c.flags->length, unsigned(c.flags->value));
  if (const auto& t = c.time)
    fprintf(f, "[TIME] (%d) <%f> <%f> <%f>\n", t->length, double(t->values[0]), double(t->values[1]),
            double(t->values[2]));
  if (c.alphaMode) fprintf(f, "[AMOD] (%d) <0x%04x>\n", c.alphaMode->length, c.alphaMode->value);
}

void DumpEnvelope(FILE* f, const EnvlChunks& e) {
  if (e.name) fprintf(f, "[NAME] (%d) <%s>\n", e.name->length, e.name->text.c_str());
  if (e.pre) fprintf(f, "[PRE ] (%d) <%d>\n", e.pre->length, e.pre->value);
  if (e.type) fprintf(f, "[TYPE] (%d) <%04x>\n", e.type->length, e.type->value);
  for (const EnvKey& k : e.keys) {
    fprintf(f, "[KEY ] (%d) <%f> <%f>\n", k.length, double(k.time), double(k.value));
    if (k.span) {
      fprintf(f, "[SPAN] (%d) <%s>", k.span->length, IdText(k.span->shape).text);
      for (float p : k.span->params) fprintf(f, " <%f>", double(p));
      fputc('\n', f);
    }
  }
  if (e.post) fprintf(f, "[POST] (%d) <%d>\n", e.post->length, e.post->value);
  for (const EnvChannel& c : e.channels) {
    fprintf(f, "[CHAN] (%d) <%s> <%d>\n", c.length, c.server.c_str(), c.flags);
    Bytes(f, c.data);
  }
}

int Dump(ObjectDb* db, FILE* f) {
  if (!f) return 0;
  CNumberLocale numbers;
  ObjectStore& store = *db->store;
  fprintf(f, "\n++++++++++++++++++ LWO2 FILE DUMP ++++++++++++++++++++\n");
  fprintf(f, "NAME       [%s]\n", db->path.c_str());
  fprintf(f, "TYPE       [%s]\n", FormatName(db->format));
  fprintf(f, "NLAYR      [%d]\n", int(store.layers.size()));
  EndSection(f);

  ObjLayer* saved = db->currentLayer;
  for (auto& layer : store.layers) {
    db->currentLayer = layer.get();
    DumpLayer(db, f, *layer);
  }
  db->currentLayer = saved;

  DumpSurfaces(db, f);

  fprintf(f, "NTAGS      [%d]\n", int(store.tags.size()));
  for (const ObjTag& t : store.tags)
    fprintf(f, "TAGS  NAME[%s] FLAGS[%d] TYPE[%s]\n", t.name, t.words[0], IdText(t.type).text);
  EndSection(f);

  fprintf(f, "NCLIP      [%d]\n", int(store.clips.size()));
  for (const ObjClip& c : store.clips) {
    fprintf(f, "CLIP INDEX[%d] SIZE[%d] NAME <%s>\n", c.id, int(c.raw.size()), c.name);
    if (auto parsed = ParseClipChunks(nullptr, c.raw.data(), c.raw.size())) DumpClip(f, *parsed);
  }
  EndSection(f);

  fprintf(f, "NENVL      [%d]\n", int(store.envelopes.size()));
  for (const ObjEnvelope& e : store.envelopes) {
    fprintf(f, "ENVELOPE INDEX[%d] SIZE[%d]\n", e.id, int(e.raw.size()));
    if (auto parsed = ParseEnvlChunks(nullptr, e.raw.data(), e.raw.size())) DumpEnvelope(f, *parsed);
  }
  EndSection(f);
  return ferror(f) ? SetError(db, ERR_FILE_WRITE) : 0;
}

}  // namespace

void InstallDumpOps(ObjectDbOps& o) { o.Dump = Dump; }
