// Writes small JPEG files of the kinds the decoder meets (colour, grayscale,
// progressive, CMYK, restart markers, no chroma subsampling) into the folder
// given, as the fuzzer's first corpus.
#include <cstdio>
#include <jpeglib.h>
#include <string>
#include <vector>

namespace {

struct Kind {
    const char* name;
    int components;
    bool progressive;
    int restartRows;
    bool fullChroma;
};

void write(const std::string& path, const Kind& kind)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr)
        return;
    jpeg_compress_struct encoder{};
    jpeg_error_mgr errors{};
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    jpeg_stdio_dest(&encoder, out);
    encoder.image_width = 37;
    encoder.image_height = 21;
    encoder.input_components = kind.components;
    encoder.in_color_space = kind.components == 1   ? JCS_GRAYSCALE
                             : kind.components == 3 ? JCS_RGB
                                                    : JCS_CMYK;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, 60, TRUE);
    if (kind.progressive)
        jpeg_simple_progression(&encoder);
    encoder.restart_in_rows = kind.restartRows;
    if (kind.fullChroma)
        encoder.comp_info[0].h_samp_factor = encoder.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&encoder, TRUE);
    std::vector<JSAMPLE> row(encoder.image_width * static_cast<unsigned>(kind.components));
    while (encoder.next_scanline < encoder.image_height) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<JSAMPLE>(i * 7 + encoder.next_scanline * 13);
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&encoder, rows, 1);
    }
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    std::fclose(out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const Kind kinds[] = {
        {"colour", 3, false, 0, false},          {"gray", 1, false, 0, false},
        {"progressive", 3, true, 0, false},      {"cmyk", 4, false, 0, false},
        {"restarts", 3, false, 1, false},        {"full-chroma", 3, false, 0, true},
        {"gray-progressive", 1, true, 1, false},
    };
    for (const Kind& kind : kinds)
        write(std::string(argv[1]) + "/" + kind.name + ".jpg", kind);
    return 0;
}
