#include "assets/MeshImport.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <array>
#include <assimp/Importer.hpp>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t k3dsMainChunkId = 0x4D4D;
constexpr std::uint32_t k3dsChunkHeaderBytes = 6;
constexpr std::uint16_t k3dsKeyframeChunkId = 0xB000;
constexpr std::uint16_t k3dsFirstNodeChunkId = 0xB001;
constexpr std::uint16_t k3dsLastNodeChunkId = 0xB007;

bool hasExtension3ds(const std::string& path) {
    std::string extension = fs::path(path).extension().string();
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension == ".3ds";
}

struct ChunkHeader {
    std::uint16_t id = 0;
    std::uint32_t length = 0;
};

std::optional<ChunkHeader> readChunkHeader(std::ifstream& in, std::uint64_t at) {
    std::array<unsigned char, k3dsChunkHeaderBytes> header{};
    in.clear();
    in.seekg(static_cast<std::streamoff>(at));
    if (!in.read(reinterpret_cast<char*>(header.data()), header.size())) return std::nullopt;
    ChunkHeader chunk;
    chunk.id = static_cast<std::uint16_t>(header[0] | (header[1] << 8));
    chunk.length = static_cast<std::uint32_t>(header[2]) |
                   (static_cast<std::uint32_t>(header[3]) << 8) |
                   (static_cast<std::uint32_t>(header[4]) << 16) |
                   (static_cast<std::uint32_t>(header[5]) << 24);
    return chunk;
}

// Counts the node chunks (ids 0xB001 to 0xB007) of the key-frame sections (0xB000) directly
// inside the main chunk at `mainStart` of `mainLength` bytes, adding to `nodes` up to one past
// the limit. Stops where the chunk structure breaks; the importer reports that itself.
void countKeyframeNodes(std::ifstream& in, std::uint64_t mainStart, std::uint32_t mainLength,
                        std::size_t& nodes) {
    const std::uint64_t mainEnd = mainStart + mainLength;
    std::uint64_t at = mainStart + k3dsChunkHeaderBytes;
    while (at + k3dsChunkHeaderBytes <= mainEnd) {
        const std::optional<ChunkHeader> chunk = readChunkHeader(in, at);
        if (!chunk || chunk->length < k3dsChunkHeaderBytes || chunk->length > mainEnd - at) {
            break;
        }
        if (chunk->id == k3dsKeyframeChunkId) {
            const std::uint64_t end = at + chunk->length;
            std::uint64_t inner = at + k3dsChunkHeaderBytes;
            while (inner + k3dsChunkHeaderBytes <= end) {
                const std::optional<ChunkHeader> node = readChunkHeader(in, inner);
                if (!node || node->length < k3dsChunkHeaderBytes || node->length > end - inner) {
                    break;
                }
                if (node->id >= k3dsFirstNodeChunkId && node->id <= k3dsLastNodeChunkId &&
                    ++nodes > kMax3dsKeyframeNodes) {
                    return;
                }
                inner += node->length;
            }
        }
        at += chunk->length;
    }
}

// The key-frame nodes of every main chunk at the top level of the file, the first at offset 0:
// the importer reads them all into one node tree. Up to one past the limit.
std::size_t keyframeNodeCount(std::ifstream& in, std::uintmax_t fileSize) {
    std::size_t nodes = 0;
    std::uint64_t at = 0;
    while (at + k3dsChunkHeaderBytes <= fileSize && nodes <= kMax3dsKeyframeNodes) {
        const std::optional<ChunkHeader> chunk = readChunkHeader(in, at);
        if (!chunk || chunk->length < k3dsChunkHeaderBytes || chunk->length > fileSize - at) {
            break;
        }
        if (chunk->id == k3dsMainChunkId) countKeyframeNodes(in, at, chunk->length, nodes);
        at += chunk->length;
    }
    return nodes;
}

std::optional<std::string> mainChunkProblem(const std::string& path, std::uintmax_t fileSize) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return std::string("the file cannot be read: ") + std::strerror(errno);
    const std::optional<ChunkHeader> main = readChunkHeader(in, 0);
    if (!main) return "the file is too short for a 3DS main chunk";
    if (main->id != k3dsMainChunkId) return "the file does not start with a 3DS main chunk";
    if (main->length < k3dsChunkHeaderBytes || main->length > fileSize) {
        return "the 3DS main chunk length " + std::to_string(main->length) +
               " does not fit the file of " + std::to_string(fileSize) + " bytes";
    }
    if (keyframeNodeCount(in, fileSize) > kMax3dsKeyframeNodes) {
        return "the 3DS key-frame section has more than " + std::to_string(kMax3dsKeyframeNodes) +
               " nodes";
    }
    return std::nullopt;
}

bool isFinite(const aiVector3D& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The one message of a model that could not be used. It follows the path on the same line.
void reportUnusableModel(const std::string& path, const std::string& reason) {
    std::printf(": could not load model %s: %s\n", path.c_str(), reason.c_str());
}

}  // namespace

unsigned int meshImportFlags() {
    return aiProcessPreset_TargetRealtime_Quality | aiProcess_ValidateDataStructure;
}

