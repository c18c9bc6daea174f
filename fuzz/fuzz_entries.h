// The code each fuzz target runs on one input, shared by the libFuzzer
// targets (fuzz_target.cpp) and the test that replays fuzz/regressions/.
//
// Every entry takes arbitrary bytes and must return normally whatever they
// hold; a crash, hang, leak or sanitizer report is a finding. Entries that
// read through a path (the object loads, the side files, TGA) write the bytes
// to a file in a folder private to the process, made on first use and removed
// at exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

using FuzzEntry = void (*)(const uint8_t* data, size_t size);

// The LWO2 reader through Load with every post-processing step the viewer
// uses, then the object dump (to /dev/null).
void FuzzLwo2(const uint8_t* data, size_t size);
// The same through the LWOB reader.
void FuzzLwob(const uint8_t* data, size_t size);
// A surface body parsed as LWO2 and as LWOB sub-chunks, then re-sized.
void FuzzSurf(const uint8_t* data, size_t size);
// A clip body.
void FuzzClip(const uint8_t* data, size_t size);
// An envelope body, then the curve built from it and evaluated.
void FuzzEnvl(const uint8_t* data, size_t size);
// A ".uv" file beside a small fixed object (two quads and a triangle on
// surfaces "A", "B" and "C"), read with and without the optional parts.
void FuzzUv(const uint8_t* data, size_t size);
// A ".vcl" file beside the same object, read for vertex colours.
void FuzzVcl(const uint8_t* data, size_t size);
// A TGA image, read from a file and from memory.
void FuzzTga(const uint8_t* data, size_t size);
// An INI text: parsed, queried, edited and written back to text.
void FuzzIni(const uint8_t* data, size_t size);
// A scene text (objects are not loaded).
void FuzzLws(const uint8_t* data, size_t size);

// Writes the bytes to the file `name` of the process's private folder and
// returns its path; empty when it cannot be written.
std::string WriteFuzzScratch(const char* name, const uint8_t* data, size_t size);

struct FuzzTarget {
  const char* name;  // the libFuzzer binary and its fuzz/regressions/ folder
  FuzzEntry entry;
};

// Every target, in the order fuzz/run-all.sh runs them.
extern const FuzzTarget kFuzzTargets[];
extern const size_t kFuzzTargetCount;
