// Saving an ObjectDb as a LightWave object file: the Save operation.
//
//   std::string why;
//   if (SaveObject(db, "out.lwo", 2, &why) != 0) report(why);
//
// LWO2 (format 2) holds every layer: TAGS, then per layer LAYR, PNTS, BBOX,
// its VMAPs and, per polygon type, POLS, PTAG and the VMADs made under that
// type; then CLIP, ENVL and SURF. LWOB (format 1) holds only the current
// layer: SRFS, PNTS, POLS (FACE), PCHS (PTCH), CRVS (CURV) and SURF; the
// other polygon types, tags, maps, clips and envelopes have no place there.
// A surface body is written as stored when the object was loaded in the
// requested layout, and converted otherwise (see surface_convert.h).
//
// The output is sized by a count-only pass before anything is written, so
// every length is known before it is written. Whatever the format cannot
// hold is refused in that pass, before a file is created:
//   ERR_BAD_POLYGON  an LWO2 polygon of more than 1023 corners or with flags
//                    above 63; an LWOB polygon of more than 65535 corners or
//                    curve flags above 16 bits
//   ERR_POINT_COUNT  a point index past 65535 in LWOB or past 2^24 - 1 in LWO2
//   ERR_BAD_FORMAT   a tag id, layer number, envelope id or map dimension
//                    past 16 bits, more than 32767 LWOB surfaces, a chunk
//                    over 4 GiB, a surface body that cannot be packed
//   ERR_DATABASE     an LWOB save with no current layer; an index that
//                    points outside the object
// The file is written to a temporary file beside the target and renamed over
// it once complete, flushed and closed without error; on any failure the
// temporary file is removed and the target is left as it was. A target that
// exists and is not a regular file (a device, a pipe) is written in place.
// ERR_FILE_OPEN when the file cannot be created (the path is kept in
// failedPath), ERR_FILE_WRITE when a write, the flush, the close or the
// rename fails (a full disk among them).
//
// Saving does not change the object, except that an LWOB object saved as
// LWO2 gets a clip for each image its surfaces name that no clip names yet
// (added before the output is sized), and an LWO2 save resets loadWord.
// The current layer and polygon types are left as they were.
#pragma once

#include <string>

struct ObjectDb;

// Writes the object as LWOB (format 1) or LWO2 (format 2). Returns 0 or an
// ObjError code, which is also stored in db->error (except ERR_PARAM for a
// null path or another format, when nothing is written). When problem is
// not null it receives a line saying what failed, also written to the log.
int SaveObject(ObjectDb* db, const char* path, int format, std::string* problem = nullptr);

inline int WriteLwo2(ObjectDb* db, const char* path) { return SaveObject(db, path, 2); }
inline int WriteLwob(ObjectDb* db, const char* path) { return SaveObject(db, path, 1); }
