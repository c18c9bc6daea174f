// tamarind-info: prints what the object library reads from LightWave files.
//
//   tamarind-info [--json] [--triangulate] [--viewer] [--model] [--log FILE] FILE...
//
// Objects (.lwo) are read by the object library, scenes (.lws) by the scene
// library with their objects; --model opens objects the way the program
// does and prints only the model it would draw. One summary per file (text, or one JSON object per line with --json).
// Exit status 1 when any file could not be opened or read.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <strings.h>
#include <vector>

#include "clip_envelope.h"
#include "info_scene.h"
#include "json.h"
#include "objectdb.h"
#include "surface_chunks.h"
#include "viewer_model.h"

namespace {

struct Options {
  bool json = false;
  bool triangulate = false;
  bool viewer = false;
  bool model = false;
  const char* logPath = nullptr;
  std::vector<const char*> files;
};

const char* FormatName(int format) { return format == 1 ? "LWOB" : "LWO2"; }

std::string IdText(Id4 id) {
  char t[5];
  ID4ToText(id, t);
  for (int i = 0; i < 4; ++i)
    if (static_cast<unsigned char>(t[i]) < 0x20 || static_cast<unsigned char>(t[i]) > 0x7E) t[i] = '?';
  return t;
}

struct LayerSummary {
  int number, parent;
  std::string name;
  double pivot[3];
  int points;
  int polygons[5];
  int triangles;
  int normals;
  int uvs;
};

std::vector<LayerSummary> SummariseLayers(ObjectDb* db) {
  std::vector<LayerSummary> out;
  auto& o = db->ops;
  for (int i = 0; i < o.GetLayerCount(db); ++i) {
    o.SelectLayer(db, i);
    ObjLayer* l = o.GetLayer(db, i);
    LayerSummary s{};
    s.number = l->number;
    s.parent = l->parent;
    s.name = l->name;
    o.GetLayerPivot(db, s.pivot);
    s.points = o.GetPointCount(db);
    for (int t = 0; t < 5; ++t) {
      o.BeginPolygonType(db, kPolygonTypes[t]);
      s.polygons[t] = o.GetPolygonCount(db);
      if (t == 0)
        for (int p = 0; p < s.polygons[0]; ++p)
          if (o.GetPolygon(db, p)->vertexCount == 3) ++s.triangles;
    }
    o.BeginPolygonType(db, ID_FACE);
    s.normals = o.GetNormalCount(db);
    s.uvs = o.GetUvCount(db);
    out.push_back(s);
  }
  o.SelectLayer(db, 0);
  return out;
}

// What a surface body holds: the IDs of its sub-chunks and its blocks.
struct SurfaceSummary {
  std::string name;
  std::vector<std::string> subchunks;
  struct Block {
    std::string type;
    int projection;  // -1 when absent
    int image;       // clip index, 0 when none
  };
  std::vector<Block> blocks;
};

std::vector<SurfaceSummary> SummariseSurfaces(ObjectDb* db) {
  std::vector<SurfaceSummary> out;
  for (const char* name = db->ops.NextSurfaceName(db, nullptr); name; name = db->ops.NextSurfaceName(db, name)) {
    SurfaceSummary s;
    s.name = name;
    ObjSurface* surface = db->ops.FindSurface(db, name);
    if (db->format == 2 && surface) {
      auto c = ParseSurfChunks(db, *surface);
      if (c) {
        auto add = [&](bool present, const char* id) {
          if (present) s.subchunks.push_back(id);
        };
        add(bool(c->color), "COLR");
        add(bool(c->diffuse), "DIFF");
        add(bool(c->luminosity), "LUMI");
        add(bool(c->specular), "SPEC");
        add(bool(c->reflection), "REFL");
        add(bool(c->transparency), "TRAN");
        add(bool(c->translucency), "TRNL");
        add(bool(c->sharpness), "SHRP");
        add(bool(c->glossiness), "GLOS");
        add(bool(c->bump), "BUMP");
        add(bool(c->smoothing), "SMAN");
        add(bool(c->reflectionOptions), "RFOP");
        add(bool(c->sidedness), "SIDE");
        add(bool(c->reflectionImage), "RIMG");
        add(bool(c->reflectionSeam), "RSAN");
        add(bool(c->refractiveIndex), "RIND");
        add(bool(c->colorHighlights), "CLRH");
        add(bool(c->refractionOptions), "TROP");
        add(bool(c->refractionImage), "TIMG");
        add(bool(c->refractionSeam), "TSAN");
        add(bool(c->colorFilter), "CLRF");
        add(bool(c->additive), "ADTR");
        add(bool(c->alphaValue), "AVAL");
        add(bool(c->glowValue), "GVAL");
        add(bool(c->glow), "GLOW");
        add(bool(c->line), "LINE");
        add(bool(c->lineColor), "LCOL");
        add(bool(c->lineSize), "LSIZ");
        add(bool(c->alpha), "ALPH");
        add(bool(c->comment), "CMNT");
        add(bool(c->vertexColor), "VCOL");
        add(bool(c->reflectionBlur), "RBLR");
        add(bool(c->refractionBlur), "TBLR");
        for (auto& b : c->blocks)
          s.blocks.push_back({b.type ? IdText(b.type) : std::string("?"),
                              b.projection ? int(b.projection->value) : -1,
                              b.image ? int(b.image->index) : 0});
      }
    }
    out.push_back(std::move(s));
  }
  return out;
}

struct EnvelopeSummary {
  int id;
  std::vector<std::pair<float, float>> keys;  // time, value
};

std::vector<EnvelopeSummary> SummariseEnvelopes(ObjectDb* db) {
  std::vector<EnvelopeSummary> out;
  for (int i = 0; i < db->ops.GetEnvelopeCount(db); ++i) {
    ObjEnvelope* e = db->ops.GetEnvelope(db, i);
    EnvelopeSummary s{e->id, {}};
    if (auto c = ParseEnvlChunks(db, *e))
      for (auto& k : c->keys) s.keys.push_back({k.time, k.value});
    out.push_back(std::move(s));
  }
  return out;
}

struct MapSummary {
  std::string type, name;
  int dimension, count;
};

template <typename M>
std::vector<MapSummary> SummariseMaps(ObjectDb* db, const std::vector<M> ObjLayer::*maps) {
  std::vector<MapSummary> out;
  for (int i = 0; i < db->ops.GetLayerCount(db); ++i)
    for (const M& m : db->ops.GetLayer(db, i)->*maps)
      out.push_back({IdText(m.type), m.name, m.dimension, m.Count()});
  return out;
}

std::string ViewerJson(ObjectDb* db);

void PrintJson(const char* file, ObjectDb* db, bool viewer) {
  std::string s = "{\"file\": " + JsonString(file) + ", \"format\": \"" + FormatName(db->format) + "\"";
  s += ", \"layers\": [";
  auto layers = SummariseLayers(db);
  for (size_t i = 0; i < layers.size(); ++i) {
    const LayerSummary& l = layers[i];
    if (i) s += ", ";
    s += "{\"number\": " + std::to_string(l.number) + ", \"name\": " + JsonString(l.name) +
         ", \"parent\": " + std::to_string(l.parent) + ", \"pivot\": [" + JsonNumber(l.pivot[0]) + ", " +
         JsonNumber(l.pivot[1]) + ", " + JsonNumber(l.pivot[2]) + "], \"points\": " + std::to_string(l.points) +
         ", \"polygons\": {";
    for (int t = 0; t < 5; ++t) {
      if (t) s += ", ";
      s += "\"" + IdText(kPolygonTypes[t]) + "\": " + std::to_string(l.polygons[t]);
    }
    s += "}, \"triangles\": " + std::to_string(l.triangles) + ", \"normals\": " + std::to_string(l.normals) +
         ", \"uvs\": " + std::to_string(l.uvs) + "}";
  }
  s += "], \"tags\": [";
  for (int i = 0; i < db->ops.GetTagCount(db); ++i) {
    if (i) s += ", ";
    ObjTag* t = db->ops.GetTag(db, i);
    s += JsonString(t ? t->name : "");
  }
  s += "], \"surfaces\": [";
  int n = 0;
  for (const char* name = db->ops.NextSurfaceName(db, nullptr); name; name = db->ops.NextSurfaceName(db, name))
    s += (n++ ? ", " : "") + JsonString(name);
  s += "], \"clips\": " + std::to_string(db->ops.GetClipCount(db));
  s += ", \"clip_names\": [";
  for (int i = 0; i < db->ops.GetClipCount(db); ++i) s += (i ? ", " : "") + JsonString(db->ops.GetClip(db, i)->name);
  s += "], \"envelopes\": " + std::to_string(db->ops.GetEnvelopeCount(db));
  auto maps = [&](const char* key, const std::vector<MapSummary>& list) {
    s += std::string(", \"") + key + "\": [";
    for (size_t i = 0; i < list.size(); ++i) {
      if (i) s += ", ";
      s += "{\"type\": " + JsonString(list[i].type) + ", \"name\": " + JsonString(list[i].name) +
           ", \"dimension\": " + std::to_string(list[i].dimension) + ", \"count\": " + std::to_string(list[i].count) +
           "}";
    }
    s += "]";
  };
  maps("vmaps", SummariseMaps(db, &ObjLayer::vmaps));
  maps("vmads", SummariseMaps(db, &ObjLayer::vmads));
  s += ", \"surface_details\": [";
  auto surfaces = SummariseSurfaces(db);
  for (size_t i = 0; i < surfaces.size(); ++i) {
    if (i) s += ", ";
    s += "{\"name\": " + JsonString(surfaces[i].name) + ", \"subchunks\": [";
    for (size_t k = 0; k < surfaces[i].subchunks.size(); ++k)
      s += (k ? ", " : "") + JsonString(surfaces[i].subchunks[k]);
    s += "], \"blocks\": [";
    for (size_t k = 0; k < surfaces[i].blocks.size(); ++k) {
      auto& b = surfaces[i].blocks[k];
      s += std::string(k ? ", " : "") + "{\"type\": " + JsonString(b.type) +
           ", \"projection\": " + (b.projection < 0 ? std::string("null") : std::to_string(b.projection)) +
           ", \"image\": " + std::to_string(b.image) + "}";
    }
    s += "]}";
  }
  s += "], \"envelope_keys\": [";
  auto envelopes = SummariseEnvelopes(db);
  for (size_t i = 0; i < envelopes.size(); ++i) {
    s += std::string(i ? ", " : "") + "{\"id\": " + std::to_string(envelopes[i].id) + ", \"keys\": [";
    for (size_t k = 0; k < envelopes[i].keys.size(); ++k)
      s += std::string(k ? ", " : "") + "[" + JsonNumber(envelopes[i].keys[k].first) + ", " +
           JsonNumber(envelopes[i].keys[k].second) + "]";
    s += "]}";
  }
  s += "]";
  if (viewer) s += ", \"viewer\": " + ViewerJson(db);
  s += "}";
  printf("%s\n", s.c_str());
}

void PrintText(const char* file, ObjectDb* db, bool viewer) {
  printf("%s\n  format: %s\n", file, FormatName(db->format));
  for (const LayerSummary& l : SummariseLayers(db)) {
    printf("  layer %d \"%s\" parent %d pivot (%g, %g, %g): %d points", l.number, l.name.c_str(), l.parent,
           l.pivot[0], l.pivot[1], l.pivot[2], l.points);
    for (int t = 0; t < 5; ++t)
      if (l.polygons[t] || t == 0) printf(", %d %s", l.polygons[t], IdText(kPolygonTypes[t]).c_str());
    if (viewer) printf("; %d triangles, %d normals, %d uvs", l.triangles, l.normals, l.uvs);
    printf("\n");
  }
  printf("  tags (%d):", db->ops.GetTagCount(db));
  for (int i = 0; i < db->ops.GetTagCount(db); ++i) printf(" \"%s\"", db->ops.GetTag(db, i)->name);
  printf("\n  surfaces (%d):", db->ops.GetSurfaceCount(db));
  for (const char* name = db->ops.NextSurfaceName(db, nullptr); name; name = db->ops.NextSurfaceName(db, name))
    printf(" \"%s\"", name);
  printf("\n  clips (%d):", db->ops.GetClipCount(db));
  for (int i = 0; i < db->ops.GetClipCount(db); ++i) {
    ObjClip* c = db->ops.GetClip(db, i);
    printf(" %d \"%s\"", c->id, c->name);
  }
  printf("\n");
  for (auto& surface : SummariseSurfaces(db)) {
    printf("  surface \"%s\":", surface.name.c_str());
    for (auto& id : surface.subchunks) printf(" %s", id.c_str());
    for (auto& b : surface.blocks) {
      printf(" BLOK %s", b.type.c_str());
      if (b.projection >= 0) printf(" projection %d", b.projection);
      if (b.image) printf(" image %d", b.image);
    }
    printf("\n");
  }
  printf("  envelopes: %d\n", db->ops.GetEnvelopeCount(db));
  for (auto& e : SummariseEnvelopes(db)) {
    printf("  envelope %d:", e.id);
    for (auto& k : e.keys) printf(" (%g, %g)", double(k.first), double(k.second));
    printf("\n");
  }
  for (auto& m : SummariseMaps(db, &ObjLayer::vmaps))
    printf("  vmap %s \"%s\" dimension %d, %d values\n", m.type.c_str(), m.name.c_str(), m.dimension, m.count);
  for (auto& m : SummariseMaps(db, &ObjLayer::vmads))
    printf("  vmad %s \"%s\" dimension %d, %d points\n", m.type.c_str(), m.name.c_str(), m.dimension, m.count);
}

bool IsScene(const char* file) {
  size_t n = strlen(file);
  return n >= 4 && strcasecmp(file + n - 4, ".lws") == 0;
}

// A summary of a viewer model, in JSON or as text lines; group edges not yet
// built are built here.
std::string ModelJson(ViewerModel& m) {
  std::string s = "{\"vertices\": " + std::to_string(m.vertexCount) +
                  ", \"triangles\": " + std::to_string(m.triangleCount) + ", \"radius\": " + JsonNumber(m.radius) +
                  ", \"centre_height\": " + JsonNumber(m.centreHeight) + ", \"groups\": [";
  for (size_t i = 0; i < m.groups.size(); ++i) {
    SurfaceGroup& g = m.groups[i];
    if (!g.edgesBuilt) BuildSurfaceEdges(&m, &g);
    s += std::string(i ? ", " : "") + "{\"surface\": " + JsonString(g.surfaceName) +
         ", \"triangles\": " + std::to_string(g.triangleCount) + ", \"colour\": [" + JsonNumber(g.color[0]) + ", " +
         JsonNumber(g.color[1]) + ", " + JsonNumber(g.color[2]) + "], \"texture\": " +
         (g.textureIndex >= 0 ? JsonString(m.textures[size_t(g.textureIndex)].name) : std::string("null")) +
         ", \"boundary_edges\": " + std::to_string(g.boundaryEdgeCount) + "}";
  }
  return s + "]}";
}

void PrintModelText(ViewerModel& m) {
  printf("  viewer model: %d vertices, %d triangles, radius %g, centre height %g\n", m.vertexCount,
         m.triangleCount, double(m.radius), double(m.centreHeight));
  for (SurfaceGroup& g : m.groups) {
    if (!g.edgesBuilt) BuildSurfaceEdges(&m, &g);
    printf("    group \"%s\": %d triangles, colour (%g, %g, %g), texture %s, %d boundary edges\n",
           g.surfaceName.c_str(), g.triangleCount, double(g.color[0]), double(g.color[1]), double(g.color[2]),
           g.textureIndex >= 0 ? m.textures[size_t(g.textureIndex)].name.c_str() : "none", g.boundaryEdgeCount);
  }
}

// The viewer's renderable model of the object's first layer.
std::string ViewerJson(ObjectDb* db) {
  ViewerModel m;
  db->ops.SelectLayer(db, 0);
  BuildViewerModel(db, &m, 1);
  return ModelJson(m);
}

void PrintViewerText(ObjectDb* db) {
  ViewerModel m;
  db->ops.SelectLayer(db, 0);
  BuildViewerModel(db, &m, 1);
  PrintModelText(m);
}

// The program's own load of an object file (OpenViewerModel) and its model.
int PrintModel(const char* file, bool json) {
  std::unique_ptr<ViewerModel> m(OpenViewerModel(file, nullptr));
  if (!m) {
    fprintf(stderr, "%s: not a readable object\n", file);
    if (json) printf("{\"file\": %s, \"error\": \"not a readable object\"}\n", JsonString(file).c_str());
    return 1;
  }
  if (json) {
    printf("{\"file\": %s, \"model\": %s}\n", JsonString(file).c_str(), ModelJson(*m).c_str());
  } else {
    printf("%s\n", file);
    PrintModelText(*m);
  }
  FreeViewerModel(m.release(), nullptr);
  return 0;
}

int Usage() {
  fprintf(stderr, "usage: tamarind-info [--json] [--triangulate] [--viewer] [--model] [--log FILE] FILE...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--json")) opt.json = true;
    else if (!strcmp(argv[i], "--triangulate")) opt.triangulate = true;
    else if (!strcmp(argv[i], "--viewer")) opt.viewer = true;
    else if (!strcmp(argv[i], "--model")) opt.model = true;
    else if (!strcmp(argv[i], "--log") && i + 1 < argc) opt.logPath = argv[++i];
    else if (argv[i][0] == '-' && argv[i][1] == '-') return Usage();
    else opt.files.push_back(argv[i]);
  }
  if (opt.files.empty()) return Usage();

  FILE* log = nullptr;
  if (opt.logPath) {
    log = fopen(opt.logPath, "w");
    if (!log) {
      fprintf(stderr, "%s: cannot write the log\n", opt.logPath);
      return 1;
    }
  }
  LoadOptions load;
  if (opt.triangulate) load.flags = LOAD_TRIANGULATE;
  if (opt.viewer) {
    // The viewer's load: sorted, triangulated, UVs (the ".uv" file first),
    // one normal per point, vertex colours.
    load.flags = LOAD_SORT | LOAD_TRIANGULATE | LOAD_UVS | LOAD_NORMALS | LOAD_COLORS;
    load.normalFlags = 6;
    load.uvFlags = 10;
    load.uvChannels = 1;
    load.uvLayerCount = 2;
    load.colorFlags = 1;
  }

  int status = 0;
  for (const char* file : opt.files) {
    if (IsScene(file)) {
      status |= PrintSceneInfo(file, opt.json, stdout, stderr);
      continue;
    }
    if (opt.model) {
      status |= PrintModel(file, opt.json);
      continue;
    }
    ObjectDb* db = CreateObjectDb(0);
    if (!db) {
      fprintf(stderr, "%s: memory error\n", file);
      return 1;
    }
    db->logFile = log;
    if (log) fprintf(log, "%s\n", file);
    if (OpenObjectDbInto(db, file, &load) != 0) {
      const char* error = db->ops.TakeErrorText(db);
      if (!*error || !strcmp(error, "no error")) error = "unknown type";
      fprintf(stderr, "%s: %s\n", file, error);
      if (opt.json) printf("{\"file\": %s, \"error\": %s}\n", JsonString(file).c_str(), JsonString(error).c_str());
      status = 1;
    } else if (opt.json) {
      PrintJson(file, db, opt.viewer);
    } else {
      PrintText(file, db, opt.viewer);
      if (opt.viewer) PrintViewerText(db);
    }
    CloseObjectDb(&db);
  }
  if (log) fclose(log);
  return status;
}
