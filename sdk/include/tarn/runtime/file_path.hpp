// The library's path object: a folder part and a name part, the path algebra over them
// and the file-system queries on the path they name.
#pragma once

#include "tarn/runtime/stacked_string.hpp"

// What GetFileInfos reads of a file. Times are microseconds since the epoch, to the second.
struct TARNFileInfos {
    // This platform keeps no creation time: always 0.
    long creationTime;
    long lastWriteTime;
    long lastAccessTime;
    long size;
};

// A UTF-8 path held as its folder part (up to and including the last "/", empty when there
// is none) and its name part (the rest; empty for a path that ends in "/"). Only "/"
// separates components; a backslash counts only as the first character of an absolute
// folder. Every system call receives the path converted to the locale's encoding.
//
// Nothing here reports or throws: failures are false results or empty paths.
class TARNFile {
  public:
    // A null path gives an empty file.
    TARNFile(const char* path = nullptr);
    TARNFile(const TARNFile&) = default;
    TARNFile& operator=(const TARNFile&) = default;
    virtual ~TARNFile() = default;

    void SetLongName(const char* path);

    const TARNStackedString<40>& GetFolder() const { return folder; }
    const TARNStackedString<40>& GetShortName() const { return name; }
    // Folder part followed by name part.
    TARNStackedString<40> GetFullPath() const;
    // The name part after its last "."; empty without one.
    TARNStackedString<40> GetExtension() const;
    // The folder part alone when there is a name; otherwise the folder one level up, or an
    // empty file for "/", an empty folder or a folder of one component.
    TARNFile GetParentFolder() const;
    // The last non-empty component of the full path.
    TARNStackedString<40> GetName() const;
    // Environment references are not expanded on this platform.
    void ExpandPath() {}

    // Filled only when the file can be examined.
    bool GetFileInfos(TARNFileInfos& infos) const;
    bool Exists() const;
    bool Delete() const;
    // A folder that can be listed, or anything else that opens for reading.
    bool IsReadable() const;
    bool IsWritable() const;
    bool IsDirectory() const;
    // The folder part begins with "/" or "\\".
    bool IsAbsolute() const;

    // Drops "." and empty components of the folder part and resolves "..". A ".." that
    // would take away the first component of an absolute folder makes it fail and leave
    // the folder unchanged; a relative folder keeps such "..".
    bool CompactPath();
    // An absolute path stays as it is; a relative one is put after `base` (null: the
    // working folder) and compacted.
    TARNStackedString<40> GetAbsolutePath(const char* base) const;
    // An absolute path relative to `base` (null: the working folder); a relative path
    // stays as it is. Compacts this file's folder part.
    TARNStackedString<40> GetRelativePath(const char* base);

    // Same compacted full paths, byte for byte.
    bool operator==(const TARNFile& other) const;

  private:
    TARNStackedString<40> name;
    TARNStackedString<40> folder;
};
