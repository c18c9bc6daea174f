// Fonts sized the way the window system's fonts were asked for: by the
// height of the whole character cell (ascent plus descent), not the em.
#pragma once

#include <QFont>

// An Arial-like font (Arial, else a metric twin, else the sans-serif
// default) whose line cell is at most cellHeight pixels, in the weight.
QFont ArialCellFont(int cellHeight, QFont::Weight weight);
