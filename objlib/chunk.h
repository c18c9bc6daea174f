// Big-endian IFF primitives used by every object reader and writer.
//
// Three flavours share one encoding:
//   ChunkReader  reads a whole file held in memory (safe on untrusted input:
//                every read is bounded by the file size; a short read yields
//                zero bytes and sets the error flag).
//   ChunkFile    hands out a file's bytes a stretch at a time (a top-level
//                chunk, say), read into one buffer that is reused, so that
//                a large file is never held whole.
//   ChunkWriter  writes to a FILE, or only counts the bytes it would write
//                (mode other than 1), so a writer can size its FORM first.
//   ChunkBuff    reads or writes a block in memory (SURF, CLIP and ENVL
//                bodies). Reads and writes never pass the block's limit:
//                missing bytes read as zero and set the error flag.
//
// Value types: ID4 (4 chars), U2/I2, U4/I4, F4 (IEEE single, bit-exact),
// VEC12 (3 x F4), VX (2 bytes, or 4 when the first byte is 0xFF: a 24-bit
// index), S0 (NUL-terminated, padded to an even size).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using Id4 = uint32_t;

constexpr Id4 MakeId4(char a, char b, char c, char d) {
  return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) |
         (uint32_t(uint8_t(c)) << 8) | uint32_t(uint8_t(d));
}
constexpr Id4 MakeId4(const char (&s)[5]) { return MakeId4(s[0], s[1], s[2], s[3]); }

// Writes the four bytes of an ID, most significant first, and a NUL.
void ID4ToText(Id4 value, char out[5]);
std::string ID4ToString(Id4 value);

// Size of a VX index: 2 below 0xFF00, 4 otherwise.
int SizeOfVX(uint32_t index);
// Size of an S0 text: length + 1, plus 1 when the length is even.
int SizeOfS0(const char* text);
// Largest index a VX can hold (24 bits).
constexpr uint32_t kMaxVX = 0xFFFFFF;

// Reading over a bounded byte range. Shared by ChunkReader and ChunkBuff.
class ByteSource {
 public:
  ByteSource() = default;
  ByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Position() const { return pos_; }
  size_t Size() const { return size_; }
  size_t Remaining() const { return size_ - pos_; }
  bool AtEnd() const { return pos_ >= size_; }
  int Error() const { return error_; }
  void SetError() { error_ = 1; }
  void ClearError() { error_ = 0; }
  // Moves to an absolute position, clamped to the end.
  void Seek(size_t pos) { pos_ = pos < size_ ? pos : size_; }
  const uint8_t* Data() const { return data_; }

  // Each returns the bytes consumed (see chunk.h overview for short reads).
  int ReadID4(char text[5]);
  int ReadID4(Id4* id);
  int ReadU1(uint8_t* out, int n = 1);
  int ReadU2(uint16_t* out, int n = 1) {
    if (n == 1 && Remaining() >= 2) {
      *out = uint16_t((data_[pos_] << 8) | data_[pos_ + 1]);
      pos_ += 2;
      return 2;
    }
    return ReadU2Checked(out, n);
  }
  int ReadI2(int16_t* out, int n = 1);
  int ReadU4(uint32_t* out, int n = 1);
  int ReadF4(float* out, int n = 1) {
    if (n < 0 || size_t(n) > Remaining() / 4) return ReadF4Checked(out, n);
    for (int i = 0; i < n; ++i, pos_ += 4) {
      const uint8_t* b = data_ + pos_;
      const uint32_t bits = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
      std::memcpy(&out[i], &bits, 4);
    }
    return 4 * n;
  }
  int ReadVEC12(float* out, int n = 1) { return ReadF4(out, 3 * n); }  // n vectors of three floats
  int ReadVX(uint32_t* out) {
    if (Remaining() < 4) return ReadVXChecked(out);
    const uint8_t* b = data_ + pos_;
    if (b[0] == 0xFF) {
      *out = (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
      pos_ += 4;
      return 4;
    }
    *out = uint32_t((b[0] << 8) | b[1]);
    pos_ += 2;
    return 2;
  }
  // Reads an S0 into text (capacity bytes, capacity >= 1), cutting the name
  // to capacity - 1 bytes; stops at `end` (absolute position, clamped to the
  // source) and sets the error flag when no NUL is found before it.
  int ReadS0(char* text, size_t capacity, size_t end = SIZE_MAX);
  int ReadS0(std::string* text, size_t end = SIZE_MAX);
  int ReadBytes(void* block, size_t n);
  // Moves forward by n when n > 0 (clamped at the end); returns n.
  long Skip(long n);

 protected:
  // Copies n bytes or, on a short source, zero-fills and flags the error.
  bool Take(void* out, size_t n);
  // The reads above byte by byte through Take, for the end of the source.
  int ReadU2Checked(uint16_t* out, int n);
  int ReadF4Checked(float* out, int n);
  int ReadVXChecked(uint32_t* out);

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
  int error_ = 0;
};

// A file read whole into memory, read with file semantics: U2/U4 reads that
// run short return 0; ID4 and VX return their nominal size with zeros for
// missing bytes. The error flag is set in both cases.
class ChunkReader : public ByteSource {
 public:
  // Loads the file; false when it cannot be opened or read.
  bool Open(const char* path);
  // Reads from a copy of the given bytes.
  void OpenMemory(const void* data, size_t size);
  int mode = 0;

