// The scene database: one LightWave scene file (.lws) with its header, its
// items (objects, lights, cameras, bones) and their keyframed motion, five
// scene-global settings blocks and plug-in blocks.
//
//   LoadOptions load;                      // content directory for objects
//   SceneDb* scene = CreateSceneDb("shot.lws", SCENE_LOAD_OBJECTS, &load);
//   if (scene && scene->error == 0) {
//     auto& o = scene->ops;
//     for (SceneItem* it = o.FindFirstItem(scene, ITEM_OBJECT, nullptr); it;
//          it = o.NextItemOfType(scene, it)) { ... }
//   }
//   CloseSceneDb(&scene);
//
// Every caller, the reader included, reaches the data through the operations
// table `ops`; each operation takes the SceneDb first. Status results are 0
// on success, else an ObjError code (1 memory, 2 file open, 7 bad format,
// 8 parameter or index out of range). Getters return null for a null or
// foreign argument.
//
// Ownership: the SceneDb owns every item, data record, motion, envelope, key,
// plug-in block, clip and global block it hands out; they live until
// CloseSceneDb and never move. An object item owns its ObjectDb view; items
// that load the same file share the geometry of the first one (the others
// hold clones of it).
//
// Untrusted input: CreateSceneDb is safe on any file. Counts, line lengths
// (1023 bytes; the rest of a longer line is dropped), recursion and loops are
// bounded; numbers are parsed independently of the C locale; a truncated
// block ends reading with error 7, keeping what was read.
//
// Not thread-safe: evaluation moves the cursors of envelopes and motions, and
// ItemDisplayName returns a buffer shared by the whole SceneDb.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "objectdb.h"

struct SceneDb;
struct SceneDbPrivate;

// CreateSceneDb open flags.
enum SceneOpenFlags {
  SCENE_LOAD_OBJECTS = 1,     // load each object file while reading
  SCENE_MOTION_CHANNELS = 2,  // version 1: also build nine channel envelopes per motion
};

enum ItemType { ITEM_OBJECT = 1, ITEM_LIGHT = 2, ITEM_CAMERA = 3, ITEM_BONE = 4 };

// 32-bit item reference: type in bits 28-31, for a bone its number among the
// bones of its object in bits 16-27, and in bits 0-15 the index among items
// of that type (for a bone: the index of its object among objects).
// 0x10000002 is the third object, 0x40010000 the second bone of the first.
using ItemCode = int32_t;

inline ItemCode MakeCode(int type, int index, int bone) {
  return ItemCode((uint32_t(type) << 28) | (uint32_t(bone & 0xFFF) << 16) | uint32_t(index & 0xFFFF));
}
inline int CodeType(ItemCode code) { return int(uint32_t(code) >> 28); }
inline int CodeBone(ItemCode code) { return int((uint32_t(code) >> 16) & 0xFFF); }
inline int CodeIndex(ItemCode code) { return int(uint32_t(code) & 0xFFFF); }

// Kinds of EvaluateItemVector and SetItemVectorKey.
enum VectorKind {
  VECTOR_POSITION = 1,
  VECTOR_ROTATION = 5,  // heading, pitch, bank (radians)
  VECTOR_SCALE = 6,
  VECTOR_PIVOT_POSITION = 7,
  VECTOR_PIVOT_ROTATION = 12,
};

enum KeyShape { SHAPE_TCB = 0, SHAPE_HERMITE = 1, SHAPE_BEZIER = 2, SHAPE_LINEAR = 3, SHAPE_STEPPED = 4, SHAPE_BEZIER2 = 5 };

enum Behavior {
  BEHAVIOR_RESET = 0,
  BEHAVIOR_CONSTANT = 1,
  BEHAVIOR_REPEAT = 2,
  BEHAVIOR_OSCILLATE = 3,
  BEHAVIOR_OFFSET_REPEAT = 4,
  BEHAVIOR_LINEAR = 5,
};

