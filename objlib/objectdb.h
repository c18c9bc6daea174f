// The object database: one loaded LightWave object (LWO2 or LWOB) with its
// layers, points, polygons, tags, surfaces, clips, envelopes, vertex maps and
// derived normals, texture coordinates, colours and edges.
//
// Every caller reaches the data through the operations table `ops`, whose
// functions all take the ObjectDb first:
//
//   ObjectDb* db = OpenObjectDb("ship.lwo", nullptr);
//   if (db) {
//     db->ops.SelectLayer(db, 0);
//     int n = db->ops.GetPointCount(db);
//     CloseObjectDb(&db);
//   }
//
// Status results: 0 success, otherwise an ObjError code; index errors give 8
// (ERR_PARAM) without touching the record's error field. Getters return null
// for a negative index or one not below the count.
//
// Ownership: the ObjectDb owns everything it holds; texts handed in are
// copied. Element pointers returned by getters (points, polygons, normals...)
// stay valid until the next operation that adds to or frees the same array.
// Tag, surface, clip and envelope records never move while they exist, so a
// polygon's surface name (which points at its tag's text) stays valid.
//
// Untrusted input: the readers behind Load / OpenObjectDb are safe on any
// byte sequence: every size, count and index read from a file is bounded, and
// whatever loads is consistent (every stored index is in range).
//
// Not thread-safe: one thread at a time per ObjectDb; Log uses no shared
// buffer but a log file must not be shared between threads.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "chunk.h"
#include "corner_array.h"
#include "prefault.h"

struct ObjectDb;
struct SurfaceAttributes;
struct TextureLayer;
struct EdgeLoop;
struct LoopItem;
struct CornerUv;

enum ObjError {
  ERR_NONE = 0,
  ERR_MEMORY = 1,
  ERR_FILE_OPEN = 2,
  ERR_DISK_FULL = 3,
  ERR_UNKNOWN_TYPE = 4,
  ERR_FILE_READ = 5,
  ERR_FILE_WRITE = 6,
  ERR_BAD_FORMAT = 7,
  ERR_PARAM = 8,
  ERR_DATABASE = 9,
  ERR_TIM_OPEN = 10,
  ERR_BAD_POLYGON = 11,
  ERR_POINT_COUNT = 12,
  ERR_UV_TEXTURE = 13,
};

// Text of an error code ("no error", "memory error", ...); "" when unknown.
const char* ObjErrorText(int code);

// Names are kept as fixed texts of this size (255 bytes and a NUL).
constexpr int kNameSize = 256;

// Copies src into dst, cut to dst's capacity - 1 bytes; null src gives "".
template <size_t N>
inline void CopyName(char (&dst)[N], const char* src) {
  size_t i = 0;
  if (src)
    for (; i + 1 < N && src[i]; ++i) dst[i] = src[i];
  dst[i] = 0;
}

constexpr Id4 ID_FACE = MakeId4("FACE");
constexpr Id4 ID_CURV = MakeId4("CURV");
constexpr Id4 ID_PTCH = MakeId4("PTCH");
constexpr Id4 ID_MBAL = MakeId4("MBAL");
constexpr Id4 ID_BONE = MakeId4("BONE");
constexpr Id4 ID_SURF = MakeId4("SURF");
constexpr Id4 ID_PART = MakeId4("PART");
constexpr Id4 ID_TXUV = MakeId4("TXUV");
constexpr Id4 ID_RGB = MakeId4("RGB ");
constexpr Id4 ID_RGBA = MakeId4("RGBA");
constexpr Id4 ID_WGHT = MakeId4("WGHT");

// The five polygon types in their fixed order.
constexpr Id4 kPolygonTypes[5] = {ID_FACE, ID_CURV, ID_PTCH, ID_MBAL, ID_BONE};
// Position of a polygon type in kPolygonTypes; -1 for any other value.
int PolygonTypeIndex(Id4 type);

using IndexArray = std::vector<int32_t>;

struct ObjPoint {
  void* userData = nullptr;
  int32_t word = 0;
  int32_t edge = -1;
  int32_t word2 = 0;
  double x = 0, y = 0, z = 0;
};

