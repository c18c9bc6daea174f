// Feeds arbitrary bytes to the TGA reader and the settings-file parser.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ini_file.h"
#include "tga.h"
#include "ui_services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptedUi ui;
  ReadTgaFromMemory(data, size, &ui);
  IniDocument ini(std::string_view(reinterpret_cast<const char*>(data), size));
  ini.Get("Tamarind", "obj0");
  return 0;
}
