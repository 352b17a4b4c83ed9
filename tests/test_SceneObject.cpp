#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>

#include "camera/Camera.h"
#include "scene/Scene.h"
#include "scene/SceneObject.h"

namespace {

void expectMatrixNear(const glm::mat4& actual, const glm::mat4& wanted) {
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) EXPECT_NEAR(actual[c][r], wanted[c][r], 1e-5f) << c << "," << r;
    }
}

glm::mat4 rotateDegrees(float degrees, glm::vec3 axis) {
    return glm::rotate(glm::mat4(1.0f), toRadians(degrees), axis);
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

TEST(SceneObject, SetColorMatchesTheVertexCountAndSetNormalsReplaces) {
    SceneObject object;
    object.vertices.assign(36, glm::vec3(0.0f));
    object.colors.assign(5, glm::vec3(0.5f));
    object.setColor(1.0f, 0.0f, 0.0f);
    ASSERT_EQ(object.colors.size(), 36u);
    for (const glm::vec3& color : object.colors) EXPECT_EQ(color, glm::vec3(1.0f, 0.0f, 0.0f));

    object.setNormals({glm::vec3(0.0f, 1.0f, 0.0f)});
    EXPECT_EQ(object.normals, std::vector<glm::vec3>{glm::vec3(0.0f, 1.0f, 0.0f)});

    SceneObject empty;
    empty.colors.assign(3, glm::vec3(1.0f));
    empty.setColor(0.0f, 1.0f, 0.0f);
    EXPECT_TRUE(empty.colors.empty());
}

TEST(SceneObject, SetRotationTurnsByTheDifferenceToTheStoredAngles) {
    SceneObject object;
    object.setRotation(270.0f, 0.0f, 90.0f);
    expectMatrixNear(object.rotationMatrix,
                     rotateDegrees(270.0f, {1, 0, 0}) * rotateDegrees(90.0f, {0, 0, 1}));
    EXPECT_EQ(object.rotation, glm::vec3(270.0f, 0.0f, 90.0f));

    // Not composed with the earlier turn: only the change of x, -180 degrees, remains.
    SceneObject second;
    second.setRotation(270.0f, 0.0f, 0.0f);
    second.setRotation(90.0f, 0.0f, 0.0f);
    expectMatrixNear(second.rotationMatrix, rotateDegrees(-180.0f, {1, 0, 0}));
    EXPECT_EQ(second.rotation, glm::vec3(90.0f, 0.0f, 0.0f));

    // Rotation acts first, in model space: x after y after z.
    SceneObject order;
    order.setRotation(30.0f, 45.0f, 60.0f);
    expectMatrixNear(order.rotationMatrix, rotateDegrees(30.0f, {1, 0, 0}) *
                                               rotateDegrees(45.0f, {0, 1, 0}) *
                                               rotateDegrees(60.0f, {0, 0, 1}));
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
