#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

size_t LastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

// Closes a descriptor on every way out.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  int Release() {
    int f = fd;
    fd = -1;
    return f;
  }
};

bool IsRegularFile(const std::string& fsPath) {
  struct stat st;
  return stat(fsPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& fsPath) {
  struct stat st;
  return stat(fsPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= size_t(n);
  }
  return true;
}

}  // namespace

std::string ToFsPath(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

std::string PathFolder(std::string_view path) {
  size_t cut = LastSeparator(path);
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

std::string PathFileName(std::string_view path) {
  size_t cut = LastSeparator(path);
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string PathExtension(std::string_view path) {
  size_t cut = LastSeparator(path);
  std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsReadableFile(const std::string& path) {
  std::string fsPath = ToFsPath(path);
  Fd fd(open(fsPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.fd < 0) return false;
  struct stat st;
  return fstat(fd.fd, &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::string> FindFileIgnoringCase(const std::string& path) {
  std::string fsPath = ToFsPath(path);
  if (fsPath.empty()) return std::nullopt;
  if (IsRegularFile(fsPath)) return fsPath;

  std::vector<std::string> parts;
  for (size_t start = 0; start <= fsPath.size();) {
    size_t end = fsPath.find('/', start);
    if (end == std::string::npos) end = fsPath.size();
    if (end > start) parts.push_back(fsPath.substr(start, end - start));
    start = end + 1;
  }
  if (parts.empty()) return std::nullopt;

  std::string found = fsPath[0] == '/' ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) {
    bool last = i + 1 == parts.size();
    const std::string& part = parts[i];
    auto fits = [last](const std::string& p) { return last ? IsRegularFile(p) : IsDirectory(p); };
    std::string exact = found + part;
    if (part == "." || part == ".." || fits(exact)) {
      found = last ? exact : exact + "/";
      continue;
    }
    std::error_code ec;
    std::vector<std::string> matches;
    for (fs::directory_iterator it(found.empty() ? "." : found, ec), end; !ec && it != end;
         it.increment(ec)) {
      std::string name = it->path().filename().string();
      if (EqualsIgnoringCase(name, part) && fits(found + name)) matches.push_back(name);
    }
    if (matches.empty()) return std::nullopt;
    std::string name = *std::min_element(matches.begin(), matches.end());
    found = last ? found + name : found + name + "/";
  }
  return found;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::string fsPath = ToFsPath(path);
  Fd fd(open(fsPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.fd < 0) return std::nullopt;
  struct stat st;
  if (fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string out;
  if (st.st_size > 0) out.reserve(size_t(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd.fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buffer, size_t(n));
  }
  return out;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes) {
  std::string target = ToFsPath(path);
  if (target.empty()) return false;
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved.string();
  }
  std::string folder = PathFolder(target);
  std::string name = PathFileName(target);
  if (name.empty()) return false;

  static std::atomic<unsigned> counter{0};
  std::string temp = folder + "." + name + ".tmp." + std::to_string(getpid()) + "." +
                     std::to_string(counter.fetch_add(1));
  Fd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.fd < 0) return false;
  struct stat st;
  if (stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd.fd, st.st_mode & 07777);

  bool ok = WriteAll(fd.fd, bytes.data(), bytes.size()) && fsync(fd.fd) == 0;
  ok = close(fd.Release()) == 0 && ok;
  if (!ok || rename(temp.c_str(), target.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  Fd dir(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd >= 0) fsync(dir.fd);
  return true;
}
