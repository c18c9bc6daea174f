#include "clip_envelope.h"

#include <cmath>
#include <new>

#include "ops_internal.h"
#include "subchunk_walk.h"

namespace {

constexpr Id4 ID_STIL = MakeId4("STIL");
constexpr Id4 ID_ISEQ = MakeId4("ISEQ");
constexpr Id4 ID_ANIM = MakeId4("ANIM");
constexpr Id4 ID_XREF = MakeId4("XREF");
constexpr Id4 ID_STCC = MakeId4("STCC");
constexpr Id4 ID_CONT = MakeId4("CONT");
constexpr Id4 ID_BRIT = MakeId4("BRIT");
constexpr Id4 ID_SATR = MakeId4("SATR");
constexpr Id4 ID_HUE = MakeId4("HUE ");
constexpr Id4 ID_GAMM = MakeId4("GAMM");
constexpr Id4 ID_NEGA = MakeId4("NEGA");
constexpr Id4 ID_CROP = MakeId4("CROP");
constexpr Id4 ID_ALPH = MakeId4("ALPH");
constexpr Id4 ID_COMP = MakeId4("COMP");
constexpr Id4 ID_IFLT = MakeId4("IFLT");
constexpr Id4 ID_PFLT = MakeId4("PFLT");
constexpr Id4 ID_FLAG = MakeId4("FLAG");
constexpr Id4 ID_TIME = MakeId4("TIME");
constexpr Id4 ID_AMOD = MakeId4("AMOD");

constexpr Id4 ID_NAME = MakeId4("NAME");
constexpr Id4 ID_PRE = MakeId4("PRE ");
constexpr Id4 ID_TYPE = MakeId4("TYPE");
constexpr Id4 ID_POST = MakeId4("POST");
constexpr Id4 ID_KEY = MakeId4("KEY ");
constexpr Id4 ID_SPAN = MakeId4("SPAN");
constexpr Id4 ID_CHAN = MakeId4("CHAN");

constexpr Id4 kShapeIds[6] = {MakeId4("TCB "), MakeId4("HERM"), MakeId4("BEZI"),
                              MakeId4("LINE"), MakeId4("STEP"), MakeId4("BEZ2")};

constexpr size_t kMaxText = kNameSize - 1;

void Cut(std::string& s) {
  if (s.size() > kMaxText) s.resize(kMaxText);
}

template <class Handle>
void WalkBody(ObjectDb* db, ChunkBuff& buf, Handle&& handle) {
  WalkSubChunks(
      buf, handle,
      [db](Id4, uint16_t length) { LogLine(db, "??? UNKNOWN ChunkBuff %d\n", int(length)); },
      [db](Id4, int diff) { LogLine(db, "??? INVALIC ChunkBuff SIZE  %d bytes over\n", diff); });
}

// ------------------------------------------------------------------- clips

ClipValue ReadClipValue(FieldReader& r) {
  ClipValue v;
  v.length = r.Declared();
  v.value = r.F4();
  v.envelope = r.VX();
  return v;
}

ClipWord ReadClipWord(FieldReader& r) {
  ClipWord v;
  v.length = r.Declared();
  v.value = r.U2();
  return v;
}

ClipFilter ReadFilter(FieldReader& r) {
  ClipFilter v;
  v.length = r.Declared();
  v.server = r.S0();
  v.flags = r.U2();
  v.data = r.Bytes(r.DeclaredLeft());
  return v;
}

long ClipSub(ClipChunks& c, Id4 id, uint16_t length, ChunkBuff& sub) {
  FieldReader r(sub, length);
  switch (id) {
    case ID_STIL: {
      ClipText v;
      v.length = length;
      v.name = r.S0();
      c.still = v;
      break;
    }
    case ID_ISEQ: {
      ClipSequence v;
      v.length = length;
      v.digits = r.U1();
      v.flags = r.U1();
      v.offset = r.I2();
      v.reserved = r.I2();
      v.start = r.I2();
      v.end = r.I2();
      v.prefix = r.S0();
      v.suffix = r.S0();
      c.sequence = v;
      break;
    }
    case ID_ANIM: {
      ClipAnimation v;
      v.length = length;
      v.fileName = r.S0();
      v.serverName = r.S0();
      c.animation = v;
      break;
    }
    case ID_XREF: {
      ClipReference v;
      v.length = length;
      v.index = r.U4();
      v.name = r.S0();
      c.reference = v;
      break;
    }
    case ID_STCC: {
      ClipColorCycle v;
      v.length = length;
      v.low = r.I2();
      v.high = r.I2();
      v.name = r.S0();
      c.colorCycle = v;
      break;
    }
    case ID_CONT: c.contrast = ReadClipValue(r); break;
    case ID_BRIT: c.brightness = ReadClipValue(r); break;
    case ID_SATR: c.saturation = ReadClipValue(r); break;
    case ID_HUE: c.hue = ReadClipValue(r); break;
    case ID_GAMM: c.gamma = ReadClipValue(r); break;
    case ID_NEGA: c.negative = ReadClipWord(r); break;
    case ID_CROP: {
      ClipCrop v;
      v.length = length;
      for (float& f : v.values) f = r.F4();
      c.crop = v;
      break;
    }
    case ID_ALPH: {
      ClipIndex v;
      v.length = length;
      v.clip = r.VX();
      c.alpha = v;
      break;
    }
    case ID_COMP: {
      ClipComposite v;
      v.length = length;
      v.clip = r.VX();
      v.opacity = r.F4();
      v.envelope = r.VX();
      c.composite = v;
      break;
    }
    case ID_IFLT: c.imageFilter = ReadFilter(r); break;
    case ID_PFLT: c.pixelFilter = ReadFilter(r); break;
    case ID_FLAG: {
      ClipFlags v;
      v.length = length;
      v.value = r.U4();
      c.flags = v;
      break;
    }
    case ID_TIME: {
      ClipTime v;
      v.length = length;
      for (float& f : v.values) f = r.F4();
      c.time = v;
      break;
    }
    case ID_AMOD: c.alphaMode = ReadClipWord(r); break;
    default: return kUnknownSubChunk;
  }
  return long(r.Used());
}

bool SameIgnoringAsciiCase(const std::string& a, const char* b) {
  auto up = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; };
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (up(static_cast<unsigned char>(a[i])) != up(static_cast<unsigned char>(b[i]))) return false;
  return i == a.size() && b[i] == 0;
}