// The fields of a polygon record; see ObjPolygon.
struct ObjPolygonFields {
  void* userData = nullptr;
  int32_t flags = 0;  // LWO2 POLS flag bits (top 6 bits of the count word)
  int32_t word = 0;
  int32_t index = 0;
  int32_t edge = -1;
  const char* surfaceName = nullptr;  // text of its SURF tag, or null
  int32_t surfaceId = 0;
  int32_t sortKey = 0;
  int32_t vertexCount = 0;
  CornerArray points;
  CornerArray normals;  // per corner; empty until normals are built
  CornerArray colors;   // per corner; empty until colours are built
  CornerChannel* currentChannel = nullptr;
  CornerChannelList channels;
  double normal[3] = {0, 0, 0};
};

// A polygon. Per-corner arrays keep up to four values in the record itself
// and the first channel lives in the record too (see corner_array.h), so a
// copied or moved record re-points currentChannel at its own first channel.
struct ObjPolygon : ObjPolygonFields {
  ObjPolygon() = default;
  ObjPolygon(const ObjPolygon& o) : ObjPolygonFields(o) { Rebind(o); }
  ObjPolygon(ObjPolygon&& o) noexcept : ObjPolygonFields(std::move(o)) { Rebind(o); }
  ObjPolygon& operator=(const ObjPolygon& o) {
    if (this != &o) {
      ObjPolygonFields::operator=(o);
      Rebind(o);
    }
    return *this;
  }
  ObjPolygon& operator=(ObjPolygon&& o) noexcept {
    if (this != &o) {
      ObjPolygonFields::operator=(std::move(o));
      Rebind(o);
    }
    return *this;
  }

 private:
  void Rebind(const ObjPolygon& from) {
    if (from.currentChannel == from.channels.InlineChannel()) currentChannel = channels.InlineChannel();
  }
};

struct ObjNormal {
  void* userData = nullptr;
  int32_t word = 0;
  double x = 0, y = 0, z = 0;
};

struct ObjUv {
  int32_t words[2] = {0, 0};
  double u = 0, v = 0, w = 0;
};

struct ObjColor {
  int32_t words[2] = {0, 0};
  float r = 0, g = 0, b = 0, a = 0;
};

struct ObjEdge {
  int32_t words[2] = {0, 0};
  int32_t first = 0, second = 0;
  int32_t polygon = -1;
  int32_t polygon2 = -1;
  int32_t neighbour[2] = {-1, -1};
};

struct ObjTag {
  int32_t words[2] = {0, 0};
  int32_t id = 0;
  Id4 type = 0;
  char name[kNameSize] = {};
};

struct ObjSurface {
  int32_t word = 0;
  int32_t flags = 0;  // bit 0: excluded from angle-based normal building
  int32_t id = 0;
  char name[kNameSize] = {};
  char name2[kNameSize + 1] = {};
  std::vector<uint8_t> raw;  // SURF body after its two names
  SurfaceAttributes* attributes = nullptr;  // built on demand, owned
};

struct ObjClip {
  int32_t words[2] = {0, 0};
  int32_t id = 0;
  std::vector<uint8_t> raw;
  char name[kNameSize] = {};
};

struct ObjEnvelope {
  int32_t words[2] = {0, 0};
  int32_t id = 0;
  std::vector<uint8_t> raw;
};

struct PolygonTagTable {
  int32_t index = 0;
  Id4 type = 0;
  IndexArray polygons;  // parallel with tags
  IndexArray tags;
  IndexArray slotOf;  // indexed by polygon, -1 = not in the table
  int32_t Count() const { return int32_t(polygons.size()); }
};

struct ObjVMap {
  int32_t index = 0;
  Id4 type = 0;
  char name[kNameSize] = {};
  int32_t dimension = 0;
  IndexArray points;          // per slot
  std::vector<float> values;  // slot * dimension
  IndexArray slotOf;          // indexed by point, -1 = none
  int32_t Count() const { return int32_t(points.size()); }
};

struct VMadNode {
  int32_t polygon = 0;
  std::vector<float> values;
};

struct VMadSlot {
  int32_t point = 0;
  std::vector<VMadNode> nodes;
};

