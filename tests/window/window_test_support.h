// Shared by the window tests: the QApplication (made once, under a
// decimal-comma locale when the machine has one), a fixture that opens the
// main window in a fresh current directory, and helpers that send input,
// drop files and answer modal dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

#include "main_window.h"

// Runs the event loop until pred holds; false when it never did (after a
// generous bound, so a hang fails instead of blocking the run).
bool ProcessUntil(const std::function<bool()>& pred);
// Lets queued events run for a few rounds.
void ProcessEvents();

// Answers the next modal dialog of type T with fn once it is up (fn accepts
// or rejects it). Call before the action that opens it.
template <typename T>
void AnswerNextModal(std::function<void(T*)> fn);
void AnswerNextModalWidget(std::function<bool(QWidget*)> fn);

template <typename T>
void AnswerNextModal(std::function<void(T*)> fn) {
  AnswerNextModalWidget([fn](QWidget* w) {
    T* dialog = dynamic_cast<T*>(w);
    if (!dialog) return false;
    fn(dialog);
    return true;
  });
}

// Mouse and wheel events straight to a widget, at client pixel positions.
void SendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint at,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void SendWheel(QWidget* widget, int delta, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// A drop of local files on the window, as a file manager's would arrive.
void DropFiles(QWidget* window, const QStringList& paths);

// A started main window (OpenGL) over a fresh current directory.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Closes the window and opens a new one in the same directory.
  void Restart();
  // Drops a file and waits for its load to finish.
  void DropAndWait(const QStringList& paths);

  std::string folder_;
  std::unique_ptr<MainWindow> window_;
  std::string previousFolder_;

 private:
  void Open();
};

std::string SamplePath(const char* name);
