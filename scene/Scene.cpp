#include "scene/Scene.h"

#include <algorithm>

Scene scene;

SceneObject* findObject(const std::string& name) {
    for (SceneObject& object : scene.sceneObjects) {
        if (object.getName() == name) return &object;
    }
    return nullptr;
}

std::span<const SceneObject> drawnSkyWalls() {
    return std::span<const SceneObject>(scene.skyPlanes)
        .first(std::min(kSkyPlaneCount, scene.skyPlanes.size()));
}
