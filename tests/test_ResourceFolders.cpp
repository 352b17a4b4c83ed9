#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "assets/Paths.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// A folder with the resource folders named, and nothing else.
std::string folderWith(const TempDir& dir, const std::string& name,
                       std::initializer_list<const char*> folders) {
    const fs::path root = dir.path() / name;
    fs::create_directories(root);
    for (const char* folder : folders) fs::create_directories(root / folder);
    return root.string();
}

}  // namespace

TEST(ResourceFolders, NothingIsSaidWhenBothAreThere) {
    TempDir dir;
    const ResourceFolderCheck check =
        checkResourceFolders(folderWith(dir, "root", {"src", "res"}), "");
    EXPECT_EQ(check.message, "");
    EXPECT_EQ(check.useInstead, "");
}

TEST(ResourceFolders, OneMissingFolderIsNamedAndNotLookedForElsewhere) {
    TempDir dir;
    const std::string built = folderWith(dir, "built", {"src", "res"});
    const std::string noRes = folderWith(dir, "no-res", {"src"});
    const ResourceFolderCheck withoutRes = checkResourceFolders(noRes, built);
    EXPECT_EQ(withoutRes.message,
              "./res is missing in " + noRes + ": the meshes and pictures cannot be read");
    EXPECT_EQ(withoutRes.useInstead, "");

    const std::string noSrc = folderWith(dir, "no-src", {"res"});
    const ResourceFolderCheck withoutSrc = checkResourceFolders(noSrc, built);
    EXPECT_EQ(withoutSrc.message, "./src is missing in " + noSrc +
                                      ": the stage files cannot be read, so no program will build");
    EXPECT_EQ(withoutSrc.useInstead, "");
}

TEST(ResourceFolders, StartedElsewhereTheTreeItWasBuiltFromIsUsedWhenItHoldsBoth) {
    TempDir dir;
    const std::string elsewhere = folderWith(dir, "elsewhere", {});
    const std::string built = folderWith(dir, "built", {"src", "res"});
    const ResourceFolderCheck found = checkResourceFolders(elsewhere, built);
    EXPECT_EQ(found.message, "./src and ./res are missing in " + elsewhere +
                                 "; reading them from " + built + ", where this program was built");
    EXPECT_EQ(found.useInstead, built);

    // A file named src is not the folder; a tree without res, or none at all, is not used.
    std::ofstream(dir.path() / "elsewhere" / "src") << "not a folder";
    const std::string half = folderWith(dir, "half", {"src"});
    for (const std::string& from : {half, std::string()}) {
        const ResourceFolderCheck notFound = checkResourceFolders(elsewhere, from);
        EXPECT_EQ(notFound.message, "./src and ./res are missing in " + elsewhere +
                                        ": the stage files, meshes and pictures cannot be read; "
                                        "start the program from the folder that holds them");
        EXPECT_EQ(notFound.useInstead, "");
    }
}

namespace {

const std::vector<std::string> kMeshes = {"sphere.3ds", "barrel.3ds", "plane.3ds"};

// A working folder with src/ and res/, and the named files in res/models.
std::string folderWithMeshes(const TempDir& dir, const std::string& name,
                             const std::vector<std::string>& meshes) {
    const std::string root = folderWith(dir, name, {"src", "res"});
    for (const std::string& mesh : meshes) {
        dir.write(name + "/res/models/" + mesh, std::string("3ds bytes"));
    }
    return root;
}

}  // namespace

TEST(ResourceFolders, MeshesThatAreAllThereAreNotMentioned) {
    TempDir dir;
    EXPECT_EQ(checkMeshFiles(folderWithMeshes(dir, "whole", kMeshes), kMeshes), "");
}

TEST(ResourceFolders, AnEmptyResOrOneWithoutModelsLacksEveryMesh) {
    TempDir dir;
    const std::string empty = folderWith(dir, "empty", {"src", "res"});
    EXPECT_EQ(checkMeshFiles(empty, kMeshes),
              "./res in " + empty +
                  " lacks the scene's meshes: 3 of 3 cannot be read (./res/models/sphere.3ds: No "
                  "such file or directory)");
    const std::string noModels = folderWith(dir, "textures-only", {"src", "res/textures"});
    EXPECT_NE(checkMeshFiles(noModels, kMeshes).find(": 3 of 3 cannot be read"), std::string::npos);
}

TEST(ResourceFolders, ALinkLoopAFolderAndAMissingFileAreEachNamedWithTheirReason) {
    TempDir dir;
    const std::string loop = folderWith(dir, "loop", {"src", "res"});
    fs::create_directory_symlink("models", fs::path(loop) / "res" / "models");
    EXPECT_EQ(checkMeshFiles(loop, kMeshes),
              "./res in " + loop +
                  " lacks the scene's meshes: 3 of 3 cannot be read (./res/models/sphere.3ds: Too "
                  "many levels of symbolic links)");

    // One mesh a folder, one missing: 2 of 3, the first in the table's order named.
    const std::string partly = folderWithMeshes(dir, "partly", {"sphere.3ds"});
    fs::create_directories(fs::path(partly) / "res" / "models" / "barrel.3ds");
    EXPECT_EQ(checkMeshFiles(partly, kMeshes),
              "./res in " + partly +
                  " lacks the scene's meshes: 2 of 3 cannot be read (./res/models/barrel.3ds: not "
                  "a file)");
}
