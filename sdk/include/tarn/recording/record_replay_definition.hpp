// The records a record or replay method shares with the engine: the definition a derived
// method hands to the base, and one record of replay data in a replay method's queue.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tarn/runtime/stacked_string.hpp"

class TARNActionDefinition;
class TARNPropertyDefinition;
class TARNTypeFilterBase;

// Given to the method's constructor and copied whole into the method.
struct TARNRecordReplayMethodDefinition {
    // The format name; ends the heading hint of a recorded stream.
    const char* name;
    // Kept for the engine and derived methods; the base reads none of them.
    uint64_t reserved[4];
    // Type filter of a record method's input "input".
    const TARNTypeFilterBase* inputTypeFilter;
    // The value "threaded" gets in a record method and in a replay method.
    bool threadedRecord;
    bool threadedReplay;
    // The property table holds the record method's properties first, then the replay
    // method's.
    uint16_t recordPropertyCount;
    uint16_t replayPropertyCount;
    const TARNPropertyDefinition* properties;
    // Actions of a record method, ended by a record whose name is null; null for none.
    const TARNActionDefinition* actions;
    // Initial values of "triggerBufferTime", "triggerBufferSize", "triggerReleaseTime" and
    // "triggerReleaseSize".
    int32_t triggerBufferTime;
    int32_t triggerBufferSize;
    int32_t triggerReleaseTime;
    int32_t triggerReleaseSize;
    // Above 0, every element a record method reads counts as held on its input until it is
    // given back (directly written elements stay held while the derived writer works).
    int32_t heldElementLimit;
};

static_assert(offsetof(TARNRecordReplayMethodDefinition, inputTypeFilter) == 40);
static_assert(offsetof(TARNRecordReplayMethodDefinition, threadedRecord) == 48);
static_assert(offsetof(TARNRecordReplayMethodDefinition, recordPropertyCount) == 50);
static_assert(offsetof(TARNRecordReplayMethodDefinition, properties) == 56);
static_assert(offsetof(TARNRecordReplayMethodDefinition, triggerBufferTime) == 72);
static_assert(offsetof(TARNRecordReplayMethodDefinition, heldElementLimit) == 88);

// One record of a replayed stream, written by the engine's player into the replay queue.
struct TARNReplayAsyncCommData {
    // Number of the record in its file: handed to ReplayIOElt and shown in messages.
    int32_t recordNumber = 0;
    // Handed to ReplayIOElt.
    TARNStackedString<40> text;
    long timeOfIssue = 0;
    long timestamp = 0;
    // Written by the engine, not read here.
    uint64_t reserved = 0;
    // Publish at once, whatever the replay mode.
    bool immediate = false;
    // Copied into the element when the output's type code carries them (bits 62, 61, 60).
    long frequency = 0;
    int32_t quality = 0;
    int32_t misc1 = 0;
    int32_t misc2 = 0;
    int32_t misc3 = 0;
};
