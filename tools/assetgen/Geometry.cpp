#include "Geometry.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <assimp/Exporter.hpp>
#include <cmath>
#include <cstdio>
#include <memory>

#include "Output.h"

namespace {

constexpr float kTwoPi = 6.28318530718f;

glm::vec3 onCircle(float radius, float angle, float z) {
    return {radius * std::cos(angle), radius * std::sin(angle), z};
}

}  // namespace

unsigned MeshPart::addVertex(glm::vec3 position, glm::vec2 uv) {
    positions.push_back(position);
    uvs.push_back(uv);
    return static_cast<unsigned>(positions.size() - 1);
}

void MeshPart::addTriangle(unsigned a, unsigned b, unsigned c) {
    indices.insert(indices.end(), {a, b, c});
}

void MeshPart::addQuad(glm::vec3 a, glm::vec3 b, glm::vec3 c, glm::vec3 d, glm::vec2 ta,
                       glm::vec2 tb, glm::vec2 tc, glm::vec2 td) {
    // A quad with a collapsed edge (a cone tip, the centre of a disc) becomes the one
    // triangle that has an area.
    if (a == b || b == c) {
        addTriangle(addVertex(a, ta), addVertex(c, tc), addVertex(d, td));
        return;
    }
    if (c == d || d == a) {
        addTriangle(addVertex(a, ta), addVertex(b, tb), addVertex(c, tc));
        return;
    }
    const unsigned ia = addVertex(a, ta), ib = addVertex(b, tb);
    const unsigned ic = addVertex(c, tc), id = addVertex(d, td);
    addTriangle(ia, ib, ic);
    addTriangle(ia, ic, id);
}

MeshPart& Model::newPart() { return parts.emplace_back(); }

void addLathe(Model& model, const std::vector<ProfilePoint>& profile, int segments, bool facets,
              UvRect uv, float angleOffset) {
    if (profile.size() < 2 || segments < 3) return;
    if (!facets) {
        // Shared rings of vertices so that the reader smooths across the whole surface; the
        // seam column is doubled for u = 0 and u = 1.
        MeshPart& part = model.newPart();
        const unsigned columns = static_cast<unsigned>(segments) + 1;
        for (const ProfilePoint& p : profile) {
            for (int s = 0; s <= segments; ++s) {
                const float u = static_cast<float>(s) / static_cast<float>(segments);
                const float angle = angleOffset + kTwoPi * (s == segments ? 0.0f : u);
                part.addVertex(onCircle(p.radius, angle, p.z), uv.at({u, p.v}));
            }
        }
        for (unsigned r = 0; r + 1 < profile.size(); ++r) {
            for (unsigned s = 0; s < static_cast<unsigned>(segments); ++s) {
                const unsigned a = r * columns + s, b = a + 1;
                const unsigned d = a + columns, c = d + 1;
                if (profile[r].radius > 0.0f) part.addTriangle(a, b, c);
                if (profile[r + 1].radius > 0.0f) part.addTriangle(a, c, d);
            }
        }
        return;
    }
    for (int s = 0; s < segments; ++s) {
        MeshPart& part = model.newPart();
        const float a0 =
            angleOffset + kTwoPi * static_cast<float>(s) / static_cast<float>(segments);
        const float a1 =
            angleOffset + kTwoPi * static_cast<float>(s + 1) / static_cast<float>(segments);
        for (size_t r = 0; r + 1 < profile.size(); ++r) {
            const ProfilePoint& p = profile[r];
            const ProfilePoint& q = profile[r + 1];
            part.addQuad(onCircle(p.radius, a0, p.z), onCircle(p.radius, a1, p.z),
                         onCircle(q.radius, a1, q.z), onCircle(q.radius, a0, q.z),
                         uv.at({0.0f, p.v}), uv.at({1.0f, p.v}), uv.at({1.0f, q.v}),
                         uv.at({0.0f, q.v}));
        }
    }
}

void addDisc(Model& model, float inner, float outer, float z, bool up, int segments, UvRect uv,
             float angleOffset) {
    MeshPart& part = model.newPart();
    auto planar = [&](glm::vec3 p) {
        return uv.at({0.5f + 0.5f * p.x / outer, 0.5f + 0.5f * p.y / outer});
    };
    for (int s = 0; s < segments; ++s) {
        const float a0 =
            angleOffset + kTwoPi * static_cast<float>(s) / static_cast<float>(segments);
        const float a1 =
            angleOffset + kTwoPi * static_cast<float>(s + 1) / static_cast<float>(segments);
        glm::vec3 o0 = onCircle(outer, a0, z), o1 = onCircle(outer, a1, z);
        glm::vec3 i0 = onCircle(inner, a0, z), i1 = onCircle(inner, a1, z);
        if (!up) {
            std::swap(o0, o1);
            std::swap(i0, i1);
        }
        // Counter-clockwise seen from the side the disc faces.
        part.addQuad(i0, o0, o1, i1, planar(i0), planar(o0), planar(o1), planar(i1));
    }
}

