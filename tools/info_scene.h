// Scene summaries for tamarind-info.
#pragma once

#include <cstdio>

// Reads the scene at path the way the viewer does (object files loaded, the
// scene's own folder as content directory) and prints its version, frame
// range and items (type, name, parent, channel count, object file) to out,
// as text or as one JSON object on one line. When the scene cannot be read
// (the file, one of its objects, or its format), prints "path: error" to err,
// with json also {"file": ..., "error": ...} to out, and returns 1; else 0.
int PrintSceneInfo(const char* path, bool json, FILE* out, FILE* err);
