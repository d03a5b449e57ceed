// Reading the information trailer at the end of a package file.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The block of NUL-terminated texts that ends a package file, followed by its byte count
// as a little-endian 32-bit word: "PACKAGE_INFO", then KEY=VALUE entries, among them
// "SIG=", the Base64 of the SHA-512 digest of the file's bytes before the block.
struct PackageTrailer {
    // False when the file holds no well-formed trailer; `error` then says why.
    bool found = false;
    // Not found, yet the file ends with a block that starts with "PACKAGE_INFO": a trailer
    // that was written and then broken, not one that was never written.
    bool damaged = false;
    std::string error;
    // The count word: the size of the block of texts.
    uint32_t size = 0;
    // The entries after "PACKAGE_INFO", in file order.
    std::vector<std::pair<std::string, std::string>> entries;
    // True when SIG is the Base64 of the SHA-512 digest of the bytes before the block.
    bool digestMatches = false;

    // The value of the first entry with that key, or "" when there is none.
    std::string Value(const std::string& key) const;
};

PackageTrailer ReadPackageTrailer(const std::string& path);
