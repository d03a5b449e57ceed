#include "host_package.hpp"

#include "elf_shared_object.hpp"
#include "host_kernel.hpp"
#include "tarn/dataflow/definitions.hpp"

bool HostPackage::Open(const std::string& path, std::string& error) {
    m_init = nullptr;
    m_definitions = nullptr;
    // A name without a slash would send dlopen searching the library path: the package meant
    // is the file of that name in the working folder.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    std::string reason;
    if (!CheckSharedObject(file, reason)) {
        error = "cannot load " + path + ": " + reason;
        return false;
    }
    if (!m_library.Open(file.c_str())) {
        const char* reason = TARNDynamicLoader::GetErrorMessage();
        error = "cannot load " + path + (reason ? std::string(": ") + reason : std::string());
        return false;
    }
    auto init = reinterpret_cast<int (*)(void*, int)>(m_library.LoadSymbol("TARNPckInit"));
    auto definitions =
        reinterpret_cast<int (*)(const char*, void**, int)>(m_library.LoadSymbol("TARNGetModulesDefStruct"));
    if (!init || !definitions) {
        error = path + " is not a package: it lacks " + (init ? "TARNGetModulesDefStruct" : "TARNPckInit");
        m_library.Close();
        return false;
    }
    m_init = init;
    m_definitions = definitions;
    return true;
}

int HostPackage::Init(HostKernel& kernel, int magic) {
    // The package keeps the kernel as the engine's interface type.
    return m_init(static_cast<TARNKernel*>(&kernel), magic);
}

int HostPackage::CountDefinitions(const char* group) {
    return m_definitions(group, nullptr, 0);
}

std::vector<void*> HostPackage::Definitions(int max, const char* group) {
    std::vector<void*> table(max > 0 ? max : 0, nullptr);
    const int count = m_definitions(group, table.data(), max);
    table.resize(count > 0 ? count : 0);
    return table;
}

namespace {

// The names of a definition table: `count` records, or up to its all-zero record while the
// count is still NotCounted (as the packages' static tables leave it).
template <class Record>
std::vector<std::string> TableNames(unsigned int count, const Record* table) {
    std::vector<std::string> names;
    if (table == nullptr) return names;
    for (unsigned int i = 0; count == TARNComponentDefinition::NotCounted ? !table[i].IsEnd() : i < count; ++i)
        names.push_back(table[i].name != nullptr ? table[i].name : "");
    return names;
}

}  // namespace

std::vector<HostModelInfo> HostPackage::Models() {
    std::vector<HostModelInfo> models;
    const int count = CountDefinitions();
    for (void* definition : Definitions(count)) {
        // What a package hands out for the "TARNComponent" group is a component definition
        // record: model name and version texts, then the element tables.
        const auto* record = static_cast<const TARNComponentDefinition*>(definition);
        HostModelInfo model{definition, "", "", {}, {}, {}};
        if (record != nullptr) {
            model.model = record->name != nullptr ? record->name : "";
            model.version = record->version != nullptr ? record->version : "";
            model.inputs = TableNames(record->nbInputs, record->inputs);
            model.outputs = TableNames(record->nbOutputs, record->outputs);
            model.properties = TableNames(record->nbProperties, record->properties);
        }
        models.push_back(std::move(model));
    }
    return models;
}
