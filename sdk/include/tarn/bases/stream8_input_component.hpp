// TARNStream8InputComponent: the base of components that parse byte streams. Every
// element read on "iStream8" is appended to a byte FIFO of the component's own, each byte
// with its timestamp and time of issue; after each element the derived class is handed
// the FIFO and consumes (pops) what it can parse. What it leaves stays for the next call.
#pragma once

#include "tarn/dataflow/component.hpp"
#include "tarn/runtime/ring_buffer_region.hpp"

class TARNStream8InputComponent : public TARNComponent {
  public:
    static TARNInputDefinition InputDefinitions[2];
    static TARNPropertyDefinition PropertyDefinitions[2];

    TARNStream8InputComponent(const char* name, TARNComponentDefinition& definition);
    ~TARNStream8InputComponent() override;

    // Declares "iStream8" and "pInputFIFOSize".
    void Dynamic() override;  // 18
    // One input element per call.
    void Core() override;  // 19
    // A new, empty FIFO of "pInputFIFOSize" bytes.
    void Birth() override;  // 20
    void Death() override;  // 22

    // The FIFO: `region` tells which positions of the three arrays hold unconsumed bytes.
    virtual void ProcessStream8Data(TARNRBRegion& region, unsigned char* data, long* timestamps,
                                    long* timesOfIssue) = 0;  // 26

    // Frees the arrays and makes an empty FIFO of `size` bytes; a size the FIFO cannot
    // have (below 1, or beyond an int) ends in Error "Error while initializing the FIFO".
    void Initialize(long size);
    // Frees the arrays.
    bool Close();

    // ---- Fields ------------------------------------------------------------------------

    unsigned char* fifoData = nullptr;
    long* fifoTimestamps = nullptr;
    long* fifoTimesOfIssue = nullptr;
    TARNRBRegion fifoRegion;
};
