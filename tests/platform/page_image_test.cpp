#include "platform/image_pdf_writer.h"
#include "platform/page_image.h"
#include "tests/support/poppler.h"
#include "tests/support/test_env.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <functional>
#include <iterator>
#include <tuple>
#include <utility>

using namespace inkveil;
using namespace inkveil::platform;

namespace {

using Rgb = std::array<std::uint8_t, 3>;
using Pattern = std::function<Rgb(int x, int y)>;
using Color = EncodedImage::Color;

constexpr Rgb kWhite{0xff, 0xff, 0xff};
constexpr Rgb kBlack{0, 0, 0};

struct ImageCase {
    const char* name;
    int width;
    int height;
    Pattern pattern;
    Color expected;
};

void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.name; }

// Into a grey buffer only the red sample goes.
void paint(PixelBuffer& pixels, int width, int height, const Pattern& pattern, int components = 3)
{
    pixels.reset(width, height, components);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pixels.row(y);
        for (int x = 0; x < width; ++x) {
            const Rgb c = pattern(x, y);
            std::copy(c.begin(), c.begin() + components, row + components * x);
        }
    }
}

// One page as many points wide and high as the image has pixels.
QString writePdf(const QString& path, const EncodedImage& image)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    EXPECT_GE(fd, 0);
    ImagePdfWriter writer(fd);
    writer.addPage(image.width, image.height, 0, image);
    writer.finish();
    ::close(fd);
    return path;
}

std::uint8_t noise(int x, int y) { return static_cast<std::uint8_t>((x * 73 + y * 151 + x * y * 7) ^ (y << 3)); }

Pattern lastPixel(Rgb last)
{
    return [last](int x, int y) { return x == 32 && y == 8 ? last : (x * y) % 5 ? kWhite : kBlack; };
}

// The form is settled row by row, so the cases put the deciding pixel late in
// the page, after rows that fit a smaller form, and use widths that are not
// multiples of 8 pixels.
const ImageCase kCases[] = {
    {"black and white, odd width", 13, 5, [](int x, int y) { return (x + y) % 3 ? kWhite : kBlack; }, Color::bilevel},
    {"last pixel grey", 33, 9, lastPixel({0x80, 0x80, 0x80}), Color::gray},
    {"last pixel coloured", 33, 9, lastPixel({0xff, 0xfe, 0xff}), Color::rgb},
    {"black and white, then grey, then colour", 17, 6, [](int x, int y) {
         if (y >= 2 && x == 16)
             return Rgb{0x40, 0x40, 0x40};
         if (y == 4 && x == 9)
             return Rgb{0xc0, 0x10, 0x10};
         return x % 2 ? kWhite : kBlack;
     }, Color::rgb},
    {"noisy photo", 64, 40, [](int x, int y) { return Rgb{noise(x, y), noise(y, x), noise(x + 1, y + 2)}; }, Color::rgb},
    {"noisy grey scan", 37, 30, [](int x, int y) {
         const std::uint8_t v = noise(x, y);
         return Rgb{v, v, v};
     }, Color::gray},
};

} // namespace

class PageImageTest : public inkveil::test::TempDirTest,
                      public ::testing::WithParamInterface<std::tuple<ImageCase, int>> {};

TEST_P(PageImageTest, SmallestFormAndLosslessRoundTrip)
{
    const auto& [c, components] = GetParam();
    PixelBuffer pixels;
    paint(pixels, c.width, c.height, c.pattern, components);
    PageImageEncoder encoder;
    const EncodedImage image = encoder.encode(pixels);
    EXPECT_EQ(static_cast<int>(image.color), static_cast<int>(c.expected));
    EXPECT_EQ(image.width, c.width);
    EXPECT_EQ(image.height, c.height);

    if (!inkveil::test::havePoppler())
        GTEST_SKIP() << "poppler-utils not installed";
    const QString pdf = writePdf(path(QStringLiteral("image.pdf")), image);
    const auto listed = inkveil::test::popplerImages(pdf);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].color, image.color == Color::rgb ? QStringLiteral("rgb") : QStringLiteral("gray"));
    EXPECT_EQ(listed[0].bitsPerComponent, image.bitsPerComponent());

    const auto decoded = inkveil::test::popplerPageImage(pdf, 1);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->width, c.width);
    ASSERT_EQ(decoded->height, c.height);
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            const Rgb want = c.pattern(x, y);
            for (int k = 0; k < decoded->channels; ++k)
                ASSERT_EQ(decoded->at(x, y)[k], want[static_cast<size_t>(k)]) << "pixel " << x << "," << y << " sample " << k;
        }
    }
}

std::vector<ImageCase> withoutColour()
{
    std::vector<ImageCase> cases;
    std::copy_if(std::begin(kCases), std::end(kCases), std::back_inserter(cases),
                 [](const ImageCase& c) { return c.expected != Color::rgb; });
    return cases;
}

INSTANTIATE_TEST_SUITE_P(RgbBuffer, PageImageTest, ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Values(3)));
INSTANTIATE_TEST_SUITE_P(GreyBuffer, PageImageTest,
                         ::testing::Combine(::testing::ValuesIn(withoutColour()), ::testing::Values(1)));

TEST(PixelBufferTest, ReusedBuffersStartWhiteWhateverCameBefore)
{
    // A page must never show through on the next one.
    PixelBuffer pixels;
    auto allWhite = [&] {
        for (int y = 0; y < pixels.height(); ++y) {
            const std::uint8_t* row = std::as_const(pixels).row(y);
            if (!std::all_of(row, row + pixels.width() * pixels.components(), [](std::uint8_t v) { return v == 0xff; }))
                return false;
        }
        return true;
    };
    pixels.reset(40, 30);
    pixels.fillBlack(0, 0, 40, 30);
    pixels.reset(40, 30);
    EXPECT_TRUE(allWhite()) << "same size, drawn on";
    pixels.fillBlack(5, 5, 20, 20);
    pixels.reset(20, 50);
    EXPECT_TRUE(allWhite()) << "smaller width, more rows";
    pixels.clear();
    pixels.reset(20, 50, 1);
    EXPECT_TRUE(allWhite()) << "whitened in RGB, wanted in grey";

    PageImageEncoder encoder;
    paint(pixels, 20, 50, [](int x, int) { return x % 2 ? kBlack : Rgb{9, 9, 9}; });
    encoder.encode(pixels);
    pixels.clear();
    pixels.reset(20, 50);
    EXPECT_TRUE(allWhite()) << "encoded, then whitened for the next page";

    PixelBuffer moved = std::move(pixels);
    pixels.reset(3, 3);
    EXPECT_TRUE(allWhite()) << "a buffer moved from";
}

TEST(PixelBufferTest, FillBlackClipsToTheImage)
{
    for (int components : {1, 3}) {
        PixelBuffer pixels;
        pixels.reset(4, 3, components);
        pixels.fillBlack(-5, 2, 2, 99);
        pixels.fillBlack(3, 0, 3, 3); // empty
        for (int y = 0; y < 3; ++y) {
            for (int i = 0; i < 4 * components; ++i) {
                const bool black = y == 2 && i < 2 * components;
                EXPECT_EQ(std::as_const(pixels).row(y)[i], black ? 0 : 0xff) << i << "," << y << " of " << components;
            }
        }
    }
}
