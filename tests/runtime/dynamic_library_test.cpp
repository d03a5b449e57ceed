#include "tarn/runtime/dynamic_library.hpp"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

using AnswerFunction = int (*)(int);

constexpr const char* loadablePath = TARN_TEST_LOADABLE_PATH;
constexpr const char* answerSymbol = "tarn_test_loadable_answer";

// Whether the test library is loaded in the process at all, whoever loaded it.
bool isLoaded() {
    void* handle = dlopen(loadablePath, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

}  // namespace

TEST(DynamicLoader, ClosingANeverOpenedLoaderSucceeds) {
    TARNDynamicLoader loader;
    EXPECT_FALSE(loader.IsOpen());
    EXPECT_TRUE(loader.Close());
    EXPECT_EQ(loader.LoadSymbol(answerSymbol), nullptr);
}

TEST(DynamicLoader, LoadsALibraryAndFindsItsSymbol) {
    for (bool global : {false, true}) {
        TARNDynamicLoader loader;
        ASSERT_TRUE(loader.Open(loadablePath, global)) << TARNDynamicLoader::GetErrorMessage();
        EXPECT_TRUE(isLoaded());
        auto answer = reinterpret_cast<AnswerFunction>(loader.LoadSymbol(answerSymbol));
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(answer(20), 41);

        EXPECT_EQ(loader.LoadSymbol("no_such_symbol"), nullptr);
        EXPECT_NE(TARNDynamicLoader::GetErrorMessage(), nullptr);
        EXPECT_EQ(TARNDynamicLoader::GetErrorMessage(), nullptr);  // reading the error clears it

        EXPECT_TRUE(loader.Close());
        EXPECT_FALSE(loader.IsOpen());
        EXPECT_FALSE(isLoaded());
        // A closed loader no longer looks anywhere, not even in the process's own symbols.
        EXPECT_EQ(loader.LoadSymbol("malloc"), nullptr);
    }
}

TEST(DynamicLoader, MissingLibraryFailsWithAMessage) {
    TARNDynamicLoader loader;
    EXPECT_FALSE(loader.Open("/nonexistent/libnothing.so"));
    EXPECT_FALSE(loader.IsOpen());
    EXPECT_NE(TARNDynamicLoader::GetErrorMessage(), nullptr);
}

TEST(DynamicLoader, ReopeningAndDestructionUnloadTheLibrary) {
    {
        TARNDynamicLoader loader;
        ASSERT_TRUE(loader.Open(loadablePath));
        ASSERT_TRUE(loader.Open(loadablePath));  // the first handle is given back
        EXPECT_TRUE(loader.Close());
        EXPECT_FALSE(isLoaded());

        ASSERT_TRUE(loader.Open(loadablePath));
    }
    EXPECT_FALSE(isLoaded());
}
