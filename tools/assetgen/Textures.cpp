// The scene's pictures, all procedural and deterministic.
#include <algorithm>
#include <cmath>
#include <glm/gtc/matrix_transform.hpp>

#include "AssetGen.h"

namespace {

constexpr float kPi = 3.14159265359f;

float fract(float x) { return x - std::floor(x); }

// Position of t inside rectangle r, 0..1 on each axis.
glm::vec2 local(const UvRect& r, glm::vec2 t) { return (t - r.min) / (r.max - r.min); }
bool inside(const UvRect& r, glm::vec2 t) {
    return t.x >= r.min.x && t.x < r.max.x && t.y >= r.min.y && t.y < r.max.y;
}

// --- barrel -------------------------------------------------------------------------------

glm::vec3 woodGrain(glm::vec2 p, float tone, int seed) {
    // Long fibres along y: noise stretched across x, with a few darker late-wood lines.
    const float fibre = valueNoise({p.x * 90.0f, p.y * 3.0f}, seed, 0);
    const float lines = std::pow(valueNoise({p.x * 24.0f, p.y * 1.5f}, seed + 5, 0), 3.0f);
    const glm::vec3 light{0.62f, 0.42f, 0.24f}, dark{0.36f, 0.22f, 0.11f};
    glm::vec3 c = mix3(dark, light, 0.35f + 0.4f * fibre - 0.3f * lines);
    return c * tone;
}

glm::vec3 hoopIron(float across, float u, float around) {
    // A band of dark iron with a rounded highlight, darker edges and a little rust.
    const float profile = std::sin(kPi * across);
    const float rust = fbm({u * 64.0f, across * 4.0f}, 71, 4, 64);
    glm::vec3 c = mix3({0.13f, 0.13f, 0.14f}, {0.36f, 0.2f, 0.1f}, smoothStep(0.55f, 0.8f, rust));
    c *= 0.55f + 0.75f * profile;
    c += glm::vec3(0.25f) * std::pow(profile, 12.0f);
    // Rivets, six around.
    const float rivet = glm::length(glm::vec2((fract(around * 6.0f) - 0.5f) * 5.0f, across - 0.5f));
    if (rivet < 0.22f) c = glm::vec3(0.45f, 0.42f, 0.4f) * (1.2f - 2.5f * rivet);
    return c;
}

glm::vec3 barrelSide(glm::vec2 t) {
    constexpr int staves = 18;
    const float s = t.y;  // height on the barrel, 0..1
    const float x = t.x * staves;
    const int stave = static_cast<int>(x) % staves;
    const float across = fract(x);
    const float tone = 0.85f + 0.3f * hashToUnit(stave, 0, 3);
    glm::vec3 c = woodGrain({t.x, s + 0.37f * static_cast<float>(stave)}, tone, 11);
    // Each stave is slightly rounded, with a dark joint to its neighbours.
    c *= 0.85f + 0.2f * std::sin(kPi * across);
    const float joint = std::min(across, 1.0f - across);
    c *= 0.35f + 0.65f * smoothStep(0.0f, 0.06f, joint);
    // Grime towards the ends.
    c *= 0.75f + 0.25f * smoothStep(0.0f, 0.2f, std::min(s, 1.0f - s));

    for (float h : atlas::kBarrelHoops) {
        const float d = std::abs(s - h);
        if (d < atlas::kBarrelHoopHalf) {
            return hoopIron((s - h + atlas::kBarrelHoopHalf) / (2.0f * atlas::kBarrelHoopHalf), t.x,
                            t.x);
        }
        if (d < atlas::kBarrelHoopHalf + 0.012f) c *= 0.45f;  // shadow the hoop casts on the wood
    }
    return c;
}

glm::vec3 barrelLid(glm::vec2 p) {
    // Boards across the lid, a dark ring at the edge.
    constexpr int boards = 5;
    const int board = std::min(static_cast<int>(p.y * boards), boards - 1);
    const float across = fract(p.y * boards);
    glm::vec3 c = woodGrain({p.y + 0.21f * static_cast<float>(board), p.x},
                            0.8f + 0.25f * hashToUnit(board, 1, 9), 17);
    c *= 0.4f + 0.6f * smoothStep(0.0f, 0.05f, std::min(across, 1.0f - across));
    const float r = glm::length(p - glm::vec2(0.5f));
    c *= 1.0f - 0.5f * smoothStep(0.4f, 0.5f, r);
    return c;
}

glm::vec3 endGrain(glm::vec2 p) {
    const float rings = fract(12.0f * p.x + 2.0f * valueNoise(p * 8.0f, 23, 0));
    return mix3({0.3f, 0.19f, 0.1f}, {0.45f, 0.3f, 0.17f}, smoothStep(0.2f, 0.8f, rings));
}

// --- letters ------------------------------------------------------------------------------

glm::vec3 letterColour(char letter) {
    switch (letter) {
        case 'J':
            return {0.16f, 0.34f, 0.92f};
        case 'O':
            return {0.98f, 0.8f, 0.12f};
        case 'T':
            return {0.62f, 0.2f, 0.82f};
        case 'Z':
            return {0.92f, 0.16f, 0.14f};
        default:
            return {0.7f, 0.7f, 0.7f};
    }
}

// 0 or 1: the letter's own pattern on the face of each cube.
float letterPattern(char letter, glm::vec2 p) {
    const glm::vec2 c = p - glm::vec2(0.5f);
    switch (letter) {
        case 'J':
            return fract((p.x + p.y) * 5.0f) < 0.5f ? 1.0f : 0.0f;  // diagonal stripes
        case 'O':
            return fract(glm::length(c) * 8.0f) < 0.5f ? 1.0f : 0.0f;  // rings
        case 'T': {                                                    // dots
            const glm::vec2 cell = glm::vec2(fract(p.x * 4.0f), fract(p.y * 4.0f)) - 0.5f;
            return glm::length(cell) < 0.22f ? 1.0f : 0.0f;
        }
        case 'Z': {  // chevrons
            const float zig = std::abs(fract(p.x * 3.0f) - 0.5f);
            return fract(p.y * 4.0f + zig) < 0.5f ? 1.0f : 0.0f;
        }
        default:
            return 0.0f;
    }
}

// --- street lamp --------------------------------------------------------------------------

glm::vec3 lampIron(glm::vec2 p) {
    // Painted dark-green cast iron with twelve flutes around, a little worn.
    const float flute = 0.5f + 0.5f * std::cos(2.0f * kPi * 12.0f * p.x);
    const float wear = fbm({p.x * 16.0f, p.y * 64.0f}, 31, 4, 16);
    glm::vec3 c = mix3({0.05f, 0.1f, 0.07f}, {0.12f, 0.2f, 0.14f}, flute);
    c = mix3(c, {0.25f, 0.26f, 0.24f}, 0.5f * smoothStep(0.62f, 0.8f, wear));
    return c * (0.9f + 0.2f * valueNoise({p.x * 128.0f, p.y * 256.0f}, 37, 128));
}

glm::vec3 lampGlass(glm::vec2 p) {
    // Two by three panes of warm, lit glass in a dark frame, brightest where the flame is.
    constexpr float frame = 0.06f, bar = 0.025f;
    const glm::vec3 iron{0.06f, 0.1f, 0.07f};
    if (p.x < frame || p.x > 1.0f - frame || p.y < frame || p.y > 1.0f - frame) return iron;
    if (std::abs(p.x - 0.5f) < bar) return iron;
    if (std::abs(p.y - 0.37f) < bar || std::abs(p.y - 0.68f) < bar) return iron * 1.4f;
    // Lit from inside: bright at the flame, amber towards the frame, with faint streaks
    // and a cool reflection running across.
    const glm::vec2 d = p - glm::vec2(0.5f, 0.42f);
    const float glow = std::exp(-5.0f * glm::dot(d, d));
    const float streaks = valueNoise({p.x * 40.0f, p.y * 3.0f}, 41, 0);
    glm::vec3 c = mix3({0.95f, 0.58f, 0.18f}, {1.0f, 0.97f, 0.8f}, glow);
    c *= 0.93f + 0.07f * streaks;
    const float reflection = smoothStep(0.06f, 0.0f, std::abs(p.x + 0.6f * p.y - 0.95f));
    return mix3(c, {0.85f, 0.9f, 0.95f}, 0.35f * reflection);
}

glm::vec3 lampBrass(glm::vec2 p) {
    const float sheen = 0.5f + 0.5f * std::sin(2.0f * kPi * (p.y * 3.0f));
    const float tarnish = fbm(p * 12.0f, 43, 4, 12);
    glm::vec3 c = mix3({0.5f, 0.36f, 0.14f}, {0.9f, 0.74f, 0.4f}, sheen * 0.7f + 0.15f);
    return mix3(c, {0.3f, 0.32f, 0.22f}, 0.6f * smoothStep(0.6f, 0.85f, tarnish));
}

// --- sky ----------------------------------------------------------------------------------

// The sky as seen in world direction d (y up): gradient, distant hills, clouds.
glm::vec3 skyColour(glm::vec3 d) {
    d = glm::normalize(d);
    const float e = d.y;
    const glm::vec3 zenith{0.18f, 0.38f, 0.78f}, horizon{0.72f, 0.82f, 0.92f};
    glm::vec3 c = mix3(horizon, zenith, std::pow(std::max(e, 0.0f), 0.55f));

    // Two ranges of distant hills whose height depends only on the direction around: a far,
    // hazy blue one and a nearer, greener one in front of it.
    const glm::vec2 around = glm::normalize(glm::vec2(d.x, d.z));
    const float farShape = fbm3(glm::vec3(around * 1.8f, 0.0f), 51, 6);
    const float nearShape = fbm3(glm::vec3(around * 3.5f, 5.0f), 57, 5);
    const float far = 0.012f + 0.5f * farShape * farShape * farShape;
    const float near = 0.004f + 0.2f * nearShape * nearShape * nearShape;
    // Woods and fields on the hills, fine enough to hold up on a wall of 1024 texels.
    const float texture =
        0.9f + 0.1f * fbm3(d * 60.0f, 53, 3) + 0.08f * (fbm3(d * 240.0f, 59, 3) - 0.5f);

    // Clouds on a plane above the viewer; thinner and flatter towards the horizon.
    if (e > 0.0f) {
        const glm::vec2 p = glm::vec2(d.x, d.z) / (e + 0.12f);
        // Eight octaves: wisps and crisp edges down to the walls' texels.
        const float n = fbm3(glm::vec3(p * 1.6f, 0.0f), 61, 8);
        const float cover = smoothStep(0.52f, 0.68f, n) * smoothStep(0.0f, 0.25f, e);
        const float shade = fbm3(glm::vec3(p * 1.6f + 0.15f, 0.0f), 61, 8);
        const glm::vec3 cloud =
            mix3({1.0f, 1.0f, 1.0f}, {0.62f, 0.66f, 0.74f}, smoothStep(0.55f, 0.8f, shade) * 0.8f);
        c = mix3(c, cloud, cover * 0.92f);
    }

    // The ridges are blended over about one texel of height so that their outline stays
    // smooth when the walls are seen close up.
    constexpr float edge = 0.0015f;
    const float farDepth = std::clamp((far - e) / 0.06f, 0.0f, 1.0f);
    const glm::vec3 farLand = mix3({0.6f, 0.69f, 0.8f}, {0.5f, 0.6f, 0.7f}, farDepth) * texture;
    c = mix3(c, farLand, smoothStep(far + edge, far - edge, e));
    const float nearDepth = std::clamp((near - e) / 0.05f, 0.0f, 1.0f);
    const glm::vec3 nearLand =
        mix3({0.42f, 0.53f, 0.47f}, {0.25f, 0.37f, 0.24f}, nearDepth) * texture;
    return mix3(c, nearLand, smoothStep(near + edge, near - edge, e));
}

// Where the sky walls are: position, scale and rotation (degrees about x, y, z) of each face
// of the cross, exactly as the scene places the textured plane. Face 3 (below) is not shown
// but is filled the same way.
struct Wall {
    glm::vec3 position, scale, rotation;
};
constexpr Wall kWalls[6] = {
    {{100, 0, 0}, {1, 20.1f, 20.1f}, {0, 90, 0}},   {{-100, 0, 0}, {1, 20.1f, 20.1f}, {0, -90, 0}},
    {{0, 100, 0}, {20.1f, 1, 20.1f}, {-90, 0, 0}},  {{0, -100, 0}, {20.1f, 1, 20.1f}, {90, 0, 0}},
    {{0, 0, -100}, {20.1f, 20.1f, 1}, {0, 180, 0}}, {{0, 0, 100}, {20.1f, 20.1f, 1}, {0, 0, 0}}};
// Cell of each face in the cross: column from the left, band from the top.
constexpr int kCell[6][2] = {{2, 1}, {0, 1}, {1, 0}, {1, 2}, {3, 1}, {1, 1}};

glm::mat4 wallMatrix(const Wall& w) {
    const float toRad = kPi / 180.0f;
    glm::mat4 r = glm::rotate(glm::mat4(1.0f), w.rotation.x * toRad, {1, 0, 0});
    r = glm::rotate(r, w.rotation.y * toRad, {0, 1, 0});
    r = glm::rotate(r, w.rotation.z * toRad, {0, 0, 1});
    const glm::mat4 t = glm::translate(glm::mat4(1.0f), w.position);
    const glm::mat4 s = glm::scale(glm::mat4(1.0f), w.scale);
    return s * t * r;
}

}  // namespace