enum PluginClass {
  PLUGIN_NONE = 0,
  PLUGIN_ITEM_MOTION = 1,    // "ItemMotionHandler"
  PLUGIN_DISPLACEMENT = 2,   // "DisplacementHandler"
  PLUGIN_CHANNEL = 3,        // "ChannelHandler"
  PLUGIN_VOLUMETRIC = 4,     // "VolumetricHandler"
  PLUGIN_ENVIRONMENT = 5,    // "EnvironmentHandler"
  PLUGIN_PIXEL_FILTER = 6,   // "PixelFilterHandler"
  PLUGIN_IMAGE_FILTER = 7,   // "ImageFilterHandler"
  PLUGIN_CUSTOM_OBJECT = 8,  // "CustomObjHandler"
  PLUGIN_OBJ_REPLACEMENT = 9,  // "ObjReplacementHandler"
  PLUGIN_MASTER = 10,        // "MasterHandler"
};

// Every record the SceneDb owns derives from this, so one pool frees them all.
struct SceneRecord {
  virtual ~SceneRecord() = default;
};

struct PluginBlock : SceneRecord {
  int pluginClass = 0;
  int index = 0;  // the number after the class on the "Plugin" line
  std::string serverName;
  int dataSize = 0;
  std::vector<char> data;  // the block's lines, each with its terminating NUL
  PluginBlock* next = nullptr;
};

// One envelope key. Tension, continuity and bias serve TCB keys; Hermite and
// Bezier keys keep their incoming tangent in param0 and outgoing in param1
// (the reader also stores per-span tangents there for TCB, Linear and Stepped
// spans); a two-dimensional Bezier key keeps its incoming handle (time,
// value offsets) in tension, continuity and its outgoing handle in bias,
// param0.
struct Key {
  double value = 0;
  double time = 0;  // seconds
  int shape = SHAPE_TCB;
  double tension = 0, continuity = 0, bias = 0;
  double param0 = 0, param1 = 0, param2 = 0;
  Key* next = nullptr;
  Key* prev = nullptr;
};

// One animated channel (channels 0-8: X, Y, Z, H, P, B, scale X, Y, Z).
struct Envelope : SceneRecord {
  int channel = 0;
  Key* cursor = nullptr;  // key that starts the last evaluated span
  Key* lastKey = nullptr;
  Key* firstKey = nullptr;
  int keyCount = 0;
  int preBehavior = BEHAVIOR_CONSTANT;
  int postBehavior = BEHAVIOR_CONSTANT;
  PluginBlock* channelPlugins = nullptr;
  Envelope* next = nullptr;
  std::deque<Key> keyStore;  // storage; order is the linked order
};

// A version-1 key: nine values at a frame.
struct KeyFrame {
  int frame = 0;
  double position[3] = {0, 0, 0};
  double rotation[3] = {0, 0, 0};  // heading, pitch, bank (radians)
  double scale[3] = {0, 0, 0};
  double tension = 0, bias = 0, continuity = 0;
  int linear = 0;
  KeyFrame* next = nullptr;
  KeyFrame* prev = nullptr;
};

struct Motion : SceneRecord {
  KeyFrame* cursor = nullptr;
  KeyFrame* lastKey = nullptr;
  KeyFrame* keys = nullptr;
  int keyCount = 0;
  int endBehavior = 0;
  std::vector<KeyFrame> keyStore;
};

struct ItemData : SceneRecord {};

struct ObjectItemData : ItemData {
  int isNull = 0;
  std::string fileName;  // object path as converted by the reader
  int layer = 1;         // 1-based layer number
  int shadowOptions = 0;
  double morphAmount = 0;
  int morphTarget = -1;
  int morphSurfaces = 0, mtseMorphing = 0, distanceDissolve = 0;
  double maxDissolveDistance = 0, objectDissolve = 0, polygonSize = 0;
  ObjectDb* objectDb = nullptr;  // the view whose current layer is `layer`; null until loaded
  Envelope* morphAmountEnvelope = nullptr;
  Envelope* dissolveEnvelope = nullptr;
  Envelope* polygonSizeEnvelope = nullptr;
  PluginBlock* plugins = nullptr;
  std::vector<ItemCode> excludedLights;
};

