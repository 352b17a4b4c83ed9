#include "scene/Assembly.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <glm/glm.hpp>
#include <optional>
#include <string>
#include <vector>

#include "assets/Bmp.h"
#include "assets/Paths.h"

namespace {

// Textures shared by several objects are loaded once, before their first object.
enum class SharedTexture { None, Barrels, Ground };

// What sets an object apart beyond placement and texture.
enum class Role {
    Plain,
    Mirror,  // red, and the object the reflection pass renders around
    Ground,  // carries the fine tessellation levels
    Water,   // like the ground, tessellated, and hidden until the timeline shows it
};

// The kind that the passes know an object of a role by.
constexpr ObjectKind kindOf(Role role) {
    switch (role) {
        case Role::Mirror:
            return ObjectKind::Reflector;
        case Role::Water:
            return ObjectKind::Water;
        case Role::Ground:
            return ObjectKind::Ground;
        case Role::Plain:
            break;
    }
    return ObjectKind::Matte;
}

// One row of the fixed scene. An empty optional means the call is not made.
struct ObjectRow {
    const char* name;
    const char* mesh;
    const char* texture;  // null: untextured
    SharedTexture shared;
    glm::vec3 position;
    std::optional<glm::vec3> scale;
    std::optional<glm::vec3> rotation;
    Role role;
};

constexpr glm::vec3 kLightPosition{5.0f, 20.0f, 0.0f};
constexpr glm::vec2 kGroundTessInner{8.0f, 25.0f};
constexpr glm::vec3 kGroundTessOuter{10.0f, 10.0f, 10.0f};
constexpr glm::vec3 kMirrorColor{1.0f, 0.0f, 0.0f};

constexpr auto kNone = std::nullopt;
constexpr SharedTexture kOwn = SharedTexture::None;
constexpr SharedTexture kBarrels = SharedTexture::Barrels;
constexpr SharedTexture kGround = SharedTexture::Ground;
using V = glm::vec3;

// Everything after the light cube, in index order (the light is 0, the sphere 1).
// clang-format off
const std::array<ObjectRow, 20> kObjectRows = {{
    {"testcube",   "sphere.3ds",     nullptr,                  kOwn,     {-12, 3, 0},        V(2.5f),        V(270, 0, 0),  Role::Mirror},
    {"Barrel",     "barrel.3ds",     "barrel.bmp",             kBarrels, {-25, -4, 16},      V(0.5f),        V(270, 0, 0),  Role::Plain},
    {"Barrel2",    "barrel.3ds",     "barrel.bmp",             kBarrels, {25, -4, 16},       V(0.5f),        V(270, 0, 0),  Role::Plain},
    {"Barrel3",    "barrel.3ds",     "barrel.bmp",             kBarrels, {-25, -4, -16},     V(0.5f),        V(270, 0, 0),  Role::Plain},
    {"Barrel4",    "barrel.3ds",     "barrel.bmp",             kBarrels, {25, -4, -16},      V(0.5f),        V(270, 0, 0),  Role::Plain},
    {"J",          "J.3ds",          "J_texture.bmp",          kOwn,     {0, -1.1f, -4.4f},  kNone,          V(270, 0, 90), Role::Plain},
    {"J2",         "J.3ds",          "J_texture.bmp",          kOwn,     {0, 1.1f, 4.4f},    kNone,          V(90, 0, 90),  Role::Plain},
    {"J3",         "J.3ds",          "J_texture.bmp",          kOwn,     {0, 4.4f, 1.1f},    kNone,          V(90, 0, 90),  Role::Plain},
    {"O",          "O.3ds",          "O_texture.bmp",          kOwn,     {0, -1.1f, 2.2f},   kNone,          V(0, 0, 90),   Role::Plain},
    {"T",          "T.3ds",          "T_texture.bmp",          kOwn,     {0, 0, 0},          kNone,          V(90, 0, 90),  Role::Plain},
    {"T2",         "T.3ds",          "T_texture.bmp",          kOwn,     {0, 1.1f, -2.2f},   kNone,          V(0, 0, 90),   Role::Plain},
    {"T3",         "T.3ds",          "T_texture.bmp",          kOwn,     {0, 0, 1.1f},       kNone,          V(270, 0, 90), Role::Plain},
    {"Z",          "Z.3ds",          "Z_texture.bmp",          kOwn,     {0, 0, -3.3f},      kNone,          V(0, 0, 90),   Role::Plain},
    {"Z2",         "Z.3ds",          "Z_texture.bmp",          kOwn,     {0, 3.3f, -1.1f},   kNone,          V(0, 0, 90),   Role::Plain},
    {"Streetlamp", "streetlamp.3ds", "streetlamp_texture.bmp", kOwn,     {0, -2, -15},       V(0.8f),        V(270, 0, 0),  Role::Plain},
    {"Plane",      "plane.3ds",      "ground17.bmp",           kGround,  {-5, kGroundLevel, 5},    V(10, 1, 10),   V(-90, 0, 0),  Role::Ground},
    {"Plane2",     "plane.3ds",      "ground17.bmp",           kGround,  {-5, kGroundLevel, -5},   V(10, 1, 10),   V(-90, 0, 0),  Role::Ground},
    {"Plane3",     "plane.3ds",      "ground17.bmp",           kGround,  {5, kGroundLevel, 5},     V(10, 1, 10),   V(-90, 0, 0),  Role::Ground},
    {"Plane4",     "plane.3ds",      "ground17.bmp",           kGround,  {5, kGroundLevel, -5},    V(10, 1, 10),   V(-90, 0, 0),  Role::Ground},
    {"Water",      "plane.3ds",      "water.bmp",              kOwn,     {0, -2, 0},         V(10, 1, 10),   V(-90, 0, 0),  Role::Water},
}};
// clang-format on

struct SkyWall {
    glm::vec3 position;
    glm::vec3 scale;
    glm::vec3 rotation;
};

// The six candidate walls; the walls are 20.1 wide so that their edges overlap.
constexpr std::array<SkyWall, 6> kSkyWalls = {{
    {{100.0f, 0.0f, 0.0f}, {1.0f, 20.1f, 20.1f}, {0.0f, 90.0f, 0.0f}},
    {{-100.0f, 0.0f, 0.0f}, {1.0f, 20.1f, 20.1f}, {0.0f, -90.0f, 0.0f}},
    {{0.0f, 100.0f, 0.0f}, {20.1f, 1.0f, 20.1f}, {-90.0f, 0.0f, 0.0f}},
    {{0.0f, -100.0f, 0.0f}, {20.1f, 1.0f, 20.1f}, {90.0f, 0.0f, 0.0f}},
    {{0.0f, 0.0f, -100.0f}, {20.1f, 20.1f, 1.0f}, {0.0f, 180.0f, 0.0f}},
    {{0.0f, 0.0f, 100.0f}, {20.1f, 20.1f, 1.0f}, {0.0f, 0.0f, 0.0f}},
}};
// The floor wall is never built: the ground tiles and the water cover it.
constexpr int kSkippedSkyWall = 3;

struct CubeFace {
    std::array<glm::vec3, 6> vertices;
    glm::vec3 normal;
    glm::vec3 color;
};

constexpr std::array<CubeFace, 6> kCubeFaces = {{
    {{{{-1, -1, 1}, {-1, 1, 1}, {1, -1, 1}, {1, -1, 1}, {-1, 1, 1}, {1, 1, 1}}},
     {0, 0, 1},
     {1, 0, 0}},
    {{{{-1, -1, -1}, {-1, 1, -1}, {1, -1, -1}, {1, -1, -1}, {-1, 1, -1}, {1, 1, -1}}},
     {0, 0, -1},
     {0, 1, 0}},
    {{{{-1, -1, 1}, {-1, 1, 1}, {-1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {-1, 1, 1}}},
     {-1, 0, 0},
     {0, 0, 1}},
    {{{{1, -1, 1}, {1, 1, 1}, {1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}}},
     {1, 0, 0},
     {1, 0, 1}},
    {{{{-1, 1, 1}, {-1, 1, -1}, {1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}}},
     {0, 1, 0},
     {1, 1, 0}},
    {{{{-1, -1, 1}, {-1, -1, -1}, {1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}}},
     {0, -1, 0},
     {0, 1, 1}},
}};

std::uint32_t loadTexture(const char* file) {
    const std::string path = joinPath(texturesDir, file);
    return loadBmpTexture(path.c_str());
}

// The texture of a row: its own fresh load, or the shared one, loaded on first use.
std::uint32_t textureFor(const ObjectRow& row, std::optional<std::uint32_t>& barrels,
                         std::optional<std::uint32_t>& ground) {
    if (row.texture == nullptr) return 0;
    std::optional<std::uint32_t>* shared = nullptr;
    if (row.shared == SharedTexture::Barrels) shared = &barrels;
    if (row.shared == SharedTexture::Ground) shared = &ground;
    if (shared == nullptr) return loadTexture(row.texture);
    if (!shared->has_value()) *shared = loadTexture(row.texture);
    return **shared;
}

SceneObject buildObject(const ObjectRow& row, std::uint32_t texture) {
    SceneObject object(joinPath(modelsDir, row.mesh));
    object.name = row.name;
    object.kind = kindOf(row.role);
    if (row.role == Role::Ground || row.role == Role::Water) {
        object.tessInner = kGroundTessInner;
        object.tessOuter = kGroundTessOuter;
    }
    if (row.role == Role::Water) {
        object.tessellation = true;
        object.visible = false;
    }
    object.setPosition(row.position);
    if (row.scale) object.setScale(row.scale->x, row.scale->y, row.scale->z);
    if (row.rotation) object.setRotation(row.rotation->x, row.rotation->y, row.rotation->z);
    if (row.role == Role::Mirror) object.setColor(kMirrorColor.r, kMirrorColor.g, kMirrorColor.b);
    object.createBuffers();
    object.texture = texture;
    object.reflection = row.role == Role::Mirror;
    return object;
}

SceneObject buildLightCube() {
    SceneObject light(scene.cubeVertices, scene.cubeColors);
    light.name = "LICHT";
    light.kind = ObjectKind::LightCube;
    light.setColor(1.0f, 1.0f, 1.0f);
    light.setPosition(kLightPosition);
    // Keep the unit face normals rather than the triangle list's unnormalised ones.
    light.setNormals(scene.cubeNormals);
    light.createBuffers();
    light.visible = true;
    return light;
}

}  // namespace

void buildCubeArrays() {
    for (const CubeFace& face : kCubeFaces) {
        for (const glm::vec3& vertex : face.vertices) {
            scene.cubeVertices.push_back(vertex);
            scene.cubeNormals.push_back(face.normal);
            scene.cubeColors.push_back(face.color);
        }
    }
}

SceneObject& buildSkyPlane(SceneObject& object, int i) {
    if (i < 0 || i >= static_cast<int>(kSkyWalls.size())) return object;
    const SkyWall& wall = kSkyWalls[static_cast<std::size_t>(i)];
    object = SceneObject(joinPath(modelsDir, "plane.3ds"));
    char name[16];
    std::snprintf(name, sizeof name, "sky%d", i);
    object.name = name;
    object.kind = ObjectKind::SkyWall;
    object.tessellation = false;
    object.visible = true;
    object.setPosition(wall.position);
    object.setScale(wall.scale.x, wall.scale.y, wall.scale.z);
    object.setRotation(wall.rotation.x, wall.rotation.y, wall.rotation.z);
    object.createBuffers();
    return object;
}

std::vector<std::string> sceneMeshFiles() {
    std::vector<std::string> files;
    for (const ObjectRow& row : kObjectRows) {
        if (std::find(files.begin(), files.end(), row.mesh) == files.end())
            files.push_back(row.mesh);
    }
    return files;
}

void assembleScene() {
    // Start from empty collections so that the light cube gets exactly 36 vertices.
    scene = Scene{};
    buildCubeArrays();
    scene.sceneObjects.push_back(buildLightCube());

    std::optional<std::uint32_t> barrelTexture;
    std::optional<std::uint32_t> groundTexture;
    for (const ObjectRow& row : kObjectRows) {
        // The texture is loaded just before the mesh, so the console follows the table.
        const std::uint32_t texture = textureFor(row, barrelTexture, groundTexture);
        scene.sceneObjects.push_back(buildObject(row, texture));
    }

    const std::string skyboxPath = joinPath(texturesDir, "skybox.bmp");
    const auto faces = loadSkyboxFaces(skyboxPath.c_str());
    for (int i = 0; i < static_cast<int>(kSkyWalls.size()); ++i) {
        if (i == kSkippedSkyWall) continue;
        SceneObject wall;
        buildSkyPlane(wall, i);
        // A sky box that failed to load leaves the walls untextured.
        wall.texture = faces ? (*faces)[static_cast<std::size_t>(i)] : 0;
        scene.skyPlanes.push_back(wall);
    }
}
