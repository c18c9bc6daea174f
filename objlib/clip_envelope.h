// Clips (CLIP) and envelopes (ENVL) of LWO2 objects.
//
// The LWO2 reader keeps each CLIP and ENVL body (after its index) as raw
// bytes in an ObjClip or ObjEnvelope. This module parses those bodies on
// demand, derives a clip's display name, finds clips by name, makes clips
// from image paths, and builds envelopes into curves that can be evaluated
// at any time.
//
//   std::unique_ptr<EnvCurve> curve = BuildEnvelope(db, 0);
//   float v = curve ? EvalEnvelope(*curve, 12.5f) : 0.0f;
//
// Untrusted input: every parse is safe on any byte sequence (reads never
// leave the body or the sub-chunk being read; missing bytes read as zero;
// texts are cut to 255 bytes) and never fails. Unknown sub-chunks and
// length mismatches are logged through the ObjectDb's Log operation:
//   "??? UNKNOWN ChunkBuff %d\n"                    (declared length)
//   "??? INVALIC ChunkBuff SIZE  %d bytes over\n"   (declared length minus
//                                                    the bytes consumed)
// and the walk goes on at the sub-chunk's declared end. Evaluation always
// terminates and never divides by zero, whatever the key times.
//
// Path forms: clip file names are stored in the portable form "D:dir/file"
// and shown in the local (Windows) form "D:\dir\file". Names are kept as
// texts; converting them for opening files on another platform is the
// caller's job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chunk.h"

struct ObjectDb;
struct ObjClip;
struct ObjEnvelope;

// ------------------------------------------------------------------ clips

struct ClipText {  // STIL
  uint16_t length = 0;
  std::string name;
};

struct ClipSequence {  // ISEQ
  uint16_t length = 0;
  uint8_t digits = 0;
  uint8_t flags = 0;
  int16_t offset = 0;
  int16_t reserved = 0;
  int16_t start = 0;
  int16_t end = 0;
  std::string prefix;
  std::string suffix;
};

struct ClipAnimation {  // ANIM
  uint16_t length = 0;
  std::string fileName;
  std::string serverName;
};

struct ClipReference {  // XREF
  uint16_t length = 0;
  uint32_t index = 0;
  std::string name;
};

struct ClipColorCycle {  // STCC
  uint16_t length = 0;
  int16_t low = 0;
  int16_t high = 0;
  std::string name;
};

struct ClipValue {  // F4 and VX envelope: CONT, BRIT, SATR, HUE, GAMM
  uint16_t length = 0;
  float value = 0;
  uint32_t envelope = 0;
};

struct ClipWord {  // NEGA, AMOD
  uint16_t length = 0;
  uint16_t value = 0;
};

struct ClipCrop {
  uint16_t length = 0;
  float values[4] = {0, 0, 0, 0};
};

struct ClipIndex {  // ALPH: another clip
  uint16_t length = 0;
  uint32_t clip = 0;
};

struct ClipComposite {  // COMP
  uint16_t length = 0;
  uint32_t clip = 0;
  float opacity = 0;
  uint32_t envelope = 0;
};

struct ClipFilter {  // IFLT, PFLT: the data are the sub-chunk's remaining bytes
  uint16_t length = 0;
  std::string server;
  uint16_t flags = 0;
  std::vector<uint8_t> data;
};

struct ClipFlags {  // FLAG
  uint16_t length = 0;
  uint32_t value = 0;
};

struct ClipTime {  // TIME
  uint16_t length = 0;
  float values[3] = {0, 0, 0};
};

