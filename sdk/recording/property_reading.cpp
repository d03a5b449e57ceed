#include "recording/property_reading.hpp"

#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/engine_graph.hpp"

namespace TARNPrivate {

namespace {

TARNProperty* find(TARNModule& module, const char* shortName) {
    TARNMutexGuard guard(module.moduleLock);
    return module.HasProperty(shortName) ? &module.Property(shortName) : nullptr;
}

}  // namespace

std::string PropertyText(TARNModule& module, const char* shortName) {
    TARNProperty* property = find(module, shortName);
    TARNStackedString<40> text;
    if (property == nullptr || !TARNModule::Get(module, *property, text)) return std::string();
    return text.c_str();
}

bool PropertyFlag(TARNModule& module, const char* shortName) {
    TARNProperty* property = find(module, shortName);
    bool value = false;
    if (property == nullptr || !TARNModule::Get(module, *property, value)) return false;
    return value;
}

bool EngineHasProperty(const std::string& fullName) {
    return TARN::Property(fullName.c_str()) != nullptr;
}

// The owner's Get takes its module lock and property lock in their order; the kernel's
// symbol lock is not held by then, so this may run under any of the record side's locks.
std::string EnginePropertyText(const std::string& fullName) {
    TARNProperty* property = TARN::Property(fullName.c_str());
    TARNStackedString<40> text;
    if (property == nullptr || property->Owner() == nullptr ||
        !TARNModule::Get(*property->Owner(), *property, text))
        return std::string();
    return std::string(text.c_str());
}

}  // namespace TARNPrivate
