#pragma once

#include <cstddef>
#include <cstdint>
#include <glm/glm.hpp>
#include <optional>
#include <string>
#include <vector>

#include "assets/Mesh.h"

struct aiScene;

// Limits that keep a broken or hostile model file from exhausting memory; every model of the
// scene is far below them.
inline constexpr std::uintmax_t kMaxMeshFileBytes = std::uintmax_t{64} * 1024 * 1024;
inline constexpr std::size_t kMaxMeshVertices = 4'000'000;
// The importer builds its node tree from the nodes of a 3DS key-frame section recursively, one
// stack frame per level, and a file of some 20,000 nested nodes overflows the stack.
inline constexpr std::size_t kMax3dsKeyframeNodes = 4096;

// Post-processing for every import: Assimp's real-time quality preset plus a check of the
// structure it hands back.
unsigned int meshImportFlags();

// Cheap checks before the importer sees a file: it exists, is a regular file of at most
// kMaxMeshFileBytes, and for .3ds files starts with a main chunk (id 0x4D4D) whose length fits
// in the file, and its main chunks (the importer reads every one at the top level) hold at most
// kMax3dsKeyframeNodes key-frame nodes in all. Returns what is wrong, or nothing.
std::optional<std::string> meshFileProblem(const std::string& path);

// Checks an imported scene before its meshes are copied: every face index below its mesh's
// vertex count, finite positions, at most kMaxMeshVertices vertices in all. Returns what is
// wrong, or nothing.
std::optional<std::string> importedSceneProblem(const aiScene& imported);

// Appends every mesh that has positions to the mesh's arrays, in scene order: positions, the
// first uv set ((0, 0) where a mesh has none), colour (1, 1, 1), normals ((0, 0, 0) where a
// mesh has none) and the first three indices of each face of three or more indices, offset by
// the vertices already in it. Node transforms, materials and tangents are ignored.
void appendMeshes(const aiScene& imported, Mesh& out);

// Imports every mesh of a model file through Assimp. Prints the path with no line end (and, on
// the same line, why a file cannot be used); such a file gives a mesh with empty arrays.
Mesh importMesh(const std::string& path);
// An indexed triangle list from positions (three per triangle) and per-vertex colours, with
// uvs (1, 1) and unnormalised flat normals. Arrays of different lengths give an empty mesh,
// silently.
Mesh triangleListMesh(std::vector<glm::vec3> triangleVertices, std::vector<glm::vec3> vertexColors);