std::string SequenceName(const std::string& prefix) {
  std::string name = LocalPath(prefix) + " (sequence)";
  Cut(name);
  return name;
}

// --------------------------------------------------------------- envelopes

long EnvlSub(EnvlChunks& e, Id4 id, uint16_t length, ChunkBuff& sub) {
  FieldReader r(sub, length);
  auto word = [&r](std::optional<EnvWord>& slot) {
    EnvWord v;
    v.length = r.Declared();
    v.value = r.U2();
    slot = v;
  };
  switch (id) {
    case ID_NAME: {
      EnvText v;
      v.length = length;
      v.text = r.S0();
      e.name = v;
      break;
    }
    case ID_PRE: word(e.pre); break;
    case ID_TYPE: word(e.type); break;
    case ID_POST: word(e.post); break;
    case ID_KEY: {
      EnvKey k;
      k.length = length;
      k.time = r.F4();
      k.value = r.F4();
      e.keys.push_back(k);
      break;
    }
    case ID_SPAN: {
      // A span belongs to the key before it; one with no key is dropped.
      if (e.keys.empty()) return length;
      EnvSpan s;
      s.length = length;
      s.shape = r.ID4();
      size_t count = std::min(r.DeclaredLeft(), r.Available()) / 4;
      s.params.resize(count);
      for (float& p : s.params) p = r.F4();
      e.keys.back().span = std::move(s);
      break;
    }
    case ID_CHAN: {
      EnvChannel c;
      c.length = length;
      c.server = r.S0();
      c.flags = r.U2();
      c.data = r.Bytes(r.DeclaredLeft());
      e.channels.push_back(std::move(c));
      break;
    }
    default: return kUnknownSubChunk;
  }
  return long(r.Used());
}

// ------------------------------------------------------------- evaluation

using Keys = std::vector<EnvCurveKey>;

// a / b, taken as 1 when b is zero (keys sharing one time).
double Ratio(double a, double b) { return b == 0 ? 1.0 : a / b; }

