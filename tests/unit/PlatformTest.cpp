#include "core/Platform.h"

#include "TestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zuvemo;
namespace fs = std::filesystem;

namespace {

std::size_t entries(const fs::path& folder)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) {
        ++n;
    }
    return n;
}

} // namespace

TEST(WholeFile, ReplacesWholeOrLeavesTheOldFileAndFollowsLinksWithoutReplacingThem)
{
    test::TempFolder dir;
    const auto file = dir / "a.csv";
    std::string error;
    ASSERT_TRUE(core::Platform::writeWholeFile(file, "first", &error)) << error;
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(core::Platform::writeWholeFile(file, "second", &error)) << error;
    EXPECT_EQ(test::readFile(file), "second");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::mask, fs::perms(0640));
    EXPECT_EQ(entries(dir.path()), 1u);

    // A write cut short (here by the size limit, which holds for root too) keeps the old file
    // and leaves no part of the new one.
    const std::string large(1 << 20, 'x');
    {
        struct sigaction ignore
        {
        };
        struct sigaction previous
        {
        };
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &previous);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        EXPECT_FALSE(core::Platform::writeWholeFile(file, large, &error));
        ::setrlimit(RLIMIT_FSIZE, &old);
        ::sigaction(SIGXFSZ, &previous, nullptr);
    }
    EXPECT_NE(error.find("書き込みに失敗しました"), std::string::npos) << error;
    EXPECT_EQ(test::readFile(file), "second");
    EXPECT_EQ(entries(dir.path()), 1u);

    // A link is followed, a chain of them too, and stays a link; a dangling one makes its file.
    fs::create_symlink(file, dir / "link");
    fs::create_symlink("link", dir / "link2");
    ASSERT_TRUE(core::Platform::writeWholeFile(dir / "link2", "third", &error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir / "link") && fs::is_symlink(dir / "link2"));
    EXPECT_EQ(test::readFile(file), "third");
    fs::create_symlink("made.csv", dir / "dangling");
    ASSERT_TRUE(core::Platform::writeWholeFile(dir / "dangling", "made", &error)) << error;
    EXPECT_EQ(test::readFile(dir / "made.csv"), "made");
    fs::create_symlink("loop2", dir / "loop1");
    fs::create_symlink("loop1", dir / "loop2");
    EXPECT_FALSE(core::Platform::writeWholeFile(dir / "loop1", "x", &error));
    EXPECT_EQ(error, "シンボリックリンクが循環しています");

    // The key file: never readable by others, not even for a moment.
    ASSERT_TRUE(
        core::Platform::writeWholeFile(dir / "key", "secret", &error, core::Platform::WriteMode::Private));
    EXPECT_EQ(fs::status(dir / "key").permissions() & fs::perms::mask, fs::perms(0600));
}

TEST(WholeFile, AnythingButARegularFileIsRefusedBeforeItIsOpened)
{
    test::TempFolder dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    fs::create_symlink("fifo", dir / "to-fifo");
    std::string error;
    // A FIFO opened for writing would block until a reader came.
    for (const fs::path& target : {dir / "fifo", dir / "to-fifo", fs::path("/dev/null")}) {
        EXPECT_FALSE(core::Platform::writeWholeFile(target, "x", &error)) << target;
        EXPECT_EQ(error, "通常のファイルではありません");
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_FALSE(core::Platform::writeWholeFile(dir / "folder", "x", &error));
    EXPECT_EQ(error, "フォルダです");
    EXPECT_FALSE(core::Platform::writeWholeFile(dir / "missing" / "a.csv", "x", &error));
    EXPECT_EQ(error, "フォルダがありません");
    EXPECT_EQ(entries(dir.path()), 3u);
}

TEST(StandardStreams, ClosedOnesAreOpenedOnTheNullDeviceSoNoFileTakesTheirNumbers)
{
    test::TempFolder dir;
    const auto file = dir / "data";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(1);
        ::close(2);
        core::Platform::ensureStandardStreams();
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0600);
        const bool ok = fd > 2 && ::write(1, "out", 3) == 3 && ::write(2, "err", 3) == 3;
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(fs::file_size(file), 0u);
}
