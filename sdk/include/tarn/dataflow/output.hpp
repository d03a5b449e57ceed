// Outputs: where a module publishes its elements, through a ring it owns, to the inputs
// connected to it.
#pragma once

#include "tarn/dataflow/io_element_payloads.hpp"
#include "tarn/runtime/ipl_image.hpp"
#include "tarn/runtime/stacked_string.hpp"

class TARNIOMonitor;
class TARNTypeInfo;

// The public interface of an output. The engine and other packages call it through its
// table, so the order of the virtual operations is fixed.
class TARNOutput {
  public:
    // 0 to 5: the element buffers, by element type (TARNOutputBuffers says how).
    virtual void AllocOutputBuffer(int isize, bool allocate) = 0;
    virtual void AllocOutputBufferIplImage(const _IplImage& model, bool headerOnly) = 0;
    virtual void AllocOutputBufferImage(int isize, int w, int h, unsigned int coding, unsigned int extra,
                                        bool headerOnly) = 0;
    virtual void AllocOutputBufferTARNImage(int isize, int w, int h, unsigned int coding, unsigned int extra,
                                            bool headerOnly) = 0;
    virtual void AllocOutputBufferMatrix(int m, int n) = 0;
    virtual void AllocOutputBufferAudioSignal(const TARNAudioSignal& model) = 0;
    virtual const TARNStackedString<40>& Name() const = 0;  // 6
    virtual unsigned int NbFIFOOverflows() = 0;             // 7
    virtual TARNIOMonitor* Monitor() = 0;                   // 8
    virtual void MakeShareable() = 0;                       // 9
    virtual void MakeUnshareable() = 0;                     // 10
    virtual int IOEltSizeBytes() = 0;                       // 11
    virtual int NbFreeSlotsInFIFO() const = 0;              // 12
    virtual const TARNTypeInfo& Type() const = 0;           // 13
    virtual void SetTypeValue(long code) = 0;               // 14
    virtual void SetTypeUnit(const char* text) = 0;         // 15
    virtual void SetUnit(const char* text) = 0;             // 16
    virtual const char* TypeUnit() const = 0;               // 17
    virtual const char* Unit() const = 0;                   // 18
    virtual void SetTypeName(const char* text) = 0;         // 19
    virtual const char* TypeName() const = 0;               // 20
    virtual ~TARNOutput() = default;                        // 21, 22
};
