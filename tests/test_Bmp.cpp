#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <span>
#include <string>

#include "assets/Bmp.h"
#include "support/BmpBytes.h"
#include "support/TestSupport.h"

namespace {

using Bgr = std::array<std::uint8_t, 3>;

BmpResult<BmpImage> parse(const std::vector<unsigned char>& bytes) {
    return parseBmp(std::span<const std::uint8_t>(bytes.data(), bytes.size()), "test.bmp");
}

Bgr pixelAt(const BmpImage& image, int x, int y) {
    const std::size_t at =
        static_cast<std::size_t>(y) * image.stride + 3 * static_cast<std::size_t>(x);
    return {image.pixels[at], image.pixels[at + 1], image.pixels[at + 2]};
}

Bgr expected(int x, int y) {
    return {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7};
}

// Runs a loader that is expected to fail before it touches GL, and returns its console text.
std::string textureOutput(const std::string& path) {
    std::uint32_t texture = 1;
    const std::string out = captureStdout([&] { texture = loadBmpTexture(path.c_str()); });
    EXPECT_EQ(texture, 0u);
    return out;
}

std::string skyOutput(const std::string& path) {
    bool failed = false;
    const std::string out =
        captureStdout([&] { failed = !loadSkyboxFaces(path.c_str()).has_value(); });
    EXPECT_TRUE(failed);
    return out;
}

}  // namespace

TEST(BmpLoaders, PrintTheReadingLineThenTheFirstFailingCheck) {
    TempDir dir;
    const std::string missing = (dir.path() / "missing.bmp").string();
    EXPECT_EQ(textureOutput(missing), "Reading image " + missing + "\nImage could not be opened\n");
    EXPECT_EQ(skyOutput(missing), "Reading image " + missing + "\nImage could not be opened\n");

    const std::string shortFile = dir.write("short.bmp", std::string(20, 'B'));
    EXPECT_EQ(textureOutput(shortFile),
              "Reading image " + shortFile + "\nNot a correct BMP file1\n");

    BmpBytes notBm;
    notBm.signature = {'B', 'X'};
    const std::string bx = dir.write("bx.bmp", notBm.build());
    EXPECT_EQ(textureOutput(bx), "Reading image " + bx + "\nNot a correct BMP file2\n");

    // Compression is checked before the depth, so an RLE 8-bit file reports file3.
    BmpBytes rle;
    rle.compression = 1;
    rle.bitsPerPixel = 8;
    const std::string rlePath = dir.write("rle.bmp", rle.build());
    EXPECT_EQ(textureOutput(rlePath), "Reading image " + rlePath + "\nNot a correct BMP file3\n");

    BmpBytes deep;
    deep.bitsPerPixel = 32;
    const std::string deepPath = dir.write("deep.bmp", deep.build());
    EXPECT_EQ(skyOutput(deepPath), "Reading image " + deepPath + "\nNot a correct BMP file4\n");

    // 256 differs from 341.
    BmpBytes squareBmp;
    squareBmp.width = 1024;
    squareBmp.height = 1024;
    const std::string square = dir.write("square.bmp", squareBmp.build());
    EXPECT_EQ(skyOutput(square), "Reading image " + square + "\nNot a 3:4 aspekt Ration!\n");

    // Anything but a regular file is refused before it is opened: a pipe (which would hold
    // start-up for good; the writer here hands over 54 bytes) or a device.
    const std::string header = "BX" + std::string(kBmpHeaderBytes - 2, '\0');
    for (const bool sky : {false, true}) {
        const PipeWithWriter pipe(dir, sky ? "skypipe.bmp" : "pipe.bmp", header);
        const std::string out = sky ? skyOutput(pipe.path()) : textureOutput(pipe.path());
        EXPECT_EQ(out, "Reading image " + pipe.path() + "\nNot a usable BMP file " + pipe.path() +
                           ": not a regular file\n");
    }
    EXPECT_EQ(textureOutput("/dev/zero"),
              "Reading image /dev/zero\nNot a usable BMP file /dev/zero: not a regular file\n");

    // 17 pixels do not make four whole columns.
    const std::string wide = dir.write("wide.bmp", BmpBytes::headerOnly(17, 12));
    const std::string wideOut = skyOutput(wide);
    EXPECT_EQ(wideOut.rfind("Reading image " + wide + "\nNot a usable BMP file " + wide, 0), 0u)
        << wideOut;
}

TEST(BmpHeader, RejectsEmptyNegativeAndAbsurdSizesNamingTheFile) {
    const std::vector<std::pair<std::int32_t, std::int32_t>> bad = {
        {0, 4},     {-4, 4},    {4, 0},      {INT_MIN, 4},      {4, INT_MIN},
        {16385, 1}, {1, 16385}, {1, -16385}, {INT_MAX, INT_MAX}};
    for (const auto& [width, height] : bad) {
        const BmpResult<BmpImage> result = parse(BmpBytes::headerOnly(width, height));
        EXPECT_FALSE(result.value) << width << " x " << height;
        EXPECT_EQ(result.message.rfind("Not a usable BMP file test.bmp: ", 0), 0u)
            << result.message;
        EXPECT_EQ(result.message.back(), '\n');
    }
    EXPECT_TRUE(parse(BmpBytes::headerOnly(16384, 1)).value);
}

