// How Qt's input events map onto what the shell takes: Windows virtual-key
// codes, button numbers, wheel key flags, and accelerators as Qt key
// sequences.
#pragma once

#include <Qt>
#include <QKeySequence>

struct Accelerator;

// The virtual-key code of a Qt key: letters 'A'..'Z', digits '0'..'9',
// Shift 16, Control 17, Alt 18, Space 32, the arrows 37 to 40, the keypad's
// digits 96 to 105 (Qt::KeypadModifier), F1.. 112.., and a few more; 0 for
// keys the shell has no code for.
int VirtualKeyFromQt(int key, Qt::KeyboardModifiers modifiers);

// 0 left, 1 right, 2 middle; -1 for any other button.
int ShellButtonFromQt(Qt::MouseButton button);

// The kMk* flags of the buttons held and the Shift and Control keys.
int MouseKeyFlagsFromQt(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);

// "Ctrl+O", "Alt+P", "Ctrl+Up" as a Qt key sequence.
QKeySequence ShortcutFromAccelerator(const Accelerator& accelerator);
