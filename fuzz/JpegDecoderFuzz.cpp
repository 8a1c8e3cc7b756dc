// Feeds arbitrary bytes to the JPEG decoder at a true-colour and at a
// low-colour display depth.
#include "measure/Error.h"
#include "picture/JpegDecoder.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <jpeglib.h>

namespace {

struct Jump {
    jpeg_error_mgr manager;
    std::jmp_buf buffer;
};

// A few header bytes can ask for 65500 x 65500 pixels, which a cut file
// still decodes in full: fine for the decoder, far too slow for fuzzing.
bool isSmall(const std::uint8_t* data, std::size_t size)
{
    jpeg_decompress_struct decoder{};
    Jump jump{};
    decoder.err = jpeg_std_error(&jump.manager);
    jump.manager.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<Jump*>(common->err)->buffer, 1);
    };
    jump.manager.emit_message = [](j_common_ptr, int) {};
    bool small = false;
    if (setjmp(jump.buffer) == 0) {
        jpeg_create_decompress(&decoder);
        jpeg_mem_src(&decoder, data, static_cast<unsigned long>(size));
        jpeg_read_header(&decoder, TRUE);
        small = std::uint64_t{decoder.image_width} * decoder.image_height <= 1 << 20;
    } else {
        small = true; // the decoder must fail on it too, quickly
    }
    jpeg_destroy_decompress(&decoder);
    return small;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!isSmall(data, size))
        return -1; // keep it out of the corpus
    const QByteArray file =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (int depth : {24, 8}) {
        try {
            (void)kestra::DecodeJpeg(file, depth);
        } catch (const kestra::Error&) {
        }
    }
    return 0;
}
