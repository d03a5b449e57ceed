#include "tarn/engine/engine_graph.hpp"

#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "tarn/engine/module_base.hpp"

using TARNPrivate::kernel;

namespace TARN {
int GetState() {
    return kernel->GetState();
}
int CheckLevel() {
    return kernel->CheckLevel();
}
bool IsDistributedAsMaster() {
    return kernel->IsDistributedAsMaster();
}
bool IsDistributedAsSlave() {
    return kernel->IsDistributedAsSlave();
}
bool GetSynchronizer(void* owner, TARNSynchronizer** synchronizer) {
    return kernel->GetSynchronizer(owner, synchronizer);
}
bool ReleaseSynchronizer(void* owner, TARNSynchronizer** synchronizer) {
    return kernel->ReleaseSynchronizer(owner, synchronizer);
}
TARNStackedString<40> GetGlobalConfigValue(const char* key) {
    return kernel->GetGlobalConfigValue(key);
}

bool CreateComponent(const char* model, const char* name, bool flag) {
    return kernel->CreateComponent(model, name, flag);
}
bool StartComponent(const char* name) {
    return kernel->StartComponent(name);
}
bool RunComponent(const char* name) {
    return kernel->StartComponent(name);
}
bool ShutdownComponent(const char* name) {
    return kernel->ShutdownComponent(name);
}
bool KillComponent(const char* name) {
    return kernel->KillComponent(name);
}
bool KillComponent(TARNModuleBase& component) {
    return kernel->KillComponent(component.Name());
}
bool RenameComponent(const char* oldName, const char* newName) {
    return kernel->RenameComponent(oldName, newName);
}
bool Attach(const char* outputPath, const char* inputPath) {
    return kernel->AttachPaths(outputPath, inputPath);
}
bool Attach2(const char* outputPath, const char* inputPath) {
    return kernel->AttachPathsVariant(outputPath, inputPath);
}
bool Attach(TARNOutput& output, TARNInput& input) {
    return kernel->Attach(output, input);
}
bool Detach(TARNOutput& output, TARNInput& input) {
    return kernel->Detach(output, input);
}

bool Parse(const char* text) {
    return kernel->Parse(text);
}
bool ParseFile(const char* path) {
    return kernel->ParseFile(path);
}
bool AsynchParse(const char* text) {
    return kernel->AsynchParse(text);
}
bool AsynchParseFile(const char* path) {
    return kernel->AsynchParseFile(path);
}
void Run() {
    kernel->Run();
}
void Shutdown() {
    kernel->Shutdown();
}
void Reset() {
    kernel->Reset();
}

bool LoadCoreFunction(const char* name, const char* model) {
    return kernel->LoadCoreFunction(name, model);
}
bool UnloadCoreFunction(const char* name) {
    return kernel->UnloadCoreFunction(name);
}
TARNCoreFunction* CoreFunction(const char* name) {
    return kernel->FindCoreFunction(name);
}
bool RegisterPackage(const char* name, const char* path) {
    return kernel->RegisterPackage(name, path);
}
bool UnregisterPackage(const char* name) {
    return kernel->UnregisterPackage(name);
}
TARNMutex* GlobalOSMutex() {
    return kernel->GlobalOSMutex();
}

bool GetBoolProperty(const char* fullName, bool* found) {
    return kernel->GetBoolProperty(fullName, found);
}
long GetIntegerProperty(const char* fullName, bool* found) {
    return kernel->GetIntegerProperty(fullName, found);
}
double GetFloatProperty(const char* fullName, bool* found) {
    return kernel->GetFloatProperty(fullName, found);
}
TARNComponent* Component(const char* name) {
    return kernel->FindComponent(name);
}
TARNProperty* Property(const char* fullName) {
    return kernel->FindProperty(fullName);
}

void Exit() {
    TARNPrivate::Exit();
}

TARNStackedString<40> About() {
    TARNStackedString<40> text;
    kernel->About(text);
    return text;
}

void SetIndex() {}
}  // namespace TARN

namespace TARNPrivate {
void Exit() {
    if (!kernel) return;
    kernel->Exit();
    // The exit operation may already have unbound the kernel.
    if (kernel) kernel->Release();
    kernel = nullptr;
}

void RegisterStandardPackages() {
    kernel->RegisterStandardPackages();
}
void* ComponentMainThread(void* argument) {
    return kernel->ComponentMainThread(argument);
}
void* ModuleThread(void* argument) {
    return kernel->ModuleThread(argument);
}
void* ComponentThread(void* argument) {
    return kernel->ComponentThread(argument);
}
}  // namespace TARNPrivate
