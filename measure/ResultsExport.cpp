#include "measure/ResultsExport.h"

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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void fail(const std::string& path, int error)
{
    throw Error("Cannot write file \"" + path + "\". " + std::strerror(error));
}

// Writes all of text and closes the file, or returns the errno of the first
// failure.
int writeAndClose(File file, const std::string& text)
{
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
                         std::fflush(file.get()) == 0;
    int error = written ? 0 : (errno != 0 ? errno : EIO);
    if (std::fclose(file.release()) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    return error;
}

fs::path temporaryBeside(const fs::path& target)
{
    // Hidden, and unique enough for one user's folder; "x" mode refuses a clash.
    std::random_device entropy;
    std::string name = ".";
    name.append(target.filename().string()).append(".").append(std::to_string(entropy()));
    return target.parent_path() / name.append(".tmp");
}

} // namespace

std::string ResultsText(const ResultsTable& table)
{
    std::string text;
    for (int row = 0; row < table.RowCount(); ++row) {
        for (int column = 0; column < table.ColCount(); ++column) {
            text += table.Cells(column, row);
            text += '\t';
        }
        text += "\r\n";
    }
    return text;
}

void ExportResults(const ResultsTable& table, const std::string& path)
{
    const std::string text = ResultsText(table);
    std::error_code ignored;
    fs::path target = fs::path(path);
    if (path.empty())
        fail(path, ENOENT);
    // Replace the file a link points to, not the link.
    if (fs::is_symlink(fs::symlink_status(target, ignored)))
        target = fs::weakly_canonical(target, ignored);

    const fs::file_status status = fs::status(target, ignored);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        // A device or a pipe cannot be replaced by renaming; write to it directly.
        File device(std::fopen(target.c_str(), "wb"));
        if (!device)
            fail(path, errno);
        if (const int error = writeAndClose(std::move(device), text))
            fail(path, error);
        return;
    }
    if (fs::exists(status)) {
        // Renaming would replace a file that the user may not write to.
        File probe(std::fopen(target.c_str(), "ab"));
        if (!probe)
            fail(path, errno);
    }

    const fs::path temporary = temporaryBeside(target);
    File file(std::fopen(temporary.c_str(), "wbx"));
    if (!file)
        fail(path, errno);
    if (const int error = writeAndClose(std::move(file), text)) {
        fs::remove(temporary, ignored);
        fail(path, error);
    }
    if (fs::exists(status))
        fs::permissions(temporary, status.permissions(), ignored);
    std::error_code renameError;
    fs::rename(temporary, target, renameError);
    if (renameError) {
        fs::remove(temporary, ignored);
        fail(path, renameError.value());
    }
}

} // namespace kestra