struct ObjVMad {
  int32_t index = 0;
  Id4 type = 0;
  Id4 polygonType = ID_FACE;  // the polygon type current when it was added
  char name[kNameSize] = {};
  int32_t dimension = 0;
  std::vector<VMadSlot> slots;
  IndexArray slotOf;  // indexed by point
  int32_t Count() const { return int32_t(slots.size()); }
};

struct PolygonTypeGroup {
  Id4 type = 0;
  std::vector<ObjPolygon> polygons;
  std::vector<PolygonTagTable> tagTables;
};

// Links from a point (or normal) to the polygons that use it, in polygon and
// corner order. The arrays live in the layer's link pool.
struct PolygonLinks {
  int32_t count = 0;
  int32_t capacity = 0;
  int32_t* polygons = nullptr;
  int32_t* corners = nullptr;
};

struct ObjLayer {
  int32_t ordinal = 0;
  int32_t number = 0;
  int32_t parent = -1;  // a layer number, -1 when none
  char name[kNameSize] = {};
  int32_t flags = 0;
  double pivot[3] = {0, 0, 0};
  double bounds[6] = {0, 0, 0, 0, 0, 0};
  int32_t currentType = 0;  // position in groups / kPolygonTypes
  std::vector<ObjPoint> points;
  std::vector<ObjNormal> normals;
  std::vector<ObjUv> uvs;
  std::vector<ObjEdge> edges;
  std::vector<ObjColor> colors;
  std::vector<ObjVMap> vmaps;
  std::vector<ObjVMad> vmads;
  std::vector<EdgeLoop*> loops;  // owned by the strip builder
  std::vector<uint8_t> pointUserData, normalUserData, polygonUserData;
  std::vector<int32_t> pointLinkPool, normalLinkPool;
  bool pointLinksBuilt = false, normalLinksBuilt = false;
  // Set by Load while one set of point links serves both its UV and its
  // normal step: those steps then use the links they find built and leave
  // them for Load to free.
  bool pointLinksHeld = false;
  // Set while a layer as its reader left it is post-processed (see
  // PostProcessCurrentLayer), each until the step that may give them: no
  // polygon has corner channels or a current channel, and none has corner
  // colours. The library's own steps then have none to clear.
  bool noCornerChannels = false, noCornerColors = false;
  PolygonTypeGroup groups[5];

  std::vector<ObjPolygon>& Polygons() { return groups[currentType].polygons; }
  std::vector<PolygonTagTable>& TagTables() { return groups[currentType].tagTables; }
  Id4 CurrentType() const { return kPolygonTypes[currentType]; }
};

struct LoadOptions {
  int32_t flags = 0;  // 1 sort, 2 triangulate, 4 UVs, 8 normals, 16 edges, 32 colours
  char contentDirectory[kNameSize] = {};
  int32_t readerParameter = 0;
  int32_t normalFlags = 0;
  int32_t uvFlags = 0;
  int16_t uvChannels = 1;
  int16_t uvLayerCount = 1;
  int32_t colorFlags = 0;
  int32_t triangulationFlags = 0;
};

enum LoadFlag {
  LOAD_SORT = 1,
  LOAD_TRIANGULATE = 2,
  LOAD_UVS = 4,
  LOAD_NORMALS = 8,
  LOAD_EDGES = 16,
  LOAD_COLORS = 32,
};

