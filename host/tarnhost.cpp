// tarnhost: runs the packages without the engine.
#include <iostream>
#include <string>
#include <vector>

#include "decode_command.hpp"
#include "decode_options.hpp"
#include "descriptor_output.hpp"
#include "info_command.hpp"
#include "interrupt_signals.hpp"

namespace {

constexpr const char* Usage =
    "usage: tarnhost info PACKAGE\n"
    "       tarnhost decode CAPTURE [--package PCK] [--set PROPERTY=VALUE]... [--out DIR] [--raw DIR]\n"
    "                       [--overwrite] [--limit N] [--verbose]\n"
    "       tarnhost help | --help | COMMAND --help\n"
    "  info    load the package and print what it defines and its information trailer\n"
    "  decode  decode a CSI-2 capture file with the package's decoder: PNG files to --out,\n"
    "          exact image bytes to --raw; --set sets a decoder property by name\n"
    "Exit status: 0 on success, 1 on an error (one line says which); a decode stopped by\n"
    "SIGINT or SIGTERM exits with 130 or 143.\n";

constexpr const char* InfoHelp =
    "usage: tarnhost info PACKAGE\n"
    "Loads the package as the engine does and prints its answer to the engine's handshake, the\n"
    "component models it defines, each with the group it is filed under (a warning names a\n"
    "model an engine would not find), and its information trailer with a check of its digest.\n"
    "Exit status: 0 when the package loads, an instance of each of its models can be made and\n"
    "its trailer's digest matches (or it has no trailer), else 1.\n";

bool AsksForHelp(const std::string& argument) {
    return argument == "--help" || argument == "-h" || argument == "help";
}

// Asked for: on the standard output, status 0. Otherwise a mistake: on the standard error,
// after the line that says what was wrong, status 1.
int Help(const char* text, bool asked) {
    (asked ? std::cout : std::cerr) << text << std::flush;
    return asked && std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        std::cerr << "tarnhost: which command?\n";
        return Help(Usage, false);
    }
    const std::string& command = arguments[0];
    if (AsksForHelp(command)) return Help(Usage, true);
    if (command == "info") {
        if (arguments.size() == 2 && (arguments[1] == "--help" || arguments[1] == "-h"))
            return Help(InfoHelp, true);
        if (arguments.size() != 2) {
            std::cerr << "tarnhost: info takes one package\n";
            return Help(InfoHelp, false);
        }
        const int status = RunInfoCommand(arguments[1], std::cout, std::cerr);
        // A standard output that took nothing (a full disk) leaves the user with no answer.
        if (!std::cout.flush()) {
            std::cerr << "tarnhost: cannot write the standard output\n";
            return 1;
        }
        return status;
    }
    if (command == "decode") {
        // Written straight to the descriptors: a decode run must see at once that its output
        // was closed, and must not hang on one nobody reads once it is asked to stop.
        // The standard output is data, often piped into another program that may stall; the
        // standard error is the user's, and the line that says how the run ended waits for it.
        const auto stopping = [] { return InterruptSignals::Received() != 0; };
        DescriptorOutput outBuffer(1, stopping, InterruptSignals::WakeDescriptor(), false);
        DescriptorOutput errBuffer(2, stopping, InterruptSignals::WakeDescriptor(), true);
        std::cout.flush();
        std::cerr.flush();
        std::ostream out(&outBuffer);
        std::ostream err(&errBuffer);
        return RunDecodeCommand(std::vector<std::string>(arguments.begin() + 1, arguments.end()), out, err);
    }
    std::cerr << "tarnhost: unknown command \"" << command << "\"\n";
    return Help(Usage, false);
}
