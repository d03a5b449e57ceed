// Loading shared libraries at run time and finding their symbols.
#pragma once

// One dynamically loaded shared library. The library stays loaded while the loader holds
// it: Close(), or the destructor, unloads it.
class TARNDynamicLoader {
  public:
    TARNDynamicLoader() = default;
    ~TARNDynamicLoader();

    // A copy would unload the library twice.
    TARNDynamicLoader(const TARNDynamicLoader&) = delete;
    TARNDynamicLoader& operator=(const TARNDynamicLoader&) = delete;

    // Opens the library at `path` (UTF-8) with every symbol bound at once and its own
    // symbols preferred over the process's (but in a process that runs the address,
    // thread, memory or hardware-address sanitizer's run-time, which refuses that and binds
    // the library's symbols as any library's); when the path does not open as given, tries
    // once more with it converted to the locale's encoding. A library already held is
    // closed first. True when a library is now held.
    bool Open(const char* path);
    // The same; with `global` the library's symbols also serve libraries loaded later.
    bool Open(const char* path, bool global);
    // True when no library is held; otherwise unloads it and returns whether that
    // succeeded. The loader holds nothing afterwards in either case.
    bool Close();
    // Address of the symbol, or null when the library lacks it or none is held.
    void* LoadSymbol(const char* name) const;
    bool IsOpen() const { return handle != nullptr; }

    // The dynamic linker's last error text, null when none; reading it clears it.
    static const char* GetErrorMessage();

  private:
    void* handle = nullptr;
};
