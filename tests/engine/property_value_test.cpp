#include "tarn/engine/property_value.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/host_kernel_fixture.hpp"

namespace {

// Enumerations built from text report through the kernel.
using PropertyValue = HostKernelTest;

// The payload as text, so that one table can describe values of every type.
std::string describe(const TARNPropertyValue& v) {
    switch (v.type) {
        case TARNPropertyValue::Bool:
            return v.boolean ? "bool:true" : "bool:false";
        case TARNPropertyValue::Integer:
            return "int:" + std::to_string(v.integer);
        case TARNPropertyValue::Float:
            return "float:" + std::to_string(v.floating);
        case TARNPropertyValue::String:
            return v.string == nullptr ? "string:null" : std::string("string:") + v.string->c_str();
        case TARNPropertyValue::Enumeration:
            return v.enumeration == nullptr ? "enum:null"
                                            : std::string("enum:") + v.enumeration->ToString().c_str();
        default:
            return "tag:" + std::to_string(v.type);
    }
}

TEST_F(PropertyValue, ConstructorsTagTheirValues) {
    const struct {
        TARNPropertyValue value;
        const char* expected;
    } cases[] = {
        {TARNPropertyValue(), "bool:false"},
        {TARNPropertyValue(true), "bool:true"},
        {TARNPropertyValue(-5), "int:-5"},
        {TARNPropertyValue(1L << 40), "int:1099511627776"},
        {TARNPropertyValue(2.5), "float:2.500000"},
        {TARNPropertyValue(static_cast<const char*>(nullptr)), "string:"},
        {TARNPropertyValue("hello"), "string:hello"},
        {TARNPropertyValue("12"), "string:12"},
        {TARNPropertyValue("a|b"), "string:a|b"},
        {TARNPropertyValue(""), "string:"},
        {TARNPropertyValue("1|0|on"), "enum:1|0|on"},
        {TARNPropertyValue("3|2|a|b|c"), "enum:3|2|a|b|c"},
        // A text in enumeration form that is not a valid one still makes an enumeration.
        {TARNPropertyValue("2|0|a"), "enum:0|-1"},
        {TARNPropertyValue(static_cast<const char*>(nullptr), 3), "enum:0|0"},
        {TARNPropertyValue("a|b", 1), "enum:2|1|a|b"},
        {TARNPropertyValue(TARNEnumStruct("x|y", 1)), "enum:2|1|x|y"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe(c.value), c.expected);
    // Only the malformed enumeration text reported.
    const std::vector<HostReport> reported = recorder.Reports();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].message,
              "TARNEnumStruct::FromString: Declared size of enum struct does not match the number of given "
              "elements.");
    EXPECT_EQ(reported[0].level, 2);
}

// Values of every kind, including the null payloads a value may hold.
std::unique_ptr<TARNPropertyValue> makeValue(int kind) {
    auto v = std::make_unique<TARNPropertyValue>();
    switch (kind) {
        case 0:
            *v = TARNPropertyValue(true);
            break;
        case 1:
            *v = TARNPropertyValue(-77L);
            break;
        case 2:
            *v = TARNPropertyValue(0.125);
            break;
        case 3:
            *v = TARNPropertyValue("some text that does not fit inline in forty bytes");
            break;
        case 4:
            *v = TARNPropertyValue("r|g|b", 2);
            break;
        case 5:  // a string tag without a string
            v->type = TARNPropertyValue::String;
            v->string = nullptr;
            break;
        case 6:  // an enumeration tag without an enumeration
            v->type = TARNPropertyValue::Enumeration;
            v->enumeration = nullptr;
            break;
    }
    return v;
}

class PropertyValueCopy : public HostKernelTest, public testing::WithParamInterface<std::tuple<int, int>> {};

// Copies onto a value of each kind, then destroys the source: the copy must own its payload
// (AddressSanitizer reports any sharing or leak).
TEST_P(PropertyValueCopy, IsIndependentOfTheSource) {
    auto [fromKind, toKind] = GetParam();
    auto source = makeValue(fromKind);
    const std::string expected = describe(*source);
    auto target = makeValue(toKind);
    target->Copy(*source);
    TARNPropertyValue constructed(*source);
    TARNPropertyValue assigned;
    assigned = *source;
    if (source->type == TARNPropertyValue::String && source->string != nullptr) {
        EXPECT_NE(target->string, source->string);
    }
    if (source->type == TARNPropertyValue::Enumeration && source->enumeration != nullptr) {
        EXPECT_NE(target->enumeration, source->enumeration);
        EXPECT_NE(target->enumeration->values, source->enumeration->values);
    }
    source.reset();
    EXPECT_EQ(describe(*target), expected);
    EXPECT_EQ(describe(constructed), expected);
    EXPECT_EQ(describe(assigned), expected);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, PropertyValueCopy,
                         testing::Combine(testing::Range(0, 7), testing::Range(0, 7)));

TEST_F(PropertyValue, CopyOfAnUnknownTagTakesOnlyTheTag) {
    TARNPropertyValue unknown;
    unknown.type = 9;
    unknown.integer = 1234;
    TARNPropertyValue target("text");
    target.Copy(unknown);
    EXPECT_EQ(target.type, 9u);
    // Destroying the target must not free anything for the unknown tag.
}

TEST_F(PropertyValue, CopyOntoItselfKeepsThePayload) {
    for (int kind = 0; kind < 7; ++kind) {
        auto v = makeValue(kind);
        const std::string before = describe(*v);
        v->Copy(*v);
        *v = *v;
        EXPECT_EQ(describe(*v), before) << kind;
    }
}

}  // namespace
