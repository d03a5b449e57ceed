// The two-source image-processing base: its tables, construction, element declaration,
// property changes and the selection and parsing of the operation's settings.
#include "bases/image_processing_2src1dest.hpp"

#include <string>

#include "bases/image_operation_selection.hpp"
#include "bases/image_operation_text.hpp"
#include "dataflow/property.hpp"
#include "engine/type_filter.hpp"

namespace {

TARNTypeFilterBase* filter(const TARNTypeFilterBase& f) {
    // The definition records hold the filter by a non-const pointer; the SDK only reads it.
    return const_cast<TARNTypeFilterBase*>(&f);
}

// Changeable while running, enumeration values locked.
TARNPropertyDefinition setting(const char* name, TARNPropertyValue* value) {
    return TARNPropertyDefinition(name, value, nullptr, false, true, false, true);
}


}  // namespace

const char* const TARNImageProcessing2Src1Dest::ConstStrDelimiters = TARNImageText::Delimiters;

TARNInputDefinition TARNImageProcessing2Src1Dest::InputDefinitions[7] = {
    {"iImage0", nullptr, filter(TARN::FilterIplImage), 0, 1},
    {"iImage1", nullptr, filter(TARN::FilterIplImage), 0, 1},
    {"iInput0ROI", nullptr, filter(TARN::FilterIntegers32), 0, 1},
    {"iInput1ROI", nullptr, filter(TARN::FilterIntegers32), 0, 1},
    {"iOutputROI", nullptr, filter(TARN::FilterIntegers32), 0, 1},
    {"iPoint", nullptr, filter(TARN::FilterIntegers32), 0, 1},
    {},
};

TARNOutputDefinition TARNImageProcessing2Src1Dest::OutputDefinitions[2] = {
    {"oImage", 0, TARNTypeInfo(TARNTypeInfo::IplImage, "", ""), 1, 16, 1, 1},
    {},
};

TARNPropertyDefinition TARNImageProcessing2Src1Dest::PropertyDefinitions[15] = {
    setting("pOperation", new TARNPropertyValue("")),
    setting("pParameters", new TARNPropertyValue("")),
    setting("pInput0ROI", new TARNPropertyValue("")),
    setting("pInput1ROI", new TARNPropertyValue("")),
    setting("pOutputROI", new TARNPropertyValue("")),
    setting("pClicks", new TARNPropertyValue("")),
    setting("pQuerySyntax", new TARNPropertyValue("")),
    setting("pSpecifyDestinationSize", new TARNPropertyValue(false)),
    setting("pCrop", new TARNPropertyValue(false)),
    setting("pClearOutputImagesOutOfROI", new TARNPropertyValue(false)),
    setting("pClearOutputImagesInsideROI", new TARNPropertyValue(false)),
    setting("pLastOrNextReader", new TARNPropertyValue(true)),
    setting("pSynchroReaders", new TARNPropertyValue(false)),
    TARNPropertyDefinition("rProcessingTime", new TARNPropertyValue(-1L), nullptr, false, false, true, true),
    TARNPropertyDefinition(),
};

TARNActionDefinition TARNImageProcessing2Src1Dest::ActionDefinitions[1] = {TARNActionDefinition()};

TARNImageProcessing2Src1Dest::TARNImageProcessing2Src1Dest(const char* name, TARNComponentDefinition& definition)
    : TARNComponent(name, definition) {}

TARNImageProcessing2Src1Dest::~TARNImageProcessing2Src1Dest() {
    CloseOperation();
    CloseROI();
}

void TARNImageProcessing2Src1Dest::Dynamic() {
    TARNImageOperation::DeclareElements(*this);
    if (!tablePending) {
        Initialize();
        return;
    }
    // Cleared first: a derived class without a table is asked once, not at every change.
    tablePending = false;
    operations = GetOperationsDefinition();
    if (operations == nullptr)
        Error("SDK component error - Can't get a valid transformations description.. Please provide a valid one.",
              1, 0);
    CloseOperation();
    CloseROI();
    parameters = Parameters{};

    DirectSet(Property("pOperation"), TARNImageOperation::DefaultOperation(operations));
    Initialize();
}

void TARNImageProcessing2Src1Dest::Set(TARNProperty& property, bool value) {
    TARNComponent::Set(property, value);
    if ((State() & MainLoopEnded) == 0) reprocessEvent.Set();
}

void TARNImageProcessing2Src1Dest::Set(TARNProperty& property, long value) {
    TARNComponent::Set(property, value);
    if ((State() & MainLoopEnded) == 0) reprocessEvent.Set();
}

void TARNImageProcessing2Src1Dest::Set(TARNProperty& property, double value) {
    TARNComponent::Set(property, value);
    if ((State() & MainLoopEnded) == 0) reprocessEvent.Set();
}

void TARNImageProcessing2Src1Dest::Set(TARNProperty& property, const TARNStackedString<40>& value) {
    // Named first: a failed re-configuration may remove the property (StillDeclared).
    const std::string name = property.ShortName().c_str();
    TARNComponent::Set(property, value);
    TARNProperty* stillDeclared = TARNImageOperation::StillDeclared(*this, name);
    if (stillDeclared == nullptr) return;
    if (name == "pQuerySyntax") {
        TARNImageOperation::AnswerQuerySyntax(*this, *stillDeclared, value);
        return;
    }
    if ((State() & MainLoopEnded) != 0 || operations == nullptr) return;
    TARNMutexGuard guard(processingMutex);
    bool changed = false;
    if (name == "pOperation") {
        if (SetOperation(value.c_str())) {
            const TARNStackedString<40> parametersText = textOf("pParameters");
            const TARNStackedString<40> clicksText = textOf("pClicks");
            SetParameters(parametersText.c_str());
            SetClicks(clicksText.c_str());
            changed = true;
        }
    } else if (name == "pParameters") {
        changed = SetParameters(value.c_str());
    } else if (name == "pClicks") {
        changed = SetClicks(value.c_str());
    } else if (name == "pInput0ROI") {
        changed = SetROI(&input0ROI, value.c_str());
    } else if (name == "pInput1ROI") {
        changed = SetROI(&input1ROI, value.c_str());
    } else if (name == "pOutputROI") {
        changed = SetROI(&outputROI, value.c_str());
    }
    if (changed) reprocessEvent.Set();
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
    const TARNStackedString<40> operation = textOf("pOperation");
    const TARNStackedString<40> clicks = textOf("pClicks");
    const TARNStackedString<40> parametersText = textOf("pParameters");
    const TARNStackedString<40> input0 = textOf("pInput0ROI");
    const TARNStackedString<40> input1 = textOf("pInput1ROI");
    const TARNStackedString<40> output = textOf("pOutputROI");
    SetOperation(operation.c_str());
    SetClicks(clicks.c_str());
    SetParameters(parametersText.c_str());
    SetROI(&input0ROI, input0.c_str());
    SetROI(&input1ROI, input1.c_str());
    SetROI(&outputROI, output.c_str());
    return status == 0;
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
    delete outputROI;
    delete input0ROI;
    delete input1ROI;
    outputROI = nullptr;
    input0ROI = nullptr;
    input1ROI = nullptr;
    return true;
}

bool TARNImageProcessing2Src1Dest::CloseClicks() {
    TARNImageOperation::CloseClicks(*this);
    return true;
}

TARNStackedString<40> TARNImageProcessing2Src1Dest::textOf(const char* name) {
    return TARNImageOperation::TextOf(*this, name);
}

bool TARNImageProcessing2Src1Dest::flagOf(const char* name) {
    return TARNImageOperation::FlagOf(*this, name);
}
