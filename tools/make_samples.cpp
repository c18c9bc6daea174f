// tamarind-samples: writes the project's bundled sample objects.
//
//   tamarind-samples OUTPUT_FOLDER
//
// Every file is written with the library's chunk writer in two passes (count
// only, then write), the way the object writer sizes its FORM.
#include <cmath>
#include <cstdio>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "chunk.h"

namespace {

struct Polygon {
  std::vector<uint32_t> points;
  int tag;  // index into the TAGS list (surface)
};

struct Layer {
  int number = 0;
  int parent = -1;
  std::string name;
  float pivot[3] = {0, 0, 0};
  std::vector<float> points;  // x, y, z
  std::vector<Polygon> polygons;
  // Optional UV map: one (u, v) per point, and per-polygon overrides.
  std::vector<float> uvs;
  struct Override {
    uint32_t point, polygon;
    float u, v;
  };
  std::vector<Override> seams;
};

struct Surface {
  std::string name;
  float color[3];
  float diffuse;
  float smoothing;  // radians, 0 for flat
  int imageClip = 0;  // a UV-mapped colour texture from this clip, 0 for none
};

struct Model {
  std::vector<std::string> tags;
  std::vector<Layer> layers;
  std::vector<Surface> surfaces;
  std::vector<std::string> clips;  // still images, clip indices from 1
};

using Emit = std::function<void(ChunkWriter&)>;

// Writes ID, U4 length (measured by a count-only pass) and the body.
void Chunk(ChunkWriter& w, const char* id, const Emit& body) {
  ChunkWriter counter(nullptr, 0);
  body(counter);
  w.WriteID4(id);
  w.U4(uint32_t(counter.Count()));
  body(w);
}

// A sub-chunk with a U2 length.
void SubChunk(ChunkWriter& w, const char* id, const Emit& body) {
  ChunkWriter counter(nullptr, 0);
  body(counter);
  w.WriteID4(id);
  w.U2(uint16_t(counter.Count()));
  body(w);
}

// An image map on the colour channel through the "UVMap" vertex map.
void WriteImageBlock(ChunkWriter& b, int clip) {
  const float zero[3] = {0, 0, 0}, one[3] = {1, 1, 1};
  SubChunk(b, "IMAP", [&](ChunkWriter& h) {
    h.WriteS0("\x80");
    SubChunk(h, "CHAN", [&](ChunkWriter& x) { x.WriteID4("COLR"); });
    SubChunk(h, "ENAB", [&](ChunkWriter& x) { x.U2(1); });
  });
  SubChunk(b, "TMAP", [&](ChunkWriter& t) {
    SubChunk(t, "CNTR", [&](ChunkWriter& x) { x.WriteVEC12(zero); x.WriteVX(0); });
    SubChunk(t, "SIZE", [&](ChunkWriter& x) { x.WriteVEC12(one); x.WriteVX(0); });
    SubChunk(t, "ROTA", [&](ChunkWriter& x) { x.WriteVEC12(zero); x.WriteVX(0); });
    SubChunk(t, "CSYS", [&](ChunkWriter& x) { x.U2(0); });
  });
  SubChunk(b, "PROJ", [&](ChunkWriter& x) { x.U2(5); });
  SubChunk(b, "AXIS", [&](ChunkWriter& x) { x.U2(2); });
  SubChunk(b, "IMAG", [&](ChunkWriter& x) { x.WriteVX(uint32_t(clip)); });
  SubChunk(b, "WRAP", [&](ChunkWriter& x) { x.U2(1); x.U2(1); });
  SubChunk(b, "VMAP", [&](ChunkWriter& x) { x.WriteS0("UVMap"); });
}

void WriteModel(ChunkWriter& w, const Model& m) {
  Chunk(w, "TAGS", [&](ChunkWriter& c) {
    for (auto& t : m.tags) c.WriteS0(t.c_str());
  });
  for (const Layer& l : m.layers) {
    Chunk(w, "LAYR", [&](ChunkWriter& c) {
      c.U2(uint16_t(l.number));
      c.U2(0);
      c.WriteVEC12(l.pivot);
      c.WriteS0(l.name.c_str());
      if (l.parent >= 0) c.U2(uint16_t(l.parent));
    });
    Chunk(w, "PNTS", [&](ChunkWriter& c) { c.WriteVEC12(l.points.data(), int(l.points.size() / 3)); });
    if (!l.uvs.empty())
      Chunk(w, "VMAP", [&](ChunkWriter& c) {
        c.WriteID4("TXUV");
        c.U2(2);
        c.WriteS0("UVMap");
        for (size_t i = 0; i < l.uvs.size() / 2; ++i) {
          c.WriteVX(uint32_t(i));
          c.WriteF4(&l.uvs[2 * i], 2);
        }
      });
    Chunk(w, "POLS", [&](ChunkWriter& c) {
      c.WriteID4("FACE");
      for (auto& p : l.polygons) {
        c.U2(uint16_t(p.points.size()));
        for (uint32_t i : p.points) c.WriteVX(i);
      }
    });
    Chunk(w, "PTAG", [&](ChunkWriter& c) {
      c.WriteID4("SURF");
      for (size_t i = 0; i < l.polygons.size(); ++i) {
        c.WriteVX(uint32_t(i));
        c.U2(uint16_t(l.polygons[i].tag));
      }
    });
    if (!l.seams.empty())
      Chunk(w, "VMAD", [&](ChunkWriter& c) {
        c.WriteID4("TXUV");
        c.U2(2);
        c.WriteS0("UVMap");
        for (auto& s : l.seams) {
          c.WriteVX(s.point);
          c.WriteVX(s.polygon);
          float uv[2] = {s.u, s.v};
          c.WriteF4(uv, 2);
        }
      });
  }
  for (size_t i = 0; i < m.clips.size(); ++i)
    Chunk(w, "CLIP", [&](ChunkWriter& c) {
      c.U4(uint32_t(i + 1));
      SubChunk(c, "STIL", [&](ChunkWriter& b) { b.WriteS0(m.clips[i].c_str()); });
    });
  for (const Surface& s : m.surfaces)
    Chunk(w, "SURF", [&](ChunkWriter& c) {
      c.WriteS0(s.name.c_str());
      c.WriteS0("");
      SubChunk(c, "COLR", [&](ChunkWriter& b) {
        b.WriteVEC12(s.color);
        b.WriteVX(0);
      });
      SubChunk(c, "DIFF", [&](ChunkWriter& b) {
        b.F4(s.diffuse);
        b.WriteVX(0);
      });
      if (s.smoothing > 0) SubChunk(c, "SMAN", [&](ChunkWriter& b) { b.F4(s.smoothing); });
      if (s.imageClip > 0) SubChunk(c, "BLOK", [&](ChunkWriter& b) { WriteImageBlock(b, s.imageClip); });
    });
}

bool Save(const std::string& path, const Model& m) {
  ChunkWriter counter(nullptr, 0);
  WriteModel(counter, m);
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  ChunkWriter w(f, 1);
  w.WriteID4("FORM");
  w.U4(uint32_t(counter.Count() + 4));
  w.WriteID4("LWO2");
  WriteModel(w, m);
  bool ok = !w.Error() && w.Count() == counter.Count() + 12;
  ok = fclose(f) == 0 && ok;
  if (!ok) remove(path.c_str());
  return ok;
}

void AddBox(Layer& l, float cx, float cy, float cz, float h, int topTag, int sideTag) {
  uint32_t base = uint32_t(l.points.size() / 3);
  for (int i = 0; i < 8; ++i) {
    l.points.push_back(cx + ((i & 1) ? h : -h));
    l.points.push_back(cy + ((i & 2) ? h : -h));
    l.points.push_back(cz + ((i & 4) ? h : -h));
  }
  // Clockwise seen from outside, as LightWave stores front faces.
  const uint32_t faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (int f = 0; f < 6; ++f) {
    Polygon p;
    for (uint32_t c : faces[f]) p.points.push_back(base + c);
    p.tag = (f == 3) ? topTag : sideTag;
    l.polygons.push_back(p);
  }
}

Model Cube() {
  Model m;
  m.tags = {"Sides", "Top"};
  m.surfaces = {{"Sides", {0.8f, 0.3f, 0.2f}, 1.0f, 0}, {"Top", {0.2f, 0.5f, 0.9f}, 0.9f, 0}};
  Layer l;
  AddBox(l, 0, 0, 0, 1, 1, 0);
  m.layers.push_back(l);
  return m;
}

Model Sphere() {
  const int slices = 24, stacks = 12;
  const double pi = 3.14159265358979323846;
  Model m;
  m.tags = {"Globe"};
  m.surfaces = {{"Globe", {0.9f, 0.9f, 0.8f}, 1.0f, float(89.5 * pi / 180)}};
  Layer l;
  auto add = [&](double x, double y, double z, double u, double v) {
    l.points.insert(l.points.end(), {float(x), float(y), float(z)});
    l.uvs.insert(l.uvs.end(), {float(u), float(v)});
    return uint32_t(l.points.size() / 3 - 1);
  };
  // Welded everywhere: the seam column (u = 0 in the map) and the poles get
  // per-polygon values in a discontinuous map, as LightWave writes them.
  uint32_t top = add(0, 1, 0, 0.5, 1), bottom = add(0, -1, 0, 0.5, 0);
  std::vector<std::vector<uint32_t>> ring(stacks - 1);
  for (int s = 1; s < stacks; ++s)
    for (int k = 0; k < slices; ++k) {
      double theta = pi * s / stacks, phi = 2 * pi * k / slices;
      ring[size_t(s - 1)].push_back(add(std::sin(theta) * std::cos(phi), std::cos(theta),
                                        std::sin(theta) * std::sin(phi), double(k) / slices,
                                        1 - double(s) / stacks));
    }
  auto at = [&](int s, int k) { return ring[size_t(s)][size_t(k % slices)]; };
  auto seam = [&](int s, uint32_t polygon) {
    l.seams.push_back({at(s, 0), polygon, 1.0f, float(1 - double(s + 1) / stacks)});
  };
  for (int k = 0; k < slices; ++k) {
    const bool last = k == slices - 1;
    double u = (k + 0.5) / slices;
    uint32_t index = uint32_t(l.polygons.size());
    l.polygons.push_back({{top, at(0, k + 1), at(0, k)}, 0});
    l.seams.push_back({top, index, float(u), 1});
    if (last) seam(0, index);
    for (int s = 0; s + 1 < stacks - 1; ++s) {
      index = uint32_t(l.polygons.size());
      l.polygons.push_back({{at(s, k), at(s, k + 1), at(s + 1, k + 1), at(s + 1, k)}, 0});
      if (last) {
        seam(s, index);
        seam(s + 1, index);
      }
    }
    index = uint32_t(l.polygons.size());
    l.polygons.push_back({{bottom, at(stacks - 2, k), at(stacks - 2, k + 1)}, 0});
    l.seams.push_back({bottom, index, float(u), 0});
    if (last) seam(stacks - 2, index);
  }
  m.layers.push_back(l);
  return m;
}

Model Shapes() {
  Model m;
  m.tags = {"Star", "Arrow"};
  m.surfaces = {{"Star", {1.0f, 0.8f, 0.1f}, 1.0f, 0}, {"Arrow", {0.1f, 0.7f, 0.3f}, 0.8f, 0}};
  Layer l;
  // A ten-corner star: concave at every inner corner, starting at one.
  const double pi = 3.14159265358979323846;
  Polygon star;
  for (int i = 0; i < 10; ++i) {
    double r = (i % 2 == 0) ? 0.4 : 1.0, a = pi / 2 + 2 * pi * i / 10;
    l.points.insert(l.points.end(), {float(r * std::cos(a)), float(r * std::sin(a)), 0.0f});
    star.points.push_back(uint32_t(i));
  }
  // Clockwise from the viewer at -z, as LightWave's front faces are.
  std::reverse(star.points.begin(), star.points.end());
  star.tag = 0;
  l.polygons.push_back(star);
  // A seven-corner arrow beside it, concave at two corners.
  const float arrow[7][2] = {{2, -0.3f}, {3, -0.3f}, {3, -0.8f}, {4, 0}, {3, 0.8f}, {3, 0.3f}, {2, 0.3f}};
  Polygon a;
  for (auto& p : arrow) {
    l.points.insert(l.points.end(), {p[0], p[1], 0.0f});
    a.points.push_back(uint32_t(l.points.size() / 3 - 1));
  }
  std::reverse(a.points.begin(), a.points.end());
  a.tag = 1;
  l.polygons.push_back(a);
  m.layers.push_back(l);
  return m;
}

Model TwoLayers() {
  Model m;
  m.tags = {"Base", "Arm"};
  m.surfaces = {{"Base", {0.6f, 0.6f, 0.6f}, 1.0f, 0}, {"Arm", {0.9f, 0.2f, 0.2f}, 1.0f, 0}};
  Layer base;
  base.number = 1;
  base.name = "Base";
  AddBox(base, 0, 0, 0, 1, 0, 0);
  Layer arm;
  arm.number = 2;
  arm.parent = 1;
  arm.name = "Arm";
  arm.pivot[0] = 0;
  arm.pivot[1] = 1;
  arm.pivot[2] = 0;
  AddBox(arm, 0, 2, 0, 0.5f, 1, 1);
  m.layers.push_back(base);
  m.layers.push_back(arm);
  return m;
}

// The cube with a checker image on its sides (each face the whole image,
// through per-face UVs) and a plain top.
Model TexturedCube() {
  Model m;
  m.tags = {"Checker", "Top"};
  m.surfaces = {{"Checker", {0.8f, 0.8f, 0.8f}, 1.0f, 0, 1}, {"Top", {0.3f, 0.6f, 0.9f}, 1.0f, 0}};
  m.clips = {"checker.tga"};
  Layer l;
  AddBox(l, 0, 0, 0, 1, 1, 0);
  l.uvs.assign(l.points.size() / 3 * 2, 0.0f);
  const float corner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (uint32_t f = 0; f < l.polygons.size(); ++f)
    for (size_t k = 0; k < 4; ++k)
      l.seams.push_back({l.polygons[f].points[k], f, corner[k][0], corner[k][1]});
  m.layers.push_back(l);
  return m;
}

// A 64 x 64 uncompressed 24-bit TGA: an 8 x 8 checker of cream and brick
// red, with a blue band along the first stored rows to show orientation.
bool SaveChecker(const std::string& path) {
  const int size = 64;
  std::vector<uint8_t> bytes(18, 0);
  bytes[2] = 2;
  bytes[12] = size;
  bytes[14] = size;
  bytes[16] = 24;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const bool dark = ((x / 8) + (y / 8)) % 2 == 1;
      uint8_t r = dark ? 170 : 240, g = dark ? 50 : 230, b = dark ? 40 : 200;
      if (y < 4) r = 30, g = 60, b = 200;
      bytes.insert(bytes.end(), {b, g, r});
    }
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = fclose(f) == 0 && ok;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: tamarind-samples OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  struct {
    const char* name;
    Model model;
  } samples[] = {{"cube.lwo", Cube()}, {"sphere.lwo", Sphere()}, {"shapes.lwo", Shapes()}, {"layers.lwo", TwoLayers()},
                 {"textured.lwo", TexturedCube()}};
  int status = 0;
  for (auto& s : samples) {
    std::string path = dir + "/" + s.name;
    if (!Save(path, s.model)) {
      fprintf(stderr, "%s: cannot write\n", path.c_str());
      status = 1;
    } else {
      printf("%s\n", path.c_str());
    }
  }
  const std::string checker = dir + "/checker.tga";
  if (!SaveChecker(checker)) {
    fprintf(stderr, "%s: cannot write\n", checker.c_str());
    status = 1;
  } else {
    printf("%s\n", checker.c_str());
  }
  return status;
}
