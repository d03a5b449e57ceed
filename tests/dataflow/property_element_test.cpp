// The property element: its table order, its flags and changed notice, what it forwards
// to its owner, its reference accessors and its renaming.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataflow/property_implementation.hpp"
#include "property_fixture.hpp"
#include "support/virtual_slot.hpp"

TEST(PropertySlots, VirtualOperationsSitInTheirSlots) {
    using P = TARNProperty;
    using Text = TARNStackedString<40>;
    EXPECT_EQ(VirtualSlot(&P::IntegerValue), 0);
    EXPECT_EQ(VirtualSlot(&P::StringValue), 1);
    EXPECT_EQ(VirtualSlot(&P::BoolValue), 2);
    EXPECT_EQ(VirtualSlot(&P::FloatValue), 3);
    EXPECT_EQ(VirtualSlot(&P::EnumValues), 4);
    EXPECT_EQ(VirtualSlot(&P::Name), 5);
    EXPECT_EQ(VirtualSlot(&P::ShortName), 6);
    EXPECT_EQ(VirtualSlot(&P::Unit), 7);
    EXPECT_EQ(VirtualSlot(&P::Owner), 8);
    EXPECT_EQ(VirtualSlot(&P::Type), 9);
    EXPECT_EQ(VirtualSlot(&P::SubType), 10);
    EXPECT_EQ(VirtualSlot(&P::IsMutable), 11);
    EXPECT_EQ(VirtualSlot(&P::SetMutable), 12);
    EXPECT_EQ(VirtualSlot(&P::PropertyChanged), 13);
    EXPECT_EQ(VirtualSlot(&P::AcknowledgePropertyChanged), 14);
    EXPECT_EQ(VirtualSlot(&P::GetPropertyChangedEvent), 15);
    EXPECT_EQ(VirtualSlot(&P::PropertyChangedEvent), 16);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(bool)>(&P::Set)), 17);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(long)>(&P::Set)), 18);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(int)>(&P::Set)), 19);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(double)>(&P::Set)), 20);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(const char*)>(&P::Set)), 21);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(const Text&)>(&P::Set)), 22);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(const TARNEnumStruct&)>(&P::Set)), 23);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(const Text&, int)>(&P::Set)), 24);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(bool&)>(&P::Get)), 25);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(long&)>(&P::Get)), 26);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(int&)>(&P::Get)), 27);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(double&)>(&P::Get)), 28);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(Text&)>(&P::Get)), 29);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(TARNEnumStruct&)>(&P::Get)), 30);
    EXPECT_EQ(VirtualSlot(static_cast<void (P::*)(TARNArray<Text>&, int&)>(&P::Get)), 31);
    EXPECT_EQ(VirtualSlot(&P::SetSetCallback), 32);
    EXPECT_EQ(VirtualSlot(&P::SetGetCallback), 33);
    EXPECT_EQ(VirtualSlot(&P::Lock), 34);
}

TEST_F(PropertyTest, ANewPropertyCarriesItsDefinition) {
    static TARNPropertyDefinition definition("gain", new TARNPropertyValue(1.5), "dB", false, true, false,
                                             true, 0x20);
    TARNProperty& property = *module->NewProperty(definition, "level");

    EXPECT_STREQ(property.Name().c_str(), "cam.level");
    EXPECT_STREQ(property.ShortName().c_str(), "level");
    EXPECT_STREQ(property.Unit(), "dB");
    EXPECT_EQ(property.Type(), TARNPropertyValue::Float);
    EXPECT_EQ(property.SubType(), 0x20u);
    EXPECT_EQ(property.Owner(), module.get());
    EXPECT_EQ(property.FloatValue(), 1.5);
    // The copy never holds the default: the static definition owns it.
    EXPECT_EQ(Impl(property).definition.defaultValue, nullptr);
    // Created changed, so that the first look sees the initial value.
    EXPECT_TRUE(property.PropertyChanged());
    EXPECT_EQ(property.GetPropertyChangedEvent(), &property.PropertyChangedEvent());
}

namespace {

struct MutableCase {
    const char* name;
    bool readOnly;
    bool setTo;
    bool answer;
};

const MutableCase MutableCases[] = {
    {"WritableMadeImmutable", false, false, false},
    {"WritableMadeMutable", false, true, true},
    {"ReadOnlyStaysImmutable", true, true, false},
};

class Mutability : public PropertyTest, public ::testing::WithParamInterface<MutableCase> {};

}  // namespace

TEST_P(Mutability, SetMutableAnswersIsMutable) {
    const MutableCase& c = GetParam();
    Rules rules;
    rules.readOnly = c.readOnly;
    TARNProperty& property = Make(Kind::Integer, "p", rules);
    EXPECT_EQ(property.IsMutable(), !c.readOnly);

    EXPECT_EQ(property.SetMutable(c.setTo), c.answer);
    EXPECT_EQ(property.IsMutable(), c.answer);
}