struct BoneData : ItemData {
  int ownerId = 0;
  int falloffType = 3;
  int active = 1;
  double restPosition[3] = {0, 0, 0};
  double restDirection[3] = {0, 0, 0};  // heading, pitch, bank (radians)
  double restLength = 1.0;
  std::string weightMapName;
  int weightMapOnly = 0, normalization = 0;
  double strength = 1.0, scaleStrength = 1.0;
  int limitedRange = 0;
  double minRange = 0;
  double maxRange = 1.0, jointComp = 1.0, jointCompParent = 1.0, muscleFlex = 1.0, muscleFlexParent = 1.0;
  double basePoint[3] = {0, 0, 0};  // rest root in object space (ComputeBoneRest)
  double tipPoint[3] = {0, 0, 0};   // rest tip in object space
};

struct LightData : ItemData {
  float color[3] = {1, 1, 1};
  double intensity = 1.0;
  int afterCaustics = 1;
  int lightType = 1;
  double coneAngle = 30, edgeAngle = 5;
  int lightQuality = 4;
  int falloffType = 0;
  double range = 1.0;
  int shadowType = 0;
  double shadowMapAngle = 0;
  int affectDiffuse = 1, affectSpecular = 1, affectCaustics = 0, affectOpenGL = 1;
  Envelope* colorEnvelope = nullptr;  // red, green, blue chained through next (may be shorter)
  Envelope* intensityEnvelope = nullptr;
  Envelope* rangeEnvelope = nullptr;
  Envelope* coneAngleEnvelope = nullptr;
  Envelope* edgeAngleEnvelope = nullptr;
  Envelope* shadowMapAngleEnvelope = nullptr;
};

struct CameraData : ItemData {
  int motionBlur = 0, depthOfField = 0;
  double blurLength = 0.5;
  double zoomFactor = 3.2;
  double horizontalFov = 0, verticalFov = 0;  // radians
  double focalDistance = 1.0;
  double lensFStop = 4.0;
  int width = 640, height = 480;
  int maskPosition[4] = {0, 0, 0, 0};
  int segmentMemory = 2200000;
  int antialiasing = 0;
  int adaptiveSampling = 1;
  double resolutionMultiplier = 1.0;
  double pixelAspect = 1.0;
  double apertureHeight = 0.15;
  double adaptiveThreshold = 0.1;
  Envelope* zoomFactorEnvelope = nullptr;
  Envelope* blurLengthEnvelope = nullptr;
  Envelope* focalDistanceEnvelope = nullptr;
  Envelope* lensFStopEnvelope = nullptr;
};

struct FogBlock : SceneRecord {
  int fogType = 0;
  double minDist = 0, maxDist = 1.0, minAmount = 0, maxAmount = 1.0;
  float color[3] = {0, 0, 0};
  int backdropFog = 0;
  Envelope* minDistEnvelope = nullptr;
  Envelope* maxDistEnvelope = nullptr;
  Envelope* minAmountEnvelope = nullptr;
  Envelope* maxAmountEnvelope = nullptr;
  PluginBlock* volumetricPlugins = nullptr;
};

struct BackdropBlock : SceneRecord {
  int solidBackdrop = 1;
  float backdropColor[3] = {0, 0, 0};
  float zenithColor[3] = {0.0f, 0.1569f, 0.3137f};
  float skyColor[3] = {0.4706f, 0.7059f, 0.9412f};
  float groundColor[3] = {0.1961f, 0.1569f, 0.1176f};
  float nadirColor[3] = {0.3922f, 0.3137f, 0.2353f};
  PluginBlock* environmentPlugins = nullptr;
};

