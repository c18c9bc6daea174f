#include "test_support.h"

#include "parallel.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

std::string CorpusPath(const std::string& relative) {
  return std::string(TAMARIND_CORPUS_DIR) + "/" + relative;
}

std::string SourcePath(const std::string& relative) {
  return std::string(TAMARIND_SOURCE_DIR) + "/" + relative;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

namespace {
struct TempFolder {
  std::string path;
  TempFolder() {
    std::string base = fs::temp_directory_path().string() + "/tamarind-test-" + std::to_string(getpid());
    fs::create_directories(base);
    path = base;
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};
}  // namespace

std::string TempDir() {
  static TempFolder folder;
  return folder.path;
}

std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::string path = TempDir() + "/" + name;
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

std::vector<std::string> FilesUnder(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> out;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return out;
  auto lower = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
  };
  std::string want = lower(suffix);
  for (auto& e : fs::recursive_directory_iterator(folder, ec)) {
    if (!e.is_regular_file()) continue;
    std::string name = lower(e.path().string());
    if (name.size() >= want.size() && name.compare(name.size() - want.size(), want.size(), want) == 0)
      out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

IffBuilder& IffBuilder::Chunk(const char* id, const std::vector<uint8_t>& body, int64_t declaredLength) {
  ChunkBuffWriter w;
  w.WriteID4(MakeId4(id[0], id[1], id[2], id[3]));
  w.WriteU4(uint32_t(declaredLength >= 0 ? declaredLength : int64_t(body.size())));
  w.WriteBytes(body.data(), body.size());
  chunks_.insert(chunks_.end(), w.bytes.begin(), w.bytes.end());
  return *this;
}

std::vector<uint8_t> IffBuilder::Bytes(int64_t formLength) const {
  ChunkBuffWriter w;
  w.WriteID4(MakeId4('F', 'O', 'R', 'M'));
  w.WriteU4(uint32_t(formLength >= 0 ? formLength : int64_t(chunks_.size() + 4)));
  w.WriteID4(formType_);
  w.WriteBytes(chunks_.data(), chunks_.size());
  return w.bytes;
}

ParallelLimitsScope::ParallelLimitsScope(size_t minimum, unsigned parts) { SetParallelLimits(minimum, parts); }
ParallelLimitsScope::~ParallelLimitsScope() { SetParallelLimits(kParallelMinimum, 0); }
