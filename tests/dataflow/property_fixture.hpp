// The fixture of the property tests: a module "cam" with its standard properties, built
// against the host kernel, and the properties of every kind that the tests set and read.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "dataflow/property_implementation.hpp"
#include "module_fixture.hpp"
#include "tarn/dataflow/module.hpp"

// The value kinds, in the order of their tags.
enum class Kind { Bool, Integer, Float, Text, Enumeration };

inline const char* KindName(Kind kind) {
    static const char* const names[] = {"bool", "integer", "float", "text", "enumeration"};
    return names[static_cast<int>(kind)];
}

// The flags of a test definition.
struct Rules {
    bool mustBeSet = false;
    bool changeableAfterStart = true;
    bool readOnly = false;
    bool valuesLocked = false;
    unsigned int subType = 0;
};

class PropertyTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        module = std::make_unique<TARNModule>("cam", true, true);
    }
    void TearDown() override {
        module.reset();
        ModuleTest::TearDown();
    }

    // A new property "cam.<name>" of the kind: false, 7, 2.5, "abc", or the enumeration
    // "red|green|blue" with "green" (1) selected.
    TARNProperty& Make(Kind kind, const char* name = "p", Rules rules = {}) {
        TARNPropertyValue* value = nullptr;
        switch (kind) {
            case Kind::Bool:
                value = new TARNPropertyValue(false);
                break;
            case Kind::Integer:
                value = new TARNPropertyValue(7L);
                break;
            case Kind::Float:
                value = new TARNPropertyValue(2.5);
                break;
            case Kind::Text:
                value = new TARNPropertyValue("abc");
                break;
            case Kind::Enumeration:
                value = new TARNPropertyValue("red|green|blue", 1);
                break;
        }
        return MakeFrom(value, name, rules);
    }

    // A new property "cam.<name>" with the given default (taken over).
    TARNProperty& MakeFrom(TARNPropertyValue* value, const char* name, Rules rules = {}) {
        // The definition must outlive the property: the property keeps its name's address.
        definitions.push_back(std::make_unique<TARNPropertyDefinition>(
            name, value, nullptr, rules.mustBeSet, rules.changeableAfterStart, rules.readOnly,
            rules.valuesLocked, rules.subType));
        return *module->NewProperty(*definitions.back(), nullptr);
    }

    static TARNPropertyImplementation& Impl(TARNProperty& property) {
        return static_cast<TARNPropertyImplementation&>(property);
    }

    // The texts of the level-2 reports, in order.
    std::vector<std::string> Errors() const {
        std::vector<std::string> texts;
        for (const HostReport& report : ReportsAt(2)) texts.push_back(report.message);
        return texts;
    }

    void SetRunning(bool running) {
        if (running)
            module->state |= TARNModule::Running;
        else
            module->state &= ~TARNModule::Running;
    }

    std::unique_ptr<TARNModule> module;

  private:
    std::vector<std::unique_ptr<TARNPropertyDefinition> > definitions;
};

// True when another thread can take the lock within a few seconds: a lock left held by
// the calling thread would keep it out. The helper thread is left behind when it stays
// blocked, so that the test fails instead of hanging.
template <class Lock>
bool FreeForOtherThreads(Lock& lock) {
    auto taken = std::make_shared<std::atomic<bool> >(false);
    std::thread([&lock, taken] {
        lock.Lock();
        lock.Release();
        *taken = true;
    }).detach();
    for (int i = 0; i < 500 && !*taken; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return *taken;
}
