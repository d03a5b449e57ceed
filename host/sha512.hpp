// SHA-512, for the integrity digest in a package's information trailer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The 64-byte SHA-512 digest of `size` bytes.
std::array<uint8_t, 64> Sha512(const void* data, size_t size);
