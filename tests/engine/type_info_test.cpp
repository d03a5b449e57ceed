#include "tarn/engine/type_info.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

// "absent" for a null string, else the text in quotes.
std::string show(const TARNStackedString<40>* s) {
    return s == nullptr ? "absent" : "\"" + std::string(s->c_str()) + "\"";
}

TARNTypeInfo makeType(unsigned long code, const char* name, const char* unit) {
    return TARNTypeInfo(code, name, unit);
}

// Every combination of present and absent strings on both sides of the assignment.
TEST(TypeInfo, AssignmentDeepCopiesNameAndUnit) {
    const char* const texts[] = {nullptr, "", "a name long enough to live on the heap, not inline"};
    for (const char* sourceName : texts)
        for (const char* sourceUnit : texts)
            for (const char* targetName : texts)
                for (const char* targetUnit : texts) {
                    TARNTypeInfo target(0x2, targetName, targetUnit);
                    TARNTypeInfo* source = new TARNTypeInfo(0x8000000000001000UL, sourceName, sourceUnit);
                    const std::string name = show(source->typeName), unit = show(source->unit);
                    target = *source;
                    if (source->typeName != nullptr) {
                        EXPECT_NE(target.typeName, source->typeName);
                    }
                    if (source->unit != nullptr) {
                        EXPECT_NE(target.unit, source->unit);
                    }
                    delete source;
                    EXPECT_EQ(target.type, 0x8000000000001000UL);
                    EXPECT_EQ(show(target.typeName), name);
                    EXPECT_EQ(show(target.unit), unit);
                }
}

TEST(TypeInfo, CopyConstructionIsDeep) {
    TARNTypeInfo* source = new TARNTypeInfo(0x20, "image", "px");
    TARNTypeInfo copy(*source);
    TARNTypeInfo noStrings(0x4);
    TARNTypeInfo noStringsCopy(noStrings);
    delete source;
    EXPECT_EQ(copy.type, 0x20u);
    EXPECT_EQ(show(copy.typeName), "\"image\"");
    EXPECT_EQ(show(copy.unit), "\"px\"");
    EXPECT_EQ(noStringsCopy.typeName, nullptr);
    EXPECT_EQ(noStringsCopy.unit, nullptr);
}

TEST(TypeInfo, SelfAssignmentKeepsTheStrings) {
    TARNTypeInfo t = makeType(0x2, "n", "u");
    TARNTypeInfo& alias = t;
    t = alias;
    EXPECT_EQ(show(t.typeName), "\"n\"");
    EXPECT_EQ(show(t.unit), "\"u\"");
}

TEST(TypeInfo, SetNameAndSetUnitCreateOrReplace) {
    const struct {
        const char* initial;  // null: the string is absent
        const char* set;
        const char* expected;
    } cases[] = {
        {nullptr, "m/s", "\"m/s\""},
        {nullptr, nullptr, "\"\""},  // a null text leaves a present, empty string
        {"old", "new", "\"new\""},
        {"old", nullptr, "\"\""},
    };
    for (const auto& c : cases) {
        TARNTypeInfo t(0x4, c.initial, c.initial);
        TARNStackedString<40>* const nameBefore = t.typeName;
        t.SetName(c.set);
        t.SetUnit(c.set);
        EXPECT_EQ(show(t.typeName), c.expected);
        EXPECT_EQ(show(t.unit), c.expected);
        // A present string is reused, not replaced.
        if (nameBefore != nullptr) {
            EXPECT_EQ(t.typeName, nameBefore);
        }
    }
}

}  // namespace