double Outgoing(const Keys& k, size_t i0, size_t i1) {
  const EnvCurveKey& a = k[i0];
  const EnvCurveKey& b = k[i1];
  const bool hasPrev = i0 > 0;
  const double r = hasPrev ? Ratio(double(b.time) - a.time, double(b.time) - k[i0 - 1].time) : 1.0;
  const double d = double(b.value) - a.value;
  switch (a.shape) {
    case ENV_TCB: {
      const double t = a.p[0], c = a.p[1], bias = a.p[2];
      const double out = (1 - t) * (1 - c) * (1 - bias) * d;
      if (!hasPrev) return out;
      return r * ((1 - t) * (1 + c) * (1 + bias) * (double(a.value) - k[i0 - 1].value) + out);
    }
    case ENV_HERM:
    case ENV_BEZI: return hasPrev ? r * a.p[1] : a.p[1];
    case ENV_LINE: return hasPrev ? r * (double(a.value) - k[i0 - 1].value + d) : d;
    case ENV_BEZ2: {
      const double span = double(b.time) - a.time;
      if (std::fabs(a.p[2]) > 1e-5) return a.p[3] * span / a.p[2];
      return a.p[3] * span * 100000.0;
    }
    default: return 0;
  }
}

double Incoming(const Keys& k, size_t i0, size_t i1) {
  const EnvCurveKey& a = k[i0];
  const EnvCurveKey& b = k[i1];
  const bool hasNext = i1 + 1 < k.size();
  const double r = hasNext ? Ratio(double(b.time) - a.time, double(k[i1 + 1].time) - a.time) : 1.0;
  const double d = double(b.value) - a.value;
  switch (b.shape) {
    case ENV_TCB: {
      const double t = b.p[0], c = b.p[1], bias = b.p[2];
      const double in = (1 - t) * (1 - c) * (1 + bias) * d;
      if (!hasNext) return in;
      return r * ((1 - t) * (1 + c) * (1 - bias) * (double(k[i1 + 1].value) - b.value) + in);
    }
    case ENV_HERM:
    case ENV_BEZI: return hasNext ? r * b.p[0] : b.p[0];
    case ENV_LINE: return hasNext ? r * (d + double(k[i1 + 1].value) - b.value) : d;
    default: return 0;
  }
}

double Bezier(double a, double b, double c, double d, double s) {
  const double c1 = 3 * (b - a);
  const double c2 = 3 * (c - b) - c1;
  const double c3 = d - a - c1 - c2;
  return a + s * (c1 + s * (c2 + s * c3));
}

// Two-dimensional Bezier span: find s with Bx(s) = t by bisection (at most
// 64 halvings, so times whose float spacing exceeds the tolerance end too).
double Bez2(const Keys& k, size_t i0, size_t i1, double t) {
  const EnvCurveKey& a = k[i0];
  const EnvCurveKey& b = k[i1];
  const double x0 = a.time;
  const double x1 =
      a.shape == ENV_BEZ2 ? double(a.time) + a.p[2] : a.time + (double(b.time) - a.time) / 3;
  const double x2 = double(b.time) + b.p[0];
  const double x3 = b.time;
  const double y0 = a.value;
  const double y1 =
      a.shape == ENV_BEZ2 ? double(a.value) + a.p[3] : a.value + Outgoing(k, i0, i1) / 3;
  const double y2 = double(b.value) + b.p[1];
  const double y3 = b.value;
  double lo = 0, hi = 1, s = 0.5;
  for (int i = 0; i < 64; ++i) {
    const double x = Bezier(x0, x1, x2, x3, s);
    if (std::fabs(t - x) <= 1e-4) break;
    if (x < t)
      lo = s;
    else
      hi = s;
    s = (lo + hi) / 2;
  }
  return Bezier(y0, y1, y2, y3, s);
}

// Value on the line through keys i and j (slope 0 when they share a time).
double Line(const Keys& k, size_t i, size_t j, double t) {
  const double dt = double(k[j].time) - k[i].time;
  const double slope = dt == 0 ? 0 : (double(k[j].value) - k[i].value) / dt;
  return k[i].value + (t - k[i].time) * slope;
}

bool Wraps(int behavior) {
  return behavior == ENV_REPEAT || behavior == ENV_OSCILLATE || behavior == ENV_OFFSET_REPEAT;
}

}  // namespace

// ------------------------------------------------------------------- clips

std::unique_ptr<ClipChunks> ParseClipChunks(ObjectDb* db, const uint8_t* body, size_t size) {
  try {
    auto clip = std::make_unique<ClipChunks>();
    ChunkBuff buf(body, body ? size : 0);
    ClipChunks& c = *clip;
    WalkBody(db, buf,
             [&c](Id4 id, uint16_t length, ChunkBuff& sub) { return ClipSub(c, id, length, sub); });
    return clip;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::unique_ptr<ClipChunks> ParseClipChunks(ObjectDb* db, const ObjClip& clip) {
  return ParseClipChunks(db, clip.raw.data(), clip.raw.size());
}

std::string PortablePath(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '\\') {
      if (!out.empty() && out.back() == ':') continue;
      c = '/';
    }
    out += c;
  }
  Cut(out);
  return out;
}

