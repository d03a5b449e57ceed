#include "host_graph.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>

#include "dataflow/action_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "dataflow/property_implementation.hpp"
#include "engine/package_entry.hpp"
#include "host_kernel.hpp"
#include "host_package.hpp"
#include "model_description.hpp"
#include "model_groups.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/enum_struct.hpp"

namespace {

std::string componentOf(const std::string& path) {
    return path.substr(0, path.find('.'));
}

// A whole number in decimal, hexadecimal (0x) or octal (0); one out of range is refused,
// not taken as the largest value.
bool parseLong(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 0);
    return *end == '\0' && errno != ERANGE;
}

// What a property takes, for the refusal of a text that is no value of its type.
std::string takenValues(TARNProperty& property) {
    switch (property.Type()) {
        case TARNPropertyValue::Bool:
            return "true or false";
        case TARNPropertyValue::Integer:
            return "a whole number";
        case TARNPropertyValue::Float:
            return "a number";
        case TARNPropertyValue::Enumeration: {
            TARNEnumStruct values;
            property.Owner()->Get(property, values);
            std::string names;
            for (int i = 0; i < values.Count(); ++i)
                names += (i ? "|" : "") + std::string(values.Name(i).c_str());
            return "one of " + names;
        }
        default:
            return "a text";
    }
}

enum class SetOutcome {
    Taken,
    // The text is no value of the property's type: the component never saw it.
    NotOfType,
    // The component (or the SDK for it) refused the value: its setter threw, or the
    // property does not hold the value asked for afterwards. Whoever refused it reported why.
    Refused,
};

// Whether the property holds `value`, what a setter was asked to take: a guarded setter that
// refuses a value keeps the one before.
template <class Value>
bool holds(TARNProperty& property, const Value& value) {
    Value held{};
    property.Get(held);
    return held == value;
}

bool namesLocked(TARNProperty& property) {
    return static_cast<TARNPropertyImplementation&>(property).definition.fixedEnumValues;
}

// Whether the text form `text` ("count|selected|names") is a value the enumeration can take:
// one that selects one of its values, the property's own when its names are locked
// (fixedEnumValues: the text's names are not taken), the text's otherwise, whose count must
// then be that of its names. Anything else the SDK would take as nothing selected, or as
// the first value, or would empty the names: it is refused before it is set.
bool enumerationTextFits(TARNProperty& property, const TARNEnumStruct& current, const std::string& text) {
    int count = 0;
    int selected = 0;
    if (std::sscanf(text.c_str(), "%d|%d", &count, &selected) != 2 || selected < 0) return false;
    if (namesLocked(property)) return selected < current.Count();
    const long pieces = std::count(text.begin(), text.end(), '|') + 1;
    return count > 0 && pieces == count + 2L && selected < count;
}

// Whether the enumeration holds what its text form `text` asks for: with the names locked
// the selected index alone, otherwise the whole value, whose text form then reads `text`
// back.
bool holdsEnumerationText(TARNProperty& property, const std::string& text) {
    TARNEnumStruct held;
    property.Get(held);
    if (!namesLocked(property)) return std::string(held.ToString().c_str()) == text;
    int count = 0;
    int selected = 0;
    return std::sscanf(text.c_str(), "%d|%d", &count, &selected) == 2 && held.selected == selected;
}

SetOutcome taken(bool held) {
    return held ? SetOutcome::Taken : SetOutcome::Refused;
}

SetOutcome setFromText(TARNProperty& property, const std::string& text) {
    TARNModule& owner = *property.Owner();
    long number = 0;
    try {
        switch (property.Type()) {
            case TARNPropertyValue::Bool: {
                bool value = false;
                if (text == "true" || text == "1")
                    value = true;
                else if (text != "false" && text != "0")
                    return SetOutcome::NotOfType;
                owner.Set(property, value);
                return taken(holds(property, value));
            }
            case TARNPropertyValue::Integer:
                if (!parseLong(text, number)) return SetOutcome::NotOfType;
                owner.Set(property, number);
                return taken(holds(property, number));
            case TARNPropertyValue::Float: {
                char* end = nullptr;
                errno = 0;
                const double value = std::strtod(text.c_str(), &end);
                // Too large, infinite or not a number: no value a property can hold. A
                // value too small for a double reads as the nearest one (towards 0).
                const bool overflow = errno == ERANGE && std::fabs(value) == HUGE_VAL;
                if (text.empty() || *end != '\0' || overflow || !std::isfinite(value))
                    return SetOutcome::NotOfType;
                owner.Set(property, value);
                return taken(holds(property, value));
            }
            case TARNPropertyValue::Enumeration: {
                TARNEnumStruct values;
                owner.Get(property, values);
                const TARNStackedString<40> given(text.c_str());
                if (!values.Select(given)) {
                    // The text form, "count|selected|names", as the engine sets it: the SDK
                    // takes the names too unless the property's definition locks them.
                    if (TARNEnumStruct::IsEnumString(given)) {
                        if (!enumerationTextFits(property, values, text)) return SetOutcome::NotOfType;
                        owner.Set(property, given);
                        return taken(holdsEnumerationText(property, text));
                    }
                    // An index must name one of the values.
                    if (!parseLong(text, number) || number < 0 || number >= values.Count())
                        return SetOutcome::NotOfType;
                    values.selected = static_cast<int>(number);
                }
                const int selected = values.selected;
                owner.Set(property, values);
                TARNEnumStruct held;
                property.Get(held);
                return taken(held.selected == selected);
            }
            default: {
                const TARNStackedString<40> value(text.c_str());
                owner.Set(property, value);
                return taken(holds(property, value));
            }
        }
    } catch (int) {
        return SetOutcome::Refused;
    }
}

