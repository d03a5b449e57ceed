// I/O elements: one slot of data that an output publishes and its inputs read, with its
// sizes, times, type and free words, typed views of its buffer and its serialisation into
// a byte block.
#pragma once

#include "tarn/dataflow/io_element_payloads.hpp"
#include "tarn/engine/type_info.hpp"
#include "tarn/runtime/ipl_image.hpp"
#include "tarn/runtime/matrix.hpp"

// The public interface of an I/O element. The engine and other packages call it through
// its table, so the order of the virtual operations is fixed (slot numbers in the
// comments). The first nine and the misc words answer references: callers write through
// them (a writer sets Timestamp() and VectorSize() before publishing).
class TARNIOElt {
  public:
    // Returned by the size operations for a type whose size cannot be told.
    static constexpr unsigned long UnknownSize = 0xFFFFFFFF;
    // Returned by Serialize and Deserialize on failure.
    static constexpr unsigned int Failure = 0xFFFFFFFF;

    virtual void*& Data() = 0;                                      // 0
    virtual long& TimeOfIssue() = 0;                                // 1
    virtual long& Timestamp() = 0;                                  // 2
    virtual int& VectorSize() = 0;                                  // 3
    virtual int& BufferSize() = 0;                                  // 4
    virtual long& Frequency() = 0;                                  // 5
    virtual int& Quality() = 0;                                     // 6
    virtual TARNTypeInfo& Type() = 0;                               // 7
    virtual int& BufferItemSize() = 0;                              // 8
    virtual int* Integer(int index);                                // 9: Integer32(index)
    virtual int* Integer32(int index) = 0;                          // 10
    virtual long* Integer64(int index) = 0;                         // 11
    virtual double* Float64(int index) = 0;                         // 12
    virtual float* Float32(int index) = 0;                          // 13
    virtual char* Text() = 0;                                       // 14
    virtual char* TextAscii() = 0;                                  // 15
    virtual char16_t* TextUnicode() = 0;                            // 16
    virtual _IplImage* IplImage() = 0;                              // 17
    virtual ::TARNImage* TARNImage() = 0;                           // 18
    virtual TARNCANFrame* CANFrame(int index) = 0;                  // 19
    virtual TARNMatrix* Matrix() = 0;                               // 20
    virtual TARNRealObject* RealObject(int index) = 0;              // 21
    virtual TARNDrawingObject* DrawingObject(int index) = 0;        // 22
    virtual TARNTriangles3D* Triangles3D() = 0;                     // 23
    virtual unsigned char* Stream8() = 0;                           // 24
    virtual unsigned short* Stream16() = 0;                         // 25
    virtual unsigned int* Stream32() = 0;                           // 26
    virtual TARNAudioSignal* AudioSignal() = 0;                     // 27
    virtual int& Misc1() = 0;                                       // 28
    virtual int& Misc2() = 0;                                       // 29
    virtual int& Misc3() = 0;                                       // 30
    virtual unsigned long IOEltBufferSizeInBytes(bool* plain) = 0;  // 31
    virtual unsigned long IOEltUsedSizeInBytes(bool* plain) = 0;    // 32
    virtual unsigned int Serialize(void* destination, unsigned int destinationSize) = 0;  // 33
    virtual unsigned int Deserialize(void* source, bool allocate) = 0;                    // 34
    virtual ~TARNIOElt() = default;                                                       // 35, 36

    // Not implemented: reports so (level 2) and answers true.
    static bool IsDeserializable(void* block);
    // Bytes of the payload of an element stored with its payload directly behind it (at the
    // next multiple of 8 after the element object), as the record base keeps its copies;
    // -1 for a null element, a custom type, or a size beyond the range of an int.
    static int SerializedIOEltSizeInBytes(void* element);
};