std::string LocalPath(const std::string& path) {
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    char c = path[i];
    if (c == '/') c = '\\';
    out += c;
    // A name already in the local form keeps its single separator.
    if (c == ':' && (i + 1 == path.size() || (path[i + 1] != '\\' && path[i + 1] != '/')))
      out += '\\';
  }
  Cut(out);
  return out;
}

std::string DerivedClipName(const ClipChunks& clip) {
  std::string name;
  if (clip.still) name = LocalPath(clip.still->name);
  if (clip.sequence) name = SequenceName(clip.sequence->prefix);
  if (clip.animation) name = LocalPath(clip.animation->fileName);
  return name;
}

std::optional<std::string> ClipName(ObjectDb* db, int clipId) {
  if (!db) return std::nullopt;
  int ordinal = db->ops.FindClipOrdinal(db, clipId);
  ObjClip* clip = db->ops.GetClip(db, ordinal);
  if (!clip) return std::nullopt;
  if (clip->name[0]) return std::string(clip->name);
  std::unique_ptr<ClipChunks> parsed = ParseClipChunks(db, *clip);
  return parsed ? DerivedClipName(*parsed) : std::string();
}

int FindClipIdByName(ObjectDb* db, const char* name) {
  if (!db || !name) return 0;
  const int count = db->ops.GetClipCount(db);
  for (int i = 0; i < count; ++i) {
    ObjClip* clip = db->ops.GetClip(db, i);
    if (!clip) continue;
    std::optional<std::string> clipName = ClipName(db, clip->id);
    if (clipName && SameIgnoringAsciiCase(*clipName, name)) return clip->id;
  }
  return 0;
}

int AddClipFromPath(ObjectDb* db, const char* path) {
  if (!db || !path || !*path) return 0;
  ChunkBuffWriter body;
  const std::string portable = PortablePath(path);
  body.WriteID4(ID_STIL);
  body.WriteU2(uint16_t(SizeOfS0(portable.c_str())));
  body.WriteS0(portable.c_str());
  const int id = db->ops.NextClipId(db);
  const int ordinal = db->ops.AddClip(db, id);
  db->ops.SetClipData(db, ordinal, int(body.Count()), body.bytes.data());
  db->ops.SetClipName(db, ordinal, path);
  return id;
}

int AddClipFromSequence(ObjectDb* db, const char* imageName, int offset, int start, int end) {
  if (!db || !imageName || !*imageName) return 0;
  std::string name = imageName;
  size_t mark = name.find("(sequence)");
  if (mark != std::string::npos) {
    name.resize(mark);
    if (!name.empty() && name.back() == ' ') name.pop_back();
  }
  const size_t dot = name.rfind('.');
  const std::string suffix = dot == std::string::npos ? std::string() : name.substr(dot);
  std::string prefix;
  int digits = 0;
  for (size_t i = 0; i < (dot == std::string::npos ? name.size() : dot); ++i) {
    if (name[i] >= '0' && name[i] <= '9')
      ++digits;
    else
      prefix += name[i];
  }
  prefix = PortablePath(prefix);
  std::string cutSuffix = suffix;
  Cut(cutSuffix);

  auto i2 = [](int v) { return uint16_t(int16_t(std::max(-32768, std::min(32767, v)))); };
  ChunkBuffWriter body;
  body.WriteID4(ID_ISEQ);
  body.WriteU2(uint16_t(10 + SizeOfS0(prefix.c_str()) + SizeOfS0(cutSuffix.c_str())));
  body.WriteU1(uint8_t(std::min(digits, 255)));
  body.WriteU1(1);
  body.WriteU2(i2(offset));
  body.WriteU2(1);
  body.WriteU2(i2(start));
  body.WriteU2(i2(end));
  body.WriteS0(prefix.c_str());
  body.WriteS0(cutSuffix.c_str());
  const int id = db->ops.NextClipId(db);
  const int ordinal = db->ops.AddClip(db, id);
  db->ops.SetClipData(db, ordinal, int(body.Count()), body.bytes.data());
  db->ops.SetClipName(db, ordinal, SequenceName(prefix).c_str());
  return id;
}

void DeriveClipName(ObjectDb* db, int ordinal) {
  if (!db) return;
  ObjClip* clip = db->ops.GetClip(db, ordinal);
  if (!clip) return;
  std::unique_ptr<ClipChunks> parsed = ParseClipChunks(db, *clip);
  if (parsed) db->ops.SetClipName(db, ordinal, DerivedClipName(*parsed).c_str());
}

