#include "assets/Bmp.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "assets/Paths.h"
#include "core/Platform.h"

namespace {

// Header fields, little-endian, at their byte offsets.
constexpr std::size_t kSignatureAt = 0;
constexpr std::size_t kPixelOffsetAt = 10;
constexpr std::size_t kWidthAt = 18;
constexpr std::size_t kHeightAt = 22;
constexpr std::size_t kBitsPerPixelAt = 28;
constexpr std::size_t kCompressionAt = 30;
constexpr std::size_t kImageSizeAt = 34;
constexpr std::uint16_t kRequiredBitsPerPixel = 24;
constexpr std::uint64_t kBytesPerPixel = 3;

// Grid cell of each sky face: column from the left, band counted from the bottom.
struct SkyCell {
    int column;
    int band;
};
constexpr std::array<SkyCell, kSkyFaceCount> kSkyCells{{
    {2, 1},  // face 0: right of the centre
    {0, 1},  // face 1: left end of the middle band
    {1, 2},  // face 2: above the centre
    {1, 0},  // face 3: below the centre
    {3, 1},  // face 4: right end of the middle band
    {1, 1},  // face 5: the centre
}};

std::uint32_t readU32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) |
           (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

std::uint16_t readU16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::int32_t readI32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::int32_t>(readU32(bytes, at));
}

template <typename T>
BmpResult<T> failure(std::string message) {
    return BmpResult<T>{std::nullopt, std::move(message)};
}

template <typename T>
BmpResult<T> unusable(const std::string& name, const std::string& what) {
    return failure<T>("Not a usable BMP file " + name + ": " + what + "\n");
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a picture for reading, or prints why not: the one line for a file that cannot be
// opened, and for anything but a regular file (a pipe would wait for a writer, for good, and a
// device may never end) a line naming it.
FilePtr openPicture(const char* path) {
    if (fileKind(path) == FileKind::Other) {
        std::fputs(unusable<int>(path, "not a regular file").message.c_str(), stdout);
        return nullptr;
    }
    FilePtr file(std::fopen(path, "rb"));
    if (!file) std::printf("Image could not be opened\n");
    return file;
}

// Reads and checks the header of an open file; prints the failure line itself.
std::optional<BmpLayout> readLayout(std::FILE* file, const char* path) {
    std::array<std::uint8_t, kBmpHeaderBytes> header{};
    const std::size_t got = std::fread(header.data(), 1, header.size(), file);
    std::uint64_t fileSize = got;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long end = std::ftell(file);
        if (end > 0) fileSize = static_cast<std::uint64_t>(end);
    }
    BmpResult<BmpLayout> layout = readBmpHeader({header.data(), got}, fileSize, path);
    if (!layout.value) {
        std::fputs(layout.message.c_str(), stdout);
        return std::nullopt;
    }
    return layout.value;
}

// Turns rows stored top-down into the bottom-up order that GL and the face cutter expect.
void flipRows(BmpImage& image) {
    const auto rowAt = [&image](int row) {
        return image.pixels.begin() + static_cast<std::ptrdiff_t>(row * image.stride);
    };
    for (int top = 0, bottom = image.height - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(rowAt(top), rowAt(top + 1), rowAt(bottom));
    }
}

BmpImage blankImage(const BmpLayout& layout) {
    BmpImage image;
    image.width = layout.width;
    image.height = layout.height;
    image.stride = static_cast<std::size_t>(layout.stride);
    image.pixels.assign(image.stride * static_cast<std::size_t>(image.height), 0);
    return image;
}

// The bottom-up image that a layout describes: `fill` puts the pixel bytes, as stored, into the
// span it is given (the wanted bytes, no more than the image holds); whatever it leaves stays
// zero. Rows stored top-down are turned afterwards.
template <typename Fill>
BmpImage imageOf(const BmpLayout& layout, Fill&& fill) {
    BmpImage image = blankImage(layout);
    const std::size_t wanted =
        std::min(static_cast<std::size_t>(layout.bytesToRead), image.pixels.size());
    fill(std::span<std::uint8_t>(image.pixels.data(), wanted));
    if (layout.topDown) flipRows(image);
    return image;
}

// Reads the pixel bytes that the layout names straight into the image (no more than the file
// holds; the rest stays zero).
BmpImage readImage(std::FILE* file, const BmpLayout& layout) {
    return imageOf(layout, [&](std::span<std::uint8_t> into) {
        if (std::fseek(file, static_cast<long>(layout.pixelOffset), SEEK_SET) == 0) {
            std::fread(into.data(), 1, into.size(), file);
        }
    });
}

// The GL limit for a texture of the given kind, or kMaxBmpSide without a current context.
int glTextureLimit(GLenum limitName) {
    if (!glContextCurrent()) return kMaxBmpSide;
    GLint limit = 0;
    glGetIntegerv(limitName, &limit);
    return limit > 0 ? limit : kMaxBmpSide;
}

