// Helpers shared by the scene library tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scenedb.h"

struct SceneCloser {
  void operator()(SceneDb* db) const { CloseSceneDb(&db); }
};
using ScenePtr = std::unique_ptr<SceneDb, SceneCloser>;

inline ScenePtr SceneFromText(const std::string& text, int flags = 0, const LoadOptions* options = nullptr) {
  return ScenePtr(CreateSceneDbFromMemory("test.lws", text.data(), text.size(), flags, options));
}

// Items of a scene in list order.
inline std::vector<SceneItem*> Items(SceneDb* db) {
  std::vector<SceneItem*> out;
  for (SceneItem* it = db->items; it; it = it->next) out.push_back(it);
  return out;
}

// One envelope key as written on a "Key" line.
struct KeyLine {
  double value, time;
  int shape;
  double p[6];
};

// A version-3 scene whose only item, a null, has one channel (0) with these keys.
inline std::string EnvelopeScene(const std::vector<KeyLine>& keys, int pre = 1, int post = 1) {
  std::string s = "LWSC\n3\nAddNullObject N\nObjectMotion\nNumChannels 1\nChannel 0\n{ Envelope\n  " +
                  std::to_string(keys.size()) + "\n";
  char buf[512];
  for (const KeyLine& k : keys) {
    snprintf(buf, sizeof buf, "  Key %.17g %.17g %d %.17g %.17g %.17g %.17g %.17g %.17g\n", k.value, k.time, k.shape,
             k.p[0], k.p[1], k.p[2], k.p[3], k.p[4], k.p[5]);
    s += buf;
  }
  return s + "  Behaviors " + std::to_string(pre) + " " + std::to_string(post) + "\n}\n";
}