void addBoxFace(MeshPart& part, glm::vec3 min, glm::vec3 max, BoxFace face, UvRect uv) {
    const glm::vec3 c[8] = {{min.x, min.y, min.z}, {max.x, min.y, min.z}, {max.x, max.y, min.z},
                            {min.x, max.y, min.z}, {min.x, min.y, max.z}, {max.x, min.y, max.z},
                            {max.x, max.y, max.z}, {min.x, max.y, max.z}};
    // Corners of each face, counter-clockwise from outside, starting at the face's uv origin;
    // the side faces have v up (+z) and u to the right as seen from outside.
    const int corners[6][4] = {{0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6},
                               {3, 0, 4, 7}, {4, 5, 6, 7}, {3, 2, 1, 0}};
    const int* f = corners[static_cast<int>(face)];
    part.addQuad(c[f[0]], c[f[1]], c[f[2]], c[f[3]], uv.at({0, 0}), uv.at({1, 0}), uv.at({1, 1}),
                 uv.at({0, 1}));
}

void addBox(Model& model, glm::vec3 min, glm::vec3 max, UvRect uv) {
    for (int face = 0; face < kBoxFaces; ++face) {
        addBoxFace(model.newPart(), min, max, static_cast<BoxFace>(face), uv);
    }
}

bool writeModel(const Model& model, const std::string& path, const std::string& textureFile) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("root");

    auto* material = new aiMaterial();
    const aiString materialName("pelk");
    material->AddProperty(&materialName, AI_MATKEY_NAME);
    const aiColor3D white(1.0f, 1.0f, 1.0f);
    material->AddProperty(&white, 1, AI_MATKEY_COLOR_DIFFUSE);
    if (!textureFile.empty()) {
        const aiString texture(textureFile);
        material->AddProperty(&texture, AI_MATKEY_TEXTURE_DIFFUSE(0));
    }
    scene->mNumMaterials = 1;
    scene->mMaterials = new aiMaterial* [1] { material };

    // A 3DS mesh counts its vertices and faces in 16 bits.
    for (const MeshPart& part : model.parts) {
        if (part.positions.size() > kMaxPartSize || part.indices.size() / 3 > kMaxPartSize) {
            std::fprintf(stderr, "pelk-assetgen: a part of %s is too large for 3DS\n",
                         path.c_str());
            return false;
        }
    }
    const unsigned count = static_cast<unsigned>(model.parts.size());
    scene->mNumMeshes = count;
    scene->mMeshes = new aiMesh*[count];
    scene->mRootNode->mNumMeshes = count;
    scene->mRootNode->mMeshes = new unsigned[count];
    for (unsigned m = 0; m < count; ++m) {
        const MeshPart& part = model.parts[m];
        auto* mesh = new aiMesh();
        scene->mMeshes[m] = mesh;
        scene->mRootNode->mMeshes[m] = m;
        char name[16];
        std::snprintf(name, sizeof name, "p%u", m);
        mesh->mName = name;
        mesh->mMaterialIndex = 0;
        mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        const unsigned n = static_cast<unsigned>(part.positions.size());
        mesh->mNumVertices = n;
        mesh->mVertices = new aiVector3D[n];
        mesh->mTextureCoords[0] = new aiVector3D[n];
        mesh->mNumUVComponents[0] = 2;
        for (unsigned i = 0; i < n; ++i) {
            const glm::vec3 p = part.positions[i];
            const glm::vec2 t = part.uvs[i];
            mesh->mVertices[i] = aiVector3D(p.x, p.y, p.z);
            mesh->mTextureCoords[0][i] = aiVector3D(t.x, t.y, 0.0f);
        }
        const unsigned faces = static_cast<unsigned>(part.indices.size() / 3);
        mesh->mNumFaces = faces;
        mesh->mFaces = new aiFace[faces];
        for (unsigned f = 0; f < faces; ++f) {
            mesh->mFaces[f].mNumIndices = 3;
            mesh->mFaces[f].mIndices = new unsigned[3]{part.indices[3 * f], part.indices[3 * f + 1],
                                                       part.indices[3 * f + 2]};
        }
    }

    return writeAtomically(path, [&](const std::string& temporary) {
        Assimp::Exporter exporter;
        return exporter.Export(scene.get(), "3ds", temporary) == AI_SUCCESS;
    });
}