// A parsed CLIP body; a sub-chunk that appears twice keeps its last copy.
struct ClipChunks {
  std::optional<ClipText> still;             // STIL
  std::optional<ClipSequence> sequence;      // ISEQ
  std::optional<ClipAnimation> animation;    // ANIM
  std::optional<ClipReference> reference;    // XREF
  std::optional<ClipColorCycle> colorCycle;  // STCC
  std::optional<ClipValue> contrast;         // CONT
  std::optional<ClipValue> brightness;       // BRIT
  std::optional<ClipValue> saturation;       // SATR
  std::optional<ClipValue> hue;              // HUE
  std::optional<ClipValue> gamma;            // GAMM
  std::optional<ClipWord> negative;          // NEGA
  std::optional<ClipCrop> crop;              // CROP
  std::optional<ClipIndex> alpha;            // ALPH
  std::optional<ClipComposite> composite;    // COMP
  std::optional<ClipFilter> imageFilter;     // IFLT
  std::optional<ClipFilter> pixelFilter;     // PFLT
  std::optional<ClipFlags> flags;            // FLAG
  std::optional<ClipTime> time;              // TIME
  std::optional<ClipWord> alphaMode;         // AMOD
};

// Parses a CLIP body (the bytes after the clip index) into a new record owned
// by the caller. db is used only for logging and may be null. Returns null
// only when memory runs out.
std::unique_ptr<ClipChunks> ParseClipChunks(ObjectDb* db, const uint8_t* body, size_t size);
std::unique_ptr<ClipChunks> ParseClipChunks(ObjectDb* db, const ObjClip& clip);

// "D:\dir\file" -> "D:dir/file": the separator right after a drive colon is
// dropped, other backslashes become "/". Cut to 255 bytes.
std::string PortablePath(const std::string& path);
// "D:dir/file" -> "D:\dir\file": a colon not already followed by a separator
// gets a backslash, every "/" becomes "\". Cut to 255 bytes.
std::string LocalPath(const std::string& path);

// Display name derived from a parsed body: the STIL file name, else the ISEQ
// prefix followed by " (sequence)", else the ANIM file name, each in the
// local form (when several are present, ANIM wins over ISEQ over STIL).
// Empty when the body names no image. At most 255 bytes.
std::string DerivedClipName(const ClipChunks& clip);

// The name of the clip with that id (the file's clip index): the name set
// with SetClipName when not empty, otherwise the one derived from its body.
// nullopt when there is no such clip.
std::optional<std::string> ClipName(ObjectDb* db, int clipId);

// Id of the first clip, in list order, whose name (as ClipName gives it)
// equals the text ignoring ASCII letter case; 0 when none or name is null.
int FindClipIdByName(ObjectDb* db, const char* name);

// Parses the body of the clip at that list position and stores its derived
// name with SetClipName (the LWO2 reader calls this after each CLIP chunk).
// Nothing happens for an ordinal out of range or a null db.
void DeriveClipName(ObjectDb* db, int ordinal);

// Adds a clip with the next free id, named `path` as given (cut to 255 bytes),
// whose body is one STIL holding the path in the portable form. Returns the
// new id, or 0 when path is null or empty.
int AddClipFromPath(ObjectDb* db, const char* path);

// Adds a clip for an image sequence named like "dir\img000.tga" (a trailing
// "(sequence)" and the space before it are cut off first): the text from
// the last "." on is the suffix (".tga"), the digits before it are removed
// and counted (digit count, at most 255), the rest is the prefix, stored in
// the portable form; flags 1, reserved 1, with the given offset, start and
// end. The name is set as derived. Returns the new id, 0 when name is null
// or empty.
int AddClipFromSequence(ObjectDb* db, const char* imageName, int offset, int start, int end);

// --------------------------------------------------------------- envelopes

struct EnvWord {  // PRE, TYPE, POST
  uint16_t length = 0;
  uint16_t value = 0;
};

struct EnvText {  // NAME
  uint16_t length = 0;
  std::string text;
};

struct EnvSpan {
  uint16_t length = 0;
  Id4 shape = 0;              // "TCB ", "HERM", "BEZI", "LINE", "STEP", "BEZ2"
  std::vector<float> params;  // (length - 4) / 4 of them
};

