#include "info_command.hpp"

#include "host_kernel.hpp"
#include "host_package.hpp"
#include "model_description.hpp"
#include "model_groups.hpp"
#include "package_trailer.hpp"
#include "tarn/dataflow/definitions.hpp"

namespace {

// The model, with its group, and its elements as one of its instances has them (the
// instance is made, described and destroyed); its tables' names when no instance can be
// made, which answers false.
bool printModel(HostKernel& kernel, const HostModelInfo& model, const std::string& group, std::ostream& out) {
    out << "  " << model.model << " " << model.version << " (group " << (group.empty() ? "unknown" : group)
        << ")\n";
    auto& definition = *static_cast<TARNComponentDefinition*>(const_cast<void*>(model.definition));
    const std::string instance = model.model;
    if (kernel.AddModel(definition) && kernel.CreateComponent(model.model.c_str(), instance.c_str(), false)) {
        if (TARNComponent* component = kernel.FindComponent(instance.c_str()))
            for (const std::string& line : DescribeElements(*component)) out << "    " << line << "\n";
        kernel.DestroyComponent(instance.c_str());
        return true;
    }
    out << "    (no instance could be made; the names in its tables:)\n";
    for (const std::string& name : model.inputs) out << "    input " << name << "\n";
    for (const std::string& name : model.outputs) out << "    output " << name << "\n";
    for (const std::string& name : model.properties) out << "    property " << name << "\n";
    return false;
}

}  // namespace

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
    // An accepting package answers the major version of the engine kernel its SDK was built
    // for; 0 is a refusal.
    out << "TARNPckInit: " << answer
        << (answer == 0 ? " (refused)"
                        : " (accepted: the package is built for engine kernel version " +
                              std::to_string(answer) + ")")
        << "\n";
    int status = 0;
    if (answer == 0) {
        err << "tarnhost: the package refused the kernel\n";
        status = 1;
    } else {
        const auto models = package.Models();
        const std::vector<std::string> groups = ModelGroups(package, models, path);
        out << "models: " << models.size() << "\n";
        const std::vector<std::string> mismatches = DeclarationMismatches(models, path);
        for (size_t i = 0; i < models.size(); ++i) {
            if (!mismatches[i].empty()) err << "tarnhost: warning: " << mismatches[i] << "\n";
            if (groups[i] != ComponentGroup)
                err << "tarnhost: warning: " << MisfiledModelWarning(models[i].model, groups[i]) << "\n";
            if (!printModel(kernel, models[i], groups[i], out)) {
                err << "tarnhost: no instance of model " << models[i].model << " could be made\n";
                status = 1;
            }
        }
    }

    const PackageTrailer trailer = ReadPackageTrailer(path);
    if (!trailer.found) {
        // A package needs no trailer to load (its author's build may not write one); one
        // that is there but broken is a fault.
        out << "trailer: " << (trailer.damaged ? "DAMAGED" : "none") << " (" << trailer.error << ")\n";
        if (trailer.damaged) status = 1;
    } else {
        out << "trailer: " << trailer.size << " bytes\n";
        for (const auto& [key, value] : trailer.entries) out << "  " << key << "=" << value << "\n";
        out << "digest: " << (trailer.digestMatches ? "matches" : "DOES NOT MATCH") << "\n";
        if (!trailer.digestMatches) status = 1;
    }
    return status;
}
