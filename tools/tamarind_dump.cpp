// tamarind-dump: prints the library's text listing of an object (.lwo) or a
// scene (.lws) on standard output.
//
//   tamarind-dump FILE
//
// Objects are read as the viewer reads them (LWO2, then LWOB) with no
// post-processing, so the listing shows what the reader produced. A scene's
// object files are loaded too, for the object and bone-weight sections.
// Exit status 0 on success, 1 when FILE cannot be read, 2 for a usage error.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "objectdb.h"
#include "scenedb.h"

namespace {

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (tolower((unsigned char)s[s.size() - n + i]) != suffix[i]) return false;
  return true;
}

int DumpObject(const char* path) {
  ObjectDb* db = CreateObjectDb(0);
  if (!db) {
    fprintf(stderr, "%s: out of memory\n", path);
    return 1;
  }
  int status = OpenObjectDbInto(db, path, nullptr);
  if (status == 0) {
    status = db->ops.Dump(db, stdout);
    if (status) fprintf(stderr, "%s: %s\n", path, db->ops.TakeErrorText(db));
  } else {
    fprintf(stderr, "%s: %s\n", path, db->ops.TakeErrorText(db));
  }
  CloseObjectDb(&db);
  return status ? 1 : 0;
}

int DumpScene(const char* path) {
  SceneDb* db = CreateSceneDb(path, SCENE_LOAD_OBJECTS, nullptr);
  if (!db) {
    fprintf(stderr, "%s: out of memory\n", path);
    return 1;
  }
  int result = 0;
  if (db->error == 2 && db->errorPath == path) {
    fprintf(stderr, "%s: cannot be opened\n", path);
    result = 1;
  } else if (db->error == 7 && db->version == 0) {
    fprintf(stderr, "%s: not a scene of version 1, 3, 4 or 5\n", path);
    result = 1;
  } else {
    if (db->error == 2) fprintf(stderr, "%s: object not found\n", db->errorPath.c_str());
    if (db->error == 7) fprintf(stderr, "%s: malformed scene (dumping what was read)\n", path);
    if (db->ops.DumpScene(db, stdout)) result = 1;
    if (db->error == 1) result = 1;
  }
  CloseSceneDb(&db);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    fprintf(stderr, "usage: tamarind-dump FILE.lwo|FILE.lws\n");
    return 2;
  }
  const std::string path = argv[1];
  if (EndsWith(path, ".lws")) return DumpScene(argv[1]);
  if (EndsWith(path, ".lwo")) return DumpObject(argv[1]);
  fprintf(stderr, "%s: not an .lwo or .lws file\n", argv[1]);
  return 2;
}
