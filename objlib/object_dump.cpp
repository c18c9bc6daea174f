// Dump: a readable listing of everything an ObjectDb holds. Reads only; the
// layers and polygon types it makes current are put back as they were.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "c_number_locale.h"
#include "clip_envelope.h"
#include "ops_internal.h"
#include "strips.h"
#include "surface_attributes.h"

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

void Bytes(FILE* f, const std::vector<uint8_t>& data) {
  for (size_t i = 0; i < data.size(); ++i) {
    if (i % 8 == 0) fputc('\t', f);
    const bool endOfLine = i % 8 == 7;
    fprintf(f, "0x%02x%s", data[i], endOfLine ? "\n" : (i + 1 < data.size() ? ", " : ""));
  }
  if (data.size() % 8) fputc('\n', f);
}

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

// The sub-chunks of a surface body: ID, length and bytes; texture blocks are
// opened one level down (their header's own sub-chunks after its ordinal).
void DumpSubChunks(FILE* f, const uint8_t* p, size_t size, int depth, bool lwo2) {
  size_t at = 0;
  while (at + 6 <= size) {
    const Id4 id = (Id4(p[at]) << 24) | (Id4(p[at + 1]) << 16) | (Id4(p[at + 2]) << 8) | p[at + 3];
    const size_t len = (size_t(p[at + 4]) << 8) | p[at + 5];
    const size_t body = at + 6, end = std::min(size, body + len);
    for (int d = 0; d < depth; ++d) fputc('\t', f);
    fprintf(f, "[%s] (%d)\n", IdText(id).text, int(len));
    const bool header = depth == 2 && at == 0;
    if (lwo2 && depth == 1 && id == MakeId4("BLOK")) {
      DumpSubChunks(f, p + body, end - body, 2, true);
    } else if (lwo2 && header) {
      size_t s = body;  // ordinal string, padded to even length
      while (s < end && p[s]) ++s;
      s = std::min(end, (s + 2) & ~size_t(1));
      DumpSubChunks(f, p + s, end - s, 3, true);
    } else {
      Bytes(f, std::vector<uint8_t>(p + body, p + end));
    }
    at = body + len + (len & 1);
  }
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
    DumpSubChunks(f, s->raw.data(), s->raw.size(), 1, db->format != 1);
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
