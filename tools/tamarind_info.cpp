// tamarind-info: prints what the object library reads from LightWave files.
//
//   tamarind-info [--json] [--triangulate] [--log FILE] FILE...
//
// One summary per file (text, or one JSON object per line with --json).
// Exit status 1 when any file could not be opened or read.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "json.h"
#include "objectdb.h"

namespace {

struct Options {
  bool json = false;
  bool triangulate = false;
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
    out.push_back(s);
  }
  o.SelectLayer(db, 0);
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

void PrintJson(const char* file, ObjectDb* db) {
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
    s += "}, \"triangles\": " + std::to_string(l.triangles) + "}";
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
  s += "}";
  printf("%s\n", s.c_str());
}

void PrintText(const char* file, ObjectDb* db) {
  printf("%s\n  format: %s\n", file, FormatName(db->format));
  for (const LayerSummary& l : SummariseLayers(db)) {
    printf("  layer %d \"%s\" parent %d pivot (%g, %g, %g): %d points", l.number, l.name.c_str(), l.parent,
           l.pivot[0], l.pivot[1], l.pivot[2], l.points);
    for (int t = 0; t < 5; ++t)
      if (l.polygons[t] || t == 0) printf(", %d %s", l.polygons[t], IdText(kPolygonTypes[t]).c_str());
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
  printf("\n  envelopes: %d\n", db->ops.GetEnvelopeCount(db));
  for (auto& m : SummariseMaps(db, &ObjLayer::vmaps))
    printf("  vmap %s \"%s\" dimension %d, %d values\n", m.type.c_str(), m.name.c_str(), m.dimension, m.count);
  for (auto& m : SummariseMaps(db, &ObjLayer::vmads))
    printf("  vmad %s \"%s\" dimension %d, %d points\n", m.type.c_str(), m.name.c_str(), m.dimension, m.count);
}

int Usage() {
  fprintf(stderr, "usage: tamarind-info [--json] [--triangulate] [--log FILE] FILE...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--json")) opt.json = true;
    else if (!strcmp(argv[i], "--triangulate")) opt.triangulate = true;
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

  int status = 0;
  for (const char* file : opt.files) {
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
      PrintJson(file, db);
    } else {
      PrintText(file, db);
    }
    CloseObjectDb(&db);
  }
  if (log) fclose(log);
  return status;
}
