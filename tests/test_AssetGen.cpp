// The generated meshes and pictures, read back the way the demo reads them.
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

const char* const kModels[] = {"sphere.3ds", "barrel.3ds", "J.3ds",          "O.3ds",
                               "T.3ds",      "Z.3ds",      "streetlamp.3ds", "plane.3ds"};
const char* const kPictures[] = {"barrel.bmp",    "J_texture.bmp", "O_texture.bmp",
                                 "T_texture.bmp", "Z_texture.bmp", "streetlamp_texture.bmp",
                                 "ground17.bmp",  "water.bmp",     "skybox.bmp"};

int runGenerator(const fs::path& out) {
    const std::string command = std::string(PELK_ASSETGEN_PATH) + " " + out.string();
    return std::system(command.c_str());
}

// The build regenerates res/ whenever the generator changes, before the tests are built;
// tests run from the repository root.
fs::path generated() { return fs::path("res"); }

std::vector<unsigned char> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// All meshes of a file merged into one triangle list, as the demo's importer does it.
struct Mesh {
    std::vector<glm::vec3> vertices, normals;
    std::vector<glm::vec2> uvs;
    std::vector<unsigned> indices;
    glm::vec3 min{1e9f}, max{-1e9f};
    glm::vec2 uvMin{1e9f}, uvMax{-1e9f};
};

Mesh importModel(const std::string& name) {
    Mesh mesh;
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile((generated() / "models" / name).string(),
                                             aiProcessPreset_TargetRealtime_Quality);
    EXPECT_NE(scene, nullptr) << name;
    if (!scene) return mesh;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh* in = scene->mMeshes[m];
        EXPECT_TRUE(in->HasTextureCoords(0)) << name;
        EXPECT_TRUE(in->HasNormals()) << name;
        const auto base = static_cast<unsigned>(mesh.vertices.size());
        for (unsigned i = 0; i < in->mNumVertices; ++i) {
            const glm::vec3 p{in->mVertices[i].x, in->mVertices[i].y, in->mVertices[i].z};
            const glm::vec2 t = in->HasTextureCoords(0) ? glm::vec2(in->mTextureCoords[0][i].x,
                                                                    in->mTextureCoords[0][i].y)
                                                        : glm::vec2(0.0f);
            mesh.vertices.push_back(p);
            mesh.normals.push_back({in->mNormals[i].x, in->mNormals[i].y, in->mNormals[i].z});
            mesh.uvs.push_back(t);
            mesh.min = glm::min(mesh.min, p);
            mesh.max = glm::max(mesh.max, p);
            mesh.uvMin = glm::min(mesh.uvMin, t);
            mesh.uvMax = glm::max(mesh.uvMax, t);
        }
        for (unsigned f = 0; f < in->mNumFaces; ++f) {
            EXPECT_EQ(in->mFaces[f].mNumIndices, 3u) << name << " has a face that is no triangle";
            for (unsigned k = 0; k < 3 && k < in->mFaces[f].mNumIndices; ++k) {
                mesh.indices.push_back(base + in->mFaces[f].mIndices[k]);
            }
        }
    }
    return mesh;
}

glm::mat4 rotation(float x, float y, float z) {
    glm::mat4 r = glm::rotate(glm::mat4(1.0f), glm::radians(x), {1, 0, 0});
    r = glm::rotate(r, glm::radians(y), {0, 1, 0});
    return glm::rotate(r, glm::radians(z), {0, 0, 1});
}

glm::vec3 faceNormal(const Mesh& mesh, size_t triangle) {
    const glm::vec3 a = mesh.vertices[mesh.indices[3 * triangle]];
    const glm::vec3 b = mesh.vertices[mesh.indices[3 * triangle + 1]];
    const glm::vec3 c = mesh.vertices[mesh.indices[3 * triangle + 2]];
    return glm::normalize(glm::cross(b - a, c - a));
}

void expectNear(glm::vec3 actual, glm::vec3 expected, float tolerance, const std::string& what) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

// A 24-bit BMP as the demo's loader sees it: header fields and bottom-up BGR rows.
struct Bmp {
    std::vector<unsigned char> bytes;
    uint32_t u32(size_t at) const {
        return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
               static_cast<uint32_t>(bytes[at + 3]) << 24;
    }
    int width() const { return static_cast<int>(u32(18)); }
    int height() const { return static_cast<int>(u32(22)); }
    // Pixel (x, y), y counted from the bottom row as stored; red, green, blue.
    glm::vec3 pixel(int x, int y) const {
        const size_t at = 54 + (static_cast<size_t>(y) * width() + x) * 3;
        return {bytes[at + 2], bytes[at + 1], bytes[at]};
    }
};

}  // namespace

