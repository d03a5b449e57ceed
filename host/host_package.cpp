#include "host_package.hpp"

#include "elf_shared_object.hpp"
#include "host_kernel.hpp"

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

std::vector<HostModelInfo> HostPackage::Models() {
    std::vector<HostModelInfo> models;
    const int count = CountDefinitions();
    for (void* definition : Definitions(count)) {
        // A component definition record starts with the model name and version texts.
        const auto* texts = static_cast<const char* const*>(definition);
        models.push_back({definition, texts && texts[0] ? texts[0] : "", texts && texts[1] ? texts[1] : ""});
    }
    return models;
}
