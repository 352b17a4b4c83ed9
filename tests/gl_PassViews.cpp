// The views of each pass's images: where the cross puts each cube face, what the colours mean
// (ranges measured from the images), and that drawing a view leaves the GL state alone.
#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "camera/Camera.h"
#include "render/PassViews.h"
#include "render/PostProcessPass.h"
#include "scene/Scene.h"
#include "support/PipelineFixture.h"

namespace {

// The window's picture as drawn into the back buffer: RGB, bottom row first.
class WindowPicture {
public:
    WindowPicture() : pixels_(static_cast<std::size_t>(kWindowWidth) * kWindowHeight * 3) {
        glFinish();
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels_.data());
    }
    // Pixel (x, y), y counted from the bottom.
    glm::ivec3 at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * kWindowWidth + x) * 3;
        return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
    }

private:
    std::vector<unsigned char> pixels_;
};

// The cross's cells on the 1024 x 768 window: 4 x 3 cells of 256 pixels, row 0 at the bottom.
constexpr int kCell = 256;
glm::ivec2 cellCentre(int column, int row) {
    return {column * kCell + kCell / 2, row * kCell + kCell / 2};
}
// Middle row: -X, -Z, +X, +Z; +Y above -Z, -Y below it.
const glm::ivec2 kNegativeX = cellCentre(0, 1);
const glm::ivec2 kNegativeZ = cellCentre(1, 1);
const glm::ivec2 kPositiveX = cellCentre(2, 1);
const glm::ivec2 kPositiveZ = cellCentre(3, 1);
const glm::ivec2 kPositiveY = cellCentre(1, 2);
const glm::ivec2 kNegativeY = cellCentre(1, 0);

const glm::ivec3 kBlack(0, 0, 0);
// Texels where nothing was drawn: (0, 0, 0.3) of full scale.
bool isNothing(glm::ivec3 c) { return c.r == 0 && c.g == 0 && std::abs(c.b - 77) <= 1; }
int grey(glm::ivec3 c) { return (c.r + c.g + c.b) / 3; }

class PassViewTest : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        mainCamera.aspectRatio = 4.0f / 3.0f;
    }

    // The light 1 unit above a 12 x 12 floor, a cube beside it along +X (its near face 3.5
    // units away, level with the light). Hard shadows: the scene pass leaves the depth cube
    // comparing, which a view must read past.
    static void buildLightScene() {
        loop.shadowMode = 0;
        scene.sceneObjects.push_back(makeLight(glm::vec3(0, 1, 0), 0.1f));
        scene.sceneObjects.push_back(
            makeCube("testcube", glm::vec3(4, 1, 0), 0.5f, glm::vec3(0.8f, 0.2f, 0.2f)));
        scene.sceneObjects.push_back(makeFloor("Plane", 6.0f, glm::vec3(0.6f)));
        mainCamera.position = glm::vec3(0, 6, 0);
        mainCamera.setAngles(89.0f, 0.0f);
        renderCubesAndScene();
    }
};

}  // namespace

TEST_F(PassViewTest, TheShadowDepthCrossPutsEachFaceInItsCellWithItsRangeMeasured) {
    buildLightScene();
    // Straight below the light the floor is 1 unit away along the face's axis; sideways it
    // reaches 6 units out, where the floor ends (seen at a grazing angle, where a texel spans
    // 0.14 units).
    const ViewRange range = viewRange(PassView::ShadowDepth);
    EXPECT_NEAR(range.low, 1.0f, 0.01f);
    EXPECT_NEAR(range.high, 6.0f, 0.15f);

    ASSERT_TRUE(drawPassView(PassView::ShadowDepth, range));
    const WindowPicture picture;
    // The floor right below the light is the nearest texel: white.
    EXPECT_GE(grey(picture.at(kNegativeY.x, kNegativeY.y)), 250);
    // The cube's near face, 3.5 units out: half way from white to black.
    EXPECT_NEAR(grey(picture.at(kPositiveX.x, kPositiveX.y)), 127, 4);
    // Looking up and along the other three horizontal axes level with the light: nothing.
    for (glm::ivec2 cell : {kPositiveY, kNegativeX, kNegativeZ, kPositiveZ}) {
        EXPECT_TRUE(isNothing(picture.at(cell.x, cell.y + 8))) << cell.x << "," << cell.y;
    }
    // Up is up: below the horizon of a side face the floor, near and bright; above it nothing.
    for (glm::ivec2 cell : {kNegativeX, kNegativeZ, kPositiveX, kPositiveZ}) {
        EXPECT_GE(grey(picture.at(cell.x + 60, cell.y - 110)), 200) << cell.x;
        EXPECT_TRUE(isNothing(picture.at(cell.x + 60, cell.y + 110))) << cell.x;
    }
    // The cross's empty corners.
    EXPECT_EQ(picture.at(cellCentre(0, 2).x, cellCentre(0, 2).y), kBlack);
    EXPECT_EQ(picture.at(cellCentre(3, 0).x, cellCentre(3, 0).y), kBlack);
}

