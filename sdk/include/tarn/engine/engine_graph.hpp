// The engine API for the data-flow graph: components, connections, packages, engine
// properties and the engine's own state. Each function forwards to one operation of the
// kernel object and returns its answer unchanged.
#pragma once

#include "tarn/runtime/stacked_string.hpp"

class TARNComponent;
class TARNCoreFunction;
class TARNInput;
class TARNModuleBase;
class TARNMutex;
class TARNOutput;
class TARNProperty;
class TARNSynchronizer;

namespace TARN {
// GetState's answers: no graph runs, or the engine runs one.
inline constexpr int EngineStopped = 0;
inline constexpr int EngineRunning = 1;
int GetState();
int CheckLevel();
bool IsDistributedAsMaster();
bool IsDistributedAsSlave();
bool GetSynchronizer(void* owner, TARNSynchronizer** synchronizer);
bool ReleaseSynchronizer(void* owner, TARNSynchronizer** synchronizer);
TARNStackedString<40> GetGlobalConfigValue(const char* key);

bool CreateComponent(const char* model, const char* name, bool flag);
// Both start the component; the engine also runs it.
bool StartComponent(const char* name);
bool RunComponent(const char* name);
bool ShutdownComponent(const char* name);
bool KillComponent(const char* name);
// Kills the component (any TARNComponent) by its name.
bool KillComponent(TARNModuleBase& component);
bool RenameComponent(const char* oldName, const char* newName);
bool Attach(const char* outputPath, const char* inputPath);
bool Attach2(const char* outputPath, const char* inputPath);
bool Attach(TARNOutput& output, TARNInput& input);
bool Detach(TARNOutput& output, TARNInput& input);

bool Parse(const char* text);
bool ParseFile(const char* path);
bool AsynchParse(const char* text);
bool AsynchParseFile(const char* path);
void Run();
void Shutdown();
void Reset();

bool LoadCoreFunction(const char* name, const char* model);
bool UnloadCoreFunction(const char* name);
TARNCoreFunction* CoreFunction(const char* name);
bool RegisterPackage(const char* name, const char* path);
bool UnregisterPackage(const char* name);
TARNMutex* GlobalOSMutex();

bool GetBoolProperty(const char* fullName, bool* found);
long GetIntegerProperty(const char* fullName, bool* found);
double GetFloatProperty(const char* fullName, bool* found);
TARNComponent* Component(const char* name);
TARNProperty* Property(const char* fullName);

// Lets the engine go: its exit operation, then (when the kernel is still bound) its
// release operation, then the kernel is unbound. Without a kernel it does nothing, so a
// second call is harmless.
void Exit();
// The engine's about text.
TARNStackedString<40> About();
// Kept for the engine's interface; does nothing.
void SetIndex();
}  // namespace TARN

namespace TARNPrivate {
// The same as TARN::Exit.
void Exit();
void RegisterStandardPackages();
// Thread bodies the engine runs for components and modules.
void* ComponentMainThread(void* argument);
void* ModuleThread(void* argument);
void* ComponentThread(void* argument);
}  // namespace TARNPrivate