// A scene's clip bodies; an object's clips have records of their own
// (clip_envelope.h), so these carry the scene's prefix.
struct ClipStill {
  std::string imageName;
};
struct SceneClipSequence {
  uint8_t digits = 0, flags = 0;
  int16_t startFrame = 0, loopLength = 0, firstFrame = 0, lastFrame = 0;
  std::string prefix, suffix;
};
struct SceneClipAnimation {
  std::string fileName, serverName;
  int16_t index = 0;
};
struct SceneClipReference {
  int value = 0;
  std::string texts[4];
};
struct ClipAdjustment {
  float value = 0;
  int envelopeCount = 0;
  Envelope* envelopes = nullptr;  // chained through next
};
struct ClipTimes {
  float inTime = 0, outTime = 0, frameRate = 0;
  int behaviors[2] = {0, 0};
};

enum ClipType { CLIP_STILL = 0, CLIP_SEQUENCE = 1, CLIP_ANIMATION = 2, CLIP_REFERENCE = 3 };
enum ClipAdjust { ADJUST_BRIGHTNESS, ADJUST_CONTRAST, ADJUST_HUE, ADJUST_GAMMA, ADJUST_SATURATION };

struct ClipRef : SceneRecord {
  int clipType = CLIP_STILL;
  std::unique_ptr<ClipStill> still;
  std::unique_ptr<SceneClipSequence> sequence;
  std::unique_ptr<SceneClipAnimation> animation;
  std::unique_ptr<SceneClipReference> reference;
  std::unique_ptr<ClipAdjustment> adjustments[5];  // by ClipAdjust
  std::unique_ptr<ClipTimes> times;
  int flags = 0, negative = 0, alphaMode = 0;
};

struct CompositeBlock : SceneRecord {
  ClipRef* bgImage = nullptr;
  ClipRef* fgImage = nullptr;
  ClipRef* fgAlphaImage = nullptr;
  double fgDissolve = 0;
  int fgFaderAlphaMode = 0, foregroundKey = 0;
  float lowClipColor[3] = {0, 0, 0};
  float highClipColor[3] = {0, 0, 0};
  Envelope* fgDissolveEnvelope = nullptr;
};

struct ProcessingBlock : SceneRecord {
  int limitDynamicRange = 0;
  int ditherIntensity = 1;
  int animatedDither = 0;
  double saturation = 1.0;
  int glowEffect = 0;
  double glowIntensity = 0.5, glowRadius = 8.0;
  Envelope* saturationEnvelope = nullptr;
  Envelope* glowIntensityEnvelope = nullptr;
  Envelope* glowRadiusEnvelope = nullptr;
  PluginBlock* pixelFilters = nullptr;
  PluginBlock* imageFilters = nullptr;
};

struct IlluminateBlock : SceneRecord {
  float ambientColor[3] = {1, 1, 1};
  double ambientIntensity = 0.25;
  double globalLightIntensity = 1.0, globalFlareIntensity = 1.0;
  double radiosityTolerance = 0.3, radiosityMinSpacing = 0.02;
  double causticIntensity = 1.0;
  int enableRadiosity = 0, cacheRadiosity = 0;
  int radiosityRays = 192;
  int enableCaustics = 0, cacheCaustics = 0;
  int causticAccuracy = 100, causticSoftness = 20;
  Envelope* ambientColorEnvelope = nullptr;  // red, green, blue chained (may be shorter)
  Envelope* ambientIntensityEnvelope = nullptr;
  Envelope* globalLightEnvelope = nullptr;
  Envelope* globalFlareEnvelope = nullptr;
  Envelope* causticIntensityEnvelope = nullptr;
};

