// Renaming a record method: the module and its elements take the new name, and each of its
// symbols in the kernel's table moves with its kind and data words.
#include <gmock/gmock.h>

#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "dataflow/output_implementation.hpp"
#include "engine/symbol_record.hpp"
#include "recording_fixture.hpp"
#include "support/virtual_slot.hpp"

namespace {

using ::testing::ElementsAre;

constexpr const char* OldName = "Rec.cam.out";
constexpr const char* NewName = "Rec2.cam.out";
// The host registers no symbol for an input; the engine does. The tests stand in for it.
constexpr int InputSymbolKind = 77;

// What a symbol record holds besides its name.
using SymbolContents = std::tuple<int, void*, void*>;

class RecordMethodRename : public RecordingTest {
  protected:
    // The record method of the recorder Rec for the output cam.out: Rec.cam.out.
    TestRecordMethod& MakeMethod() {
        TARNOutputImplementation& output = MakeSource("cam");
        TestRecorder& rec = MakeRecorder("Rec");
        auto definition = TestMethodDefinition();
        auto& method = Make<TestRecordMethod>(definition, rec, output);
        TARNSymRec* input = kernel.RegisterSymbol("Rec.cam.out.input", InputSymbolKind);
        input->data[0] = &method;
        input->data[1] = &method.Input(0);
        kernel.ConfirmSymbol();
        return method;
    }

    // The method's symbols by the part after "<prefix>.", as the kernel holds them under
    // that prefix; a name the kernel does not know is left out.
    std::map<std::string, SymbolContents> Symbols(const TARNModule& method, const std::string& prefix) {
        std::map<std::string, SymbolContents> symbols;
        for (const TARNStackedString<40>& name : method.symbolNames) {
            const std::string full = name.c_str();
            const std::string element = full.substr(full.find(".out.") + 5);
            if (TARNSymRec* record = kernel.FindSymbol((prefix + "." + element).c_str()))
                symbols[element] = {record->kind, record->data[0], record->data[1]};
        }
        return symbols;
    }
};

TEST_F(RecordMethodRename, RenameSitsInSlotTwo) {
    EXPECT_EQ(VirtualSlot(&TARNRecordReplayMethod::Rename), 2);
}

TEST_F(RecordMethodRename, EverySymbolMovesWithItsKindAndDataWords) {
    TestRecordMethod& method = MakeMethod();
    const auto before = Symbols(method, OldName);
    ASSERT_TRUE(before.count("trigger") && before.count("input") && before.count("priority"));

    // The engine may hand the module's own name as the old one.
    method.Rename(method.Name(), NewName);

    EXPECT_STREQ(method.Name(), NewName);
    EXPECT_STREQ(method.Property("trigger").Name().c_str(), "Rec2.cam.out.trigger");
    EXPECT_EQ(Symbols(method, NewName), before);
    EXPECT_TRUE(Symbols(method, OldName).empty());
    for (const auto& [element, contents] : before) {
        const std::string name = std::string(NewName) + "." + element;
        TARNSymRec* record = kernel.FindSymbol(name.c_str());
        ASSERT_NE(record, nullptr) << name;
        EXPECT_STREQ(record->name, name.c_str());
    }
    EXPECT_TRUE(ReportsAt(2).empty());
}

// A symbol that cannot move is reported and skipped; the others still move.
struct RenameFault {
    const char* name;
    std::function<void(HostKernel&)> prepare;
    const char* message;
    // The kind registered under Rec2.cam.out.alias afterwards; 0 for none.
    int aliasKindAfter;
};

class RecordMethodRenameFault : public RecordMethodRename, public ::testing::WithParamInterface<RenameFault> {};

int Stranger;

TEST_P(RecordMethodRenameFault, IsReportedAndTheOtherSymbolsMove) {
    const RenameFault& fault = GetParam();
    TestRecordMethod& method = MakeMethod();
    const int triggerKind = kernel.FindSymbol("Rec.cam.out.trigger")->kind;
    fault.prepare(kernel);

    method.Rename(OldName, NewName);

    EXPECT_THAT(ReportsAt(2), ElementsAre(HostReport{fault.message, 2, 1, true}));
    EXPECT_EQ(kernel.FindSymbol("Rec.cam.out.alias"), nullptr);
    TARNSymRec* alias = kernel.FindSymbol("Rec2.cam.out.alias");
    EXPECT_EQ(alias ? alias->kind : 0, fault.aliasKindAfter);
    ASSERT_NE(kernel.FindSymbol("Rec2.cam.out.trigger"), nullptr);
    EXPECT_EQ(kernel.FindSymbol("Rec2.cam.out.trigger")->kind, triggerKind);
    ASSERT_NE(kernel.FindSymbol("Rec2.cam.out.input"), nullptr);
    EXPECT_EQ(kernel.FindSymbol("Rec2.cam.out.input")->data[0], &method);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RecordMethodRenameFault,
    ::testing::Values(
        RenameFault{"Missing", [](HostKernel& kernel) { kernel.UnregisterSymbol("Rec.cam.out.alias"); },
                    "Renaming error. Symbol \"Rec.cam.out.alias\" doesn't exist.", 0},
        RenameFault{"Taken",
                    [](HostKernel& kernel) {
                        kernel.RegisterSymbol("Rec2.cam.out.alias", 42)->data[0] = &Stranger;
                        kernel.ConfirmSymbol();
                    },
                    "Renaming error. Symbol \"Rec2.cam.out.alias\" already exists.", 42}),
    [](const ::testing::TestParamInfo<RenameFault>& info) { return std::string(info.param.name); });

TEST_F(RecordMethodRename, ANameTakenByAnotherOwnerOutlivesTheMethod) {
    TestRecordMethod& method = MakeMethod();
    TARNSymRec* taken = kernel.RegisterSymbol("Rec2.cam.out.alias", 42);
    taken->data[0] = &Stranger;
    kernel.ConfirmSymbol();
    method.Rename(OldName, NewName);

    methods.clear();

    TARNSymRec* alias = kernel.FindSymbol("Rec2.cam.out.alias");
    ASSERT_NE(alias, nullptr);
    EXPECT_EQ(alias->data[0], &Stranger);
    EXPECT_EQ(kernel.FindSymbol("Rec2.cam.out.trigger"), nullptr);
}

}  // namespace

// Renaming a replaying output's module renames the replay method bound to it: the method's
// elements carry the output's name. Without a player the method is left alone.
TEST_F(RecordMethodRename, AReplayingOutputRenamesItsBoundMethod) {
    TARNOutputImplementation& output = MakeSource("cam");
    TestPlayer player;
    auto definition = TestMethodDefinition();
    auto& replay = Make<TestReplayMethod>(definition, output);
    const std::string before = replay.Property(0).Name().c_str();
    ASSERT_EQ(before.rfind("cam.", 0), 0u) << before;

    output.player = &player;
    output.method = &replay;
    output.Rename("cam", "front");
    const std::string renamed = "front." + before.substr(4);
    EXPECT_EQ(std::string(replay.Property(0).Name().c_str()), renamed);

    output.player = nullptr;
    output.Rename("front", "back");
    EXPECT_EQ(std::string(replay.Property(0).Name().c_str()), renamed);
    output.method = nullptr;
}
