#include "assets/Mesh.h"

#include <GL/glew.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Platform.h"

namespace {

// Attribute locations shared with the vertex stages of every program that draws objects.
constexpr GLuint kPositionLocation = 0;
constexpr GLuint kColorLocation = 1;
constexpr GLuint kUvLocation = 2;
constexpr GLuint kNormalLocation = 3;
constexpr GLint kPatchVertices = 3;

// Generates a buffer into `name`, binds it to `target` and fills it from the whole array.
template <typename T>
void uploadArray(GLenum target, std::uint32_t& name, const std::vector<T>& array) {
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    name = buffer;
    glBindBuffer(target, buffer);
    glBufferData(target, static_cast<GLsizeiptr>(array.size() * sizeof(T)), array.data(),
                 GL_STATIC_DRAW);
}

void pointAttribute(GLuint location, GLuint buffer, GLint components) {
    glEnableVertexAttribArray(location);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glVertexAttribPointer(location, components, GL_FLOAT, GL_FALSE, 0, nullptr);
}

}  // namespace

void Mesh::createBuffers() {
    uploadArray(GL_ARRAY_BUFFER, vertexBuffer, vertices);
    uploadArray(GL_ARRAY_BUFFER, uvBuffer, uvs);
    uploadArray(GL_ARRAY_BUFFER, colorBuffer, colors);
    uploadArray(GL_ARRAY_BUFFER, normalBuffer, normals);
    uploadArray(GL_ELEMENT_ARRAY_BUFFER, elementBuffer, indices);
}

void Mesh::bindAttributes(bool all) const {
    pointAttribute(kPositionLocation, vertexBuffer, 3);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, elementBuffer);
    if (!all) return;
    pointAttribute(kColorLocation, colorBuffer, 3);
    pointAttribute(kUvLocation, uvBuffer, 2);
    pointAttribute(kNormalLocation, normalBuffer, 3);
}

void Mesh::drawElements(bool patches) const {
    const auto count = static_cast<GLsizei>(indices.size());
    if (patches && glVersionAtLeast4()) {
        glPatchParameteri(GL_PATCH_VERTICES, kPatchVertices);
        glDrawElements(GL_PATCHES, count, GL_UNSIGNED_INT, nullptr);
    } else {
        glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_INT, nullptr);
    }
}