// The 155 operations, in their fixed slot order.
struct ObjectDbOps {
  // Layers
  ObjLayer* (*AddLayer)(ObjectDb*, const char* name);
  ObjLayer* (*NextLayer)(ObjectDb*, ObjLayer* layer);
  ObjLayer* (*LastLayer)(ObjectDb*);
  int (*GetLayerCount)(ObjectDb*);
  int (*SelectLayer)(ObjectDb*, int ordinal);
  ObjLayer* (*GetLayer)(ObjectDb*, int ordinal);
  int (*GetLayerPivot)(ObjectDb*, double out[3]);
  int (*SetLayerPivot)(ObjectDb*, double x, double y, double z);
  int (*GetParentLayerName)(ObjectDb*, char out[kNameSize]);
  int (*SetParentLayerByName)(ObjectDb*, const char* name);
  int (*ComputeLayerBounds)(ObjectDb*);
  int (*GetLayerBounds)(ObjectDb*, double out[6]);
  int (*BeginPolygonType)(ObjectDb*, Id4 type);
  int (*EndPolygonType)(ObjectDb*);
  Id4 (*NextPolygonType)(ObjectDb*, Id4 type);
  int (*FreeLayers)(ObjectDb*);
  // Tags
  int (*GetTagCount)(ObjectDb*);
  int (*AddTag)(ObjectDb*, const char* name, Id4 type);
  ObjTag* (*GetTag)(ObjectDb*, int id);
  ObjTag* (*FindTag)(ObjectDb*, const char* name, Id4 type);
  int (*FreeTags)(ObjectDb*);
  // Points
  int (*GetPointCount)(ObjectDb*);
  int (*AddPoint)(ObjectDb*, double x, double y, double z);
  ObjPoint* (*GetPoint)(ObjectDb*, int index);
  int (*FreePoints)(ObjectDb*);
  // Polygons
  int (*GetPolygonCount)(ObjectDb*);
  int (*GetCornerCount)(ObjectDb*);
  int (*AddPolygon)(ObjectDb*, int count, const int32_t* points, const char* surface);
  ObjPolygon* (*GetPolygon)(ObjectDb*, int index);
  int (*GetPolygonNormal)(ObjectDb*, int index, double out[3]);
  int (*CountPolygonsOfSurface)(ObjectDb*, const char* name);
  int (*SetPolygonSurface)(ObjectDb*, int index, const char* name);
  int (*SetPolygonPoints)(ObjectDb*, int index, int count, const int32_t* points);
  int (*SetPolygonNormals)(ObjectDb*, int index, int count, const int32_t* normals);
  int (*SetPolygonChannelValues)(ObjectDb*, int index, int count, const int32_t* values);
  int (*SetPolygonColors)(ObjectDb*, int index, int count, const int32_t* colors);
  int (*ResolveSurfaceIds)(ObjectDb*);
  CornerChannel* (*SelectPolygonChannel)(ObjectDb*, int index, int key, int key2);
  CornerChannel* (*FindPolygonChannel)(ObjectDb*, int index, int key, int key2);
  int (*FreePolygons)(ObjectDb*);
  // Normals
  int (*GetNormalCount)(ObjectDb*);
  int (*AddNormal)(ObjectDb*, double x, double y, double z);
  int (*AddSharedNormal)(ObjectDb*, int point, double x, double y, double z);
  ObjNormal* (*GetNormal)(ObjectDb*, int index);
  int (*BuildNormals)(ObjectDb*, int flags);
  int (*FreeNormals)(ObjectDb*);
  // Texture coordinates
  int (*GetUvCount)(ObjectDb*);
  int (*AddUv)(ObjectDb*, double u, double v, double w);
  int (*AddSharedUv)(ObjectDb*, int point, double u, double v, double w);
  ObjUv* (*GetUv)(ObjectDb*, int index);
  int (*SetUv)(ObjectDb*, int index, double u, double v, double w);
  int (*BuildUvs)(ObjectDb*, int channels, int layerCount, int flags);
  int (*MapPolygonUvs)(ObjectDb*, int channel, int n, int flags);
  int (*ProjectCornerUv)(ObjectDb*, TextureLayer* layer, int flags, int polygon, CornerUv* out);
  int (*LoadUvFile)(ObjectDb*, int flags);
  int (*FreeUvs)(ObjectDb*);
  // Colours
  int (*GetColorCount)(ObjectDb*);
  int (*AddColorBytes)(ObjectDb*, int r, int g, int b, int a);
  int (*AddColor)(ObjectDb*, float r, float g, float b, float a);
  int (*AddSharedColor)(ObjectDb*, int point, float r, float g, float b, float a);
  ObjColor* (*GetColor)(ObjectDb*, int index);
  int (*BuildVertexColors)(ObjectDb*, int flags);
  int (*FreeColors)(ObjectDb*);
  // Surfaces
  int (*GetSurfaceCount)(ObjectDb*);
  const char* (*AddSurface)(ObjectDb*, const char* name);
  ObjSurface* (*FindSurface)(ObjectDb*, const char* name);
  const char* (*NextSurfaceName)(ObjectDb*, const char* name);
  ObjSurface* (*GetSurface)(ObjectDb*, int id);
  int (*SetSurfaceData)(ObjectDb*, const char* name, int size, const void* bytes);
  int (*RenameSurface)(ObjectDb*, const char* oldName, const char* newName);
  int (*FreeSurfaces)(ObjectDb*);
  // Surface attributes and texture layers
  SurfaceAttributes* (*NewSurfaceAttributes)(ObjectDb*, const char* name);
  SurfaceAttributes* (*GetSurfaceAttributes)(ObjectDb*, int surfaceId);
  int (*PrepareSurfaceAttributes)(ObjectDb*, int surfaceId, int channel);
  int (*FreeSurfaceAttributes)(ObjectDb*, SurfaceAttributes* record);
  TextureLayer* (*NewTextureLayer)(ObjectDb*, SurfaceAttributes* record);
  TextureLayer* (*GetTextureLayer)(ObjectDb*, SurfaceAttributes* record, int channel, int n);
  int (*SelectTextureLayers)(ObjectDb*, int channel, int n);
  // Clips
  int (*GetClipCount)(ObjectDb*);
  int (*NextClipId)(ObjectDb*);
  int (*AddClip)(ObjectDb*, int id);
  int (*SetClipData)(ObjectDb*, int ordinal, int size, const void* bytes);
  ObjClip* (*GetClip)(ObjectDb*, int ordinal);
  int (*FindClipOrdinal)(ObjectDb*, int id);
  int (*SetClipName)(ObjectDb*, int ordinal, const char* name);
  int (*FindClipByName)(ObjectDb*, const char* name);
  int (*FreeClips)(ObjectDb*);
  // Envelopes
  int (*GetEnvelopeCount)(ObjectDb*);
  int (*AddEnvelope)(ObjectDb*, int id);
  int (*SetEnvelopeData)(ObjectDb*, int ordinal, int size, const void* bytes);
  ObjEnvelope* (*GetEnvelope)(ObjectDb*, int ordinal);
  int (*FreeEnvelopes)(ObjectDb*);
  // Edges
  int (*GetEdgeCount)(ObjectDb*);
  ObjEdge* (*GetEdge)(ObjectDb*, int index);
  int (*BuildEdges)(ObjectDb*);
  void* (*EmptySlot)(ObjectDb*);
  int (*FreeEdges)(ObjectDb*);
  // Edge loops (polygon strips)
  int (*GetLoopCount)(ObjectDb*);
  EdgeLoop* (*GetLoop)(ObjectDb*, int index);
  LoopItem* (*GetLoopItem)(ObjectDb*, int index, int n);
  int (*BuildLoops)(ObjectDb*, const void* options);
  int (*FreeLoops)(ObjectDb*);
  int (*SortLoops)(ObjectDb*);
  // Vertex maps
  int (*GetVMapCount)(ObjectDb*, Id4 type);
  ObjVMap* (*NextVMap)(ObjectDb*, ObjVMap* map, Id4 type);
  int (*AddVMap)(ObjectDb*, Id4 type, const char* name, int dimension);
  int (*SetVMapValue)(ObjectDb*, int map, int point, const float* values);
  ObjVMap* (*FindVMap)(ObjectDb*, Id4 type, const char* name);
  const float* (*GetVMapValue)(ObjectDb*, ObjVMap* map, int point);
  int (*FreeVMaps)(ObjectDb*, Id4 type);
  int (*DeleteVMap)(ObjectDb*, int index);
  int (*ClearVMap)(ObjectDb*, int index);
  int (*RenameVMap)(ObjectDb*, int index, const char* name);
  // Discontinuous vertex maps
  int (*GetVMadCount)(ObjectDb*, Id4 type);
  ObjVMad* (*NextVMad)(ObjectDb*, ObjVMad* map, Id4 type);
  int (*AddVMad)(ObjectDb*, Id4 type, const char* name, int dimension);
  int (*SetVMadValue)(ObjectDb*, int map, int point, int polygon, const float* values);
  ObjVMad* (*FindVMad)(ObjectDb*, Id4 type, const char* name);
  const float* (*GetVMadValue)(ObjectDb*, ObjVMad* map, int point, int polygon);
  int (*FreeVMads)(ObjectDb*, Id4 type);
  int (*DeleteVMad)(ObjectDb*, int index);
  int (*ClearVMad)(ObjectDb*, int index);
  // Polygon tag tables
  int (*GetPolygonTagTableCount)(ObjectDb*, Id4 type);
  PolygonTagTable* (*NextPolygonTagTable)(ObjectDb*, PolygonTagTable* table, Id4 type);
  int (*AddPolygonTagTable)(ObjectDb*, Id4 type);
  const char* (*SetPolygonTag)(ObjectDb*, int polygon, Id4 type, const char* name);
  PolygonTagTable* (*GetPolygonTagTable)(ObjectDb*, int index);
  PolygonTagTable* (*FindPolygonTagTable)(ObjectDb*, PolygonTagTable* table, int polygon, Id4 type);
  ObjTag* (*GetPolygonTag)(ObjectDb*, PolygonTagTable* table, int polygon);
  int (*FreePolygonTagTables)(ObjectDb*, Id4 type);
  int (*CopyPolygonTags)(ObjectDb*, int from, int to);
  int (*DeletePolygonTagTable)(ObjectDb*, int index);
  // Per-element user data and links
  int (*AllocPolygonUserData)(ObjectDb*, int size);
  int (*AllocPointUserData)(ObjectDb*, int size);
  int (*AllocNormalUserData)(ObjectDb*, int size);
  int (*FreePolygonUserData)(ObjectDb*);
  int (*FreePointUserData)(ObjectDb*);
  int (*FreeNormalUserData)(ObjectDb*);
  int (*BuildPointPolygonLinks)(ObjectDb*);
  int (*BuildNormalPolygonLinks)(ObjectDb*);
  int (*FreePointPolygonLinks)(ObjectDb*);
  int (*FreeNormalPolygonLinks)(ObjectDb*);
  // Transforms
  int (*TranslatePoints)(ObjectDb*, double dx, double dy, double dz);
  int (*ScalePoints)(ObjectDb*, double sx, double sy, double sz);
  // Triangulation
  int (*TriangulatePolygon)(ObjectDb*, int index, int flags);
  int (*TriangulatePolygons)(ObjectDb*, int flags);
  // Whole object
  int (*SortPolygons)(ObjectDb*);
  int (*SortSurfaces)(ObjectDb*);
  int (*Load)(ObjectDb*, const char* path, int format, const LoadOptions* options);
  int (*Save)(ObjectDb*, const char* path, int format, int flags);
  ObjectDb* (*Clone)(ObjectDb*);
  int (*Dump)(ObjectDb*, FILE* file);
  const char* (*TakeErrorText)(ObjectDb*);
  void (*Log)(ObjectDb*, const char* format, ...);
  const char* (*GetVersionText)(ObjectDb*);
};

