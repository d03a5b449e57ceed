#include "tarn/engine/enum_struct.hpp"

#include <cstdio>

#include "tarn/engine/reports.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace {

using Names = TARNArray<TARNStackedString<40> >;

const char* const selectionMessage =
    "TARNEnumStruct::FromString: Selected value incompatible with enum values "
    "for property. Selected property is set to 0.";

// Reads the declared count and the selected index; false unless both are there.
bool readHeader(const TARNStackedString<40>& text, int& count, int& selected) {
    count = 0;
    selected = 0;
    return std::sscanf(text.c_str(), "%d|%d", &count, &selected) == 2;
}

}  // namespace

// The whole word is initialised, so that SelectionWord never reads an undefined half.
TARNEnumStruct::TARNEnumStruct() : selectedWord(0), values(new Names) {}

TARNEnumStruct::TARNEnumStruct(const char* names, int selected) : selectedWord(-1), values(new Names) {
    if (names == nullptr || names[0] == '\0') return;
    try {
        Names pieces = TARNStackedString<40>(names).Split('|');
        assignNames(pieces, 0, pieces.Size());
    } catch (...) {
        delete values;
        throw;
    }
    if (selected >= 0 && selected < Count()) {
        this->selected = selected;
    } else {
        // This message has no final point, unlike the one of FromString.
        TARN::ReportError(
            "Selected value incompatible with enum values for property. Selected property is set to 0", 0);
        this->selected = 0;
    }
}

TARNEnumStruct::TARNEnumStruct(const TARNEnumStruct& other) : selectedWord(other.selected), values(new Names) {
    try {
        assignNames(*other.values, 0, other.Count());
    } catch (...) {
        delete values;
        throw;
    }
}

TARNEnumStruct& TARNEnumStruct::operator=(const TARNEnumStruct& other) {
    Copy(other);
    return *this;
}

TARNEnumStruct::~TARNEnumStruct() {
    delete values;
}

void TARNEnumStruct::Copy(const TARNEnumStruct& other) {
    if (this == &other) return;
    selected = other.selected;
    assignNames(*other.values, 0, other.Count());
}

void TARNEnumStruct::assignNames(const Names& names, int first, int count) {
    if (values->Capacity() < count) {
        // Fresh storage: indexing the last slot allocates the smallest power of two above it.
        *values = Names();
        if (count > 0) (*values)(count - 1);
    }
    values->Clear();
    for (int i = 0; i < count; ++i) (*values)(i) = names[first + i];
}

TARNStackedString<40> TARNEnumStruct::ToString() const {
    TARNStreamedString text;
    text << Count() << "|" << selected;
    for (int i = 0; i < Count(); ++i) {
        text += "|";
        // Appended whole: a name may hold NULs.
        text += Name(i);
    }
    return text;
}

void TARNEnumStruct::FromString(const TARNStackedString<40>& text, bool selectionOnly) {
    int count;
    int index;
    if (!readHeader(text, count, index)) {
        TARNStackedString<40> message(
            "TARNEnumStruct::FromString: Ill-formed enum string [expected:nbVal|selected|val0|val1|val2...] "
            "[received:");
        message += text;
        message += "]";
        TARN::ReportError(message.c_str(), 0);
        return;
    }
    // Only an index beyond the names is replaced. A negative one is kept as it is: every
    // reader takes a selection below 0 as none.
    if (selectionOnly) {
        if (index < Count()) {
            selected = index;
        } else {
            selected = 0;
            TARN::ReportError(selectionMessage, 0);
        }
        return;
    }
    values->Clear();
    if (count <= 0) {
        selected = -1;
        return;
    }
    Names pieces = text.Split('|');
    // The first two pieces are the count and the index.
    if (pieces.Size() - 2 != count) {
        TARN::ReportError(
            "TARNEnumStruct::FromString: Declared size of enum struct does not match the number of given "
            "elements.",
            0);
        selected = -1;
        return;
    }
    assignNames(pieces, 2, count);
    if (index < count) {
        selected = index;
    } else {
        selected = 0;
        TARN::ReportError(selectionMessage, 0);
    }
}

bool TARNEnumStruct::IsEnumString(const TARNStackedString<40>& text) {
    int count;
    int index;
    return readHeader(text, count, index);
}

bool TARNEnumStruct::Select(const TARNStackedString<40>& name) {
    for (int i = 0; i < Count(); ++i) {
        if (Name(i) == name) {
            selected = i;
            return true;
        }
    }
    selected = -1;
    return false;
}
