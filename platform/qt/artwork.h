// The program's pictures, painted at start-up: the platform dialog's
// backdrop (bitmap 110, 256 x 128) and the window and about-box icon (104).
#pragma once

#include <QIcon>
#include <QPixmap>

// Bitmap 110: a dusk gradient with a tamarind pod and leaflets; the lower
// band stays dark so the dialog's white and yellow texts read on it.
QPixmap PlatformBackdrop();

// Icon 104 at 16, 32 and 48 pixels: a pod on an amber tile.
QIcon ApplicationIcon();
