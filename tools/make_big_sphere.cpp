// tamarind-big-sphere: writes a tessellated UV sphere of about N polygons,
// for benchmarks.
//
//   tamarind-big-sphere N OUT.lwo
//
// Quads everywhere, triangles at the poles, a few concave ten-corner stars
// floating just outside the surface, one surface with a UV-mapped image
// texture, and a TXUV map. Point indices pass 0xFF00 as soon as N is a few
// tens of thousands, so the four-byte index form is exercised.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "chunk.h"

namespace {

struct Mesh {
  std::vector<float> points;  // x, y, z
  std::vector<float> uvs;     // u, v per point
  std::vector<std::vector<uint32_t>> polygons;

  uint32_t Add(double x, double y, double z, double u, double v) {
    points.insert(points.end(), {float(x), float(y), float(z)});
    uvs.insert(uvs.end(), {float(u), float(v)});
    return uint32_t(points.size() / 3 - 1);
  }
};

Mesh MakeSphere(long target) {
  const double pi = 3.14159265358979323846;
  // slices * stacks quads and triangles: stacks = slices / 2.
  int slices = int(std::sqrt(double(target) * 2.0));
  if (slices < 8) slices = 8;
  const int stacks = slices / 2;
  Mesh m;
  const uint32_t top = m.Add(0, 1, 0, 0.5, 1), bottom = m.Add(0, -1, 0, 0.5, 0);
  std::vector<uint32_t> ring;
  for (int s = 1; s < stacks; ++s)
    for (int k = 0; k < slices; ++k) {
      double theta = pi * s / stacks, phi = 2 * pi * k / slices;
      ring.push_back(m.Add(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi),
                           double(k) / slices, 1 - double(s) / stacks));
    }
  auto at = [&](int s, int k) { return ring[size_t(s) * size_t(slices) + size_t(k % slices)]; };
  for (int k = 0; k < slices; ++k) {
    m.polygons.push_back({top, at(0, k + 1), at(0, k)});
    for (int s = 0; s + 1 < stacks - 1; ++s)
      m.polygons.push_back({at(s, k), at(s, k + 1), at(s + 1, k + 1), at(s + 1, k)});
    m.polygons.push_back({bottom, at(stacks - 2, k), at(stacks - 2, k + 1)});
  }
  // A few concave stars hovering over the equator.
  for (int star = 0; star < 8; ++star) {
    double phi = 2 * pi * star / 8;
    double cx = 1.05 * std::cos(phi), cz = 1.05 * std::sin(phi);
    std::vector<uint32_t> corners;
    for (int i = 0; i < 10; ++i) {
      double r = (i % 2 == 0) ? 0.02 : 0.05, a = 2 * pi * i / 10;
      // In the plane tangent to the sphere at the star's centre.
      double tx = -std::sin(phi) * r * std::cos(a), tz = std::cos(phi) * r * std::cos(a);
      corners.push_back(m.Add(cx + tx, r * std::sin(a), cz + tz, 0.5, 0.5));
    }
    m.polygons.push_back(corners);
  }
  return m;
}

