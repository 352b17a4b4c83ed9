#pragma once

#include <string>
#include <vector>

#include "scene/Scene.h"
#include "scene/SceneObject.h"

// The fixed scene, built from the assembly's tables into the global scene.

// Start-up, after the programs: builds the fixed scene into fresh collections (the objects'
// meshes and pictures loaded and uploaded); needs a current GL context.
void assembleScene();
// The mesh files that the scene reads from modelsDir, each once, in the order of the table
// ("sphere.3ds", "barrel.3ds", ...; plane.3ds is also the sky walls').
std::vector<std::string> sceneMeshFiles();
// Appends the light cube's 36 vertices, normals and colours to the cube arrays.
void buildCubeArrays();
// Builds sky wall i (0 to 5) from plane.3ds into `object` and returns it.
SceneObject& buildSkyPlane(SceneObject& object, int i);
