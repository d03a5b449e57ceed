// Listing the entries of a folder whose names match a wildcard pattern.
#pragma once

#include "tarn/runtime/stacked_string.hpp"

// One open browse: the directory stream, the folder and the compiled name pattern.
// Opaque, inside the SDK's library.
struct TARNFindFileHandle;

// Steps through the entries of one folder, in the order the system delivers them, whose
// names match a pattern in which "*" stands for any run of characters. The pattern is the
// last component of the path given to Open ("data/*.txt": the folder "data", the pattern
// "*.txt"; a path without "/" browses the working folder, "/x" the root folder). It becomes
// an anchored regular expression: "." is literal, "*" any run, and every other character
// keeps its meaning in a regular expression ("?" makes the character before it optional).
// Names match whole and case counts.
//
// Usage: a true Open already delivers the first item; read ItemName() and ItemIsFolder(),
// call GetNextItem() until it returns false, then Close() (the destructor closes as well).
// One thread at a time.
class TARNFolderBrowser {
  public:
    TARNFolderBrowser() = default;
    ~TARNFolderBrowser();
    TARNFolderBrowser(const TARNFolderBrowser&) = delete;
    TARNFolderBrowser& operator=(const TARNFolderBrowser&) = delete;

    // Ends any earlier browse and opens the folder at the first matching entry. False when
    // the folder cannot be opened, no entry matches, or an entry's name cannot be converted
    // to UTF-8; then no browse is open.
    bool Open(const char* path);
    // The next matching entry. False when no browse is open, at the end of the folder, or
    // for an entry whose name cannot be converted to UTF-8 (the next call goes on after
    // it); the browse stays open.
    bool GetNextItem();
    // Ends the browse; nothing when none is open.
    void Close();

    // The current item: the entry's name alone, in UTF-8, and whether it is a folder. Only
    // a match changes them.
    const TARNStackedString<40>& ItemName() const { return itemName; }
    bool ItemIsFolder() const { return itemIsFolder; }

  private:
    enum class Search { Found, End, Unconvertible };
    Search searchNext();

    TARNFindFileHandle* findHandle = nullptr;
    bool itemIsFolder = false;
    TARNStackedString<40> itemName;
};