TEST(BmpHeader, APictureCostsNoMoreThanItsFileCanStandFor) {
    // 54 bytes that claim 16384 x 16384 pixels (768 MiB, more with the texture) are refused.
    const BmpResult<BmpImage> bomb = parse(BmpBytes::headerOnly(16384, 16384));
    EXPECT_FALSE(bomb.value);
    EXPECT_EQ(bomb.message.rfind("Not a usable BMP file test.bmp: 16384 x 16384 needs ", 0), 0u)
        << bomb.message;

    // The rows (12 bytes each at width 4) may need up to the file's size times the factor plus
    // the allowance, and not a byte more.
    const std::uint64_t budget = kBmpBytesPerFileByte * kBmpHeaderBytes + kBmpFixedAllowance;
    const auto rows = static_cast<std::int32_t>(budget / 12);
    EXPECT_TRUE(parse(BmpBytes::headerOnly(4, rows)).value);
    EXPECT_FALSE(parse(BmpBytes::headerOnly(4, rows + 1)).value);

    // A cut picture loads while its file holds a quarter of it (beyond the allowance).
    BmpBytes big;
    big.width = 1024;
    big.height = 1024;  // 3 MiB of rows
    big.dropTail = 3 * 1024 * 1024 - 800'000;
    const BmpResult<BmpImage> cut = parse(big.build());
    ASSERT_TRUE(cut.value);
    EXPECT_EQ(pixelAt(*cut.value, 5, 0), expected(5, 0));
    EXPECT_EQ(pixelAt(*cut.value, 5, 1000), (Bgr{0, 0, 0}));
    big.dropTail = 3 * 1024 * 1024 - 700'000;
    EXPECT_FALSE(parse(big.build()).value);
}

TEST(BmpHeader, NoPictureCostsMoreThanTheFixedBudgetWhateverItsFileSize) {
    // A file as large as the picture it claims: rows of 4096 x 3 bytes fill the budget at
    // kBmpMaxPixelBytes / 12288 rows, and one row more is refused, naming the file and the limit.
    const std::uint64_t huge = std::uint64_t{1} << 32;
    const auto rows = static_cast<std::int32_t>(kBmpMaxPixelBytes / 12288);
    const std::vector<unsigned char> fits = BmpBytes::headerOnly(4096, rows);
    EXPECT_TRUE(readBmpHeader(fits, huge, "big.bmp").value);
    const std::vector<unsigned char> over = BmpBytes::headerOnly(4096, rows + 1);
    const BmpResult<BmpLayout> refused = readBmpHeader(over, huge, "big.bmp");
    EXPECT_FALSE(refused.value);
    EXPECT_EQ(refused.message, "Not a usable BMP file big.bmp: 4096 x " + std::to_string(rows + 1) +
                                   " needs " + std::to_string(12288 * (rows + 1)) +
                                   " bytes of pixels, more than the limit of " +
                                   std::to_string(kBmpMaxPixelBytes) + " bytes for one picture\n");
}

TEST(BmpLoaders, ASparseFileOfAGigabyteIsRefusedBeforeItsPixelsAreRead) {
    // 1 GiB that takes a few KiB of disk, with a header claiming 16384 x 16384 (768 MiB of
    // rows): the file's size stands for the picture, the budget does not.
    TempDir dir;
    const std::string path = dir.write("sparse.bmp", BmpBytes::headerOnly(16384, 16384));
    std::filesystem::resize_file(path, std::uintmax_t{1} << 30);
    const std::string refusal = "Not a usable BMP file " + path +
                                ": 16384 x 16384 needs 805306368 bytes of pixels, more than the "
                                "limit of 67108864 bytes for one picture\n";
    EXPECT_EQ(textureOutput(path), "Reading image " + path + "\n" + refusal);
    EXPECT_EQ(skyOutput(path), "Reading image " + path + "\n" + refusal);
}

TEST(BmpPixels, PaddedRowsAreReadWithTheirPadding) {
    BmpBytes bmp;
    bmp.width = 3;  // 9 bytes of pixels, 12 stored per row
    bmp.height = 3;
    for (const std::uint32_t sizeField : {0u, 36u}) {
        bmp.imageSizeField = sizeField;
        const BmpResult<BmpImage> result = parse(bmp.build());
        ASSERT_TRUE(result.value);
        EXPECT_EQ(result.value->stride, 12u);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 3; ++x) EXPECT_EQ(pixelAt(*result.value, x, y), expected(x, y));
        }
    }
}

