// The viewer's renderable object: flat vertex, normal and texture-coordinate
// arrays and one group of triangles per surface, converted from the current
// layer of an ObjectDb. The viewer never draws from an ObjectDb.
//
// Coordinates become right-handed: z is negated and each triangle's corners
// are reversed, which keeps its facing. A single object is centred on its
// vertical extent and scaled to fit a sphere of radius 15.
//
// Every index a model holds is in range of its arrays (point and normal
// indices always; UV indices are -1 where a textured polygon has none).
//
// Threads: OpenViewerModel runs on the loader thread; textures are loaded
// and released on the main thread with the rendering context current.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ObjectDb;
class TextureTable;
class UiServices;

struct SurfaceGroup {
  int32_t capacity = 0;
  int32_t triangleCount = 0;
  std::vector<int32_t> points;    // 3 per triangle
  std::vector<int32_t> normals;   // 3 per triangle
  std::vector<int32_t> uvs;       // 3 per triangle; empty when untextured
  std::vector<float> faceNormals; // 3 per triangle
  std::vector<float> scratch;     // one per triangle, for the renderer
  float color[3] = {0, 0, 0};
  int32_t boundaryEdgeCount = 0;
  std::vector<int32_t> boundaryEdges;  // point index pairs
  bool edgesBuilt = false;             // set by BuildSurfaceEdges; a closed group has no edges
  int32_t textureIndex = -1;
  int32_t word = 0;
  std::string surfaceName;
};

struct ModelTexture {
  int32_t handle = -1;  // texture slot, -1 until loaded or on failure
  std::string name;     // image file name (after the last separator)
};

struct WeightMap {
  std::string name;
  std::vector<int32_t> points;
  std::vector<float> values;
};

struct ViewerModel {
  int32_t triangleCount = 0;
  std::vector<SurfaceGroup> groups;  // indexed by surface id
  int32_t vertexCount = 0;
  std::vector<float> vertices;  // x, y, -z
  int32_t normalCount = 0;
  std::vector<float> normals;   // x, y, -z
  int32_t uvCount = 0;
  std::vector<float> uvs;       // u, v
  std::vector<float> normalScratchA, normalScratchB;  // one per normal, for the renderer
  float radius = 0;
  float centreHeight = 0;
  std::vector<ModelTexture> textures;
  std::vector<WeightMap> weightMaps;
  // Owned by a drawing back-end that keeps its own buffers for the model.
  void* backendData = nullptr;
};

// Called when a model is built and before it is freed, so a back-end that
// keeps device buffers per model can make and release them. Installed by
// that back-end; none by default.
struct ModelBackendHooks {
  virtual ~ModelBackendHooks() = default;
  virtual void ModelBuilt(ViewerModel& model) = 0;
  virtual void ModelFreed(ViewerModel& model) = 0;
};
void SetModelBackendHooks(ModelBackendHooks* hooks);

// The load options the viewer opens objects with: sorted, triangulated, UVs
// (the ".uv" side file first, shared per point), one normal per point,
// vertex colours.
struct LoadOptions;
LoadOptions ViewerLoadOptions();

// Loads an object file and builds its model (centred and scaled). On a file
// neither reader accepts, shows "ファイルがオープンできません" with the path as
// caption through `ui` (when given) and returns null. The caller owns the
// result and frees it with FreeViewerModel.
ViewerModel* OpenViewerModel(const char* path, UiServices* ui);

// Fills an empty model from the current layer of an open ObjectDb; with
// normalise set, centres and scales it to radius 15 (a model of radius 0 is
// left unscaled). Polygons of fewer than three corners, or whose surface id
// has no group, are left out; a polygon of more corners gives its first three.
void BuildViewerModel(ObjectDb* db, ViewerModel* model, int normalise);

// The group's boundary edges: edges used by exactly one of its triangles, in
// the order they are first met, smaller point index first. When memory runs
// out the group is left with none.
void BuildSurfaceEdges(ViewerModel* model, SurfaceGroup* group);

// Loads each model texture by name through the table (linear filters,
// modulate, repeat). True when at least one handle is valid.
bool LoadViewerModelTextures(ViewerModel* model, TextureTable& table);

// Releases the model's textures (when a table is given) and the model.
void FreeViewerModel(ViewerModel* model, TextureTable* table);

// 1 when the model has a weight map of that name (out = the point's weight,
// 0 when the point is not in it); 0 otherwise (out = 0).
int GetWeightValue(const ViewerModel* model, const char* mapName, int point, float* out);

// The image file name of a stored path: the part after the last backslash
// or slash (the whole text when there is none).
std::string ImageFileName(const std::string& path);
