#include "measure/FileReplace.h"

#include "measure/Error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

namespace kestra {
namespace {

namespace fs = std::filesystem;

// As many links as the system itself follows before it gives up.
constexpr int MaxLinkHops = 40;
constexpr int TemporaryNameTries = 5;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void fail(const std::string& path, const char* reason)
{
    throw Error("Cannot write file \"" + path + "\". " + reason);
}

[[noreturn]] void fail(const std::string& path, int error)
{
    fail(path, std::strerror(error));
}

// The file at the end of path's chain of links, or path itself. Each link is
// read in turn, so a relative link counts from its own folder.
fs::path followLinks(const std::string& path)
{
    fs::path target(path);
    std::error_code error;
    for (int hop = 0; fs::is_symlink(fs::symlink_status(target, error)); ++hop) {
        if (hop == MaxLinkHops)
            fail(path, ELOOP);
        const fs::path next = fs::read_symlink(target, error);
        if (error)
            fail(path, error.value());
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

// Writes all of text and closes the file, or returns the errno of the first
// failure.
int writeAndClose(File file, std::string_view text)
{
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
                         std::fflush(file.get()) == 0;
    int error = written ? 0 : (errno != 0 ? errno : EIO);
    if (std::fclose(file.release()) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    return error;
}

// A new, hidden file beside target; "x" mode refuses a name that is taken, and
// another random name is tried then.
File createTemporaryBeside(const fs::path& target, const std::string& path, fs::path& temporary)
{
    std::random_device entropy;
    for (int attempt = 1;; ++attempt) {
        std::string name = ".";
        name.append(target.filename().string()).append(".").append(std::to_string(entropy()));
        temporary = target.parent_path() / name.append(".tmp");
        errno = 0;
        if (File file{std::fopen(temporary.c_str(), "wbx")})
            return file;
        if (errno != EEXIST || attempt == TemporaryNameTries)
            fail(path, errno != 0 ? errno : EIO);
    }
}

// What a replace checks before it writes: the file at the end of path's links,
// its status and whether it exists.
struct Target {
    fs::path file;
    fs::file_status status;
    bool exists = false;
};

Target checkTarget(const std::string& path)
{
    if (path.empty())
        fail(path, ENOENT);
    Target target{.file = followLinks(path), .status = {}, .exists = false};
    std::error_code error;
    target.status = fs::status(target.file, error);
    if (error && target.status.type() != fs::file_type::not_found)
        fail(path, error.value());
    target.exists = fs::exists(target.status);
    // Opening a pipe blocks until someone reads it, and a device swallows the
    // text without a trace: only a regular file is a place to save.
    if (target.exists && !fs::is_regular_file(target.status))
        fail(path, "Not a regular file");
    if (target.exists) {
        // Renaming would replace a file that the user may not write to.
        File probe(std::fopen(target.file.c_str(), "ab"));
        if (!probe)
            fail(path, errno);
    }
    return target;
}

} // namespace

void CheckReplaceable(const std::string& path)
{
    const Target target = checkTarget(path);
    fs::path temporary;
    createTemporaryBeside(target.file, path, temporary).reset();
    std::error_code error;
    fs::remove(temporary, error);
}

void ReplaceFile(const std::string& path, std::string_view text)
{
    const Target target = checkTarget(path);
    fs::path temporary;
    File file = createTemporaryBeside(target.file, path, temporary);
    std::error_code error;
    if (const int writeError = writeAndClose(std::move(file), text)) {
        fs::remove(temporary, error);
        fail(path, writeError);
    }
    if (target.exists)
        fs::permissions(temporary, target.status.permissions(), error);
    std::error_code renameError;
    fs::rename(temporary, target.file, renameError);
    if (renameError) {
        fs::remove(temporary, error);
        fail(path, renameError.value());
    }
}

} // namespace kestra
