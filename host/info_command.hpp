// "tarnhost info PACKAGE": what a package says about itself.
#pragma once

#include <ostream>
#include <string>

// Loads the package through a HostKernel and prints TARNPckInit's answer, the component
// models the package defines, each with its inputs, outputs and properties (types,
// defaults and choices, read from an instance made for the purpose), and its information
// trailer with the digest check; the reports the package makes are printed as they come,
// errors on `err`. Answers the command's exit status: 0 when the package loads, accepts
// the kernel and either has no trailer or ends with one whose digest checks, else 1.
int RunInfoCommand(const std::string& path, std::ostream& out, std::ostream& err);
