// Enumerations: a list of names with one selected index, and their text form.
#pragma once

#include <bit>

#include "tarn/runtime/ring_array.hpp"
#include "tarn/runtime/stacked_string.hpp"

// The value of an enumeration property. Its text form, through which the engine and the
// user set it (and HostGraph::Set, beside a value's name or index), is the number of names,
// the selected index and the names, all separated by "|": "3|1|red|green|blue". Set from
// that form, a property whose definition has fixedEnumValues takes the selected index
// alone and keeps its own names (FromString with `selectionOnly`); any other property takes
// the names too. Names are not escaped, so a name holding "|" does not survive the text
// form.
//
// Failures are reports at level 2 (parameter 0), never exceptions; they leave the
// enumeration in a defined state.
class TARNEnumStruct {
  public:
    // No names, index 0 selected.
    TARNEnumStruct();
    // The names given as one text separated by "|" (empty pieces stay as empty names). A
    // null or empty text gives no names and selects -1. A selected index outside the
    // names is reported and replaced by 0.
    TARNEnumStruct(const char* names, int selected);
    // Deep copies (names with their extra words, and the selected index).
    TARNEnumStruct(const TARNEnumStruct& other);
    TARNEnumStruct& operator=(const TARNEnumStruct& other);
    virtual ~TARNEnumStruct();

    // Makes this enumeration a deep copy of `other`. The names array is reallocated only
    // when it is too small, to the smallest power of two that holds the names, which then
    // start at ring position 0.
    void Copy(const TARNEnumStruct& other);

    // "count|selected|name0|name1...", numbers in decimal; no names reads "0|-1".
    TARNStackedString<40> ToString() const;
    // Applies a text form. With `selectionOnly` only the selected index is taken (names
    // and the declared count in the text are ignored); otherwise the names are replaced
    // too. A selected index beyond the names is reported and replaced by 0; a negative one
    // is kept. A text that does not start with two numbers changes nothing.
    void FromString(const TARNStackedString<40>& text, bool selectionOnly);
    // True when the text starts with two numbers separated by "|" ("%d|%d").
    static bool IsEnumString(const TARNStackedString<40>& text);
    // Selects the first name with the same length and bytes; with no such name selects -1
    // and returns false.
    bool Select(const TARNStackedString<40>& name);

    int Count() const { return values->Size(); }
    const TARNStackedString<40>& Name(int i) const { return (*values)[i]; }

    // The selection as a 64-bit integer that may be written: the property's IntegerValue of
    // an enumeration. A write stores its low 32 bits as the selected index. The word is made
    // to read the present index on each call, so take it again after the selection changed
    // by another way.
    long& SelectionWord() {
        // Written only when it reads otherwise: readers of a settled selection share it.
        if (selectedWord != selected) selectedWord = selected;
        return selectedWord;
    }

    // The selected index: -1 when nothing is selected (any index below 0 selects nothing).
    // It shares its 64-bit slot with the word handed out by SelectionWord, on this
    // little-endian target its low half.
    union {
        int selected;
        long selectedWord;
    };
    // Owned; never null.
    TARNArray<TARNStackedString<40> >* values;

  private:
    // Replaces the names by `count` names read from `names` starting at element `first`.
    void assignNames(const TARNArray<TARNStackedString<40> >& names, int first, int count);
};

static_assert(std::endian::native == std::endian::little, "the selected index is the low half of its word");
static_assert(sizeof(TARNEnumStruct) == 24);
