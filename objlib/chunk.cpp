#include "chunk.h"

#include "prefault.h"

#include <cinttypes>
#include <cstdlib>
#include <new>
#include <cstring>

void ID4ToText(Id4 value, char out[5]) {
  out[0] = char(value >> 24);
  out[1] = char(value >> 16);
  out[2] = char(value >> 8);
  out[3] = char(value);
  out[4] = 0;
}

std::string ID4ToString(Id4 value) {
  char t[5];
  ID4ToText(value, t);
  return std::string(t, 4);
}

int SizeOfVX(uint32_t index) { return index < 0xFF00 ? 2 : 4; }

int SizeOfS0(const char* text) {
  size_t len = text ? strlen(text) : 0;
  return int(len + 1 + ((len & 1) == 0 ? 1 : 0));
}

// ---------------------------------------------------------------- reading

bool ByteSource::Take(void* out, size_t n) {
  if (n <= Remaining()) {
    memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
  }
  size_t have = Remaining();
  if (have) memcpy(out, data_ + pos_, have);
  memset(static_cast<uint8_t*>(out) + have, 0, n - have);
  pos_ = size_;
  error_ = 1;
  return false;
}

int ByteSource::ReadID4(char text[5]) {
  Take(text, 4);
  text[4] = 0;
  return 4;
}

int ByteSource::ReadID4(Id4* id) {
  uint8_t b[4];
  Take(b, 4);
  *id = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
  return 4;
}

int ByteSource::ReadU1(uint8_t* out, int n) {
  if (n <= 0) return 0;
  return Take(out, size_t(n)) ? n : 0;
}

int ByteSource::ReadU2Checked(uint16_t* out, int n) {
  bool ok = true;
  for (int i = 0; i < n; ++i) {
    uint8_t b[2];
    ok = Take(b, 2) && ok;
    out[i] = uint16_t((b[0] << 8) | b[1]);
  }
  return ok ? 2 * n : 0;
}

int ByteSource::ReadI2(int16_t* out, int n) {
  bool ok = true;
  for (int i = 0; i < n; ++i) {
    uint16_t v;
    ok = ReadU2(&v) == 2 && ok;
    out[i] = int16_t(v);
  }
  return ok ? 2 * n : 0;
}

int ByteSource::ReadU4(uint32_t* out, int n) {
  bool ok = true;
  for (int i = 0; i < n; ++i) {
    uint8_t b[4];
    ok = Take(b, 4) && ok;
    out[i] = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
  }
  return ok ? 4 * n : 0;
}

int ByteSource::ReadF4Checked(float* out, int n) {
  bool ok = true;
  for (int i = 0; i < n; ++i) {
    uint32_t bits;
    ok = ReadU4(&bits) == 4 && ok;
    memcpy(&out[i], &bits, 4);
  }
  return ok ? 4 * n : 0;
}

int ByteSource::ReadVXChecked(uint32_t* out) {
  uint8_t b[4];
  Take(b, 2);
  if (b[0] == 0xFF) {
    Take(b + 2, 2);
    *out = (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    return 4;
  }
  *out = uint32_t((b[0] << 8) | b[1]);
  return 2;
}

int ByteSource::ReadS0(char* text, size_t capacity, size_t end) {
  if (end > size_) end = size_;
  size_t start = pos_;
  size_t kept = 0;
  bool terminated = false;
  while (pos_ < end) {
    uint8_t c = data_[pos_++];
    if (c == 0) {
      terminated = true;
      break;
    }
    if (capacity > 0 && kept + 1 < capacity) text[kept++] = char(c);
  }
  if (capacity > 0) text[kept] = 0;
  if (!terminated) {
    error_ = 1;
    return int(pos_ - start);
  }
  if (((pos_ - start) & 1) != 0) {
    if (pos_ < end) ++pos_;
    else error_ = 1;
  }
  return int(pos_ - start);
}

int ByteSource::ReadS0(std::string* text, size_t end) {
  char buf[256];
  int n = ReadS0(buf, sizeof buf, end);
  text->assign(buf);
  return n;
}

int ByteSource::ReadBytes(void* block, size_t n) {
  size_t have = n < Remaining() ? n : Remaining();
  if (have) memcpy(block, data_ + pos_, have);
  pos_ += have;
  if (have < n) error_ = 1;
  return int(have);
}

long ByteSource::Skip(long n) {
  if (n > 0) {
    if (size_t(n) > Remaining()) {
      pos_ = size_;
      error_ = 1;
    } else {
      pos_ += size_t(n);
    }
  }
  return n;
}

namespace {

// The size of an open file, which is left at its start; false when it
// cannot be told.
bool SizeOfFile(FILE* f, size_t* size) {
  if (fseek(f, 0, SEEK_END) != 0) return false;
  const long end = ftell(f);
  if (end < 0 || fseek(f, 0, SEEK_SET) != 0) return false;
  *size = size_t(end);
  return true;
}

}  // namespace

bool ChunkReader::Open(const char* path) {
  storage_.reset();
  data_ = nullptr;
  size_ = pos_ = 0;
  error_ = 0;
  // Closed on every way out, a failed allocation's exception included.
  std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(path, "rb"), &fclose);
  FILE* f = file.get();
  if (!f) return false;
  size_t size = 0;
  bool ok = SizeOfFile(f, &size);
  if (ok) {
    storage_.reset(new uint8_t[size > 0 ? size : 1]);
    PrefaultForWriting(storage_.get(), storage_.get() + size);
    ok = size == 0 || fread(storage_.get(), 1, size, f) == size;
  }
  file.reset();
  if (!ok) {
    storage_.reset();
    return false;
  }
  data_ = storage_.get();
  size_ = size;
  return true;
}

