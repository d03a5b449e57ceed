// TARNImageProcessing2Src1Dest: the two-source twin of TARNImageProcessing1Src1Dest. Its
// operation combines the latest image of each of two inputs into one output image; it
// selects, parses, crops, clears and re-processes the same way, with a region of interest
// per input image, and a derived class's own tables and properties are treated the same.
// The steps it shares with the one-source base are written once, over the members of its
// own TARNImageOperationState and the layout of its inputs in `ImageInputs`.
#pragma once

#include "tarn/bases/image_operation_inputs.hpp"
#include "tarn/bases/image_operation_records.hpp"
#include "tarn/bases/image_operation_state.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/runtime/ipl_image.hpp"

class TARNInput;
class TARNIOElt;

class TARNImageProcessing2Src1Dest
    : public TARNComponent,
      public TARNImageOperationState<TARNImageProcessing2Src1DestDefinition, TARNImageProcessing2Src1DestParameters> {
  public:
    using Definition = TARNImageProcessing2Src1DestDefinition;
    using Parameters = TARNImageProcessing2Src1DestParameters;

    static TARNInputDefinition InputDefinitions[7];
    static TARNOutputDefinition OutputDefinitions[2];
    static TARNPropertyDefinition PropertyDefinitions[15];
    static TARNActionDefinition ActionDefinitions[1];
    // Positions in the reading array.
    static constexpr int PointIndex = 0;
    static constexpr int Input0ROIIndex = 1;
    static constexpr int Input1ROIIndex = 2;
    static constexpr int OutputROIIndex = 3;
    static constexpr int Image0Index = 4;
    static constexpr int Image1Index = 5;
    static const char* const ConstStrDelimiters;

    TARNImageProcessing2Src1Dest(const char* name, TARNComponentDefinition& definition);
    ~TARNImageProcessing2Src1Dest() override;

    void Set(TARNProperty& property, bool value) override;                          // 13
    void Set(TARNProperty& property, long value) override;                          // 14
    void Set(TARNProperty& property, double value) override;                        // 15
    void Set(TARNProperty& property, const TARNStackedString<40>& value) override;  // 16
    using TARNComponent::Set;
    void Dynamic() override;  // 18
    void Core() override;     // 19
    void Birth() override;    // 20
    void Death() override;    // 22

    virtual bool ApplyOperation(_IplImage* input0, _IplImage* input1, _IplImage* output,
                                const Definition* operation, Parameters* parameters) = 0;  // 26
    virtual const Definition* GetOperationsDefinition() = 0;                                // 27
    // As the one-source model, with the smaller of the two widths and of the two heights,
    // and the first input's channel sequence when the operation names none (a warning
    // when the second's differs).
    virtual _IplImage GetOutputModel(const _IplImage* input0, const _IplImage* input1, const _IplROI* outputROI,
                                     const Definition* operation);  // 28

    bool SetOperation(const char* name);
    bool SetParameters(const char* text);
    bool SetClicks(const char* text);
    bool SetROI(_IplROI** slot, const char* text);
    bool UpdateClickProperty(TARNProperty& property, TARNPoint2D* points, int count);
    bool UpdateROIProperty(TARNProperty& property, _IplROI* roi);
    // "pOperation", "pClicks", "pParameters", "pInput0ROI", "pInput1ROI", "pOutputROI".
    bool Initialize();
    // One output image from a pair; the caller holds the processing mutex.
    void Process(TARNIOElt* first, TARNIOElt* second);
    bool Close() { return true; }
    bool CloseOperation();
    bool CloseParameters();
    bool CloseROI();
    bool CloseClicks();

    // ---- Fields (besides those of TARNImageOperationState) ------------------------------

    _IplROI* input0ROI = nullptr;
    _IplROI* input1ROI = nullptr;
    _IplROI* outputROI = nullptr;
    // The elements last read on "iImage0" and "iImage1", each still held by its input.
    TARNIOElt* lastImage0 = nullptr;
    TARNIOElt* lastImage1 = nullptr;
    TARNInput* readingInputs[6] = {};

  private:
    // The regions ("pInput0ROI", "pInput1ROI", "pOutputROI") and the two images of this
    // base, in reading order.
    static const TARNImageOperationInputs<TARNImageProcessing2Src1Dest, 3, 2> ImageInputs;
};
