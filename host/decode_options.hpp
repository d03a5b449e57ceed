// The command line of "tarnhost decode".
#pragma once

#include <string>
#include <utility>
#include <vector>

// tarnhost decode CAPTURE [--package PCK] [--set PROPERTY=VALUE]... [--out DIR] [--raw DIR]
//                         [--overwrite] [--limit N] [--verbose]
// tarnhost decode --help
struct DecodeOptions {
    std::string capture;
    // Empty: the CPU package of the build tarnhost belongs to.
    std::string package;
    // The decoder's properties by name, with their texts, in the order given.
    std::vector<std::pair<std::string, std::string>> settings;
    // Empty: no PNG files, no raw files.
    std::string pngFolder;
    std::string rawFolder;
    // Images of an earlier run in the folders are replaced (else the folders are refused).
    bool overwrite = false;
    // Frames read at most; 0 for all.
    long limit = 0;
    // The components' reports of their life ("Component X is dead.") are printed too.
    bool verbose = false;
    // --help (or -h): the usage is asked for, nothing else is done.
    bool help = false;
};

inline constexpr const char* DecodeUsage =
    "usage: tarnhost decode CAPTURE [--package PCK] [--set PROPERTY=VALUE]... [--out DIR] [--raw DIR] "
    "[--overwrite] [--limit N] [--verbose]";

// What --help prints: the usage, each option, the exit statuses.
extern const char* const DecodeHelp;

// The arguments after "decode"; options take their value as the next argument or after
// "=" ("--out DIR", "--out=DIR"). --help or -h where an option may stand asks for the usage
// alone (true, with `help` the only thing set). False with `error` set to one line (without the program's
// name) for an unknown option, a missing value, a value given to --overwrite or --verbose,
// a second capture, no capture, a --set without "PROPERTY=", or a --limit that is no number
// of frames above 0 or too large a one.
bool ParseDecodeOptions(const std::vector<std::string>& arguments, DecodeOptions& options,
                        std::string& error);