INSTANTIATE_TEST_SUITE_P(Property, Mutability, ::testing::ValuesIn(MutableCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PropertyTest, AcknowledgingClearsTheChangeUntilTheNextStore) {
    TARNProperty& property = Make(Kind::Integer);
    property.AcknowledgePropertyChanged();
    EXPECT_FALSE(property.PropertyChanged());
    EXPECT_EQ(property.PropertyChangedEvent().Wait(0), -3);

    property.Set(8L);

    EXPECT_TRUE(property.PropertyChanged());
    EXPECT_EQ(property.PropertyChangedEvent().Wait(0), 0);
}

namespace {

// Records what reaches the module's virtual operations, so that the forwarding of the
// property element is seen.
class RecordingModule : public TARNModule {
  public:
    RecordingModule() : TARNModule("rec", false, false) {}
    using TARNModule::Get;
    using TARNModule::Set;
    void Set(TARNProperty& property, long value) override {
        calls.push_back("Set(long " + std::to_string(value) + ")");
        TARNModule::Set(property, value);
    }
    void Set(TARNProperty& property, const TARNStackedString<40>& value) override {
        calls.push_back(std::string("Set(text \"") + value.c_str() + "\")");
        TARNModule::Set(property, value);
    }
    void Get(TARNProperty& property, long& value) override {
        calls.push_back("Get(long)");
        TARNModule::Get(property, value);
    }
    std::vector<std::string> calls;
};

}  // namespace

TEST_F(PropertyTest, SetAndGetGoThroughTheOwnersVirtualOperations) {
    RecordingModule recorder;
    static TARNPropertyDefinition count("count", new TARNPropertyValue(0L), nullptr, false, true);
    static TARNPropertyDefinition label("label", new TARNPropertyValue("x"), nullptr, false, true);
    TARNProperty& number = *recorder.NewProperty(count, nullptr);
    TARNProperty& text = *recorder.NewProperty(label, nullptr);

    number.Set(-3);  // an int is widened with its sign
    text.Set(static_cast<const char*>(nullptr));
    int low = 0;
    number.Get(low);

    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"Set(long -3)", "Set(text \"\")", "Get(long)"}));
    EXPECT_EQ(low, -3);
    EXPECT_STREQ(text.StringValue().c_str(), "");
}

TEST_F(PropertyTest, GetOfAnIntKeepsTheLow32Bits) {
    TARNProperty& property = Make(Kind::Integer);
    property.Set((1L << 32) + 5);
    int value = 0;
    property.Get(value);
    EXPECT_EQ(value, 5);
}

TEST_F(PropertyTest, GetOfNamesCopiesTheEnumeration) {
    TARNProperty& property = Make(Kind::Enumeration);
    TARNArray<TARNStackedString<40> > names;
    names.PushBack(TARNStackedString<40>("old"));
    int selected = -5;

    property.Get(names, selected);

    ASSERT_EQ(names.Size(), 3);
    EXPECT_STREQ(names[0].c_str(), "red");
    EXPECT_STREQ(names[2].c_str(), "blue");
    EXPECT_EQ(names.Capacity(), 4);
    EXPECT_EQ(selected, 1);
}

TEST_F(PropertyTest, PropertyValueRefreshesOnlyThroughAGetCallback) {
    TARNProperty& plain = Make(Kind::Integer, "plain");
    TARNProperty& computed = Make(Kind::Integer, "computed");
    computed.SetGetCallback([](TARNProperty&, void* result) { *static_cast<long*>(result) = 99; });
    // The owner refuses every read: a plain property must not ask it.
    class RefusingReads : public TARNModule {
      public:
        RefusingReads() : TARNModule("refusing", false, false) {}
        using TARNModule::Get;
        void Get(TARNProperty&, long&) override { throw 13; }
    } refusing;
    static TARNPropertyDefinition definition("n", new TARNPropertyValue(4L));
    TARNProperty& unasked = *refusing.NewProperty(definition, nullptr);

    EXPECT_EQ(Impl(plain).PropertyValue().integer, 7);
    EXPECT_EQ(Impl(unasked).PropertyValue().integer, 4);
    EXPECT_EQ(Impl(computed).PropertyValue().integer, 99);
    EXPECT_EQ(computed.IntegerValue(), 99);
}

// ---- Reference accessors ------------------------------------------------------------

TEST_F(PropertyTest, StringValueOfAnEnumerationIsTheSelectedName) {
    TARNProperty& property = Make(Kind::Enumeration);
    EXPECT_STREQ(property.StringValue().c_str(), "green");
    EXPECT_EQ(property.IntegerValue(), 1);
}

