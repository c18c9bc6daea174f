// Polygon strips ("loops"): the polygons of the current layer and type
// regrouped into triangle strips, fans around a point, chains of lines and
// runs of single points. Built by BuildLoops, owned by the layer, freed by
// FreeLoops (or when the layer goes).
#pragma once

#include <cstdint>
#include <vector>

#include "objectdb.h"

enum LoopKind { LOOP_STRIP = 0, LOOP_FAN = 1, LOOP_LINE = 2, LOOP_POINTS = 3 };

struct LoopItem {
  int32_t corner = 0;   // corner index in its polygon
  int32_t point = 0;    // point index
  int32_t polygon = 0;  // polygon index
  LoopItem* next = nullptr;
  LoopItem* previous = nullptr;
};

struct EdgeLoop {
  int32_t kind = LOOP_STRIP;
  int32_t surfaceId = 0;
  uint32_t sortKey = 0;
  int32_t itemCount = 0;
  LoopItem* first = nullptr;  // head of the item list
  LoopItem* last = nullptr;
  std::vector<LoopItem> items;  // storage of the list, in list order
};

enum LoopFlag { LOOP_FANS = 1, LOOP_SORT = 2, LOOP_CROSS_SEAMS = 4 };

struct LoopOptions {
  int32_t flags = 0;
  int32_t startFlags = 1;  // bit 0: try every start edge of a strip's first polygon
  int32_t maxItems = 0;    // 0: no limit
  int32_t minFanPolygons = 0;
};

// Sort key of a loop: transparency (clamped to [0, 1]) in the top byte, then
// the surface id, then the kind.
uint32_t LoopSortKey(float transparency, int surfaceId, int kind);

// Installs BuildLoops, GetLoopCount, GetLoop, GetLoopItem, FreeLoops, SortLoops.
void InstallStripOps(ObjectDbOps& ops);
