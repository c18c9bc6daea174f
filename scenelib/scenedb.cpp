// SceneDb creation and release, the item list with its finders and item
// codes, record constructors, plug-in lists and the text helpers of the
// operations table.
#include "scenedb.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <new>

#include "scene_internal.h"

namespace {

SceneDbPrivate& Priv(SceneDb* db) { return *db->priv; }

bool ValidType(int type) { return type >= ITEM_OBJECT && type <= ITEM_BONE; }

// True when item is one of db's items.
bool Member(SceneDb* db, const SceneItem* item) {
  if (!item) return false;
  auto& items = Priv(db).items;
  return item->ordinal >= 0 && size_t(item->ordinal) < items.size() && items[size_t(item->ordinal)].get() == item;
}

std::vector<SceneItem*>& OfType(SceneDb* db, int type) { return Priv(db).byType[type - 1]; }

// Appends a new item of the type (no data yet); null at the item limit.
SceneItem* AppendItem(SceneDb* db, int type) {
  SceneDbPrivate& p = Priv(db);
  if (!ValidType(type) || p.items.size() >= size_t(kMaxItems)) return nullptr;
  auto item = std::make_unique<SceneItem>();
  SceneItem* it = item.get();
  it->type = type;
  it->ordinal = int(p.items.size());
  it->id = it->ordinal + 1;
  it->pathAlignLookAhead = 1.0 / (db->framesPerSecond > 0 ? db->framesPerSecond : 30.0);
  std::vector<SceneItem*>& list = OfType(db, type);
  it->typeIndex = int(list.size());
  if (type == ITEM_BONE) {
    it->ownerIndex = int(OfType(db, ITEM_OBJECT).size()) - 1;
    if (it->ownerIndex >= 0) {
      it->boneNumber = int(p.bonesOf[size_t(it->ownerIndex)].size());
      p.bonesOf[size_t(it->ownerIndex)].push_back(it);
    }
  }
  if (type == ITEM_OBJECT) p.bonesOf.emplace_back();
  list.push_back(it);
  p.items.push_back(std::move(item));
  if (p.lastItem)
    p.lastItem->next = it;
  else
    db->items = it;
  p.lastItem = it;
  db->numItems = int(p.items.size());
  return it;
}

// ------------------------------------------------------------- finders

SceneItem* FindFirstItem(SceneDb* db, int type, SceneItem* owner) {
  if (!ValidType(type)) return nullptr;
  if (type == ITEM_BONE && owner) {
    if (!Member(db, owner)) return nullptr;
    return owner->next && owner->next->type == ITEM_BONE ? owner->next : nullptr;
  }
  auto& list = OfType(db, type);
  return list.empty() ? nullptr : list.front();
}

SceneItem* NextItemOfType(SceneDb* db, SceneItem* item) {
  if (!Member(db, item)) return nullptr;
  if (item->type == ITEM_BONE) return item->next && item->next->type == ITEM_BONE ? item->next : nullptr;
  auto& list = OfType(db, item->type);
  size_t next = size_t(item->typeIndex) + 1;
  return next < list.size() ? list[next] : nullptr;
}

SceneItem* ItemFromCode(SceneDb* db, int type, int index, int bone) {
  if (index < 0) return nullptr;
  SceneDbPrivate& p = Priv(db);
  if (type == ITEM_BONE) {
    if (bone < 0 || size_t(index) >= p.bonesOf.size()) return nullptr;
    auto& bones = p.bonesOf[size_t(index)];
    return size_t(bone) < bones.size() ? bones[size_t(bone)] : nullptr;
  }
  if (!ValidType(type)) return nullptr;
  auto& list = OfType(db, type);
  return size_t(index) < list.size() ? list[size_t(index)] : nullptr;
}

ItemCode MakeItemCode(SceneDb* db, SceneItem* item) {
  if (!Member(db, item)) return 0;
  if (item->type == ITEM_BONE) {
    if (item->ownerIndex < 0 || item->ownerIndex > 0xFFFF || item->boneNumber > 0xFFF) return 0;
    return MakeCode(ITEM_BONE, item->ownerIndex, item->boneNumber);
  }
  if (item->typeIndex > 0xFFFF) return 0;
  return MakeCode(item->type, item->typeIndex, 0);
}

SceneItem* GetParentItem(SceneDb* db, SceneItem* item) {
  if (!Member(db, item) || item->parent == 0) return nullptr;
  ItemCode c = item->parent;
  return ItemFromCode(db, CodeType(c), CodeIndex(c), CodeBone(c));
}

SceneItem* FindNthItem(SceneDb* db, SceneItem* from, int n, int type) {
  if (n <= 0 || !ValidType(type)) return nullptr;
  if (!from) {
    auto& list = OfType(db, type);
    return size_t(n) <= list.size() ? list[size_t(n) - 1] : nullptr;
  }
  if (!Member(db, from)) return nullptr;
  for (SceneItem* it = from; it; it = it->next)
    if (it->type == type && --n == 0) return it;
  return nullptr;
}

SceneItem* GetTargetItem(SceneDb* db, SceneItem* item) {
  if (!Member(db, item) || item->target == 0) return nullptr;
  return FindNthItem(db, nullptr, item->target, ITEM_OBJECT);
}

SceneItem* FindItemById(SceneDb* db, int id) {
  auto& items = Priv(db).items;
  return id >= 1 && size_t(id) <= items.size() ? items[size_t(id) - 1].get() : nullptr;
}

int SameNameOrdinal(SceneDb* db, SceneItem* item) {
  if (!Member(db, item)) return 0;
  const std::vector<SceneItem*>* list = &OfType(db, item->type);
  if (item->type == ITEM_BONE && item->ownerIndex >= 0) list = &Priv(db).bonesOf[size_t(item->ownerIndex)];
  int count = 0, position = 0;
  for (SceneItem* other : *list) {
    if (item->type == ITEM_BONE && other->ownerIndex != item->ownerIndex) continue;
    if (other->name != item->name) continue;
    ++count;
    if (other == item) position = count;
  }
  return count < 2 ? 0 : position;
}

const char* ItemDisplayName(SceneDb* db, SceneItem* item) {
  std::string& out = Priv(db).displayName;
  if (!Member(db, item)) {
    out.clear();
    return out.c_str();
  }
  int n = SameNameOrdinal(db, item);
  out = item->name;
  if (n) out += " (" + std::to_string(n) + ")";
  return out.c_str();
}

SceneItem* FindItemByName(SceneDb* db, int type, SceneItem* owner, const char* name) {
  if (!name) return nullptr;
  const std::string wanted = name;  // name may be the display-name buffer itself
  for (SceneItem* it = FindFirstItem(db, type, owner); it; it = NextItemOfType(db, it))
    if (wanted == ItemDisplayName(db, it)) return it;
  return nullptr;
}

int CountItems(SceneDb* db, int type, SceneItem* from) {
  if (!ValidType(type)) return 0;
  if (!from) return int(OfType(db, type).size());
  if (!Member(db, from)) return 0;
  int n = 0;
  for (SceneItem* it = from; it; it = it->next)
    if (it->type == type) ++n;
  return n;
}

SceneItem* FindLastItemBefore(SceneDb* db, int id, int type) {
  SceneItem* last = nullptr;
  for (SceneItem* it = db->items; it && it->id <= id; it = it->next)
    if (it->type == type) last = it;
  return last;
}

SceneItem* BoneOwner(SceneDb* db, SceneItem* bone) {
  if (!Member(db, bone) || bone->type != ITEM_BONE || bone->ownerIndex < 0) return nullptr;
  return OfType(db, ITEM_OBJECT)[size_t(bone->ownerIndex)];
}

Motion* GetItemMotion(SceneDb* db, SceneItem* item) { return Member(db, item) ? item->motion : nullptr; }

Envelope* FindItemChannel(SceneDb* db, SceneItem* item, int channel) {
  if (!Member(db, item)) return nullptr;
  for (Envelope* e = item->channels; e; e = e->next)
    if (e->channel == channel) return e;
  return nullptr;
}

template <typename T>
T* DataOf(SceneDb* db, SceneItem* item, int type) {
  return Member(db, item) && item->type == type ? static_cast<T*>(item->data) : nullptr;
}
ObjectItemData* GetObjectData(SceneDb* db, SceneItem* i) { return DataOf<ObjectItemData>(db, i, ITEM_OBJECT); }
BoneData* GetBoneData(SceneDb* db, SceneItem* i) { return DataOf<BoneData>(db, i, ITEM_BONE); }
LightData* GetLightData(SceneDb* db, SceneItem* i) { return DataOf<LightData>(db, i, ITEM_LIGHT); }
CameraData* GetCameraData(SceneDb* db, SceneItem* i) { return DataOf<CameraData>(db, i, ITEM_CAMERA); }

// ------------------------------------------------------------- setters

int SetParentItem(SceneDb* db, SceneItem* item, SceneItem* parent) {
  if (!Member(db, item) || !parent) return ERR_PARAM;
  item->parent = MakeItemCode(db, parent);
  return 0;
}

int SetItemName(SceneDb* db, SceneItem* item, const char* name) {
  if (!Member(db, item)) return ERR_PARAM;
  item->name = name ? name : "";
  return 0;
}

int SetItemShow(SceneDb* db, SceneItem* item, int refresh, int color) {
  if (!Member(db, item)) return ERR_PARAM;
  item->refresh = refresh;
  item->color = color;
  return 0;
}

int SetPivotPosition(SceneDb* db, SceneItem* item, double x, double y, double z) {
  if (!Member(db, item)) return ERR_PARAM;
  item->pivotPosition[0] = x;
  item->pivotPosition[1] = y;
  item->pivotPosition[2] = z;
  return 0;
}

int SetPivotRotation(SceneDb* db, SceneItem* item, double h, double p, double b) {
  if (!Member(db, item)) return ERR_PARAM;
  item->pivotRotation[0] = h;
  item->pivotRotation[1] = p;
  item->pivotRotation[2] = b;
  return 0;
}

int SetParentCode(SceneDb* db, SceneItem* item, ItemCode code) {
  if (!Member(db, item)) return ERR_PARAM;
  item->parent = code;
  return 0;
}

int SetGoal(SceneDb* db, SceneItem* item, int n) {
  if (!Member(db, item)) return ERR_PARAM;
  item->goal = n;
  return 0;
}

int SetTarget(SceneDb* db, SceneItem* item, int n) {
  if (!Member(db, item)) return ERR_PARAM;
  item->target = n;
  return 0;
}

// ------------------------------------------------------------- records

ObjectItemData* NewObjectData(SceneDb* db, int layer, const char* path) {
  auto d = std::make_unique<ObjectItemData>();
  d->layer = layer;
  d->isNull = path ? 0 : 1;
  if (path) d->fileName = path;
  return Priv(db).Own(std::move(d));
}

CameraData* NewCameraData(SceneDb* db) { return Priv(db).Own(std::make_unique<CameraData>()); }
LightData* NewLightData(SceneDb* db) { return Priv(db).Own(std::make_unique<LightData>()); }
BoneData* NewBoneData(SceneDb* db) { return Priv(db).Own(std::make_unique<BoneData>()); }
FogBlock* NewFog(SceneDb* db) { return Priv(db).Own(std::make_unique<FogBlock>()); }
BackdropBlock* NewBackdrop(SceneDb* db) { return Priv(db).Own(std::make_unique<BackdropBlock>()); }
CompositeBlock* NewComposite(SceneDb* db) { return Priv(db).Own(std::make_unique<CompositeBlock>()); }
ProcessingBlock* NewProcessing(SceneDb* db) { return Priv(db).Own(std::make_unique<ProcessingBlock>()); }
IlluminateBlock* NewIlluminate(SceneDb* db) { return Priv(db).Own(std::make_unique<IlluminateBlock>()); }

SceneItem* AddItem(SceneDb* db, int type) {
  if (type != ITEM_LIGHT && type != ITEM_CAMERA && type != ITEM_BONE) return nullptr;
  SceneItem* it = AppendItem(db, type);
  if (!it) return nullptr;
  if (type == ITEM_LIGHT)
    it->data = NewLightData(db);
  else if (type == ITEM_CAMERA)
    it->data = NewCameraData(db);
  else
    it->data = NewBoneData(db);
  return it;
}

int UpdateCameraFov(SceneDb*, CameraData* cam) {
  if (!cam) return ERR_PARAM;
  // In doubles: integer width / height would truncate, and a zero height
  // or zoom has no field of view.
  if (cam->height <= 0 || cam->zoomFactor == 0 || !std::isfinite(cam->zoomFactor)) return 0;
  cam->horizontalFov = 2.0 * std::atan2(double(cam->width) / double(cam->height) / cam->zoomFactor, 1.0);
  cam->verticalFov = 2.0 * std::atan2(1.0 / cam->zoomFactor, 1.0);
  return 0;
}

// ------------------------------------------------------------- plug-ins

PluginBlock* NextPlugin(SceneDb*, PluginBlock* head, PluginBlock* previous) { return previous ? previous->next : head; }

// The list head a block of the class belongs to, or null.
PluginBlock** PluginList(SceneDb* db, void* owner, int pluginClass) {
  switch (pluginClass) {
    case PLUGIN_ITEM_MOTION: {
      auto* item = static_cast<SceneItem*>(owner);
      return Member(db, item) ? &item->motionPlugins : nullptr;
    }
    case PLUGIN_CHANNEL:
      return owner ? &static_cast<Envelope*>(owner)->channelPlugins : nullptr;
    case PLUGIN_DISPLACEMENT:
    case PLUGIN_CUSTOM_OBJECT:
    case PLUGIN_OBJ_REPLACEMENT:
      return owner ? &static_cast<ObjectItemData*>(owner)->plugins : nullptr;
    case PLUGIN_VOLUMETRIC:
      return db->fog ? &db->fog->volumetricPlugins : nullptr;
    case PLUGIN_ENVIRONMENT:
      return db->backdrop ? &db->backdrop->environmentPlugins : nullptr;
    case PLUGIN_PIXEL_FILTER:
      return db->processing ? &db->processing->pixelFilters : nullptr;
    case PLUGIN_IMAGE_FILTER:
      return db->processing ? &db->processing->imageFilters : nullptr;
    case PLUGIN_MASTER:
      return &db->masterPlugins;
    default:
      return nullptr;
  }
}

PluginBlock* AddPlugin(SceneDb* db, void* owner, int pluginClass, int index, const char* serverName) {
  auto block = std::make_unique<PluginBlock>();
  block->pluginClass = pluginClass;
  block->index = index;
  if (serverName) block->serverName = serverName;
  PluginBlock* b = Priv(db).Own(std::move(block));
  if (PluginBlock** head = PluginList(db, owner, pluginClass)) {
    // Lists are appended at the tail; remembering each list's tail keeps a
    // file with many blocks from costing quadratic time.
    PluginBlock*& last = Priv(db).pluginTails[head];
    if (!*head || !last || last->next) {
      last = *head;
      while (last && last->next) last = last->next;
    }
    if (last)
      last->next = b;
    else
      *head = b;
    last = b;
  }
  return b;
}

// ------------------------------------------------------------- lights

int AddExcludedLight(SceneDb* db, SceneItem* object, ItemCode light) {
  ObjectItemData* d = GetObjectData(db, object);
  if (!d) return ERR_PARAM;
  d->excludedLights.push_back(light);
  return 0;
}

int IsLightExcluded(SceneDb* db, SceneItem* object, ItemCode light) {
  ObjectItemData* d = GetObjectData(db, object);
  if (!d) return 0;
  for (ItemCode c : d->excludedLights)
    if (c == light) return 1;
  return 0;
}

int LightAffectsObject(SceneDb* db, SceneItem* object, SceneItem* light) {
  return IsLightExcluded(db, object, MakeItemCode(db, light)) ? 0 : 1;
}

// ------------------------------------------------------------- text

// Reads up to the next CR or LF (dropped) into buffer, keeping at most
// size - 1 bytes; returns the byte that ended the line, or EOF.
int ReadRawLine(SceneDb* db, char* buffer, int size, int* length) {
  SceneDbPrivate& p = Priv(db);
  int len = 0, c = EOF;
  if (p.memory) {
    const char* data = p.memory;
    size_t pos = p.memoryPos;
    const size_t end = p.memorySize;
    for (; pos < end && data[pos] != '\r' && data[pos] != '\n'; ++pos)
      if (len < size - 1) buffer[len++] = data[pos];
    if (pos < end) c = static_cast<unsigned char>(data[pos++]);
    p.memoryPos = pos;
  } else if (FILE* f = db->input) {
    while ((c = getc(f)) != EOF && c != '\r' && c != '\n')
      if (len < size - 1) buffer[len++] = char(c);  // the rest of a long line is dropped
  }
  buffer[len] = 0;
  *length = len;
  return c;
}

int ReadLine(SceneDb* db, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  SceneDbPrivate& p = Priv(db);
  if (p.hasPushedBack) {
    p.hasPushedBack = false;
    size_t n = std::min(p.pushedBack.size(), size_t(size) - 1);
    memcpy(buffer, p.pushedBack.data(), n);
    buffer[n] = 0;
    if (n > 0) return int(n);
  }
  for (;;) {
    int len = 0;
    int end = ReadRawLine(db, buffer, size, &len);
    if (len > 0) return len;
    if (end == EOF) return 0;
  }
}

int AppendText(SceneDb*, std::vector<char>* buffer, const char* text) {
  if (!buffer) return 0;
  if (text) buffer->insert(buffer->end(), text, text + strlen(text));
  buffer->push_back(0);
  return buffer->size() > size_t(INT32_MAX) ? INT32_MAX : int(buffer->size());
}

int SplitTokens(SceneDb*, const char* line, int k, std::vector<std::string>* out) {
  if (!out) return 0;
  if (k > 4096) k = 4096;
  // Cleared rather than rebuilt: the reader splits every line, and keeping
  // the strings' storage saves most of its allocations.
  out->resize(size_t(k > 0 ? k : 0));
  for (std::string& s : *out) s.clear();
  if (!line || k <= 0) return 0;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  const char* p = line;
  int count = 0;
  while (count < k) {
    while (blank(*p)) ++p;
    if (!*p) break;
    if (count == k - 1 && k > 1) {
      (*out)[size_t(count++)] = p;
      break;
    }
    const char* start = p;
    while (*p && !blank(*p)) ++p;
    (*out)[size_t(count++)].assign(start, p);
  }
  return count;
}

void Trace(SceneDb* db, const char* format, ...) {
  if (!db->trace || !format) return;
  va_list args;
  va_start(args, format);
  vfprintf(db->trace, format, args);
  va_end(args);
}

const char* GetLibraryVersion(SceneDb*) { return "1.0b22"; }

SceneDb* NewSceneDb(const char* path, int openFlags, const LoadOptions* options) {
  try {
    auto db = std::make_unique<SceneDb>();
    db->path = path ? path : "";
    db->openFlags = openFlags;
    if (options) db->loadOptions = *options;
    db->loadOptions.contentDirectory[kNameSize - 1] = 0;
    db->memoryTracker = CreateMemCon();
    InstallItemOps(db->ops);
    InstallEvalOps(db->ops);
    InstallReaderOps(db->ops);
    // Present from the start, so a scene that fails to read still has them.
    db->fog = db->ops.NewFog(db.get());
    db->backdrop = db->ops.NewBackdrop(db.get());
    db->composite = db->ops.NewComposite(db.get());
    db->processing = db->ops.NewProcessing(db.get());
    db->illuminate = db->ops.NewIlluminate(db.get());
    return db.release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

SceneDb::SceneDb() : priv(std::make_unique<SceneDbPrivate>()) {}

SceneDb::~SceneDb() {
  // Clones share the geometry of the view they came from: close them first.
  std::vector<ObjectDb*> originals;
  for (auto& r : priv->records) {
    auto* d = dynamic_cast<ObjectItemData*>(r.get());
    if (!d || !d->objectDb) continue;
    if (d->objectDb->flags & 1)
      CloseObjectDb(&d->objectDb);
    else
      originals.push_back(d->objectDb);
  }
  for (ObjectDb* o : originals) CloseObjectDb(&o);
  if (input) fclose(input);
  if (memoryTracker) ReleaseMemCon(&memoryTracker);
}

void UnreadLine(SceneDb* db, const char* line) {
  Priv(db).pushedBack = line ? line : "";
  Priv(db).hasPushedBack = true;
}

void InstallItemOps(SceneDbOps& o) {
  o.FindFirstItem = FindFirstItem;
  o.NextItemOfType = NextItemOfType;
  o.GetParentItem = GetParentItem;
  o.GetTargetItem = GetTargetItem;
  o.FindItemById = FindItemById;
  o.FindItemByName = FindItemByName;
  o.ItemDisplayName = ItemDisplayName;
  o.GetItemMotion = GetItemMotion;
  o.FindItemChannel = FindItemChannel;
  o.CountItems = CountItems;
  o.GetObjectData = GetObjectData;
  o.GetBoneData = GetBoneData;
  o.GetLightData = GetLightData;
  o.GetCameraData = GetCameraData;
  o.NextPlugin = NextPlugin;
  o.GetFog = [](SceneDb* db) { return db->fog; };
  o.GetBackdrop = [](SceneDb* db) { return db->backdrop; };
  o.GetComposite = [](SceneDb* db) { return db->composite; };
  o.GetProcessing = [](SceneDb* db) { return db->processing; };
  o.GetIlluminate = [](SceneDb* db) { return db->illuminate; };
  o.DumpScene = DumpSceneText;
  o.GetLibraryVersion = GetLibraryVersion;
  o.SetParentItem = SetParentItem;
  o.LightAffectsObject = LightAffectsObject;
  o.IsLightExcluded = IsLightExcluded;
  o.ReadLine = ReadLine;
  o.AppendText = AppendText;
  o.SplitTokens = SplitTokens;
  o.Trace = Trace;
  o.AddItem = AddItem;
  o.SetItemName = SetItemName;
  o.SetItemShow = SetItemShow;
  o.SetPivotPosition = SetPivotPosition;
  o.SetPivotRotation = SetPivotRotation;
  o.SetParentCode = SetParentCode;
  o.SetGoal = SetGoal;
  o.SetTarget = SetTarget;
  o.FindNthItem = FindNthItem;
  o.ItemFromCode = ItemFromCode;
  o.FindLastItemBefore = FindLastItemBefore;
  o.BoneOwner = BoneOwner;
  o.SameNameOrdinal = SameNameOrdinal;
  o.NewObjectData = NewObjectData;
  o.NewCameraData = NewCameraData;
  o.NewLightData = NewLightData;
  o.NewBoneData = NewBoneData;
  o.AddPlugin = AddPlugin;
  o.NewFog = NewFog;
  o.UpdateCameraFov = UpdateCameraFov;
  o.NewBackdrop = NewBackdrop;
  o.NewComposite = NewComposite;
  o.NewProcessing = NewProcessing;
  o.NewIlluminate = NewIlluminate;
  o.MakeItemCode = MakeItemCode;
  o.AddExcludedLight = AddExcludedLight;
}

// AddObjectItem creates its item through the list bookkeeping above.
SceneItem* AppendObjectItem(SceneDb* db) { return AppendItem(db, ITEM_OBJECT); }

SceneDb* CreateSceneDb(const char* path, int openFlags, const LoadOptions* options) {
  SceneDb* db = NewSceneDb(path, openFlags, options);
  if (db) OpenScene(db);
  return db;
}

SceneDb* CreateSceneDbFromMemory(const char* name, const char* text, size_t size, int openFlags,
                                 const LoadOptions* options) {
  SceneDb* db = NewSceneDb(name, openFlags, options);
  if (!db) return nullptr;
  static const char empty = 0;
  db->priv->memory = text ? text : &empty;
  db->priv->memorySize = text ? size : 0;
  db->priv->memoryPos = 0;
  OpenScene(db);
  return db;
}

void CloseSceneDb(SceneDb** db) {
  if (!db || !*db) return;
  delete *db;
  *db = nullptr;
}
