#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kestra::test {

// A file's bytes, whole; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace kestra::test
