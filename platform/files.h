// Paths and files.
//
// The viewer stores paths in their Windows forms ("C:\models\", a folder
// ending in a backslash, "images\wood.tga") because that is what its
// settings and content files hold. Texts are split at the last "\" and also
// at the last "/", so paths handed over by the system split too; every call
// into the file system goes through ToFsPath.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The path with every "\" turned into "/".
std::string ToFsPath(std::string_view path);

// The path up to and including its last "\" or "/"; "" when it has neither.
std::string PathFolder(std::string_view path);
// The part after the last "\" or "/"; the whole path when it has neither.
std::string PathFileName(std::string_view path);
// The text from the last "." of the file name (a dot in a folder name never
// counts); "" when the name has none.
std::string PathExtension(std::string_view path);

// ASCII letters lowered; every other byte is kept (texts may be CP932 or
// UTF-8 and are never transcoded).
std::string AsciiLower(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// True when the path (stored form) names a regular file that opens for reading.
bool IsReadableFile(const std::string& path);

// Looks a file up one component at a time; a component that does not exist
// as written is matched against the entries of its folder without regard to
// ASCII letter case (the first match in name order wins). Content made on
// Windows names "images\" where the disk holds "Images/". Returns the file
// system path found, or nothing.
std::optional<std::string> FindFileIgnoringCase(const std::string& path);

// The whole file (stored-form path), or nothing when it is not a readable
// regular file.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces the file with the bytes so that a crash at any moment leaves
// either the old or the new complete file: the bytes go to a temporary file
// in the same folder, are flushed to disk and renamed over the target. The
// permissions of an existing file are kept; a symbolic link is written
// through. False when anything failed (the target is then unchanged).
bool WriteFileAtomically(const std::string& path, std::string_view bytes);
