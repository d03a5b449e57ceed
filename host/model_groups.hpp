// The group of the package's registry that each component model is filed under.
#pragma once

#include <string>
#include <vector>

#include "host_package.hpp"

// The group an engine asks a package for to learn its component models, and the one a
// model's declaration must name (TARN_MODULE_DECLARATION's second argument).
inline constexpr char ComponentGroup[] = "TARNComponent";

// The group each of `models` (as package.Models() lists them) is filed under, in their
// order, as the package answers when asked by group: ComponentGroup for each it hands out
// for that group. Only for the others is the package file at `path` read, for the groups
// its declaration markers name ("$!TARN_MODULE!<group>!<model>!$!<version>!$"), each of
// which the package is asked for in turn. Empty for a model no group is found for.
std::vector<std::string> ModelGroups(HostPackage& package, const std::vector<HostModelInfo>& models,
                                     const std::string& path);

// What is wrong with a component model filed under `group` (empty: unknown) rather than
// ComponentGroup, in one sentence.
std::string MisfiledModelWarning(const std::string& model, const std::string& group);

// What is wrong with the declaration of each of `models` (as package.Models() lists them,
// in their order) in the package file at `path`, in one sentence, when no declaration
// marker gives its record's name and version ("$!TARN_MODULE!<group>!<model>!$!<version>!$",
// which TARN_MODULE_DECLARATION leaves from its model and version arguments, and by which
// outside tools that read package files find the models); empty for a model declared as
// its record says.
std::vector<std::string> DeclarationMismatches(const std::vector<HostModelInfo>& models,
                                               const std::string& path);
