#include "tarn/runtime/file_locker.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "tarn/runtime/text_conversion.hpp"

TARNFileLockerHandlePath::TARNFileLockerHandlePath(const TARNFile& file, bool lockNow)
    : path(file.GetFullPath()) {
    if (lockNow) TryLock();
}

TARNFileLockerHandlePath::~TARNFileLockerHandlePath() {
    TryUnlock();
}

bool TARNFileLockerHandlePath::TryLock() {
    if (descriptor >= 0) return true;
    char* localePath = TARNIconv::UTF8ToLocale(path.c_str());
    if (localePath == nullptr) return false;
    // Read-only opens folders as well as files; non-blocking keeps a FIFO without a writer
    // from holding the open up for ever (locks never wait); close-on-exec keeps the lock out
    // of child processes, which would otherwise hold it after this process let it go.
    descriptor = open(localePath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    TARNIconv::releaseLocale(localePath);
    if (descriptor < 0) return false;
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        close(descriptor);
        descriptor = -1;
    }
    return descriptor >= 0;
}

bool TARNFileLockerHandlePath::TryUnlock() {
    if (descriptor >= 0) {
        flock(descriptor, LOCK_UN);
        close(descriptor);
        descriptor = -1;
    }
    return true;
}

TARNFileLocker::TARNFileLocker(const TARNFile& file, bool lockNow) {
    if (file.IsDirectory()) {
        handle = new TARNFileLockerHandleDirectory(file, lockNow);
    } else {
        handle = new TARNFileLockerHandleFile(file, lockNow);
    }
}

TARNFileLocker::TARNFileLocker(const TARNStackedString<40>& path, bool lockNow)
    : TARNFileLocker(TARNFile(path.c_str()), lockNow) {}

TARNFileLocker::TARNFileLocker(const TARNFileLocker& other) : handle(other.handle) {
    if (handle) handle->IncreaseRefCount();
}

TARNFileLocker& TARNFileLocker::operator=(const TARNFileLocker& other) {
    // The new reference is taken first: on self-assignment, dropping the old one first
    // could delete the very handle about to be shared.
    if (other.handle) other.handle->IncreaseRefCount();
    if (handle) handle->DecreaseRefCount();
    handle = other.handle;
    return *this;
}

TARNFileLocker::~TARNFileLocker() {
    if (handle) handle->DecreaseRefCount();
}

TARNStackedString<40> TARNFileLocker::GetPath() const {
    return handle ? handle->GetPath() : TARNStackedString<40>();
}

bool TARNFileLocker::TryLock() {
    return handle != nullptr && handle->TryLock();
}

bool TARNFileLocker::TryUnlock() {
    return handle != nullptr && handle->TryUnlock();
}
