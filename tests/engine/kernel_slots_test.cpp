#include <gtest/gtest.h>

#include "engine/kernel.hpp"
#include "support/virtual_slot.hpp"

// The engine calls its kernel object by table position; these are the positions the
// package's callers rely on.
TEST(KernelSlots, OperationsLandInTheirFixedSlots) {
    EXPECT_EQ(VirtualSlot(&TARNKernel::BeginChange), 0);
    EXPECT_EQ(VirtualSlot(&TARNKernel::EndChange), 1);
    EXPECT_EQ(VirtualSlot(&TARNKernel::UpdateKeys), 14);
    EXPECT_EQ(VirtualSlot(&TARNKernel::FindSymbol), 18);
    EXPECT_EQ(VirtualSlot(&TARNKernel::RegisterSymbol), 19);
    EXPECT_EQ(VirtualSlot(&TARNKernel::ConfirmSymbol), 20);
    EXPECT_EQ(VirtualSlot(&TARNKernel::UnregisterSymbol), 21);
    EXPECT_EQ(VirtualSlot(&TARNKernel::LockSymbols), 22);
    EXPECT_EQ(VirtualSlot(&TARNKernel::UnlockSymbols), 23);
    EXPECT_EQ(VirtualSlot(&TARNKernel::RegisterInput), 24);
    EXPECT_EQ(VirtualSlot(&TARNKernel::RegisterOutput), 25);
    EXPECT_EQ(VirtualSlot(&TARNKernel::RegisterProperty), 26);
    EXPECT_EQ(VirtualSlot(&TARNKernel::RegisterAction), 27);
    EXPECT_EQ(VirtualSlot(&TARNKernel::RecorderInputCreated), 28);
    EXPECT_EQ(VirtualSlot(&TARNKernel::OutputCreated), 29);
    EXPECT_EQ(VirtualSlot(&TARNKernel::InputRemoving), 30);
    EXPECT_EQ(VirtualSlot(&TARNKernel::OutputRemoving), 31);
    EXPECT_EQ(VirtualSlot(&TARNKernel::ModuleStateChanged), 34);
    EXPECT_EQ(VirtualSlot(&TARNKernel::RegisterKeysHandler), 55);
    EXPECT_EQ(VirtualSlot(&TARNKernel::UnregisterKeysHandler), 56);
    EXPECT_EQ(VirtualSlot(&TARNKernel::UpdateTimestamp), 61);
    EXPECT_EQ(VirtualSlot(&TARNKernel::Attach), 72);
    EXPECT_EQ(VirtualSlot(&TARNKernel::Detach), 73);
    EXPECT_EQ(VirtualSlot(&TARNKernel::FindProperty), 79);
    EXPECT_EQ(VirtualSlot(&TARNKernel::Report), 96);
    EXPECT_EQ(VirtualSlot(&TARNKernel::GetShutdownEvent), 97);
    EXPECT_EQ(VirtualSlot(&TARNKernel::IsRecording), 102);
    EXPECT_EQ(VirtualSlot(&TARNKernel::TimeState), 107);
    EXPECT_EQ(VirtualSlot(&TARNKernel::ReplayPausePending), 108);
    EXPECT_EQ(VirtualSlot(&TARNKernel::SetReplayPausePending), 109);
    EXPECT_EQ(VirtualSlot(&TARNKernel::CheckLevel), 116);
    EXPECT_EQ(VirtualSlot(&TARNKernel::GetAbsoluteTimeSpeed), 122);
    EXPECT_EQ(VirtualSlot(&TARNKernel::EngineTimeCondition), 130);
    EXPECT_EQ(VirtualSlot(&TARNKernel::BeginEngineTime), 131);
    EXPECT_EQ(VirtualSlot(&TARNKernel::EndEngineTime), 132);
    EXPECT_EQ(VirtualSlot(&TARNKernel::Pause), 138);
    EXPECT_EQ(VirtualSlot(&TARNKernel::EventService), 160);
}

// Operations without a fixed slot follow the kernel's own listing; a few anchors catch a
// declaration slipped in or dropped between the fixed ones.
TEST(KernelSlots, FreeOperationsKeepTheirOrder) {
    EXPECT_EQ(VirtualSlot(&TARNKernel::FindCoreFunction), 2);
    EXPECT_EQ(VirtualSlot(&TARNKernel::Exit), 17);
    EXPECT_EQ(VirtualSlot(&TARNKernel::Parse), 32);
    EXPECT_EQ(VirtualSlot(&TARNKernel::AsynchParse), 35);
    EXPECT_EQ(VirtualSlot(&TARNKernel::GetSystemAccurateTiming), 93);
    EXPECT_EQ(VirtualSlot(&TARNKernel::ComponentThread), 118);
    EXPECT_EQ(VirtualSlot(&TARNKernel::ReservedSlot159), 159);
}
