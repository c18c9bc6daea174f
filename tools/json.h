// Minimal JSON text helpers for the command-line tools.
#pragma once

#include <string>

// The text as a quoted JSON string. Valid UTF-8 passes through; any other
// byte (names written in a legacy code page) is kept as the code point of
// the same value, so the output is always valid JSON and UTF-8.
std::string JsonString(const char* text);
inline std::string JsonString(const std::string& text) { return JsonString(text.c_str()); }
// A number in the shortest form that reads back to the same double, written
// independently of the C locale; non-finite values become null.
std::string JsonNumber(double value);
