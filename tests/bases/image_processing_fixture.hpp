// An image-processing component between a source the test writes by hand and a sink that
// records what it publishes, its life cycle stepped by the test. In a host graph the
// source and the sink become the host's components and the graph runner steps it.
#pragma once

#include <string>
#include <vector>

#include "support/component_stepper.hpp"
#include "support/feeding_source.hpp"
#include "support/host_kernel_fixture.hpp"
#include "support/recording_sink.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/engine_graph.hpp"

inline constexpr unsigned long IntegerVector = TARNTypeInfo::Integer32 | TARNTypeInfo::Vector;

// Reports checked by their text after the module prefix.
class ComponentReportsTest : public HostKernelTest {
  protected:
    bool Reported(const std::string& text, int level) const {
        for (const HostReport& report : ReportsAt(level))
            if (report.message == prefix + text) return true;
        return false;
    }
    int CountReported(const std::string& text, int level) const {
        int count = 0;
        for (const HostReport& report : ReportsAt(level)) count += report.message == prefix + text;
        return count;
    }
    std::string prefix;
};

template <class Component>
class ImageProcessingTest : public ComponentReportsTest {
  protected:
    void SetUp() override {
        prefix = "component ops: ";
        component.CallDynamic();
        TARN::Attach(component.Output("oImage"), *sink.input);
    }
    void TearDown() override {
        stepper.Finish();
        ComponentReportsTest::TearDown();
    }
    // An output of the source feeding the component's input `input`.
    TARNOutput& Feed(TARNOutput& output, const char* input) {
        TARN::Attach(output, component.Input(input));
        return output;
    }
    std::string Text(const char* property) {
        TARNStackedString<40> value;
        component.Property(property).Get(value);
        return value.c_str();
    }
    long Integer(const char* property) {
        long value = 0;
        component.Property(property).Get(value);
        return value;
    }

    FeedingSource source{"source"};
    Component component{"ops"};
    RecordingSink sink{"sink"};
    ComponentStepper stepper{component};
};
