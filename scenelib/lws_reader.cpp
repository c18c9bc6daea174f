// The LWS reader: scene text of version 1 (motion keys of nine values,
// frames, degrees, 0-255 colours) and of versions 3 to 5 (item codes, one
// envelope per channel, seconds, radians), object items with their object
// files, and the number and path helpers both layouts share.
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "scene_internal.h"

// ------------------------------------------------------------- numbers

namespace {
bool Digit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

int ParseInt(const char* s) {
  if (!s) return 0;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  int64_t v = 0;
  for (; Digit(*s); ++s)
    if (v <= int64_t(INT32_MAX) + 1) v = v * 10 + (*s - '0');
  if (negative) v = -v;
  return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

double ParseDouble(const char* s) {
  if (!s) return 0;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  // Digits must follow: this keeps "nan", "inf" and hexadecimal forms out.
  if (!Digit(s[0]) && !(s[0] == '.' && Digit(s[1]))) return 0;
  double v = 0;
  auto r = std::from_chars(s, s + strlen(s), v, std::chars_format::general);
  if (r.ec != std::errc() || !std::isfinite(v)) return 0;
  return negative ? -v : v;
}

int32_t ParseHex(const char* s) {
  if (!s) return 0;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && HexValue(s[2]) >= 0) s += 2;
  uint64_t v = 0;
  for (int d; (d = HexValue(*s)) >= 0; ++s) v = std::min<uint64_t>(v * 16 + uint64_t(d), 0xFFFFFFFFu);
  return int32_t(uint32_t(v));
}

bool IsItemId(const std::string& token) {
  if (token.size() != 8) return false;
  for (char c : token)
    if (HexValue(c) < 0) return false;
  return true;
}

// ------------------------------------------------------------- paths

std::string ConvertPathV1(const std::string& path) {
  std::string out = path;
  if (out.find('/') != std::string::npos) {
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
  }
  size_t colon = out.find(':');
  if (colon == std::string::npos || out.find('\\') != std::string::npos) return out;
  out = out.substr(colon + 1);  // the volume name goes, so does the colon after it
  std::replace(out.begin(), out.end(), ':', '\\');
  return out;
}

std::string ConvertPathV3(const std::string& path) {
  std::string out;
  out.reserve(path.size() + 8);
  for (char c : path) {
    if (c == ':')
      out += ":\\";
    else if (c == '/')
      out += '\\';
    else
      out += c;
  }
  return out;
}

std::string FileNamePart(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string NativePath(const std::string& path) {
#ifdef _WIN32
  return path;
#else
  std::string out = path;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
#endif
}

namespace {

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

// The first token of a line, or the text between the quotes it starts with.
std::string Unquote(const char* line) {
  while (*line == ' ' || *line == '\t') ++line;
  if (*line == '"') {
    const char* end = strchr(line + 1, '"');
    return end ? std::string(line + 1, end) : std::string(line + 1);
  }
  const char* end = line;
  while (*end && *end != ' ' && *end != '\t') ++end;
  return std::string(line, end);
}

std::string Trimmed(const char* line) {
  std::string s = line;
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

float ToFloat(double v) { return float(std::clamp(v, double(-FLT_MAX), double(FLT_MAX))); }

// ------------------------------------------------------------- objects

// Where an object file is: as written, else under the content directory.
std::string LocateObject(SceneDb* db, const std::string& fileName) {
  std::string native = NativePath(fileName);
  if (IsRegularFile(native)) return native;
  const char* dir = db->loadOptions.contentDirectory;
  std::string base = NativePath(std::string(dir, strnlen(dir, kNameSize)));
  if (base.empty()) return std::string();
  if (base.back() != '/' && base.back() != '\\') base += '/';
  std::string joined = base + native;
  return IsRegularFile(joined) ? joined : std::string();
}

int LoadItemObject(SceneDb* db, SceneItem* item) {
  ObjectItemData* data = db->ops.GetObjectData(db, item);
  if (!data) return ERR_PARAM;
  if (data->fileName.empty() || data->objectDb) return 0;
  auto& loaded = db->priv->loadedFiles;
  auto found = loaded.find(data->fileName);
  ObjectDb* view = nullptr;
  bool fresh = false;
  if (found != loaded.end()) {
    view = found->second->ops.Clone(found->second);
  } else {
    std::string path = LocateObject(db, data->fileName);
    if (!path.empty()) view = OpenObjectDb(path.c_str(), &db->loadOptions);
    fresh = view != nullptr;
  }
  if (view) {
    int ordinal = 0;
    for (ObjLayer* l = view->ops.NextLayer(view, nullptr); l; l = view->ops.NextLayer(view, l), ++ordinal) {
      if (int64_t(l->number) + 1 != data->layer) continue;
      view->ops.SelectLayer(view, ordinal);
      data->objectDb = view;
      if (fresh) loaded.emplace(data->fileName, view);
      return 0;
    }
    CloseObjectDb(&view);  // no such layer; a clone's close leaves its original
  }
  item->loadState = 2;
  db->error = ERR_FILE_OPEN;
  db->errorPath = data->fileName;
  return ERR_FILE_OPEN;
}

SceneItem* AddObjectItem(SceneDb* db, const char* keyword, int layer, const char* text) {
  if (!keyword) return nullptr;
  const std::string kw = keyword;
  if (kw != "AddNullObject" && kw != "LoadObject" && kw != "LoadObjectLayer") return nullptr;
  SceneItem* item = AppendObjectItem(db);
  if (!item) return nullptr;
  const std::string arg = text ? text : "";
  if (kw == "AddNullObject") {
    item->name = arg;
    item->data = db->ops.NewObjectData(db, layer, nullptr);
    return item;
  }
  const bool v1 = kw == "LoadObject";
  std::string path = v1 ? ConvertPathV1(arg) : ConvertPathV3(arg);
  std::string name = FileNamePart(path);
  if (!v1) {
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
  }
  auto* data = db->ops.NewObjectData(db, layer, path.c_str());
  item->data = data;
  item->name = name;
  if (db->openFlags & SCENE_LOAD_OBJECTS) db->ops.LoadItemObject(db, item);
  if (!v1 && (layer > 1 || (data->objectDb && data->objectDb->ops.GetLayerCount(data->objectDb) > 1)))
    item->name += ":Layer" + std::to_string(layer);
  return item;
}

// ------------------------------------------------------------- reader

struct Reader;
using Handler = void (*)(Reader&);
using Table = std::unordered_map<std::string, Handler>;

struct Reader {
  SceneDb* db;
  SceneDbOps& o;
  int version;
  char line[kLineSize] = {};
  std::vector<std::string> tok, args;
  std::string keyword, rest;
  bool hasRest = false;
  bool stop = false;
  SceneItem* cur = nullptr;
  SceneItem* object = nullptr;
  SceneItem* bone = nullptr;
  SceneItem* light = nullptr;
  SceneItem* camera = nullptr;
  ObjectItemData* obj = nullptr;
  int boneFalloff = 3;
  bool seenPreview[3] = {false, false, false};
  SceneItem* v1Camera = nullptr;

  Reader(SceneDb* d, int v) : db(d), o(d->ops), version(v) {}

  // --- lines
  bool NextLine() { return o.ReadLine(db, line, kLineSize) > 0; }
  // A line inside a block: end of file there ends the block and reading.
  bool BlockLine() {
    if (NextLine()) return true;
    db->error = ERR_BAD_FORMAT;
    stop = true;
    return false;
  }
  void Unread() { UnreadLine(db, line); }
  void Malformed() { db->error = ERR_BAD_FORMAT; }
  void LimitReached() {
    db->error = ERR_BAD_FORMAT;
    stop = true;
  }
  int Split(const char* text, int k) { return o.SplitTokens(db, text, k, &tok); }
  std::string First(const char* text) {
    Split(text, 2);
    return tok[0];
  }

  // --- arguments (the rest of the keyword line)
  const std::vector<std::string>& Args(int n) {
    o.SplitTokens(db, rest.c_str(), n, &args);
    return args;
  }
  int Int() { return ParseInt(rest.c_str()); }
  double Dbl() { return ParseDouble(rest.c_str()); }
  void Doubles(double* out, int n, double scale = 1.0) {
    const auto& a = Args(n);
    for (int i = 0; i < n; ++i) out[i] = ParseDouble(a[size_t(i)].c_str()) * scale;
  }
  void Floats(float* out) {
    double v[3];
    Doubles(v, 3);
    for (int i = 0; i < 3; ++i) out[i] = ToFloat(v[i]);
  }
  void Rgb255(float* out) {
    const auto& a = Args(3);
    for (int i = 0; i < 3; ++i) out[i] = float(ParseInt(a[size_t(i)].c_str())) * (1.0f / 255.0f);
  }
  bool EnvelopeArg() const { return hasRest && rest == "(envelope)"; }

  CameraData* Cam() { return o.GetCameraData(db, camera); }
  LightData* Lgt() { return o.GetLightData(db, light); }
  BoneData* Bon() { return o.GetBoneData(db, bone); }

  // --- envelopes
  Envelope* ReadEnvelope() { return version == 1 ? ReadEnvelope1() : ReadEnvelope3(); }

  Envelope* ReadEnvelope3() {
    if (!BlockLine()) return nullptr;
    if (Split(line, 3) != 2 || tok[0] != "{" || tok[1] != "Envelope") {
      Malformed();
      Unread();
      return nullptr;
    }
    Envelope* env = NewEnvelope(db);
    if (!BlockLine()) return env;
    int n = ParseInt(First(line).c_str());
    if (n < 0 || n > kMaxKeys) {
      Malformed();
      return nullptr;
    }
    for (int i = 0; i < n; ++i) {
      if (!BlockLine()) {
        StoreTangents(env, true);
        return env;
      }
      if (Split(line, 11) != 10) {
        Malformed();
        Unread();
        return nullptr;
      }
      Key k;
      k.value = ParseDouble(tok[1].c_str());
      k.time = ParseDouble(tok[2].c_str());
      k.shape = ParseInt(tok[3].c_str());
      k.tension = ParseDouble(tok[4].c_str());
      k.continuity = ParseDouble(tok[5].c_str());
      k.bias = ParseDouble(tok[6].c_str());
      k.param0 = ParseDouble(tok[7].c_str());
      k.param1 = ParseDouble(tok[8].c_str());
      k.param2 = ParseDouble(tok[9].c_str());
      AppendKey(env, k);
    }
    if (!BlockLine()) {
      StoreTangents(env, true);
      return env;
    }
    // Without a "Behaviors" line, the line read here already belongs to the
    // rest of the block (usually its closing brace).
    bool pending = true;
    int count = Split(line, 3);
    if (tok[0] == "Behaviors") {
      pending = false;
      if (count >= 2) env->preBehavior = ParseInt(tok[1].c_str());
      if (count >= 3) env->postBehavior = ParseInt(tok[2].c_str());
    }
    int depth = 1;
    PluginBlock* handler = nullptr;
    int handlerDepth = 0;
    while (depth > 0) {
      if (pending)
        pending = false;
      else if (!BlockLine())
        break;
      const bool opens = strchr(line, '{') != nullptr;
      const bool closes = strchr(line, '}') != nullptr;
      if (opens) {
        const int before = depth++;
        if (Split(line, 3) == 2 && tok[1] == "ChannelHandler") {
          if (!BlockLine()) break;
          std::string server = Unquote(line);
          if (!BlockLine()) break;
          int index = ParseInt(First(line).c_str());
          handler = o.AddPlugin(db, env, PLUGIN_CHANNEL, index, server.c_str());
          handlerDepth = before;
        }
      }
      if (closes) {
        --depth;
        if (handler && depth <= handlerDepth) handler = nullptr;
      }
      if (!opens && !closes && handler) AppendData(handler, First(line).c_str());
    }
    StoreTangents(env, true);
    return env;
  }

  Envelope* ReadEnvelope1() {
    if (!BlockLine()) return nullptr;
    if (ParseInt(First(line).c_str()) < 0) {
      Malformed();
      return nullptr;
    }
    if (!BlockLine()) return nullptr;
    int n = ParseInt(First(line).c_str());
    if (n < 0 || n > kMaxKeys) {
      Malformed();
      return nullptr;
    }
    Envelope* env = NewEnvelope(db);
    const double fps = db->framesPerSecond;
    for (int i = 0; i < n; ++i) {
      if (!BlockLine()) return env;
      Key k;
      k.value = ParseDouble(First(line).c_str());
      if (!BlockLine()) return env;
      Split(line, 5);
      k.time = ParseInt(tok[0].c_str()) / fps;
      k.shape = ParseInt(tok[1].c_str()) ? SHAPE_LINEAR : SHAPE_TCB;
      k.tension = ParseDouble(tok[2].c_str());
      k.continuity = ParseDouble(tok[3].c_str());
      k.bias = ParseDouble(tok[4].c_str());
      AppendKey(env, k);
    }
    if (NextLine()) {
      if (Split(line, 3) >= 1 && tok[0] == "EndBehavior")
        env->postBehavior = ParseInt(tok[1].c_str());
      else
        Unread();
    }
    return env;
  }

  // A plain value, or an envelope block when the argument is "(envelope)".
  // With no target the envelope is still read, so its lines are not taken
  // for keywords.
  void ValueOrEnv(double* value, Envelope** slot, double plainScale = 1.0, double v1KeyScale = 1.0) {
    if (EnvelopeArg()) {
      Envelope* e = ReadEnvelope();
      if (e && version == 1 && v1KeyScale != 1.0)
        for (Key* k = e->firstKey; k; k = k->next) k->value *= v1KeyScale;
      if (e && slot) *slot = e;
      return;
    }
    if (value) *value = Dbl() * plainScale;
  }

  // Three floats, or three envelope blocks (red, green, blue) chained.
  void ColorOrEnv(float* color, Envelope** slot) {
    if (EnvelopeArg()) {
      Envelope *head = nullptr, *tail = nullptr;
      for (int i = 0; i < 3 && !stop; ++i) {
        Envelope* e = ReadEnvelope();
        if (!e) break;
        (tail ? tail->next : head) = e;
        tail = e;
      }
      if (head && slot) *slot = head;
      return;
    }
    if (color) Floats(color);
  }

  void AppendData(PluginBlock* block, const char* text) {
    if (block->data.size() >= kMaxPluginData) return;
    block->dataSize = o.AppendText(db, &block->data, text);
  }

  // --- motion blocks
  void ReadMotion(SceneItem* item) {
    if (!item) return;
    if (version == 1)
      ReadMotion1(item);
    else
      ReadMotion3(item);
  }

  void ReadMotion3(SceneItem* item) {
    if (!BlockLine()) return;
    Split(line, 3);
    if (tok[0] != "NumChannels") {
      Malformed();
      Unread();
      return;
    }
    int count = ParseInt(tok[1].c_str());
    item->numChannels = count;
    if (count < 0 || count > kMaxChannels) {
      Malformed();
      return;
    }
    Envelope *head = nullptr, *tail = nullptr;
    bool failed = false;
    for (int i = 0; i < count && !stop; ++i) {
      if (!BlockLine()) break;
      Split(line, 3);
      if (tok[0] != "Channel") {
        Malformed();
        Unread();
        failed = true;
        break;
      }
      int channel = ParseInt(tok[1].c_str());
      Envelope* e = ReadEnvelope3();
      if (!e) {
        failed = !stop;
        break;
      }
      e->channel = channel;
      (tail ? tail->next : head) = e;
      tail = e;
    }
    if (!failed) item->channels = head;
  }

  void ReadMotion1(SceneItem* item) {
    if (!BlockLine()) return;
    int channels = ParseInt(First(line).c_str());
    item->numChannels = channels;
    if (channels < 0) {
      Malformed();
      return;
    }
    if (!BlockLine()) return;
    int n = ParseInt(First(line).c_str());
    if (n < 0 || n > kMaxKeys) {
      Malformed();
      return;
    }
    Motion* m = db->priv->Own(std::make_unique<Motion>());
    std::vector<KeyFrame>& keys = m->keyStore;
    const int used = std::min(channels, 9);  // further values are ignored
    for (int i = 0; i < n; ++i) {
      if (!BlockLine()) break;
      double v[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
      Split(line, 10);
      for (int c = 0; c < used; ++c) v[c] = ParseDouble(tok[size_t(c)].c_str());
      if (!BlockLine()) break;
      Split(line, 5);
      KeyFrame f;
      f.frame = ParseInt(tok[0].c_str());
      f.linear = ParseInt(tok[1].c_str());
      f.tension = ParseDouble(tok[2].c_str());
      f.continuity = ParseDouble(tok[3].c_str());
      f.bias = ParseDouble(tok[4].c_str());
      for (int c = 0; c < 3; ++c) {
        f.position[c] = v[c];
        f.rotation[c] = v[3 + c] * kDegToRad;
        f.scale[c] = v[6 + c];
      }
      keys.push_back(f);
    }
    for (size_t i = 0; i < keys.size(); ++i) {
      keys[i].prev = i ? &keys[i - 1] : nullptr;
      keys[i].next = i + 1 < keys.size() ? &keys[i + 1] : nullptr;
    }
    m->keyCount = int(keys.size());
    m->keys = keys.empty() ? nullptr : &keys.front();
    m->lastKey = keys.empty() ? nullptr : &keys.back();
    m->cursor = m->keys;
    if (!stop && NextLine()) {
      if (Split(line, 3) >= 1 && tok[0] == "EndBehavior")
        m->endBehavior = ParseInt(tok[1].c_str());
      else
        Unread();
    }
    item->motion = m;
    if (db->openFlags & SCENE_MOTION_CHANNELS) item->channels = o.MotionToChannels(db, m);
  }

  // --- plug-ins
  int PluginClassOf(const std::string& name) const {
    static const char* const names[] = {"ItemMotionHandler",  "DisplacementHandler", "ChannelHandler",
                                        "VolumetricHandler",  "EnvironmentHandler",  "PixelFilterHandler",
                                        "ImageFilterHandler", "CustomObjHandler",    "ObjReplacementHandler",
                                        "MasterHandler"};
    for (int i = 0; i < 10; ++i) {
      if (name != names[i]) continue;
      int cls = i + 1;
      if (version == 1 && cls != PLUGIN_ITEM_MOTION && cls != PLUGIN_DISPLACEMENT && cls != PLUGIN_PIXEL_FILTER &&
          cls != PLUGIN_IMAGE_FILTER)
        return PLUGIN_NONE;
      return cls;
    }
    return PLUGIN_NONE;
  }

  void ReadPlugin() {
    const auto& a = Args(3);
    int cls = PluginClassOf(a[0]);
    void* owner = nullptr;
    if (cls == PLUGIN_ITEM_MOTION) owner = cur;
    if (cls == PLUGIN_DISPLACEMENT || cls == PLUGIN_CUSTOM_OBJECT || cls == PLUGIN_OBJ_REPLACEMENT) owner = obj;
    PluginBlock* block = o.AddPlugin(db, owner, cls, ParseInt(a[1].c_str()), a[2].c_str());
    while (BlockLine()) {
      if (Trimmed(line) == "EndPlugin") return;
      AppendData(block, version == 1 ? line : First(line).c_str());
    }
  }

  // --- clips
  ClipRef* ReadClip() {
    if (!BlockLine()) return nullptr;
    if (Split(line, 3) != 2 || tok[0] != "{" || tok[1] != "Clip") {
      Unread();
      return nullptr;
    }
    ClipRef* clip = db->priv->Own(std::make_unique<ClipRef>());
    int depth = 1;
    while (depth > 0 && BlockLine()) {
      const bool opens = strchr(line, '{') != nullptr;
      const bool closes = strchr(line, '}') != nullptr;
      if (opens) {
        ++depth;
        Split(line, 3);
        ReadClipPart(clip, tok[1]);
        if (stop) break;
        if (closes) --depth;
        continue;
      }
      if (closes) {
        --depth;
        continue;
      }
      if (depth != 1) continue;
      Split(line, 2);
      const std::string kw = tok[0], arg = tok[1];
      if (kw == "Flags") {
        clip->flags = ParseHex(arg.c_str());
      } else if (kw == "Negative") {
        clip->negative = ParseInt(arg.c_str());
      } else if (kw == "AlphaMode") {
        clip->alphaMode = ParseInt(arg.c_str());
      } else if (kw == "Times") {
        Split(arg.c_str(), 5);
        clip->times = std::make_unique<ClipTimes>();
        clip->times->inTime = ToFloat(ParseDouble(tok[0].c_str()));
        clip->times->outTime = ToFloat(ParseDouble(tok[1].c_str()));
        clip->times->frameRate = ToFloat(ParseDouble(tok[2].c_str()));
        clip->times->behaviors[0] = ParseInt(tok[3].c_str());
        clip->times->behaviors[1] = ParseInt(tok[4].c_str());
      }
    }
    return clip;
  }

  // Version 1 names the image on the keyword line.
  ClipRef* StillClip() {
    ClipRef* c = db->priv->Own(std::make_unique<ClipRef>());
    c->still = std::make_unique<ClipStill>();
    c->still->imageName = rest;
    return c;
  }

  // The fixed lines of a nested block of a clip; false at end of file.
  bool IntLine(int* v) {
    if (!BlockLine()) return false;
    *v = ParseInt(First(line).c_str());
    return true;
  }
  bool TextLine(std::string* s, bool convert) {
    if (!BlockLine()) return false;
    *s = convert ? ConvertPathV3(Unquote(line)) : Unquote(line);
    return true;
  }

  void ReadClipPart(ClipRef* clip, const std::string& name) {
    static const char* const adjustments[] = {"Brightness", "Contrast", "Hue", "Gamma", "Saturation"};
    if (name == "Still") {
      clip->clipType = CLIP_STILL;
      clip->still = std::make_unique<ClipStill>();
      TextLine(&clip->still->imageName, true);
    } else if (name == "Sequence") {
      clip->clipType = CLIP_SEQUENCE;
      clip->sequence = std::make_unique<SceneClipSequence>();
      SceneClipSequence& s = *clip->sequence;
      int v[6];
      for (int& x : v)
        if (!IntLine(&x)) return;
      s.digits = uint8_t(v[0]);
      s.flags = uint8_t(v[1]);
      s.startFrame = int16_t(v[2]);
      s.loopLength = int16_t(v[3]);
      s.firstFrame = int16_t(v[4]);
      s.lastFrame = int16_t(v[5]);
      if (TextLine(&s.prefix, true)) TextLine(&s.suffix, false);
    } else if (name == "Animation") {
      clip->clipType = CLIP_ANIMATION;
      clip->animation = std::make_unique<SceneClipAnimation>();
      SceneClipAnimation& a = *clip->animation;
      int index = 0;
      if (TextLine(&a.fileName, true) && TextLine(&a.serverName, false) && IntLine(&index)) a.index = int16_t(index);
    } else if (name == "Reference") {
      clip->clipType = CLIP_REFERENCE;
      clip->reference = std::make_unique<SceneClipReference>();
      if (!IntLine(&clip->reference->value)) return;
      for (std::string& s : clip->reference->texts)
        if (!TextLine(&s, true)) return;
    } else {
      for (int i = 0; i < 5; ++i) {
        if (name != adjustments[i]) continue;
        auto adj = std::make_unique<ClipAdjustment>();
        ClipAdjustment* a = adj.get();
        clip->adjustments[i] = std::move(adj);
        if (!BlockLine()) return;
        a->value = ToFloat(ParseDouble(First(line).c_str()));
        int count = 0;
        if (!IntLine(&count)) return;
        if (count < 0 || count > kMaxClipEnvelopes) {
          Malformed();
          return;
        }
        Envelope* tail = nullptr;
        for (int e = 0; e < count && !stop; ++e) {
          Envelope* env = ReadEnvelope3();
          if (!env) break;
          (tail ? tail->next : a->envelopes) = env;
          tail = env;
          ++a->envelopeCount;
        }
      }
    }
  }

  // --- items
  void SetObject(SceneItem* item) {
    if (!item) return LimitReached();
    cur = object = item;
    obj = o.GetObjectData(db, item);
  }

  // Versions 4 and 5 put an eight-digit item id before some arguments.
  std::string WithoutItemId(const std::string& text) {
    if (version < 4) return text;
    std::vector<std::string> a;
    if (o.SplitTokens(db, text.c_str(), 2, &a) == 2 && IsItemId(a[0])) return a[1];
    return text;
  }

  SceneItem* NewItem(int type) {
    SceneItem* item = o.AddItem(db, type);
    if (!item) {
      LimitReached();
      return nullptr;
    }
    cur = item;
    return item;
  }

  void EnsureCamera() {
    if (!v1Camera) {
      v1Camera = NewItem(ITEM_CAMERA);
      if (!v1Camera) return;
      o.SetItemName(db, v1Camera, "Camera");
    }
    cur = camera = v1Camera;
  }

  void SetControllers(int value) {
    if (cur) cur->hController = cur->pController = cur->bController = value;
  }

  // --- the loop
  int Run(const Table& table) {
    while (!stop && NextLine()) {
      int count = Split(line, 2);
      keyword = tok[0];
      rest = tok[1];
      hasRest = count == 2;
      if (db->trace) o.Trace(db, "{%s} {%s}\n", keyword.c_str(), hasRest ? rest.c_str() : "");
      auto it = table.find(keyword);
      if (it != table.end()) it->second(*this);
    }
    Finish();
    return db->error;
  }

  void Finish() {
    if (version == 1) {
      if (!seenPreview[0]) db->previewFirstFrame = db->firstFrame;
      if (!seenPreview[1]) db->previewLastFrame = db->lastFrame;
      if (!seenPreview[2]) db->previewFrameStep = db->frameStep;
      FixReferences();
    }
    for (SceneItem* b = o.FindFirstItem(db, ITEM_BONE, nullptr); b; b = b->next) {
      if (b->type != ITEM_BONE) continue;
      SceneItem* owner = o.BoneOwner(db, b);
      if (BoneData* d = o.GetBoneData(db, b)) d->ownerId = owner ? owner->id : 0;
    }
  }

  // Version 1 keeps 1-based numbers in the parent field while reading.
  void FixReferences() {
    for (SceneItem* it = db->items; it; it = it->next) {
      const int n = it->parent;
      if (it->type != ITEM_BONE) {
        it->parent = n ? o.MakeItemCode(db, o.FindNthItem(db, nullptr, n, ITEM_OBJECT)) : 0;
        continue;
      }
      SceneItem* owner = o.BoneOwner(db, it);
      SceneItem* target = nullptr;
      if (n == 0)
        target = owner;
      else if (owner)
        target = o.ItemFromCode(db, ITEM_BONE, it->ownerIndex, n - 1);
      it->parent = target ? o.MakeItemCode(db, target) : 0;
    }
  }
};

// ------------------------------------------------------------- keyword tables

#define H(...) [](Reader & r) { __VA_ARGS__; }

void AddHeader(Table& t) {
  t["FirstFrame"] = H(r.db->firstFrame = r.Int());
  t["LastFrame"] = H(r.db->lastFrame = r.Int());
  t["FrameStep"] = H(r.db->frameStep = r.Int());
  t["PreviewFirstFrame"] = H(r.db->previewFirstFrame = r.Int(); r.seenPreview[0] = true);
  t["PreviewLastFrame"] = H(r.db->previewLastFrame = r.Int(); r.seenPreview[1] = true);
  t["PreviewFrameStep"] = H(r.db->previewFrameStep = r.Int(); r.seenPreview[2] = true);
  // A rate that is not positive would divide frames by zero.
  t["FramesPerSecond"] = H(double f = r.Dbl(); if (f > 0) r.db->framesPerSecond = f);
}

const Table& Version3Table() {
  static const Table table = [] {
    Table t;
    AddHeader(t);
    t["CurrentFrame"] = H(r.db->currentFrame = r.Int());
    t["CurrentObject"] = H(r.db->currentObject = r.Int());
    t["CurrentLight"] = H(r.db->currentLight = r.Int());
    t["CurrentCamera"] = H(r.db->currentCamera = r.Int());

    t["AddNullObject"] =
        H(r.SetObject(r.o.AddObjectItem(r.db, "AddNullObject", 1, r.WithoutItemId(r.rest).c_str())));
    t["LoadObjectLayer"] = H(const auto& a = r.Args(2); std::string path = r.WithoutItemId(a[1]);
                             r.SetObject(r.o.AddObjectItem(r.db, "LoadObjectLayer", ParseInt(a[0].c_str()),
                                                           path.c_str())));
    t["ShowObject"] = H(const auto& a = r.Args(2); if (r.object) r.o.SetItemShow(r.db, r.object, ParseInt(a[0].c_str()),
                                                                          ParseInt(a[1].c_str())));
    t["ShowBone"] = H(const auto& a = r.Args(2);
                      if (r.bone) r.o.SetItemShow(r.db, r.bone, ParseInt(a[0].c_str()), ParseInt(a[1].c_str())));
    t["ShowLight"] = H(const auto& a = r.Args(2);
                       if (r.light) r.o.SetItemShow(r.db, r.light, ParseInt(a[0].c_str()), ParseInt(a[1].c_str())));
    t["ShowCamera"] = H(const auto& a = r.Args(2); if (r.camera)
                            r.o.SetItemShow(r.db, r.camera, ParseInt(a[0].c_str()), ParseInt(a[1].c_str())));
    t["ExcludeLight"] = H(if (r.object) r.o.AddExcludedLight(r.db, r.object, ParseHex(r.rest.c_str())));
    t["ObjectMotion"] = H(r.ReadMotion(r.object));
    t["BoneMotion"] = H(r.ReadMotion(r.bone));
    t["LightMotion"] = H(r.ReadMotion(r.light));
    t["CameraMotion"] = H(r.ReadMotion(r.camera));
    t["AddBone"] = H(if (SceneItem* b = r.NewItem(ITEM_BONE)) {
      r.bone = b;
      r.o.GetBoneData(r.db, b)->falloffType = r.boneFalloff;
    });
    t["AddLight"] = H(if (SceneItem* l = r.NewItem(ITEM_LIGHT)) r.light = l);
    t["AddCamera"] = H(if (SceneItem* c = r.NewItem(ITEM_CAMERA)) r.camera = c);
    t["BoneName"] = H(r.o.SetItemName(r.db, r.bone, r.rest.c_str()));
    t["LightName"] = H(r.o.SetItemName(r.db, r.light, r.rest.c_str()));
    t["CameraName"] = H(r.o.SetItemName(r.db, r.camera, r.rest.c_str()));
    t["PivotPosition"] = H(double v[3]; r.Doubles(v, 3); r.o.SetPivotPosition(r.db, r.cur, v[0], v[1], v[2]));
    t["PivotRotation"] =
        H(double v[3]; r.Doubles(v, 3, kDegToRad); r.o.SetPivotRotation(r.db, r.cur, v[0], v[1], v[2]));
    t["ParentItem"] = H(r.o.SetParentCode(r.db, r.cur, ParseHex(r.rest.c_str())));
    t["TargetObject"] = H(r.o.SetTarget(r.db, r.cur, r.Int()));
    t["GoalObject"] = H(r.o.SetGoal(r.db, r.cur, r.Int()));
    t["HController"] = H(if (r.cur) r.cur->hController = r.Int());
    t["PController"] = H(if (r.cur) r.cur->pController = r.Int());
    t["BController"] = H(if (r.cur) r.cur->bController = r.Int());
    t["HLimits"] = H(if (r.cur) r.Doubles(r.cur->hLimits, 2, kDegToRad));
    t["PLimits"] = H(if (r.cur) r.Doubles(r.cur->pLimits, 2, kDegToRad));
    t["BLimits"] = H(if (r.cur) r.Doubles(r.cur->bLimits, 2, kDegToRad));
    t["HJointStiffness"] = H(if (r.cur) r.cur->hStiffness = r.Dbl());
    t["PJointStiffness"] = H(if (r.cur) r.cur->pStiffness = r.Dbl());
    t["BJointStiffness"] = H(if (r.cur) r.cur->bStiffness = r.Dbl());
    t["PathAlignLookAhead"] = H(if (r.cur) r.cur->pathAlignLookAhead = r.Dbl());
    t["GoalStrength"] = H(if (r.cur) r.cur->goalStrength = r.Dbl());
    t["FullTimeIK"] = H(if (r.cur) r.cur->fullTimeIK = r.Int());
    t["MatchGoalOrientation"] = H(if (r.cur) r.cur->matchGoalOrientation = r.Int());
    t["KeepGoalWithinReach"] = H(if (r.cur) r.cur->keepGoalWithinReach = r.Int());
    t["IKAnchor"] = H(if (r.cur) r.cur->ikAnchor = r.Int());

    t["ShadowOptions"] = H(if (r.obj) r.obj->shadowOptions = r.Int());
    t["MorphTarget"] = H(if (r.obj) r.obj->morphTarget = r.Int());
    t["MorphSurfaces"] = H(if (r.obj) r.obj->morphSurfaces = r.Int());
    t["MTSEMorphing"] = H(if (r.obj) r.obj->mtseMorphing = r.Int());
    t["DistanceDissolve"] = H(if (r.obj) r.obj->distanceDissolve = r.Int());
    t["MorphAmount"] = H(auto* d = r.obj; r.ValueOrEnv(d ? &d->morphAmount : nullptr,
                                                       d ? &d->morphAmountEnvelope : nullptr));
    t["ObjectDissolve"] = H(auto* d = r.obj; r.ValueOrEnv(d ? &d->objectDissolve : nullptr,
                                                          d ? &d->dissolveEnvelope : nullptr));
    t["PolygonSize"] = H(auto* d = r.obj; r.ValueOrEnv(d ? &d->polygonSize : nullptr,
                                                       d ? &d->polygonSizeEnvelope : nullptr));
    t["MaxDissolveDistance"] = H(if (r.obj) r.obj->maxDissolveDistance = r.Dbl());

    t["BoneFalloffType"] = H(r.boneFalloff = r.Int());
    t["BoneActive"] = H(if (auto* b = r.Bon()) b->active = r.Int());
    t["BoneWeightMapOnly"] = H(if (auto* b = r.Bon()) b->weightMapOnly = r.Int());
    t["BoneNormalization"] = H(if (auto* b = r.Bon()) b->normalization = r.Int());
    t["BoneLimitedRange"] = H(if (auto* b = r.Bon()) b->limitedRange = r.Int());
    t["BoneRestPosition"] = H(if (auto* b = r.Bon()) r.Doubles(b->restPosition, 3));
    t["BoneRestDirection"] = H(if (auto* b = r.Bon()) r.Doubles(b->restDirection, 3, kDegToRad));
    t["BoneWeightMapName"] = H(if (auto* b = r.Bon()) b->weightMapName = r.rest);
    t["BoneRestLength"] = H(if (auto* b = r.Bon()) b->restLength = r.Dbl());
    t["ScaleBoneStrength"] = H(if (auto* b = r.Bon()) b->scaleStrength = r.Dbl());
    t["BoneStrength"] = H(if (auto* b = r.Bon()) b->strength = r.Dbl());
    t["BoneMinRange"] = H(if (auto* b = r.Bon()) b->minRange = r.Dbl());
    t["BoneMaxRange"] = H(if (auto* b = r.Bon()) b->maxRange = r.Dbl());
    t["BoneJointComp"] = H(if (auto* b = r.Bon()) b->jointComp = r.Dbl());
    t["BoneJointCompParent"] = H(if (auto* b = r.Bon()) b->jointCompParent = r.Dbl());
    t["BoneMuscleFlex"] = H(if (auto* b = r.Bon()) b->muscleFlex = r.Dbl());
    t["BoneMuscleFlexParent"] = H(if (auto* b = r.Bon()) b->muscleFlexParent = r.Dbl());

    t["LightColor"] = H(auto* l = r.Lgt(); r.ColorOrEnv(l ? l->color : nullptr, l ? &l->colorEnvelope : nullptr));
    t["LightIntensity"] =
        H(auto* l = r.Lgt(); r.ValueOrEnv(l ? &l->intensity : nullptr, l ? &l->intensityEnvelope : nullptr));
    t["LightRange"] = H(auto* l = r.Lgt(); r.ValueOrEnv(l ? &l->range : nullptr, l ? &l->rangeEnvelope : nullptr));
    t["LightConeAngle"] = H(auto* l = r.Lgt(); r.ValueOrEnv(l ? &l->coneAngle : nullptr,
                                                            l ? &l->coneAngleEnvelope : nullptr, kDegToRad));
    t["LightEdgeAngle"] = H(auto* l = r.Lgt(); r.ValueOrEnv(l ? &l->edgeAngle : nullptr,
                                                            l ? &l->edgeAngleEnvelope : nullptr, kDegToRad));
    t["ShadowMapAngle"] = H(auto* l = r.Lgt(); r.ValueOrEnv(l ? &l->shadowMapAngle : nullptr,
                                                            l ? &l->shadowMapAngleEnvelope : nullptr, kDegToRad));
    t["LightType"] = H(if (auto* l = r.Lgt()) l->lightType = r.Int());
    t["LightFalloffType"] = H(if (auto* l = r.Lgt()) l->falloffType = r.Int());
    t["ShadowType"] = H(if (auto* l = r.Lgt()) l->shadowType = r.Int());
    t["AffectDiffuse"] = H(if (auto* l = r.Lgt()) l->affectDiffuse = r.Int());
    t["AffectSpecular"] = H(if (auto* l = r.Lgt()) l->affectSpecular = r.Int());
    t["AffectCaustics"] = H(if (auto* l = r.Lgt()) l->affectCaustics = r.Int());
    t["AffectOpenGL"] = H(if (auto* l = r.Lgt()) l->affectOpenGL = r.Int());

    t["ZoomFactor"] = H(auto* c = r.Cam(); bool plain = !r.EnvelopeArg();
                        r.ValueOrEnv(c ? &c->zoomFactor : nullptr, c ? &c->zoomFactorEnvelope : nullptr);
                        if (c && plain) r.o.UpdateCameraFov(r.db, c));
    t["ResolutionMultiplier"] = H(if (auto* c = r.Cam()) c->resolutionMultiplier = r.Dbl());
    t["ApertureHeight"] = H(if (auto* c = r.Cam()) c->apertureHeight = r.Dbl());
    t["FrameSize"] = H(if (auto* c = r.Cam()) {
      const auto& a = r.Args(2);
      c->width = ParseInt(a[0].c_str());
      c->height = ParseInt(a[1].c_str());
      r.o.UpdateCameraFov(r.db, c);
    });
    t["PixelAspect"] = H(if (auto* c = r.Cam()) {
      c->pixelAspect = r.Dbl();
      r.o.UpdateCameraFov(r.db, c);
    });
    t["MaskPosition"] = H(if (auto* c = r.Cam()) {
      const auto& a = r.Args(4);
      for (int i = 0; i < 4; ++i) c->maskPosition[i] = ParseInt(a[size_t(i)].c_str());
    });
    t["SegmentMemory"] = H(if (auto* c = r.Cam()) c->segmentMemory = r.Int());
    t["Antialiasing"] = H(if (auto* c = r.Cam()) c->antialiasing = r.Int());
    t["AdaptiveSampling"] = H(if (auto* c = r.Cam()) c->adaptiveSampling = r.Int());
    t["MotionBlur"] = H(if (auto* c = r.Cam()) c->motionBlur = r.Int());
    t["DepthOfField"] = H(if (auto* c = r.Cam()) c->depthOfField = r.Int());
    t["BlurLength"] =
        H(auto* c = r.Cam(); r.ValueOrEnv(c ? &c->blurLength : nullptr, c ? &c->blurLengthEnvelope : nullptr));
    t["FocalDistance"] = H(auto* c = r.Cam(); r.ValueOrEnv(c ? &c->focalDistance : nullptr,
                                                           c ? &c->focalDistanceEnvelope : nullptr));
    t["LensFStop"] =
        H(auto* c = r.Cam(); r.ValueOrEnv(c ? &c->lensFStop : nullptr, c ? &c->lensFStopEnvelope : nullptr));

    t["Plugin"] = H(r.ReadPlugin());

    t["FogType"] = H(r.db->fog->fogType = r.Int());
    t["BackdropFog"] = H(r.db->fog->backdropFog = r.Int());
    t["FogMinDist"] = t["FogMinDistance"] = H(r.ValueOrEnv(&r.db->fog->minDist, &r.db->fog->minDistEnvelope));
    t["FogMaxDist"] = t["FogMaxDistance"] = H(r.ValueOrEnv(&r.db->fog->maxDist, &r.db->fog->maxDistEnvelope));
    t["FogMinAmount"] = H(r.ValueOrEnv(&r.db->fog->minAmount, &r.db->fog->minAmountEnvelope));
    t["FogMaxAmount"] = H(r.ValueOrEnv(&r.db->fog->maxAmount, &r.db->fog->maxAmountEnvelope));
    t["FogColor"] = H(r.Floats(r.db->fog->color));
    t["SolidBackdrop"] = H(r.db->backdrop->solidBackdrop = r.Int());
    t["BackdropColor"] = H(r.Floats(r.db->backdrop->backdropColor));
    t["ZenithColor"] = H(r.Floats(r.db->backdrop->zenithColor));
    t["SkyColor"] = H(r.Floats(r.db->backdrop->skyColor));
    t["GroundColor"] = H(r.Floats(r.db->backdrop->groundColor));
    t["NadirColor"] = H(r.Floats(r.db->backdrop->nadirColor));
    t["FGDissolve"] = H(r.ValueOrEnv(&r.db->composite->fgDissolve, &r.db->composite->fgDissolveEnvelope));
    t["FGFaderAlphaMode"] = H(r.db->composite->fgFaderAlphaMode = r.Int());
    t["ForegroundKey"] = H(r.db->composite->foregroundKey = r.Int());
    t["LowClipColor"] = H(r.Floats(r.db->composite->lowClipColor));
    t["HighClipColor"] = H(r.Floats(r.db->composite->highClipColor));
    t["BGImage"] = H(if (ClipRef* c = r.ReadClip()) r.db->composite->bgImage = c);
    t["FGImage"] = H(if (ClipRef* c = r.ReadClip()) r.db->composite->fgImage = c);
    t["FGAlphaImage"] = H(if (ClipRef* c = r.ReadClip()) r.db->composite->fgAlphaImage = c);
    t["LimitDynamicRange"] = H(r.db->processing->limitDynamicRange = r.Int());
    t["DitherIntensity"] = H(r.db->processing->ditherIntensity = r.Int());
    t["AnimatedDither"] = H(r.db->processing->animatedDither = r.Int());
    t["GlowEffect"] = H(r.db->processing->glowEffect = r.Int());
    t["Saturation"] = H(r.ValueOrEnv(&r.db->processing->saturation, &r.db->processing->saturationEnvelope));
    t["GlowIntensity"] =
        H(r.ValueOrEnv(&r.db->processing->glowIntensity, &r.db->processing->glowIntensityEnvelope));
    t["GlowRadius"] = H(r.ValueOrEnv(&r.db->processing->glowRadius, &r.db->processing->glowRadiusEnvelope));
    t["AmbientColor"] = H(r.ColorOrEnv(r.db->illuminate->ambientColor, &r.db->illuminate->ambientColorEnvelope));
    t["AmbientIntensity"] =
        H(r.ValueOrEnv(&r.db->illuminate->ambientIntensity, &r.db->illuminate->ambientIntensityEnvelope));
    t["GlobalLightIntensity"] =
        H(r.ValueOrEnv(&r.db->illuminate->globalLightIntensity, &r.db->illuminate->globalLightEnvelope));
    t["GlobalFlareIntensity"] =
        H(r.ValueOrEnv(&r.db->illuminate->globalFlareIntensity, &r.db->illuminate->globalFlareEnvelope));
    t["CausticIntensity"] =
        H(r.ValueOrEnv(&r.db->illuminate->causticIntensity, &r.db->illuminate->causticIntensityEnvelope));
    return t;
  }();
  return table;
}

const Table& Version1Table() {
  static const Table table = [] {
    const Table& v3 = Version3Table();
    Table t;
    AddHeader(t);
    // Keywords that act as in version 3 (with version-1 envelope blocks).
    static const char* const shared[] = {
        "ShowObject", "ObjectMotion", "AddBone", "BoneName", "ShowBone", "BoneMotion", "AddLight", "LightName",
        "ShowLight", "LightMotion", "HLimits", "PLimits", "BLimits", "HJointStiffness", "PJointStiffness",
        "BJointStiffness", "FullTimeIK", "GoalStrength", "MatchGoalOrientation", "KeepGoalWithinReach", "IKAnchor",
        "ShadowOptions", "MorphTarget", "MorphSurfaces", "MTSEMorphing", "DistanceDissolve", "MaxDissolveDistance",
        "BoneFalloffType", "BoneActive", "BoneNormalization", "BoneLimitedRange", "BoneRestPosition",
        "BoneRestDirection", "BoneRestLength", "ScaleBoneStrength", "BoneStrength", "BoneMinRange", "BoneMaxRange",
        "BoneJointComp", "BoneJointCompParent", "BoneMuscleFlex", "BoneMuscleFlexParent", "LightType", "ShadowType",
        "ZoomFactor", "SegmentMemory", "Antialiasing", "AdaptiveSampling", "MotionBlur", "BlurLength",
        "DepthOfField", "FocalDistance", "LensFStop", "Plugin", "FogType", "FogMinDist", "FogMinDistance",
        "FogMaxDist", "FogMaxDistance", "FogMinAmount", "FogMaxAmount", "BackdropFog", "SolidBackdrop", "FGDissolve",
        "FGFaderAlphaMode", "ForegroundKey", "DitherIntensity", "AnimatedDither", "Saturation", "GlowEffect",
        "GlowIntensity", "GlowRadius", "GlobalFlareIntensity", "AddNullObject", "LightRange"};
    for (const char* k : shared) t[k] = v3.at(k);

    t["LoadObject"] = H(r.SetObject(r.o.AddObjectItem(r.db, "LoadObject", 1, r.rest.c_str())));
    t["ShowCamera"] = H(const auto& a = r.Args(2); r.EnsureCamera(); if (r.camera) r.o.SetItemShow(
                            r.db, r.camera, ParseInt(a[0].c_str()), ParseInt(a[1].c_str())));
    t["CameraMotion"] = H(r.EnsureCamera(); r.ReadMotion(r.camera));
    t["PivotPoint"] = v3.at("PivotPosition");
    t["ParentObject"] = H(r.o.SetParentCode(r.db, r.cur, r.Int()));  // a number until FixReferences
    t["TargetObject"] = H(if (r.cur) {
      r.cur->target = r.Int();
      r.SetControllers(1);
    });
    t["GoalObject"] = H(if (r.cur) {
      r.cur->goal = r.Int();
      r.SetControllers(3);
    });
    t["PathAlignment"] = H(r.SetControllers(2));
    t["LookAheadFrames"] = H(if (r.cur) r.cur->pathAlignLookAhead = r.Int() / r.db->framesPerSecond);
    t["Metamorph"] = v3.at("MorphAmount");
    t["ObjDissolve"] = v3.at("ObjectDissolve");
    t["LightColor"] = H(if (auto* l = r.Lgt()) r.Rgb255(l->color));
    t["LgtIntensity"] = v3.at("LightIntensity");
    t["ConeAngle"] = H(auto* l = r.Lgt(); r.ValueOrEnv(l ? &l->coneAngle : nullptr,
                                                       l ? &l->coneAngleEnvelope : nullptr, kDegToRad, kDegToRad));
    t["EdgeAngle"] = H(auto* l = r.Lgt(); r.ValueOrEnv(l ? &l->edgeAngle : nullptr,
                                                       l ? &l->edgeAngleEnvelope : nullptr, kDegToRad, kDegToRad));
    t["LightFalloff"] = v3.at("LightFalloffType");
    t["NoDiffuse"] = H(if (auto* l = r.Lgt()) l->affectDiffuse = r.Int() == 0);
    t["NoSpecular"] = H(if (auto* l = r.Lgt()) l->affectSpecular = r.Int() == 0);
    t["Resolution"] = H(if (auto* c = r.Cam()) {
      static const double multipliers[] = {0.25, 0.5, 1.0, 2.0, 4.0};
      int preset = r.Int();
      c->resolutionMultiplier = preset >= -1 && preset <= 3 ? multipliers[preset + 1] : 0;
    });
    t["CustomSize"] = H(if (auto* c = r.Cam()) {
      const auto& a = r.Args(2);
      c->width = ParseInt(a[0].c_str());
      c->height = ParseInt(a[1].c_str());
      c->resolutionMultiplier = 0;
      r.o.UpdateCameraFov(r.db, c);
    });
    t["PixelAspectRatio"] = H(if (auto* c = r.Cam()) {
      static const double aspects[] = {0.859, 0.9, 1.0, 1.019, 1.067};
      static const int sizes[][2] = {{752, 480}, {720, 486}, {640, 480}, {752, 576}, {720, 576}};
      int preset = r.Int();
      bool known = preset >= 0 && preset <= 4;
      if (known) c->pixelAspect = aspects[preset];
      if (c->resolutionMultiplier > 0) {
        const int* size = known ? sizes[preset] : sizes[2];
        c->width = int(std::min(size[0] * c->resolutionMultiplier, 1e9));
        c->height = int(std::min(size[1] * c->resolutionMultiplier, 1e9));
      }
      r.o.UpdateCameraFov(r.db, c);
    });
    t["CustomPixelRatio"] = H(if (auto* c = r.Cam()) c->pixelAspect = r.Dbl());
    t["FilmSize"] = H(if (auto* c = r.Cam()) {
      static const double heights[] = {0.0041, 0.007, 0.015,  0.013, 0.0135, 0.0361, 0.052,
                                       0.013,  0.0267, 0.045, 0.06,  0.0032, 0.0048, 0.0064};
      int preset = r.Int();
      if (preset >= 0 && preset <= 13) c->apertureHeight = heights[preset];
    });
    t["FogColor"] = H(r.Rgb255(r.db->fog->color));
    t["BackdropColor"] = H(r.Rgb255(r.db->backdrop->backdropColor));
    t["ZenithColor"] = H(r.Rgb255(r.db->backdrop->zenithColor));
    t["SkyColor"] = H(r.Rgb255(r.db->backdrop->skyColor));
    t["GroundColor"] = H(r.Rgb255(r.db->backdrop->groundColor));
    t["NadirColor"] = H(r.Rgb255(r.db->backdrop->nadirColor));
    t["LowClipColor"] = H(r.Rgb255(r.db->composite->lowClipColor));
    t["HighClipColor"] = H(r.Rgb255(r.db->composite->highClipColor));
    t["AmbientColor"] = H(r.Rgb255(r.db->illuminate->ambientColor));
    t["BGImage"] = H(r.db->composite->bgImage = r.StillClip());
    t["FGImage"] = H(r.db->composite->fgImage = r.StillClip());
    t["FGAlphaImage"] = H(r.db->composite->fgAlphaImage = r.StillClip());
    t["AmbIntensity"] = v3.at("AmbientIntensity");
    return t;
  }();
  return table;
}

#undef H

}  // namespace

void OpenScene(SceneDb* db) {
  try {
    if (!db->priv->memory) {
      db->input = fopen(db->path.c_str(), "rb");
      if (!db->input) {
        db->error = ERR_FILE_OPEN;
        db->errorPath = db->path;
        return;
      }
    }
    char line[kLineSize];
    int version = 0;
    bool header = db->ops.ReadLine(db, line, kLineSize) > 0 && strcmp(line, "LWSC") == 0;
    if (header && db->ops.ReadLine(db, line, kLineSize) > 0) {
      std::vector<std::string> tok;
      db->ops.SplitTokens(db, line, 2, &tok);
      version = ParseInt(tok[0].c_str());
      db->version = version;
    }
    if (version != 1 && (version < 3 || version > 5)) {
      db->error = ERR_BAD_FORMAT;
      db->errorPath = db->path;
    } else {
      Reader reader(db, version);
      if (reader.Run(version == 1 ? Version1Table() : Version3Table()) == 0) db->ops.ComputeBoneRest(db);
    }
  } catch (const std::bad_alloc&) {
    db->error = ERR_MEMORY;
  }
  if (db->input) fclose(db->input);
  db->input = nullptr;
  db->priv->memory = nullptr;
  db->priv->hasPushedBack = false;
}

void InstallReaderOps(SceneDbOps& o) {
  o.LoadItemObject = LoadItemObject;
  o.AddObjectItem = AddObjectItem;
}
