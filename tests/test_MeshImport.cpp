#include <assimp/scene.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "assets/MeshImport.h"
#include "scene/SceneObject.h"
#include "support/TestSupport.h"

namespace {

// An aiScene built in memory; the scene owns (and frees) what is handed to it.
struct FakeMesh {
    std::vector<aiVector3D> positions;
    std::vector<std::vector<unsigned int>> faces;
    bool uvs = true;
    bool normals = true;
};

aiMesh* makeMesh(const FakeMesh& fake) {
    auto* mesh = new aiMesh;
    mesh->mNumVertices = static_cast<unsigned int>(fake.positions.size());
    if (!fake.positions.empty()) {
        mesh->mVertices = new aiVector3D[fake.positions.size()];
        std::copy(fake.positions.begin(), fake.positions.end(), mesh->mVertices);
    }
    if (fake.uvs) {
        mesh->mTextureCoords[0] = new aiVector3D[fake.positions.size()];
        mesh->mNumUVComponents[0] = 2;
        for (std::size_t i = 0; i < fake.positions.size(); ++i) {
            mesh->mTextureCoords[0][i] = aiVector3D(0.25f * static_cast<float>(i), 0.5f, 9.0f);
        }
    }
    if (fake.normals) {
        mesh->mNormals = new aiVector3D[fake.positions.size()];
        for (std::size_t i = 0; i < fake.positions.size(); ++i) mesh->mNormals[i] = {0, 0, 1};
    }
    mesh->mNumFaces = static_cast<unsigned int>(fake.faces.size());
    mesh->mFaces = new aiFace[fake.faces.size()];
    for (std::size_t f = 0; f < fake.faces.size(); ++f) {
        aiFace& face = mesh->mFaces[f];
        face.mNumIndices = static_cast<unsigned int>(fake.faces[f].size());
        face.mIndices = new unsigned int[fake.faces[f].size()];
        std::copy(fake.faces[f].begin(), fake.faces[f].end(), face.mIndices);
    }
    return mesh;
}

std::unique_ptr<aiScene> makeScene(const std::vector<FakeMesh>& meshes) {
    auto scene = std::make_unique<aiScene>();
    scene->mNumMeshes = static_cast<unsigned int>(meshes.size());
    scene->mMeshes = new aiMesh*[meshes.size()];
    for (std::size_t m = 0; m < meshes.size(); ++m) scene->mMeshes[m] = makeMesh(meshes[m]);
    return scene;
}

FakeMesh quad() { return {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}}; }

FakeMesh triangle() { return {{{5, 0, 0}, {6, 0, 0}, {5, 1, 0}}, {{0, 1, 2}}}; }

// A minimal 3DS file: main chunk, editor chunk, one named object with one triangle.
std::vector<unsigned char> tiny3ds() {
    struct Chunk {
        std::uint16_t id;
        std::vector<unsigned char> body;
    };
    const auto put16 = [](std::vector<unsigned char>& out, std::uint32_t v) {
        out.push_back(static_cast<unsigned char>(v & 0xFF));
        out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
    };
    const auto chunk = [&](std::uint16_t id, const std::vector<unsigned char>& body) {
        std::vector<unsigned char> out;
        put16(out, id);
        const auto length = static_cast<std::uint32_t>(body.size() + 6);
        put16(out, length & 0xFFFF);
        put16(out, length >> 16);
        out.insert(out.end(), body.begin(), body.end());
        return out;
    };
    std::vector<unsigned char> vertices;
    put16(vertices, 3);
    for (const float f : {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f}) {
        const auto* raw = reinterpret_cast<const unsigned char*>(&f);
        vertices.insert(vertices.end(), raw, raw + 4);
    }
    std::vector<unsigned char> faces;
    for (const std::uint32_t v : {1u, 0u, 1u, 2u, 0u}) put16(faces, v);
    std::vector<unsigned char> mesh = chunk(0x4110, vertices);
    const std::vector<unsigned char> faceChunk = chunk(0x4120, faces);
    mesh.insert(mesh.end(), faceChunk.begin(), faceChunk.end());
    std::vector<unsigned char> object = {'t', 'r', 'i', 0};
    const std::vector<unsigned char> trimesh = chunk(0x4100, mesh);
    object.insert(object.end(), trimesh.begin(), trimesh.end());
    return chunk(0x4D4D, chunk(0x3D3D, chunk(0x4000, object)));
}

