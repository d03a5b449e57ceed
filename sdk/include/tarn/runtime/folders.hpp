// The working folder, folder tests and creation, the temporary and home folders, free space.
// Paths are UTF-8 texts.
#pragma once

#include "tarn/runtime/stacked_string.hpp"

namespace TARN {

// The process's working folder, whatever its length; empty when it cannot be read.
TARNStackedString<40> GetCurrentFolder();
// Changes the working folder; true on success.
bool SetCurrentFolder(const TARNStackedString<40>& path);
// True only when the path names an existing folder: the path is tried as given, then
// converted to the locale's encoding. A null path is not a folder.
bool IsFolder(const char* path);
// Creates the folder and, first, its missing parents (the text before the last '/' or
// '\\'). Trailing separators are ignored. True when the path is a folder at the end (an
// existing path gives whether it is a folder); false for a null or empty path.
bool CreateFolder(const char* path);
// "/tmp" in UTF-8; empty when it cannot be converted from the locale's encoding.
TARNStackedString<40> GetTempFolder();
// $HOME converted to UTF-8; GetTempFolder() when HOME is unset or cannot be converted.
TARNStackedString<40> GetUserHomeFolder();
// Bytes available to unprivileged users on the file system holding the path; -1 when the
// path cannot be converted to the locale's encoding, minus the error number when the
// file system cannot be queried.
long GetDiskFreeSpaceForPath(const char* path);

}  // namespace TARN
