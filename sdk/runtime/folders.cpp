#include "tarn/runtime/folders.hpp"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/text_conversion.hpp"

namespace {

bool IsSeparator(char character) {
    return character == '/' || character == '\\';
}

bool NamesFolder(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// Creates the folder named by the first `length` bytes of `path`, parents first.
bool CreateFolderPrefix(const char* path, int length) {
    // "a/b/" names a/b; a path made of separators only names the root.
    while (length > 1 && IsSeparator(path[length - 1])) --length;
    if (length == 0) return false;
    const TARNStackedString<40> folder = [&] {
        TARNStackedString<40> text;
        text.init(length, path);
        return text;
    }();

    struct stat info;
    if (stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);

    int separator = length - 1;
    while (separator >= 0 && !IsSeparator(path[separator])) --separator;
    if (separator == 0 && path[0] != '/') {
        // Only "/" names the root here. Before a leading backslash lies the empty parent,
        // which names nothing; taken as the root, it would create folders named "\" and
        // "\x" in the working folder.
        return false;
    }
    // The parent of "/x" is the root itself, kept as "/".
    const bool hasParent = separator >= 0;
    if (hasParent && !CreateFolderPrefix(path, separator == 0 ? 1 : separator)) return false;

    // Another thread or process may have created it meanwhile: what counts is that the
    // folder exists now.
    return mkdir(folder.c_str(), 0777) == 0 || NamesFolder(folder.c_str());
}

}  // namespace

namespace TARN {

TARNStackedString<40> GetCurrentFolder() {
    // glibc allocates a buffer as long as the path needs.
    char* path = getcwd(nullptr, 0);
    TARNStackedString<40> folder(path);
    std::free(path);
    return folder;
}

bool SetCurrentFolder(const TARNStackedString<40>& path) {
    return chdir(path.c_str()) == 0;
}

bool IsFolder(const char* path) {
    if (path == nullptr) return false;
    if (NamesFolder(path)) return true;
    char* localePath = TARNIconv::UTF8ToLocale(path);
    const bool isFolder = localePath != nullptr && NamesFolder(localePath);
    TARNIconv::releaseLocale(localePath);
    return isFolder;
}

bool CreateFolder(const char* path) {
    if (path == nullptr) return false;
    return CreateFolderPrefix(path, Strlen(path));
}

TARNStackedString<40> GetTempFolder() {
    TARNStackedString<40> folder;
    TARNIconv::localeToUTF8("/tmp", folder);
    return folder;
}

TARNStackedString<40> GetUserHomeFolder() {
    TARNStackedString<40> folder;
    const char* home = std::getenv("HOME");
    if (home == nullptr || TARNIconv::localeToUTF8(home, folder) == 0) return GetTempFolder();
    return folder;
}

long GetDiskFreeSpaceForPath(const char* path) {
    char* localePath = TARNIconv::UTF8ToLocale(path);
    if (localePath == nullptr) return -1;
    struct statvfs info;
    const int result = statvfs(localePath, &info);
    const int error = errno;
    TARNIconv::releaseLocale(localePath);
    if (result != 0) return -error;
    // Available blocks are counted in fragments of f_frsize bytes.
    return static_cast<long>(info.f_bavail) * static_cast<long>(info.f_frsize);
}

}  // namespace TARN