// The property of that full name that belongs to a module, or null.
TARNProperty* ownedProperty(HostKernel& kernel, const std::string& name) {
    TARNProperty* property = kernel.FindProperty(name.c_str());
    return property != nullptr && property->Owner() != nullptr ? property : nullptr;
}

}  // namespace

HostGraph::HostGraph(HostKernel& kernel) : m_kernel(kernel) {}

HostGraph::~HostGraph() {
    // One deadline for all of them, their stops and their destructions: each one stuck
    // would otherwise add a time-out of its own.
    const auto deadline = m_kernel.ShutdownDeadline();
    stop(deadline);
    for (auto component = m_components.rbegin(); component != m_components.rend(); ++component)
        if (m_kernel.Components().Has(*component))
            m_kernel.DestroyComponent(nameOf(**component).c_str(), deadline);
    // A component left behind, of this graph or another, may run the code of any package or
    // hold elements of rings any package's outputs left to it.
    if (!m_kernel.Components().LeftBehind().empty())
        for (auto& package : m_packages) m_kernel.KeepLoadedForLeftBehind(std::move(package));
}

std::string HostGraph::nameOf(const TARNComponent& component) {
    return component.Name() != nullptr ? component.Name() : "";
}

TARNComponent* HostGraph::member(const std::string& name) const {
    TARNComponent* component = m_kernel.FindComponent(name.c_str());
    const bool ours = std::find(m_components.begin(), m_components.end(), component) != m_components.end();
    return ours ? component : nullptr;
}

bool HostGraph::LoadPackage(const std::string& path, std::string& error) {
    auto package = std::make_unique<HostPackage>();
    if (!package->Open(path, error)) return false;
    if (package->Init(m_kernel) == 0) {
        error = path + " refused the kernel";
        return false;
    }
    const std::vector<HostModelInfo> models = package->Models();
    const std::vector<std::string> groups = ModelGroups(*package, models, path);
    for (size_t i = 0; i < models.size(); ++i) {
        if (groups[i] != ComponentGroup)
            m_kernel.Report(MisfiledModelWarning(models[i].model, groups[i]).c_str(), 1, 0, true);
        m_kernel.AddModel(*static_cast<TARNComponentDefinition*>(const_cast<void*>(models[i].definition)));
    }
    m_packages.push_back(std::move(package));
    return true;
}

int HostGraph::AddProgramModels() {
    // This program's copy of the SDK is bound to the kernel already; its registry answers
    // as a package's would.
    TARNPckInit(static_cast<TARNKernel*>(&m_kernel), TARN::PckInitMagic);
    const int count = TARNGetModulesDefStruct(nullptr, nullptr, 0);
    if (count <= 0) return 0;
    std::vector<void*> definitions(static_cast<size_t>(count), nullptr);
    const int handed = TARNGetModulesDefStruct(nullptr, definitions.data(), count);
    int added = 0;
    for (int i = 0; i < handed; ++i)
        if (m_kernel.AddModel(*static_cast<TARNComponentDefinition*>(definitions[i]))) ++added;
    return added;
}

bool HostGraph::AddModel(TARNComponentDefinition& definition) {
    return m_kernel.AddModel(definition);
}

std::vector<std::string> HostGraph::Models() const {
    return m_kernel.Components().ModelNames();
}

bool HostGraph::Create(const std::string& model, const std::string& name) {
    if (!m_kernel.CreateComponent(model.c_str(), name.c_str(), false)) return false;
    m_components.push_back(m_kernel.FindComponent(name.c_str()));
    return true;
}

TARNComponent* HostGraph::Component(const std::string& name) const {
    return member(name);
}

bool HostGraph::Destroy(const std::string& name) {
    TARNComponent* component = member(name);
    if (component == nullptr) return false;
    std::erase(m_components, component);
    std::erase_if(m_connections,
                  [&](const auto& c) { return c.first == component || c.second == component; });
    return m_kernel.DestroyComponent(name.c_str());
}

bool HostGraph::Set(const std::string& name, const std::string& text) {
    TARNProperty* property = ownedProperty(m_kernel, name);
    if (property == nullptr) {
        m_kernel.Report(("There is no property " + name + ".").c_str(), 2, 0, true);
        return false;
    }
    const SetOutcome outcome = setFromText(*property, text);
    if (outcome == SetOutcome::NotOfType)
        m_kernel.Report(
            ("The property " + name + " takes " + takenValues(*property) + ", not \"" + text + "\".").c_str(),
            2, 0, true);
    return outcome == SetOutcome::Taken;
}

