// The root of every module object.
#pragma once

#include <atomic>
#include <vector>

class TARNModuleDefinition;

namespace TARNPrivate {
// Whether `name` (`length` bytes) is `moduleName` followed by a point and more: the form of
// the full name of each element of that module, which a rename of the module carries
// along. A null module name is the empty name: it matches names that begin with a point.
bool NamesElementOf(const char* name, int length, const char* moduleName);
}  // namespace TARNPrivate

// Every module the registry can instantiate derives from this class; the engine relies on
// its virtual operations' slots: destructor (two slots), then Rename.
class TARNModuleBase {
  public:
    // Keeps its own copy of the name; a null name stays null.
    explicit TARNModuleBase(const char* name);
    // Frees the name and every name it had before.
    virtual ~TARNModuleBase();

    TARNModuleBase(const TARNModuleBase&) = delete;
    TARNModuleBase& operator=(const TARNModuleBase&) = delete;

    // When the name is `oldName` it becomes a copy of `newName` (null when that is null).
    // A name that starts with `oldName` and a "." (the name of something inside the
    // module) gets `newName` in place of that prefix; every other name stays. The text
    // Name() gave before stays readable until the module is destroyed: another thread may
    // be reading it (a report under way, a thread that outlived the module's shutdown).
    virtual void Rename(const char* oldName, const char* newName);

    const char* Name() const { return name.load(std::memory_order_acquire); }
    TARNModuleDefinition* Definition() const { return definition; }

    // The definition that instantiated the object; set by the registry's Instantiate.
    TARNModuleDefinition* definition = nullptr;

  private:
    // Makes `renamed` the name; the old text is kept with the former names.
    void replaceName(char* renamed);

    std::atomic<char*> name{nullptr};
    // The texts of the names it had before, freed with the module.
    std::vector<char*> formerNames;
};