Picture makeBarrelTexture() {
    Picture p(512, 512);
    p.fill(
        [](float u, float v) {
            const glm::vec2 t{u, v};
            if (inside(atlas::barrelSide, t)) return barrelSide(local(atlas::barrelSide, t));
            if (inside(atlas::barrelLid, t)) return barrelLid(local(atlas::barrelLid, t));
            return endGrain(local(atlas::barrelRim, t));
        },
        2);
    return p;
}

Picture makeLetterTexture(char letter) {
    Picture p(256, 256);
    const glm::vec3 base = letterColour(letter);
    const int seed = static_cast<int>(letter);
    p.fill(
        [&](float u, float v) {
            // A bevelled block: light from the top left, dark to the bottom right.
            constexpr float bevel = 0.1f;
            glm::vec3 c = base;
            const float edge = std::min(std::min(u, 1.0f - u), std::min(v, 1.0f - v));
            if (edge < bevel) {
                const float up =
                    v > 1.0f - bevel && v - (1.0f - bevel) >= bevel - std::min(u, 1.0f - u) ? 1.0f
                                                                                            : 0.0f;
                const float left =
                    u < bevel && bevel - u >= bevel - std::min(v, 1.0f - v) ? 1.0f : 0.0f;
                const float down =
                    v < bevel && bevel - v >= bevel - std::min(u, 1.0f - u) ? 1.0f : 0.0f;
                if (up > 0.0f || left > 0.0f) {
                    c = mix3(base, glm::vec3(1.0f), up > 0.0f ? 0.45f : 0.3f);
                } else {
                    c = base * (down > 0.0f ? 0.45f : 0.6f);
                }
            } else {
                const glm::vec2 inner = (glm::vec2(u, v) - bevel) / (1.0f - 2.0f * bevel);
                c *= 0.82f + 0.18f * letterPattern(letter, inner);
            }
            if (edge < 0.012f) c *= 0.3f;  // dark outline between cubes
            const float grain = fbm({u * 16.0f, v * 16.0f}, seed, 4, 16);
            return c * (0.88f + 0.2f * grain);
        },
        3);
    return p;
}

