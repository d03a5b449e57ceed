// Serialisation of I/O elements into blocks (io_element_block.hpp) and back.
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

#include "dataflow/io_element_block.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_element_kind.hpp"
#include "dataflow/io_element_layout.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/memory.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace {

using TARNPrivate::IOEltBlockFixedBytes;
using TARNPrivate::IOEltBlockHead;
using TARNPrivate::IOEltBlockHeadWithoutTimeOfIssue;
using TARNPrivate::IOEltBlockTail;
using TARNPrivate::IOEltPayloadLayout;

// Serialisation reports are information for the engine's log (level 0): a failure is
// told to the caller by the result.
void report(const char* message) {
    TARNPrivate::Report(message, 0, 0, true);
}

constexpr const char* kCustomSerialization = "TARNIOElt serialization not supported for custom types.";
constexpr const char* kUnknownSerialization =
    "TARNIOElt serialization impossible : unknown type for TARNIOElt.";
constexpr const char* kInconsistentSerialization =
    "TARNIOElt serialization impossible : the element's sizes do not fit its buffer.";
constexpr const char* kTooBigSerialization =
    "TARNIOElt serialization impossible : the element does not fit a block of 4 GiB.";

constexpr const char* kNullSource = "TARNIOElt deserialization impossible : source pointer is NULL";
constexpr const char* kNotAllocated =
    "TARNIOElt deserialization impossible : destination is not allocated properly.";
constexpr const char* kBufferSizeTooBig =
    "TARNIOElt deserialization impossible : deserialized buffer size is bigger than allocated buffer size.";
constexpr const char* kVectorSizeTooBig =
    "TARNIOElt deserialization impossible : deserialized vector size is bigger than allocated buffer size.";
constexpr const char* kCustomDeserialization = "TARNIOElt deserialization not supported for custom types.";
constexpr const char* kNotEnoughMemory = "TARNIOelt deserialization impossible : not enough memory.";
constexpr const char* kShortBlock =
    "TARNIOElt deserialization impossible : the block ends before its contents.";
constexpr const char* kMalformedBlock =
    "TARNIOElt deserialization impossible : the block announces a negative or impossible size.";
constexpr const char* kPartTooBig =
    "TARNIOElt deserialization impossible : deserialized data is bigger than allocated buffer size.";
constexpr const char* kOtherKind =
    "TARNIOElt deserialization impossible : deserialized type does not fit the allocated buffer.";
constexpr const char* kNoPlaceForPart =
    "TARNIOElt deserialization impossible : destination has no memory for a part of the block.";

// The text of a type string as written: up to its length or its first NUL.
struct BlockText {
    const char* text = nullptr;
    std::uint32_t length = 0;
};

BlockText textOf(const TARNStackedString<40>* string) {
    if (string == nullptr) return {};
    return {string->c_str(), static_cast<std::uint32_t>(strnlen(string->c_str(), string->Length()))};
}

std::uint64_t textBytes(const BlockText& text) {
    return text.length > 0 ? text.length + 1ULL : 0;
}

