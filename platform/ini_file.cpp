#include "ini_file.h"

#include <sys/stat.h>

#include "files.h"

namespace {

std::string_view TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

bool IsBlank(std::string_view line) { return TrimBlanks(line).empty(); }

bool SectionHeader(std::string_view line, std::string_view* name) {
  std::string_view t = TrimBlanks(line);
  if (t.empty() || t[0] != '[') return false;
  t.remove_prefix(1);
  size_t close = t.find(']');
  *name = TrimBlanks(close == std::string_view::npos ? t : t.substr(0, close));
  return true;
}

bool KeyLine(std::string_view line, std::string_view* key, std::string_view* value) {
  std::string_view t = TrimBlanks(line);
  if (t.empty() || t[0] == ';' || t[0] == '[') return false;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  *key = TrimBlanks(t.substr(0, eq));
  std::string_view v = TrimBlanks(t.substr(eq + 1));
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
  *value = v;
  return true;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool ValidSection(std::string_view s) { return !HasLineBreak(s) && s.find(']') == std::string_view::npos; }

bool ValidKey(std::string_view k) {
  std::string_view t = TrimBlanks(k);
  return !t.empty() && t[0] != ';' && t[0] != '[' && !HasLineBreak(k) &&
         k.find('=') == std::string_view::npos;
}

std::string KeyText(std::string_view key, std::string_view value) {
  std::string s(key);
  s += '=';
  s += value;
  return s;
}

// The file as a document to change; false when it exists but cannot be read
// (writing then would throw its content away).
bool LoadForWrite(const std::string& path, IniDocument* doc) {
  if (std::optional<std::string> text = ReadWholeFile(path)) {
    *doc = IniDocument(*text);
    return true;
  }
  struct stat st;
  return lstat(ToFsPath(path).c_str(), &st) != 0;
}

}  // namespace

IniDocument::IniDocument(std::string_view text) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const char* q = p;
    while (q < end && *q != '\r' && *q != '\n') ++q;
    Line line{std::string(p, q), ""};
    if (q == end) {
      lines_.push_back(std::move(line));
      break;
    }
    size_t eolSize = *q == '\r' && q + 1 < end && q[1] == '\n' ? 2 : 1;
    line.eol.assign(q, eolSize);
    lines_.push_back(std::move(line));
    p = q + eolSize;
  }
}

IniDocument IniDocument::Load(const std::string& path) {
  std::optional<std::string> text = ReadWholeFile(path);
  return text ? IniDocument(*text) : IniDocument();
}

IniDocument::Range IniDocument::FindSection(std::string_view section) const {
  Range r;
  std::string_view name;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (!SectionHeader(lines_[i].text, &name)) continue;
    if (r.header >= 0) {
      r.end = i;
      return r;
    }
    if (EqualsIgnoringCase(name, section)) {
      r.header = long(i);
      r.begin = i + 1;
    }
  }
  r.end = lines_.size();
  return r;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  Range r = FindSection(section);
  if (r.header < 0) return std::nullopt;
  std::string_view k, v;
  for (size_t i = r.begin; i < r.end; ++i)
    if (KeyLine(lines_[i].text, &k, &v) && EqualsIgnoringCase(k, key)) return std::string(v);
  return std::nullopt;
}

std::string IniDocument::NewLineEnding() const {
  return lines_.empty() || lines_[0].eol.empty() ? "\r\n" : lines_[0].eol;
}

void IniDocument::EndLastLine(size_t before) {
  if (before > 0 && lines_[before - 1].eol.empty()) lines_[before - 1].eol = NewLineEnding();
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (!ValidSection(section) || !ValidKey(key) || HasLineBreak(value)) return false;
  std::string eol = NewLineEnding();
  Range r = FindSection(section);
  if (r.header < 0) {
    EndLastLine(lines_.size());
    lines_.push_back({"[" + std::string(section) + "]", eol});
    lines_.push_back({KeyText(key, value), eol});
    return true;
  }
  std::string_view k, v;
  size_t insertAt = r.begin;
  for (size_t i = r.begin; i < r.end; ++i) {
    if (KeyLine(lines_[i].text, &k, &v) && EqualsIgnoringCase(k, key)) {
      lines_[i].text = KeyText(key, value);
      return true;
    }
    if (!IsBlank(lines_[i].text)) insertAt = i + 1;
  }
  EndLastLine(insertAt);
  lines_.insert(lines_.begin() + long(insertAt), Line{KeyText(key, value), eol});
  return true;
}

bool IniDocument::ReplaceSection(std::string_view section, const IniEntries& entries) {
  if (!ValidSection(section)) return false;
  for (const auto& [key, value] : entries)
    if (!ValidKey(key) || HasLineBreak(value)) return false;
  std::string eol = NewLineEnding();
  std::vector<Line> body;
  for (const auto& [key, value] : entries) body.push_back({KeyText(key, value), eol});

  Range r = FindSection(section);
  if (r.header < 0) {
    EndLastLine(lines_.size());
    lines_.push_back({"[" + std::string(section) + "]", eol});
    lines_.insert(lines_.end(), body.begin(), body.end());
    return true;
  }
  // Blank lines that separate the section from the next one stay.
  size_t end = r.end;
  while (end > r.begin && IsBlank(lines_[end - 1].text)) --end;
  lines_.erase(lines_.begin() + long(r.begin), lines_.begin() + long(end));
  EndLastLine(r.begin);
  lines_.insert(lines_.begin() + long(r.begin), body.begin(), body.end());
  return true;
}

std::string IniDocument::Text() const {
  std::string out;
  for (const Line& line : lines_) {
    out += line.text;
    out += line.eol;
  }
  return out;
}

bool IniDocument::Save(const std::string& path) const { return WriteFileAtomically(path, Text()); }

std::optional<std::string> IniGetString(const std::string& path, std::string_view section,
                                        std::string_view key) {
  return IniDocument::Load(path).Get(section, key);
}

bool IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value) {
  return IniWriteStrings(path, {IniWrite{std::string(section), std::string(key), std::string(value)}});
}

bool IniWriteStrings(const std::string& path, const std::vector<IniWrite>& writes) {
  IniDocument doc;
  if (!LoadForWrite(path, &doc)) return false;
  bool ok = true;
  for (const IniWrite& w : writes) ok = doc.Set(w.section, w.key, w.value) && ok;
  return doc.Save(path) && ok;
}

bool IniWriteSection(const std::string& path, std::string_view section, const IniEntries& entries) {
  IniDocument doc;
  if (!LoadForWrite(path, &doc)) return false;
  return doc.ReplaceSection(section, entries) && doc.Save(path);
}