Picture makeStreetlampTexture() {
    Picture p(512, 512);
    p.fill(
        [](float u, float v) {
            const glm::vec2 t{u, v};
            if (inside(atlas::lampIron, t)) return lampIron(local(atlas::lampIron, t));
            if (inside(atlas::lampGlass, t)) return lampGlass(local(atlas::lampGlass, t));
            return lampBrass(local(atlas::lampBrass, t));
        },
        2);
    return p;
}

Picture makeGroundTexture() {
    // A meadow with dry and bare patches, flowers in the grass and pebbles in the earth; every
    // term repeats with the picture, so neighbouring tiles meet without a seam.
    // At 2048 texels a tile (20 a world unit) the grass keeps its blades where the camera
    // comes close.
    constexpr int size = 2048, dotCells = 256;
    Picture p(size, size);
    p.fill([](float u, float v) {
        const glm::vec2 t{u, v};
        const float patch = fbm(t * 6.0f, 101, 5, 6);
        const float dry = fbm(t * 10.0f + 3.0f, 103, 4, 10);
        const float blades =
            0.6f * valueNoise(t * 512.0f, 105, 512) + 0.4f * valueNoise(t * 1536.0f, 106, 1536);
        const float tufts = fbm(t * 64.0f, 107, 3, 64);
        const float bare = smoothStep(0.66f, 0.74f, patch);
        glm::vec3 c = mix3({0.13f, 0.27f, 0.07f}, {0.3f, 0.48f, 0.14f}, patch);
        c = mix3(c, {0.52f, 0.5f, 0.26f}, 0.6f * smoothStep(0.58f, 0.75f, dry));
        c = mix3(c, {0.4f, 0.31f, 0.2f}, bare * 0.85f);
        c *= 0.75f + 0.3f * blades + 0.2f * (tufts - 0.5f);

        // One possible dot per cell of a fine grid, at a hashed place inside the cell.
        const glm::vec2 g = t * static_cast<float>(dotCells);
        const int cx = static_cast<int>(g.x) % dotCells, cy = static_cast<int>(g.y) % dotCells;
        const glm::vec2 at{0.25f + 0.5f * hashToUnit(cx, cy, 111),
                           0.25f + 0.5f * hashToUnit(cx, cy, 113)};
        const float r = glm::length(glm::vec2(fract(g.x), fract(g.y)) - at);
        const float pick = hashToUnit(cx, cy, 117);
        if (bare > 0.5f && pick < 0.12f && r < 0.3f) {
            c = glm::vec3(0.46f, 0.41f, 0.35f) * (0.75f + 0.4f * hashToUnit(cx, cy, 119)) *
                (1.0f - 0.8f * r);
        } else if (bare < 0.1f && pick < 0.012f && r < 0.3f) {
            // A flower fades out from its heart over a few texels instead of ending in a hard
            // rim: as a speck of a pixel or two in the distance it then shimmers far less while
            // the camera moves.
            const glm::vec3 petals = hashToUnit(cx, cy, 123) < 0.5f ? glm::vec3(0.95f, 0.95f, 0.85f)
                                                                    : glm::vec3(0.95f, 0.8f, 0.2f);
            const float w = 1.0f - smoothStep(0.08f, 0.3f, r);
            c = mix3(c, petals, w);
        }
        return c;
    });
    return p;
}

