#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// 24-bit uncompressed BMP pictures: a pure parser (no GL, no files) and the two loaders that
// read a file and upload mipmapped 2D textures.

inline constexpr std::size_t kBmpHeaderBytes = 54;
// Largest width or height accepted, before any GL limit is asked.
inline constexpr int kMaxBmpSide = 16384;
// What a picture may cost is bounded by what its file holds: its rows (stride x height bytes;
// the texture takes about as much again, mipmaps included) may need at most
// kBmpBytesPerFileByte times the file's size plus kBmpFixedAllowance. So no picture file costs
// more than a small multiple of its own size plus a fixed amount, whatever its header claims,
// while a cut file still loads (its missing pixels zero) as long as it holds a quarter of its
// picture, or the picture is small.
inline constexpr std::uint64_t kBmpBytesPerFileByte = 4;
inline constexpr std::uint64_t kBmpFixedAllowance = std::uint64_t{64} * 1024;
// And by a fixed budget, whatever the file's size: a sparse file takes a few KiB of disk while
// its size stands for gigabytes. A picture's rows may take at most 64 MiB, room for 4096 x 4096
// (48 MiB), four times the side of the largest picture the scene uses, while the texture and
// its mipmaps take about as much again: a picture that is read three times (the letters share
// one) then stays well under a GiB.
inline constexpr std::uint64_t kBmpMaxPixelBytes = std::uint64_t{64} * 1024 * 1024;
// Sky pictures are a cross of six square faces on a 4 x 3 grid.
// Anisotropic filtering of the pictures, at most (where the driver offers as much): 1, so none.
// On a CPU rasteriser it is ruinous: 2x, 4x or 16x each made a frame 15 to 20 times slower
// (Mesa 22.3 llvmpipe, the ground filling half the picture). Raise it where the renderer is a
// GPU's: the code below asks the driver for up to this much.
inline constexpr float kPictureAnisotropy = 1.0f;

inline constexpr int kSkyGridColumns = 4;
inline constexpr int kSkyGridBands = 3;
inline constexpr int kSkyFaceCount = 6;

// Where a picture's pixels lie in its file, as the header describes them after validation.
struct BmpLayout {
    int width = 0;
    int height = 0;                 // always positive; topDown tells the row order
    bool topDown = false;           // stored with a negative height: first row is the top
    std::uint64_t stride = 0;       // bytes per stored row: 3 x width rounded up to 4
    std::uint64_t pixelOffset = 0;  // where the pixel data starts in the file
    std::uint64_t bytesToRead =
        0;  // pixel bytes present in the file and wanted, <= stride x height
};

// A decoded picture: rows from the bottom up, blue, green, red per pixel, each row padded to
// `stride` bytes; exactly stride x height bytes.
struct BmpImage {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> pixels;
};

// A result or the one console line (with its newline) that says why there is none.
template <typename T>
struct BmpResult {
    std::optional<T> value;
    std::string message;
};

// Validates the first bytes of a file of `fileSize` bytes (fewer than 54 is a failure) and
// works out where its pixels are. `name` is used in the messages.
BmpResult<BmpLayout> readBmpHeader(std::span<const std::uint8_t> header, std::uint64_t fileSize,
                                   const std::string& name);

// Turns the bytes read at layout.pixelOffset (at most layout.bytesToRead are used) into a
// bottom-up image; bytes the file did not have are zero.
BmpImage decodeBmpPixels(const BmpLayout& layout, std::span<const std::uint8_t> pixelBytes);

// The whole parse of a file held in memory: header, then pixels.
BmpResult<BmpImage> parseBmp(std::span<const std::uint8_t> file, const std::string& name);

// The face size of a sky cross of the given size: width / 4 (exact), equal to height / 3 (rows
// above the three bands lie in no cell).
BmpResult<int> skyFaceSize(int width, int height, const std::string& name);

// Cuts the six faces out of a sky cross with faces of `faceSize` pixels. Each face comes back
// upright as packed rows of 3 x faceSize bytes, bottom row first. Face 5 is the centre of the
// middle band, 1 left of it, 0 and 4 right of it, 2 above it and 3 below it.
std::array<std::vector<std::uint8_t>, kSkyFaceCount> cutSkyFaces(const BmpImage& image,
                                                                 int faceSize);

// Loads a picture into a new mipmapped 2D texture, left bound. Prints its progress and any
// failure; returns 0 on failure. Needs a current GL context.
std::uint32_t loadBmpTexture(const char* path);

// Loads a sky cross into six new mipmapped 2D textures, face 0 to 5, the last left bound.
// Prints its progress and any failure; nothing on failure. Needs a current GL context.
std::optional<std::array<std::uint32_t, 6>> loadSkyboxFaces(const char* path);
