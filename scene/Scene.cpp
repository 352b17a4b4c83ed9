#include "scene/Scene.h"

Scene scene;

SceneObject* findObject(std::string name) {
    for (SceneObject& object : scene.sceneObjects) {
        if (object.getName() == name) return &object;
    }
    return nullptr;
}