template <class Value>
Value readField(const unsigned char* at) {
    Value value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <class Value>
void writeField(unsigned char* at, Value value) {
    std::memcpy(at, &value, sizeof value);
}

// Sequential writing into a destination known to be long enough.
class BlockWriter {
  public:
    explicit BlockWriter(unsigned char* block) : m_block(block) {}
    void put(const void* bytes, std::size_t count) {
        if (count == 0) return;
        std::memcpy(m_block + m_position, bytes, count);
        m_position += count;
    }
    template <class Value>
    void putField(Value value) {
        put(&value, sizeof value);
    }
    void putText(const BlockText& text) {
        putField(text.length);
        if (text.length == 0) return;
        put(text.text, text.length);
        putField('\0');
    }
    unsigned char* here() const { return m_block + m_position; }
    std::size_t position() const { return m_position; }

  private:
    unsigned char* m_block;
    std::size_t m_position = 0;
};

// Sequential reading of a block of known length: every take is checked against it.
class BlockReader {
  public:
    BlockReader(const unsigned char* block, unsigned long size) : m_block(block), m_size(size) {}
    // The next `count` bytes, or null (nothing consumed) when the block ends before them.
    const unsigned char* take(unsigned long count) {
        if (count > m_size - m_position) return nullptr;
        const unsigned char* at = m_block + m_position;
        m_position += count;
        return at;
    }

    bool atEnd() const { return m_position == m_size; }

  private:
    const unsigned char* m_block;
    unsigned long m_size;
    unsigned long m_position = 0;
};

// A type string as the block carries it.
struct ReadText {
    bool present = false;
    const char* text = nullptr;
    int length = 0;
};

// Reads a length and its text. False when the block ends first or the length cannot be a
// string's.
bool readText(BlockReader& reader, ReadText& result) {
    const unsigned char* lengthField = reader.take(sizeof(std::uint32_t));
    if (lengthField == nullptr) return false;
    const std::uint32_t length = readField<std::uint32_t>(lengthField);
    if (length == 0) return true;
    if (length >= INT_MAX) return false;
    const unsigned char* text = reader.take(length + 1UL);
    if (text == nullptr) return false;
    result.present = true;
    result.text = reinterpret_cast<const char*>(text);
    // The text ends at its NUL, which may come early; the reader moves on by length + 1.
    result.length = static_cast<int>(strnlen(result.text, length));
    return true;
}

void applyText(TARNStackedString<40>*& string, const ReadText& text) {
    if (text.present) {
        if (string == nullptr) string = new TARNStackedString<40>();
        string->init(text.length, text.text);
    } else if (string != nullptr) {
        *string = "";
    }
}

unsigned char* referenceAt(unsigned char* header, int offset) {
    return readField<unsigned char*>(header + offset);
}

// Offset of the header word that gives the bytes of data behind a header (IPL image,
// engine image, audio signal); -1 for the other kinds.
int sizeWordOffset(TARNIOEltKind kind) {
    switch (kind) {
        case TARNIOEltKind::IplImage:
            return offsetof(_IplImage, imageSize);
        case TARNIOEltKind::TARNImage:
            return offsetof(::TARNImage, size);
        case TARNIOEltKind::AudioSignal:
            return offsetof(TARNAudioSignal, dataSize);
        default:
            return -1;
    }
}

// Where a part of the block lands in the element's buffer.
struct PartTarget {
    int referenceOffset;
    const unsigned char* source;
    unsigned long bytes;
    unsigned char* destination;
};

}  // namespace

// ---- Serialize -------------------------------------------------------------------------