bool HostGraph::Set(const std::string& name, const std::string& text, std::string& takes) {
    takes.clear();
    TARNProperty* property = ownedProperty(m_kernel, name);
    if (property == nullptr) return false;
    const SetOutcome outcome = setFromText(*property, text);
    if (outcome == SetOutcome::NotOfType) takes = takenValues(*property);
    return outcome == SetOutcome::Taken;
}

bool HostGraph::Get(const std::string& name, std::string& text) const {
    TARNProperty* property = ownedProperty(m_kernel, name);
    if (property == nullptr) {
        m_kernel.Report(("There is no property " + name + ".").c_str(), 2, 0, true);
        return false;
    }
    text = PropertyText(*property);
    return true;
}

bool HostGraph::Connect(const std::string& output, const std::string& input) {
    if (!m_kernel.AttachPaths(output.c_str(), input.c_str())) return false;
    m_connections.emplace_back(m_kernel.FindComponent(componentOf(output).c_str()),
                               m_kernel.FindComponent(componentOf(input).c_str()));
    return true;
}

bool HostGraph::RunAction(const std::string& name, const char* argument) {
    const std::string::size_type point = name.find('.');
    TARNComponent* component = point == std::string::npos ? nullptr : member(name.substr(0, point));
    const std::string shortName = point == std::string::npos ? "" : name.substr(point + 1);
    if (component == nullptr || !component->HasAction(shortName.c_str())) {
        m_kernel.Report(("There is no action " + name + ".").c_str(), 2, 0, true);
        return false;
    }
    auto& action = static_cast<TARNActionImplementation&>(component->Action(shortName.c_str()));
    const bool refusedAtRest = !action.allowedAtRest && (component->State() & TARNModule::MainLoopEnded) != 0;
    std::string failure;
    try {
        // A refused action says so itself.
        action.DoIt(argument);
    } catch (int code) {
        // -5 follows an error the component reported itself (TARNModule::Error).
        failure = code == TARNModule::ErrorException ? std::string("an error it reported")
                                                     : "the integer " + std::to_string(code);
    } catch (const std::exception& exception) {
        failure = exception.what();
    } catch (...) {
        failure = "an unknown exception";
    }
    if (!failure.empty()) {
        m_kernel.Report(("The action " + name + " ended by " + failure + ".").c_str(), 2, 0, true);
        return false;
    }
    return !refusedAtRest;
}

std::vector<TARNComponent*> HostGraph::producersFirst() const {
    // Repeatedly take, in creation order, a component none of whose producers is left. One
    // the kernel destroyed meanwhile is no longer there to take.
    std::vector<TARNComponent*> left;
    for (TARNComponent* component : m_components)
        if (m_kernel.Components().Has(component)) left.push_back(component);
    std::vector<TARNComponent*> ordered;
    while (!left.empty()) {
        auto ready = std::find_if(left.begin(), left.end(), [&](const TARNComponent* component) {
            return std::none_of(m_connections.begin(), m_connections.end(), [&](const auto& c) {
                return c.second == component && c.first != component &&
                       std::find(left.begin(), left.end(), c.first) != left.end();
            });
        });
        // A cycle has no first producer: its members keep their creation order.
        if (ready == left.end()) ready = left.begin();
        ordered.push_back(*ready);
        left.erase(ready);
    }
    return ordered;
}

bool HostGraph::Start() {
    const std::vector<TARNComponent*> order = producersFirst();
    bool started = true;
    for (auto component = order.rbegin(); component != order.rend(); ++component)
        started = m_kernel.StartComponent(nameOf(**component).c_str()) && started;
    return started;
}

void HostGraph::Stop() {
    stop(m_kernel.ShutdownDeadline());
}

void HostGraph::stop(std::chrono::steady_clock::time_point deadline) {
    const std::vector<TARNComponent*> order = producersFirst();
    for (TARNComponent* component : order)
        if ((component->State() & TARNModule::Running) != 0) component->Die();
    for (TARNComponent* component : order) {
        if (m_kernel.Components().IsKilled(component)) continue;
        // One whose thread has already run its death is at rest, but only its shutdown
        // empties its rings and frees its buffers.
        if ((component->State() & (TARNModule::Running | TARNModule::Dying)) != 0 ||
            component->lastLifeNotReleased)
            m_kernel.ShutdownComponent(nameOf(*component).c_str(), deadline);
    }
}

bool HostGraph::Kill(const std::string& name) {
    return Component(name) != nullptr && m_kernel.KillComponent(name.c_str());
}

bool HostGraph::Drained(const std::string& output) const {
    TARNComponent* writer = Component(componentOf(output));
    const std::string name = output.substr(output.find('.') + 1);
    if (writer == nullptr || output.find('.') == std::string::npos || !writer->HasOutput(name.c_str()))
        return false;
    // Every output of a component is the SDK's one implementation.
    auto& implementation = static_cast<TARNOutputImplementation&>(writer->Output(name.c_str()));
    return implementation.ring != nullptr && implementation.ring->IsEmpty();
}

bool HostGraph::RunUntil(const std::function<bool()>& condition, long timeout) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(timeout);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
