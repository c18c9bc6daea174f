#include "info_scene.h"

#include <string>

#include "json.h"
#include "scenedb.h"

namespace {

const char* TypeName(int type) {
  switch (type) {
    case ITEM_OBJECT: return "object";
    case ITEM_LIGHT: return "light";
    case ITEM_CAMERA: return "camera";
    case ITEM_BONE: return "bone";
    default: return "unknown";
  }
}

std::string Folder(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Position of the item's parent in the item list, -1 for none.
int ParentOrdinal(SceneDb* db, SceneItem* item) {
  SceneItem* p = db->ops.GetParentItem(db, item);
  return p ? p->ordinal : -1;
}

const ObjectItemData* LoadedObject(SceneDb* db, SceneItem* item) {
  const ObjectItemData* d = db->ops.GetObjectData(db, item);
  return d && !d->isNull ? d : nullptr;
}

void PrintJson(SceneDb* db, const char* path, FILE* out) {
  std::string s = "{\"file\": " + JsonString(path) + ", \"format\": \"LWS\", \"version\": " +
                  std::to_string(db->version) + ", \"first_frame\": " + std::to_string(db->firstFrame) +
                  ", \"last_frame\": " + std::to_string(db->lastFrame) + ", \"items\": [";
  for (SceneItem* it = db->items; it; it = it->next) {
    if (it != db->items) s += ", ";
    int parent = ParentOrdinal(db, it);
    const ObjectItemData* o = LoadedObject(db, it);
    s += "{\"type\": \"" + std::string(TypeName(it->type)) + "\", \"name\": " + JsonString(it->name) +
         ", \"parent\": " + (parent >= 0 ? std::to_string(parent) : "null") +
         ", \"object\": " + (o ? JsonString(o->fileName) : "null") + "}";
  }
  s += "]}";
  fprintf(out, "%s\n", s.c_str());
}

void PrintText(SceneDb* db, const char* path, FILE* out) {
  auto& o = db->ops;
  fprintf(out, "%s\n  format: LWS version %d\n  frames: %d to %d, step %d\n", path, db->version, db->firstFrame,
          db->lastFrame, db->frameStep);
  fprintf(out, "  items: %d (%d objects, %d bones, %d lights, %d cameras)\n", db->numItems,
          o.CountItems(db, ITEM_OBJECT, nullptr), o.CountItems(db, ITEM_BONE, nullptr),
          o.CountItems(db, ITEM_LIGHT, nullptr), o.CountItems(db, ITEM_CAMERA, nullptr));
  for (SceneItem* it = db->items; it; it = it->next) {
    fprintf(out, "  %d %s \"%s\"", it->ordinal, TypeName(it->type), it->name.c_str());
    int parent = ParentOrdinal(db, it);
    if (parent >= 0) fprintf(out, " parent %d", parent);
    fprintf(out, ", %d channels", it->numChannels);
    if (const ObjectItemData* d = o.GetObjectData(db, it))
      fprintf(out, d->isNull ? ", null" : ", loads %s", d->fileName.c_str());
    fprintf(out, "\n");
  }
}

}  // namespace

int PrintSceneInfo(const char* path, bool json, FILE* out, FILE* err) {
  LoadOptions load;
  CopyName(load.contentDirectory, Folder(path).c_str());
  SceneDb* db = CreateSceneDb(path, SCENE_LOAD_OBJECTS, &load);
  if (!db || db->error) {
    std::string error = ObjErrorText(db ? db->error : ERR_MEMORY);
    if (db && !db->errorPath.empty() && db->errorPath != path) error += ": " + db->errorPath;
    fprintf(err, "%s: %s\n", path, error.c_str());
    if (json) fprintf(out, "{\"file\": %s, \"error\": %s}\n", JsonString(path).c_str(), JsonString(error).c_str());
    CloseSceneDb(&db);
    return 1;
  }
  if (json)
    PrintJson(db, path, out);
  else
    PrintText(db, path, out);
  CloseSceneDb(&db);
  return 0;
}