struct SceneItem {
  int type = 0;  // ItemType
  int id = 0;    // 1-based creation number
  std::string name;
  int refresh = 0, color = 0;
  int numChannels = 0;
  ItemCode parent = 0;  // 0 = none
  int target = 0, goal = 0;  // 1-based object numbers, 0 = none
  int fullTimeIK = 0, matchGoalOrientation = 0, keepGoalWithinReach = 0, ikAnchor = 0;
  double pathAlignLookAhead = 0;  // seconds
  double goalStrength = 1.0;
  double pivotPosition[3] = {0, 0, 0};
  double pivotRotation[3] = {0, 0, 0};  // heading, pitch, bank (radians)
  double hLimits[2] = {0, 0}, pLimits[2] = {0, 0}, bLimits[2] = {0, 0};
  double hStiffness = 1.0, pStiffness = 1.0, bStiffness = 1.0;
  int hController = 0, pController = 0, bController = 0;  // 0 keys, 1 target, 2 path, 3 goal
  ItemData* data = nullptr;  // by type; use GetObjectData & co.
  Motion* motion = nullptr;  // version 1
  Envelope* channels = nullptr;  // chained through next, in file order
  PluginBlock* motionPlugins = nullptr;
  int loadState = 0;  // 2 when the object file could not be loaded
  SceneItem* next = nullptr;

  // Bookkeeping kept by the SceneDb (position in the list, index among items
  // of its type; for a bone its number and the index of its object, -1 when
  // no object precedes it).
  int ordinal = 0;
  int typeIndex = 0;
  int boneNumber = 0;
  int ownerIndex = -1;
};

