#include "measure/FileReplace.h"

#include "TestFiles.h"
#include "measure/ResultsExport.h"
#include "measure/Tps.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestra;
using test::entryCount;
using test::errorOf;
using test::readFile;
using test::writeFile;
namespace fs = std::filesystem;

namespace {

class SaveTarget : public testing::Test {
protected:
    const test::TempFolder folder;
};

// The full-disk case, run in a child with a mount namespace of its own, so
// that the small file system it mounts is seen by nobody else. Returns what
// the child saw, or "skip: <reason>".
std::string fullDiskReport(const fs::path& folder)
{
    const auto failed = [](const char* step) {
        return "skip: " + std::string(step) + ": " + std::strerror(errno);
    };
    if (::unshare(CLONE_NEWNS) != 0) {
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return failed("unshare");
        // Map this user to root in the new namespace, as "unshare -r" does.
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    }
    // Keep the mount from reaching the parent's namespace.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return failed("private mounts");
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0)
        return failed("mount tmpfs");

    const fs::path target = folder / "results.txt";
    writeFile(target, "old results");
    const int filler = ::open((folder / "filler").c_str(), O_WRONLY | O_CREAT, 0600);
    const std::array<char, 4096> block{};
    while (::write(filler, block.data(), block.size()) > 0) {
    }
    ::close(filler);
    const std::string error =
        errorOf([&] { ReplaceFile(target.string(), std::string(100000, 'n')); });
    return error + "|" + readFile(target) + "|" + std::to_string(entryCount(folder));
}

} // namespace

TEST_F(SaveTarget, OnlyARegularFileIsWritten)
{
    const fs::path fifo = folder / "results.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // With a reader there, an open for writing would not block: a wrong
    // export shows as bytes in the pipe rather than as a test that never ends.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    // A device of our own where we may make one: should the export ever
    // rename over a device again, it must not be the system's /dev/null.
    fs::path device = folder / "null-device";
    if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
        device = "/dev/null";
    const fs::path deviceLink = folder / "null.txt";
    fs::create_symlink(device, deviceLink);
    const fs::path chain = folder / "chain.txt";
    fs::create_symlink("results.txt", folder / "first.txt");
    fs::create_symlink(folder / "first.txt", chain);
    const fs::path subfolder = folder / "folder.txt";
    fs::create_directory(subfolder);
    const fs::path socketPath = folder / "socket.txt";
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.string().size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    const ResultsTable table;
    for (const fs::path& target : {fifo, deviceLink, chain, subfolder, socketPath}) {
        const std::string refused =
            "Cannot write file \"" + target.string() + "\". Not a regular file";
        EXPECT_EQ(errorOf([&] { ReplaceFile(target.string(), "text"); }), refused);
        EXPECT_EQ(errorOf([&] { CheckReplaceable(target.string()); }), refused);
        EXPECT_EQ(errorOf([&] { ExportResults(table, target.string()); }), refused);
        EXPECT_EQ(errorOf([&] { ExportTps(table, target.string()); }), refused);
    }
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "bytes reached the pipe";
    ::close(reader);
    ::close(socket);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_character_file(device));
    EXPECT_TRUE(fs::is_empty(subfolder));
    // A new file is checked for where it would go, and leaves nothing behind.
    const fs::path nowhere = folder / "missing" / "results.txt";
    EXPECT_EQ(errorOf([&] { CheckReplaceable(nowhere.string()); }),
              "Cannot write file \"" + nowhere.string() + "\". No such file or directory");
    EXPECT_EQ(errorOf([&] { CheckReplaceable((folder / "new.txt").string()); }, "passed"),
              "passed");
    // No temporary file left behind.
    EXPECT_EQ(entryCount(folder), device.parent_path() == folder ? 7u : 6u);
}

TEST_F(SaveTarget, ALinkKeepsPointingToTheReplacedFile)
{
    const fs::path real = folder / "real.txt";
    writeFile(real, std::string(100000, 'x'));
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.txt", folder / "first.txt");
    const fs::path link = folder / "link.txt";
    fs::create_symlink(folder / "first.txt", link);

    ReplaceFile(link.string(), "new\n");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_symlink(folder / "first.txt"));
    EXPECT_EQ(readFile(real), "new\n");
    EXPECT_EQ(fs::status(real).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entryCount(folder), 3u);

    fs::create_symlink("loop.txt", folder / "loop.txt");
    EXPECT_EQ(errorOf([&] { ReplaceFile((folder / "loop.txt").string(), "text"); }),
              "Cannot write file \"" + (folder / "loop.txt").string() +
                  "\". Too many levels of symbolic links");
}

TEST_F(SaveTarget, AFullDiskIsReportedAndTheOldFileKept)
{
    const std::string report = test::childReport([&] { return fullDiskReport(folder); });
    if (report.starts_with("skip: "))
        GTEST_SKIP() << "no small file system to fill without a mount namespace (" << report << ")";
    EXPECT_EQ(report, "Cannot write file \"" + (folder / "results.txt").string() +
                          "\". No space left on device|old results|2");
}
