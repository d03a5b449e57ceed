#include "info_command.hpp"

#include "host_kernel.hpp"
#include "host_package.hpp"
#include "package_trailer.hpp"

int RunInfoCommand(const std::string& path, std::ostream& out, std::ostream& err) {
    // The kernel outlives the package: a loaded package keeps a pointer to it until it is
    // unloaded, which happens first, at the end of this scope (reverse order).
    HostKernel kernel;
    // Reports are shown as they come, among the lines they explain, and not kept.
    kernel.EchoReports(&out, &err);
    HostPackage package;
    std::string error;
    if (!package.Open(path, error)) {
        err << "tarnhost: " << error << "\n";
        return 1;
    }
    out << "package: " << path << "\n";
    const int answer = package.Init(kernel);
    out << "TARNPckInit: " << answer << "\n";
    int status = 0;
    if (answer == 0) {
        err << "tarnhost: the package refused the kernel\n";
        status = 1;
    } else {
        const auto models = package.Models();
        out << "models: " << models.size() << "\n";
        for (const HostModelInfo& model : models) {
            out << "  " << model.model << " " << model.version << "\n";
            for (const std::string& name : model.inputs) out << "    input " << name << "\n";
            for (const std::string& name : model.outputs) out << "    output " << name << "\n";
            for (const std::string& name : model.properties) out << "    property " << name << "\n";
        }
    }

    const PackageTrailer trailer = ReadPackageTrailer(path);
    if (!trailer.found) {
        out << "trailer: none (" << trailer.error << ")\n";
        status = 1;
    } else {
        out << "trailer: " << trailer.size << " bytes\n";
        for (const auto& [key, value] : trailer.entries) out << "  " << key << "=" << value << "\n";
        out << "digest: " << (trailer.digestMatches ? "matches" : "DOES NOT MATCH") << "\n";
        if (!trailer.digestMatches) status = 1;
    }
    return status;
}
