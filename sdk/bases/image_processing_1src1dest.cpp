// The one-source image-processing base: its tables, construction, element declaration,
// property changes and the selection and parsing of the operation's settings.
#include "tarn/bases/image_processing_1src1dest.hpp"

#include <string>

#include "bases/image_operation_definitions.hpp"
#include "bases/image_operation_selection.hpp"
#include "bases/image_operation_text.hpp"
#include "tarn/dataflow/property.hpp"

using TARNImageOperation::InputRecord;
using TARNImageOperation::OutputImageRecord;
using TARNImageOperation::ProcessingTimeRecord;
using TARNImageOperation::SettingRecord;

const char* const TARNImageProcessing1Src1Dest::ConstStrDelimiters = TARNImageText::Delimiters;

TARNInputDefinition TARNImageProcessing1Src1Dest::InputDefinitions[5] = {
    InputRecord("iImage", TARN::FilterIplImage),
    InputRecord("iInputROI", TARN::FilterIntegers32),
    InputRecord("iOutputROI", TARN::FilterIntegers32),
    InputRecord("iPoint", TARN::FilterIntegers32),
    {},
};

TARNOutputDefinition TARNImageProcessing1Src1Dest::OutputDefinitions[2] = {
    OutputImageRecord(),
    {},
};

TARNPropertyDefinition TARNImageProcessing1Src1Dest::PropertyDefinitions[13] = {
    SettingRecord("pOperation", new TARNPropertyValue("")),
    SettingRecord("pParameters", new TARNPropertyValue("")),
    SettingRecord("pInputROI", new TARNPropertyValue("")),
    SettingRecord("pOutputROI", new TARNPropertyValue("")),
    SettingRecord("pClicks", new TARNPropertyValue("")),
    SettingRecord("pQuerySyntax", new TARNPropertyValue("")),
    SettingRecord("pSpecifyDestinationSize", new TARNPropertyValue(false)),
    SettingRecord("pCrop", new TARNPropertyValue(false)),
    SettingRecord("pClearOutputImagesOutOfROI", new TARNPropertyValue(false)),
    SettingRecord("pClearOutputImagesInsideROI", new TARNPropertyValue(false)),
    SettingRecord("pLastOrNextReader", new TARNPropertyValue(true)),
    ProcessingTimeRecord(),
    TARNPropertyDefinition(),
};

TARNActionDefinition TARNImageProcessing1Src1Dest::ActionDefinitions[1] = {TARNActionDefinition()};

const TARNImageOperationInputs<TARNImageProcessing1Src1Dest, 2, 1> TARNImageProcessing1Src1Dest::ImageInputs = {
    .regions = {{"pInputROI", "iInputROI", &TARNImageProcessing1Src1Dest::inputROI},
                {"pOutputROI", "iOutputROI", &TARNImageProcessing1Src1Dest::outputROI}},
    .images = {{"iImage", &TARNImageProcessing1Src1Dest::lastImage, &TARNImageProcessing1Src1Dest::inputROI,
                "Incorrect input ROI"}},
};

TARNImageProcessing1Src1Dest::TARNImageProcessing1Src1Dest(const char* name, TARNComponentDefinition& definition)
    : TARNComponent(name, definition) {}

TARNImageProcessing1Src1Dest::~TARNImageProcessing1Src1Dest() {
    CloseOperation();
    CloseROI();
}

void TARNImageProcessing1Src1Dest::Dynamic() {
    TARNImageOperation::Dynamic(*this);
}

void TARNImageProcessing1Src1Dest::Set(TARNProperty& property, bool value) {
    TARNImageOperation::SetSetting(*this, property, value);
}

void TARNImageProcessing1Src1Dest::Set(TARNProperty& property, long value) {
    TARNImageOperation::SetSetting(*this, property, value);
}

void TARNImageProcessing1Src1Dest::Set(TARNProperty& property, double value) {
    TARNImageOperation::SetSetting(*this, property, value);
}

void TARNImageProcessing1Src1Dest::Set(TARNProperty& property, const TARNStackedString<40>& value) {
    TARNImageOperation::SetText(*this, ImageInputs, property, value);
}

bool TARNImageProcessing1Src1Dest::SetOperation(const char* name) {
    return TARNImageOperation::SetOperation(*this, name);
}

bool TARNImageProcessing1Src1Dest::SetParameters(const char* text) {
    return TARNImageOperation::SetParameters(*this, text, inputROI != nullptr,
                                             "This operation needs a ROI. Please specify the ROI first...");
}

bool TARNImageProcessing1Src1Dest::SetClicks(const char* text) {
    return TARNImageOperation::SetClicks(*this, text);
}

bool TARNImageProcessing1Src1Dest::SetROI(_IplROI** slot, const char* text) {
    return TARNImageOperation::SetROI(*this, slot, text);
}

bool TARNImageProcessing1Src1Dest::UpdateClickProperty(TARNProperty& property, TARNPoint2D* points, int count) {
    DirectSet(property, TARNImageText::ClicksText(points, count));
    return true;
}

bool TARNImageProcessing1Src1Dest::UpdateROIProperty(TARNProperty& property, _IplROI* roi) {
    DirectSet(property, TARNImageText::RegionText(roi));
    return true;
}

bool TARNImageProcessing1Src1Dest::Initialize() {
    return TARNImageOperation::Initialize(*this, ImageInputs);
}

bool TARNImageProcessing1Src1Dest::CloseOperation() {
    CloseParameters();
    CloseClicks();
    return true;
}

bool TARNImageProcessing1Src1Dest::CloseParameters() {
    TARNImageOperation::CloseParameters(*this);
    return true;
}

bool TARNImageProcessing1Src1Dest::CloseROI() {
    TARNImageOperation::CloseROI(*this, ImageInputs);
    return true;
}

bool TARNImageProcessing1Src1Dest::CloseClicks() {
    TARNImageOperation::CloseClicks(*this);
    return true;
}
