#pragma once

#include <glm/glm.hpp>
#include <string>
#include <vector>

// An RGB picture in linear 0..1 floats, rows from the top.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<glm::vec3> pixels;

    Picture(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
    glm::vec3& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    const glm::vec3& at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // Fills every pixel from f(u, v), u to the right and v upward (as a texture is sampled),
    // both 0..1; the pixel is the mean of samples x samples points spread over it, which
    // smooths hard pattern edges.
    template <typename F>
    void fill(F f, int samples = 1) {
        const float n = static_cast<float>(samples);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                glm::vec3 sum(0.0f);
                for (int j = 0; j < samples; ++j) {
                    const float v =
                        1.0f - (static_cast<float>(y) + (static_cast<float>(j) + 0.5f) / n) /
                                   static_cast<float>(height);
                    for (int i = 0; i < samples; ++i) {
                        sum += f((static_cast<float>(x) + (static_cast<float>(i) + 0.5f) / n) /
                                     static_cast<float>(width),
                                 v);
                    }
                }
                at(x, y) = sum / (n * n);
            }
        }
    }
};

// Writes a 24-bit uncompressed BMP (atomically, see Output.h).
bool writeBmp(const Picture& picture, const std::string& path);
// Writes a PNG; used to look at the pictures while working on them.
bool writePng(const Picture& picture, const std::string& path);

// Deterministic noise: an integer hash, no random state. `period` makes the noise repeat
// every `period` lattice cells in x and y, so textures built from it tile.
float hashToUnit(int x, int y, int seed);
float valueNoise(glm::vec2 p, int seed, int period = 0);
// Fractal sum of `octaves` value noises, each twice the frequency and half the amplitude of
// the one before; roughly 0..1.
float fbm(glm::vec2 p, int seed, int octaves, int period = 0);
// 3D value noise for functions of direction (the sky).
float valueNoise3(glm::vec3 p, int seed);
float fbm3(glm::vec3 p, int seed, int octaves);

float smoothStep(float edge0, float edge1, float x);
glm::vec3 mix3(glm::vec3 a, glm::vec3 b, float t);
