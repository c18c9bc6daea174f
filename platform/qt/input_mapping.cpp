#include "input_mapping.h"

#include "shell.h"
#include "shell_commands.h"

int VirtualKeyFromQt(int key, Qt::KeyboardModifiers modifiers) {
  if (key >= Qt::Key_0 && key <= Qt::Key_9) {
    // The keypad's digits have codes of their own (VK_NUMPAD0 is 96).
    if (modifiers & Qt::KeypadModifier) return 96 + (key - Qt::Key_0);
    return '0' + (key - Qt::Key_0);
  }
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return vk::kShift;
    case Qt::Key_Control: return vk::kControl;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return vk::kSpace;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return vk::kUp;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return vk::kDown;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Asterisk: return (modifiers & Qt::KeypadModifier) ? 106 : 0;
    case Qt::Key_Plus: return (modifiers & Qt::KeypadModifier) ? 107 : 0;
    case Qt::Key_Minus: return (modifiers & Qt::KeypadModifier) ? 109 : 0;
    case Qt::Key_Period: return (modifiers & Qt::KeypadModifier) ? 110 : 0;
    case Qt::Key_Slash: return (modifiers & Qt::KeypadModifier) ? 111 : 0;
    default: return 0;
  }
}

int ShellButtonFromQt(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton: return kButtonLeft;
    case Qt::RightButton: return kButtonRight;
    case Qt::MiddleButton: return kButtonMiddle;
    default: return -1;
  }
}

int MouseKeyFlagsFromQt(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  int flags = 0;
  if (buttons & Qt::LeftButton) flags |= kMkLButton;
  if (buttons & Qt::RightButton) flags |= kMkRButton;
  if (buttons & Qt::MiddleButton) flags |= kMkMButton;
  if (modifiers & Qt::ShiftModifier) flags |= kMkShift;
  if (modifiers & Qt::ControlModifier) flags |= kMkControl;
  return flags;
}

QKeySequence ShortcutFromAccelerator(const Accelerator& accelerator) {
  int key = accelerator.virtualKey;
  if (key == vk::kUp)
    key = Qt::Key_Up;
  else if (key == vk::kDown)
    key = Qt::Key_Down;
  // Letters and digits share their codes with Qt's keys.
  Qt::KeyboardModifiers modifiers;
  if (accelerator.control) modifiers |= Qt::ControlModifier;
  if (accelerator.alt) modifiers |= Qt::AltModifier;
  return QKeySequence(QKeyCombination(modifiers, Qt::Key(key)));
}
