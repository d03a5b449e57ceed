// The folders a decode run writes its images into, made ready before the run starts and
// held for it.
#pragma once

#include <string>
#include <system_error>
#include <vector>

// For each folder: made when missing (parents too), checked that a file can be created in
// it, locked for the run (a second run into the same folder is refused while this one
// holds it), and checked for images of an earlier run (files named as ImageFileName names
// them, .png or .raw): a folder that holds some is refused, unless `overwrite`, which
// removes them, and the temporary files a killed run left (StagedFile), before the run.
// The same folder named twice (--out and --raw alike) is one folder. The locks are
// released when the object goes. The folders it made (parents too) are known, so that a run
// that gave no image leaves none of them behind (RemoveMadeFolders).
class OutputFolders {
  public:
    OutputFolders() = default;
    ~OutputFolders();
    OutputFolders(const OutputFolders&) = delete;
    OutputFolders& operator=(const OutputFolders&) = delete;

    // Empty paths are skipped. False with `error` set to one line at the first folder that
    // cannot be used: none stays locked, no image is removed, and the folders it made are
    // removed again.
    bool Prepare(const std::vector<std::string>& folders, bool overwrite, std::string& error);

    // Removes the folders Prepare made, deepest first, those that are empty: a run that
    // wrote nothing leaves the tree as it found it, and never removes what it did not make
    // or what someone put in since.
    void RemoveMadeFolders();

    // Whether `name` is the name of an image file of a run ("000042.png", "1234567.raw").
    static bool IsImageName(const std::string& name);

  private:
    void release();
    // Makes `folder` and the folders above it that are missing, noting each it made.
    void makeFolders(const std::string& folder, std::error_code& code);

    // Open descriptors of the locked folders.
    std::vector<int> m_locks;
    // The folders Prepare made, each after the one above it.
    std::vector<std::string> m_made;
};