bool fitsGlLimit(int width, int height, GLenum limitName, const char* path) {
    const int limit = glTextureLimit(limitName);
    if (width <= limit && height <= limit) return true;
    std::printf("Not a usable BMP file %s: %d x %d is larger than the GL texture limit of %d\n",
                path, width, height, limit);
    return false;
}

// Level 0 from BGR rows aligned to `alignment`, then the shared parameters and mipmaps. The
// caller's unpack alignment is put back afterwards.
void uploadBgr(GLuint texture, const std::uint8_t* data, int width, int height, GLint alignment) {
    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_BGR, GL_UNSIGNED_BYTE, data);
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    // Seen at a grazing angle (the ground towards the horizon), a picture keeps its detail along
    // the line of sight instead of blurring to the level that its most squeezed axis needs. Only
    // where the driver has the extension; without it the names are invalid enums.
    if (GLEW_EXT_texture_filter_anisotropic || GLEW_ARB_texture_filter_anisotropic) {
        GLfloat most = 1.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &most);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT,
                        std::min(most, kPictureAnisotropy));
    }
    glGenerateMipmap(GL_TEXTURE_2D);
}

// What both loaders do first: print the "Reading image" line, open the file, check its header
// and, through `fits`, what the loader needs of its size; then read its pixels. Prints why when
// a step fails.
template <typename Fits>
std::optional<BmpImage> readPicture(const char* path, Fits&& fits) {
    std::printf("Reading image %s\n", path);
    FilePtr file = openPicture(path);
    if (!file) return std::nullopt;
    const std::optional<BmpLayout> layout = readLayout(file.get(), path);
    if (!layout || !fits(*layout)) return std::nullopt;
    return readImage(file.get(), *layout);
}

}  // namespace

BmpResult<BmpLayout> readBmpHeader(std::span<const std::uint8_t> header, std::uint64_t fileSize,
                                   const std::string& name) {
    if (header.size() < kBmpHeaderBytes) return failure<BmpLayout>("Not a correct BMP file1\n");
    if (header[kSignatureAt] != 'B' || header[kSignatureAt + 1] != 'M') {
        return failure<BmpLayout>("Not a correct BMP file2\n");
    }
    if (readU32(header, kCompressionAt) != 0)
        return failure<BmpLayout>("Not a correct BMP file3\n");
    if (readU16(header, kBitsPerPixelAt) != kRequiredBitsPerPixel) {
        return failure<BmpLayout>("Not a correct BMP file4\n");
    }

    // Sizes in 64-bit arithmetic: a hostile header must not wrap or go negative.
    const std::int64_t width = readI32(header, kWidthAt);
    const std::int64_t storedHeight = readI32(header, kHeightAt);
    const std::int64_t height = storedHeight < 0 ? -storedHeight : storedHeight;
    if (width < 1 || width > kMaxBmpSide) {
        return unusable<BmpLayout>(name, "width " + std::to_string(width) + " is not within 1 to " +
                                             std::to_string(kMaxBmpSide));
    }
    if (height < 1 || height > kMaxBmpSide) {
        return unusable<BmpLayout>(name, "height " + std::to_string(storedHeight) +
                                             " is not within 1 to " + std::to_string(kMaxBmpSide) +
                                             " either way up");
    }

    BmpLayout layout;
    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);
    layout.topDown = storedHeight < 0;
    layout.stride = (kBytesPerPixel * static_cast<std::uint64_t>(width) + 3) & ~std::uint64_t{3};
    const std::uint64_t fullSize = layout.stride * static_cast<std::uint64_t>(height);
    // The header alone must not decide what the picture costs (54 bytes could claim 768 MiB).
    if (fullSize > kBmpBytesPerFileByte * fileSize + kBmpFixedAllowance) {
        return unusable<BmpLayout>(name, std::to_string(width) + " x " + std::to_string(height) +
                                             " needs " + std::to_string(fullSize) +
                                             " bytes of pixels, more than a file of " +
                                             std::to_string(fileSize) + " bytes can stand for");
    }
    if (fullSize > kBmpMaxPixelBytes) {
        return unusable<BmpLayout>(
            name, std::to_string(width) + " x " + std::to_string(height) + " needs " +
                      std::to_string(fullSize) + " bytes of pixels, more than the limit of " +
                      std::to_string(kBmpMaxPixelBytes) + " bytes for one picture");
    }

    // The offset field is trusted only when it points past the header and into the file.
    const std::uint64_t offset = readU32(header, kPixelOffsetAt);
    layout.pixelOffset =
        (offset >= kBmpHeaderBytes && offset < fileSize) ? offset : kBmpHeaderBytes;

    const std::uint64_t imageSize = readU32(header, kImageSizeAt);
    const std::uint64_t wanted = imageSize == 0 ? fullSize : std::min(imageSize, fullSize);
    const std::uint64_t available =
        fileSize > layout.pixelOffset ? fileSize - layout.pixelOffset : 0;
    layout.bytesToRead = std::min(wanted, available);
    return {layout, {}};
}

