#include "tarn/runtime/folder_browser.hpp"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_folder_fixture.hpp"

namespace fs = std::filesystem;

namespace {

using Items = std::vector<std::pair<std::string, bool>>;

// Every item of a browse, sorted (the system's order is its own).
Items browse(TARNFolderBrowser& browser, const std::string& path) {
    Items items;
    if (!browser.Open(path.c_str())) return items;
    do {
        items.emplace_back(browser.ItemName().c_str(), browser.ItemIsFolder());
    } while (browser.GetNextItem());
    browser.Close();
    std::sort(items.begin(), items.end());
    return items;
}

Items browse(const std::string& path) {
    TARNFolderBrowser browser;
    return browse(browser, path);
}

int openDescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

class FolderBrowser : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        for (const char* name :
             {"a.txt", "b.TXT", "notes", ".txt", "a.txt.bak", "file.png", "fil.png", "file1.png"})
            MakeFile(name);
        fs::create_directory(Path("sub.txt"));
        fs::create_directory_symlink(Path("sub.txt"), Path("link.txt"));
    }
};

}  // namespace

TEST_F(FolderBrowser, PatternsMatchWholeNamesCaseIncluded) {
    EXPECT_EQ(browse(Path("*.txt")),
              (Items{{".txt", false}, {"a.txt", false}, {"link.txt", false}, {"sub.txt", true}}))
        << "a link reported as a link is no folder";
    EXPECT_EQ(browse(Path("notes")), (Items{{"notes", false}}));
    EXPECT_EQ(browse(Path("Notes")), Items{});
    EXPECT_EQ(browse(Path("file?.png")), (Items{{"fil.png", false}, {"file.png", false}}))
        << "? makes the character before it optional";
    EXPECT_EQ(browse(Path("[ab]*")), (Items{{"a.txt", false}, {"a.txt.bak", false}, {"b.TXT", false}}));
}

// A line break is a character of the name like any other: a pattern still matches whole
// names only, and "*" runs over it.
TEST_F(FolderBrowser, NamesWithLineBreaksMatchAsWholeNames) {
    MakeFile("notes\n");
    MakeFile("a\nb.txt");
    EXPECT_EQ(browse(Path("notes")), (Items{{"notes", false}}));
    EXPECT_EQ(browse(Path("notes*")), (Items{{"notes", false}, {"notes\n", false}}));
    EXPECT_EQ(browse(Path("a*.txt")), (Items{{"a\nb.txt", false}, {"a.txt", false}}));
    const Items every = browse(Path("*"));
    for (const char* name : {"notes\n", "a\nb.txt"})
        EXPECT_NE(std::find(every.begin(), every.end(), std::make_pair(std::string(name), false)),
                  every.end())
            << name;
}

TEST_F(FolderBrowser, EveryEntryWithAStar) {
    const Items items = browse(Path("*"));
    EXPECT_EQ(items.size(), 12u);
    EXPECT_NE(std::find(items.begin(), items.end(), std::make_pair(std::string("."), true)), items.end());
    EXPECT_NE(std::find(items.begin(), items.end(), std::make_pair(std::string(".."), true)), items.end());
}

TEST_F(FolderBrowser, NothingToFind) {
    TARNFolderBrowser browser;
    for (const std::string& path :
         {Path(""), std::string(""), Path("missing/*"), Path("(*"), Path("*.none")}) {
        EXPECT_FALSE(browser.Open(path.c_str())) << path;
        EXPECT_FALSE(browser.GetNextItem()) << "no browse is open after " << path;
    }
    EXPECT_FALSE(browser.Open(nullptr));
    EXPECT_FALSE(browser.Open(Path("notes/*").c_str())) << "not a folder";
}

TEST_F(FolderBrowser, PathsWithoutAFolderBrowseTheWorkingFolder) {
    fs::current_path(root);
    EXPECT_EQ(browse("*.png"), (Items{{"fil.png", false}, {"file.png", false}, {"file1.png", false}}));
}

TEST_F(FolderBrowser, ALeadingSlashAloneNamesTheRootFolder) {
    // Run from a folder without "tmp": only the root folder has it.
    fs::current_path(root);
    EXPECT_EQ(browse("/tmp"), (Items{{"tmp", true}}));
    EXPECT_EQ(browse("//tmp"), (Items{{"tmp", true}}));
}

TEST_F(FolderBrowser, GetNextItemFalseUntilTheNextOpen) {
    TARNFolderBrowser browser;
    ASSERT_TRUE(browser.Open(Path("notes").c_str()));
    EXPECT_FALSE(browser.GetNextItem());
    EXPECT_FALSE(browser.GetNextItem());
    EXPECT_EQ(std::string(browser.ItemName().c_str()), "notes") << "the item stays";
    // A failed Open ends the browse and keeps the item of the last match.
    EXPECT_FALSE(browser.Open(Path("missing/*").c_str()));
    EXPECT_EQ(std::string(browser.ItemName().c_str()), "notes");
    EXPECT_FALSE(browser.GetNextItem());
    browser.Close();
    browser.Close();
}

TEST_F(FolderBrowser, NameWithoutAUTF8FormIsNeverAnItem) {
    // Not UTF-8, so it has no form in the (UTF-8) locale.
    fs::create_directory(Path("odd"));
    std::ofstream(Path("odd/bad\xff")) << "x";
    TARNFolderBrowser browser;
    EXPECT_FALSE(browser.Open(Path("odd/b*").c_str()));
    EXPECT_FALSE(browser.GetNextItem()) << "no browse is left open";
}

TEST_F(FolderBrowser, BrowsesAreClosedByCloseOpenAndTheDestructor) {
    const int before = openDescriptorCount();
    {
        TARNFolderBrowser browser;
        ASSERT_TRUE(browser.Open(Path("*").c_str()));
        EXPECT_EQ(openDescriptorCount(), before + 1);
        ASSERT_TRUE(browser.Open(Path("*").c_str()));
        EXPECT_EQ(openDescriptorCount(), before + 1) << "a new Open ends the last browse";
    }
    EXPECT_EQ(openDescriptorCount(), before) << "the destructor ends an open browse";
}