// The 64 operations, in their fixed slot order.
struct SceneDbOps {
  // 0: first item of the type; for bones with an owner, the item right after
  // the owner when it is a bone.
  SceneItem* (*FindFirstItem)(SceneDb*, int type, SceneItem* owner);
  // 1: next item of the same type; for a bone only the following item, when it is a bone.
  SceneItem* (*NextItemOfType)(SceneDb*, SceneItem* item);
  // 2: the item the parent code names; null for 0 or a code naming nothing.
  SceneItem* (*GetParentItem)(SceneDb*, SceneItem* item);
  // 3: the target-th object; null when target is 0 or out of range.
  SceneItem* (*GetTargetItem)(SceneDb*, SceneItem* item);
  SceneItem* (*FindItemById)(SceneDb*, int id);
  // 5: first item of the type (bones: of owner) whose display name equals name.
  SceneItem* (*FindItemByName)(SceneDb*, int type, SceneItem* owner, const char* name);
  // 6: name, or "name (n)" when several items of the type share it. The text
  // lives in a buffer of the SceneDb that the next call overwrites.
  const char* (*ItemDisplayName)(SceneDb*, SceneItem* item);
  Motion* (*GetItemMotion)(SceneDb*, SceneItem* item);
  Envelope* (*FindItemChannel)(SceneDb*, SceneItem* item, int channel);
  // 9: items of the type from `from` (inclusive; the head for null) to the end.
  int (*CountItems)(SceneDb*, int type, SceneItem* from);
  // 10: position, rotation, scale at time t (seconds), pivot position or
  // rotation. 0 when out was written; 8 for another kind, a null item or a
  // version-1 item without keys.
  int (*EvaluateItemVector)(SceneDb*, SceneItem* item, int kind, double t, double out[3]);
  // 11: sets a key at t in each of the kind's three channels (inserting keys
  // as needed), or overwrites the pivot for kinds 7 and 12. 8 when a channel
  // is missing or the kind is unknown.
  int (*SetItemVectorKey)(SceneDb*, SceneItem* item, int kind, double t, double x, double y, double z);
  ObjectItemData* (*GetObjectData)(SceneDb*, SceneItem* item);
  BoneData* (*GetBoneData)(SceneDb*, SceneItem* item);
  LightData* (*GetLightData)(SceneDb*, SceneItem* item);
  CameraData* (*GetCameraData)(SceneDb*, SceneItem* item);
  // 16: previous ? previous->next : head.
  PluginBlock* (*NextPlugin)(SceneDb*, PluginBlock* head, PluginBlock* previous);
  FogBlock* (*GetFog)(SceneDb*);
  BackdropBlock* (*GetBackdrop)(SceneDb*);
  CompositeBlock* (*GetComposite)(SceneDb*);
  ProcessingBlock* (*GetProcessing)(SceneDb*);
  IlluminateBlock* (*GetIlluminate)(SceneDb*);
  // 22: loads the item's object file (see CreateSceneDb); 0 or 2.
  int (*LoadItemObject)(SceneDb*, SceneItem* item);
  // 23: text dump of the scene; 8 while not provided.
  int (*DumpScene)(SceneDb*, FILE* file);
  const char* (*GetLibraryVersion)(SceneDb*);
  // 25: parent := code of parent; 8 when either is null.
  int (*SetParentItem)(SceneDb*, SceneItem* item, SceneItem* parent);
  // 26: version-1 motion at a frame: kind 1, 5 or 6. 8 when nothing was
  // written (null motion, no keys, other kind).
  int (*EvaluateMotion)(SceneDb*, Motion* motion, int kind, double frame, double out[3]);
  // 27: envelope value at t seconds; 8 for a null envelope (out untouched).
  int (*EvaluateEnvelope)(SceneDb*, Envelope* envelope, double t, double* out);
  // 28: nine new envelopes (channels 0-8) from a motion, linked; null for a
  // null motion.
  Envelope* (*MotionToChannels)(SceneDb*, Motion* motion);
  // 29: the key at t, inserted when absent (keeping the curve where the span
  // shapes allow); null for a null envelope.
  Key* (*InsertEnvelopeKey)(SceneDb*, Envelope* envelope, double t);
  // 30: 0 when the light's code is in the object's exclusion list, else 1.
  int (*LightAffectsObject)(SceneDb*, SceneItem* object, SceneItem* light);
  int (*IsLightExcluded)(SceneDb*, SceneItem* object, ItemCode light);
  // 32: next non-empty line of the file being read, without its CR/LF, cut
  // to size - 1 bytes (the rest of the line is dropped); 0 at end of file.
  int (*ReadLine)(SceneDb*, char* buffer, int size);
  // 33: appends text and its NUL; returns the new size.
  int (*AppendText)(SceneDb*, std::vector<char>* buffer, const char* text);
  // 34: splits at blanks and tabs into k outputs (k at most 4096), the k-th
  // being the rest of the line (for k = 1, the first token); returns the
  // count found (<= k); outputs not found are "".
  int (*SplitTokens)(SceneDb*, const char* line, int k, std::vector<std::string>* out);
  void (*Trace)(SceneDb*, const char* format, ...);
  // 36: appends an object item for "AddNullObject", "LoadObject" (version 1)
  // or "LoadObjectLayer"; null for another keyword.
  SceneItem* (*AddObjectItem)(SceneDb*, const char* keyword, int layer, const char* text);
  // 37: appends a light (2), camera (3) or bone (4) with fresh data; null otherwise.
  SceneItem* (*AddItem)(SceneDb*, int type);
  int (*SetItemName)(SceneDb*, SceneItem* item, const char* name);
  int (*SetItemShow)(SceneDb*, SceneItem* item, int refresh, int color);
  int (*SetPivotPosition)(SceneDb*, SceneItem* item, double x, double y, double z);
  int (*SetPivotRotation)(SceneDb*, SceneItem* item, double h, double p, double b);
  int (*SetParentCode)(SceneDb*, SceneItem* item, ItemCode code);
  int (*SetGoal)(SceneDb*, SceneItem* item, int n);
  int (*SetTarget)(SceneDb*, SceneItem* item, int n);
  // 45: n-th (1-based) item of the type counting from `from` (or the head).
  SceneItem* (*FindNthItem)(SceneDb*, SceneItem* from, int n, int type);
  // 46: the item a code names; null for an unknown type or out-of-range parts.
  SceneItem* (*ItemFromCode)(SceneDb*, int type, int index, int bone);
  SceneItem* (*FindLastItemBefore)(SceneDb*, int id, int type);
  // 48: the object a bone belongs to (the last object before it), or null.
  SceneItem* (*BoneOwner)(SceneDb*, SceneItem* bone);
  int (*SameNameOrdinal)(SceneDb*, SceneItem* item);
  // 50-53, 55, 57-60: new records with their defaults, owned by the SceneDb.
  ObjectItemData* (*NewObjectData)(SceneDb*, int layer, const char* path);
  CameraData* (*NewCameraData)(SceneDb*);
  LightData* (*NewLightData)(SceneDb*);
  BoneData* (*NewBoneData)(SceneDb*);
  // 54: a new block appended to the owner's list for the class: owner is the
  // SceneItem for class 1, the Envelope for 3, the ObjectItemData for 2, 8
  // and 9, unused for 4-7 and 10. Other classes, or a null owner where one is
  // needed, give a block on no list.
  PluginBlock* (*AddPlugin)(SceneDb*, void* owner, int pluginClass, int index, const char* serverName);
  FogBlock* (*NewFog)(SceneDb*);
  // 56: fields of view from zoom and frame size; left alone when the height
  // is not positive or the zoom is 0.
  int (*UpdateCameraFov)(SceneDb*, CameraData* camera);
  BackdropBlock* (*NewBackdrop)(SceneDb*);
  CompositeBlock* (*NewComposite)(SceneDb*);
  ProcessingBlock* (*NewProcessing)(SceneDb*);
  IlluminateBlock* (*NewIlluminate)(SceneDb*);
  // 61: the item's code; 0 when it is not in the list or cannot be coded.
  ItemCode (*MakeItemCode)(SceneDb*, SceneItem* item);
  int (*AddExcludedLight)(SceneDb*, SceneItem* object, ItemCode light);
  // 63: base and tip rest points of every bone.
  int (*ComputeBoneRest)(SceneDb*);
};