struct EnvKey {  // KEY, always read as time and value (8 bytes)
  uint16_t length = 0;
  float time = 0;
  float value = 0;
  std::optional<EnvSpan> span;  // the SPAN read after this key
};

struct EnvChannel {  // CHAN: server, flags, then the remaining bytes as data
  uint16_t length = 0;
  std::string server;
  uint16_t flags = 0;
  std::vector<uint8_t> data;
};

struct EnvlChunks {
  std::optional<EnvText> name;
  std::optional<EnvWord> pre;
  std::optional<EnvWord> type;
  std::optional<EnvWord> post;
  std::vector<EnvKey> keys;  // in file order
  std::vector<EnvChannel> channels;
};

// Parses an ENVL body (the bytes after the envelope index) into a new record
// owned by the caller, then logs "***  ENVELOPE SIZE (%d / %d)  ***\n" with
// the body size and SizeEnvlChunks of the record. A SPAN before any KEY is
// skipped. db is used only for logging and may be null. Returns null only
// when memory runs out.
std::unique_ptr<EnvlChunks> ParseEnvlChunks(ObjectDb* db, const uint8_t* body, size_t size);
std::unique_ptr<EnvlChunks> ParseEnvlChunks(ObjectDb* db, const ObjEnvelope& envelope);

// Rewrites every sub-record's length from its content and returns the body
// size (6 + length per sub-chunk): NAME the S0 size, PRE/TYPE/POST 2, KEY 8,
// SPAN 4 + 4 per parameter, CHAN the S0 size + 2 + data size.
int64_t SizeEnvlChunks(EnvlChunks& record);

// Span shapes and pre/post behaviours of an evaluable envelope.
enum EnvShape {
  ENV_TCB = 0,
  ENV_HERM = 1,
  ENV_BEZI = 2,
  ENV_LINE = 3,
  ENV_STEP = 4,
  ENV_BEZ2 = 5,
  ENV_UNKNOWN_SHAPE = 6
};
enum EnvBehavior {
  ENV_RESET = 0,
  ENV_CONSTANT = 1,
  ENV_REPEAT = 2,
  ENV_OSCILLATE = 3,
  ENV_OFFSET_REPEAT = 4,
  ENV_LINEAR = 5
};

struct EnvCurveKey {
  float value = 0;
  float time = 0;
  int shape = ENV_TCB;
  float p[4] = {0, 0, 0, 0};  // TCB: tension, continuity, bias; HERM/BEZI:
                              // in and out tangents; BEZ2: in time, in value,
                              // out time, out value offsets
  float slopeIn = 0;          // slope caches, used by the linear behaviours
  float slopeOut = 0;
};

// An envelope ready for evaluation. Keys keep file order; neighbours are the
// adjacent entries. pre/post are EnvBehavior codes (reset when the body has
// none; codes outside 0..5 also act as reset).
struct EnvCurve {
  std::vector<EnvCurveKey> keys;
  int pre = ENV_RESET;
  int post = ENV_RESET;
  int cachedKey = -1;  // start of the span used last; -1 for none
};

// Builds a curve from parsed chunks: key values and times, shapes and
// parameters from the spans (a key without a span is TCB with zero
// parameters; an unknown shape evaluates to 0), then the slope caches.
// Throws std::bad_alloc only when memory runs out.
EnvCurve BuildEnvCurve(const EnvlChunks& chunks);

// Parses the envelope at that list position (ordinal) and builds its curve;
// null when there is no such envelope or memory runs out. The caller owns it.
std::unique_ptr<EnvCurve> BuildEnvelope(ObjectDb* db, int ordinal);

// Value of the envelope at time t: 0 without keys, the only key's value with
// one; before the first and after the last key by the pre and post
// behaviour; inside by the shape of the span's end key. Repeat, oscillate and
// offset repeat on keys that span no time act as constant. Updates only the
// cached key.
float EvalEnvelope(EnvCurve& env, float t);
