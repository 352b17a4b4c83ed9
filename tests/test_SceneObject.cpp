#include <gtest/gtest.h>

#include "scene/Scene.h"
#include "scene/SceneObject.h"

namespace {

void expectVec3Near(glm::vec3 actual, glm::vec3 wanted) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], wanted[i], 1e-5f) << i;
}

SceneObject named(const std::string& name) {
    SceneObject object;
    object.name = name;
    return object;
}

}  // namespace

TEST(SceneObject, ScaleActsAfterTheTranslation) {
    SceneObject ground;
    ground.setPosition({-5.0f, -1.75f, 5.0f});
    ground.setScale(10.0f, 1.0f, 10.0f);
    const glm::vec4 origin = ground.modelMatrix() * glm::vec4(0.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_NEAR(origin.x, -50.0f, 1e-5f);
    EXPECT_NEAR(origin.y, -1.75f, 1e-5f);
    EXPECT_NEAR(origin.z, 50.0f, 1e-5f);
    EXPECT_EQ(ground.position, glm::vec3(-5.0f, -1.75f, 5.0f));
}

TEST(SceneObject, SetColorMatchesTheVertexCount) {
    SceneObject object;
    object.vertices.assign(36, glm::vec3(0.0f));
    object.colors.assign(5, glm::vec3(0.5f));
    object.setColor(1.0f, 0.0f, 0.0f);
    ASSERT_EQ(object.colors.size(), 36u);
    for (const glm::vec3& color : object.colors) EXPECT_EQ(color, glm::vec3(1.0f, 0.0f, 0.0f));

    SceneObject empty;
    empty.colors.assign(3, glm::vec3(1.0f));
    empty.setColor(0.0f, 1.0f, 0.0f);
    EXPECT_TRUE(empty.colors.empty());
}

TEST(SceneObject, SetRotationTurnsByTheDifferenceToTheStoredAngles) {
    // Where the model's axes end up (rotation acts first, in model space: about z, then y,
    // then x).
    const auto turned = [](const SceneObject& object, glm::vec3 axis) {
        return glm::vec3(object.rotationMatrix * glm::vec4(axis, 0.0f));
    };
    SceneObject letter;
    letter.setRotation(270.0f, 0.0f, 90.0f);
    expectVec3Near(turned(letter, {1, 0, 0}), {0, 0, -1});
    expectVec3Near(turned(letter, {0, 1, 0}), {-1, 0, 0});
    expectVec3Near(turned(letter, {0, 0, 1}), {0, 1, 0});
    EXPECT_EQ(letter.rotation, glm::vec3(270.0f, 0.0f, 90.0f));

    SceneObject yThenX;
    yThenX.setRotation(90.0f, 90.0f, 0.0f);
    expectVec3Near(turned(yThenX, {0, 0, 1}), {1, 0, 0});

    // Not composed with the earlier turn: only the change of x, -180 degrees, remains.
    SceneObject second;
    second.setRotation(270.0f, 0.0f, 0.0f);
    second.setRotation(90.0f, 0.0f, 0.0f);
    expectVec3Near(turned(second, {0, 1, 0}), {0, -1, 0});
    expectVec3Near(turned(second, {1, 0, 0}), {1, 0, 0});
    EXPECT_EQ(second.rotation, glm::vec3(90.0f, 0.0f, 0.0f));
}

TEST(FindObject, FirstExactCaseSensitiveMatch) {
    scene.sceneObjects.clear();
    scene.sceneObjects.push_back(named("LICHT"));
    scene.sceneObjects.push_back(named("Barrel3"));
    scene.sceneObjects.push_back(named("Barrel3"));
    scene.sceneObjects.push_back(named("Barrel"));

    EXPECT_EQ(findObject("Barrel3"), &scene.sceneObjects[1]);
    EXPECT_EQ(findObject("barrel3"), nullptr);
    EXPECT_EQ(findObject("Barrel"), &scene.sceneObjects[3]);
    EXPECT_EQ(findObject("Barrel31"), nullptr);
    EXPECT_EQ(findObject(""), nullptr);
    scene.sceneObjects.clear();
    EXPECT_EQ(findObject("LICHT"), nullptr);
}