struct SceneDb {
  std::string path;
  FILE* input = nullptr;  // the scene file while reading
  FILE* trace = nullptr;  // where Trace writes; null = no tracing
  int openFlags = 0;
  std::string errorPath;  // the file that could not be opened (scene or object)
  int error = 0;          // 0, 1 memory, 2 file open, 7 bad format
  MemCon* memoryTracker = nullptr;
  LoadOptions loadOptions;  // used for every object file; contentDirectory is the base of object paths
  int numItems = 0;
  int version = 0;
  int firstFrame = 1, lastFrame = 60, frameStep = 1;
  int previewFirstFrame = 1, previewLastFrame = 60, previewFrameStep = 1;
  double framesPerSecond = 30.0;
  int currentFrame = 0, currentObject = 0, currentLight = 0, currentCamera = 0;
  FogBlock* fog = nullptr;
  BackdropBlock* backdrop = nullptr;
  CompositeBlock* composite = nullptr;
  ProcessingBlock* processing = nullptr;
  IlluminateBlock* illuminate = nullptr;
  SceneItem* items = nullptr;
  PluginBlock* masterPlugins = nullptr;
  SceneDbOps ops;

  std::unique_ptr<SceneDbPrivate> priv;
  SceneDb();
  ~SceneDb();
  SceneDb(const SceneDb&) = delete;
  SceneDb& operator=(const SceneDb&) = delete;
};

// Creates a SceneDb and reads the scene file into it. Null only when memory
// runs out before the record exists; otherwise the record is returned and
// `error` tells the outcome: 0 read; 2 the scene (errorPath = path) or an
// object file (errorPath = that path; its item's loadState is 2) could not be
// opened; 7 not a scene of version 1, 3, 4 or 5, or a malformed or truncated
// block (what was read is kept); 1 memory.
//
// openFlags: SceneOpenFlags. options (copied; defaults when null) are used to
// load every object file; an object path that does not exist as written is
// looked for under options->contentDirectory.
SceneDb* CreateSceneDb(const char* path, int openFlags, const LoadOptions* options);

// The same, reading the scene text from memory; `name` is stored as the path
// and used in errorPath. The text need not be NUL-terminated.
SceneDb* CreateSceneDbFromMemory(const char* name, const char* text, size_t size, int openFlags,
                                 const LoadOptions* options);

// Frees the SceneDb with everything it owns, object views included; nulls *db.
void CloseSceneDb(SceneDb** db);
