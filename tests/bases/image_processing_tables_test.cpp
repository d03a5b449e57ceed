// What the one- and two-source image-processing bases declare to the engine and to the
// derived classes of other packages: the element records of their static tables, and the
// slots of the operations a derived class supplies. Each base has tables of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/virtual_slot.hpp"
#include "tarn/bases/image_processing_1src1dest.hpp"
#include "tarn/bases/image_processing_2src1dest.hpp"
#include "tarn/dataflow/definitions.hpp"
#include "tarn/engine/type_filter.hpp"

namespace {

struct ExpectedInput {
    const char* name;
    const TARNTypeFilterBase* filter;
};

struct ExpectedProperty {
    const char* name;
    // The default as text: "" for an empty text, "false", "true", "-1".
    std::string defaultValue;
    bool readOnly = false;
};

struct BaseTables {
    const char* base;
    const TARNInputDefinition* inputs;
    std::vector<ExpectedInput> expectedInputs;
    const TARNOutputDefinition* outputs;
    const TARNPropertyDefinition* properties;
    std::vector<ExpectedProperty> expectedProperties;
    const TARNActionDefinition* actions;
};

std::string DefaultText(const TARNPropertyValue* value) {
    if (value == nullptr) return "(none)";
    switch (value->type) {
        case TARNPropertyValue::Bool:
            return value->boolean ? "true" : "false";
        case TARNPropertyValue::Integer:
            return std::to_string(value->integer);
        case TARNPropertyValue::String:
            return value->string != nullptr ? value->string->c_str() : "(null)";
        default:
            return "(type " + std::to_string(value->type) + ")";
    }
}

std::vector<BaseTables> Bases() {
    const TARNTypeFilterBase* image = &TARN::FilterIplImage;
    const TARNTypeFilterBase* integers = &TARN::FilterIntegers32;
    const std::vector<ExpectedProperty> settingsAfterRegions = {
        {"pClicks", ""},
        {"pQuerySyntax", ""},
        {"pSpecifyDestinationSize", "false"},
        {"pCrop", "false"},
        {"pClearOutputImagesOutOfROI", "false"},
        {"pClearOutputImagesInsideROI", "false"},
        {"pLastOrNextReader", "true"},
    };
    std::vector<ExpectedProperty> one = {
        {"pOperation", ""}, {"pParameters", ""}, {"pInputROI", ""}, {"pOutputROI", ""}};
    one.insert(one.end(), settingsAfterRegions.begin(), settingsAfterRegions.end());
    one.push_back({"rProcessingTime", "-1", true});
    std::vector<ExpectedProperty> two = {
        {"pOperation", ""}, {"pParameters", ""}, {"pInput0ROI", ""}, {"pInput1ROI", ""}, {"pOutputROI", ""}};
    two.insert(two.end(), settingsAfterRegions.begin(), settingsAfterRegions.end());
    two.push_back({"pSynchroReaders", "false"});
    two.push_back({"rProcessingTime", "-1", true});
    return {
        {"one source",
         TARNImageProcessing1Src1Dest::InputDefinitions,
         {{"iImage", image}, {"iInputROI", integers}, {"iOutputROI", integers}, {"iPoint", integers}},
         TARNImageProcessing1Src1Dest::OutputDefinitions,
         TARNImageProcessing1Src1Dest::PropertyDefinitions,
         one,
         TARNImageProcessing1Src1Dest::ActionDefinitions},
        {"two sources",
         TARNImageProcessing2Src1Dest::InputDefinitions,
         {{"iImage0", image},
          {"iImage1", image},
          {"iInput0ROI", integers},
          {"iInput1ROI", integers},
          {"iOutputROI", integers},
          {"iPoint", integers}},
         TARNImageProcessing2Src1Dest::OutputDefinitions,
         TARNImageProcessing2Src1Dest::PropertyDefinitions,
         two,
         TARNImageProcessing2Src1Dest::ActionDefinitions},
    };
}

TEST(ImageProcessingTables, EachBaseDeclaresItsRecordsInTableOrder) {
    for (const BaseTables& base : Bases()) {
        SCOPED_TRACE(base.base);
        for (std::size_t i = 0; i < base.expectedInputs.size(); ++i) {
            const TARNInputDefinition& input = base.inputs[i];
            SCOPED_TRACE(base.expectedInputs[i].name);
            ASSERT_FALSE(input.IsEnd());
            EXPECT_STREQ(input.name, base.expectedInputs[i].name);
            EXPECT_EQ(input.description, nullptr);
            EXPECT_EQ(input.typeFilter, base.expectedInputs[i].filter);
            EXPECT_EQ(input.readerType, 0u);
            EXPECT_EQ(input.subsampling, 1u);
        }
        EXPECT_TRUE(base.inputs[base.expectedInputs.size()].IsEnd());

        const TARNOutputDefinition& output = base.outputs[0];
        EXPECT_STREQ(output.name, "oImage");
        EXPECT_EQ(output.reserved1, 0u);
        EXPECT_EQ(output.type.type, TARNTypeInfo::IplImage);
        ASSERT_NE(output.type.typeName, nullptr);
        ASSERT_NE(output.type.unit, nullptr);
        EXPECT_STREQ(output.type.typeName->c_str(), "");
        EXPECT_STREQ(output.type.unit->c_str(), "");
        EXPECT_EQ(output.bufferSize, 1u);
        EXPECT_EQ(output.fifoSize, 16u);
        EXPECT_EQ(output.subsampling, 1u);
        EXPECT_EQ(output.reserved2, 1u) << "shareable";
        EXPECT_TRUE(base.outputs[1].IsEnd());

        for (std::size_t i = 0; i < base.expectedProperties.size(); ++i) {
            const TARNPropertyDefinition& property = base.properties[i];
            const ExpectedProperty& expected = base.expectedProperties[i];
            SCOPED_TRACE(expected.name);
            ASSERT_FALSE(property.IsEnd());
            EXPECT_STREQ(property.name, expected.name);
            EXPECT_EQ(DefaultText(property.defaultValue), expected.defaultValue);
            EXPECT_EQ(property.unit, nullptr);
            EXPECT_FALSE(property.needsInit);
            EXPECT_EQ(property.modifiableWhileRunning, !expected.readOnly);
            EXPECT_EQ(property.readOnly, expected.readOnly);
            EXPECT_TRUE(property.fixedEnumValues);
            EXPECT_EQ(property.subType, 0u);
        }
        EXPECT_TRUE(base.properties[base.expectedProperties.size()].IsEnd());
        EXPECT_TRUE(base.actions[0].IsEnd()) << "no actions";
    }
}

// The operations a derived class supplies follow the component's slots, in the same order
// in both bases.
TEST(ImageProcessingTables, TheDerivedClassesOperationsTakeSlots26To28) {
    EXPECT_EQ(VirtualSlot(&TARNImageProcessing1Src1Dest::ApplyOperation), 26);
    EXPECT_EQ(VirtualSlot(&TARNImageProcessing1Src1Dest::GetOperationsDefinition), 27);
    EXPECT_EQ(VirtualSlot(&TARNImageProcessing1Src1Dest::GetOutputModel), 28);
    EXPECT_EQ(VirtualSlot(&TARNImageProcessing2Src1Dest::ApplyOperation), 26);
    EXPECT_EQ(VirtualSlot(&TARNImageProcessing2Src1Dest::GetOperationsDefinition), 27);
    EXPECT_EQ(VirtualSlot(&TARNImageProcessing2Src1Dest::GetOutputModel), 28);
}

}  // namespace
