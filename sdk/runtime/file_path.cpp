#include "tarn/runtime/file_path.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/folders.hpp"
#include "tarn/runtime/text_conversion.hpp"

namespace {

constexpr char separator = '/';

TARNStackedString<40> prefix(const TARNStackedString<40>& text, int length) {
    TARNStackedString<40> result;
    result.init(length, text.c_str());
    return result;
}

TARNStackedString<40> suffix(const TARNStackedString<40>& text, int start) {
    TARNStackedString<40> result;
    result.init(text.Length() - start, text.c_str() + start);
    return result;
}

// Runs `call` on the path converted to the locale's encoding; false when it cannot be.
template <class Call>
bool withLocalePath(const TARNStackedString<40>& path, Call call) {
    char* localePath = TARNIconv::UTF8ToLocale(path.c_str());
    if (localePath == nullptr) return false;
    const bool result = call(localePath);
    TARNIconv::releaseLocale(localePath);
    return result;
}

bool statPath(const TARNStackedString<40>& path, struct stat& info) {
    return withLocalePath(path, [&](const char* p) { return stat(p, &info) == 0; });
}

bool endsWithSeparator(const TARNStackedString<40>& text) {
    return !text.IsEmpty() && text[text.Length() - 1] == separator;
}

// The base of GetAbsolutePath and GetRelativePath, ending in "/".
TARNStackedString<40> baseFolder(const char* base) {
    TARNStackedString<40> folder = base != nullptr ? TARNStackedString<40>(base) : TARN::GetCurrentFolder();
    if (!endsWithSeparator(folder)) folder += "/";
    return folder;
}

}  // namespace

TARNFile::TARNFile(const char* path) {
    SetLongName(path);
}

void TARNFile::SetLongName(const char* path) {
    folder = path;
    name = "";
    const int length = folder.Length();
    if (length == 0 || folder[length - 1] == separator) return;
    int k = length - 2;
    while (k >= 0 && folder[k] != separator) --k;
    if (k < 0) {
        name = folder;
        folder = "";
    } else {
        name = suffix(folder, k + 1);
        folder = prefix(folder, k + 1);
    }
}

TARNStackedString<40> TARNFile::GetFullPath() const {
    return folder + name;
}

TARNStackedString<40> TARNFile::GetExtension() const {
    int dot = name.Length() - 1;
    while (dot >= 0 && name[dot] != '.') --dot;
    return dot < 0 ? TARNStackedString<40>() : suffix(name, dot + 1);
}

TARNFile TARNFile::GetParentFolder() const {
    if (!name.IsEmpty()) return TARNFile(folder.c_str());
    int k = folder.Length() - 1;
    while (k >= 0 && folder[k] == separator) --k;
    while (k >= 0 && folder[k] != separator) --k;
    if (k < 0) return TARNFile();
    return TARNFile(prefix(folder, k + 1).c_str());
}

TARNStackedString<40> TARNFile::GetName() const {
    const TARNStackedString<40> path = GetFullPath();
    int end = path.Length();
    while (end > 0 && path[end - 1] == separator) --end;
    int start = end;
    while (start > 0 && path[start - 1] != separator) --start;
    TARNStackedString<40> result;
    result.init(end - start, path.c_str() + start);
    return result;
}

bool TARNFile::GetFileInfos(TARNFileInfos& infos) const {
    struct stat info;
    if (!statPath(GetFullPath(), info)) return false;
    infos.creationTime = 0;
    infos.lastWriteTime = static_cast<long>(info.st_mtime) * 1000000;
    infos.lastAccessTime = static_cast<long>(info.st_atime) * 1000000;
    infos.size = static_cast<long>(info.st_size);
    return true;
}

bool TARNFile::Exists() const {
    struct stat info;
    return statPath(GetFullPath(), info);
}

bool TARNFile::Delete() const {
    return withLocalePath(GetFullPath(), [](const char* p) { return unlink(p) == 0; });
}

bool TARNFile::IsReadable() const {
    return withLocalePath(GetFullPath(), [](const char* p) {
        struct stat info;
        if (stat(p, &info) != 0) return false;
        if (S_ISDIR(info.st_mode)) {
            DIR* stream = opendir(p);
            if (stream == nullptr) return false;
            closedir(stream);
            return true;
        }
        // Without O_NONBLOCK a FIFO with no writer would keep the question open for ever.
        const int descriptor = open(p, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (descriptor < 0) return false;
        close(descriptor);
        return true;
    });
}

bool TARNFile::IsWritable() const {
    return withLocalePath(GetFullPath(), [](const char* p) { return access(p, W_OK) == 0; });
}

bool TARNFile::IsDirectory() const {
    struct stat info;
    // The whole file-type field decides: the folder bit alone is also set for block
    // devices and sockets.
    return statPath(GetFullPath(), info) && S_ISDIR(info.st_mode);
}

bool TARNFile::IsAbsolute() const {
    return !folder.IsEmpty() && (folder[0] == '/' || folder[0] == '\\');
}

bool TARNFile::CompactPath() {
    const bool rooted = !folder.IsEmpty() && folder[0] == separator;
    const TARNArray<TARNStackedString<40> > pieces = folder.Split(separator);
    TARNArray<TARNStackedString<40> > kept;
    int count = 0;
    for (int i = 0; i < pieces.Size(); ++i) {
        const TARNStackedString<40>& piece = pieces[i];
        if (piece.IsEmpty() || piece == ".") continue;
        if (piece == "..") {
            if (count >= 2 && !(kept[count - 1] == "..")) {
                --count;
                continue;
            }
            // An absolute folder cannot climb above its first component.
            if (IsAbsolute()) return false;
        }
        kept(count++) = piece;
    }
    TARNStackedString<40> compacted(rooted ? "/" : "");
    for (int i = 0; i < count; ++i) {
        compacted += kept[i];
        compacted += "/";
    }
    folder = compacted;
    return true;
}

TARNStackedString<40> TARNFile::GetAbsolutePath(const char* base) const {
    if (IsAbsolute()) return GetFullPath();
    TARNFile joined((baseFolder(base) + GetFullPath()).c_str());
    // A failed compaction leaves the joined path as it is, which still names the file.
    joined.CompactPath();
    return joined.GetFullPath();
}

TARNStackedString<40> TARNFile::GetRelativePath(const char* base) {
    if (!IsAbsolute()) return GetFullPath();
    TARNFile baseFile(baseFolder(base).c_str());
    CompactPath();
    baseFile.CompactPath();

    // Both folders end in "/", so both lists end in an empty piece: the base's is dropped,
    // this file's kept to give the "/" before the name.
    const TARNArray<TARNStackedString<40> > basePieces = baseFile.folder.Split(separator);
    const TARNArray<TARNStackedString<40> > ownPieces = folder.Split(separator);
    const int baseCount = basePieces.Size() - 1;
    const int ownCount = ownPieces.Size();
    int common = 0;
    while (common < baseCount && common < ownCount && basePieces[common] == ownPieces[common]) ++common;

    TARNStackedString<40> relative;
    bool first = true;
    const auto append = [&](const TARNStackedString<40>& piece) {
        if (!first) relative += "/";
        relative += piece;
        first = false;
    };
    for (int i = common; i < baseCount; ++i) append("..");
    for (int i = common; i < ownCount; ++i) append(ownPieces[i]);
    return relative + name;
}

bool TARNFile::operator==(const TARNFile& other) const {
    TARNFile mine(*this);
    TARNFile theirs(other);
    mine.CompactPath();
    theirs.CompactPath();
    return mine.GetFullPath() == theirs.GetFullPath();
}
