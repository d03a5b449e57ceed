// How a recording's stream name, folders and file names are composed from the method's
// and the recorder's settings.
#pragma once

#include <string>

namespace TARNPrivate {

// Every "." and then every ":" become "_": a stream name that can be a file name.
std::string FileSafeName(std::string name);

// What goes into a recording's file base.
struct RecordFileNaming {
    // The recorder's name (its ":" become "_"), the engine's identifier.
    std::string recorderName;
    std::string engineId;
    // The recorder's "record_start_time", when it goes into the names.
    bool withStartTime = false;
    std::string startTime;
    // The alias (may be empty) and the file-safe stream name.
    std::string alias;
    std::string name;
};

// The path without extension of a recording's files inside `folder`:
//   no alias: folder/<recorder>_<engine id>[@<start time>]_<name>
//   alias:    folder/<name>[@<start time>]
std::string RecordFileBase(const std::string& folder, const RecordFileNaming& naming);

// A heap copy (std::malloc) of `text`, owned by the caller and freed with std::free.
char* HeapText(const std::string& text);

}  // namespace TARNPrivate