unsigned int TARNIOEltImplementation::Serialize(void* destination, unsigned int destinationSize) {
    const BlockText unit = textOf(type.unit);
    const BlockText typeName = textOf(type.typeName);
    const TARNIOEltKind kind = TARNPrivate::IOEltKindOf(type);
    const auto* payload = static_cast<const unsigned char*>(data);

    std::uint64_t payloadBytes = 0;
    IOEltPayloadLayout layout;
    if (payload != nullptr) {
        if (kind == TARNIOEltKind::CustomType) {
            report(kCustomSerialization);
            return Failure;
        }
        if (kind == TARNIOEltKind::Other) {
            report(kUnknownSerialization);
            return Failure;
        }
        if (TARNPrivate::IsPlainIOEltKind(kind)) {
            // The bytes copied must lie inside the buffer the element's capacity gives.
            if (kind != TARNIOEltKind::Structure && (vectorSize < 0 || vectorSize > bufferSize)) {
                report(kInconsistentSerialization);
                return Failure;
            }
            payloadBytes = IOEltUsedSizeInBytes(nullptr);
        } else {
            layout = TARNPrivate::DescribeIOEltPayload(kind, payload, vectorSize);
            if (!layout.valid) {
                report(kInconsistentSerialization);
                return Failure;
            }
            payloadBytes = layout.TotalBytes();
        }
    }

    const std::uint64_t total =
        TARNPrivate::SaturatedSum(IOEltBlockFixedBytes + textBytes(unit) + textBytes(typeName), payloadBytes);
    if (total >= Failure) {
        report(kTooBigSerialization);
        return Failure;
    }
    if (destination == nullptr) return static_cast<unsigned int>(total);
    if (total > destinationSize) return Failure;

    BlockWriter writer(static_cast<unsigned char*>(destination));
    IOEltBlockHead head;
    head.version = FormatVersion;
    head.bufferSize = static_cast<std::uint32_t>(bufferSize);
    head.vectorSize = static_cast<std::uint32_t>(vectorSize);
    head.timestamp = static_cast<std::uint64_t>(timestamp);
    head.timeOfIssue = static_cast<std::uint64_t>(timeOfIssue);
    head.type = type.type;
    head.unitLength = 0;  // written with the text
    writer.put(&head, sizeof head - sizeof head.unitLength);
    writer.putText(unit);
    writer.putText(typeName);
    const IOEltBlockTail tail{static_cast<std::uint64_t>(frequency), static_cast<std::uint32_t>(quality),
                              static_cast<std::uint32_t>(misc1), static_cast<std::uint32_t>(misc2),
                              static_cast<std::uint32_t>(misc3)};
    writer.put(&tail, sizeof tail);
    if (payload == nullptr) return static_cast<unsigned int>(writer.position());

    if (TARNPrivate::IsPlainIOEltKind(kind)) {
        writer.put(payload, payloadBytes);
        return static_cast<unsigned int>(writer.position());
    }
    unsigned char* header = writer.here();
    writer.put(payload, layout.headerBytes);
    for (int i = 0; i < layout.partCount; ++i) {
        const IOEltPayloadLayout::Part& part = layout.parts[i];
        // The part's address in the block replaces the element's own in the copied header.
        writeField(header + part.referenceOffset, writer.here());
        writer.put(referenceAt(const_cast<unsigned char*>(payload), part.referenceOffset), part.bytes);
    }
    return static_cast<unsigned int>(writer.position());
}

// ---- Deserialize -----------------------------------------------------------------------

unsigned int TARNIOEltImplementation::Deserialize(void* source, bool allocate) {
    return Deserialize(source, ULONG_MAX, allocate);
}

