#include "output_folders.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "staged_file.hpp"

namespace {

bool EndsWith(const std::string& text, const char* end) {
    const size_t size = std::strlen(end);
    return text.size() >= size && text.compare(text.size() - size, size, end) == 0;
}

// A file can be created in `folder`: the only sure test, whoever runs it (root passes
// any permission check, not a read-only file system).
bool Writable(const std::string& folder, std::string& reason) {
    const std::string probe = folder + "/.tarnhost-probe-" + std::to_string(getpid());
    const int descriptor = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        reason = std::strerror(errno);
        return false;
    }
    close(descriptor);
    unlink(probe.c_str());
    return true;
}

}  // namespace

OutputFolders::~OutputFolders() {
    release();
}

bool OutputFolders::IsImageName(const std::string& name) {
    if (!EndsWith(name, ".png") && !EndsWith(name, ".raw")) return false;
    const std::string stem = name.substr(0, name.size() - 4);
    return stem.size() >= 6 &&
           std::all_of(stem.begin(), stem.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool OutputFolders::Prepare(const std::vector<std::string>& folders, bool overwrite, std::string& error) {
    release();
    m_made.clear();
    // A folder refused leaves none locked, and none of those made here.
    auto refuse = [this] {
        release();
        RemoveMadeFolders();
    };
    std::vector<std::pair<dev_t, ino_t>> seen;
    std::vector<std::filesystem::path> removals;
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        std::error_code code;
        makeFolders(folder, code);
        if (code || !std::filesystem::is_directory(folder, code)) {
            error = "cannot create folder " + folder + ": " +
                    (code ? code.message() : "a file of that name is in the way");
            refuse();
            return false;
        }
        const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat status {};
        if (descriptor < 0 || fstat(descriptor, &status) != 0) {
            error = "cannot use folder " + folder + ": " + std::strerror(errno);
            if (descriptor >= 0) close(descriptor);
            refuse();
            return false;
        }
        if (std::find(seen.begin(), seen.end(), std::pair{status.st_dev, status.st_ino}) != seen.end()) {
            close(descriptor);
            continue;
        }
        seen.emplace_back(status.st_dev, status.st_ino);
        m_locks.push_back(descriptor);
        // Held until the run ends; the lock goes with the process, however it ends.
        if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            error = errno == EWOULDBLOCK ? "another run is writing into " + folder
                                         : "cannot lock folder " + folder + ": " + std::strerror(errno);
            refuse();
            return false;
        }
        std::string reason;
        if (!Writable(folder, reason)) {
            error = "cannot write into folder " + folder + ": " + reason;
            refuse();
            return false;
        }
        std::vector<std::filesystem::path> images, leftovers;
        for (const auto& entry : std::filesystem::directory_iterator(folder, code)) {
            const std::string name = entry.path().filename().string();
            if (IsImageName(name)) images.push_back(entry.path());
            if (StagedFile::IsTemporaryName(name)) leftovers.push_back(entry.path());
        }
        if (!images.empty() && !overwrite) {
            std::sort(images.begin(), images.end());
            error = "folder " + folder + " already holds " + std::to_string(images.size()) +
                    (images.size() == 1 ? " image" : " images") + " (" + images.front().filename().string() +
                    (images.size() == 1 ? "" : ", ...") +
                    "): choose another folder, or add --overwrite to replace them";
            refuse();
            return false;
        }
        if (overwrite) {
            removals.insert(removals.end(), images.begin(), images.end());
            removals.insert(removals.end(), leftovers.begin(), leftovers.end());
        }
    }
    // Only once every folder can be used: a refused one leaves the others' images alone.
    for (const std::filesystem::path& file : removals) {
        std::error_code code;
        if (!std::filesystem::remove(file, code) && code) {
            error = "cannot remove " + file.string() + ": " + code.message();
            refuse();
            return false;
        }
    }
    return true;
}

void OutputFolders::makeFolders(const std::string& folder, std::error_code& code) {
    // The folders missing on the way down, from the top: each is made and noted in turn.
    std::vector<std::filesystem::path> missing;
    for (std::filesystem::path path = std::filesystem::path(folder).lexically_normal();
         !path.empty() && !std::filesystem::exists(std::filesystem::symlink_status(path, code));
         path = path.parent_path()) {
        if (path.has_filename()) missing.push_back(path);
        if (path == path.parent_path()) break;
    }
    code.clear();
    for (auto path = missing.rbegin(); path != missing.rend(); ++path) {
        if (std::filesystem::create_directory(*path, code))
            m_made.push_back(path->string());
        else if (code)
            return;
        // Else another program made it meanwhile: it is not this run's to remove.
    }
}

void OutputFolders::RemoveMadeFolders() {
    for (auto folder = m_made.rbegin(); folder != m_made.rend(); ++folder) {
        std::error_code code;
        // Only an empty folder: remove() leaves one with anything in it, and says so in `code`.
        if (std::filesystem::is_directory(std::filesystem::symlink_status(*folder, code)))
            std::filesystem::remove(*folder, code);
    }
    m_made.clear();
}

void OutputFolders::release() {
    for (const int descriptor : m_locks) close(descriptor);
    m_locks.clear();
}