Picture makeWaterTexture() {
    // A tileable ripple height field, shaded by its slope: whole-number wave vectors and
    // periodic noise keep every term seamless.
    constexpr int size = 512;
    auto height = [](glm::vec2 t) {
        const glm::vec2 warp{fbm(t * 3.0f, 201, 4, 3), fbm(t * 3.0f + 7.0f, 203, 4, 3)};
        const glm::vec3 waves[6] = {{3, 2, 0.0f},   {-2, 5, 1.3f}, {7, -3, 2.1f},
                                    {-5, -6, 4.0f}, {11, 4, 0.7f}, {-4, 13, 5.1f}};
        float h = 0.0f, amplitude = 1.0f;
        for (const glm::vec3& w : waves) {
            h += amplitude * std::sin(2.0f * kPi * (w.x * t.x + w.y * t.y + 0.6f * warp.x) + w.z);
            amplitude *= 0.72f;
        }
        return h + 0.8f * fbm(t * 8.0f, 205, 3, 8);
    };
    Picture p(size, size);
    p.fill([&](float u, float v) {
        const glm::vec2 t{u, v};
        constexpr float e = 1.0f / size;
        const float h = height(t);
        const float dx = (height(t + glm::vec2(e, 0)) - h) / e;
        const float dy = (height(t + glm::vec2(0, e)) - h) / e;
        const glm::vec3 n = glm::normalize(glm::vec3(-dx, -dy, 40.0f));
        const float lit = glm::dot(n, glm::normalize(glm::vec3(0.5f, 0.6f, 1.0f)));
        const float glint = std::pow(std::max(lit, 0.0f), 24.0f);
        glm::vec3 c = mix3({0.02f, 0.2f, 0.27f}, {0.1f, 0.46f, 0.5f}, 0.5f + 0.12f * h);
        c *= 0.75f + 0.35f * lit;
        return c + glm::vec3(0.55f, 0.7f, 0.7f) * glint;
    });
    return p;
}

Picture makeSkyboxTexture() {
    Picture p(4 * kSkyFace, 3 * kSkyFace);
    std::fill(p.pixels.begin(), p.pixels.end(), glm::vec3(0.0f));
    for (int face = 0; face < 6; ++face) {
        const glm::mat4 m = wallMatrix(kWalls[face]);
        const int left = kCell[face][0] * kSkyFace, top = kCell[face][1] * kSkyFace;
        for (int y = 0; y < kSkyFace; ++y) {
            // The loader hands each cell to GL bottom row first: v grows upward in the cell.
            const float v = 1.0f - (static_cast<float>(y) + 0.5f) / kSkyFace;
            for (int x = 0; x < kSkyFace; ++x) {
                const float u = (static_cast<float>(x) + 0.5f) / kSkyFace;
                // The plane spans -5..5 with uv 0..1 across it.
                const glm::vec4 world = m * glm::vec4(10.0f * u - 5.0f, 10.0f * v - 5.0f, 0, 1);
                p.at(left + x, top + y) = skyColour(glm::vec3(world));
            }
        }
    }
    return p;
}
