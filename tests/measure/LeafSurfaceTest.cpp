#include "measure/LeafSurface.h"

#include "measure/Error.h"

#include <gtest/gtest.h>
#include <vector>

using namespace kestra;

namespace {

// A picture of 32-bit rows with padding after each row, all white.
struct Canvas {
    Canvas(int width, int height, int padding = 8)
        : width(width), height(height), bytesPerRow(width * 4 + padding),
          bytes(static_cast<std::size_t>(bytesPerRow * height), 0xff)
    {}
    void set(int x, int y, std::uint8_t red, std::uint8_t green, std::uint8_t blue,
             std::uint8_t fourth = 0)
    {
        std::uint8_t* pixel = &bytes[static_cast<std::size_t>(y * bytesPerRow + x * 4)];
        pixel[0] = blue;
        pixel[1] = green;
        pixel[2] = red;
        pixel[3] = fourth;
    }
    PixelRows rows() const { return {bytes.data(), width, height, bytesPerRow}; }

    int width;
    int height;
    int bytesPerRow;
    std::vector<std::uint8_t> bytes;
};

} // namespace

TEST(LeafSurface, CountsPixelsDarkerThanTheThreshold)
{
    Canvas canvas(7, 3);
    EXPECT_EQ(CountLeafPixels(canvas.rows()), 0u);
    canvas.set(0, 0, 220, 220, 219); // sum 659: leaf
    canvas.set(1, 0, 220, 220, 220); // sum 660: background
    canvas.set(2, 1, 0, 0, 0);       // black
    canvas.set(3, 1, 255, 0, 0);     // a marker
    canvas.set(4, 2, 255, 255, 0);   // yellow, sum 510
    canvas.set(5, 2, 230, 230, 230); // light grey
    canvas.set(6, 2, 219, 220, 220, 0x00);
    EXPECT_EQ(CountLeafPixels(canvas.rows()), 5u);

    // The fourth byte never counts, and padding bytes after a row are not pixels.
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x)
            canvas.bytes[static_cast<std::size_t>(y * canvas.bytesPerRow + x * 4 + 3)] = 0x00;
        for (int pad = canvas.width * 4; pad < canvas.bytesPerRow; ++pad)
            canvas.bytes[static_cast<std::size_t>(y * canvas.bytesPerRow + pad)] = 0x00;
    }
    EXPECT_EQ(CountLeafPixels(canvas.rows()), 5u);
}

TEST(LeafSurface, EmptyPicturesCountNothing)
{
    EXPECT_EQ(CountLeafPixels(PixelRows{}), 0u);
    Canvas canvas(0, 5);
    EXPECT_EQ(CountLeafPixels(canvas.rows()), 0u);
    EXPECT_EQ(LeafSurface(PixelRows{}, 0.1), 0.0);
}

TEST(LeafSurface, SurfaceInSquareCentimetres)
{
    Canvas canvas(100, 100, 0);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            canvas.set(x, y, 10, 90, 20);
    const double scale = 25.4 / 300;
    EXPECT_EQ(LeafSurface(canvas.rows(), scale), scale * scale * 0.01 * 10000);
    EXPECT_NEAR(LeafSurface(canvas.rows(), scale), 0.716844444, 1e-9);
    Canvas one(1, 1);
    one.set(0, 0, 0, 0, 0);
    EXPECT_NEAR(LeafSurface(one.rows(), 25.4 / 254), 0.0001, 1e-19);
    EXPECT_THROW((void)LeafSurface(one.rows(), 1e200), Error);
    EXPECT_EQ(LeafSurface(Canvas(3, 3).rows(), 1e200 * 1e-50), 0.0);
}
