// Running work on the GUI thread from any thread.
#pragma once

#include <functional>

// Runs fn on the thread of the QApplication and returns when it is done:
// directly when called there, otherwise through a blocking hand-over that
// the GUI thread serves from its event loop. The GUI thread must be running
// an event loop (or a local one, as while a load is waited for) or the
// caller blocks.
void RunOnGuiThread(const std::function<void()>& fn);

// True on the QApplication's thread.
bool OnGuiThread();
