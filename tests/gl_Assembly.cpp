#include <algorithm>
#include <glm/glm.hpp>
#include <set>
#include <string>
#include <vector>

#include "scene/Assembly.h"
#include "scene/Scene.h"
#include "support/GlFixture.h"
#include "support/TestSupport.h"

namespace {

const std::vector<std::string> kObjectNames = {
    "LICHT", "testcube",   "Barrel", "Barrel2", "Barrel3", "Barrel4", "J",
    "J2",    "J3",         "O",      "T",       "T2",      "T3",      "Z",
    "Z2",    "Streetlamp", "Plane",  "Plane2",  "Plane3",  "Plane4",  "Water"};
const std::vector<std::string> kSkyNames = {"sky0", "sky1", "sky2", "sky4", "sky5"};

std::vector<std::string> namesOf(const std::vector<SceneObject>& objects) {
    std::vector<std::string> names;
    for (const SceneObject& object : objects) names.push_back(object.name);
    return names;
}

glm::vec3 drawnOrigin(const std::string& name) {
    const SceneObject* object = findObject(name);
    if (object == nullptr) return glm::vec3(-9999.0f);
    return glm::vec3(object->modelMatrix() * glm::vec4(0, 0, 0, 1));
}

void expectVec3Near(glm::vec3 actual, glm::vec3 expected, float tolerance = 1e-4f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

class AssemblyTest : public GlTest {
protected:
    void TearDown() override {
        scene = Scene{};
        GlTest::TearDown();
    }
};

}  // namespace

TEST_F(AssemblyTest, BuildsTheTableInOrder) {
    captureStdout([] { assembleScene(); });
    EXPECT_EQ(namesOf(scene.sceneObjects), kObjectNames);
    EXPECT_EQ(namesOf(scene.skyPlanes), kSkyNames);

    expectVec3Near(drawnOrigin("LICHT"), {5, 20, 0});
    expectVec3Near(drawnOrigin("Plane"), {-50, -1.75f, 50});
    expectVec3Near(drawnOrigin("Barrel"), {-12.5f, -2, 8});
    expectVec3Near(drawnOrigin("Streetlamp"), {0, -1.6f, -12});
    expectVec3Near(drawnOrigin("testcube"), {-30, 7.5f, 0});
    EXPECT_EQ(findObject("J2")->rotation, glm::vec3(90, 0, 90));
    EXPECT_EQ(findObject("J")->scaleMatrix, glm::mat4(1.0f));
    // Sky walls: 20.1 wide, 100 units out, the floor missing.
    expectVec3Near(glm::vec3(scene.skyPlanes[2].modelMatrix() * glm::vec4(0, 0, 0, 1)),
                   {0, 100, 0});
    expectVec3Near(glm::vec3(scene.skyPlanes[3].modelMatrix() * glm::vec4(0, 0, 0, 1)),
                   {0, 0, -100});

    for (const SceneObject& object : scene.sceneObjects) {
        const bool tile = object.name.rfind("Plane", 0) == 0;
        const ObjectKind kind = object.name == "LICHT"      ? ObjectKind::LightCube
                                : object.name == "testcube" ? ObjectKind::Reflector
                                : object.name == "Water"    ? ObjectKind::Water
                                : tile                      ? ObjectKind::Ground
                                                            : ObjectKind::Matte;
        EXPECT_EQ(object.kind, kind) << object.name;
        EXPECT_EQ(object.tessellation, object.name == "Water") << object.name;
        EXPECT_EQ(object.visible, object.name != "Water") << object.name;
        EXPECT_EQ(object.reflection, object.name == "testcube") << object.name;
        EXPECT_NE(object.vertexBuffer, 0u) << object.name;
        const bool ground = tile || object.name == "Water";
        EXPECT_EQ(object.tessInner, ground ? glm::vec2(8, 25) : glm::vec2(1, 1)) << object.name;
        EXPECT_EQ(object.tessOuter, ground ? glm::vec3(10) : glm::vec3(1)) << object.name;
        EXPECT_FALSE(object.vertices.empty()) << object.name;
    }
    for (const SceneObject& wall : scene.skyPlanes) {
        EXPECT_NE(wall.texture, 0u) << wall.name;
        EXPECT_EQ(wall.kind, ObjectKind::SkyWall) << wall.name;
        EXPECT_FALSE(wall.tessellation);
    }
    for (const SceneObject& object : scene.sceneObjects) {
        if (object.name == "testcube") {
            ASSERT_FALSE(object.colors.empty());
            EXPECT_EQ(object.colors.front(), glm::vec3(1, 0, 0));
            EXPECT_EQ(object.colors.size(), object.vertices.size());
        }
    }
}

TEST_F(AssemblyTest, SharedTexturesAreLoadedOnceAndLettersEachTime) {
    const std::string console = captureStdout([] { assembleScene(); });
    const std::uint32_t barrel = findObject("Barrel")->texture;
    const std::uint32_t ground = findObject("Plane")->texture;
    EXPECT_NE(barrel, 0u);
    EXPECT_NE(ground, 0u);
    for (const char* name : {"Barrel2", "Barrel3", "Barrel4"}) {
        EXPECT_EQ(findObject(name)->texture, barrel) << name;
    }
    for (const char* name : {"Plane2", "Plane3", "Plane4"}) {
        EXPECT_EQ(findObject(name)->texture, ground) << name;
    }
    std::set<std::uint32_t> letterTextures;
    for (const char* name : {"J", "J2", "J3", "O", "T", "T2", "T3", "Z", "Z2"}) {
        letterTextures.insert(findObject(name)->texture);
    }
    EXPECT_EQ(letterTextures.size(), 9u);
    EXPECT_EQ(letterTextures.count(0u), 0u);
    EXPECT_EQ(findObject("LICHT")->texture, 0u);
    EXPECT_EQ(findObject("testcube")->texture, 0u);
    EXPECT_NE(findObject("Water")->texture, 0u);

    EXPECT_EQ(countOf(console, "Reading image ./res/textures/barrel.bmp"), 1u);
    EXPECT_EQ(countOf(console, "Reading image ./res/textures/ground17.bmp"), 1u);
    EXPECT_EQ(countOf(console, "Reading image ./res/textures/J_texture.bmp"), 3u);
    EXPECT_EQ(countOf(console, "Reading image ./res/textures/T_texture.bmp"), 3u);
    EXPECT_EQ(countOf(console, "Reading image ./res/textures/Z_texture.bmp"), 2u);
    EXPECT_EQ(countOf(console, "./res/models/plane.3ds"), 10u);
}

TEST_F(AssemblyTest, ConsoleFollowsTheTable) {
    const std::string console = captureStdout([] { assembleScene(); });
    // Each texture message comes just before its mesh path; the sky comes last.
    const std::vector<std::string> expected = {
        "./res/models/sphere.3ds",
        "Reading image ./res/textures/barrel.bmp",
        "./res/models/barrel.3ds",
        "./res/models/barrel.3ds",
        "./res/models/barrel.3ds",
        "./res/models/barrel.3ds",
        "Reading image ./res/textures/J_texture.bmp",
        "./res/models/J.3ds",
        "Reading image ./res/textures/J_texture.bmp",
        "./res/models/J.3ds",
        "Reading image ./res/textures/J_texture.bmp",
        "./res/models/J.3ds",
        "Reading image ./res/textures/O_texture.bmp",
        "./res/models/O.3ds",
        "Reading image ./res/textures/T_texture.bmp",
        "./res/models/T.3ds",
        "Reading image ./res/textures/T_texture.bmp",
        "./res/models/T.3ds",
        "Reading image ./res/textures/T_texture.bmp",
        "./res/models/T.3ds",
        "Reading image ./res/textures/Z_texture.bmp",
        "./res/models/Z.3ds",
        "Reading image ./res/textures/Z_texture.bmp",
        "./res/models/Z.3ds",
        "Reading image ./res/textures/streetlamp_texture.bmp",
        "./res/models/streetlamp.3ds",
        "Reading image ./res/textures/ground17.bmp",
        "./res/models/plane.3ds",
        "./res/models/plane.3ds",
        "./res/models/plane.3ds",
        "./res/models/plane.3ds",
        "Reading image ./res/textures/water.bmp",
        "./res/models/plane.3ds",
        "Reading image ./res/textures/skybox.bmp",
        "./res/models/plane.3ds",
        "./res/models/plane.3ds",
        "./res/models/plane.3ds",
        "./res/models/plane.3ds",
        "./res/models/plane.3ds",
    };
    std::size_t at = 0;
    for (const std::string& part : expected) {
        const std::size_t found = console.find(part, at);
        ASSERT_NE(found, std::string::npos) << "missing after offset " << at << ": " << part;
        at = found + part.size();
    }
    EXPECT_EQ(countOf(console, "Reading image "), 14u);
    // Nothing is printed before the sphere: the light cube is built from memory.
    EXPECT_EQ(console.find("./res/models/sphere.3ds"), 0u);
}

TEST_F(AssemblyTest, LightCubeKeepsItsColoursAndUnitNormals) {
    captureStdout([] { assembleScene(); });
    ASSERT_EQ(scene.cubeVertices.size(), 36u);
    ASSERT_EQ(scene.cubeNormals.size(), 36u);
    ASSERT_EQ(scene.cubeColors.size(), 36u);
    EXPECT_EQ(scene.cubeVertices[6], glm::vec3(-1, -1, -1));
    EXPECT_EQ(scene.cubeNormals[35], glm::vec3(0, -1, 0));
    EXPECT_EQ(scene.cubeColors[18], glm::vec3(1, 0, 1));

    const SceneObject& light = lightCube();
    EXPECT_EQ(light.position, glm::vec3(5, 20, 0));
    ASSERT_EQ(light.vertices.size(), 36u);
    EXPECT_EQ(light.colors, std::vector<glm::vec3>(36, glm::vec3(1, 1, 1)));
    EXPECT_EQ(light.normals, scene.cubeNormals);
    // Each face's normal is the cube's outward axis, whatever the triangle winding.
    for (std::size_t i = 0; i < 36; ++i) {
        EXPECT_FLOAT_EQ(glm::length(light.normals[i]), 1.0f);
        const glm::vec3 centre = (light.vertices[i / 6 * 6] + light.vertices[i / 6 * 6 + 5]);
        EXPECT_GT(glm::dot(centre, light.normals[i]), 0.0f) << i;
    }
}

TEST_F(AssemblyTest, MissingResourceFolderStillGivesTheWholeScene) {
    const TempDir empty;
    std::string console;
    {
        const ScopedWorkingDir inEmpty(empty.path());
        console = captureStdout([] { assembleScene(); });
    }
    EXPECT_EQ(namesOf(scene.sceneObjects), kObjectNames);
    EXPECT_EQ(namesOf(scene.skyPlanes), kSkyNames);
    for (const SceneObject& object : scene.sceneObjects) {
        EXPECT_EQ(object.texture, 0u) << object.name;
    }
    for (const SceneObject& wall : scene.skyPlanes) EXPECT_EQ(wall.texture, 0u) << wall.name;
    // The light cube needs no file.
    EXPECT_EQ(lightCube().vertices.size(), 36u);
    EXPECT_NE(console.find("Image could not be opened"), std::string::npos);
    expectVec3Near(drawnOrigin("Plane"), {-50, -1.75f, 50});
}
