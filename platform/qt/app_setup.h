// Process-wide set-up of the Qt application, shared by the program and its
// window tests.
#pragma once

class QApplication;

// Before the QApplication exists: the default OpenGL surface (compatibility
// profile for the fixed-function renderer, 24 depth bits, double-buffered,
// swap interval 0 so frames are not held to the display's rate).
void SetDefaultSurfaceFormat();

// After it exists: numbers read and written with a decimal point whatever
// the user's locale (Qt sets the locale from the environment), Qt's own
// texts in Japanese, a Japanese-capable interface font, the icon, and menu
// items that show their check mark only while checked.
void ConfigureApplication(QApplication& app);