// Data shared between an ObjectDb and its clones.
struct ObjectStore {
  std::vector<std::unique_ptr<ObjLayer>> layers;  // in list order
  std::deque<ObjTag> tags;
  std::deque<ObjSurface> surfaces;
  std::deque<ObjClip> clips;
  std::deque<ObjEnvelope> envelopes;
  // Name lookups, so that files with many surfaces load in linear time:
  // the first surface of each name, and the first tag of each (type, name).
  std::unordered_map<std::string, ObjSurface*> surfaceByName;
  std::unordered_map<std::string, ObjTag*> tagByTypeName;
  // Counts the changes that remove or replace an entry of either lookup
  // (adding a new name changes no earlier answer); see LookupMemo.
  uint64_t lookupGeneration = 0;
};

// The last tag and the last surface an ObjectDb found by name, valid while
// it has the same store and the store's lookupGeneration is unchanged:
// polygons come in long runs of one tag, and those skip the hashing.
struct LookupMemo {
  const ObjectStore* tagStore = nullptr;
  const ObjectStore* surfaceStore = nullptr;
  uint64_t tagGeneration = ~uint64_t(0), surfaceGeneration = ~uint64_t(0);
  Id4 tagType = 0;
  ObjTag* tag = nullptr;
  ObjSurface* surface = nullptr;
  char tagName[kNameSize] = {};
  char surfaceName[kNameSize] = {};
};

