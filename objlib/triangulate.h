// Polygon triangulation of an ObjectDb, reached through its operations table.
//
//   int TriangulatePolygons(ObjectDb* db, int flags);
//     Triangulates, in the current layer and current polygon type, every
//     polygon that exists when the call starts and has four or more corners
//     (five or more with TRI_KEEP_QUADS). Triangles appended meanwhile are not
//     visited. Ends with EndPolygonType. Returns 0, or ERR_MEMORY (1) when an
//     allocation failed for some polygon (that polygon keeps its corners less
//     any repeated ones; the others are still processed).
//
//   int TriangulatePolygon(ObjectDb* db, int index, int flags);
//     Triangulates one polygon of the current layer and type. Returns
//     ERR_PARAM (8) when the index is negative or not below the polygon count
//     (nothing changes), 0 when the polygon has fewer than four corners (five
//     with TRI_KEEP_QUADS) or was triangulated, ERR_MEMORY (1) as above.
//
// What happens to a polygon:
//   - Repeated corners (3-D positions within 2^-23 of the previous kept
//     corner, or of corner 0 for the last one) are removed first, in place,
//     with their per-corner normal, colour and channel values. A polygon left
//     with fewer than four corners stops there.
//   - The polygon is projected onto its own plane along its face normal.
//     Convex polygons, and polygons whose projected edges cross each other,
//     are cut as a fan from corner 0 (as are polygons whose coordinates are
//     not finite); any other polygon by a plane sweep that handles concave
//     outlines and holes joined by a bridge (an edge that retraces an earlier
//     one backwards is moved aside by 1.19e-6 before the sweep).
//   - The last triangle is written into the polygon itself; the others are
//     appended at the end of the polygon list with the polygon's surface and
//     all its polygon tags. Every triangle faces the way the polygon's face
//     normal does.
//   - Each triangle takes its corners' point indices, per-corner normal and
//     colour indices and corner-channel values from the polygon; an appended
//     triangle's current channel has the same keys as the polygon's current
//     channel (none when it had none). Discontinuous vertex-map values of the
//     polygon's own polygon type follow their point onto every triangle that
//     uses it.
//   - Degenerate triangles made by the sweep (two corners closer than 2^-23,
//     or the sine of the angle at the first corner below 2^-23: collinear to
//     single precision) are dropped, except the one written into the polygon
//     itself. Fans are written whole.
//
//   int TriangulatePolygonsCounted(ObjectDb* db, int flags, TriangulateCounts* counts);
//     TriangulatePolygons that also fills *counts (when not null) for the
//     current layer and type; see TriangulateCounts. ERR_PARAM when db is
//     null or has no current layer.
//
// Polygon records may move while polygons are appended: re-fetch them with
// GetPolygon after these calls. Neither call is reentrant for one ObjectDb.
// When a log file is set, each step writes trace lines through Log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Flag bits of TriangulatePolygon / TriangulatePolygons (and of
// LoadOptions::triangulationFlags).
enum TriangulateFlag {
  TRI_KEEP_QUADS = 1,   // leave four-corner polygons whole
  TRI_KEEP_CONVEX = 2,  // leave convex and self-crossing polygons whole (no fan)
};

struct ObjectDb;

// What one TriangulatePolygonsCounted call did. Barring faults, every polygon
// that was cut gives triangles + dropped == expected.
struct TriangulateCounts {
  int polygons = 0;   // polygons visited (enough corners for the flags)
  int leftWhole = 0;  // of those, still more than three corners afterwards
  int expected = 0;   // sum of (distinct corners - 2) over the others
  int triangles = 0;  // triangles they became (in place or appended)
  int dropped = 0;    // triangles dropped as degenerate
};

int TriangulatePolygonsCounted(ObjectDb* db, int flags, TriangulateCounts* counts);

// Triangles set aside by TriangulatePolygonsAside, in the order they would
// have been appended. Per triangle: the surface id the appended polygon
// would get, its three points, and per corner its normal index and the value
// of its current channel, -1 where the polygon had no per-corner normals or
// no current channel. A caller that reads no normals, or whose corners'
// normals are their points (one normal per point), clears keepNormals
// before the call: `normals` then stays empty.
struct AsideTriangles {
  std::vector<int32_t> surfaceIds;  // one per triangle
  std::vector<int32_t> points;      // three per triangle
  std::vector<int32_t> normals;     // three per triangle, when kept
  std::vector<int32_t> channel;     // three per triangle
  bool keepNormals = true;
  size_t Count() const { return surfaceIds.size(); }
};

// TriangulatePolygons for a caller that only reads the triangles: each
// polygon is still cut and its last triangle written into the polygon
// itself, but the others go to *aside instead of the polygon list (no
// records, tags or vertex-map values for them). Reading the polygon list and
// then the aside triangles gives what the list would hold after
// TriangulatePolygons. ERR_PARAM when an argument is null or there is no
// current layer; ERR_MEMORY when memory ran out (what was done stays).
int TriangulatePolygonsAside(ObjectDb* db, int flags, AsideTriangles* aside);