TEST(AssetGen, EveryModelImportsAsTexturedTrianglesWithOutwardWinding) {
    for (const char* name : kModels) {
        const Mesh mesh = importModel(name);
        ASSERT_FALSE(mesh.indices.empty()) << name;
        EXPECT_GE(mesh.uvMin.x, 0.0f) << name;
        EXPECT_GE(mesh.uvMin.y, 0.0f) << name;
        EXPECT_LE(mesh.uvMax.x, 1.0f) << name;
        EXPECT_LE(mesh.uvMax.y, 1.0f) << name;
        // The reader's normals agree with the winding: front faces are the outsides.
        size_t inward = 0;
        for (size_t t = 0; t < mesh.indices.size() / 3; ++t) {
            const glm::vec3 n = mesh.normals[mesh.indices[3 * t]] +
                                mesh.normals[mesh.indices[3 * t + 1]] +
                                mesh.normals[mesh.indices[3 * t + 2]];
            if (glm::dot(n, faceNormal(mesh, t)) <= 0.0f) ++inward;
        }
        EXPECT_EQ(inward, 0u) << name;
    }
}

TEST(AssetGen, PlaneIsTenByTenAndFacesUpWhenLaidAsGround) {
    const Mesh plane = importModel("plane.3ds");
    ASSERT_FALSE(plane.indices.empty());
    expectNear(plane.min, {-5, -5, 0}, 1e-5f, "plane min");
    expectNear(plane.max, {5, 5, 0}, 1e-5f, "plane max");
    EXPECT_EQ(plane.uvMin, glm::vec2(0.0f));
    EXPECT_EQ(plane.uvMax, glm::vec2(1.0f));
    // uv follows the position, so a tile and the sky walls show the picture unstretched.
    for (size_t i = 0; i < plane.vertices.size(); ++i) {
        EXPECT_NEAR(plane.uvs[i].x, (plane.vertices[i].x + 5.0f) / 10.0f, 1e-5f);
        EXPECT_NEAR(plane.uvs[i].y, (plane.vertices[i].y + 5.0f) / 10.0f, 1e-5f);
    }
    const glm::mat4 ground = rotation(-90, 0, 0);
    for (size_t t = 0; t < plane.indices.size() / 3; ++t) {
        const glm::vec3 up = glm::mat3(ground) * faceNormal(plane, t);
        expectNear(up, {0, 1, 0}, 1e-5f, "ground tile normal");
    }
}

TEST(AssetGen, SphereHasRadiusOneAndSmoothNormals) {
    const Mesh sphere = importModel("sphere.3ds");
    ASSERT_FALSE(sphere.vertices.empty());
    EXPECT_GE(sphere.vertices.size(), 1000u);  // enough segments to look round
    for (size_t i = 0; i < sphere.vertices.size(); ++i) {
        const glm::vec3 p = sphere.vertices[i];
        ASSERT_NEAR(glm::length(p), 1.0f, 1e-5f);
        // Smooth: the normal is the radial direction, not a facet's.
        ASSERT_GT(glm::dot(glm::normalize(sphere.normals[i]), p), 0.995f);
    }
}

TEST(AssetGen, BarrelAndStreetLampStandOnTheirOriginUpright) {
    const Mesh barrel = importModel("barrel.3ds");
    expectNear(barrel.min, {-1, -1, 0}, 0.02f, "barrel min");
    expectNear(barrel.max, {1, 1, 3}, 0.02f, "barrel max");
    const Mesh lamp = importModel("streetlamp.3ds");
    EXPECT_NEAR(lamp.min.z, 0.0f, 1e-5f);
    EXPECT_GT(lamp.max.z, 10.0f);
    EXPECT_LT(lamp.max.z, 12.5f);
    // Placed with 270 degrees about x, model +Z is world +Y.
    const glm::vec3 up = glm::mat3(rotation(270, 0, 0)) * glm::vec3(0, 0, 1);
    expectNear(up, {0, 1, 0}, 1e-6f, "placed up");
    // Standing models must not be a flat footprint: their lowest faces face down.
    for (const Mesh* m : {&barrel, &lamp}) {
        bool bottomFacesDown = false;
        for (size_t t = 0; t < m->indices.size() / 3; ++t) {
            if (m->vertices[m->indices[3 * t]].z < 1e-4f && faceNormal(*m, t).z < -0.99f) {
                bottomFacesDown = true;
            }
        }
        EXPECT_TRUE(bottomFacesDown);
    }
}

