// The element inside each item of an output's ring: the fields behind TARNIOElt, the checks
// of its typed accessors and its serialisation.
//
// The member functions (and the static ones of TARNIOElt) are defined across these files:
//   io_element.cpp                 construction, typed accessors and their checks, sizes
//   io_element_serialization.cpp   Serialize, Deserialize, SerializedIOEltSizeInBytes,
//                                  IsDeserializable
#pragma once

#include "tarn/dataflow/io_element.hpp"
#include "tarn/engine/type_filter.hpp"
#include "tarn/engine/type_info.hpp"

// The one implementation of TARNIOElt: the element inside each item of an output's ring.
// A new element has every field zero, no data and no type strings; it owns its type
// strings, never its data buffer, which belongs to the output that set it up (or, after a
// Deserialize that allocated, to the caller).
//
// Typed accessors return the data pointer as the requested type (advanced by index x item
// size for the indexed ones). While the engine's check level is above 0 each first tests
// the element's type against its static filter and an index against 0 and BufferSize
// (the capacity, not VectorSize: a writer fills items before it sets the count); a
// failure is a kernel error (report, then -5), and the element is left unchanged.
//
// Elements are used by one thread at a time: the writer between StartWriting and
// StopWriting, a reader between its reading call and the release. Nothing here locks.
class TARNIOEltImplementation : public TARNIOElt {
  public:
    // The serialised format this SDK writes, and the last one before the time of issue
    // was added.
    static constexpr unsigned int FormatVersion = 102;
    static constexpr unsigned int LastVersionWithoutTimeOfIssue = 100;

    TARNIOEltImplementation() = default;
    // A copy would share the output's data buffer with the original.
    TARNIOEltImplementation(const TARNIOEltImplementation&) = delete;
    TARNIOEltImplementation& operator=(const TARNIOEltImplementation&) = delete;
    ~TARNIOEltImplementation() override = default;

    // What an output does to each element of its ring before it sets up new buffers: no
    // data, the capacity, frequency, quality and misc words 0, the output's type.
    // VectorSize, the times and BufferItemSize are left as they are.
    void ResetForBuffer(const TARNTypeInfo& outputType);

    void*& Data() override { return data; }
    long& TimeOfIssue() override { return timeOfIssue; }
    long& Timestamp() override { return timestamp; }
    int& VectorSize() override { return vectorSize; }
    int& BufferSize() override { return bufferSize; }
    long& Frequency() override { return frequency; }
    int& Quality() override { return quality; }
    TARNTypeInfo& Type() override { return type; }
    int& BufferItemSize() override { return bufferItemSize; }
    int* Integer32(int index) override;
    long* Integer64(int index) override;
    double* Float64(int index) override;
    float* Float32(int index) override;
    char* Text() override;
    char* TextAscii() override;
    char16_t* TextUnicode() override;
    _IplImage* IplImage() override;
    ::TARNImage* TARNImage() override;
    TARNCANFrame* CANFrame(int index) override;
    TARNMatrix* Matrix() override;
    TARNRealObject* RealObject(int index) override;
    TARNDrawingObject* DrawingObject(int index) override;
    TARNTriangles3D* Triangles3D() override;
    unsigned char* Stream8() override;
    unsigned short* Stream16() override;
    unsigned int* Stream32() override;
    TARNAudioSignal* AudioSignal() override;
    int& Misc1() override { return misc1; }
    int& Misc2() override { return misc2; }
    int& Misc3() override { return misc3; }

    // Sizes in bytes, computed in 64 bits. `plain` (when given) is set to true for the
    // vector kinds and false for the structured ones, and left alone for an unknown type.
    //   buffer: the room the element's BufferSize and type give its buffer; 0 without data.
    //   used:   what is in use (VectorSize items, or the structured payload's header and
    //           present parts); 0 without data. UnknownSize for a custom or unknown type,
    //           and for a structured header that gives a negative size.
    //   needed: the buffer size from BufferSize and type alone, whether there is data or
    //           not: what an element buffer must hold.
    unsigned long IOEltBufferSizeInBytes(bool* plain) override;
    unsigned long IOEltUsedSizeInBytes(bool* plain) override;
    unsigned long IOEltNeededBufferSizeInBytes(bool* plain) const;

    // Writes the element into `destination` as a block of format 102 (io_element_block.hpp)
    // and answers its length; with a null destination answers the length the block needs
    // and writes nothing. Failure writes nothing and answers Failure: a destination too
    // small (no report), a custom or unknown type with data, a structured header giving a
    // negative size, or a block longer than 0xFFFFFFFE bytes (reports).
    unsigned int Serialize(void* destination, unsigned int destinationSize) override;

    // Fills the element from a block of a format up to 102; answers 0, or Failure after a
    // report. The block's time of issue is skipped (the element keeps its own). With
    // `allocate`, an element without data gets a buffer of its needed size from
    // TARN::AllocSharedMemory, which the caller then owns and frees with
    // TARN::DeallocSharedMemory.
    //
    // The whole block is checked before anything is written, so a refused block leaves the
    // element as it was: the block must be long enough for every part it announces; its
    // VectorSize and every part length (rows x columns, image size, data sizes) must fit the
    // element's capacity (the block's BufferSize when the buffer is allocated here); an
    // element that has a buffer takes only blocks of its own element kind and needs a
    // non-null reference (image data, arrays) for every part the block carries. The
    // header's references are never taken from the block: they point into this element's
    // buffer, or keep the element's own values. An image has a region of interest exactly
    // when the block's has one: in the element's own ROI record, else in the ROI slot that
    // every IPL element buffer has at offset 144 (a buffer allocated here too, whose pixels
    // therefore always start at 164).
    //
    // This form trusts the caller that the block is whole; the sized form below checks
    // every read against `sourceSize`.
    unsigned int Deserialize(void* source, bool allocate) override;
    unsigned int Deserialize(const void* source, unsigned long sourceSize, bool allocate);

    // The checks of the typed accessors as functions of their own, with one more: a null
    // element. Kernel errors as described above; nothing is tested at check level 0.
    static void Check(TARNIOEltImplementation* element, TARNTypeFilterBase filter);
    static void Check(TARNIOEltImplementation* element, TARNTypeFilterBase filter, int index);

    // ---- Fields, in their binary order (pinned in io_element.cpp) ----------------------

    void* data = nullptr;
    // Capacity in items (bytes for structures, pixel bytes for images).
    int bufferSize = 0;
    // Items in use.
    int vectorSize = 0;
    long timestamp = 0;
    long timeOfIssue = 0;
    TARNTypeInfo type;
    long frequency = 0;
    int quality = 0;
    // Kept by the record base on its trigger-buffer copies: the copy's state (0x4 handed
    // to the writer, 0x8 marked for recording), its position in the ring and its buffer.
    unsigned int triggerState = 0;
    unsigned int ringPosition = 0;
    unsigned int bufferIndex = 0;
    // On a trigger-buffer copy: the byte capacity of the copy's data block.
    int bufferItemSize = 0;
    int misc1 = 0;
    int misc2 = 0;
    int misc3 = 0;

  private:
    template <class T>
    T* typedData(const TARNTypeFilterBase& filter);
    template <class T>
    T* indexedData(const TARNTypeFilterBase& filter, int index);
};
