// Helpers shared by the test suites: paths, temporary files and a small
// builder for IFF object files assembled in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chunk.h"

// Path of a file of the shared corpus (relative to the corpus folder).
std::string CorpusPath(const std::string& relative);
// Path of a file of this source tree (relative to its root).
std::string SourcePath(const std::string& relative);
bool FileExists(const std::string& path);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
// A fresh folder for this test process, removed at exit.
std::string TempDir();
// Writes bytes to TempDir()/name and returns the path.
std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes);
// Every file below a folder whose name ends with the suffix (case-insensitive), sorted.
std::vector<std::string> FilesUnder(const std::string& folder, const std::string& suffix);

// Assembles FORM files: chunks are added with their bodies already encoded.
class IffBuilder {
 public:
  explicit IffBuilder(const char* formType) : formType_(MakeId4(formType[0], formType[1], formType[2], formType[3])) {}
  // Appends a chunk: ID, U4 length (the body size unless overridden), body.
  IffBuilder& Chunk(const char* id, const std::vector<uint8_t>& body, int64_t declaredLength = -1);
  // The whole file; formLength overrides the FORM length when >= 0.
  std::vector<uint8_t> Bytes(int64_t formLength = -1) const;

 private:
  Id4 formType_;
  std::vector<uint8_t> chunks_;
};

// Body encoder with chaining, for building chunk bodies in tests.
class Body {
 public:
  Body& U1(uint8_t v) { w_.WriteU1(v); return *this; }
  Body& U2(uint16_t v) { w_.WriteU2(v); return *this; }
  Body& U4(uint32_t v) { w_.WriteU4(v); return *this; }
  Body& F4(float v) { w_.WriteF4(v); return *this; }
  Body& Vec(float x, float y, float z) { w_.WriteF4(x); w_.WriteF4(y); w_.WriteF4(z); return *this; }
  Body& VX(uint32_t v) { w_.WriteVX(v); return *this; }
  Body& S0(const char* s) { w_.WriteS0(s); return *this; }
  Body& Id(const char* id) { w_.WriteID4(MakeId4(id[0], id[1], id[2], id[3])); return *this; }
  Body& Raw(const std::vector<uint8_t>& b) { w_.WriteBytes(b.data(), b.size()); return *this; }
  // A sub-chunk with a U2 length.
  Body& Sub(const char* id, const std::vector<uint8_t>& body) {
    Id(id);
    U2(uint16_t(body.size()));
    return Raw(body);
  }
  operator std::vector<uint8_t>() const { return w_.bytes; }
  const std::vector<uint8_t>& bytes() const { return w_.bytes; }

 private:
  ChunkBuffWriter w_;
};

// Splits the libraries' loops as asked for the scope's lifetime (see
// SetParallelLimits), then restores the default.
class ParallelLimitsScope {
 public:
  ParallelLimitsScope(size_t minimum, unsigned parts);
  ~ParallelLimitsScope();
  ParallelLimitsScope(const ParallelLimitsScope&) = delete;
  ParallelLimitsScope& operator=(const ParallelLimitsScope&) = delete;
};