// The record's error code, optionally with a message (a side file's format
// error names the line and the file). Assigning a code any other way than
// Set drops the message, so a message never outlives the error it explains.
class ObjErrorCode {
 public:
  static constexpr size_t kMessageSize = 1024;  // longest message + 1

  ObjErrorCode& operator=(int32_t code) {
    code_ = code;
    message_.clear();
    return *this;
  }
  operator int32_t() const { return code_; }
  // Sets the code with a message cut to kMessageSize - 1 bytes.
  void Set(int32_t code, const std::string& message);
  const std::string& Message() const { return message_; }
  // The message when one is set, else the code's text; resets both. The text
  // stays valid until the next Take.
  const char* Take();

 private:
  int32_t code_ = 0;
  std::string message_;
  std::string taken_;
};

struct ObjectDb {
  std::string path;        // the file last loaded
  std::string failedPath;  // the path whose opening failed (error 2)
  ObjErrorCode error;
  int32_t format = 0;  // 1 LWOB, 2 LWO2, 0 before a load
  MemCon* memcon = nullptr;
  FILE* logFile = nullptr;
  int32_t words[2] = {0, 0};
  int32_t flags = 0;  // bit 0: clone
  int32_t loadWord = 0;
  int32_t readStatus = -1;  // status of the last reader run; -1 before any
  ObjLayer* currentLayer = nullptr;
  double time = 0;  // time at which surface envelopes are evaluated
  std::shared_ptr<ObjectStore> store;
  LookupMemo memo;
  ObjectDbOps ops{};

