// TARNStream8IOComponent: a byte-stream parser that also writes a byte stream. It reads
// and keeps its FIFO as TARNStream8InputComponent does, and SendData writes a block of
// bytes on "oStream8" as elements of at most "pOutputFIFOsSize" bytes each.
#pragma once

#include "tarn/bases/stream8_input_component.hpp"

class TARNStream8IOComponent : public TARNStream8InputComponent {
  public:
    static TARNOutputDefinition OutputDefinitions[2];
    static TARNPropertyDefinition OutputPropertyDefinitions[2];

    TARNStream8IOComponent(const char* name, TARNComponentDefinition& definition);

    // Also declares "oStream8" and "pOutputFIFOsSize".
    void Dynamic() override;
    // Also takes the output chunk size and allocates the output's buffers; a chunk size
    // below 1 (or beyond an int) ends in Error "Error while initializing the FIFO".
    void Birth() override;

    // Writes `size` bytes as elements of at most the chunk size, all with `timestamp` (0:
    // the current engine time). A negative size, or a component whose chunk size is not
    // set up (not born), is refused: a report, nothing written, false.
    virtual bool SendData(const unsigned char* data, int size, long timestamp);  // 27
    virtual bool SendData(const char* data, int size, long timestamp);           // 28

    // Bytes per output element, from "pOutputFIFOsSize" at Birth.
    int outputChunkSize = 0;
};