unsigned int TARNIOEltImplementation::Deserialize(const void* source, unsigned long sourceSize,
                                                  bool allocate) {
    if (source == nullptr) {
        report(kNullSource);
        return Failure;
    }
    const auto* block = static_cast<const unsigned char*>(source);
    // Unbounded: the whole address space from the block on.
    if (sourceSize == ULONG_MAX) sourceSize = UINTPTR_MAX - reinterpret_cast<std::uintptr_t>(block);
    BlockReader reader(block, sourceSize);

    // ---- Read and check the whole block; nothing is written until it has passed. ----

    if (sourceSize < sizeof(std::uint32_t)) {
        report(kShortBlock);
        return Failure;
    }
    const std::uint32_t version = readField<std::uint32_t>(block);
    if (version > FormatVersion) {
        TARNStreamedString message("Wrong binary format version for TARNIOElt, ");
        message << "received = " << version << ", current = " << FormatVersion;
        report(message.c_str());
        return Failure;
    }
    if (data == nullptr && !allocate) {
        report(kNotAllocated);
        return Failure;
    }

    // The fixed fields up to the unit length, which is read with the unit's text.
    const bool withoutTimeOfIssue = version <= LastVersionWithoutTimeOfIssue;
    const std::size_t headBytes =
        (withoutTimeOfIssue ? sizeof(IOEltBlockHeadWithoutTimeOfIssue) : sizeof(IOEltBlockHead)) -
        sizeof(std::uint32_t);
    const unsigned char* headFields = reader.take(headBytes);
    if (headFields == nullptr) {
        report(kShortBlock);
        return Failure;
    }
    IOEltBlockHead head{};
    if (withoutTimeOfIssue) {
        IOEltBlockHeadWithoutTimeOfIssue old{};
        std::memcpy(&old, headFields, headBytes);
        head = {old.version, old.bufferSize, old.vectorSize, old.timestamp, 0, old.type, 0};
    } else {
        std::memcpy(&head, headFields, headBytes);
    }

    const bool hasBuffer = data != nullptr;
    // Sizes are compared in 64 bits: a block's 0xFFFFFFFF is not the int -1.
    if (hasBuffer && static_cast<std::int64_t>(bufferSize) < static_cast<std::int64_t>(head.bufferSize)) {
        report(kBufferSizeTooBig);
        return Failure;
    }
    if (!hasBuffer && head.bufferSize > INT_MAX) {
        report(kMalformedBlock);
        return Failure;
    }
    const int capacity = hasBuffer ? bufferSize : static_cast<int>(head.bufferSize);
    if (static_cast<std::int64_t>(head.vectorSize) > capacity) {
        report(kVectorSizeTooBig);
        return Failure;
    }
    const int newVectorSize = static_cast<int>(head.vectorSize);

    ReadText unitText;
    ReadText nameText;
    if (!readText(reader, unitText) || !readText(reader, nameText)) {
        report(kShortBlock);
        return Failure;
    }
    const unsigned char* tailFields = reader.take(sizeof(IOEltBlockTail));
    if (tailFields == nullptr) {
        report(kShortBlock);
        return Failure;
    }
    const auto tail = readField<IOEltBlockTail>(tailFields);

    const TARNTypeInfo blockType(head.type);
    const TARNIOEltKind kind = TARNPrivate::IOEltKindOf(blockType);
    if (kind == TARNIOEltKind::CustomType) {
        report(kCustomDeserialization);
        return Failure;
    }
    if (kind == TARNIOEltKind::Other) return Failure;
    // A buffer is laid out for its element's kind and holds its capacity in items of its
    // width: a block of another plain kind fits it when its items are as wide (the element
    // then takes the block's type); a structured kind's parts fit only their own layout.
    if (hasBuffer) {
        const TARNIOEltKind own = TARNPrivate::IOEltKindOf(type);
        const bool fits = TARNPrivate::IsPlainIOEltKind(kind) && TARNPrivate::IsPlainIOEltKind(own)
                              ? TARNPrivate::IOEltItemBytes(kind) == TARNPrivate::IOEltItemBytes(own)
                              : kind == own;
        if (!fits) {
            report(kOtherKind);
            return Failure;
        }
    }

    const bool plainKind = TARNPrivate::IsPlainIOEltKind(kind);
    // An element without data is written without payload; a block whose known length ends
    // with its fixed fields is such an element's, or one cut right there: nothing tells the
    // two apart. An element with data takes such a block only while it claims nothing in
    // use (an empty vector reads the same either way): otherwise it would go on showing its
    // old items, or its old header and parts, under the block's sizes and times.
    const bool carriesPayload = !reader.atEnd();
    const bool claimsBytesInUse =
        !plainKind || (kind == TARNIOEltKind::Structure ? head.bufferSize : head.vectorSize) > 0;
    if (!carriesPayload && hasBuffer && claimsBytesInUse) {
        report(kShortBlock);
        return Failure;
    }
    const unsigned char* plainBytes = nullptr;
    unsigned long plainCount = 0;
    const unsigned char* blockHeader = nullptr;
    IOEltPayloadLayout layout;
    PartTarget parts[3] = {};
    if (!carriesPayload) {
        // Nothing to check against the buffer, nothing to copy into it.
    } else if (plainKind) {
        // What the writer's used size was: a structure's whole buffer, else its items.
        plainCount = kind == TARNIOEltKind::Structure
                         ? head.bufferSize
                         : TARNPrivate::SaturatedBytes(head.vectorSize, TARNPrivate::IOEltItemBytes(kind));
        plainBytes = reader.take(plainCount);
        if (plainBytes == nullptr) {
            report(kShortBlock);
            return Failure;
        }
    } else {
        blockHeader = reader.take(TARNPrivate::IOEltHeaderBytes(kind));
        if (blockHeader == nullptr) {
            report(kShortBlock);
            return Failure;
        }
        layout = TARNPrivate::DescribeIOEltPayload(kind, blockHeader, newVectorSize);
        if (!layout.valid) {
            report(kMalformedBlock);
            return Failure;
        }
        // Every part must fit the room the element's capacity gives it.
        unsigned long limit = ULONG_MAX;
        if (kind == TARNIOEltKind::Matrix)
            limit = TARNPrivate::SaturatedBytes(capacity, sizeof(double));
        else if (kind != TARNIOEltKind::Triangles3D)  // triangle arrays hold VectorSize records
            limit = static_cast<unsigned long>(capacity);
        for (int i = 0; i < layout.partCount; ++i) {
            const IOEltPayloadLayout::Part& part = layout.parts[i];
            const bool isRoi =
                kind == TARNIOEltKind::IplImage && part.referenceOffset == offsetof(_IplImage, roi);
            if (!isRoi && part.bytes > limit) {
                report(kPartTooBig);
                return Failure;
            }
            parts[i] = {part.referenceOffset, nullptr, part.bytes, nullptr};
            parts[i].source = reader.take(part.bytes);
            if (parts[i].source == nullptr) {
                report(kShortBlock);
                return Failure;
            }
        }
        // A header's size word tells its readers how many bytes lie behind it, whether or
        // not the block carries them.
        const int sizeWord = sizeWordOffset(kind);
        if (sizeWord >= 0 && readField<int>(blockHeader + sizeWord) > capacity) {
            report(kPartTooBig);
            return Failure;
        }
        // So do a matrix's dimensions, arrays or not: the imaginary array's place follows
        // from them.
        if (kind == TARNIOEltKind::Matrix &&
            static_cast<unsigned long>(readField<int>(blockHeader + 8)) *
                    static_cast<unsigned long>(readField<int>(blockHeader + 12)) >
                static_cast<unsigned long>(capacity)) {
            report(kPartTooBig);
            return Failure;
        }
        // An existing buffer keeps its own references, which must lead somewhere (a matrix's
        // arrays and an image's ROI have their fixed places in every buffer of their kind).
        if (hasBuffer && kind != TARNIOEltKind::Matrix) {
            auto* own = static_cast<unsigned char*>(data);
            for (int i = 0; i < layout.partCount; ++i) {
                if (kind == TARNIOEltKind::IplImage && parts[i].referenceOffset == offsetof(_IplImage, roi))
                    continue;
                if (referenceAt(own, parts[i].referenceOffset) == nullptr) {
                    report(kNoPlaceForPart);
                    return Failure;
                }
            }
        }
    }

    // ---- The block is sound: a buffer when needed, then the element's fields. ----

    auto applyFields = [&] {
        bufferSize = capacity;
        vectorSize = newVectorSize;
        timestamp = static_cast<long>(head.timestamp);
        type.type = head.type;
        applyText(type.unit, unitText);
        applyText(type.typeName, nameText);
        frequency = static_cast<long>(tail.frequency);
        quality = static_cast<int>(tail.quality);
        misc1 = static_cast<int>(tail.misc1);
        misc2 = static_cast<int>(tail.misc2);
        misc3 = static_cast<int>(tail.misc3);
    };

    auto* buffer = static_cast<unsigned char*>(data);
    if (!hasBuffer) {
        const unsigned long bufferBytes = TARNPrivate::IOEltNeededBytes(kind, capacity);
        try {
            buffer = static_cast<unsigned char*>(TARN::AllocSharedMemory(bufferBytes));
        } catch (...) {
            report(kNotEnoughMemory);
            return Failure;
        }
        // Without payload nothing is copied in: cleared, never what the heap held.
        if (!carriesPayload) std::memset(buffer, 0, bufferBytes);
    }

    data = buffer;
    applyFields();
    if (!carriesPayload) return 0;

    if (plainKind) {
        if (plainCount > 0) std::memcpy(buffer, plainBytes, plainCount);
        // A text gets its NUL when there is room for it.
        if (kind == TARNIOEltKind::TextAscii && static_cast<unsigned long>(capacity) > plainCount)
            buffer[plainCount] = 0;
        return 0;
    }

    const int headerBytes = layout.headerBytes;
    auto presentAt = [&](int referenceOffset) -> PartTarget* {
        for (int i = 0; i < layout.partCount; ++i)
            if (parts[i].referenceOffset == referenceOffset) return &parts[i];
        return nullptr;
    };

    switch (kind) {
        case TARNIOEltKind::Matrix: {
            // The arrays always lie behind the header; the imaginary one after room for the
            // real one: the block's values when the buffer was made here, else the capacity.
            const int rows = readField<int>(blockHeader + 8);
            const int cols = readField<int>(blockHeader + 12);
            const unsigned long values = static_cast<unsigned long>(rows) * static_cast<unsigned long>(cols);
            auto* real = reinterpret_cast<double*>(buffer + headerBytes);
            double* imag = real + (hasBuffer ? static_cast<unsigned long>(capacity) : values);
            PartTarget* realPart = presentAt(16);
            PartTarget* imagPart = presentAt(24);
            if (realPart != nullptr) realPart->destination = reinterpret_cast<unsigned char*>(real);
            if (imagPart != nullptr) imagPart->destination = reinterpret_cast<unsigned char*>(imag);
            // The header's bytes as written, then a matrix of this process over them: one
            // that never owns its arrays, which are part of the buffer.
            std::memcpy(buffer, blockHeader, headerBytes);
            new (buffer) TARNMatrix(rows, cols, realPart != nullptr ? real : nullptr,
                                    imagPart != nullptr ? imag : nullptr);
            break;
        }
        case TARNIOEltKind::IplImage: {
            _IplImage own;
            std::memcpy(&own, buffer, sizeof own);
            auto* header = reinterpret_cast<_IplImage*>(buffer);
            std::memcpy(header, blockHeader, headerBytes);
            PartTarget* roiPart = presentAt(offsetof(_IplImage, roi));
            PartTarget* pixelPart = presentAt(offsetof(_IplImage, imageData));
            // Every IPL element buffer has its ROI slot right behind the header and its
            // pixels behind that; the writer's addresses mean nothing here.
            auto* roiSlot = reinterpret_cast<_IplROI*>(buffer + headerBytes);
            char* pixelSlot = reinterpret_cast<char*>(buffer + headerBytes + sizeof(_IplROI));
            // An image has a region of interest exactly when the writer's had one.
            header->roi = roiPart == nullptr ? nullptr : hasBuffer && own.roi != nullptr ? own.roi : roiSlot;
            if (hasBuffer) {
                header->maskROI = own.maskROI;
                header->imageId = own.imageId;
                header->tileInfo = own.tileInfo;
                header->imageData = own.imageData;
                header->imageDataOrigin = own.imageDataOrigin;
            } else {
                header->maskROI = nullptr;
                header->imageId = nullptr;
                header->tileInfo = nullptr;
                header->imageData = pixelPart != nullptr ? pixelSlot : nullptr;
                header->imageDataOrigin = nullptr;
            }
            if (roiPart != nullptr) roiPart->destination = reinterpret_cast<unsigned char*>(header->roi);
            if (pixelPart != nullptr)
                pixelPart->destination = reinterpret_cast<unsigned char*>(header->imageData);
            break;
        }
        case TARNIOEltKind::TARNImage: {
            unsigned char* own = referenceAt(buffer, offsetof(::TARNImage, data));
            auto* header = reinterpret_cast<::TARNImage*>(buffer);
            std::memcpy(header, blockHeader, headerBytes);
            PartTarget* dataPart = presentAt(offsetof(::TARNImage, data));
            header->data = hasBuffer ? own : (dataPart != nullptr ? buffer + headerBytes : nullptr);
            // The room behind the data is this element's, not the writer's.
            header->bufferSize = capacity;
            if (dataPart != nullptr) dataPart->destination = header->data;
            break;
        }
        case TARNIOEltKind::AudioSignal: {
            unsigned char* own = referenceAt(buffer, offsetof(TARNAudioSignal, data));
            auto* header = reinterpret_cast<TARNAudioSignal*>(buffer);
            std::memcpy(header, blockHeader, headerBytes);
            PartTarget* dataPart = presentAt(offsetof(TARNAudioSignal, data));
            header->data = hasBuffer ? own : (dataPart != nullptr ? buffer + headerBytes : nullptr);
            if (dataPart != nullptr) dataPart->destination = header->data;
            break;
        }
        case TARNIOEltKind::Triangles3D: {
            TARNTriangles3D own;
            std::memcpy(&own, buffer, sizeof own);
            auto* header = reinterpret_cast<TARNTriangles3D*>(buffer);
            std::memcpy(header, blockHeader, headerBytes);
            PartTarget* thirdPart = presentAt(offsetof(TARNTriangles3D, third));
            PartTarget* firstPart = presentAt(offsetof(TARNTriangles3D, first));
            PartTarget* secondPart = presentAt(offsetof(TARNTriangles3D, second));
            if (hasBuffer) {
                header->third = own.third;
                header->first = own.first;
                header->second = own.second;
            } else {
                // Arrays in header order, each with room for the capacity's records.
                const unsigned long records = static_cast<unsigned long>(capacity);
                unsigned char* arrays = buffer + headerBytes;
                header->third = thirdPart != nullptr ? arrays : nullptr;
                header->first =
                    firstPart != nullptr ? arrays + records * TARNTriangles3D::ThirdRecordBytes : nullptr;
                header->second = secondPart != nullptr
                                     ? arrays + records * (TARNTriangles3D::ThirdRecordBytes +
                                                           TARNTriangles3D::FirstRecordBytes)
                                     : nullptr;
            }
            if (thirdPart != nullptr) thirdPart->destination = header->third;
            if (firstPart != nullptr) firstPart->destination = header->first;
            if (secondPart != nullptr) secondPart->destination = header->second;
            break;
        }
        default:
            break;
    }
    for (int i = 0; i < layout.partCount; ++i)
        if (parts[i].bytes > 0) std::memcpy(parts[i].destination, parts[i].source, parts[i].bytes);
    return 0;
}

