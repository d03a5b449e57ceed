// "tarnhost info PACKAGE": what a package says about itself.
#pragma once

#include <ostream>
#include <string>

// Loads the package through a HostKernel and prints TARNPckInit's answer (what it means
// beside it), the component models the package defines, each with the group of the
// package's registry it is filed under and its inputs, outputs and properties (types,
// defaults and choices, read from an instance made for the purpose), and its information
// trailer with the digest check; the reports the package makes are printed as they come,
// errors on `err`. A model filed under a group other than the one an engine asks for gets
// a warning on `err`. Answers the command's exit status: 0 when the package loads, accepts
// the kernel, makes an instance of each of its models and either has no trailer or ends
// with one whose digest checks, else 1.
int RunInfoCommand(const std::string& path, std::ostream& out, std::ostream& err);
