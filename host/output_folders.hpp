// The folders a decode run writes its images into, made ready before the run starts and
// held for it.
#pragma once

#include <string>
#include <vector>

// For each folder: made when missing (parents too), checked that a file can be created in
// it, locked for the run (a second run into the same folder is refused while this one
// holds it), and checked for images of an earlier run (files named as ImageFileName names
// them, .png or .raw): a folder that holds some is refused, unless `overwrite`, which
// removes them, and the temporary files a killed run left (StagedFile), before the run.
// The same folder named twice (--out and --raw alike) is one folder. The locks are
// released when the object goes.
class OutputFolders {
  public:
    OutputFolders() = default;
    ~OutputFolders();
    OutputFolders(const OutputFolders&) = delete;
    OutputFolders& operator=(const OutputFolders&) = delete;

    // Empty paths are skipped. False with `error` set to one line at the first folder that
    // cannot be used: none stays locked and nothing is removed (folders made stay made).
    bool Prepare(const std::vector<std::string>& folders, bool overwrite, std::string& error);

    // Whether `name` is the name of an image file of a run ("000042.png", "1234567.raw").
    static bool IsImageName(const std::string& name);

  private:
    void release();

    // Open descriptors of the locked folders.
    std::vector<int> m_locks;
};
