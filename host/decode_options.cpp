#include "decode_options.hpp"

#include <cerrno>
#include <cstdlib>

namespace {

bool parseLimit(const std::string& text, long& limit) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    limit = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0 && limit > 0;
}

}  // namespace

bool ParseDecodeOptions(const std::vector<std::string>& arguments, DecodeOptions& options,
                        std::string& error) {
    options = DecodeOptions{};
    bool haveCapture = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
            if (haveCapture) {
                error = "unexpected argument \"" + argument + "\": decode takes one capture";
                return false;
            }
            options.capture = argument;
            haveCapture = true;
            continue;
        }
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        std::string value;
        if (name != "--package" && name != "--set" && name != "--out" && name != "--raw" &&
            name != "--limit") {
            error = "unknown option \"" + name + "\"";
            return false;
        }
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            error = name + " needs a value";
            return false;
        }
        if (value.empty()) {
            error = name + " needs a value";
            return false;
        }
        if (name == "--package") {
            options.package = value;
        } else if (name == "--out") {
            options.pngFolder = value;
        } else if (name == "--raw") {
            options.rawFolder = value;
        } else if (name == "--limit") {
            if (!parseLimit(value, options.limit)) {
                error = "--limit takes a number of frames above 0, not \"" + value + "\"";
                return false;
            }
        } else {
            const size_t split = value.find('=');
            if (split == std::string::npos || split == 0) {
                error = "--set takes PROPERTY=VALUE, not \"" + value + "\"";
                return false;
            }
            options.settings.emplace_back(value.substr(0, split), value.substr(split + 1));
        }
    }
    if (!haveCapture) {
        error = "decode needs a capture file";
        return false;
    }
    return true;
}