TEST_F(PassViewTest, TheCrossIsSeamlessWhereItsCellsMeet) {
    // Two cubes right on the edges between faces, seen from the light: one level with it
    // towards (+X, -Z), between the -Z and +X cells; one 45 degrees below it towards -Z, between
    // the -Z cell and the -Y cell under it. Each shows on both sides of its edge alike: a face
    // turned or mirrored in its cell would put the cube elsewhere on one side.
    loop.shadowMode = 0;
    scene.sceneObjects.push_back(makeLight(glm::vec3(0, 1, 0), 0.05f));
    scene.sceneObjects.push_back(makeCube("level", glm::vec3(3, 1, -3), 0.5f, glm::vec3(1)));
    scene.sceneObjects.push_back(makeCube("below", glm::vec3(0, 0.1f, -0.9f), 0.15f, glm::vec3(1)));
    scene.sceneObjects.push_back(makeFloor("Plane", 6.0f, glm::vec3(0.6f)));
    renderCubesAndScene();
    ASSERT_TRUE(drawPassView(PassView::ShadowDepth, viewRange(PassView::ShadowDepth)));
    const WindowPicture picture;
    for (int y = 376; y <= 392; y += 4) {
        const glm::ivec3 left = picture.at(2 * kCell - 1, y);
        const glm::ivec3 right = picture.at(2 * kCell, y);
        EXPECT_FALSE(isNothing(left) || isNothing(right)) << "no cube at the edge, y " << y;
        EXPECT_NEAR(grey(left), grey(right), 6) << "y " << y;
    }
    for (int x = 376; x <= 392; x += 4) {
        const glm::ivec3 below = picture.at(x, kCell - 1);
        const glm::ivec3 above = picture.at(x, kCell);
        EXPECT_NEAR(grey(below), grey(above), 6) << "x " << x;
    }
    // The lower cube is nearer than the floor around it: brighter on both sides of the edge.
    EXPECT_GT(grey(picture.at(384, kCell)), grey(picture.at(384 + 60, kCell)) + 8);
    EXPECT_GT(grey(picture.at(384, kCell - 1)), grey(picture.at(384 + 60, kCell - 1)) + 8);
}

TEST_F(PassViewTest, TheMomentsShowTheDistanceFromTheLightOverItsRange) {
    buildLightScene();
    // Distances from the light itself: 1 straight down, sqrt(6^2 + 1 + 6^2) at the floor's
    // corners, less a grazing texel.
    const ViewRange range = viewRange(PassView::ShadowMoments);
    EXPECT_NEAR(range.low, 1.0f, 0.01f);
    EXPECT_NEAR(range.high, std::sqrt(73.0f), 0.2f);

    ASSERT_TRUE(drawPassView(PassView::ShadowMoments, range));
    const WindowPicture picture;
    const glm::ivec3 below = picture.at(kNegativeY.x, kNegativeY.y);
    EXPECT_LE(below.r, 2);  // the nearest: no red, not nothing's blue
    EXPECT_EQ(below.b, 0);
    // The cube's face: 3.5 units, a third of the span.
    const float share = (3.5f - range.low) / (range.high - range.low);
    EXPECT_NEAR(picture.at(kPositiveX.x, kPositiveX.y).r, 255.0f * share, 4.0f);
    EXPECT_TRUE(isNothing(picture.at(kPositiveY.x, kPositiveY.y)));
}

