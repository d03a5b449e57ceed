// A component author includes only tarn/tarn.hpp: it must compile on its own and bring the
// whole SDK surface with it. (That it includes every public header and nothing internal is
// checked when the build is configured, and examples/invert compiles with only sdk/include on
// its include path.)
#include <gtest/gtest.h>

#include "tarn/tarn.hpp"

namespace {
// What an author derives from or calls must be a complete type: the umbrella losing the
// header of one of these fails the build of this file.
template <class... Types>
constexpr bool Complete = ((sizeof(Types) > 0) && ...);
static_assert(
    Complete<TARNModule, TARNComponent, TARNInput, TARNOutput, TARNIOElt, TARNIOMonitor, TARNProperty,
             TARNAction, TARNCoreFunction, TARNImageProcessing1Src1Dest, TARNImageProcessing2Src1Dest,
             TARNSoundProcessingComponent, TARNSortedStartReadingComponent, TARNStream8InputComponent,
             TARNStream8IOComponent, TARNRecordReplayMethod, TARNRecorder, TARNPlayer>);
}  // namespace

TEST(UmbrellaHeader, BringsTheRuntimeTheEngineLinkAndTheModuleModel) {
    TARNStreamedString text;
    text << TARNSManip::hex << 255;
    EXPECT_EQ(text, "ff");
    EXPECT_EQ(sizeof(_IplImage), 144u);
    EXPECT_EQ(sizeof(TARNComponentDefinition), 120u);
    EXPECT_TRUE(TARN::TypeFilter(TARNTypeInfo(TARNTypeInfo::Stream8), TARN::FilterStream8));
}
