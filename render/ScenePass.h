#pragma once

#include "render/Programs.h"
#include "scene/SceneObject.h"

// Once per frame, after the reflection pass and the wireframe switch: draws the sky and every
// object as the camera sees it into the scene target, shadowed and reflecting.
void renderScenePass();

// The build that draws an object in this frame's scene pass: the one made for its kind, the
// frame's shadow mode and whether it has a picture.
const SceneBuild& sceneBuildFor(const SceneObject& object);
