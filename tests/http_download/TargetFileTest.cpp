#include "http/TargetFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

} // namespace

TEST(TargetFile, CommitReplacesTheTargetWithTheWholeBodyAndItsPermissions) {
    TempDir dir;
    const std::string target = dir.Sub("host/a/b/pic.jpg");
    WriteFile(target, "old");
    ::chmod(target.c_str(), 0444); // a read-only thumbnail from an earlier scan

    TargetFile file;
    std::string why;
    ASSERT_TRUE(file.Open(target, 0444, dir.Path(), why)) << why;
    ASSERT_TRUE(file.Write("new ", 4, why));
    ASSERT_TRUE(file.Write("body", 4, why));
    EXPECT_EQ(ReadFile(target), "old"); // untouched until the body is complete
    ASSERT_TRUE(file.Commit(why)) << why;

    EXPECT_EQ(ReadFile(target), "new body");
    EXPECT_EQ(ModeOf(target) & 0222, 0u);
    EXPECT_EQ(FilesUnder(dir.Path()), std::vector<std::string>{"host/a/b/pic.jpg"});
}

TEST(TargetFile, DiscardLeavesNoTraceButKeepsFoldersThatHoldFiles) {
    TempDir dir;
    WriteFile(dir.Sub("host/keep.jpg"), "x");
    {
        TargetFile file;
        std::string why;
        ASSERT_TRUE(file.Open(dir.Sub("host/new/deeper/pic.jpg"), 0644, dir.Path(), why)) << why;
        ASSERT_TRUE(file.Write("partial", 7, why));
        file.Discard();
    }
    {
        TargetFile dropped; // cut off: the destructor discards
        std::string why;
        ASSERT_TRUE(dropped.Open(dir.Sub("other/pic.jpg"), 0644, dir.Path(), why)) << why;
    }
    EXPECT_EQ(EntriesUnder(dir.Path()), (std::vector<std::string>{"host", "host/keep.jpg"}));
}

TEST(TargetFile, UncreatableFileSaysWhyAndLeavesNoFolders) {
    TempDir dir;
    WriteFile(dir.Sub("host/blocker"), "a file where a folder is wanted");
    TargetFile file;
    std::string why;
    EXPECT_FALSE(file.Open(dir.Sub("host/blocker/sub/pic.jpg"), 0644, dir.Path(), why));
    EXPECT_EQ(why, "Not a directory");
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(EntriesUnder(dir.Path()), (std::vector<std::string>{"host", "host/blocker"}));
}

// The storage layout hands out names up to the file-name limit (the
// shortener's own output among them); the temporary file must fit beside
// them, in the same folder so that the final rename is atomic.
TEST(TargetFile, NamesUpToTheFileNameLimitAreStorable) {
    for (const std::size_t length : {244u, 254u, 255u}) {
        TempDir dir;
        const std::string name = std::string(length - 4, 'n') + ".jpg";
        const std::string target = dir.Sub("host/" + name);
        TargetFile file;
        std::string why;
        ASSERT_TRUE(file.Open(target, 0644, dir.Path(), why)) << length << ": " << why;
        const auto whileOpen = EntriesUnder(dir.Sub("host"));
        ASSERT_EQ(whileOpen.size(), 1u) << length;
        EXPECT_NE(whileOpen[0], name) << "the target is untouched until the commit";
        EXPECT_LE(whileOpen[0].size(), 255u);
        ASSERT_TRUE(file.Write("body", 4, why)) << why;
        ASSERT_TRUE(file.Commit(why)) << length << ": " << why;
        EXPECT_EQ(ReadFile(target), "body");
        EXPECT_EQ(EntriesUnder(dir.Path()), (std::vector<std::string>{"host", "host/" + name}));
    }
}

// Slots create files in a folder while others remove the same folder, their
// own body not being kept: no creation may fail for it.
TEST(TargetFile, ConcurrentCreationAndRemovalOfTheSameFolder) {
    TempDir dir;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                TargetFile file;
                std::string why;
                const std::string target =
                    dir.Sub("host/shared/f" + std::to_string(t) + "_" + std::to_string(i));
                if (!file.Open(target, 0644, dir.Path(), why)) {
                    ++failures;
                    continue;
                }
                file.Discard();
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(EntriesUnder(dir.Path()).empty());
}
