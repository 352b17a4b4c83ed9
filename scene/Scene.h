#pragma once

#include <cstddef>
#include <glm/glm.hpp>
#include <span>
#include <string>
#include <vector>

#include "scene/SceneObject.h"

// The scene's collections. Filled once by assembleScene(); afterwards nothing is added or
// removed, so pointers to elements (animation tracks) stay valid for the run.
struct Scene {
    // Element 0 is the light cube "LICHT", element 1 the reflecting sphere.
    std::vector<SceneObject> sceneObjects;
    // The five sky walls sky0, sky1, sky2, sky4, sky5.
    std::vector<SceneObject> skyPlanes;
    // The light cube's 36 vertices, face normals and colours (buildCubeArrays).
    std::vector<glm::vec3> cubeVertices;
    std::vector<glm::vec3> cubeNormals;
    std::vector<glm::vec3> cubeColors;
};

extern Scene scene;

// The ground tiles' height (their drawn origin; the water lies a quarter unit below).
inline constexpr float kGroundLevel = -1.75f;

// The light's cube reaches this far from the light in every axis (its arrays span -1 to 1).
inline constexpr float kLightCubeHalfSize = 1.0f;

// The passes that draw the sky draw exactly this many walls of skyPlanes.
inline constexpr std::size_t kSkyPlaneCount = 5;

// The sky walls that the passes draw: the first kSkyPlaneCount of skyPlanes (fewer if it has
// fewer).
std::span<const SceneObject> drawnSkyWalls();

// The light: element 0 of sceneObjects. Valid only after assembleScene().
inline SceneObject& lightCube() { return scene.sceneObjects[0]; }

// First element of sceneObjects whose name equals `name` (case-sensitive), or null.
SceneObject* findObject(const std::string& name);

// Builds the fixed scene into the empty collections; needs a current GL context.
void assembleScene();
// The mesh files that the scene reads from modelsDir, each once, in the order of the table
// ("sphere.3ds", "barrel.3ds", ...; plane.3ds is also the sky walls').
std::vector<std::string> sceneMeshFiles();
// Appends the light cube's 36 vertices, normals and colours to the cube arrays.
void buildCubeArrays();
// Builds sky wall i (0 to 5) from plane.3ds into `object` and returns it.
SceneObject& buildSkyPlane(SceneObject& object, int i);