// --------------------------------------------------------------- envelopes

std::unique_ptr<EnvlChunks> ParseEnvlChunks(ObjectDb* db, const uint8_t* body, size_t size) {
  try {
    auto envl = std::make_unique<EnvlChunks>();
    if (!body) size = 0;
    ChunkBuff buf(body, size);
    EnvlChunks& e = *envl;
    WalkBody(db, buf,
             [&e](Id4 id, uint16_t length, ChunkBuff& sub) { return EnvlSub(e, id, length, sub); });
    int64_t computed = SizeEnvlChunks(e);
    LogLine(db, "***  ENVELOPE SIZE (%lld / %lld)  ***\n", static_cast<long long>(size),
            static_cast<long long>(computed));
    return envl;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::unique_ptr<EnvlChunks> ParseEnvlChunks(ObjectDb* db, const ObjEnvelope& envelope) {
  return ParseEnvlChunks(db, envelope.raw.data(), envelope.raw.size());
}

int64_t SizeEnvlChunks(EnvlChunks& e) {
  int64_t n = 0;
  auto add = [&n](uint16_t& length, int64_t size) {
    length = uint16_t(size);
    n += 6 + size;
  };
  if (e.name) add(e.name->length, SizeOfS0(e.name->text.c_str()));
  if (e.pre) add(e.pre->length, 2);
  if (e.type) add(e.type->length, 2);
  if (e.post) add(e.post->length, 2);
  for (EnvKey& k : e.keys) {
    add(k.length, 8);
    if (k.span) add(k.span->length, 4 + 4 * int64_t(k.span->params.size()));
  }
  for (EnvChannel& c : e.channels)
    add(c.length, SizeOfS0(c.server.c_str()) + 2 + int64_t(c.data.size()));
  return n;
}

EnvCurve BuildEnvCurve(const EnvlChunks& chunks) {
  EnvCurve env;
  env.pre = chunks.pre ? int(chunks.pre->value) : int(ENV_RESET);
  env.post = chunks.post ? int(chunks.post->value) : int(ENV_RESET);
  Keys& keys = env.keys;
  keys.resize(chunks.keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    const EnvKey& src = chunks.keys[i];
    EnvCurveKey& k = keys[i];
    k.time = src.time;
    k.value = src.value;
    if (!src.span) continue;
    const std::vector<float>& params = src.span->params;
    k.shape = ENV_UNKNOWN_SHAPE;
    for (int s = 0; s < 6; ++s)
      if (src.span->shape == kShapeIds[s]) k.shape = s;
    for (size_t p = 0; p < 4 && p < params.size(); ++p) k.p[p] = params[p];
    if (k.shape == ENV_HERM || k.shape == ENV_BEZI || (k.shape == ENV_LINE && params.size() >= 2)) {
      k.slopeIn = k.p[0];
      k.slopeOut = k.p[1];
    }
    if ((k.shape == ENV_HERM || k.shape == ENV_LINE) && params.size() < 2) {
      k.p[0] = k.p[1] = 0;
      if (i > 0) {
        k.slopeIn = k.value - keys[i - 1].value;
        k.slopeOut = 0;
      }
    }
  }

  for (size_t i = 0; i + 1 < keys.size(); ++i) {
    EnvCurveKey& k = keys[i];
    EnvCurveKey& n = keys[i + 1];
    const bool kPrev = i > 0;
    const bool nNext = i + 2 < keys.size();
    const double d = double(n.value) - k.value;
    if (n.shape == ENV_TCB) {
      const bool kTcb = k.shape == ENV_TCB;
      const double kt = kTcb ? k.p[0] : 0, kc = kTcb ? k.p[1] : 0, kb = kTcb ? k.p[2] : 0;
      const double a = (1 - kt) * (1 + kb) * (1 + kc);
      const double b = (1 - kt) * (1 - kb) * (1 - kc);
      k.slopeOut =
          float(kPrev ? a * (double(k.value) - keys[i - 1].value) + b * d : (a + b) * d * 0.5);
      const double nt = n.p[0], nc = n.p[1], nb = n.p[2];
      const double g = (1 - nt) * (1 - nc) * (1 + nb);
      const double h = (1 - nt) * (1 + nc) * (1 - nb);
      n.slopeIn =
          float(nNext ? g * d + h * (double(keys[i + 2].value) - n.value) : (g + h) * d * 0.5);
    } else if (n.shape == ENV_LINE || n.shape == ENV_STEP) {
      const double span = double(n.time) - k.time;
      k.slopeOut = float(kPrev ? d * Ratio(double(n.time) - keys[i - 1].time, span) : d);
      n.slopeIn = float(nNext ? d * Ratio(double(keys[i + 2].time) - k.time, span) : d);
    }
  }
  return env;
}

std::unique_ptr<EnvCurve> BuildEnvelope(ObjectDb* db, int ordinal) {
  if (!db) return nullptr;
  ObjEnvelope* envelope = db->ops.GetEnvelope(db, ordinal);
  if (!envelope) return nullptr;
  try {
    std::unique_ptr<EnvlChunks> parsed = ParseEnvlChunks(db, *envelope);
    if (!parsed) return nullptr;
    return std::make_unique<EnvCurve>(BuildEnvCurve(*parsed));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

float EvalEnvelope(EnvCurve& env, float time) {
  const Keys& k = env.keys;
  if (k.empty()) return 0;
  if (k.size() == 1) return k[0].value;

  const size_t last = k.size() - 1;
  const double first = k[0].time;
  const double end = k[last].time;
  const double range = end - first;
  const double valueStep = double(k[last].value) - k[0].value;
  double t = time;
  double offset = 0;

  if (t < first || t > end) {
    const bool before = t < first;
    const int behavior = before ? env.pre : env.post;
    const EnvCurveKey& edge = before ? k[0] : k[last];
    if (Wraps(behavior)) {
      const double d = before ? first - t : t - end;
      // Whole ranges stepped: n = ceil(d / range). The wrapped time and the
      // parity of n come from exact remainders, so huge times cost nothing.
      if (!(range > 0) || !std::isfinite(d) || !std::isfinite(range)) return edge.value;
      const double rem = std::fmod(d, range);
      t = before ? (rem == 0 ? first : end - rem) : (rem == 0 ? end : first + rem);
      if (behavior == ENV_OSCILLATE) {
        const double twice = std::fmod(d, 2 * range);
        if (twice > 0 && twice <= range) t = first + end - t;
      } else if (behavior == ENV_OFFSET_REPEAT && valueStep != 0) {
        const double n = std::ceil(d / range);
        offset = before ? -n * valueStep : n * valueStep;
      }
    } else {
      switch (behavior) {
        case ENV_CONSTANT: return edge.value;
        case ENV_LINEAR:
          if (before)
            return float(k[0].shape == ENV_LINE ? Line(k, 0, 1, t)
                                                : k[0].value + (t - first) * k[0].slopeOut);
          return float(k[last].shape == ENV_LINE ? Line(k, last - 1, last, t)
                                                 : k[last].value + (t - end) * k[last].slopeIn);
        default: return 0;
      }
    }
  }
  // Evaluated at a single-precision time, as the keys are.
  t = double(float(t));

  size_t i0 = 0;
  if (env.cachedKey >= 0 && size_t(env.cachedKey) < last && t >= k[size_t(env.cachedKey)].time)
    i0 = size_t(env.cachedKey);
  while (i0 + 1 < last && k[i0 + 1].time < t) ++i0;
  const size_t i1 = i0 + 1;
  env.cachedKey = int(i0);

  const EnvCurveKey& a = k[i0];
  const EnvCurveKey& b = k[i1];
  const double span = double(b.time) - a.time;
  // At a key's time the value is that key's, whatever the span's shape.
  if (span == 0 || t == b.time) return float(b.value + offset);
  if (t == a.time) return float(a.value + offset);
  const double u = (t - a.time) / span;
  double value;
  switch (b.shape) {
    case ENV_TCB:
    case ENV_HERM:
    case ENV_BEZI: {
      const double u2 = u * u, u3 = u2 * u;
      const double h1 = 2 * u3 - 3 * u2 + 1;
      const double h2 = -2 * u3 + 3 * u2;
      const double h3 = u3 - 2 * u2 + u;
      const double h4 = u3 - u2;
      value = h1 * a.value + h2 * b.value + h3 * Outgoing(k, i0, i1) + h4 * Incoming(k, i0, i1);
      break;
    }
    case ENV_LINE: value = a.value + u * (double(b.value) - a.value); break;
    case ENV_STEP: value = a.value; break;
    case ENV_BEZ2: value = Bez2(k, i0, i1, t); break;
    default: value = 0; break;
  }
  return float(value + offset);
}
