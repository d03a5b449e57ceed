#include "tarn/engine/wait_for_timestamp.hpp"

#include <climits>
#include <vector>

#include "engine/engine_time_section.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "tarn/engine/condition.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/engine/integer_exceptions.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/saturated_arithmetic.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace {

// Cancel events up to this count need no heap: the wait array lives on the stack.
constexpr int StackSlots = 16;

[[noreturn]] void failUnknown(int line, int result) {
    TARNStreamedString message("TARN::WaitForTimestamp [line:");
    message << line << "] Failed due to an unknown problem [result:" << result << "]";
    TARN::ReportError(message.c_str(), 0);
    throw TARN::DieException;
}

}  // namespace

int TARNPrivate::WaitWithTimeCondition(int n, TARNEvent** set, int conditionSlot, long timeout) {
    TARNCondition* condition = TARNPrivate::kernel->EngineTimeCondition();
    void* token = condition->WaitX(&set[conditionSlot]);
    const int result = TARNEvent::Wait(n, set, timeout);
    condition->AchieveWaitX(token);
    return result;
}

long TARNPrivate::EngineDelayToRealDelay(long timestamp, long now, int speed) {
    if (speed == 0) return LONG_MAX;
    return TARNPrivate::SaturatedScale(static_cast<__int128>(timestamp) - now, 1000, speed);
}

bool TARN::WaitForTimestamp(long timestamp, int nbCancelEvents, TARNEvent** cancelEvents, int* cancelIndex,
                            bool* timeChanged) {
    if (nbCancelEvents < 0) {
        TARNStreamedString message("TARN::WaitForTimestamp [line:");
        message << 751 << "] [nbCancelEvents:" << nbCancelEvents << "] < 0";
        TARN::ReportError(message.c_str(), 0);
        throw TARN::DieException;
    }
    if (timeChanged) *timeChanged = false;
    if (cancelIndex) *cancelIndex = -1;
    const int count = cancelEvents ? nbCancelEvents : 0;

    TARNEvent* stackSlots[StackSlots];
    std::vector<TARNEvent*> heapSlots;
    TARNEvent** slots = stackSlots;
    if (count + 2 > StackSlots) {
        heapSlots.resize(count + 2);
        slots = heapSlots.data();
    }

    TARNKernel* kernel = TARNPrivate::kernel;
    for (;;) {
        // Ended on every way out of the turn, also when an exception passes.
        TARNPrivate::EngineTimeSection bracket;
        const int speed = kernel->GetAbsoluteTimeSpeed();
        if (speed == 0 || kernel->TimeState() == 2) {
            // Time stands still: only a change of time (or a cancel event) can end this.
            for (int i = 0; i < count; ++i) slots[1 + i] = cancelEvents[i];
            if (timeChanged) *timeChanged = false;
            const int r = TARNPrivate::WaitWithTimeCondition(count + 1, slots, 0, -1);
            if (r < 0) {
                bracket.End();
                failUnknown(806, r);
            }
            if (r == 0) {
                if (timeChanged) *timeChanged = true;
                continue;
            }
            if (r < count + 1) {
                if (cancelIndex) *cancelIndex = r - 1;
                return false;
            }
            bracket.End();
            failUnknown(824, r);
        }

        long delay = TARNPrivate::EngineDelayToRealDelay(timestamp, kernel->CurrentTime(false, false), speed);
        if (delay <= TARNPrivate::MinimumWaitTime) return true;

        // Declared after the bracket: destroyed (dropping a pending trigger) before it ends.
        TARNEvent trigger(false);
        if (!trigger.SetTrigger(delay)) {
            bracket.End();
            TARN::ReportError("TARN::WaitForTimestamp [line:848] Failed to set the time trigger", 0);
            throw TARN::DieException;
        }
        slots[1] = &trigger;
        for (int i = 0; i < count; ++i) slots[2 + i] = cancelEvents[i];
        if (timeChanged) *timeChanged = false;
        const int r = TARNPrivate::WaitWithTimeCondition(count + 2, slots, 0, -1);
        trigger.ResetTrigger();
        if (r < 0) {
            bracket.End();
            failUnknown(874, r);
        }
        if (r == 0) {
            if (timeChanged) *timeChanged = true;
            continue;
        }
        if (r == 1) {
            // The trigger fired: reached unless time slowed down or jumped meanwhile.
            const int newSpeed = kernel->GetAbsoluteTimeSpeed();
            if (newSpeed != 0) {
                delay = TARNPrivate::EngineDelayToRealDelay(timestamp, kernel->CurrentTime(false, false),
                                                            newSpeed);
                if (delay <= TARNPrivate::MinimumWaitTime) return true;
            }
            continue;
        }
        if (r < count + 2) {
            if (cancelIndex) *cancelIndex = r - 2;
            return false;
        }
        bracket.End();
        failUnknown(910, r);
    }
}

bool TARN::WaitForTimestamp(long timestamp, TARNEvent* cancelEvent, bool* timeChanged) {
    TARNEvent* cancel[1] = {cancelEvent};
    return WaitForTimestamp(timestamp, cancelEvent ? 1 : 0, cancelEvent ? cancel : nullptr, nullptr,
                            timeChanged);
}
