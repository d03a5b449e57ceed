#include "recording/record_paths.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace TARNPrivate {

std::string FileSafeName(std::string name) {
    std::replace(name.begin(), name.end(), '.', '_');
    std::replace(name.begin(), name.end(), ':', '_');
    return name;
}

std::string RecordFileBase(const std::string& folder, const RecordFileNaming& naming) {
    std::string base = folder + "/";
    const std::string startTime = naming.withStartTime ? "@" + naming.startTime : std::string();
    if (naming.alias.empty()) {
        std::string recorder = naming.recorderName;
        std::replace(recorder.begin(), recorder.end(), ':', '_');
        base += recorder + "_" + naming.engineId + startTime + "_" + naming.name;
    } else {
        base += naming.name + startTime;
    }
    return base;
}

char* HeapText(const std::string& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace TARNPrivate
