#include "model_groups.hpp"

#include <algorithm>
#include <cctype>
#include <set>

#include "whole_file.hpp"

namespace {

// The group names of the declaration markers in `bytes`, each once, in file order.
std::vector<std::string> markerGroups(const std::string& bytes) {
    static const std::string start = "$!TARN_MODULE!";
    std::vector<std::string> groups;
    std::set<std::string> seen;
    for (size_t at = bytes.find(start); at != std::string::npos; at = bytes.find(start, at + 1)) {
        // A group is a C++ class name: a short run of letters, digits and '_' up to '!'.
        size_t end = at + start.size();
        while (end < bytes.size() && end - at < 256 &&
               (std::isalnum(static_cast<unsigned char>(bytes[end])) || bytes[end] == '_'))
            ++end;
        if (end >= bytes.size() || bytes[end] != '!' || end == at + start.size()) continue;
        std::string group = bytes.substr(at + start.size(), end - at - start.size());
        if (seen.insert(group).second) groups.push_back(std::move(group));
    }
    return groups;
}

// One declaration marker: the model and version it gives.
struct Marker {
    std::string model;
    std::string version;
};

// The text from `at` up to `end` (not included), when it is there within a short run of
// printable bytes; false otherwise.
bool textUpTo(const std::string& bytes, size_t at, const std::string& end, std::string& text, size_t& next) {
    const size_t found = bytes.find(end, at);
    if (found == std::string::npos || found - at > 256) return false;
    for (size_t i = at; i < found; ++i)
        if (!std::isprint(static_cast<unsigned char>(bytes[i]))) return false;
    text = bytes.substr(at, found - at);
    next = found + end.size();
    return true;
}

// Every declaration marker in `bytes`, in file order.
std::vector<Marker> markers(const std::string& bytes) {
    static const std::string start = "$!TARN_MODULE!";
    std::vector<Marker> found;
    for (size_t at = bytes.find(start); at != std::string::npos; at = bytes.find(start, at + 1)) {
        std::string group;
        Marker marker;
        size_t next = at + start.size();
        if (textUpTo(bytes, next, "!", group, next) && textUpTo(bytes, next, "!$!", marker.model, next) &&
            textUpTo(bytes, next, "!$", marker.version, next))
            found.push_back(std::move(marker));
    }
    return found;
}

// Marks with `group` every model the package hands out for that group and has no group yet.
void fileUnder(HostPackage& package, const std::vector<HostModelInfo>& models, const std::string& group,
               std::vector<std::string>& groups) {
    for (const void* definition : package.Definitions(package.CountDefinitions(group.c_str()), group.c_str()))
        for (size_t i = 0; i < models.size(); ++i)
            if (models[i].definition == definition && groups[i].empty()) groups[i] = group;
}

}  // namespace

std::vector<std::string> ModelGroups(HostPackage& package, const std::vector<HostModelInfo>& models,
                                     const std::string& path) {
    std::vector<std::string> groups(models.size());
    fileUnder(package, models, ComponentGroup, groups);
    bool allFound = true;
    for (const std::string& group : groups) allFound = allFound && !group.empty();
    if (allFound) return groups;
    for (const std::string& group : markerGroups(ReadWholeFile(path).value_or("")))
        if (group != ComponentGroup) fileUnder(package, models, group, groups);
    return groups;
}

std::string MisfiledModelWarning(const std::string& model, const std::string& group) {
    const std::string where =
        group.empty() ? "is not filed under the group " : "is filed under the group " + group + ", not ";
    return "model " + model + " " + where + ComponentGroup + ": an engine that asks for the " +
           ComponentGroup +
           " models does not find it (the second argument of TARN_MODULE_DECLARATION is the group, " +
           ComponentGroup + " for a component model)";
}

std::vector<std::string> DeclarationMismatches(const std::vector<HostModelInfo>& models,
                                               const std::string& path) {
    const std::vector<Marker> declared = markers(ReadWholeFile(path).value_or(""));
    // The markers that name no record: what a record without a marker of its own was
    // likely declared as.
    std::string others;
    for (const Marker& marker : declared)
        if (std::none_of(models.begin(), models.end(),
                         [&](const HostModelInfo& model) { return model.model == marker.model; }))
            others += (others.empty() ? "" : ", ") + marker.model + " " + marker.version;
    const std::string rule =
        ": TARN_MODULE_DECLARATION must give the record's name and version, by which outside tools that "
        "read package files find the model";
    std::vector<std::string> mismatches;
    for (const HostModelInfo& model : models) {
        const auto marker = std::find_if(declared.begin(), declared.end(),
                                         [&](const Marker& m) { return m.model == model.model; });
        const std::string named = "model " + model.model + " " + model.version;
        if (marker == declared.end())
            mismatches.push_back(named + " is not declared under its record's name" +
                                 (others.empty() ? std::string()
                                                 : " (TARN_MODULE_DECLARATION gives " + others +
                                                       ", which no record has)") +
                                 rule);
        else if (marker->version != model.version)
            mismatches.push_back(named + " is declared as version " + marker->version + rule);
        else
            mismatches.emplace_back();
    }
    return mismatches;
}
