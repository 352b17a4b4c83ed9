// The scene's meshes. All models are Z-up and stand on (or are centred at) their origin; the
// scene turns most of them by 270 degrees about x, which takes model +Z to world +Y.
#include <array>
#include <cmath>
#include <set>
#include <utility>

#include "AssetGen.h"

namespace {

constexpr float kPi = 3.14159265359f;

// The cubes of each letter on the x-z grid (x right, z up, in cube steps), centred on the
// origin cube. The nine letters of the scene fit together into one solid block.
using Cells = std::vector<std::pair<int, int>>;
Cells letterCells(char letter) {
    switch (letter) {
        case 'J':
            return {{-1, 0}, {0, 0}, {0, 1}, {0, 2}};
        case 'O':
            return {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
        case 'T':
            return {{0, 0}, {-1, 1}, {0, 1}, {1, 1}};
        case 'Z':
            return {{0, 0}, {1, 0}, {-1, 1}, {0, 1}};
        default:
            return {};
    }
}

}  // namespace

Model buildPlane() {
    // 10 x 10 in x-y, facing +z, uv 0..1 across; a few cells so that displaced surfaces
    // have vertices to work with before tessellation.
    constexpr int cells = 4;
    constexpr float half = 5.0f;
    Model model;
    MeshPart& part = model.newPart();
    for (int j = 0; j <= cells; ++j) {
        for (int i = 0; i <= cells; ++i) {
            const glm::vec2 t{static_cast<float>(i) / cells, static_cast<float>(j) / cells};
            part.addVertex({-half + 2.0f * half * t.x, -half + 2.0f * half * t.y, 0.0f}, t);
        }
    }
    for (unsigned j = 0; j < cells; ++j) {
        for (unsigned i = 0; i < cells; ++i) {
            const unsigned a = j * (cells + 1) + i, b = a + 1, d = a + cells + 1, c = d + 1;
            part.addTriangle(a, b, c);
            part.addTriangle(a, c, d);
        }
    }
    return model;
}

Model buildSphere() {
    constexpr int rings = 32, segments = 48;
    std::vector<ProfilePoint> profile;
    for (int k = 0; k <= rings; ++k) {
        const float v = static_cast<float>(k) / rings;
        const float latitude = -0.5f * kPi + kPi * v;
        const bool pole = k == 0 || k == rings;
        profile.push_back({pole ? 0.0f : std::cos(latitude),
                           k == 0 ? -1.0f : (k == rings ? 1.0f : std::sin(latitude)), v});
    }
    Model model;
    addLathe(model, profile, segments, false, UvRect{});
    return model;
}

Model buildBarrel() {
    constexpr float height = 3.0f;
    constexpr float endRadius = 0.86f, bellyRadius = 1.0f;
    constexpr float chimeRadius = 0.79f, lidDepth = 0.14f;
    constexpr int segments = 48, rings = 24;

    Model model;
    // Staves bulge towards the middle.
    std::vector<ProfilePoint> side;
    for (int k = 0; k <= rings; ++k) {
        const float t = static_cast<float>(k) / rings;
        const float radius = endRadius + (bellyRadius - endRadius) * std::sin(kPi * t);
        side.push_back({radius, height * t, t});
    }
    addLathe(model, side, segments, false, atlas::barrelSide);

    // Iron hoops stand a little proud of the staves, where the texture paints them.
    auto radiusAt = [&](float t) {
        return endRadius + (bellyRadius - endRadius) * std::sin(kPi * t);
    };
    constexpr float proud = 0.025f;
    for (float h : atlas::kBarrelHoops) {
        const float t0 = h - atlas::kBarrelHoopHalf, t1 = h + atlas::kBarrelHoopHalf;
        const float r0 = radiusAt(t0), r1 = radiusAt(t1);
        const float z0 = height * t0, z1 = height * t1;
        addLathe(model, {{r0, z0, t0}, {r0 + proud, z0, t0}}, segments, false, atlas::barrelSide);
        addLathe(model, {{r0 + proud, z0, t0}, {r1 + proud, z1, t1}}, segments, false,
                 atlas::barrelSide);
        addLathe(model, {{r1 + proud, z1, t1}, {r1, z1, t1}}, segments, false, atlas::barrelSide);
    }

    // At each end the staves stand proud of the lid: a rim of end grain, a short inner wall
    // facing the axis, and the lid.
    addDisc(model, chimeRadius, endRadius, height, true, segments, atlas::barrelRim);
    addLathe(model, {{chimeRadius, height, 1.0f}, {chimeRadius, height - lidDepth, 0.0f}}, segments,
             false, atlas::barrelRim);
    addDisc(model, 0.0f, chimeRadius, height - lidDepth, true, segments, atlas::barrelLid);

    addDisc(model, chimeRadius, endRadius, 0.0f, false, segments, atlas::barrelRim);
    addLathe(model, {{chimeRadius, lidDepth, 1.0f}, {chimeRadius, 0.0f, 0.0f}}, segments, false,
             atlas::barrelRim);
    addDisc(model, 0.0f, chimeRadius, lidDepth, false, segments, atlas::barrelLid);
    return model;
}

Model buildStreetlamp() {
    using atlas::lampBrass;
    using atlas::lampGlass;
    using atlas::lampIron;
    constexpr float kTop = 12.0f;  // v of the iron runs with height
    auto iron = [](float radius, float z) { return ProfilePoint{radius, z, z / kTop}; };
    constexpr float square = 0.25f * kPi;  // four facets with their faces on the axes
    Model model;

    // Octagonal plinth and pedestal, each band with hard edges.
    const float oct = kPi / 8.0f;
    addDisc(model, 0.0f, 0.95f, 0.0f, false, 8, lampIron, oct);
    addLathe(model, {iron(0.95f, 0.0f), iron(0.95f, 0.3f)}, 8, true, lampIron, oct);
    addLathe(model, {iron(0.95f, 0.3f), iron(0.7f, 0.5f)}, 8, true, lampIron, oct);
    addLathe(model, {iron(0.7f, 0.5f), iron(0.56f, 1.6f)}, 8, true, lampIron, oct);
    addLathe(model, {iron(0.56f, 1.6f), iron(0.64f, 1.68f)}, 8, true, lampIron, oct);
    addLathe(model, {iron(0.64f, 1.68f), iron(0.64f, 1.8f)}, 8, true, lampIron, oct);
    addLathe(model, {iron(0.64f, 1.8f), iron(0.2f, 2.0f)}, 8, true, lampIron, oct);

    // The pole, slightly tapered, with brass collars.
    addLathe(model, {iron(0.2f, 2.0f), iron(0.15f, 9.0f)}, 24, false, lampIron);
    auto collar = [&](float z, float radius) {
        addLathe(model,
                 {{radius - 0.06f, z - 0.1f, 0.0f},
                  {radius, z - 0.04f, 0.3f},
                  {radius, z + 0.04f, 0.7f},
                  {radius - 0.06f, z + 0.1f, 1.0f}},
                 24, false, lampBrass);
    };
    collar(2.25f, 0.27f);
    collar(8.75f, 0.22f);

    // A ladder bar under the lantern.
    addBox(model, {-0.75f, -0.05f, 8.2f}, {0.75f, 0.05f, 8.32f}, lampIron);

    // The lantern: a flared square of glass between iron bands, under an overhanging roof.
    addLathe(model, {iron(0.15f, 9.0f), iron(0.58f, 9.3f)}, 4, true, lampIron, square);
    addLathe(model, {iron(0.58f, 9.3f), iron(0.58f, 9.42f)}, 4, true, lampBrass, square);
    addLathe(model, {{0.58f, 9.42f, 0.0f}, {0.78f, 10.5f, 1.0f}}, 4, true, lampGlass, square);
    addLathe(model, {iron(0.78f, 10.5f), iron(0.78f, 10.62f)}, 4, true, lampBrass, square);
    addLathe(model, {iron(0.78f, 10.62f), iron(1.0f, 10.62f)}, 4, true, lampIron, square);
    addLathe(model, {iron(1.0f, 10.62f), iron(1.0f, 10.7f)}, 4, true, lampIron, square);
    addLathe(model, {iron(1.0f, 10.7f), iron(0.16f, 11.3f)}, 4, true, lampIron, square);

    // Finial: a neck and a ball.
    std::vector<ProfilePoint> finial{{0.16f, 11.3f, 0.0f}, {0.09f, 11.42f, 0.2f}};
    constexpr int ballRings = 8;
    constexpr float ballRadius = 0.13f, ballCentre = 11.52f;
    for (int k = 1; k <= ballRings; ++k) {
        const float a = -0.35f * kPi + 0.85f * kPi * static_cast<float>(k) / ballRings;
        const float radius = k == ballRings ? 0.0f : ballRadius * std::cos(a);
        finial.push_back({radius, ballCentre + ballRadius * std::sin(a),
                          0.2f + 0.8f * static_cast<float>(k) / ballRings});
    }
    addLathe(model, finial, 16, false, lampBrass);
    return model;
}

Model buildLetter(char letter) {
    const Cells cells = letterCells(letter);
    const std::set<std::pair<int, int>> occupied(cells.begin(), cells.end());
    // Neighbour offsets (x, z) in the order of BoxFace; y is one cube deep, so its faces are
    // always outside.
    constexpr std::array<std::pair<int, int>, kBoxFaces> step{
        {{0, 0}, {1, 0}, {0, 0}, {-1, 0}, {0, 1}, {0, -1}}};
    constexpr float half = 0.5f * kLetterCube;

    Model model;
    // One part per facing direction: flat faces, hard edges between directions.
    for (int face = 0; face < kBoxFaces; ++face) {
        MeshPart& part = model.newPart();
        const auto [dx, dz] = step[static_cast<size_t>(face)];
        const bool depthFace =
            face == static_cast<int>(BoxFace::minusY) || face == static_cast<int>(BoxFace::plusY);
        for (const auto& [x, z] : cells) {
            if (!depthFace && occupied.count({x + dx, z + dz})) continue;  // hidden inside
            const glm::vec3 centre{kLetterCube * static_cast<float>(x), 0.0f,
                                   kLetterCube * static_cast<float>(z)};
            addBoxFace(part, centre - glm::vec3(half), centre + glm::vec3(half),
                       static_cast<BoxFace>(face), UvRect{});
        }
    }
    return model;
}
