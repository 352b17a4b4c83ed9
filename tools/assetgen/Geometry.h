#pragma once

#include <glm/glm.hpp>
#include <string>
#include <vector>

// One smoothing region of a model. The 3DS reader computes its own normals by averaging the
// faces that meet at a vertex position within one mesh, so every part that must keep a hard
// edge to its neighbours is written as a mesh of its own.
struct MeshPart {
    std::vector<glm::vec3> positions;
    std::vector<glm::vec2> uvs;
    std::vector<unsigned> indices;  // counter-clockwise seen from outside

    unsigned addVertex(glm::vec3 position, glm::vec2 uv);
    void addTriangle(unsigned a, unsigned b, unsigned c);
    // A quad a-b-c-d, counter-clockwise seen from its front.
    void addQuad(glm::vec3 a, glm::vec3 b, glm::vec3 c, glm::vec3 d, glm::vec2 ta, glm::vec2 tb,
                 glm::vec2 tc, glm::vec2 td);
};

// Texture rectangle of an atlas: the uv square (0,0)-(1,1) is mapped into it.
struct UvRect {
    glm::vec2 min{0.0f, 0.0f};
    glm::vec2 max{1.0f, 1.0f};
    glm::vec2 at(glm::vec2 t) const { return min + (max - min) * t; }
};

// A model, Z-up, in its own space; written as one 3DS file with identity node transforms.
struct Model {
    std::vector<MeshPart> parts;

    MeshPart& newPart();
};

// The most vertices, and the most triangles, one part may have.
inline constexpr size_t kMaxPartSize = 65535;

// A point of a lathe profile: radius and height, v along the profile.
struct ProfilePoint {
    float radius;
    float z;
    float v;
};

// Surface of revolution about the z axis. With `facets` false the surface is one smooth
// part with u running 0..1 once around; with `facets` true every segment is a flat part of
// its own and u runs 0..1 across each facet (for panes, octagonal bases). A profile that
// runs outward (radius growing with z) faces down-and-out, one that runs inward faces up.
void addLathe(Model& model, const std::vector<ProfilePoint>& profile, int segments, bool facets,
              UvRect uv, float angleOffset = 0.0f);
// Flat disc (or annulus for inner > 0) at height z, facing +z (up) or -z.
void addDisc(Model& model, float inner, float outer, float z, bool up, int segments, UvRect uv,
             float angleOffset = 0.0f);
// The faces of an axis-aligned box, named by the direction they face.
enum class BoxFace { minusY, plusX, plusY, minusX, plusZ, minusZ };
inline constexpr int kBoxFaces = 6;
// One face of the box min..max, uv 0..1 across it inside `uv`.
void addBoxFace(MeshPart& part, glm::vec3 min, glm::vec3 max, BoxFace face, UvRect uv);
// Axis-aligned box; each face is its own part.
void addBox(Model& model, glm::vec3 min, glm::vec3 max, UvRect uv);

// Writes the model through the 3DS exporter to `path` (a temporary name, then renamed, so a
// reader never sees half a file). `textureFile` becomes the material's diffuse map name.
bool writeModel(const Model& model, const std::string& path, const std::string& textureFile);
