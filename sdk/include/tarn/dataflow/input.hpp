// Inputs: where a module reads what another module's output publishes.
#pragma once

#include "tarn/runtime/stacked_string.hpp"

class TARNOutput;
class TARNTypeInfo;

// The public interface of an input. The engine calls it through its table, so the order
// of the virtual operations is fixed.
class TARNInput {
  public:
    virtual bool IsConnected() const = 0;               // 0
    virtual TARNOutput* ConnectedOutput() const = 0;    // 1
    virtual const TARNTypeInfo& Type() const = 0;       // 2
    virtual const TARNStackedString<40>& Name() const = 0;  // 3
    virtual const char* ShortName() const = 0;          // 4
    virtual bool DataAvailableInFIFO() = 0;             // 5
    virtual int NbDataAvailableInFIFO() = 0;            // 6
    virtual ~TARNInput() = default;                     // 7, 8
};