bool ChunkFile::Open(const char* path) {
  file_.reset(fopen(path, "rb"));
  size_ = pos_ = filePos_ = 0;
  outOfMemory_ = false;
  FILE* f = file_.get();
  return f && SizeOfFile(f, &size_);
}

ByteSource ChunkFile::Take(size_t n) {
  if (n > Remaining()) n = Remaining();
  if (n == 0) return ByteSource();
  if (n > room_) {
    buffer_.reset();  // the old bytes are not kept: let them go before the larger block is made
    room_ = 0;
    buffer_.reset(new (std::nothrow) uint8_t[n]);
    if (!buffer_) {
      outOfMemory_ = true;
      size_ = pos_;
      return ByteSource();
    }
    room_ = n;
    PrefaultForWriting(buffer_.get(), buffer_.get() + n);
  }
  FILE* f = file_.get();
  if (filePos_ != pos_) {
    if (!f || fseek(f, long(pos_), SEEK_SET) != 0) {
      size_ = pos_;
      return ByteSource();
    }
    filePos_ = pos_;
  }
  const size_t got = f ? fread(buffer_.get(), 1, n, f) : 0;
  filePos_ += got;
  pos_ += got;
  if (got < n) size_ = pos_;
  return ByteSource(buffer_.get(), got);
}

void ChunkReader::OpenMemory(const void* data, size_t size) {
  storage_.reset(new uint8_t[size > 0 ? size : 1]);
  if (size) std::memcpy(storage_.get(), data, size);
  data_ = storage_.get();
  size_ = size;
  pos_ = 0;
  error_ = 0;
}

// ---------------------------------------------------------------- writing

bool ChunkWriter::Put(const void* bytes, size_t n) {
  if (mode_ == 1) {
    if (!file_ || fwrite(bytes, 1, n, file_) != n) {
      error_ = 1;
      return false;
    }
  }
  count_ += n;
  return true;
}

int ChunkWriter::WriteID4(Id4 id) { return WriteU4(&id); }

int ChunkWriter::WriteID4(const char* text) {
  return WriteID4(MakeId4(text[0], text[1], text[2], text[3]));
}

int ChunkWriter::WriteU1(const uint8_t* values, int n) {
  return n > 0 && Put(values, size_t(n)) ? n : 0;
}

int ChunkWriter::WriteU2(const uint16_t* values, int n) {
  for (int i = 0; i < n; ++i) {
    uint8_t b[2] = {uint8_t(values[i] >> 8), uint8_t(values[i])};
    if (!Put(b, 2)) return 0;
  }
  return 2 * n;
}

int ChunkWriter::WriteU4(const uint32_t* values, int n) {
  for (int i = 0; i < n; ++i) {
    uint32_t v = values[i];
    uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    if (!Put(b, 4)) return 0;
  }
  return 4 * n;
}

int ChunkWriter::WriteF4(const float* values, int n) {
  for (int i = 0; i < n; ++i) {
    uint32_t bits;
    memcpy(&bits, &values[i], 4);
    if (!WriteU4(&bits)) return 0;
  }
  return 4 * n;
}

int ChunkWriter::WriteVEC12(const float* values, int n) { return WriteF4(values, 3 * n); }

int ChunkWriter::WriteVX(uint32_t index) {
  if (index > kMaxVX) {
    error_ = 1;
    return 0;
  }
  if (index < 0xFF00) {
    uint16_t v = uint16_t(index);
    return WriteU2(&v);
  }
  uint32_t v = index | 0xFF000000u;
  return WriteU4(&v);
}

int ChunkWriter::WriteS0(const char* text) {
  size_t len = text ? strlen(text) : 0;
  static const uint8_t zeros[2] = {0, 0};
  if (len && !Put(text, len)) return 0;
  size_t pad = (len & 1) == 0 ? 2 : 1;
  if (!Put(zeros, pad)) return 0;
  return int(len + pad);
}

int ChunkWriter::WriteBytes(const void* block, size_t n) {
  if (n == 0) return 0;
  return Put(block, n) ? int(n) : 0;
}

int ChunkBuffWriter::WriteID4(Id4 id) { return WriteU4(id); }

