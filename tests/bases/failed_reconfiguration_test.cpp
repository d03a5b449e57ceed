// A property change whose re-configuration fails: the failed Dynamic() leaves every element
// it did not declare again to be removed, the changed property included. The bases' Set
// operations run on after the re-configuration and must never touch that property again.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image_processing_fixture.hpp"
#include "support/image_operation_test_component.hpp"
#include "support/sorted_reading_test_component.hpp"
#include "support/two_image_operation_test_component.hpp"

namespace {

// A component whose Dynamic() dies before it declares anything, once armed: the way a
// derived class's re-configuration fails when its module is dying.
template <class Base>
class FailingReconfiguration : public Base {
  public:
    using Base::Base;
    void Dynamic() override {
        if (failing) throw TARNModule::DieException;
        Base::Dynamic();
    }
    bool failing = false;
};

// Made, declared once as the engine does, then armed.
template <class Base>
std::unique_ptr<TARNComponent> Armed() {
    auto component = std::make_unique<FailingReconfiguration<Base>>("failing");
    component->CallDynamic();
    component->failing = true;
    return component;
}

struct ChangeCase {
    const char* property;
    std::function<std::unique_ptr<TARNComponent>()> make;
    std::function<void(TARNProperty&)> change;
};

std::vector<ChangeCase> ChangeCases() {
    auto text = [](const char* value) { return [value](TARNProperty& p) { p.Set(value); }; };
    auto flag = [](TARNProperty& p) { p.Set(true); };
    const auto one = Armed<ImageOperationTestComponent>;
    const auto two = Armed<TwoImageOperationTestComponent>;
    const auto sorted = Armed<SortedReadingTestComponent>;
    return {
        {"pOperation", one, text("ERODE")},
        {"pParameters", one, text("1")},
        {"pClicks", one, text("1,2")},
        {"pInputROI", one, text("0;0;1;1")},
        {"pOutputROI", one, text("0;0;1;1")},
        {"pQuerySyntax", one, text("ERODE")},
        {"pCrop", one, flag},
        {"pOperation", two, text("Sum")},
        {"pInput0ROI", two, text("0;0;1;1")},
        {"pInput1ROI", two, text("0;0;1;1")},
        {"pQuerySyntax", two, text("SUM")},
        {"pCrop", two, flag},
        {"verbose", sorted, flag},
        {"max_latency", sorted, [](TARNProperty& p) { p.Set(5L); }},
    };
}

class FailedReconfiguration : public HostKernelTest {};

TEST_F(FailedReconfiguration, TheChangedPropertyIsNeverTouchedOnceRemoved) {
    for (const ChangeCase& c : ChangeCases()) {
        SCOPED_TRACE(c.property);
        std::unique_ptr<TARNComponent> component = c.make();
        c.change(component->Property(c.property));
        EXPECT_NE(component->State() & TARNModule::InError, 0u) << "the failure stays marked";
        EXPECT_FALSE(component->HasProperty(c.property)) << "not declared again, so removed";
        component->state = component->State() | TARNModule::MainLoopEnded;
    }
}

}  // namespace
