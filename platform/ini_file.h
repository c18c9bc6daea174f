// INI files read and written the way Windows profile files are.
//
// Reading: a line whose first non-blank character is "[" opens a section
// (its name runs to the next "]", blanks trimmed); a line holding "=" is a
// key: the name is the text before the first "=", the value the text after
// it, both with surrounding blanks trimmed, and one pair of matching quotes
// ("..." or '...') around the value removed. Lines starting with ";", lines
// without "=" and keys before the first section are ignored. Section and key
// names are matched without regard to ASCII letter case and the first match
// wins. Lines may end in LF, CR LF or CR. Bytes are kept as they are.
//
// Writing keeps every other line as it was: a key is replaced in place (at
// its first match), or added after the last non-blank line of its section,
// or added with a new section at the end of the file; new lines end the way
// the file's first line does (CR LF for a new file). Every write replaces the
// file atomically (see WriteFileAtomically), creating it when needed.
// Writes whose names or value hold CR or LF (or a section name holding "]",
// or a key holding "=") are refused, since they would change the file's
// structure.
//
// Paths are in stored form ("\" allowed).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct IniWrite {
  std::string section;
  std::string key;
  std::string value;
};

using IniEntries = std::vector<std::pair<std::string, std::string>>;

// A parsed INI text, edited in memory.
class IniDocument {
 public:
  IniDocument() = default;
  explicit IniDocument(std::string_view text);
  // The file's content; an empty document when it cannot be read.
  static IniDocument Load(const std::string& path);

  // The value, or nothing when the section or the key is missing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  bool Set(std::string_view section, std::string_view key, std::string_view value);
  // Replaces the body of the section's first occurrence (every line up to
  // the next section) with the entries in order, or appends the section.
  bool ReplaceSection(std::string_view section, const IniEntries& entries);

  std::string Text() const;
  bool Save(const std::string& path) const;

 private:
  struct Line {
    std::string text;
    std::string eol;
  };
  // [first line of the body, end of the body) of the first matching section,
  // and the header's index; header == -1 when missing.
  struct Range {
    long header = -1;
    size_t begin = 0;
    size_t end = 0;
  };
  Range FindSection(std::string_view section) const;
  std::string NewLineEnding() const;
  void EndLastLine(size_t before);

  std::vector<Line> lines_;
};

// GetPrivateProfileString: the value, or nothing when missing.
std::optional<std::string> IniGetString(const std::string& path, std::string_view section,
                                        std::string_view key);
// WritePrivateProfileString.
bool IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value);
// Several WritePrivateProfileString calls applied in order and saved once; a
// refused write is skipped (the result is then false) and the others stand.
bool IniWriteStrings(const std::string& path, const std::vector<IniWrite>& writes);
// WritePrivateProfileSection: the section's body becomes the entries.
bool IniWriteSection(const std::string& path, std::string_view section, const IniEntries& entries);
