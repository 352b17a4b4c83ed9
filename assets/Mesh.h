#pragma once

#include <cstdint>
#include <glm/glm.hpp>
#include <vector>

// An indexed triangle mesh: its vertex arrays and, once uploaded, the five GL buffers that hold
// them. Copies share the GL names; nothing here deletes a GL object (they live to the end of the
// run).
struct Mesh {
    std::vector<glm::vec3> vertices;
    std::vector<std::uint32_t> indices;
    std::vector<glm::vec2> uvs;
    std::vector<glm::vec3> colors;
    std::vector<glm::vec3> normals;
    std::uint32_t vertexBuffer = 0;
    std::uint32_t uvBuffer = 0;
    std::uint32_t colorBuffer = 0;
    std::uint32_t normalBuffer = 0;
    std::uint32_t elementBuffer = 0;

    // Uploads the five arrays into five GL buffers, once.
    void createBuffers();
    // Points attribute 0 (and with `all` also 1 colour, 2 uv, 3 normal) at the buffers and binds
    // the element buffer. Call before drawElements() with the pass's program in use.
    void bindAttributes(bool all) const;
    // One glDrawElements of all indices: patches of 3 when `patches` and the GL version test
    // passes, triangles otherwise.
    void drawElements(bool patches) const;
};