// What the file checks say about `path` to an ordinary user. Root reads every file whatever its
// permissions, so under root the check runs in a child process that has become "nobody".
std::string problemForAnOrdinaryUser(const std::string& path) {
    if (geteuid() != 0) return meshFileProblem(path).value_or("");
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const gid_t nobodyGroup = 65534;
        const uid_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(nobodyGroup) != 0 || setuid(nobody) != 0) {
            _exit(2);
        }
        const std::string problem = meshFileProblem(path).value_or("");
        const bool sent =
            write(fds[1], problem.data(), problem.size()) == static_cast<ssize_t>(problem.size());
        _exit(sent ? 0 : 3);
    }
    close(fds[1]);
    std::string problem;
    char buffer[256];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) problem.append(buffer, got);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? problem : "the child failed";
}

void expectEmpty(const SceneObject& object) {
    EXPECT_TRUE(object.vertices.empty());
    EXPECT_TRUE(object.indices.empty());
    EXPECT_TRUE(object.uvs.empty());
    EXPECT_TRUE(object.colors.empty());
    EXPECT_TRUE(object.normals.empty());
}

}  // namespace

TEST(AppendMeshes, AllMeshesGoIntoOneObjectWithOffsetIndicesAndWhiteColours) {
    FakeMesh second = triangle();
    second.uvs = false;
    second.normals = false;
    const auto scene = makeScene({quad(), second});
    SceneObject object;
    appendMeshes(*scene, object);

    ASSERT_EQ(object.vertices.size(), 7u);
    EXPECT_EQ(object.vertices[4], glm::vec3(5, 0, 0));
    EXPECT_EQ(object.indices, (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3, 4, 5, 6}));
    ASSERT_EQ(object.colors.size(), 7u);
    for (const glm::vec3& color : object.colors) EXPECT_EQ(color, glm::vec3(1, 1, 1));
    // Only x and y of the first uv set; a mesh without one gets (0, 0).
    ASSERT_EQ(object.uvs.size(), 7u);
    EXPECT_EQ(object.uvs[3], glm::vec2(0.75f, 0.5f));
    EXPECT_EQ(object.uvs[5], glm::vec2(0.0f, 0.0f));
    // A mesh without normals still keeps normals in step with the vertices.
    ASSERT_EQ(object.normals.size(), 7u);
    EXPECT_EQ(object.normals[0], glm::vec3(0, 0, 1));
    EXPECT_EQ(object.normals[6], glm::vec3(0, 0, 0));
}

TEST(AppendMeshes, SkipsMeshesWithoutPositionsAndFacesBelowThreeIndices) {
    FakeMesh noPositions;
    noPositions.faces = {{0, 1, 2}};
    noPositions.uvs = false;
    noPositions.normals = false;
    FakeMesh mixed = quad();
    mixed.faces = {{0}, {0, 1}, {1, 2, 3}, {0, 1, 2, 3}};
    const auto scene = makeScene({noPositions, mixed});
    SceneObject object;
    appendMeshes(*scene, object);
    EXPECT_EQ(object.vertices.size(), 4u);
    // A polygon of four indices keeps only its first three.
    EXPECT_EQ(object.indices, (std::vector<std::uint32_t>{1, 2, 3, 0, 1, 2}));

    SceneObject fromEmpty;
    appendMeshes(*makeScene({}), fromEmpty);
    expectEmpty(fromEmpty);
}

TEST(ImportedSceneProblem, CatchesBadIndicesNonFinitePositionsAndTooManyVertices) {
    EXPECT_FALSE(importedSceneProblem(*makeScene({quad(), triangle()})));

    FakeMesh badIndex = triangle();
    badIndex.faces = {{0, 1, 3}};
    EXPECT_TRUE(importedSceneProblem(*makeScene({quad(), badIndex})));

    FakeMesh notFinite = triangle();
    notFinite.positions[1].y = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(importedSceneProblem(*makeScene({notFinite})));
    notFinite.positions[1].y = std::numeric_limits<float>::infinity();
    EXPECT_TRUE(importedSceneProblem(*makeScene({notFinite})));

    FakeMesh huge;
    huge.positions.assign(kMaxMeshVertices / 2 + 1, aiVector3D(0, 0, 0));
    huge.uvs = false;
    huge.normals = false;
    EXPECT_TRUE(importedSceneProblem(*makeScene({huge, huge})));
}