 private:
  // The bytes, left uninitialised until read: a file's bytes are written
  // once, by the read itself.
  std::unique_ptr<uint8_t[]> storage_;
};

class ChunkFile {
 public:
  // Opens the file and tells its size; false when either fails.
  bool Open(const char* path);
  size_t Size() const { return size_; }
  size_t Position() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }
  // The next n bytes, or what is left of the file when fewer, seen through a
  // source that stays valid until the next call. When the file gives fewer
  // bytes than it held when opened, the source has those it gave and the
  // file is taken to end there; so it is when there is no memory for the
  // bytes (OutOfMemory then tells).
  ByteSource Take(size_t n);
  bool OutOfMemory() const { return outOfMemory_; }
  // Moves to an absolute position, clamped to the end.
  void Seek(size_t position) { pos_ = position < size_ ? position : size_; }

 private:
  std::unique_ptr<FILE, int (*)(FILE*)> file_{nullptr, &fclose};
  std::unique_ptr<uint8_t[]> buffer_;  // left uninitialised until read
  size_t room_ = 0;                    // the buffer's size
  size_t size_ = 0, pos_ = 0;
  size_t filePos_ = 0;  // where the next fread starts
  bool outOfMemory_ = false;
};

// Writer to a FILE (mode 1) or a count-only writer (any other mode).
// A failing write sets the error flag, returns 0 and does not advance the
// count. Sizes are counted in 64 bits.
class ChunkWriter {
 public:
  ChunkWriter(FILE* file, int mode) : file_(file), mode_(mode) {}

  int WriteID4(Id4 id);
  int WriteID4(const char* text);
  int WriteU1(const uint8_t* values, int n = 1);
  int WriteU2(const uint16_t* values, int n = 1);
  int WriteU4(const uint32_t* values, int n = 1);
  int WriteF4(const float* values, int n = 1);
  int WriteVEC12(const float* values, int n = 1);
  // Fails (error flag, returns 0) for an index above 24 bits.
  int WriteVX(uint32_t index);
  int WriteS0(const char* text);
  int WriteBytes(const void* block, size_t n);
  // Convenience single-value writers.
  int U2(uint16_t v) { return WriteU2(&v); }
  int U4(uint32_t v) { return WriteU4(&v); }
  int F4(float v) { return WriteF4(&v); }

  uint64_t Count() const { return count_; }
  int Error() const { return error_; }
  void SetError() { error_ = 1; }
  int Mode() const { return mode_; }
  // Restarts counting for a second pass in the given mode.
  void Reset(int mode) { mode_ = mode; count_ = 0; error_ = 0; }

 private:
  bool Put(const void* bytes, size_t n);

  FILE* file_;
  int mode_;
  uint64_t count_ = 0;
  int error_ = 0;
};

// Reader and writer over a memory block. For reading, `limit` is the block
// size; reads past it return zeros and set the error flag. For writing, the
// block is owned and grows, or a fixed limit can be set to refuse overflow.
class ChunkBuff : public ByteSource {
 public:
  ChunkBuff() = default;
  ChunkBuff(const void* block, size_t limit)
      : ByteSource(static_cast<const uint8_t*>(block), limit) {}

  size_t Count() const { return pos_; }
  size_t Limit() const { return size_; }
};

// Growing memory writer with the same encodings as ChunkWriter.
class ChunkBuffWriter {
 public:
  int WriteID4(Id4 id);
  int WriteU1(uint8_t v);
  int WriteU2(uint16_t v);
  int WriteI2(int16_t v) { return WriteU2(uint16_t(v)); }
  int WriteU4(uint32_t v);
  int WriteF4(float v);
  int WriteVEC12(const float v[3]);
  int WriteVX(uint32_t index);
  int WriteS0(const char* text);
  int WriteBytes(const void* block, size_t n);
  // Overwrites a U2 at an earlier position (for lengths written afterwards).
  void PatchU2(size_t pos, uint16_t v);

  size_t Count() const { return bytes.size(); }
  int Error() const { return error_; }
  std::vector<uint8_t> bytes;

 private:
  int error_ = 0;
};

// The allocation tracker each ObjectDb carries. It records up to 32767 live
// blocks with their sizes and keeps a running total. Nothing in the library
// allocates through it; release frees what it still holds and, when logging
// is switched on, writes MEMCON.LOG.
struct MemCon {
  static constexpr int kSlots = 32768;
  int logging = 0;
  int count = 0;
  int64_t total = 0;
  // Grown as blocks are recorded (every ObjectDb carries a tracker, and
  // most never record anything).
  std::vector<int64_t> sizes;
  std::vector<void*> addresses;

  void* (*allocate)(MemCon*, long size) = nullptr;
  void* (*reallocate)(MemCon*, void* block, long size) = nullptr;
  int64_t (*free)(MemCon*, void* block) = nullptr;
};

MemCon* CreateMemCon();
// Frees every block still recorded, writes the log when logging is on,
// frees the tracker and clears the caller's pointer.
void ReleaseMemCon(MemCon** tracker);
