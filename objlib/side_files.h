// Side files beside an object: ".uv" texture coordinates (with, in version 4,
// corner colours and normals) and ".vcl" vertex colours.
//
// Both are line-based text. Lines end at CR or LF; empty lines and lines
// starting with "#" are skipped; a line longer than 4096 bytes is read whole
// and cut to its first 4096. Numbers are read the same way whatever the
// process locale ("0.5" is one half everywhere).
//
// LoadUvFile(db, flags) (through db->ops) reads SideFilePath(db->path, ".uv")
// into the current layer:
//   0 success; 2 when the file cannot be opened (the error field is left
//   alone, so a missing side file is not an error); 1 memory; 7 a format
//   error, whose message (below) is set with the code, so TakeErrorText
//   returns it. Versions 1 and 2 check the whole header (version, surface
//   names, image entries, polygon count) and version 4 its POLY_COUNT before
//   any surface is changed; coordinates of polygons read before a later
//   error stay. Messages, each but the first followed by the file's path:
//     "BAD_VERSION {line} "          first line not version 1, 2 or 4
//     "BAD VERSION [n]"              version 4 file not starting "VERSION 4"
//     "BAD_SURFACE [slot] {name} "   unknown surface, or a slot index or
//                                    SURFACE_COUNT out of range
//     "BAD_NUMOFPOLY {value} "       polygon count differs from the object's
//                                    (or, in version 4, is never given, or
//                                    polygon data comes before it)
//     "BAD_POLY IDX[i] NUM[n] "      missing polygon, corner count mismatch,
//                                    corner index out of range, or more than
//                                    4096 corners
//   Flags: UV_SHARE (version 4: AddSharedUv), UV_FILE_RGB, UV_FILE_NORMAL.
//
// BuildVertexColors(db, flags) builds per-corner colours of the current
// layer from its "RGB "/"RGBA" vertex maps when it has any (surface VCOL
// first, then the polygon's RGBA and RGB tags), else from the ".vcl" file;
// with VCOLOR_SURFACE_COLOR a failed file gives every polygon its surface's
// colour. Returns 0, 2 for a missing file (nothing built), 7 with
//     "NOT VCL FILE {line} " or "BAD NUMBER OF POINT {line} "
// (each followed by the path; the second also for entry counts that do not
// add up or a truncated file). A polygon with a corner whose (point, polygon)
// entry is missing from the file gets no colours.
//
// Untrusted input: every count and index read is range-checked before use;
// the only storage sized from a count is SURFACE_COUNT's slots (at most
// 65536, or the object's surface count when larger); reading ends at the end
// of the file.
#pragma once

#include <string>

#include "objectdb.h"

// The object's path with its extension replaced by `extension` (".uv"), or
// with `extension` appended when its last path component has no ".".
std::string SideFilePath(const std::string& objectPath, const char* extension);

// Fills the LoadUvFile and BuildVertexColors slots (library wiring).
void InstallSideFileOps(ObjectDbOps& ops);