int ChunkBuffWriter::WriteU1(uint8_t v) {
  bytes.push_back(v);
  return 1;
}

int ChunkBuffWriter::WriteU2(uint16_t v) {
  bytes.push_back(uint8_t(v >> 8));
  bytes.push_back(uint8_t(v));
  return 2;
}

int ChunkBuffWriter::WriteU4(uint32_t v) {
  uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  bytes.insert(bytes.end(), b, b + 4);
  return 4;
}

int ChunkBuffWriter::WriteF4(float v) {
  uint32_t bits;
  memcpy(&bits, &v, 4);
  return WriteU4(bits);
}

int ChunkBuffWriter::WriteVEC12(const float v[3]) {
  return WriteF4(v[0]) + WriteF4(v[1]) + WriteF4(v[2]);
}

int ChunkBuffWriter::WriteVX(uint32_t index) {
  if (index > kMaxVX) {
    error_ = 1;
    return 0;
  }
  if (index < 0xFF00) return WriteU2(uint16_t(index));
  return WriteU4(index | 0xFF000000u);
}

int ChunkBuffWriter::WriteS0(const char* text) {
  size_t len = text ? strlen(text) : 0;
  bytes.insert(bytes.end(), text, text + len);
  bytes.push_back(0);
  if ((len & 1) == 0) bytes.push_back(0);
  return int(len + 1 + ((len & 1) == 0));
}

int ChunkBuffWriter::WriteBytes(const void* block, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(block);
  bytes.insert(bytes.end(), p, p + n);
  return int(n);
}

void ChunkBuffWriter::PatchU2(size_t pos, uint16_t v) {
  if (pos + 2 > bytes.size()) {
    error_ = 1;
    return;
  }
  bytes[pos] = uint8_t(v >> 8);
  bytes[pos + 1] = uint8_t(v);
}

// ---------------------------------------------------------------- MEMCON

namespace {

int FindSlot(const MemCon* m, const void* block) {
  for (int i = 0; i < m->count; ++i)
    if (m->addresses[size_t(i)] == block) return i;
  return -1;
}

void Record(MemCon* m, void* block, long size) {
  if (m->count < MemCon::kSlots - 1) {
    m->sizes.push_back(size);
    m->addresses.push_back(block);
    ++m->count;
  }
  m->total += size;
}

void* MemAllocate(MemCon* m, long size) {
  if (size <= 0) return nullptr;
  void* block = calloc(1, size_t(size));
  Record(m, block, size);
  return block;
}

void* MemReallocate(MemCon* m, void* block, long size) {
  if (size <= 0) return nullptr;
  int slot = block ? FindSlot(m, block) : -1;
  size_t oldSize = slot >= 0 ? size_t(m->sizes[size_t(slot)]) : 0;
  void* grown = realloc(block, size_t(size));
  if (!grown) return nullptr;
  if (slot >= 0) {
    if (size_t(size) > oldSize)
      memset(static_cast<uint8_t*>(grown) + oldSize, 0, size_t(size) - oldSize);
    m->addresses[size_t(slot)] = grown;
    m->total += size - m->sizes[size_t(slot)];
    m->sizes[size_t(slot)] = size;
    return grown;
  }
  // An unrecorded block keeps its contents; only a fresh one is zeroed.
  if (!block) memset(grown, 0, size_t(size));
  Record(m, grown, size);
  return grown;
}

int64_t MemFree(MemCon* m, void* block) {
  if (!block) return m->total;
  int slot = FindSlot(m, block);
  if (slot >= 0) {
    m->total -= m->sizes[size_t(slot)];
    m->sizes[size_t(slot)] = 0;
    m->addresses[size_t(slot)] = nullptr;
  }
  ::free(block);
  return m->total;
}

}  // namespace

MemCon* CreateMemCon() {
  MemCon* m = new (std::nothrow) MemCon;
  if (!m) return nullptr;
  m->allocate = MemAllocate;
  m->reallocate = MemReallocate;
  m->free = MemFree;
  return m;
}

void ReleaseMemCon(MemCon** tracker) {
  if (!tracker || !*tracker) return;
  MemCon* m = *tracker;
  FILE* log = nullptr;
  if (m->logging) {
    log = fopen("MEMCON.LOG", "w");
    if (log) fprintf(log, "MEMCON: ALLOC COUNT = %d, TOTAL SIZE = %" PRId64 "\n", m->count, m->total);
  }
  for (int i = 0; i < m->count; ++i) {
    void* block = m->addresses[size_t(i)];
    if (!block) continue;
    if (log)
      fprintf(log, "MEMCON: FREE MEM(%d) SIZE = %" PRId64 " ADDR = <0x%08" PRIxPTR ">\n", i,
              m->sizes[size_t(i)], reinterpret_cast<uintptr_t>(block));
    ::free(block);
  }
  if (log) fclose(log);
  delete m;
  *tracker = nullptr;
}
