// Shared internals of the scene library: the SceneDb's private state, the
// wiring of the operations table, number parsing and path conversion.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "scenedb.h"

// Bounds on what a file can make the library hold.
constexpr int kLineSize = 1024;           // read buffer: lines are cut to 1023 bytes
constexpr int kMaxItems = 1 << 18;        // items in one scene
constexpr int kMaxKeys = 1 << 22;         // keys in one envelope or motion
constexpr int kMaxChannels = 1024;        // channels in one motion block
constexpr int kMaxClipEnvelopes = 64;     // envelopes of one clip adjustment
constexpr size_t kMaxPluginData = 1 << 20;  // bytes kept per plug-in block

struct SceneDbPrivate {
  std::vector<std::unique_ptr<SceneRecord>> records;  // every owned record
  std::vector<std::unique_ptr<SceneItem>> items;      // in list order
  SceneItem* lastItem = nullptr;
  std::vector<SceneItem*> byType[5];                  // objects, lights, cameras, bones by type index
  std::vector<std::vector<SceneItem*>> bonesOf;       // per object index: its bones by number
  std::unordered_map<std::string, ObjectDb*> loadedFiles;  // file name -> first loaded ObjectDb
  std::string displayName;                            // ItemDisplayName's shared buffer
  std::unordered_map<PluginBlock**, PluginBlock*> pluginTails;  // list head -> last block

  // Input while reading: a FILE (SceneDb::input) or a memory block.
  const char* memory = nullptr;
  size_t memorySize = 0;
  size_t memoryPos = 0;
  std::string pushedBack;  // a line handed back to ReadLine
  bool hasPushedBack = false;

  template <typename T>
  T* Own(std::unique_ptr<T> record) {
    T* raw = record.get();
    records.push_back(std::move(record));
    return raw;
  }
};

void InstallItemOps(SceneDbOps& ops);    // scenedb.cpp
void InstallEvalOps(SceneDbOps& ops);    // scene_eval.cpp
void InstallReaderOps(SceneDbOps& ops);  // lws_reader.cpp
// The DumpScene operation.
int DumpSceneText(SceneDb* db, FILE* file);  // scene_dump.cpp

// Appends a new object item (no data yet); null at the item limit.
SceneItem* AppendObjectItem(SceneDb* db);

// Reads the file or memory block set up in db (Part of CreateSceneDb).
void OpenScene(SceneDb* db);

// Hands a line back so the next ReadLine returns it first.
void UnreadLine(SceneDb* db, const char* line);

// A new empty envelope owned by db.
Envelope* NewEnvelope(SceneDb* db);
// Appends a key at the end of an envelope's key list.
Key* AppendKey(Envelope* envelope, const Key& key);
// Stores the per-span tangents of every TCB, Linear (and, when withStepped,
// Stepped) span in param1 of its first key and param0 of its second.
void StoreTangents(Envelope* envelope, bool withStepped);

// Numbers: the leading number of a token, the rest ignored, 0 when none.
// Independent of the C locale; non-finite or out-of-range values give 0.
int ParseInt(const char* token);
double ParseDouble(const char* token);
// Leading hexadecimal digits (an optional 0x), as a 32-bit pattern.
int32_t ParseHex(const char* token);
// True when the token is exactly eight hexadecimal digits (an item id).
bool IsItemId(const std::string& token);

// Object and image path forms of the two layouts (see the reader).
std::string ConvertPathV1(const std::string& path);
std::string ConvertPathV3(const std::string& path);
// The text after the last backslash.
std::string FileNamePart(const std::string& path);
// The stored form ("\" separators) as a path of this system.
std::string NativePath(const std::string& path);

constexpr double kDegToRad = 0.0174532925199399995;