// The integer of an enumeration is its selection itself: written through the reference it
// selects, and it reads whatever the selection is when taken, nothing selected included.
TEST_F(PropertyTest, IntegerValueOfAnEnumerationIsItsSelection) {
    TARNProperty& property = Make(Kind::Enumeration);
    long& selection = property.IntegerValue();
    EXPECT_EQ(&property.IntegerValue(), &selection);

    selection = 2;
    EXPECT_EQ(property.EnumValues()->selected, 2);
    EXPECT_STREQ(property.StringValue().c_str(), "blue");

    property.IntegerValue() = 0;
    EXPECT_STREQ(property.EnumValues()->ToString().c_str(), "3|0|red|green|blue");

    for (int selected : {-1, -7, 1}) {
        property.EnumValues()->selected = selected;
        EXPECT_EQ(property.IntegerValue(), selected);
    }
}

namespace {

struct SelectionCase {
    const char* name;
    int selected;
    // The enumeration's text form after StringValue.
    const char* after;
};

// "red|green|blue" in an array of four slots.
const SelectionCase SelectionCases[] = {
    // Nothing to read: the names stay.
    {"NoSelection", -1, "3|-1|red|green|blue"},
    // Within the slots the array has, and beyond them: empty names up to the selection.
    {"WithinTheCapacity", 3, "4|3|red|green|blue|"},
    {"BeyondTheCapacity", 5, "6|5|red|green|blue|||"},
};

class StringValueOfEnumeration : public PropertyTest, public ::testing::WithParamInterface<SelectionCase> {};

}  // namespace

TEST_P(StringValueOfEnumeration, WithoutASelectedNameIsEmpty) {
    TARNProperty& property = Make(Kind::Enumeration);
    property.EnumValues()->selected = GetParam().selected;

    EXPECT_STREQ(property.StringValue().c_str(), "");
    EXPECT_STREQ(property.EnumValues()->ToString().c_str(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Property, StringValueOfEnumeration, ::testing::ValuesIn(SelectionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PropertyTest, AnAddedNameIsEmptyAndWritableEvenWhereTheArrayHeldAnOldOne) {
    TARNProperty& property = Make(Kind::Enumeration);
    // Three names in four slots; the fourth slot still holds a name of an earlier list.
    property.EnumValues()->FromString("4|0|a|b|c|stale", false);
    property.EnumValues()->FromString("3|2|x|y|z", false);
    property.EnumValues()->selected = 3;

    EXPECT_STREQ(property.StringValue().c_str(), "");
    property.StringValue() = "w";
    EXPECT_STREQ(property.EnumValues()->ToString().c_str(), "4|3|x|y|z|w");
    EXPECT_EQ(property.EnumValues()->values->Capacity(), 4);
}

TEST_F(PropertyTest, AccessorsOfAnotherKindAnswerNeutralValuesAndLeaveThePayload) {
    TARNProperty& text = Make(Kind::Text, "text");
    TARNProperty& number = Make(Kind::Integer, "number");

    // Writing through them must not reach the text's pointer.
    text.IntegerValue() = 12345;
    text.BoolValue() = true;
    text.FloatValue() = 3.0;
    number.StringValue() = "junk";

    EXPECT_STREQ(text.StringValue().c_str(), "abc");
    EXPECT_EQ(text.EnumValues(), nullptr);
    EXPECT_EQ(text.IntegerValue(), 0);
    EXPECT_STREQ(number.StringValue().c_str(), "");
    EXPECT_EQ(number.IntegerValue(), 7);
}

// ---- Renaming -----------------------------------------------------------------------

namespace {

struct RenameCase {
    const char* name;
    const char* fullName;
    const char* oldName;
    const char* newName;
    const char* after;
};

const RenameCase RenameCases[] = {
    {"OldNameAndPoint", "cam.gain", "cam", "front", "front.gain"},
    {"KeepsDeeperPoints", "cam.out.fifosize", "cam", "front", "front.out.fifosize"},
    {"LongerModuleName", "camera.gain", "cam", "front", "camera.gain"},
    {"OtherModule", "lens.gain", "cam", "front", "lens.gain"},
    {"NullNewName", "cam.gain", "cam", nullptr, ".gain"},
    {"NullOldNameIsAPoint", ".gain", nullptr, "front", "front.gain"},
    {"NameWithoutPoint", "cam", "cam", "front", "cam"},
};

class PropertyRename : public ::testing::TestWithParam<RenameCase> {};

}  // namespace

TEST_P(PropertyRename, RewritesOnlyTheOldModuleNameBeforeAPoint) {
    const RenameCase& c = GetParam();
    TARNPropertyImplementation property;
    property.fullName = c.fullName;
    property.shortName = "gain";

    property.Rename(c.oldName, c.newName);

    EXPECT_STREQ(property.Name().c_str(), c.after);
    EXPECT_STREQ(property.ShortName().c_str(), "gain");
}

INSTANTIATE_TEST_SUITE_P(Property, PropertyRename, ::testing::ValuesIn(RenameCases),
                         [](const auto& info) { return std::string(info.param.name); });