TEST(TriangleList, IndicesUvsAndUnnormalisedFaceNormals) {
    const SceneObject unit({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    EXPECT_EQ(unit.indices, (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_EQ(unit.uvs, std::vector<glm::vec2>(3, glm::vec2(1, 1)));
    EXPECT_EQ(unit.normals, std::vector<glm::vec3>(3, glm::vec3(0, 0, 1)));
    EXPECT_EQ(unit.colors[2], glm::vec3(0, 0, 1));

    const SceneObject doubled({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, std::vector<glm::vec3>(3));
    EXPECT_EQ(doubled.normals[0], glm::vec3(0, 0, 4));

    // A dangling vertex gets an index and a uv but no normal.
    const SceneObject dangling({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {9, 9, 9}},
                               std::vector<glm::vec3>(4));
    EXPECT_EQ(dangling.indices.size(), 4u);
    EXPECT_EQ(dangling.uvs.size(), 4u);
    EXPECT_EQ(dangling.normals.size(), 3u);

    expectEmpty(SceneObject(std::vector<glm::vec3>(6), std::vector<glm::vec3>(5)));
}

TEST(MeshFile, ValidFilePrintsOnlyItsPathWithNoLineEnd) {
    TempDir dir;
    const std::string path = dir.write("tri.3ds", tiny3ds());
    std::unique_ptr<SceneObject> object;
    const std::string out = captureStdout([&] { object = std::make_unique<SceneObject>(path); });
    EXPECT_EQ(out, path);
    ASSERT_EQ(object->vertices.size(), 3u);
    EXPECT_EQ(object->indices.size(), 3u);
    EXPECT_EQ(object->normals.size(), 3u);
    EXPECT_EQ(object->uvs.size(), 3u);
    EXPECT_EQ(object->colors, std::vector<glm::vec3>(3, glm::vec3(1, 1, 1)));
}

TEST(MeshFile, UnreadableFilesGiveAnEmptyObjectAndOneMessageNamingThem) {
    TempDir dir;
    std::vector<unsigned char> wrongLength = tiny3ds();
    wrongLength[2] = 0xFF;  // main chunk longer than the file
    std::vector<unsigned char> wrongId = tiny3ds();
    wrongId[0] = 0x12;
    const std::vector<std::string> paths = {
        (dir.path() / "missing.3ds").string(),
        dir.write("length.3ds", wrongLength),
        dir.write("id.3ds", wrongId),
        dir.write("tiny.3ds", std::string("MM")),
        dir.write("garbage.obj", std::string("this is not a model\n")),
    };
    for (const std::string& path : paths) {
        std::unique_ptr<SceneObject> object;
        const std::string out =
            captureStdout([&] { object = std::make_unique<SceneObject>(path); });
        ASSERT_EQ(out.rfind(path, 0), 0u) << out;
        const std::string message = out.substr(path.size());
        EXPECT_NE(message.find(path), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
        expectEmpty(*object);
    }
}

TEST(MeshFile, AFileThatCannotBeReadIsSaidToBeUnreadable) {
    namespace fs = std::filesystem;
    TempDir dir;
    fs::permissions(dir.path(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const std::string locked = dir.write("locked.3ds", tiny3ds());
    fs::permissions(locked, fs::perms::none);
    EXPECT_EQ(problemForAnOrdinaryUser(locked), "the file cannot be read: Permission denied");

    // Nor is a file in a folder that cannot be entered "missing".
    const fs::path closed = dir.path() / "closed";
    fs::create_directory(closed);
    const std::string inside = (closed / "tri.3ds").string();
    dir.write("closed/tri.3ds", tiny3ds());
    fs::permissions(closed, fs::perms::owner_all);
    EXPECT_EQ(problemForAnOrdinaryUser(inside), "the file cannot be read: Permission denied");

    // The same files, readable, pass.
    fs::permissions(locked, fs::perms::owner_read | fs::perms::others_read);
    EXPECT_EQ(problemForAnOrdinaryUser(locked), "");
}