  ~ObjectDb();
};

// Creates an empty ObjectDb; null when memory fails.
ObjectDb* CreateObjectDb(int flags);
// Reads an object as LWO2, then as LWOB when the LWO2 reader refused it
// (not an LWO2 FORM). Returns the ObjectDb when either reader succeeded,
// even when a later post-processing step reported an error; null otherwise.
// options may be null (all defaults).
ObjectDb* OpenObjectDb(const char* path, const LoadOptions* options);
// Like OpenObjectDb, but keeps the record on failure so its error text can be
// read; returns 0 on success or the failing status.
int OpenObjectDbInto(ObjectDb* db, const char* path, const LoadOptions* options);
// Frees the record (and, unless it is a clone, all its data); nulls *db.
void CloseObjectDb(ObjectDb** db);

// Readers (called by Load). Safe on untrusted input. The memory forms read
// a copy of the given bytes as if they were the file.
int ReadLwo2(ObjectDb* db, const char* path, int parameter);
int ReadLwob(ObjectDb* db, const char* path, int parameter);
int ReadLwo2Memory(ObjectDb* db, const void* data, size_t size);
int ReadLwobMemory(ObjectDb* db, const void* data, size_t size);

// The post-processing steps the options ask for, on the current layer only,
// as Load runs them on every layer after reading (UVs, normals, colours,
// triangulation, sort, edges). `afterUvs`, when given, is called with
// `context` between the texture coordinates and the normals: a caller that
// keeps only part of the object can let go there of what the later steps do
// not read. With `asRead`, the caller vouches that the layer is as its
// reader left it (no step has run on it and nothing has changed its
// polygons since), and afterUvs then gives no polygon corner colours: the
// library's steps pass over clearing what no reader gives. Returns the
// status of the last step run.
int PostProcessCurrentLayer(ObjectDb* db, const LoadOptions* options,
                            void (*afterUvs)(ObjectDb*, void* context) = nullptr, void* context = nullptr,
                            bool asRead = false);

// Load from bytes in memory: the reader of the format (1 LWOB, 2 LWO2) and
// then the post-processing steps of the options, as Load does for a file.
int LoadObjectFromMemory(ObjectDb* db, const void* data, size_t size, int format,
                         const LoadOptions* options);

// Smoothing used by angle-mode BuildNormals: true with the angle (radians)
// when the surface smooths; false when it has no smoothing or is unknown.
bool GetSurfaceSmoothing(ObjectDb* db, int surfaceId, double* angle);

// Checks every stored index (polygon points, tag tables, vertex maps,
// discontinuous maps) of every layer against its counts and drops what is out
// of range. Run after a read; returns the number of entries dropped.
int ValidateObjectDb(ObjectDb* db);

// Face normal of a polygon (unit length, or zero when degenerate).
void ComputeFaceNormal(const ObjLayer& layer, const ObjPolygon& polygon, double out[3]);
