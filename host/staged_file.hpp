// A file written under a temporary name in its folder and renamed to its final name once
// complete, so that nobody meets a cut file under the final name: not a viewer looking
// while it is written, not a run that is interrupted, killed or runs out of space.
#pragma once

#include <cstdio>
#include <string>

class StagedFile {
  public:
    StagedFile() = default;
    // Removes the temporary file when it was not committed.
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates the temporary file beside `path`: ".NAME.part-PID-N" in the same folder, with
    // the mode a new file gets. False with `error` set ("cannot write PATH: reason").
    bool Open(const std::string& path, std::string& error);
    // The stream to write to, while open.
    std::FILE* Stream() const { return m_file; }
    // Closes the file and renames it to its final name, replacing a file of that name.
    // False with `error` set when a write, the close or the rename failed; the temporary
    // file is removed then. A writer that meets a failure itself just returns: the
    // destructor removes what it wrote.
    bool Commit(std::string& error);

    // Whether `name` (a file name without folder) is the temporary name of some final one.
    static bool IsTemporaryName(const std::string& name);

  private:
    void discard();

    std::FILE* m_file = nullptr;
    std::string m_path;
    std::string m_temporary;
};
