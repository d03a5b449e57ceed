// A file's bytes, read at once.
#pragma once

#include <optional>
#include <string>

// Every byte of the file at `path`, in one block (a package is megabytes, too many to take a
// character at a time); nothing when it cannot be opened.
std::optional<std::string> ReadWholeFile(const std::string& path);
