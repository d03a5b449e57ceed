#include "staged_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

constexpr const char* Part = ".part-";

// Temporary names of one process never repeat; the process id keeps them apart from those
// of another run writing beside it.
std::atomic<unsigned long> made{0};

}  // namespace

StagedFile::~StagedFile() {
    discard();
}

bool StagedFile::Open(const std::string& path, std::string& error) {
    discard();
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    int descriptor = -1;
    // O_EXCL: a name left by another process of the same id (a killed run) is never reused.
    do {
        m_temporary = folder + "." + name + Part + std::to_string(getpid()) + "-" + std::to_string(made++);
        descriptor = open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (descriptor < 0 && errno == EEXIST);
    if (descriptor < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        m_temporary.clear();
        return false;
    }
    m_file = fdopen(descriptor, "wb");
    if (m_file == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        close(descriptor);
        discard();
        return false;
    }
    m_path = path;
    return true;
}

bool StagedFile::Commit(std::string& error) {
    if (m_file == nullptr) {
        error = "cannot write " + m_path + ": the file is not open";
        return false;
    }
    const bool written = std::ferror(m_file) == 0;
    // The close writes what the stream still holds: it fails as a write does.
    errno = 0;
    const bool closed = std::fclose(m_file) == 0;
    const int closeError = errno;
    m_file = nullptr;
    if (written && closed && std::rename(m_temporary.c_str(), m_path.c_str()) == 0) {
        m_temporary.clear();
        return true;
    }
    const int code = !written ? 0 : !closed ? closeError : errno;
    error = "cannot write " + m_path + ": " + (code != 0 ? std::strerror(code) : "write error");
    discard();
    return false;
}

bool StagedFile::IsTemporaryName(const std::string& name) {
    return name.size() > 1 && name[0] == '.' && name.find(Part) != std::string::npos;
}

void StagedFile::discard() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_temporary.empty()) {
        std::remove(m_temporary.c_str());
        m_temporary.clear();
    }
}
