#include "package_trailer.hpp"

#include "sha512.hpp"
#include "tarn/runtime/base64.hpp"
#include "whole_file.hpp"

std::string PackageTrailer::Value(const std::string& key) const {
    for (const auto& [entryKey, value] : entries)
        if (entryKey == key) return value;
    return "";
}

PackageTrailer ReadPackageTrailer(const std::string& path) {
    PackageTrailer trailer;
    const std::optional<std::string> file = ReadWholeFile(path);
    if (!file) {
        trailer.error = "cannot read " + path;
        return trailer;
    }
    const std::string& bytes = *file;
    if (bytes.size() < 4) {
        trailer.error = "the file is too short to hold a trailer";
        return trailer;
    }
    const size_t countAt = bytes.size() - 4;
    for (int b = 3; b >= 0; --b)
        trailer.size = (trailer.size << 8) | static_cast<uint8_t>(bytes[countAt + b]);
    // The block must fit before the count word and end with its last text's NUL.
    if (trailer.size == 0 || trailer.size > countAt || bytes[countAt - 1] != '\0') {
        trailer.error = "no information trailer at the end of the file";
        return trailer;
    }
    const size_t start = countAt - trailer.size;
    std::vector<std::string> texts;
    for (size_t at = start; at < countAt;) {
        const size_t end = bytes.find('\0', at);
        texts.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    if (texts.front() != "PACKAGE_INFO") {
        trailer.error = "the trailer does not start with PACKAGE_INFO";
        return trailer;
    }
    for (size_t i = 1; i < texts.size(); ++i) {
        const size_t equals = texts[i].find('=');
        if (equals == std::string::npos) {
            trailer.damaged = true;
            trailer.error = "malformed trailer entry \"" + texts[i] + "\"";
            return trailer;
        }
        trailer.entries.emplace_back(texts[i].substr(0, equals), texts[i].substr(equals + 1));
    }
    trailer.found = true;

    const auto digest = Sha512(bytes.data(), start);
    TARNStackedString<40> raw, encoded;
    raw.init(static_cast<int>(digest.size()), reinterpret_cast<const char*>(digest.data()));
    TARNBase64::Encode(raw, encoded);
    trailer.digestMatches = trailer.Value("SIG") == encoded.c_str();
    return trailer;
}
