#pragma once

#include <glm/glm.hpp>
#include <string>
#include <vector>

#include "assets/Mesh.h"

// What an object is in the scene, set by the assembly from its table: the passes choose how to
// shade and whether to draw an object by its kind, never by its name, place or size.
enum class ObjectKind {
    Matte,      // a lit, shadowed surface with its picture (barrels, letters, lamp)
    LightCube,  // the light's own cube, glowing
    Reflector,  // the mirroring sphere
    Water,      // the tessellated, moving water
    SkyWall,    // a wall of the sky box, unlit
    Ground,     // a ground tile: lit, shadowed and pictured like a matte surface, but dull
};

// One drawable unit: a named indexed triangle mesh with its GL buffers (Mesh), an optional 2D
// texture, three transform matrices, a kind and a few switches. Copies share the GL names;
// nothing here ever deletes a GL object (they live to the end of the run).
struct SceneObject : Mesh {
    bool tessellation = false;
    bool visible = true;
    bool reflection = false;
    glm::vec2 tessInner{1.0f, 1.0f};
    glm::vec3 tessOuter{1.0f, 1.0f, 1.0f};
    std::string name;
    ObjectKind kind = ObjectKind::Matte;
    std::uint32_t texture = 0;
    glm::mat4 translationMatrix{1.0f};
    glm::mat4 rotationMatrix{1.0f};
    glm::mat4 scaleMatrix{1.0f};
    glm::vec3 position{0.0f, 0.0f, 0.0f};
    glm::vec3 rotation{0.0f, 0.0f, 0.0f};

    SceneObject() = default;
    // Imports every mesh of a model file (importMesh). Prints the path with no line end; a file
    // that cannot be read gives an object with empty arrays.
    explicit SceneObject(const std::string& path);
    // Builds an indexed triangle list from positions (three per triangle) and per-vertex
    // colours, with unnormalised flat normals (triangleListMesh). Arrays of different lengths
    // give an empty object, silently.
    SceneObject(std::vector<glm::vec3> triangleVertices, std::vector<glm::vec3> vertexColors);

    // scaleMatrix * translationMatrix * rotationMatrix: the scale acts after the translation.
    glm::mat4 modelMatrix() const { return scaleMatrix * translationMatrix * rotationMatrix; }

    // Editing operations; call them before createBuffers(). None touches the GPU.
    void setColor(float r, float g, float b);
    void setNormals(std::vector<glm::vec3> newNormals);
    void setPosition(glm::vec3 p);
    // Rotates by the difference to the stored angles (degrees), x then y then z.
    void setRotation(float x, float y, float z);
    void setScale(float x, float y, float z);
    std::string getName() const { return name; }

    // The mesh's draw (patches or triangles), only while the object is visible.
    void draw(bool patches) const {
        if (visible) drawElements(patches);
    }
};
