// TARNImageProcessing1Src1Dest: the base of components that turn one IPL image into one
// IPL image by an operation chosen by name. The derived class supplies its table of
// operations and the operation itself; the base declares the inputs, output and
// properties, parses the operation's parameters, clicks and regions of interest, reads
// the images, builds the output model on the first frame, crops and clears around the
// output region and publishes the result. A change of the operation or its settings
// re-applies the operation to the last image read and publishes the result again, so the
// user sees its effect at once. That holds for the derived class's own properties too:
// setting one of type bool, integer or float while the component runs re-processes the
// last image (a text property of its own does not; the base's do).
//
// A derived class may declare element tables of its own in its TARNComponentDefinition:
// the component is built with them first, then the base adds its elements in Dynamic(), so
// the derived class's properties come before the base's. Most member functions run steps
// it shares with its two-source twin, written once over the members of
// TARNImageOperationState and the layout of its inputs in `ImageInputs`.
#pragma once

#include "tarn/bases/image_operation_inputs.hpp"
#include "tarn/bases/image_operation_records.hpp"
#include "tarn/bases/image_operation_state.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/runtime/ipl_image.hpp"

class TARNInput;
class TARNIOElt;

class TARNImageProcessing1Src1Dest
    : public TARNComponent,
      public TARNImageOperationState<TARNImageProcessing1Src1DestDefinition, TARNImageProcessing1Src1DestParameters> {
  public:
    using Definition = TARNImageProcessing1Src1DestDefinition;
    using Parameters = TARNImageProcessing1Src1DestParameters;

    // The element tables every such component declares in Dynamic().
    static TARNInputDefinition InputDefinitions[5];
    static TARNOutputDefinition OutputDefinitions[2];
    static TARNPropertyDefinition PropertyDefinitions[13];
    static TARNActionDefinition ActionDefinitions[1];
    // Positions in the reading array, which Core dispatches on.
    static constexpr int PointIndex = 0;
    static constexpr int InputROIIndex = 1;
    static constexpr int OutputROIIndex = 2;
    static constexpr int ImageIndex = 3;
    // Every text parser of the class splits at these characters.
    static const char* const ConstStrDelimiters;

    // The definition's own tables are normally empty: the base's elements come from
    // Dynamic(), which the engine runs once the component is made.
    TARNImageProcessing1Src1Dest(const char* name, TARNComponentDefinition& definition);
    ~TARNImageProcessing1Src1Dest() override;

    // ---- Virtual operations (slots of TARNComponent, then 26 to 28) ------------------

    // Each stores the value and asks Core to re-apply the operation.
    void Set(TARNProperty& property, bool value) override;                          // 13
    void Set(TARNProperty& property, long value) override;                          // 14
    void Set(TARNProperty& property, double value) override;                        // 15
    // Also applies the operation, parameter, click and region texts while running, under
    // the processing mutex, and answers "pQuerySyntax".
    void Set(TARNProperty& property, const TARNStackedString<40>& value) override;  // 16
    using TARNComponent::Set;
    void Dynamic() override;  // 18
    void Core() override;     // 19
    void Birth() override;    // 20
    void Death() override;    // 22

    // The operation: fills `output` from `input`; false discards the output element.
    virtual bool ApplyOperation(_IplImage* input, _IplImage* output, const Definition* operation,
                                Parameters* parameters) = 0;  // 26
    // The first record of the operation table, ended by a record with a null name.
    virtual const Definition* GetOperationsDefinition() = 0;  // 27
    // The model of the output images, fixed at the first frame after each Birth: the input
    // size (or, with "pSpecifyDestinationSize", the output region's far corner), 8 bits
    // per channel, rows aligned to 8 bytes, the operation's channel sequence or the
    // input's.
    virtual _IplImage GetOutputModel(const _IplImage* input, const _IplROI* outputROI,
                                     const Definition* operation);  // 28

    // ---- Selection and parsing (open to derived classes) -----------------------------

    bool SetOperation(const char* name);
    bool SetParameters(const char* text);
    bool SetClicks(const char* text);
    bool SetROI(_IplROI** slot, const char* text);
    bool UpdateClickProperty(TARNProperty& property, TARNPoint2D* points, int count);
    bool UpdateROIProperty(TARNProperty& property, _IplROI* roi);
    // Re-applies "pOperation", "pClicks", "pParameters", "pInputROI", "pOutputROI" in this
    // order; true when the operation is ready to run.
    bool Initialize();
    // Produces one output image from `input`; the caller holds the processing mutex.
    void Process(TARNIOElt* input);
    bool Close() { return true; }
    bool CloseOperation();
    bool CloseParameters();
    bool CloseROI();
    bool CloseClicks();

    // ---- Fields (besides those of TARNImageOperationState) ------------------------------

    _IplROI* inputROI = nullptr;
    _IplROI* outputROI = nullptr;
    // The element last read on "iImage", which the input still holds: re-processing uses
    // it until the next read on "iImage" hands it back.
    TARNIOElt* lastImage = nullptr;
    TARNInput* readingInputs[4] = {};

  private:
    // The regions ("pInputROI", "pOutputROI") and the image of this base, in reading order.
    static const TARNImageOperationInputs<TARNImageProcessing1Src1Dest, 2, 1> ImageInputs;
};
