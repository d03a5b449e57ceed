// The two-source image-processing base: its tables, construction, element declaration,
// property changes and the selection and parsing of the operation's settings.
#include "tarn/bases/image_processing_2src1dest.hpp"

#include <string>

#include "bases/image_operation_definitions.hpp"
#include "bases/image_operation_selection.hpp"
#include "bases/image_operation_text.hpp"
#include "tarn/dataflow/property.hpp"

using TARNImageOperation::InputRecord;
using TARNImageOperation::OutputImageRecord;
using TARNImageOperation::ProcessingTimeRecord;
using TARNImageOperation::SettingRecord;

const char* const TARNImageProcessing2Src1Dest::ConstStrDelimiters = TARNImageText::Delimiters;

TARNInputDefinition TARNImageProcessing2Src1Dest::InputDefinitions[7] = {
    InputRecord("iImage0", TARN::FilterIplImage),
    InputRecord("iImage1", TARN::FilterIplImage),
    InputRecord("iInput0ROI", TARN::FilterIntegers32),
    InputRecord("iInput1ROI", TARN::FilterIntegers32),
    InputRecord("iOutputROI", TARN::FilterIntegers32),
    InputRecord("iPoint", TARN::FilterIntegers32),
    {},
};

TARNOutputDefinition TARNImageProcessing2Src1Dest::OutputDefinitions[2] = {
    OutputImageRecord(),
    {},
};

TARNPropertyDefinition TARNImageProcessing2Src1Dest::PropertyDefinitions[15] = {
    SettingRecord("pOperation", new TARNPropertyValue("")),
    SettingRecord("pParameters", new TARNPropertyValue("")),
    SettingRecord("pInput0ROI", new TARNPropertyValue("")),
    SettingRecord("pInput1ROI", new TARNPropertyValue("")),
    SettingRecord("pOutputROI", new TARNPropertyValue("")),
    SettingRecord("pClicks", new TARNPropertyValue("")),
    SettingRecord("pQuerySyntax", new TARNPropertyValue("")),
    SettingRecord("pSpecifyDestinationSize", new TARNPropertyValue(false)),
    SettingRecord("pCrop", new TARNPropertyValue(false)),
    SettingRecord("pClearOutputImagesOutOfROI", new TARNPropertyValue(false)),
    SettingRecord("pClearOutputImagesInsideROI", new TARNPropertyValue(false)),
    SettingRecord("pLastOrNextReader", new TARNPropertyValue(true)),
    SettingRecord("pSynchroReaders", new TARNPropertyValue(false)),
    ProcessingTimeRecord(),
    TARNPropertyDefinition(),
};

TARNActionDefinition TARNImageProcessing2Src1Dest::ActionDefinitions[1] = {TARNActionDefinition()};

const TARNImageOperationInputs<TARNImageProcessing2Src1Dest, 3, 2> TARNImageProcessing2Src1Dest::ImageInputs = {
    .regions = {{"pInput0ROI", "iInput0ROI", &TARNImageProcessing2Src1Dest::input0ROI},
                {"pInput1ROI", "iInput1ROI", &TARNImageProcessing2Src1Dest::input1ROI},
                {"pOutputROI", "iOutputROI", &TARNImageProcessing2Src1Dest::outputROI}},
    .images = {{"iImage0", &TARNImageProcessing2Src1Dest::lastImage0, &TARNImageProcessing2Src1Dest::input0ROI,
                "Incorrect input0 ROI"},
               {"iImage1", &TARNImageProcessing2Src1Dest::lastImage1, &TARNImageProcessing2Src1Dest::input1ROI,
                "Incorrect input1 ROI"}},
};

TARNImageProcessing2Src1Dest::TARNImageProcessing2Src1Dest(const char* name, TARNComponentDefinition& definition)
    : TARNComponent(name, definition) {}

TARNImageProcessing2Src1Dest::~TARNImageProcessing2Src1Dest() {
    CloseOperation();
    CloseROI();
}

void TARNImageProcessing2Src1Dest::Dynamic() {
    TARNImageOperation::Dynamic(*this);
}

void TARNImageProcessing2Src1Dest::Set(TARNProperty& property, bool value) {
    TARNImageOperation::SetSetting(*this, property, value);
}

void TARNImageProcessing2Src1Dest::Set(TARNProperty& property, long value) {
    TARNImageOperation::SetSetting(*this, property, value);
}

void TARNImageProcessing2Src1Dest::Set(TARNProperty& property, double value) {
    TARNImageOperation::SetSetting(*this, property, value);
}

void TARNImageProcessing2Src1Dest::Set(TARNProperty& property, const TARNStackedString<40>& value) {
    TARNImageOperation::SetText(*this, ImageInputs, property, value);
}

bool TARNImageProcessing2Src1Dest::SetOperation(const char* name) {
    return TARNImageOperation::SetOperation(*this, name);
}

bool TARNImageProcessing2Src1Dest::SetParameters(const char* text) {
    return TARNImageOperation::SetParameters(*this, text, input0ROI != nullptr && input1ROI != nullptr,
                                             "This operation needs inputs ROI. Please specify the ROI first...");
}

bool TARNImageProcessing2Src1Dest::SetClicks(const char* text) {
    return TARNImageOperation::SetClicks(*this, text);
}

bool TARNImageProcessing2Src1Dest::SetROI(_IplROI** slot, const char* text) {
    return TARNImageOperation::SetROI(*this, slot, text);
}

bool TARNImageProcessing2Src1Dest::UpdateClickProperty(TARNProperty& property, TARNPoint2D* points, int count) {
    DirectSet(property, TARNImageText::ClicksText(points, count));
    return true;
}

bool TARNImageProcessing2Src1Dest::UpdateROIProperty(TARNProperty& property, _IplROI* roi) {
    DirectSet(property, TARNImageText::RegionText(roi));
    return true;
}

bool TARNImageProcessing2Src1Dest::Initialize() {
    return TARNImageOperation::Initialize(*this, ImageInputs);
}

bool TARNImageProcessing2Src1Dest::CloseOperation() {
    CloseParameters();
    CloseClicks();
    return true;
}

bool TARNImageProcessing2Src1Dest::CloseParameters() {
    TARNImageOperation::CloseParameters(*this);
    return true;
}

bool TARNImageProcessing2Src1Dest::CloseROI() {
    TARNImageOperation::CloseROI(*this, ImageInputs);
    return true;
}

bool TARNImageProcessing2Src1Dest::CloseClicks() {
    TARNImageOperation::CloseClicks(*this);
    return true;
}
