// The entries for the viewer's files and the scene reader, apart from the
// object library's (their headers share record names).
#include <algorithm>
#include <string>
#include <string_view>

#include "fuzz_entries.h"
#include "ini_file.h"
#include "scenedb.h"
#include "tga.h"

void FuzzTga(const uint8_t* data, size_t size) {
  ReadTgaFromMemory(data, size, nullptr);
  const std::string path = WriteFuzzScratch("image.tga", data, size);
  if (!path.empty()) ReadTga(path, nullptr);
}

void FuzzIni(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  IniDocument ini(text);
  // Names taken from the text itself reach its sections and keys.
  const size_t cut = text.find_first_of("\r\n");
  const std::string_view first = text.substr(0, cut == std::string_view::npos ? text.size() : cut);
  const std::string_view section = first.substr(0, std::min<size_t>(first.size(), 16));
  ini.Get(section, "obj0");
  ini.Get("Tamarind", first);
  ini.Set(section, "key", first);
  ini.Set("Tamarind", "obj0", "value");
  ini.ReplaceSection(section, {{"a", "1"}, {"b", std::string(first)}});
  IniDocument again(ini.Text());
  again.Get("Tamarind", "obj0");
}

void FuzzLws(const uint8_t* data, size_t size) {
  SceneDb* db = CreateSceneDbFromMemory("fuzz.lws", reinterpret_cast<const char*>(data), size, 0, nullptr);
  CloseSceneDb(&db);
}