void Chunk(ChunkBuffWriter& w, const char* id, const ChunkBuffWriter& body) {
  w.WriteID4(MakeId4(id[0], id[1], id[2], id[3]));
  w.WriteU4(uint32_t(body.bytes.size()));
  w.WriteBytes(body.bytes.data(), body.bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::atol(argv[1]) <= 0) {
    fprintf(stderr, "usage: tamarind-big-sphere N OUT.lwo\n");
    return 2;
  }
  Mesh m = MakeSphere(std::atol(argv[1]));
  ChunkBuffWriter tags, layr, pnts, vmap, pols, ptag, surf, clip, w;
  tags.WriteS0("Globe");
  layr.WriteU2(0);
  layr.WriteU2(0);
  const float zero[3] = {0, 0, 0};
  layr.WriteVEC12(zero);
  layr.WriteS0("Sphere");
  for (size_t i = 0; i < m.points.size(); i += 3) pnts.WriteVEC12(&m.points[i]);
  vmap.WriteID4(MakeId4("TXUV"));
  vmap.WriteU2(2);
  vmap.WriteS0("UVMap");
  for (size_t i = 0; i < m.uvs.size() / 2; ++i) {
    vmap.WriteVX(uint32_t(i));
    vmap.WriteF4(m.uvs[2 * i]);
    vmap.WriteF4(m.uvs[2 * i + 1]);
  }
  pols.WriteID4(MakeId4("FACE"));
  ptag.WriteID4(MakeId4("SURF"));
  for (size_t i = 0; i < m.polygons.size(); ++i) {
    pols.WriteU2(uint16_t(m.polygons[i].size()));
    for (uint32_t p : m.polygons[i]) pols.WriteVX(p);
    ptag.WriteVX(uint32_t(i));
    ptag.WriteU2(0);
  }
  // One still image, mapped through the UV map.
  clip.WriteU4(1);
  ChunkBuffWriter stil;
  stil.WriteS0("images/globe.tga");
  clip.WriteID4(MakeId4("STIL"));
  clip.WriteU2(uint16_t(stil.bytes.size()));
  clip.WriteBytes(stil.bytes.data(), stil.bytes.size());
  surf.WriteS0("Globe");
  surf.WriteS0("");
  const float color[3] = {0.8f, 0.8f, 0.75f};
  surf.WriteID4(MakeId4("COLR"));
  surf.WriteU2(14);
  surf.WriteVEC12(color);
  surf.WriteVX(0);
  surf.WriteID4(MakeId4("SMAN"));
  surf.WriteU2(4);
  surf.WriteF4(1.56207f);
  ChunkBuffWriter blok, head;
  head.WriteS0("\x80");
  head.WriteID4(MakeId4("CHAN"));
  head.WriteU2(4);
  head.WriteID4(MakeId4("COLR"));
  blok.WriteID4(MakeId4("IMAP"));
  blok.WriteU2(uint16_t(head.bytes.size()));
  blok.WriteBytes(head.bytes.data(), head.bytes.size());
  blok.WriteID4(MakeId4("PROJ"));
  blok.WriteU2(2);
  blok.WriteU2(5);
  blok.WriteID4(MakeId4("IMAG"));
  blok.WriteU2(2);
  blok.WriteVX(1);
  ChunkBuffWriter name;
  name.WriteS0("UVMap");
  blok.WriteID4(MakeId4("VMAP"));
  blok.WriteU2(uint16_t(name.bytes.size()));
  blok.WriteBytes(name.bytes.data(), name.bytes.size());
  surf.WriteID4(MakeId4("BLOK"));
  surf.WriteU2(uint16_t(blok.bytes.size()));
  surf.WriteBytes(blok.bytes.data(), blok.bytes.size());

  Chunk(w, "TAGS", tags);
  Chunk(w, "LAYR", layr);
  Chunk(w, "PNTS", pnts);
  Chunk(w, "VMAP", vmap);
  Chunk(w, "POLS", pols);
  Chunk(w, "PTAG", ptag);
  Chunk(w, "CLIP", clip);
  Chunk(w, "SURF", surf);

  FILE* f = fopen(argv[2], "wb");
  if (!f) {
    fprintf(stderr, "%s: cannot write\n", argv[2]);
    return 1;
  }
  ChunkWriter out(f, 1);
  out.WriteID4("FORM");
  out.U4(uint32_t(w.bytes.size() + 4));
  out.WriteID4("LWO2");
  out.WriteBytes(w.bytes.data(), w.bytes.size());
  bool ok = !out.Error();
  ok = fclose(f) == 0 && ok;
  if (!ok) {
    fprintf(stderr, "%s: write failed\n", argv[2]);
    remove(argv[2]);
    return 1;
  }
  printf("%s: %zu points, %zu polygons\n", argv[2], m.points.size() / 3, m.polygons.size());
  return 0;
}
