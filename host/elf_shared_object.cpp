#include "elf_shared_object.hpp"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

#if defined(__x86_64__)
constexpr int ThisMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr int ThisMachine = EM_AARCH64;
#else
#error "the host knows the ELF machine number of x86-64 and AArch64 only"
#endif

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr int ThisByteOrder = ELFDATA2LSB;
#else
constexpr int ThisByteOrder = ELFDATA2MSB;
#endif

// True when [offset, offset + size) lies inside a file of `fileSize` bytes (no wrap-round).
bool insideFile(uint64_t offset, uint64_t size, uint64_t fileSize) {
    return offset <= fileSize && size <= fileSize - offset;
}

// The file descriptor, closed on every way out. Opened with O_NONBLOCK: a FIFO without a
// writer would wait in the open, before anything could tell it is no package.
class OpenFile {
  public:
    explicit OpenFile(const std::string& path)
        : m_fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
    ~OpenFile() {
        if (m_fd >= 0) close(m_fd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const { return m_fd; }

  private:
    int m_fd;
};

// Reads up to `size` bytes at `offset`; how many it read.
uint64_t readAt(int fd, void* buffer, uint64_t size, uint64_t offset) {
    uint64_t done = 0;
    while (done < size) {
        const ssize_t n =
            pread(fd, static_cast<char*>(buffer) + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<uint64_t>(n);
    }
    return done;
}

}  // namespace

bool CheckSharedObject(const std::string& path, std::string& reason) {
    const OpenFile file(path);
    struct stat status {};
    if (file.fd() < 0 || fstat(file.fd(), &status) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        reason = "not a regular file";
        return false;
    }
    const auto fileSize = static_cast<uint64_t>(status.st_size);
    if (fileSize == 0) {
        reason = "the file is empty";
        return false;
    }

    Elf64_Ehdr header{};
    const uint64_t headerBytes = readAt(file.fd(), &header, sizeof header, 0);
    if (headerBytes < SELFMAG || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) {
        reason = "not an ELF file";
        return false;
    }
    if (headerBytes < sizeof header) {
        reason = "truncated: the file ends inside the ELF header";
        return false;
    }
    if (header.e_ident[EI_CLASS] != ELFCLASS64) {
        reason = "not a 64-bit ELF file";
        return false;
    }
    if (header.e_ident[EI_DATA] != ThisByteOrder) {
        reason = "an ELF file of the other byte order";
        return false;
    }
    if (header.e_machine != ThisMachine) {
        reason = "an ELF file for another processor (machine " + std::to_string(header.e_machine) + ")";
        return false;
    }
    if (header.e_type != ET_DYN) {
        reason = "not a shared object (ELF type " + std::to_string(header.e_type) + ")";
        return false;
    }
    if (header.e_phnum == 0 || header.e_phnum == PN_XNUM || header.e_phentsize != sizeof(Elf64_Phdr)) {
        reason = "malformed ELF file: unexpected program header table";
        return false;
    }
    const uint64_t tableSize = uint64_t{header.e_phnum} * sizeof(Elf64_Phdr);
    if (!insideFile(header.e_phoff, tableSize, fileSize)) {
        reason =
            "truncated: the program headers end beyond the file's " + std::to_string(fileSize) + " bytes";
        return false;
    }

    std::vector<Elf64_Phdr> segments(header.e_phnum);
    if (readAt(file.fd(), segments.data(), tableSize, header.e_phoff) != tableSize) {
        reason = "cannot read the program headers";
        return false;
    }
    for (size_t i = 0; i < segments.size(); ++i) {
        const Elf64_Phdr& segment = segments[i];
        if (segment.p_type != PT_LOAD || insideFile(segment.p_offset, segment.p_filesz, fileSize)) continue;
        reason = "truncated: loadable segment " + std::to_string(i) + " ends at byte " +
                 std::to_string(segment.p_offset + segment.p_filesz) + ", beyond the file's " +
                 std::to_string(fileSize) + " bytes";
        return false;
    }
    return true;
}
