#include "Picture.h"

#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Output.h"

namespace {

std::vector<unsigned char> toBytes(const Picture& picture) {
    std::vector<unsigned char> bytes;
    bytes.reserve(picture.pixels.size() * 3);
    for (const glm::vec3& c : picture.pixels) {
        for (int i = 0; i < 3; ++i) {
            const float value = std::clamp(c[i], 0.0f, 1.0f);
            bytes.push_back(static_cast<unsigned char>(std::lround(value * 255.0f)));
        }
    }
    return bytes;
}

int wrap(int i, int period) {
    if (period <= 0) return i;
    const int m = i % period;
    return m < 0 ? m + period : m;
}

float fade(float t) { return t * t * (3.0f - 2.0f * t); }

}  // namespace

bool writeBmp(const Picture& picture, const std::string& path) {
    const std::vector<unsigned char> bytes = toBytes(picture);
    return writeAtomically(path, [&](const std::string& temporary) {
        return stbi_write_bmp(temporary.c_str(), picture.width, picture.height, 3, bytes.data()) !=
               0;
    });
}

bool writePng(const Picture& picture, const std::string& path) {
    const std::vector<unsigned char> bytes = toBytes(picture);
    return stbi_write_png(path.c_str(), picture.width, picture.height, 3, bytes.data(),
                          picture.width * 3) != 0;
}

float hashToUnit(int x, int y, int seed) {
    uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^
                 static_cast<uint32_t>(seed) * 0xcb1ab31fu;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return static_cast<float>(h & 0xffffffu) / static_cast<float>(0xffffff);
}

float valueNoise(glm::vec2 p, int seed, int period) {
    const float fx = std::floor(p.x), fy = std::floor(p.y);
    const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    const float tx = fade(p.x - fx), ty = fade(p.y - fy);
    const int xa = wrap(x0, period), xb = wrap(x0 + 1, period);
    const int ya = wrap(y0, period), yb = wrap(y0 + 1, period);
    const float a = hashToUnit(xa, ya, seed), b = hashToUnit(xb, ya, seed);
    const float c = hashToUnit(xa, yb, seed), d = hashToUnit(xb, yb, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float fbm(glm::vec2 p, int seed, int octaves, int period) {
    float sum = 0.0f, amplitude = 0.5f, total = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * valueNoise(p, seed + 131 * o, period);
        total += amplitude;
        p *= 2.0f;
        period *= 2;
        amplitude *= 0.5f;
    }
    return sum / total;
}

float valueNoise3(glm::vec3 p, int seed) {
    const glm::vec3 f = glm::floor(p);
    const int x = static_cast<int>(f.x), y = static_cast<int>(f.y), z = static_cast<int>(f.z);
    const glm::vec3 t = p - f;
    const float tx = fade(t.x), ty = fade(t.y), tz = fade(t.z);
    auto corner = [&](int dx, int dy, int dz) {
        return hashToUnit(x + dx, y + dy + 7919 * (z + dz), seed);
    };
    auto lerp = [](float a, float b, float s) { return a + (b - a) * s; };
    const float near = lerp(lerp(corner(0, 0, 0), corner(1, 0, 0), tx),
                            lerp(corner(0, 1, 0), corner(1, 1, 0), tx), ty);
    const float far = lerp(lerp(corner(0, 0, 1), corner(1, 0, 1), tx),
                           lerp(corner(0, 1, 1), corner(1, 1, 1), tx), ty);
    return lerp(near, far, tz);
}

float fbm3(glm::vec3 p, int seed, int octaves) {
    float sum = 0.0f, amplitude = 0.5f, total = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * valueNoise3(p, seed + 131 * o);
        total += amplitude;
        p *= 2.03f;
        amplitude *= 0.5f;
    }
    return sum / total;
}

float smoothStep(float edge0, float edge1, float x) {
    const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

glm::vec3 mix3(glm::vec3 a, glm::vec3 b, float t) { return a + (b - a) * t; }
