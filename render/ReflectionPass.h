#pragma once

#include "render/Programs.h"
#include "scene/SceneObject.h"

// Once per frame, after the shadow pass: renders the lit, shadowed surroundings of the reflector
// (element 1 of the scene, left out of its own image) into the reflection cube.
void renderReflectionPass();

// The build that draws an object into the reflection cube: the one made for its kind and
// whether it has a picture.
const ReflectionBuild& reflectionBuildFor(const SceneObject& object);
