#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <glm/glm.hpp>

// One drawable unit: a named indexed triangle mesh, its GL buffers, an optional 2D texture,
// three transform matrices and a few switches. Copies share the GL names; nothing here ever
// deletes a GL object (they live to the end of the run).
struct SceneObject {
    std::vector<glm::vec3> vertices;
    std::vector<std::uint32_t> indices;
    std::vector<glm::vec2> uvs;
    std::vector<glm::vec3> colors;
    std::vector<glm::vec3> normals;
    bool tessellation = false;
    bool visible = true;
    bool reflection = false;
    glm::vec2 tessInner{1.0f, 1.0f};
    glm::vec3 tessOuter{1.0f, 1.0f, 1.0f};
    std::string name;
    std::uint32_t texture = 0;
    glm::mat4 translationMatrix{1.0f};
    glm::mat4 rotationMatrix{1.0f};
    glm::mat4 scaleMatrix{1.0f};
    glm::vec3 position{0.0f, 0.0f, 0.0f};
    glm::vec3 rotation{0.0f, 0.0f, 0.0f};
    std::uint32_t vertexBuffer = 0;
    std::uint32_t uvBuffer = 0;
    std::uint32_t colorBuffer = 0;
    std::uint32_t normalBuffer = 0;
    std::uint32_t elementBuffer = 0;

    SceneObject() = default;
    // Imports every mesh of a model file through Assimp (assets/MeshImport.cpp). Prints the
    // path with no line end; a file that cannot be read gives an object with empty arrays.
    explicit SceneObject(std::string path);
    // Builds an indexed triangle list from positions (three per triangle) and per-vertex
    // colours, with unnormalised flat normals. Arrays of different lengths give an empty
    // object, silently.
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

    // Uploads the five arrays into five GL buffers, once (assets/MeshBuffers.cpp).
    void createBuffers();
    // Points attribute 0 (and with `all` also 1 colour, 2 uv, 3 normal) at this object's buffers
    // and binds its element buffer. Call before draw() with the pass's program in use.
    void bindAttributes(bool all) const;
    // One glDrawElements of all indices when visible: patches of 3 when `patches` and the GL
    // version test passes, triangles otherwise.
    void draw(bool patches) const;
};