TEST(AssetGen, NineLettersFillOneBlockWithoutOverlap) {
    // The letters of the scene: model, position and rotation (no scale).
    struct Placed {
        const char* model;
        glm::vec3 position, rotation;
    };
    const Placed letters[] = {
        {"J.3ds", {0, -1.1f, -4.4f}, {270, 0, 90}}, {"J.3ds", {0, 1.1f, 4.4f}, {90, 0, 90}},
        {"J.3ds", {0, 4.4f, 1.1f}, {90, 0, 90}},    {"O.3ds", {0, -1.1f, 2.2f}, {0, 0, 90}},
        {"T.3ds", {0, 0, 0}, {90, 0, 90}},          {"T.3ds", {0, 1.1f, -2.2f}, {0, 0, 90}},
        {"T.3ds", {0, 0, 1.1f}, {270, 0, 90}},      {"Z.3ds", {0, 0, -3.3f}, {0, 0, 90}},
        {"Z.3ds", {0, 3.3f, -1.1f}, {0, 0, 90}}};
    std::set<std::pair<int, int>> cells;  // world (y, z) in cube steps
    float lowest = 1e9f;
    for (const Placed& letter : letters) {
        const Mesh mesh = importModel(letter.model);
        const glm::mat4 model = glm::translate(glm::mat4(1.0f), letter.position) *
                                rotation(letter.rotation.x, letter.rotation.y, letter.rotation.z);
        // Each cube shows one front square; the midpoint of a front triangle's longest edge
        // (the square's diagonal) is the square's centre.
        std::set<std::pair<int, int>> cubes;  // model (x, z) in cube steps
        for (size_t t = 0; t < mesh.indices.size() / 3; ++t) {
            if (faceNormal(mesh, t).y > -0.99f) continue;
            glm::vec3 p[3];
            for (int k = 0; k < 3; ++k) p[k] = mesh.vertices[mesh.indices[3 * t + k]];
            int longest = 0;
            for (int k = 1; k < 3; ++k) {
                if (glm::length(p[(k + 1) % 3] - p[k]) >
                    glm::length(p[(longest + 1) % 3] - p[longest])) {
                    longest = k;
                }
            }
            const glm::vec3 centre = 0.5f * (p[longest] + p[(longest + 1) % 3]) / 1.1f;
            EXPECT_NEAR(centre.x, std::round(centre.x), 1e-3f) << letter.model << " off the grid";
            EXPECT_NEAR(centre.z, std::round(centre.z), 1e-3f) << letter.model << " off the grid";
            cubes.insert(
                {static_cast<int>(std::lround(centre.x)), static_cast<int>(std::lround(centre.z))});
        }
        EXPECT_EQ(cubes.size(), 4u) << letter.model;
        // One cube deep, centred on the model's y = 0.
        EXPECT_NEAR(mesh.min.y, -0.55f, 1e-4f) << letter.model;
        EXPECT_NEAR(mesh.max.y, 0.55f, 1e-4f) << letter.model;
        for (const auto& [x, z] : cubes) {
            const glm::vec4 centre{1.1f * static_cast<float>(x), 0.0f, 1.1f * static_cast<float>(z),
                                   1.0f};
            const glm::vec3 world = glm::vec3(model * centre);
            EXPECT_NEAR(world.x, 0.0f, 1e-4f) << letter.model;
            const float y = world.y / 1.1f, z2 = world.z / 1.1f;
            EXPECT_NEAR(y, std::round(y), 1e-3f) << letter.model << " off the world grid";
            EXPECT_NEAR(z2, std::round(z2), 1e-3f) << letter.model << " off the world grid";
            EXPECT_TRUE(
                cells.insert({static_cast<int>(std::lround(y)), static_cast<int>(std::lround(z2))})
                    .second)
                << letter.model << " overlaps another letter";
            lowest = std::min(lowest, world.y - 0.55f);
        }
    }
    EXPECT_EQ(cells.size(), 36u);
    // The block stands just above the ground tiles (top at y = -1.75).
    EXPECT_GT(lowest, -1.75f);
    EXPECT_LT(lowest, -1.5f);
}

TEST(AssetGen, PicturesAreUncompressed24BitBmpsOfTheIntendedSizes) {
    for (const char* name : kPictures) {
        const Bmp bmp{readBytes(generated() / "textures" / name)};
        ASSERT_GE(bmp.bytes.size(), 54u) << name;
        EXPECT_EQ(bmp.bytes[0], 'B');
        EXPECT_EQ(bmp.bytes[1], 'M');
        EXPECT_EQ(bmp.bytes[28] | bmp.bytes[29] << 8, 24) << name;
        EXPECT_EQ(bmp.u32(30), 0u) << name;
        EXPECT_EQ(bmp.u32(10), 54u) << name;  // the loader reads pixels from byte 54
        const int w = bmp.width(), h = bmp.height();
        EXPECT_EQ(bmp.bytes.size(), 54u + static_cast<size_t>(w) * h * 3) << name;
        const std::string n = name;
        if (n == "skybox.bmp") {
            EXPECT_EQ(w, 4096);
            EXPECT_EQ(h, 3072);
        } else {
            EXPECT_EQ(w, h) << name;
            EXPECT_EQ(w & (w - 1), 0) << name << " is not a power of two";
            EXPECT_GE(w, 256) << name;
        }
    }
}

