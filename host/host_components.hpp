// The components the host made, the models it can make them of, and the threads it runs
// for them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class TARNComponent;
class TARNComponentDefinition;

// Tables only: HostKernel decides what to do with them. Every operation may be called from
// any thread.
class HostComponents {
  public:
    // Files a model under its name; false (nothing changed) when that name is taken or the
    // definition has no name.
    bool AddModel(TARNComponentDefinition& definition);
    // Null when there is no model of that name.
    TARNComponentDefinition* Model(const std::string& name) const;
    std::vector<std::string> ModelNames() const;

    void Add(const std::string& name, TARNComponent* component);
    // Null when there is none of that name.
    TARNComponent* Find(const std::string& name) const;
    // Removes the component from the table, or from those left behind.
    void Remove(const TARNComponent* component);
    // False when there is no `oldName` or `newName` is taken.
    bool Rename(const std::string& oldName, const std::string& newName);
    // In the order of their making.
    std::vector<std::string> Names() const;
    // Whether the component is in the table (under whatever name).
    bool Has(const TARNComponent* component) const;

    // A killed component may still run its Core: it is kept from destruction until its
    // threads end.
    void MarkKilled(const TARNComponent* component);
    bool IsKilled(const TARNComponent* component) const;

    // A component whose Core outlived its destruction's wait leaves the table for the list
    // of those left behind: no name finds it and no walk over the components meets it any
    // more, until the kernel destroys it once its threads have ended.
    void LeaveBehind(TARNComponent* component);
    std::vector<TARNComponent*> LeftBehind() const;
    bool IsLeftBehind(const TARNComponent* component) const;

    // The threads the host's bodies run for a module, counted from before the body tells
    // its creator that it started until after its last use of the module.
    void ThreadBegins(const void* module);
    void ThreadEnds(const void* module);
    int Threads(const void* module) const;
    // Waits until no thread runs for `module`, at most `timeout` microseconds (-1: no
    // limit); false when some still run.
    bool AwaitThreadsEnded(const void* module, long timeout);
    // The same until `deadline`: an end waiting for several modules gives them all one.
    bool AwaitThreadsEnded(const void* module, std::chrono::steady_clock::time_point deadline);
    // Waits until no thread runs for any module but the components left behind.
    void AwaitAllThreadsEnded();

  private:
    mutable std::mutex m_lock;
    std::condition_variable m_threadEnded;
    std::map<std::string, TARNComponentDefinition*> m_models;
    std::vector<std::pair<std::string, TARNComponent*>> m_components;
    std::vector<const TARNComponent*> m_killed;
    std::vector<TARNComponent*> m_leftBehind;
    std::map<const void*, int> m_threads;
};
