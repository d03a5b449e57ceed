// A component author includes only tarn.hpp: it must compile on its own and bring the
// whole SDK surface with it.
#include <gtest/gtest.h>

#include "tarn.hpp"

TEST(UmbrellaHeader, BringsTheRuntimeTheEngineLinkAndTheModuleModel) {
    TARNStreamedString text;
    text << TARNSManip::hex << 255;
    EXPECT_EQ(text, "ff");
    EXPECT_EQ(sizeof(_IplImage), 144u);
    EXPECT_EQ(sizeof(TARNComponentDefinition), 120u);
    EXPECT_TRUE(TARN::TypeFilter(TARNTypeInfo(TARNTypeInfo::Stream8), TARN::FilterStream8));
}
