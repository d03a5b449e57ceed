#include "tarn/runtime/program_location.hpp"

#include <dlfcn.h>
#include <unistd.h>

#include "tarn/runtime/folders.hpp"
#include "tarn/runtime/streamed_string.hpp"
#include "tarn/runtime/text_conversion.hpp"

namespace TARN {

TARNFile GetSymbolFilePath(void* address) {
    Dl_info info;
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr) return TARNFile();
    TARNStackedString<40> path;
    if (TARNIconv::localeToUTF8(info.dli_fname, path) == 0) return TARNFile();
    return TARNFile(path.c_str());
}

TARNStackedString<40> GetCurrentBinaryPath() {
    TARNStreamedString link("/proc/");
    link << static_cast<int>(getpid()) << "/exe";
    // readlink does not say how long the target is: while it fills the whole buffer, the
    // text may have been cut, so try again with twice the room.
    long size = 512;
    for (;;) {
        char* buffer = new char[size];
        const long length = readlink(link.c_str(), buffer, size);
        if (length < 0) {
            delete[] buffer;
            return TARNStackedString<40>();
        }
        if (length < size) {
            buffer[length] = '\0';
            TARNStackedString<40> path;
            const bool converted = TARNIconv::localeToUTF8(buffer, path) != 0;
            delete[] buffer;
            if (!converted) return TARNStackedString<40>();
            return TARNFile(path.c_str()).GetAbsolutePath(nullptr);
        }
        delete[] buffer;
        size *= 2;
    }
}

TARNFile GetRuntimeRootDirectory() {
    void* library = dlopen("libtarnvel.so", RTLD_LAZY);
    if (library == nullptr) library = dlopen("libtarnvel.so.4", RTLD_LAZY);
    if (library == nullptr) return TARNFile();
    TARNFile root;
    if (void* symbol = dlsym(library, "tarn_init")) {
        const TARNFile libraryFile = GetSymbolFilePath(symbol);
        root = TARNFile(libraryFile.GetFolder().c_str()).GetParentFolder();
        root.CompactPath();
    }
    dlclose(library);
    return root;
}

}  // namespace TARN