TEST(AssetGen, SkyWallsMeetWithoutSeams) {
    const Bmp sky{readBytes(generated() / "textures" / "skybox.bmp")};
    ASSERT_EQ(sky.bytes.size(), 54u + 4096u * 3072u * 3u);
    constexpr int s = 1024;
    // Face cells: column and band counted from the bottom row as stored.
    const int cell[6][2] = {{2, 1}, {0, 1}, {1, 2}, {1, 0}, {3, 1}, {1, 1}};
    // Pixel i (0..s - 1) along an edge of a face, in the face's upright picture, or `inset`
    // pixels in from that edge.
    enum Edge { left, right, bottom, top };
    auto edgePixel = [&](int face, Edge edge, int i, int inset = 0) {
        const int x0 = cell[face][0] * s, y0 = cell[face][1] * s;
        switch (edge) {
            case left:
                return sky.pixel(x0 + inset, y0 + i);
            case right:
                return sky.pixel(x0 + s - 1 - inset, y0 + i);
            case bottom:
                return sky.pixel(x0 + i, y0 + inset);
            case top:
                return sky.pixel(x0 + i, y0 + s - 1 - inset);
        }
        return glm::vec3(0.0f);
    };
    struct Seam {
        int faceA;
        Edge edgeA;
        int faceB;
        Edge edgeB;
        bool reversed;  // B runs the other way along the shared edge
    };
    // Where the walls, placed as the scene places them, meet: the four upright corners and
    // the four edges of the top.
    const Seam seams[] = {{0, right, 4, left, false}, {4, right, 1, left, false},
                          {1, right, 5, left, false}, {5, right, 0, left, false},
                          {2, bottom, 5, top, false}, {2, top, 4, top, true},
                          {2, right, 0, top, false},  {2, left, 1, top, true}};
    // Across a seam the picture may change about as much as it does between two neighbouring
    // pixels of one face (clouds and woods have fine detail; the two edge pixels lie a texel
    // apart, each half a texel inside its face): a face turned or placed in the wrong cell
    // differs by tens on average.
    for (const Seam& seam : seams) {
        float across = 0.0f, worstAcross = 0.0f, within = 0.0f, worstWithin = 0.0f;
        for (int i = 0; i < s; ++i) {
            const int j = seam.reversed ? s - 1 - i : i;
            const glm::vec3 a = edgePixel(seam.faceA, seam.edgeA, i);
            const glm::vec3 b = edgePixel(seam.faceB, seam.edgeB, j);
            const float d = glm::length(a - b);
            across += d;
            worstAcross = std::max(worstAcross, d);
            for (const auto& [face, edge, k] :
                 {std::tuple{seam.faceA, seam.edgeA, i}, std::tuple{seam.faceB, seam.edgeB, j}}) {
                const float n = glm::length(edgePixel(face, edge, k) - edgePixel(face, edge, k, 1));
                within += n / 2.0f;
                worstWithin = std::max(worstWithin, n);
            }
        }
        EXPECT_LT(across / s, 2.5f * within / s + 2.0f)
            << "seam between faces " << seam.faceA << " and " << seam.faceB;
        EXPECT_LT(worstAcross, std::max(48.0f, 2.0f * worstWithin))
            << "seam between faces " << seam.faceA << " and " << seam.faceB;
    }
}

TEST(AssetGen, RunningTwiceGivesTheSameBytes) {
    TempDir second;
    ASSERT_EQ(runGenerator(second.path()), 0);
    for (const char* name : kModels) {
        EXPECT_EQ(readBytes(generated() / "models" / name),
                  readBytes(second.path() / "models" / name))
            << name;
    }
    for (const char* name : kPictures) {
        EXPECT_EQ(readBytes(generated() / "textures" / name),
                  readBytes(second.path() / "textures" / name))
            << name;
    }
    // Nothing but the seventeen files is left behind (no temporaries).
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(second.path())) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 17u);
}

TEST(AssetGen, RefusesToRunWithoutAnOutputFolder) {
    EXPECT_NE(std::system((std::string(PELK_ASSETGEN_PATH) + " 2>/dev/null").c_str()), 0);
}
