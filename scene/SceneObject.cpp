#include "scene/SceneObject.h"

#include <glm/gtc/matrix_transform.hpp>
#include <utility>

#include "assets/MeshImport.h"
#include "core/Angles.h"

SceneObject::SceneObject(const std::string& path) : Mesh(importMesh(path)) {}

SceneObject::SceneObject(std::vector<glm::vec3> triangleVertices,
                         std::vector<glm::vec3> vertexColors)
    : Mesh(triangleListMesh(std::move(triangleVertices), std::move(vertexColors))) {}

void SceneObject::setColor(float r, float g, float b) {
    colors.assign(vertices.size(), glm::vec3(r, g, b));
}

void SceneObject::setNormals(std::vector<glm::vec3> newNormals) { normals = std::move(newNormals); }

void SceneObject::setPosition(glm::vec3 p) {
    translationMatrix = glm::translate(glm::mat4(1.0f), p);
    position = p;
}

void SceneObject::setRotation(float x, float y, float z) {
    // The matrix turns by the change from the stored angles only, so a second call does not
    // compose with the first: it replaces the matrix with the rotation by the difference.
    const glm::vec3 delta = glm::vec3(x, y, z) - rotation;
    rotationMatrix = glm::rotate(glm::mat4(1.0f), toRadians(delta.x), glm::vec3(1.0f, 0.0f, 0.0f));
    rotationMatrix = glm::rotate(rotationMatrix, toRadians(delta.y), glm::vec3(0.0f, 1.0f, 0.0f));
    rotationMatrix = glm::rotate(rotationMatrix, toRadians(delta.z), glm::vec3(0.0f, 0.0f, 1.0f));
    rotation = glm::vec3(x, y, z);
}

void SceneObject::setScale(float x, float y, float z) {
    scaleMatrix = glm::scale(glm::mat4(1.0f), glm::vec3(x, y, z));
}