TEST(BmpPixels, ShortFilesAndOversizedImageSizesLeaveZerosNotGarbage) {
    BmpBytes bmp;
    bmp.width = 4;
    bmp.height = 3;
    bmp.imageSizeField = 1'000'000;  // far beyond the file
    bmp.dropTail = 12 + 6;           // the top row and half of the middle row are missing
    const BmpResult<BmpImage> result = parse(bmp.build());
    ASSERT_TRUE(result.value);
    ASSERT_EQ(result.value->pixels.size(), 36u);
    EXPECT_EQ(pixelAt(*result.value, 3, 0), expected(3, 0));
    EXPECT_EQ(pixelAt(*result.value, 1, 1), expected(1, 1));
    EXPECT_EQ(pixelAt(*result.value, 2, 1), (Bgr{0, 0, 0}));
    EXPECT_EQ(pixelAt(*result.value, 0, 2), (Bgr{0, 0, 0}));

    // An image-size field smaller than the picture reads only that many bytes.
    bmp.dropTail = 0;
    bmp.imageSizeField = 12;
    const BmpResult<BmpImage> partial = parse(bmp.build());
    ASSERT_TRUE(partial.value);
    EXPECT_EQ(pixelAt(*partial.value, 3, 0), expected(3, 0));
    EXPECT_EQ(pixelAt(*partial.value, 0, 1), (Bgr{0, 0, 0}));
}

TEST(BmpPixels, PixelOffsetIsHonouredOnlyInsideTheFileAndPastTheHeader) {
    BmpBytes bmp;
    bmp.width = 2;
    bmp.height = 2;
    bmp.pixelOffset = 70;  // 16 bytes of something else between header and pixels
    const BmpResult<BmpImage> moved = parse(bmp.build());
    ASSERT_TRUE(moved.value);
    EXPECT_EQ(pixelAt(*moved.value, 1, 1), expected(1, 1));

    // An offset inside the header or past the end falls back to byte 54.
    for (const std::uint32_t offset : {20u, 1000u}) {
        BmpBytes plain;
        plain.width = 2;
        plain.height = 2;
        std::vector<unsigned char> bytes = plain.build();
        BmpBytes::put32(bytes, 10, offset);
        const BmpResult<BmpImage> result = parse(bytes);
        ASSERT_TRUE(result.value) << offset;
        EXPECT_EQ(pixelAt(*result.value, 1, 1), expected(1, 1)) << offset;
    }
}

TEST(BmpPixels, TopDownPicturesComeOutBottomUp) {
    BmpBytes bmp;
    bmp.width = 3;
    bmp.height = 3;
    bmp.topDown = true;
    const BmpResult<BmpImage> result = parse(bmp.build());
    ASSERT_TRUE(result.value);
    EXPECT_EQ(result.value->height, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) EXPECT_EQ(pixelAt(*result.value, x, y), expected(x, y));
    }
}

TEST(SkyFaces, FaceSizeNeedsFourWholeColumnsOfSquareFaces) {
    EXPECT_EQ(skyFaceSize(2048, 1536, "sky.bmp").value, 512);
    EXPECT_EQ(skyFaceSize(16, 12, "sky.bmp").value, 4);
    // Rows above the three bands lie in no cell.
    EXPECT_EQ(skyFaceSize(16, 13, "sky.bmp").value, 4);
    EXPECT_EQ(skyFaceSize(16, 14, "sky.bmp").value, 4);
    EXPECT_EQ(skyFaceSize(1024, 1024, "sky.bmp").message, "Not a 3:4 aspekt Ration!\n");
    for (const auto& [width, height] : {std::pair{17, 12}, std::pair{18, 13}, std::pair{3, 2}}) {
        const BmpResult<int> result = skyFaceSize(width, height, "sky.bmp");
        EXPECT_FALSE(result.value) << width << " x " << height;
        EXPECT_EQ(result.message.rfind("Not a usable BMP file sky.bmp: ", 0), 0u) << result.message;
    }
}

TEST(SkyFaces, CrossIsCutIntoUprightFacesFromTheirCells) {
    BmpBytes bmp;
    bmp.width = 16;
    bmp.height = 12;
    const BmpResult<BmpImage> image = parse(bmp.build());
    ASSERT_TRUE(image.value);
    const auto faces = cutSkyFaces(*image.value, 4);

    // Cell of each face: column from the left, band from the bottom.
    const int cells[6][2] = {{2, 1}, {0, 1}, {1, 2}, {1, 0}, {3, 1}, {1, 1}};
    for (int face = 0; face < 6; ++face) {
        const std::vector<std::uint8_t>& bytes = faces[static_cast<std::size_t>(face)];
        ASSERT_EQ(bytes.size(), 48u);
        for (int j = 0; j < 4; ++j) {
            for (int i = 0; i < 4; ++i) {
                const std::size_t at = static_cast<std::size_t>(3 * (j * 4 + i));
                const Bgr got{bytes[at], bytes[at + 1], bytes[at + 2]};
                EXPECT_EQ(got, expected(cells[face][0] * 4 + i, cells[face][1] * 4 + j))
                    << "face " << face << " texel " << i << "," << j;
            }
        }
        // The picture's bottom-left pixel lies in no face.
        for (std::size_t at = 0; at < bytes.size(); at += 3) {
            EXPECT_FALSE(bytes[at] == 0 && bytes[at + 1] == 0) << "face " << face;
        }
    }
}
