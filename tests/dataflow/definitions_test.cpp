#include "tarn/dataflow/definitions.hpp"

#include <gtest/gtest.h>

namespace {

void noAction(TARNModule*, int) {}

}  // namespace

TEST(ComponentDefinition, DestroyCountGrowsOnlyOnceCountingAndNeverWrapsToZero) {
    struct Case {
        unsigned int before;
        unsigned int after;
    };
    const Case cases[] = {{0, 0}, {1, 2}, {41, 42}, {0xFFFFFFFE, 0xFFFFFFFF}, {0xFFFFFFFF, 1}};
    for (const Case& c : cases) {
        TARNComponentDefinition definition{};
        definition.destroyCount = c.before;
        definition.CountDestruction();
        EXPECT_EQ(definition.destroyCount, c.after) << "from " << c.before;
    }
}

TEST(ComponentDefinition, CountRecordsFillsOnlyUncountedTablesUpToTheirEndRecord) {
    TARNInputDefinition inputs[] = {{"a", nullptr, nullptr, 0, 1}, {"b", nullptr, nullptr, 3, 1}, {}};
    TARNOutputDefinition outputs[] = {{"out", 0, TARNTypeInfo(0x20), 0, 16, 1, 1}, {}};
    TARNPropertyDefinition properties[] = {
        {"p", new TARNPropertyValue(1L)}, {"q", new TARNPropertyValue(true)}, {}};
    TARNActionDefinition actions[] = {{"act", new TARNActionCallbacks{noAction, nullptr}, 0}, {}};

    TARNComponentDefinition definition{};
    definition.nbInputs = TARNComponentDefinition::NotCounted;
    definition.inputs = inputs;
    definition.nbOutputs = TARNComponentDefinition::NotCounted;
    definition.outputs = outputs;
    // A count already given is the table's, even when it stops short of the end record.
    definition.nbProperties = 1;
    definition.properties = properties;
    definition.nbActions = TARNComponentDefinition::NotCounted;
    definition.actions = actions;
    definition.CountRecords();

    EXPECT_EQ(definition.nbInputs, 2u);
    EXPECT_EQ(definition.nbOutputs, 1u);
    EXPECT_EQ(definition.nbProperties, 1u);
    EXPECT_EQ(definition.nbActions, 1u);

    TARNComponentDefinition empty{};
    empty.nbInputs = TARNComponentDefinition::NotCounted;
    empty.CountRecords();
    EXPECT_EQ(empty.nbInputs, 0u) << "a missing table has no records";
}

TEST(ComponentDefinition, AnEndRecordNeedsEveryFieldZero) {
    // A record without a name but with other fields set is a bad definition, not the end.
    TARNInputDefinition inputs[] = {{nullptr, nullptr, nullptr, 0, 1}, {}};
    TARNComponentDefinition definition{};
    definition.nbInputs = TARNComponentDefinition::NotCounted;
    definition.inputs = inputs;
    definition.CountRecords();
    EXPECT_EQ(definition.nbInputs, 1u);
}

// The default value belongs to the definition that was made with it: copies (what every
// property keeps) must never delete it a second time. AddressSanitizer reports any double
// delete or leak here.
TEST(PropertyDefinition, CopiesNeverOwnTheDefaultValue) {
    TARNPropertyDefinition original("mode", new TARNPropertyValue("a|b", 1), "px", true, true, false, true,
                                    0x50);
    {
        TARNPropertyDefinition copy(original);
        EXPECT_EQ(copy.defaultValue, nullptr);
        EXPECT_STREQ(copy.name, "mode");
        EXPECT_STREQ(copy.unit, "px");
        EXPECT_TRUE(copy.needsInit);
        EXPECT_TRUE(copy.modifiableWhileRunning);
        EXPECT_FALSE(copy.readOnly);
        EXPECT_TRUE(copy.fixedEnumValues);
        EXPECT_EQ(copy.subType, 0x50u);
    }
    ASSERT_NE(original.defaultValue, nullptr);
    EXPECT_EQ(original.defaultValue->type, TARNPropertyValue::Enumeration);

    TARNPropertyDefinition target("other", new TARNPropertyValue(3L));
    target = original;
    EXPECT_EQ(target.defaultValue, nullptr) << "its own default is freed, the source's is not taken";
    EXPECT_STREQ(target.name, "mode");
    ASSERT_NE(original.defaultValue, nullptr);
}

TEST(OutputDefinition, AssignmentDeepCopiesTypeNameAndUnit) {
    TARNOutputDefinition named{"out", 0, TARNTypeInfo(0x20, "image", "px"), 3, 16, 2, 1};
    TARNOutputDefinition bare{"plain", 0, TARNTypeInfo(0x2), 0, 8, 1, 0};

    TARNOutputDefinition copy{};
    copy = named;
    EXPECT_EQ(copy.bufferSize, 3u);
    EXPECT_EQ(copy.fifoSize, 16u);
    EXPECT_EQ(copy.subsampling, 2u);
    ASSERT_NE(copy.type.typeName, nullptr);
    EXPECT_NE(copy.type.typeName, named.type.typeName) << "strings are never shared";
    EXPECT_TRUE(*copy.type.typeName == "image");
    EXPECT_TRUE(*copy.type.unit == "px");

    copy = bare;
    EXPECT_EQ(copy.type.typeName, nullptr);
    EXPECT_EQ(copy.type.unit, nullptr);
    EXPECT_EQ(copy.type.type, 0x2ul);
    EXPECT_STREQ(copy.name, "plain");
}
