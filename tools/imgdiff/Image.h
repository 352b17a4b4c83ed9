#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

// An 8-bit RGB picture, top row first, and the few operations the picture tools need.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;  // width * height * 3 bytes

    Image() = default;
    Image(int w, int h, unsigned char fill = 0);
    unsigned char* at(int x, int y) {
        return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
    }
    const unsigned char* at(int x, int y) const {
        return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
    }
};

// Reads a PNG (any channel count; alpha is dropped, grey is widened); nothing when unreadable.
std::optional<Image> loadPicture(const std::string& path);
// Writes a PNG whole (tools/common/Files.h): false, with `why`, when it cannot be written, and
// then nothing is left of it and an older file of that name stays as it was.
bool savePicture(const std::string& path, const Image& image, std::string& why);

// The picture scaled to the given size (filtered, for reductions as much as for enlargements).
Image resized(const Image& image, int width, int height);
// The mean of each factor x factor block, rounded; a remainder of rows or columns that does not
// fill a block is dropped.
Image boxReduced(const Image& image, int factor);

// How far two pictures of the same size lie apart.
struct DiffStats {
    std::array<double, 3> meanAbs{};  // mean absolute difference of each channel, 0 to 255
    double shareOver = 0.0;           // share of pixels (0 to 1) with a channel off by > threshold
    int maxDiff = 0;                  // largest difference of any channel
    double worstMean() const;         // the largest of the three channel means
};

// Compares pictures of equal size (nothing when the sizes differ); a pixel counts as off when
// one of its channels differs by more than `threshold`.
std::optional<DiffStats> comparePictures(const Image& reference, const Image& candidate,
                                         int threshold);

// A picture for people: the reference in dim grey, differences amplified in red, and the
// pixels off by more than `threshold` in full magenta. Black when the sizes differ.
Image differencePicture(const Image& reference, const Image& candidate, int threshold);

// Writes `text` into the picture with its top-left corner at (x, y), in a small built-in font
// scaled by `scale`, in the given colour. Returns the width of the text in pixels.
int drawText(Image& image, int x, int y, const std::string& text, int scale,
             std::array<unsigned char, 3> color);
// The width and height `text` would take with drawText.
std::array<int, 2> textSize(const std::string& text, int scale);
