#include "tarn/engine/module_base.hpp"

#include <cstdlib>

#include "tarn/runtime/c_library.hpp"

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
    std::free(name.load());
    for (char* former : formerNames) std::free(former);
}

void TARNModuleBase::replaceName(char* renamed) {
    formerNames.push_back(name.load());
    name.store(renamed, std::memory_order_release);
}

void TARNModuleBase::Rename(const char* oldName, const char* newName) {
    if (!oldName) return;
    const char* current = Name();
    if (current && TARN::Strcmp(current, oldName) == 0) {
        replaceName(CopyOrNull(newName));
        return;
    }
    if (!current || !TARNPrivate::NamesElementOf(current, TARN::Strlen(current), oldName)) return;
    const int oldLength = TARN::Strlen(oldName);
    const int newLength = TARN::Strlen(newName);
    const int restLength = TARN::Strlen(current + oldLength);
    char* renamed = static_cast<char*>(std::malloc(newLength + restLength + 1));
    TARN::Memcpy(renamed, newName ? newName : "", newLength);
    TARN::Memcpy(renamed + newLength, current + oldLength, restLength + 1);
    replaceName(renamed);
}
