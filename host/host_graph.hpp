// HostGraph: a data-flow graph run by the host, for the tests, the benchmarks and tarnhost.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class HostKernel;
class HostPackage;
class TARNComponent;
class TARNComponentDefinition;

// Components of the models the graph knows, connected output to input and run on the
// kernel's thread bodies. Models come from loaded packages, from this program's own
// registry (the models its copy of the SDK declares, such as the host's own capture source
// and image sink) or from a definition handed in. A component of this program's own models
// is an object of this program: Component<T>() hands it out as its class, which is how a
// sink gives its caller what it received.
//
// Failures are reported through the kernel (the component's reports and the host's) and
// answered with false. Driven from one thread, the control thread of the graph.
class HostGraph {
  public:
    explicit HostGraph(HostKernel& kernel);
    // Stops the graph, then destroys its components, newest first, each after its threads,
    // all waited for until one deadline ("Engine.shutdownTimeout" from then). One whose Core
    // never returns is left behind (HostKernel::DestroyComponent); the packages then stay
    // loaded, handed to the kernel, until it destroys what it left behind.
    ~HostGraph();

    HostGraph(const HostGraph&) = delete;
    HostGraph& operator=(const HostGraph&) = delete;

    // Loads a package, hands it the kernel and files its models. The package stays loaded
    // for the graph's life (its code runs the components). A model the package files under
    // a group other than the one an engine asks for is filed all the same, with a warning
    // through the kernel: an engine would not find it.
    bool LoadPackage(const std::string& path, std::string& error);
    // Files the models declared by this program; how many were new.
    int AddProgramModels();
    // Files one model.
    bool AddModel(TARNComponentDefinition& definition);
    std::vector<std::string> Models() const;

    // A component of `model` named `name`.
    bool Create(const std::string& model, const std::string& name);
    // Null when the graph has no component of that name.
    TARNComponent* Component(const std::string& name) const;
    template <class T>
    T* Component(const std::string& name) const {
        return static_cast<T*>(Component(name));
    }
    // Stops and destroys one component, with its connections. False when there is none of
    // that name, or when it was left behind (see ~HostGraph).
    bool Destroy(const std::string& name);

    // Sets "component.property" from its text: "true"/"false" (or 1/0) for a bool, a
    // number, a text, and for an enumeration one of its values, its index or its text form
    // "count|selected|name0|name1..." (TARNEnumStruct), of which a property whose
    // definition has fixedEnumValues takes the selected index alone. True only when the
    // property then holds the value asked for. A text that is no value of the property's
    // type is refused with an error through the kernel that says what the property takes
    // ("The property t.threshold takes a whole number, not \"abc\"."). A value the
    // component refuses (its own Set throws, or keeps the value it had, as a guarded setter
    // does) answers false with no report of the graph's own: the component says why.
    bool Set(const std::string& property, const std::string& text);
    // The same, reporting nothing of its own: when it answers false for a property that
    // exists, `takes` says what the property takes ("true or false", "a whole number", "a
    // number", "one of A|B|C", "a text") when the text is no value of its type, and is empty
    // when the component refused a value of its type.
    bool Set(const std::string& property, const std::string& text, std::string& takes);
    // The value of "component.property" as text, in the form Set takes (an enumeration's
    // selected value by name): how a test reads what a component publishes in its read-only
    // properties. False, with an error through the kernel, when there is no such property.
    bool Get(const std::string& property, std::string& text) const;
    // Connects "component.output" to "component.input"; refused, with an error through the
    // kernel, when the input's filter does not take the output's type, and when the input
    // is connected already: an input reads one output, and Connect never moves it ("Can't
    // connect two.out (Integer32 vector) to sink.in (any type): the input is connected
    // already."). The engine's TARN::Attach2 (AttachPathsVariant) moves a connected input to
    // another output.
    bool Connect(const std::string& output, const std::string& input);
    // Runs the action "component.action" as the engine does when its user triggers it: on
    // this thread, with `argument` (null: none), beside the component's own threads. False,
    // with an error through the kernel, when the graph's component has no such action or the
    // action ended by an exception; false too when the action may not run while its
    // component is at rest (never started, or stopped) and the component rests, which the
    // SDK reports.
    bool RunAction(const std::string& action, const char* argument = nullptr);

    // Starts every component, consumers before their producers, so that no element is
    // published before its readers run. False when one refused; the others stay started.
    bool Start();
    // Stops every component, producers before their consumers: all of them are told to
    // die first, so that readers blocked on an input or holding an element unwind at once,
    // then each is shut down, also one whose life already ended on its own thread. One
    // deadline, "Engine.shutdownTimeout" from now, for all of them.
    void Stop();
    // Kills one component (see HostKernel::KillComponent).
    bool Kill(const std::string& name);
    // True when every element published on "component.output" so far has been taken and
    // given back by each of its FIFO-group readers (a reader gives an element back when it
    // asks for the next one, so its work on that element is done). False for an unknown
    // output or one without a ring.
    bool Drained(const std::string& output) const;
    // Waits until `condition` holds, looking every millisecond; false when `timeout`
    // microseconds passed first.
    bool RunUntil(const std::function<bool()>& condition, long timeout);

  private:
    // Stop's work, every shutdown and its wait given until `deadline`.
    void stop(std::chrono::steady_clock::time_point deadline);
    // The components in an order in which each producer comes before its consumers
    // (creation order where no connection decides).
    std::vector<TARNComponent*> producersFirst() const;
    // The graph's component now named `name` (the kernel's name), or null.
    TARNComponent* member(const std::string& name) const;
    // The component's name in the kernel now.
    static std::string nameOf(const TARNComponent& component);

    HostKernel& m_kernel;
    std::vector<std::unique_ptr<HostPackage>> m_packages;
    // Known by object, not by name: the kernel may rename a component (TARN::RenameComponent,
    // a component's rename action), and the graph goes by the name it has now.
    std::vector<TARNComponent*> m_components;
    // (producer, consumer) of every connection made.
    std::vector<std::pair<TARNComponent*, TARNComponent*>> m_connections;
};
