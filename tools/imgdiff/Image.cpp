#include "tools/imgdiff/Image.h"

#include <stb_easy_font.h>
#include <stb_image.h>
#include <stb_image_resize.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cmath>  // stb_easy_font uses ceil without including it
#include <cstdlib>

#include "tools/common/Files.h"

Image::Image(int w, int h, unsigned char fill)
    : width(w), height(h), rgb(static_cast<std::size_t>(w) * h * 3, fill) {}

std::optional<Image> loadPicture(const std::string& path) {
    int w = 0;
    int h = 0;
    int channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &w, &h, &channels, 3);
    if (data == nullptr) return std::nullopt;
    Image image;
    image.width = w;
    image.height = h;
    image.rgb.assign(data, data + static_cast<std::size_t>(w) * h * 3);
    stbi_image_free(data);
    return image;
}

bool savePicture(const std::string& path, const Image& image, std::string& why) {
    if (image.width <= 0 || image.height <= 0) {
        why = "the picture is empty";
        return false;
    }
    stbi_flip_vertically_on_write(0);
    std::string png;
    const auto append = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                                   static_cast<std::size_t>(size));
    };
    if (stbi_write_png_to_func(append, &png, image.width, image.height, 3, image.rgb.data(),
                               image.width * 3) == 0) {
        why = "the picture could not be encoded";
        return false;
    }
    return writeBytesWhole(path, png, why);
}

Image resized(const Image& image, int width, int height) {
    Image out(width, height);
    if (image.width <= 0 || image.height <= 0 || width <= 0 || height <= 0) return out;
    stbir_resize_uint8(image.rgb.data(), image.width, image.height, image.width * 3, out.rgb.data(),
                       width, height, width * 3, 3);
    return out;
}

Image boxReduced(const Image& image, int factor) {
    if (factor <= 1) return image;
    Image out(image.width / factor, image.height / factor);
    const int area = factor * factor;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < factor; ++dy) {
                    for (int dx = 0; dx < factor; ++dx) {
                        sum += image.at(x * factor + dx, y * factor + dy)[c];
                    }
                }
                out.at(x, y)[c] = static_cast<unsigned char>((sum + area / 2) / area);
            }
        }
    }
    return out;
}

double DiffStats::worstMean() const { return *std::max_element(meanAbs.begin(), meanAbs.end()); }

std::optional<DiffStats> comparePictures(const Image& reference, const Image& candidate,
                                         int threshold) {
    if (reference.width != candidate.width || reference.height != candidate.height) {
        return std::nullopt;
    }
    DiffStats stats;
    const std::size_t pixels = static_cast<std::size_t>(reference.width) * reference.height;
    if (pixels == 0) return stats;
    std::array<unsigned long long, 3> sums{};
    std::size_t over = 0;
    for (std::size_t i = 0; i < pixels; ++i) {
        int worst = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            const int d = std::abs(int{reference.rgb[i * 3 + c]} - int{candidate.rgb[i * 3 + c]});
            sums[c] += static_cast<unsigned long long>(d);
            worst = std::max(worst, d);
        }
        stats.maxDiff = std::max(stats.maxDiff, worst);
        if (worst > threshold) ++over;
    }
    for (std::size_t c = 0; c < 3; ++c) {
        stats.meanAbs[c] = static_cast<double>(sums[c]) / static_cast<double>(pixels);
    }
    stats.shareOver = static_cast<double>(over) / static_cast<double>(pixels);
    return stats;
}

Image differencePicture(const Image& reference, const Image& candidate, int threshold) {
    Image out(reference.width, reference.height);
    if (reference.width != candidate.width || reference.height != candidate.height) return out;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const unsigned char* a = reference.at(x, y);
            const unsigned char* b = candidate.at(x, y);
            int worst = 0;
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a[c] - b[c]));
            unsigned char* o = out.at(x, y);
            if (worst > threshold) {
                o[0] = 255;
                o[1] = 0;
                o[2] = 255;
                continue;
            }
            const int grey = (a[0] * 77 + a[1] * 150 + a[2] * 29) / 256 / 4;
            o[0] = static_cast<unsigned char>(std::min(255, grey + worst * 8));
            o[1] = static_cast<unsigned char>(grey);
            o[2] = static_cast<unsigned char>(grey);
        }
    }
    return out;
}

namespace {

// stb_easy_font emits quads of four vertices: x, y, z as floats and a colour, 16 bytes each.
struct FontVertex {
    float x, y, z;
    unsigned char color[4];
};

// The font covers printable ASCII only; anything else would index past its tables.
std::string printable(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c != '\n' && (c < 32 || c > 126)) c = '?';
    }
    return out;
}

}  // namespace

std::array<int, 2> textSize(const std::string& text, int scale) {
    std::string copy = printable(text);
    return {stb_easy_font_width(copy.data()) * scale, stb_easy_font_height(copy.data()) * scale};
}

int drawText(Image& image, int x, int y, const std::string& text, int scale,
             std::array<unsigned char, 3> color) {
    std::string copy = printable(text);
    std::vector<FontVertex> quads(copy.size() * 64 + 64);
    const int count = stb_easy_font_print(0.0f, 0.0f, copy.data(), nullptr, quads.data(),
                                          static_cast<int>(quads.size() * sizeof(FontVertex)));
    for (int q = 0; q < count; ++q) {
        const FontVertex* v = &quads[static_cast<std::size_t>(q) * 4];
        const int x0 = x + static_cast<int>(v[0].x) * scale;
        const int y0 = y + static_cast<int>(v[0].y) * scale;
        const int x1 = x + static_cast<int>(v[2].x) * scale;
        const int y1 = y + static_cast<int>(v[2].y) * scale;
        for (int py = std::max(y0, 0); py < std::min(y1, image.height); ++py) {
            for (int px = std::max(x0, 0); px < std::min(x1, image.width); ++px) {
                std::copy(color.begin(), color.end(), image.at(px, py));
            }
        }
    }
    return textSize(text, scale)[0];
}
