// The sub-chunk walk shared by the SURF, CLIP and ENVL body parsers.
// Internal to objlib.
//
// Every sub-chunk is ID4, U2 length, then its bytes. A handler sees only the
// bytes of its own sub-chunk (a ChunkBuff cut to the declared length, or to
// what is left of the enclosing buffer when the length overruns it), so no
// read can leave the sub-chunk: values past its end read as zero. After the
// handler the walk continues at the declared end (plus the pad byte of an
// odd length), whatever was consumed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "chunk.h"
#include "objectdb.h"

// Reads the values of one sub-chunk and counts the bytes each value takes in
// its full form, including values that lay past the end of the buffer (those
// read as zero). The count is what the mismatch diagnostics compare with the
// declared length.
class FieldReader {
 public:
  FieldReader(ChunkBuff& buf, uint16_t declared) : buf_(buf), declared_(declared) {}

  uint8_t U1() {
    uint8_t v = 0;
    buf_.ReadU1(&v);
    used_ += 1;
    return v;
  }
  uint16_t U2() {
    uint16_t v = 0;
    buf_.ReadU2(&v);
    used_ += 2;
    return v;
  }
  int16_t I2() { return int16_t(U2()); }
  uint32_t U4() {
    uint32_t v = 0;
    buf_.ReadU4(&v);
    used_ += 4;
    return v;
  }
  Id4 ID4() { return U4(); }
  float F4() {
    float v = 0;
    buf_.ReadF4(&v);
    used_ += 4;
    return v;
  }
  void Vec(float out[3]) {
    for (int i = 0; i < 3; ++i) out[i] = F4();
  }
  uint32_t VX() {
    uint32_t v = 0;
    used_ += size_t(buf_.ReadVX(&v));
    return v;
  }
  // An S0 cut to 255 bytes; an unterminated text ends at the buffer's end.
  std::string S0() {
    char text[kNameSize];
    used_ += size_t(buf_.ReadS0(text, sizeof text));
    return text;
  }
  // Up to n bytes, as many as the buffer still holds.
  std::vector<uint8_t> Bytes(size_t n) {
    n = std::min(n, buf_.Remaining());
    std::vector<uint8_t> out(n);
    if (n) buf_.ReadBytes(out.data(), n);
    used_ += n;
    return out;
  }
  // The next byte without consuming it; 0 at the end.
  uint8_t Peek() const { return buf_.AtEnd() ? 0 : buf_.Data()[buf_.Position()]; }

  // Bytes of the declared length not yet read (0 once past it).
  size_t DeclaredLeft() const { return used_ < declared_ ? declared_ - used_ : 0; }
  // Bytes the buffer still holds.
  size_t Available() const { return buf_.Remaining(); }
  size_t Used() const { return used_; }
  uint16_t Declared() const { return declared_; }

 private:
  ChunkBuff& buf_;
  uint16_t declared_;
  size_t used_ = 0;
};

// Result of a sub-chunk handler: the bytes it consumed, or kUnknownSubChunk
// when it does not know the ID.
constexpr long kUnknownSubChunk = -1;

// Walks the sub-chunks from buf's position to its end.
//   handle(Id4 id, uint16_t length, ChunkBuff& sub) -> long consumed
//   unknown(Id4 id, uint16_t length)
//   mismatch(Id4 id, int difference)   difference = length - consumed
// Each iteration consumes at least the 6-byte header or reaches the end, so
// the walk is bounded by the buffer size.
template <class Handle, class Unknown, class Mismatch>
void WalkSubChunks(ChunkBuff& buf, Handle&& handle, Unknown&& unknown, Mismatch&& mismatch) {
  while (!buf.AtEnd()) {
    Id4 id = 0;
    uint16_t length = 0;
    buf.ReadID4(&id);
    buf.ReadU2(&length);
    const size_t start = buf.Position();
    const size_t available = std::min<size_t>(length, buf.Remaining());
    ChunkBuff sub(buf.Data() + start, available);
    long consumed = handle(id, length, sub);
    if (consumed == kUnknownSubChunk) {
      unknown(id, length);
    } else {
      size_t used = size_t(consumed);
      // A sub-chunk cut short by its container consumed only what was there.
      if (available < length) used = std::min(used, available);
      if (used != length) mismatch(id, int(length) - int(used));
    }
    // Odd-length sub-chunks are followed by a pad byte, as in any IFF file.
    buf.Seek(start + length + (length & 1));
  }
}

// The four characters of an ID as a C string for diagnostics.
struct IdText {
  explicit IdText(Id4 id) { ID4ToText(id, text); }
  char text[5];
};

// Writes a diagnostic line through the record's log operation; nothing when
// db is null.
template <class... Args>
void LogLine(ObjectDb* db, const char* format, Args... args) {
  if (db && db->ops.Log) db->ops.Log(db, format, args...);
}
