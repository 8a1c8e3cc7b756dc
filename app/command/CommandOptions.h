#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kestra {

// The exit status of a mistake on the command line.
inline constexpr int UsageStatus = 2;

// A mistake on the command line, said in the user's words.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The value of --dpi: a number greater than 0 that gives lengths, written
// with "." or the locale's decimal separator. Throws UsageError otherwise.
[[nodiscard]] double DpiOption(const std::string& text);

// Says a usage error of a command ("measure", "suggest") on standard error,
// with where its help is; returns UsageStatus.
int UsageFailure(std::string_view command, const UsageError& error);

// Writes text (a help, a version) to standard output and makes sure it got
// there: 0, or 1 after saying on standard error that it could not.
int WriteToStandardOutput(std::string_view text);

} // namespace kestra