TEST_F(PassViewTest, TheSceneDepthIsLinearisedFromTheCameraAndTheColourGetsAGammaCurve) {
    scene.sceneObjects.push_back(makeLight(glm::vec3(0, 20, 0), 0.1f));
    scene.sceneObjects.push_back(
        makeCube("testcube", glm::vec3(0, 1, 0), 0.5f, glm::vec3(0.2f, 0.4f, 0.8f)));
    scene.sceneObjects.push_back(makeFloor("Plane", 40.0f, glm::vec3(0.6f)));
    mainCamera.position = glm::vec3(0, 6, 0);
    mainCamera.setAngles(89.0f, 0.0f);
    renderCubesAndScene();

    // The cube's top, 4.5 units below the camera, is the nearest; the floor beyond.
    const ViewRange depth = viewRange(PassView::SceneDepth);
    EXPECT_NEAR(depth.low, 4.5f, 0.02f);
    EXPECT_GT(depth.high, 6.0f);
    ASSERT_TRUE(drawPassView(PassView::SceneDepth, depth));
    {
        const WindowPicture picture;
        EXPECT_GE(grey(picture.at(512, 384)), 250);
        // The floor at the window's edge, about 6 units along the view.
        const float share = (6.0f - depth.low) / (depth.high - depth.low);
        EXPECT_NEAR(grey(picture.at(512, 10)), 255.0f * (1.0f - share), 12.0f);
    }

    // The colour view: the scene image's linear light through a 2.2 gamma curve.
    std::vector<float> texels(static_cast<std::size_t>(kSceneTargetSize) * kSceneTargetSize * 3);
    glBindTexture(GL_TEXTURE_2D, targets.sceneTarget.colorTexture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_FLOAT, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    const ViewRange color = viewRange(PassView::SceneColor);
    EXPECT_EQ(color.low, 0.0f);
    EXPECT_EQ(color.high, 1.0f);
    ASSERT_TRUE(drawPassView(PassView::SceneColor, color));
    const WindowPicture picture;
    const std::size_t centre =
        (static_cast<std::size_t>(kSceneTargetSize / 2) * kSceneTargetSize + kSceneTargetSize / 2) *
        3;
    for (int channel = 0; channel < 3; ++channel) {
        const float linear = texels[centre + static_cast<std::size_t>(channel)];
        ASSERT_GT(linear, 0.02f) << "the cube's top is lit";
        const float expected = 255.0f * std::pow(std::min(linear, 1.0f), 1.0f / 2.2f);
        EXPECT_NEAR(static_cast<float>(picture.at(512, 384)[channel]), expected, 3.0f)
            << "channel " << channel;
    }
}

TEST_F(PassViewTest, DrawingAViewLeavesTheGlStateAsItWas) {
    buildLightScene();
    // A state unlike what a view sets: the scene program, depth testing, a scissor box, another
    // unit active with a texture bound on unit 0, the scene's framebuffer bound for reading.
    glUseProgram(programs.sceneProgram.program);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glEnable(GL_CULL_FACE);
    glEnable(GL_SCISSOR_TEST);
    glViewport(3, 4, 500, 600);
    glClearColor(0.1f, 0.2f, 0.3f, 0.4f);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, targets.sceneTarget.colorTexture);
    glBindTexture(GL_TEXTURE_CUBE_MAP, targets.reflectionCubeTarget.colorCube);
    glActiveTexture(GL_TEXTURE5);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, targets.sceneTarget.framebuffer);

    const auto integer = [](GLenum name) {
        GLint value = 0;
        glGetIntegerv(name, &value);
        return value;
    };
    const auto snapshot = [&] {
        std::vector<GLint> values = {
            integer(GL_CURRENT_PROGRAM),          integer(GL_ACTIVE_TEXTURE),
            integer(GL_DRAW_FRAMEBUFFER_BINDING), integer(GL_READ_FRAMEBUFFER_BINDING),
            glIsEnabled(GL_DEPTH_TEST),           glIsEnabled(GL_CULL_FACE),
            glIsEnabled(GL_SCISSOR_TEST),         glIsEnabled(GL_BLEND),
            integer(GL_DEPTH_WRITEMASK)};
        glActiveTexture(GL_TEXTURE0);
        values.push_back(integer(GL_TEXTURE_BINDING_2D));
        values.push_back(integer(GL_TEXTURE_BINDING_CUBE_MAP));
        values.push_back(integer(GL_SAMPLER_BINDING));
        glActiveTexture(GL_TEXTURE5);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        values.insert(values.end(), viewport, viewport + 4);
        GLfloat clear[4];
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        for (GLfloat c : clear) values.push_back(static_cast<GLint>(std::lround(c * 1000.0f)));
        return values;
    };
    const std::vector<GLint> before = snapshot();
    // A comparison mode on the depth cube itself, which a view must neither need nor undo.
    const GLint compareBefore = GL_COMPARE_REF_TO_TEXTURE;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, targets.shadowCubeTarget.depthCube);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_MODE, compareBefore);
    glBindTexture(GL_TEXTURE_CUBE_MAP, targets.reflectionCubeTarget.colorCube);
    glActiveTexture(GL_TEXTURE5);
    for (PassView view : kPassViews) {
        SCOPED_TRACE(passViewName(view));
        ASSERT_TRUE(drawPassView(view, viewRange(view)));
        EXPECT_EQ(snapshot(), before);
    }
    // The depth cube's own parameters are not the view's to change: it reads through a sampler
    // object of its own, so the texture's comparison mode is what it was before.
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, targets.shadowCubeTarget.depthCube);
    GLint compare = -1;
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_MODE, &compare);
    EXPECT_EQ(compare, compareBefore);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}
