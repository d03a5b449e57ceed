#pragma once
// A stand-in for the GPU decoder's device layer (GpuFrameDecoder::Decode and Release), in
// place of the one over the CUDA runtime: the test says how the device answers and reads
// what it was asked. A device that works decodes with the processor pipeline, whose
// pixels a GPU pipeline gives too; one that fails writes nothing.
namespace stand_in_gpu {

struct Device {
    int answer = 0;            // what each Decode returns: 0, or an error code
    int decodes = 0;           // Decode calls
    bool holdsCopy = false;    // a device copy of a frame is allocated
    int copiesReleased = 0;    // Release calls that freed one
};

// The one device of the process; a test resets it before use.
Device& TheDevice();

}  // namespace stand_in_gpu
