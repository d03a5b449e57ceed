#include "engine/module_base.hpp"

#include <cstdlib>

#include "runtime/c_library.hpp"

namespace {
char* CopyOrNull(const char* text) {
    return text ? TARN::Strdup(text) : nullptr;
}
}  // namespace

bool TARNPrivate::NamesElementOf(const char* name, int length, const char* moduleName) {
    const int moduleLength = TARN::Strlen(moduleName);
    return length > moduleLength && name[moduleLength] == '.' &&
           (moduleLength == 0 || TARN::Strncmp(name, moduleName, moduleLength) == 0);
}

TARNModuleBase::TARNModuleBase(const char* name) : name(CopyOrNull(name)) {}

TARNModuleBase::~TARNModuleBase() {
    std::free(name);
}

void TARNModuleBase::Rename(const char* oldName, const char* newName) {
    if (!oldName) return;
    if (name && TARN::Strcmp(name, oldName) == 0) {
        std::free(name);
        name = CopyOrNull(newName);
        return;
    }
    if (!name || !TARNPrivate::NamesElementOf(name, TARN::Strlen(name), oldName)) return;
    const int oldLength = TARN::Strlen(oldName);
    const int newLength = TARN::Strlen(newName);
    const int restLength = TARN::Strlen(name + oldLength);
    char* renamed = static_cast<char*>(std::malloc(newLength + restLength + 1));
    TARN::Memcpy(renamed, newName ? newName : "", newLength);
    TARN::Memcpy(renamed + newLength, name + oldLength, restLength + 1);
    std::free(name);
    name = renamed;
}
