#include "json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

// Length of a valid UTF-8 sequence starting at s, or 0.
int Utf8Length(const unsigned char* s) {
  unsigned char c = s[0];
  int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n <= 1) return n;
  for (int i = 1; i < n; ++i)
    if ((s[i] & 0xC0) != 0x80) return 0;
  return n;
}

void AppendCodePoint(std::string& out, unsigned cp) {
  if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string JsonString(const char* text) {
  std::string out = "\"";
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text ? text : "");
  while (*s) {
    unsigned char c = *s;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
      ++s;
    } else if (c < 0x20) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      ++s;
    } else if (c < 0x80) {
      out += char(c);
      ++s;
    } else {
      int n = Utf8Length(s);
      if (n > 1) {
        out.append(reinterpret_cast<const char*>(s), size_t(n));
        s += n;
      } else {
        AppendCodePoint(out, c);
        ++s;
      }
    }
  }
  out += '"';
  return out;
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}