std::optional<std::string> meshFileProblem(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);  // a missing file is no error here
    if (error) return "the file cannot be read: " + error.message();
    if (!fs::is_regular_file(status)) return "the file does not exist or is not a file";
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) return "the file size cannot be read";
    if (size > kMaxMeshFileBytes) {
        return "the file has " + std::to_string(size) + " bytes, more than the limit of " +
               std::to_string(kMaxMeshFileBytes);
    }
    if (hasExtension3ds(path)) return mainChunkProblem(path, size);
    return std::nullopt;
}

std::optional<std::string> importedSceneProblem(const aiScene& imported) {
    if (imported.mMeshes == nullptr) return std::nullopt;
    std::size_t totalVertices = 0;
    for (unsigned int m = 0; m < imported.mNumMeshes; ++m) {
        const aiMesh* mesh = imported.mMeshes[m];
        if (mesh == nullptr || !mesh->HasPositions()) continue;
        totalVertices += mesh->mNumVertices;
        if (totalVertices > kMaxMeshVertices) {
            return "more than " + std::to_string(kMaxMeshVertices) + " vertices";
        }
        for (unsigned int v = 0; v < mesh->mNumVertices; ++v) {
            if (!isFinite(mesh->mVertices[v])) {
                return "mesh " + std::to_string(m) + " has a position that is not finite";
            }
        }
        for (unsigned int f = 0; f < mesh->mNumFaces && mesh->mFaces != nullptr; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices > 0 && face.mIndices == nullptr) {
                return "mesh " + std::to_string(m) + " has a face without indices";
            }
            for (unsigned int i = 0; i < face.mNumIndices; ++i) {
                if (face.mIndices[i] >= mesh->mNumVertices) {
                    return "mesh " + std::to_string(m) + " has a face index " +
                           std::to_string(face.mIndices[i]) + " beyond its " +
                           std::to_string(mesh->mNumVertices) + " vertices";
                }
            }
        }
    }
    return std::nullopt;
}

void appendMeshes(const aiScene& imported, Mesh& out) {
    if (imported.mMeshes == nullptr || imported.mNumMeshes == 0) return;
    for (unsigned int m = 0; m < imported.mNumMeshes; ++m) {
        const aiMesh* mesh = imported.mMeshes[m];
        if (mesh == nullptr || !mesh->HasPositions()) continue;
        const auto base = static_cast<std::uint32_t>(out.vertices.size());
        const bool hasUvs = mesh->HasTextureCoords(0);
        const bool hasNormals = mesh->HasNormals();
        for (unsigned int v = 0; v < mesh->mNumVertices; ++v) {
            const aiVector3D& p = mesh->mVertices[v];
            out.vertices.emplace_back(p.x, p.y, p.z);
            if (hasUvs) {
                const aiVector3D& uv = mesh->mTextureCoords[0][v];
                out.uvs.emplace_back(uv.x, uv.y);
            } else {
                out.uvs.emplace_back(0.0f, 0.0f);
            }
            out.colors.emplace_back(1.0f, 1.0f, 1.0f);
            if (hasNormals) {
                const aiVector3D& n = mesh->mNormals[v];
                out.normals.emplace_back(n.x, n.y, n.z);
            } else {
                out.normals.emplace_back(0.0f, 0.0f, 0.0f);
            }
        }
        if (mesh->mFaces == nullptr) continue;
        // Points and lines (fewer than three indices) are not drawable as triangles.
        for (unsigned int f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices < 3 || face.mIndices == nullptr) continue;
            for (unsigned int i = 0; i < 3; ++i) out.indices.push_back(face.mIndices[i] + base);
        }
    }
}

Mesh importMesh(const std::string& path) {
    Mesh mesh;
    std::fwrite(path.data(), 1, path.size(), stdout);
    if (std::optional<std::string> problem = meshFileProblem(path)) {
        reportUnusableModel(path, *problem);
        return mesh;
    }
    Assimp::Importer importer;
    const aiScene* imported = importer.ReadFile(path, meshImportFlags());
    if (imported == nullptr) {
        reportUnusableModel(path, importer.GetErrorString());
        return mesh;
    }
    if (std::optional<std::string> problem = importedSceneProblem(*imported)) {
        reportUnusableModel(path, *problem);
        return mesh;
    }
    appendMeshes(*imported, mesh);
    return mesh;
}

Mesh triangleListMesh(std::vector<glm::vec3> triangleVertices,
                      std::vector<glm::vec3> vertexColors) {
    Mesh mesh;
    if (triangleVertices.size() != vertexColors.size()) return mesh;
    std::vector<glm::vec3>& vertices = mesh.vertices;
    std::vector<std::uint32_t>& indices = mesh.indices;
    std::vector<glm::vec2>& uvs = mesh.uvs;
    std::vector<glm::vec3>& normals = mesh.normals;
    vertices = std::move(triangleVertices);
    mesh.colors = std::move(vertexColors);
    const std::size_t n = vertices.size();
    indices.reserve(n);
    uvs.reserve(n);
    normals.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        indices.push_back(static_cast<std::uint32_t>(i));
        uvs.emplace_back(1.0f, 1.0f);
        // Flat face normal, left unnormalised: its length is twice the triangle's area.
        if (i % 3 == 2) {
            const glm::vec3& p0 = vertices[i - 2];
            const glm::vec3 normal = glm::cross(vertices[i - 1] - p0, vertices[i] - p0);
            normals.insert(normals.end(), 3, normal);
        }
    }
    return mesh;
}
