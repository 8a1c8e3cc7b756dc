// Writes small JPEG files of the kinds the decoder meets (colour, grayscale,
// progressive, CMYK, restart markers, no chroma subsampling) into the folder
// given, as the fuzzer's first corpus.
#include "tools/JpegWriter.h"

#include <cstdio>
#include <string>

namespace {

struct Kind {
    const char* name;
    int components;
    kestra::JpegWriting writing;
};

void write(const std::string& path, const Kind& kind)
{
    constexpr int Width = 37;
    const QByteArray file = kestra::WriteJpeg(
        Width, 21, kind.components,
        [&kind](int y, std::uint8_t* row) {
            for (int i = 0; i < Width * kind.components; ++i)
                row[i] = static_cast<std::uint8_t>(i * 7 + y * 13);
        },
        kind.writing);
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(file.constData(), 1, static_cast<std::size_t>(file.size()), out);
        std::fclose(out);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const Kind kinds[] = {
        {"colour", 3, {.quality = 60}},
        {"gray", 1, {.quality = 60}},
        {"progressive", 3, {.quality = 60, .progressive = true}},
        {"cmyk", 4, {.quality = 60}},
        {"restarts", 3, {.quality = 60, .restartRows = 1}},
        {"full-chroma", 3, {.quality = 60, .fullChroma = true}},
        {"gray-progressive", 1, {.quality = 60, .restartRows = 1, .progressive = true}},
    };
    for (const Kind& kind : kinds)
        write(std::string(argv[1]) + "/" + kind.name + ".jpg", kind);
    return 0;
}
