// Advisory, exclusive, non-blocking locks on existing files and folders.
#pragma once

#include "tarn/runtime/file_path.hpp"
#include "tarn/runtime/stacked_string.hpp"

// One lock on one path, shared by the copies of a TARNFileLocker through a reference
// count. The count is a plain integer: the copies of one locker stay in one thread.
class TARNFileLockerHandle {
  public:
    TARNFileLockerHandle(const TARNFileLockerHandle&) = delete;
    TARNFileLockerHandle& operator=(const TARNFileLockerHandle&) = delete;
    virtual ~TARNFileLockerHandle() = default;

    // A lock is held.
    virtual explicit operator bool() const = 0;
    virtual TARNStackedString<40> GetPath() const = 0;
    // True when the lock is held afterwards.
    virtual bool TryLock() = 0;
    // Releases a held lock; always true.
    virtual bool TryUnlock() = 0;

    void IncreaseRefCount() { ++references; }
    // Deletes the handle when the last reference goes.
    void DecreaseRefCount() {
        if (--references <= 0) delete this;
    }

  protected:
    TARNFileLockerHandle() = default;

  private:
    int references = 1;
};

// The lock taken with flock on the named object itself (no lock file is created): it
// excludes other processes and other open descriptors of this process.
class TARNFileLockerHandlePath : public TARNFileLockerHandle {
  public:
    ~TARNFileLockerHandlePath() override;

    explicit operator bool() const override { return descriptor >= 0; }
    TARNStackedString<40> GetPath() const override { return path; }
    bool TryLock() override;
    bool TryUnlock() override;

  protected:
    TARNFileLockerHandlePath(const TARNFile& file, bool lockNow);

  private:
    TARNStackedString<40> path;
    int descriptor = -1;
};

// The same lock; the type tells what kind of object was locked.
class TARNFileLockerHandleFile : public TARNFileLockerHandlePath {
  public:
    TARNFileLockerHandleFile(const TARNFile& file, bool lockNow) : TARNFileLockerHandlePath(file, lockNow) {}
};
class TARNFileLockerHandleDirectory : public TARNFileLockerHandlePath {
  public:
    TARNFileLockerHandleDirectory(const TARNFile& file, bool lockNow)
        : TARNFileLockerHandlePath(file, lockNow) {}
};

// A lock on an existing file or folder. Copies share one lock, which the last of them to
// go releases. A missing, unreadable or elsewhere locked object simply stays unlocked.
class TARNFileLocker {
  public:
    // No path: never locked.
    TARNFileLocker() = default;
    TARNFileLocker(const TARNFile& file, bool lockNow);
    TARNFileLocker(const TARNStackedString<40>& path, bool lockNow);
    TARNFileLocker(const TARNFileLocker& other);
    TARNFileLocker& operator=(const TARNFileLocker& other);
    ~TARNFileLocker();

    explicit operator bool() const { return handle != nullptr && static_cast<bool>(*handle); }
    TARNStackedString<40> GetPath() const;
    bool TryLock();
    bool TryUnlock();

  private:
    TARNFileLockerHandle* handle = nullptr;
};
