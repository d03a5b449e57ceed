#pragma once
// Bytes that end right before an inaccessible page, so that reading one byte past them
// crashes the test instead of landing in heap slack unnoticed (vector code and generated
// code are not always seen by AddressSanitizer).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

class GuardedBuffer {
  public:
    explicit GuardedBuffer(const std::vector<uint8_t>& bytes) : GuardedBuffer(bytes.data(), bytes.size()) {}
    GuardedBuffer(const uint8_t* bytes, size_t size) : size_(size) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t dataPages = (size + page - 1) / page;
        mappedBytes_ = (dataPages + 1) * page;
        void* mapped = mmap(nullptr, mappedBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) throw std::runtime_error("GuardedBuffer: mmap failed");
        mapped_ = static_cast<uint8_t*>(mapped);
        if (mprotect(mapped_ + dataPages * page, page, PROT_NONE) != 0)
            throw std::runtime_error("GuardedBuffer: mprotect failed");
        data_ = mapped_ + dataPages * page - size;
        if (size != 0) std::memcpy(data_, bytes, size);
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    ~GuardedBuffer() { munmap(mapped_, mappedBytes_); }

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    uint8_t* mapped_ = nullptr;
    size_t mappedBytes_ = 0;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};
