#include "decode_options.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

// The frames --limit reads at most: a whole number above 0. False with `error` set.
bool parseLimit(const std::string& text, long& limit, std::string& error) {
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    char* end = nullptr;
    errno = 0;
    limit = digits ? std::strtol(text.c_str(), &end, 10) : 0;
    if (digits && errno == ERANGE) {
        error = "--limit " + text + " is too large: at most " + std::to_string(LONG_MAX) + " frames";
        return false;
    }
    if (!digits || limit <= 0) {
        error = "--limit takes a number of frames above 0, not \"" + text + "\"";
        return false;
    }
    return true;
}

}  // namespace

const char* const DecodeHelp =
    "usage: tarnhost decode CAPTURE [--package PCK] [--set PROPERTY=VALUE]... [--out DIR] [--raw DIR]\n"
    "                       [--overwrite] [--limit N] [--verbose]\n"
    "Decodes a CSI-2 capture file with the decoder of a package, one image per frame.\n"
    "The decoder skips the first 10 frames of a run unless told otherwise: a capture of 10 frames\n"
    "or fewer then gives no image. --set skip_first_frames=false keeps every frame.\n"
    "  --package PCK         the package (default: pixtract_cpu.pck of the build tarnhost belongs to)\n"
    "  --set PROPERTY=VALUE  sets a decoder property, e.g. --set skip_first_frames=false\n"
    "  --out DIR             writes each image as a PNG file (000000.png, ...)\n"
    "  --raw DIR             writes each image's exact rows (000000.raw, ...) and prints a line per image\n"
    "  --overwrite           replaces the images of an earlier run in DIR (else such a folder is refused)\n"
    "  --limit N             reads at most N frames\n"
    "  --verbose             also prints the components' reports of their life (\"Component X is dead.\")\n"
    "A folder the run makes is removed again when no image came out.\n"
    "Exit status: 0 when the capture was decoded into at least one image; 1 on any error (one line\n"
    "says which); 130 or 143 when SIGINT or SIGTERM stopped the run: the images written until then\n"
    "are whole, and no cut file is left under an image's name. A second signal ends the run at once.\n";

bool ParseDecodeOptions(const std::vector<std::string>& arguments, DecodeOptions& options,
                        std::string& error) {
    options = DecodeOptions{};
    bool haveCapture = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options = DecodeOptions{};
            options.help = true;
            return true;
        }
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
        if (name == "--overwrite" || name == "--verbose") {
            if (equals != std::string::npos) {
                error = name + " takes no value";
                return false;
            }
            (name == "--overwrite" ? options.overwrite : options.verbose) = true;
            continue;
        }
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
            if (!parseLimit(value, options.limit, error)) return false;
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
