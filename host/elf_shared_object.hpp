// Checking that a file is a shared object this process can load, before dlopen maps it.
#pragma once

#include <string>

// True when `path` is an ELF shared object for this machine (64-bit, this byte order and
// processor, type ET_DYN) whose program headers and loadable segments lie inside the file.
// Otherwise false with `reason` set to one line that says what is wrong. dlopen maps the
// segments as they are declared: a segment reaching past the end of a truncated file maps
// pages with nothing behind them, and the loader dies of SIGBUS on touching them.
bool CheckSharedObject(const std::string& path, std::string& reason);