// ---- Static helpers --------------------------------------------------------------------

bool TARNIOElt::IsDeserializable(void*) {
    TARNPrivate::Report("TARNIOElt::IsDeserializable not implemented yet. Returns always true.", 2, 0, false);
    return true;
}

int TARNIOElt::SerializedIOEltSizeInBytes(void* element) {
    if (element == nullptr) return -1;
    auto* stored = static_cast<TARNIOEltImplementation*>(element);
    // The payload's header lies right behind the element object, at the next multiple of 8.
    constexpr std::size_t payloadOffset = (sizeof(TARNIOEltImplementation) + 7) / 8 * 8;
    const auto* header = reinterpret_cast<const unsigned char*>(stored) + payloadOffset;
    const TARNIOEltKind kind = TARNPrivate::IOEltKindOf(stored->type);
    const unsigned long vectorItems =
        stored->vectorSize < 0 ? 0 : static_cast<unsigned long>(stored->vectorSize);
    const unsigned long bufferItems =
        stored->bufferSize < 0 ? 0 : static_cast<unsigned long>(stored->bufferSize);
    unsigned long bytes = 0;
    switch (kind) {
        case TARNIOEltKind::Structure:
        case TARNIOEltKind::RealObjects:
        case TARNIOEltKind::DrawingObjects:
        case TARNIOEltKind::AudioSignal:
        case TARNIOEltKind::Other:
            bytes = bufferItems;
            break;
        case TARNIOEltKind::Matrix: {
            // Arrays of the element's capacity, for each one the header references.
            IOEltPayloadLayout layout = TARNPrivate::DescribeIOEltPayload(kind, header, 0);
            bytes = layout.headerBytes;
            for (int i = 0; i < layout.partCount; ++i)
                bytes = TARNPrivate::SaturatedSum(bytes,
                                                  TARNPrivate::SaturatedBytes(bufferItems, sizeof(double)));
            break;
        }
        case TARNIOEltKind::IplImage:
        case TARNIOEltKind::TARNImage:
        case TARNIOEltKind::Triangles3D: {
            // The used size: the header and the parts it announces (an engine image counts
            // its 48-byte header, as its used size does).
            IOEltPayloadLayout layout = TARNPrivate::DescribeIOEltPayload(kind, header, stored->vectorSize);
            if (!layout.valid) return -1;
            bytes = layout.TotalBytes();
            break;
        }
        case TARNIOEltKind::CustomType:
            return -1;
        default:  // the integer, float, text, CAN-frame and stream kinds
            bytes = TARNPrivate::SaturatedBytes(vectorItems, TARNPrivate::IOEltItemBytes(kind));
            break;
    }
    return bytes > INT_MAX ? -1 : static_cast<int>(bytes);
}
