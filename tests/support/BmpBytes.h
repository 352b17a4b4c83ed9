#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <functional>
#include <vector>

// Builds the bytes of a BMP file for the loader tests. Pixels are given by a function of
// (x, y) with y counted from the bottom row of the picture, as blue, green, red.
struct BmpBytes {
    int width = 1;
    int height = 1;        // the picture's height; always positive here
    bool topDown = false;  // store rows top first with a negative height field
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t pixelOffset = 54;
    std::uint32_t imageSizeField = 0;  // written as is (0: "work it out")
    bool padRows = true;               // rows rounded up to 4 bytes, as BMP writers do
    std::size_t dropTail = 0;          // bytes cut off the end of the file
    std::array<char, 2> signature{'B', 'M'};
    std::function<std::array<std::uint8_t, 3>(int x, int y)> pixel = [](int x, int y) {
        return std::array<std::uint8_t, 3>{static_cast<std::uint8_t>(x),
                                           static_cast<std::uint8_t>(y), 7};
    };

    std::size_t stride() const {
        const std::size_t raw = 3 * static_cast<std::size_t>(width);
        return padRows ? (raw + 3) & ~std::size_t{3} : raw;
    }

    std::vector<unsigned char> build() const {
        std::vector<unsigned char> bytes(pixelOffset, 0);
        bytes[0] = static_cast<unsigned char>(signature[0]);
        bytes[1] = static_cast<unsigned char>(signature[1]);
        put32(bytes, 10, pixelOffset);
        put32(bytes, 14, 40);
        put32(bytes, 18, static_cast<std::uint32_t>(width));
        put32(bytes, 22, static_cast<std::uint32_t>(topDown ? -height : height));
        bytes[26] = 1;
        bytes[28] = static_cast<unsigned char>(bitsPerPixel & 0xFF);
        bytes[29] = static_cast<unsigned char>(bitsPerPixel >> 8);
        put32(bytes, 30, compression);
        put32(bytes, 34, imageSizeField);
        for (int row = 0; row < height; ++row) {
            const int y = topDown ? height - 1 - row : row;
            const std::size_t start = bytes.size();
            for (int x = 0; x < width; ++x) {
                const std::array<std::uint8_t, 3> bgr = pixel(x, y);
                bytes.insert(bytes.end(), bgr.begin(), bgr.end());
            }
            bytes.resize(start + stride(), 0);
        }
        bytes.resize(bytes.size() - std::min(dropTail, bytes.size()));
        put32(bytes, 2, static_cast<std::uint32_t>(bytes.size()));
        return bytes;
    }

    // A header alone (54 bytes) with arbitrary raw width and height fields.
    static std::vector<unsigned char> headerOnly(std::int32_t width, std::int32_t height) {
        BmpBytes bmp;
        bmp.width = 0;
        bmp.height = 0;
        std::vector<unsigned char> bytes = bmp.build();
        put32(bytes, 18, static_cast<std::uint32_t>(width));
        put32(bytes, 22, static_cast<std::uint32_t>(height));
        return bytes;
    }

    static void put32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value) {
        if (bytes.size() < at + 4) return;
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<std::size_t>(i)] =
                static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
    }
};
