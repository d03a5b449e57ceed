#include "model_groups.hpp"

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
