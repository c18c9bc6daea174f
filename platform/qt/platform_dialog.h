// The start-up dialog that picks the drawing platform (dialog 109): a
// frameless 256 x 128 window over bitmap 110 with an "Open GL" and a
// "DirectX8" button and a close box.
#pragma once

#include <QDialog>
#include <QPixmap>

// What the pointer is over: 0 nothing, 1 the OpenGL button, 2 the DirectX8
// button, 3 the close box. The hit boxes lie 2 pixels below the drawn
// ones; an unavailable DirectX8 button keeps the previous hover.
int PlatformDialogHoverAt(int x, int y, int previousHover, bool direct3dAvailable);

class PlatformDialog : public QDialog {
 public:
  enum class Choice { OpenGl, Direct3d8, Exit };

  explicit PlatformDialog(bool direct3dAvailable, QWidget* parent = nullptr);

  // Shows the dialog modally, centred on the desktop, until a choice.
  Choice Run();
  Choice choice() const { return choice_; }
  int hover() const { return hover_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void reject() override;

 private:
  bool direct3dAvailable_;
  int hover_ = 0;
  Choice choice_ = Choice::Exit;
  QPixmap backdrop_;
};

// Whether Direct3D 8 can be used here; this build draws through OpenGL only.
bool Direct3d8Available();
