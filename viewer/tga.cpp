#include "tga.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include "files.h"
#include "ui_services.h"

namespace {

constexpr size_t kHeaderSize = 18;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Bytes from a file or from memory, with the number still available.
class Source {
 public:
  Source(const uint8_t* data, size_t size) : data_(data), remaining_(size) {}
  Source(std::FILE* f, uint64_t size) : file_(f), remaining_(size) {}
  bool fromFile() const { return file_ != nullptr; }
  uint64_t remaining() const { return remaining_; }
  bool Read(void* out, size_t n) {
    if (n > remaining_) return false;
    if (file_) {
      if (std::fread(out, 1, n, file_) != n) return false;
    } else {
      std::copy(data_, data_ + n, static_cast<uint8_t*>(out));
      data_ += n;
    }
    remaining_ -= n;
    return true;
  }

 private:
  std::FILE* file_ = nullptr;
  const uint8_t* data_ = nullptr;
  uint64_t remaining_;
};

std::optional<TgaImage> Fail(UiServices* ui, const char* text) {
  if (ui && text) ui->ShowMessage(text, "Error", MessageButtons::Ok, DialogOwner::None);
  return std::nullopt;
}

std::optional<TgaImage> Parse(Source& in, UiServices* ui) {
  uint8_t h[kHeaderSize];
  if (!in.Read(h, kHeaderSize)) return Fail(ui, in.fromFile() ? "Read TGA Header Error" : nullptr);
  if (h[2] != 2) return Fail(ui, "No Support Image Format");
  if (h[0] != 0) {
    uint8_t id[255];
    if (!in.Read(id, h[0])) return Fail(ui, in.fromFile() ? "TGA File Read Error" : nullptr);
  }
  if (h[16] != 24 && h[16] != 32) return Fail(ui, "No Support Pixel Format");

  TgaImage image;
  image.bytesPerPixel = h[16] / 8;
  image.width = h[12] | h[13] << 8;
  image.height = h[14] | h[15] << 8;
  uint64_t size = uint64_t(image.width) * uint64_t(image.height) * uint64_t(image.bytesPerPixel);
  if (size > in.remaining()) return Fail(ui, nullptr);
  try {
    image.pixels.resize(size_t(size));
  } catch (const std::bad_alloc&) {
    return Fail(ui, "Memory Allocate Error!");
  }
  if (!in.Read(image.pixels.data(), image.pixels.size())) return Fail(ui, nullptr);
  // Stored blue, green, red (alpha): swap into red, green, blue (alpha).
  const size_t step = size_t(image.bytesPerPixel);
  for (size_t i = 0; i + 2 < image.pixels.size(); i += step) std::swap(image.pixels[i], image.pixels[i + 2]);
  return image;
}

}  // namespace

std::optional<TgaImage> ReadTga(const std::string& path, UiServices* ui) {
  // Only regular files: a FIFO or a device must not block or feed us forever.
  int fd = open(ToFsPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st {};
  if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    close(fd);
    fd = -1;
  }
  File f(fd >= 0 ? fdopen(fd, "rb") : nullptr);
  if (!f) {
    if (fd >= 0) close(fd);
    return Fail(ui, "Read TGA Header Error");
  }
  Source in(f.get(), uint64_t(st.st_size));
  return Parse(in, ui);
}

std::optional<TgaImage> ReadTgaFromMemory(const uint8_t* data, size_t size, UiServices* ui) {
  if (!data) size = 0;
  Source in(data, size);
  return Parse(in, ui);
}