BmpImage decodeBmpPixels(const BmpLayout& layout, std::span<const std::uint8_t> pixelBytes) {
    return imageOf(layout, [&](std::span<std::uint8_t> into) {
        std::copy_n(pixelBytes.begin(), std::min(pixelBytes.size(), into.size()), into.begin());
    });
}

BmpResult<BmpImage> parseBmp(std::span<const std::uint8_t> file, const std::string& name) {
    BmpResult<BmpLayout> layout =
        readBmpHeader(file.first(std::min(file.size(), kBmpHeaderBytes)), file.size(), name);
    if (!layout.value) return failure<BmpImage>(std::move(layout.message));
    const std::span<const std::uint8_t> pixels =
        file.subspan(static_cast<std::size_t>(layout.value->pixelOffset));
    return {decodeBmpPixels(*layout.value, pixels), {}};
}

BmpResult<int> skyFaceSize(int width, int height, const std::string& name) {
    const int faceWidth = width / kSkyGridColumns;
    const int faceHeight = height / kSkyGridBands;
    if (faceWidth != faceHeight) return failure<int>("Not a 3:4 aspekt Ration!\n");
    if (faceWidth < 1) return unusable<int>(name, "a sky cross needs at least 4 x 3 pixels");
    // Rows above the three bands lie in no cell and are left out; columns cannot be, as every
    // row of the picture is cut at multiples of the face size.
    if (width % kSkyGridColumns != 0) {
        return unusable<int>(name, "a sky cross " + std::to_string(width) +
                                       " pixels wide does not divide into 4 whole faces");
    }
    return {faceWidth, {}};
}

std::array<std::vector<std::uint8_t>, kSkyFaceCount> cutSkyFaces(const BmpImage& image,
                                                                 int faceSize) {
    std::array<std::vector<std::uint8_t>, kSkyFaceCount> faces;
    if (faceSize < 1) return faces;
    const std::size_t s = static_cast<std::size_t>(faceSize);
    const std::size_t rowBytes = kBytesPerPixel * s;
    for (int face = 0; face < kSkyFaceCount; ++face) {
        const SkyCell cell = kSkyCells[static_cast<std::size_t>(face)];
        std::vector<std::uint8_t>& out = faces[static_cast<std::size_t>(face)];
        out.assign(rowBytes * s, 0);
        // A cell outside the picture (a face size that does not fit it) stays black.
        const std::size_t column = static_cast<std::size_t>(cell.column);
        const std::size_t firstRow = static_cast<std::size_t>(cell.band) * s;
        if ((column + 1) * s > static_cast<std::size_t>(image.width) ||
            firstRow + s > static_cast<std::size_t>(image.height) ||
            image.pixels.size() < image.stride * static_cast<std::size_t>(image.height)) {
            continue;
        }
        for (std::size_t row = 0; row < s; ++row) {
            const std::size_t from = (firstRow + row) * image.stride + column * rowBytes;
            std::copy_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(from), rowBytes,
                        out.begin() + static_cast<std::ptrdiff_t>(row * rowBytes));
        }
    }
    return faces;
}

std::uint32_t loadBmpTexture(const char* path) {
    const std::optional<BmpImage> image = readPicture(path, [path](const BmpLayout& layout) {
        return fitsGlLimit(layout.width, layout.height, GL_MAX_TEXTURE_SIZE, path);
    });
    if (!image) return 0;
    GLuint texture = 0;
    glGenTextures(1, &texture);
    // Rows are padded to 4 bytes, as stored in the file.
    uploadBgr(texture, image->pixels.data(), image->width, image->height, 4);
    return texture;
}

std::optional<std::array<std::uint32_t, 6>> loadSkyboxFaces(const char* path) {
    int s = 0;
    const std::optional<BmpImage> image = readPicture(path, [path, &s](const BmpLayout& layout) {
        const BmpResult<int> faceSize = skyFaceSize(layout.width, layout.height, path);
        if (!faceSize.value) {
            std::fputs(faceSize.message.c_str(), stdout);
            return false;
        }
        s = *faceSize.value;
        return fitsGlLimit(s, s, GL_MAX_TEXTURE_SIZE, path) &&
               fitsGlLimit(s, s, GL_MAX_CUBE_MAP_TEXTURE_SIZE, path);
    });
    if (!image) return std::nullopt;
    const std::array<std::vector<std::uint8_t>, kSkyFaceCount> faces = cutSkyFaces(*image, s);

    std::array<GLuint, kSkyFaceCount> names{};
    glGenTextures(kSkyFaceCount, names.data());
    for (int face = 0; face < kSkyFaceCount; ++face) {
        // Face rows are packed (3 x s bytes), so they are read byte-aligned.
        uploadBgr(names[static_cast<std::size_t>(face)],
                  faces[static_cast<std::size_t>(face)].data(), s, s, 1);
    }
    std::array<std::uint32_t, 6> result{};
    std::copy(names.begin(), names.end(), result.begin());
    return result;
}
