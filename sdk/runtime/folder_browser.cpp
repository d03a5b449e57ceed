#include "tarn/runtime/folder_browser.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/regular_expression.hpp"
#include "tarn/runtime/text_conversion.hpp"

struct TARNFindFileHandle {
    TARNFindFileHandle() = default;
    ~TARNFindFileHandle() {
        if (dirStream != nullptr) closedir(dirStream);
        TARNIconv::releaseLocale(localeFolder);
    }
    TARNFindFileHandle(const TARNFindFileHandle&) = delete;
    TARNFindFileHandle& operator=(const TARNFindFileHandle&) = delete;

    DIR* dirStream = nullptr;
    // The folder in the locale's encoding, for the stat of entries of unknown type.
    char* localeFolder = nullptr;
    TARNRegExp nameRegExp;
};

namespace {

// "^" + the pattern with "." made literal and "*" any run + "$".
TARNStackedString<40> expressionOf(const TARNStackedString<40>& pattern) {
    TARNStackedString<40> expression("^");
    for (int i = 0; i < pattern.Length(); ++i) {
        if (pattern[i] == '.') {
            expression += "\\.";
        } else if (pattern[i] == '*') {
            expression += ".*";
        } else {
            expression.concat(1, pattern.c_str() + i);
        }
    }
    return expression + "$";
}

bool isFolder(const TARNFindFileHandle& handle, const dirent& entry) {
    if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_DIR;
    // The file system does not tell: ask stat, which follows symbolic links.
    const TARNStackedString<40> path = TARNStackedString<40>(handle.localeFolder) + "/" + entry.d_name;
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

TARNFolderBrowser::~TARNFolderBrowser() {
    Close();
}

bool TARNFolderBrowser::Open(const char* path) {
    Close();
    const TARNStackedString<40> text(path);
    int slash = text.Length() - 1;
    while (slash >= 0 && text[slash] != '/') --slash;
    TARNStackedString<40> folder;
    if (slash < 0) {
        folder = ".";
    } else if (slash == 0) {
        // Nothing before the only "/": the pattern lies in the root folder.
        folder = "/";
    } else {
        folder.init(slash, text.c_str());
    }
    TARNStackedString<40> pattern;
    pattern.init(text.Length() - slash - 1, text.c_str() + slash + 1);

    char* localeFolder = TARNIconv::UTF8ToLocale(folder.c_str());
    if (localeFolder == nullptr) return false;
    findHandle = new TARNFindFileHandle;
    findHandle->localeFolder = localeFolder;
    findHandle->dirStream = opendir(localeFolder);
    if (findHandle->dirStream == nullptr) {
        Close();
        return false;
    }
    // A line break is a character of a name like any other: "$" must not match before a
    // final one (or "notes" would find "notes" followed by a line break), and the "." of a
    // "*" must run over them.
    findHandle->nameRegExp =
        TARNRegExp(expressionOf(pattern).c_str(), TARNRegExp::DotAll | TARNRegExp::DollarEndOnly);
    if (searchNext() == Search::Found) return true;
    Close();
    return false;
}

bool TARNFolderBrowser::GetNextItem() {
    return findHandle != nullptr && searchNext() == Search::Found;
}

void TARNFolderBrowser::Close() {
    delete findHandle;
    findHandle = nullptr;
}

TARNFolderBrowser::Search TARNFolderBrowser::searchNext() {
    for (;;) {
        // A failing readdir counts as the end of the folder.
        const dirent* entry = readdir(findHandle->dirStream);
        if (entry == nullptr) return Search::End;
        char* name = TARNIconv::localeToUTF8(entry->d_name);
        if (name == nullptr) return Search::Unconvertible;
        const bool matches = findHandle->nameRegExp.exec(name, TARN::Strlen(name));
        if (matches) {
            itemName = name;
            itemIsFolder = isFolder(*findHandle, *entry);
        }
        TARNIconv::releaseUTF8(name);
        if (matches) return Search::Found;
    }
}
