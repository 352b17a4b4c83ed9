// The four passes on small hand-built scenes: what each writes into its target, what it leaves
// out, and the uniforms and GL state that the next pass relies on.
#include <GL/glew.h>

#include <algorithm>
#include <functional>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/Loop.h"
#include "camera/Camera.h"
#include "render/PassTimer.h"
#include "render/PostProcessPass.h"
#include "scene/Scene.h"
#include "support/DrawHook.h"
#include "support/PipelineFixture.h"

namespace {

constexpr int kPositiveX = 0;
constexpr int kNegativeX = 1;
constexpr int kPositiveZ = 4;
constexpr int kNegativeZ = 5;

// Centre texel of a face read by readCubeFace, as RGB (or depth in x).
glm::vec3 centreTexel(const std::vector<float>& texels, bool depth) {
    const std::size_t channels = depth ? 1 : 3;
    const std::size_t i =
        (static_cast<std::size_t>(kCubeFaceSize / 2) * kCubeFaceSize + kCubeFaceSize / 2) *
        channels;
    return depth ? glm::vec3(texels[i]) : glm::vec3(texels[i], texels[i + 1], texels[i + 2]);
}

using PassTest = PipelineTest;

// How many texels of the scene image hold anything but the clear colour.
double coveredShare() {
    std::vector<float> pixels(static_cast<std::size_t>(kSceneTargetSize) * kSceneTargetSize * 3);
    glBindTexture(GL_TEXTURE_2D, targets.sceneTarget.colorTexture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_FLOAT, pixels.data());
    std::size_t covered = 0;
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        if (pixels[i] + pixels[i + 1] + pixels[i + 2] > 0.0f) ++covered;
    }
    return static_cast<double>(covered) / static_cast<double>(pixels.size() / 3);
}

// A camera 6 units above the origin, looking straight down at a 10 x 10 floor.
void buildFloorScene() {
    scene.sceneObjects.push_back(makeLight(glm::vec3(0, 20, 0), 0.5f));
    scene.sceneObjects.push_back(
        makeCube("testcube", glm::vec3(0, 1, 0), 0.5f, glm::vec3(1, 0, 0)));
    scene.sceneObjects.push_back(makeFloor("Plane", 5.0f, glm::vec3(0.5f)));
    mainCamera.position = glm::vec3(0, 6, 0);
    mainCamera.setAngles(89.0f, 0.0f);
}

glm::mat4 uniformMatrix(GLuint program, GLint location) {
    glm::mat4 m(0.0f);
    glGetUniformfv(program, location, glm::value_ptr(m));
    return m;
}

// The table of the program in use: the one of whose builds it is, or null.
const ProgramTable* tableOfProgramInUse() {
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    const ProgramTable* table = nullptr;
    forEachProgram(programs, [&](const auto& general, const auto& variants) {
        bool built = general.program == static_cast<GLuint>(current);
        for (const auto& variant : variants) {
            built = built || variant.program.program == static_cast<GLuint>(current);
        }
        if (built) table = &programTable(general.id);
    });
    return table;
}

// The textures attached to the framebuffer being drawn into that are also bound where the
// program in use may sample them: on the unit and target of a sampler that its stage files
// declare (whether or not the driver keeps it), each as "texture T on unit U (sampler S of P)
// drawing into F".
std::vector<std::string> imagesBoundWhereDrawn() {
    GLint framebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
    if (framebuffer == 0) return {};
    std::vector<GLint> attached;
    for (GLenum attachment : {GL_COLOR_ATTACHMENT0, GL_DEPTH_ATTACHMENT}) {
        GLint type = GL_NONE;
        glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, attachment,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
        if (type != GL_TEXTURE) continue;
        GLint name = 0;
        glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, attachment,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
        attached.push_back(name);
    }
    const std::string target =
        framebuffer == GLint(targets.shadowCubeTarget.framebuffer)       ? "the shadow cube"
        : framebuffer == GLint(targets.reflectionCubeTarget.framebuffer) ? "the reflection cube"
        : framebuffer == GLint(targets.sceneTarget.framebuffer)
            ? "the scene image"
            : "framebuffer " + std::to_string(framebuffer);
    const ProgramTable* table = tableOfProgramInUse();
    if (table == nullptr) return {"a program that is no build of the four drawing into " + target};
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    std::vector<std::string> found;
    for (const SamplerRow& sampler : table->samplers) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(sampler.unit));
        GLint bound = 0;
        glGetIntegerv(sampler.type.textureTarget == GL_TEXTURE_2D ? GL_TEXTURE_BINDING_2D
                                                                  : GL_TEXTURE_BINDING_CUBE_MAP,
                      &bound);
        if (bound != 0 && std::find(attached.begin(), attached.end(), bound) != attached.end()) {
            found.push_back("texture " + std::to_string(bound) + " on unit " +
                            std::to_string(sampler.unit) + " (sampler " + sampler.name + " of " +
                            table->name + ") drawing into " + target);
        }
    }
    glActiveTexture(static_cast<GLenum>(active));
    return found;
}

// How a unit's cube map is read: compare mode and function of the sampler object bound there,
// or of the texture itself where none is.
struct Comparison {
    GLint mode = GL_NONE;
    GLint function = GL_NONE;
    bool operator==(const Comparison&) const = default;
};
Comparison cubeComparison(int unit) {
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    GLint sampler = 0;
    glGetIntegerv(GL_SAMPLER_BINDING, &sampler);
    Comparison comparison;
    if (sampler != 0) {
        const auto name = static_cast<GLuint>(sampler);
        glGetSamplerParameteriv(name, GL_TEXTURE_COMPARE_MODE, &comparison.mode);
        glGetSamplerParameteriv(name, GL_TEXTURE_COMPARE_FUNC, &comparison.function);
    } else {
        glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_MODE, &comparison.mode);
        glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_COMPARE_FUNC, &comparison.function);
    }
    return comparison;
}

// Looks at the GL state before each draw while alive.
class DrawWatch {
public:
    explicit DrawWatch(std::function<void()> check) { setBeforeDraw(std::move(check)); }
    ~DrawWatch() { setBeforeDraw({}); }
    DrawWatch(const DrawWatch&) = delete;
    DrawWatch& operator=(const DrawWatch&) = delete;
};

void expectNear(const glm::mat4& a, const glm::mat4& b, float tolerance) {
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) EXPECT_NEAR(a[c][r], b[c][r], tolerance) << c << "," << r;
    }
}

}  // namespace

TEST_F(PassTest, ShadowPassSendsEachObjectToItsFaceUprightAndLeavesOutTheLightCube) {
    // The light sits inside its own cube, which would cover every face if it were drawn.
    scene.sceneObjects.push_back(makeLight(glm::vec3(0), 1.0f));
    // The faces as the cube map lays them out: direction and up of +X, -X, +Y, -Y, +Z, -Z.
    const glm::vec3 directions[6] = {{1, 0, 0},  {-1, 0, 0}, {0, 1, 0},
                                     {0, -1, 0}, {0, 0, 1},  {0, 0, -1}};
    const glm::vec3 ups[6] = {{0, -1, 0}, {0, -1, 0}, {0, 0, 1},
                              {0, 0, -1}, {0, -1, 0}, {0, -1, 0}};
    // One block per face, off its centre in both directions of the face, so that a face left
    // out, turned or mirrored puts the block elsewhere.
    glm::vec3 blocks[6];
    for (int k = 0; k < 6; ++k) {
        const glm::vec3 across = glm::vec3(directions[k].y, directions[k].z, directions[k].x);
        const glm::vec3 along = glm::cross(directions[k], across);
        blocks[k] = 6.0f * directions[k] + 2.0f * glm::abs(across) + glm::abs(along);
        scene.sceneObjects.push_back(makeCube("Block", blocks[k], 0.5f, glm::vec3(1)));
    }
    beginShadowPass();
    drawShadowCasters();

    const CubeMapTarget& shadow = targets.shadowCubeTarget;
    const glm::mat4 projection = glm::perspective(glm::radians(90.0f), 1.0f, 0.3f, 100.0f);
    const auto at = [](const std::vector<float>& texels, glm::ivec2 texel, bool depth) {
        const std::size_t channels = depth ? 1 : 3;
        const std::size_t i = (static_cast<std::size_t>(texel.y) * kCubeFaceSize +
                               static_cast<std::size_t>(texel.x)) *
                              channels;
        return depth ? glm::vec3(texels[i]) : glm::vec3(texels[i], texels[i + 1], texels[i + 2]);
    };
    for (int k = 0; k < 6; ++k) {
        const glm::vec4 clip = projection * glm::lookAt(glm::vec3(0), directions[k], ups[k]) *
                               glm::vec4(blocks[k], 1.0f);
        const glm::vec2 ndc = glm::vec2(clip) / clip.w;
        const glm::ivec2 texel = glm::ivec2((ndc * 0.5f + 0.5f) * float(kCubeFaceSize));
        const std::vector<float> color = readCubeFace(shadow.colorCube, k, false);
        const std::vector<float> depth = readCubeFace(shadow.depthCube, k, true);
        // The block's near side: distance from the light, and its square, over 300.
        const glm::vec3 block = at(color, texel, false);
        EXPECT_NEAR(block.x, 5.5f / 6.0f * glm::length(blocks[k]) / 300.0f, 2e-4f) << "face " << k;
        EXPECT_NEAR(block.y, block.x * block.x, 1e-5f) << "face " << k;
        EXPECT_LT(at(depth, texel, true).x, 1.0f) << "face " << k;
        // Where it would lie on the face turned or mirrored: cleared, nothing drawn.
        const int last = kCubeFaceSize - 1;
        for (const glm::ivec2& elsewhere :
             {glm::ivec2(last - texel.x, last - texel.y), glm::ivec2(last - texel.x, texel.y),
              glm::ivec2(texel.x, last - texel.y), glm::ivec2(texel.y, texel.x)}) {
            EXPECT_EQ(at(color, elsewhere, false), glm::vec3(1.0f, 1.0f, 0.0f)) << "face " << k;
            EXPECT_EQ(at(depth, elsewhere, true).x, 1.0f) << "face " << k;
        }
    }

    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
}

TEST_F(PassTest, AFrameRunsItsStepsInOrder) {
    // The light at the origin; the reflector at z = 10 looks back at it along -Z.
    scene.sceneObjects.push_back(makeLight(glm::vec3(0), 0.5f));
    scene.sceneObjects.push_back(makeCube("testcube", glm::vec3(0, 0, 10), 0.5f, glm::vec3(1)));
    scene.sceneObjects.push_back(makeCube("Block", glm::vec3(5, 0, 0), 0.5f, glm::vec3(1)));
    SceneObject& block = scene.sceneObjects[2];
    block.visible = false;
    // A finished reveal track: this frame's animation step puts the block between the light and
    // the reflector, on +Z, and shows it.
    PointTrack reveal;
    reveal.startTime = 0.0;
    reveal.endTime = 1.0;
    reveal.target = &block;
    reveal.interpolate = lerpVec3;
    addPoint(reveal, glm::vec3(0, 0, 5), glm::vec3(0, 0, 5));
    timeline.revealTracks.push_back(reveal);

    // The passes' marks, and the polygon modes that each pass's draws meet.
    struct Recorder : PassObserver {
        std::vector<std::string> marks;
        std::string drawing;
        std::map<std::string, std::set<std::string>> drawModes;
        void passBegin(PassId pass) override {
            marks.push_back("+" + std::string(passName(pass)));
            if (pass != PassId::Mipmaps) drawing = passName(pass);
        }
        void passEnd(PassId pass) override { marks.push_back("-" + std::string(passName(pass))); }
    } recorder;
    passObserver = &recorder;
    loop.wireframe = true;
    {
        DrawWatch watch([&] {
            GLint mode[2] = {};
            glGetIntegerv(GL_POLYGON_MODE, mode);
            recorder.drawModes[recorder.drawing].insert(mode[0] == GL_LINE ? "lines" : "filled");
        });
        renderFrame(100.0);
    }
    passObserver = nullptr;
    EXPECT_EQ(recorder.marks, (std::vector<std::string>{"+shadow", "-shadow", "+reflection",
                                                        "-reflection", "+scene", "+mipmaps",
                                                        "-mipmaps", "-scene", "+post", "-post"}));
    // Lines for the scene image only.
    using Modes = std::set<std::string>;
    EXPECT_EQ(recorder.drawModes, (std::map<std::string, Modes>{{"shadow", Modes{"filled"}},
                                                                {"reflection", Modes{"filled"}},
                                                                {"scene", Modes{"lines"}},
                                                                {"post", Modes{"filled"}}}));
    // The animation step runs after the shadow cubes are cleared and before anything is drawn:
    // the block is in this frame's shadow cube and in its reflection, in front of the glowing
    // light cube.
    EXPECT_NEAR(
        centreTexel(readCubeFace(targets.shadowCubeTarget.colorCube, kPositiveZ, false), false).x,
        4.5f / 300.0f, 1e-4f);
    const glm::vec3 reflected =
        centreTexel(readCubeFace(targets.reflectionCubeTarget.colorCube, kNegativeZ, false), false);
    EXPECT_TRUE(reflected.x > 0.0f && reflected.x < 1.0f) << reflected.x;
}

TEST_F(PassTest, ReflectionPassComparesDepthsAndLeavesOutEveryObjectNamedLikeTheReflector) {
    scene.sceneObjects.push_back(makeLight(glm::vec3(0, 10, 0), 0.5f));
    // The reflector surrounds the cube's centre; its namesake would cover -X.
    scene.sceneObjects.push_back(makeCube("testcube", glm::vec3(0), 1.0f, glm::vec3(1)));
    scene.sceneObjects.push_back(makeCube("testcube", glm::vec3(-5, 0, 0), 0.5f, glm::vec3(1)));
    scene.sceneObjects.push_back(makeCube("Block", glm::vec3(5, 0, 0), 0.5f, glm::vec3(1)));
    beginShadowPass();
    drawShadowCasters();
    // The previous frame's scene pass in variance mode read the depth cube as plain values; the
    // reflection pass shadows by comparison, so it switches comparing back on.
    loop.shadowMode = 1;
    renderScenePass();
    renderReflectionPass();
    glActiveTexture(GL_TEXTURE0 + kShadowDepthUnit);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), targets.shadowCubeTarget.depthCube);
    EXPECT_EQ(cubeComparison(kShadowDepthUnit), (Comparison{GL_COMPARE_REF_TO_TEXTURE, GL_LESS}));

    const GLuint cube = targets.reflectionCubeTarget.colorCube;
    EXPECT_EQ(centreTexel(readCubeFace(cube, kNegativeX, false), false), glm::vec3(0.0f));
    const glm::vec3 block = centreTexel(readCubeFace(cube, kPositiveX, false), false);
    EXPECT_GT(block.x + block.y + block.z, 0.0f);
    // The light cube is drawn into the reflection, glowing.
    const glm::vec3 light = centreTexel(readCubeFace(cube, 2, false), false);
    EXPECT_GT(light.x, 1.0f);
}

TEST_F(PassTest, WireframeLeavesTheSceneImageMostlyEmpty) {
    buildFloorScene();
    renderCubesAndScene();
    EXPECT_GT(coveredShare(), 0.5);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    renderScenePass();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    EXPECT_LT(coveredShare(), 0.2);
}

TEST_F(PassTest, ScenePassDrawsPatchesAndSetsTheDepthCubeCompareModeFromTheShadowMode) {
    buildFloorScene();
    for (int mode : {1, 2, 0}) {
        loop.shadowMode = mode;
        renderScenePass();
        EXPECT_EQ(cubeComparison(kShadowDepthUnit).mode,
                  mode == 1 ? GL_NONE : GL_COMPARE_REF_TO_TEXTURE)
            << mode;
        if (mode != 1) {
            EXPECT_EQ(cubeComparison(kShadowDepthUnit).function, GL_LESS);
        }
        GLint varShadow = -1;
        glGetUniformiv(programs.sceneProgram.program, programs.sceneProgram["varShadow"],
                       &varShadow);
        EXPECT_EQ(varShadow, mode);
    }
    GLint patchVertices = 0;
    glGetIntegerv(GL_PATCH_VERTICES, &patchVertices);
    EXPECT_EQ(patchVertices, 3);
}

TEST_F(PassTest, OldViewProjIsTheIdentityOnTheFirstFrameAndEqualsViewProjForAStillCamera) {
    scene.sceneObjects.push_back(makeLight(glm::vec3(0, 0, -10), 0.5f));
    // Looking down -Z from the origin: the light is straight ahead.
    const glm::mat4 viewProjection = mainCamera.viewProjectionMatrix();
    const PostBuild& post = programs.postProgram;

    runPostProcessPass(viewProjection, glm::mat4(1.0f), 1.0f / 30.0f);
    expectNear(uniformMatrix(post.program, post["oldViewProj"]), glm::mat4(1.0f), 0.0f);

    runPostProcessPass(viewProjection, viewProjection, 1.0f / 30.0f);
    const glm::mat4 sent = uniformMatrix(post.program, post["ViewProj"]);
    expectNear(uniformMatrix(post.program, post["oldViewProj"]), sent, 0.0f);
    expectNear(uniformMatrix(post.program, post["invViewProj"]) * sent, glm::mat4(1.0f), 1e-4f);

    float light[3] = {};
    glGetUniformfv(post.program, post["light_source_pos_ScreenSpace"], light);
    EXPECT_NEAR(light[0], 0.0f, 1e-6f);
    EXPECT_NEAR(light[1], 0.0f, 1e-6f);
    for (GLuint attribute = 0; attribute < 4; ++attribute) {
        GLint enabled = GL_TRUE;
        glGetVertexAttribiv(attribute, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
        EXPECT_EQ(enabled, GL_FALSE) << attribute;
    }
}

TEST_F(PassTest, MotionBlurNeedsARealPreviousCameraAndFollowsItsMotion) {
    buildFloorScene();
    renderCubesAndScene();
    const glm::mat4 viewProjection = mainCamera.viewProjectionMatrix();
    auto windowPicture = [&](const glm::mat4& old) {
        runPostProcessPass(viewProjection, old, 1.0f / 30.0f);
        std::vector<unsigned char> pixels(static_cast<std::size_t>(kWindowWidth) * kWindowHeight *
                                          3);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    };
    const auto still = windowPicture(viewProjection);
    // The identity before the first frame is no camera: no smear at all.
    EXPECT_EQ(windowPicture(glm::mat4(1.0f)), still);

    Camera moved = mainCamera;
    moved.position.x += 1.0f;
    const auto blurred = windowPicture(moved.viewProjectionMatrix());
    std::size_t changed = 0;
    for (std::size_t i = 0; i < still.size(); ++i) changed += still[i] != blurred[i] ? 1 : 0;
    EXPECT_GT(changed, still.size() / 100);
}

TEST_F(PassTest, APostPassIntoAMinimisedWindowRaisesNoGlError) {
    buildFloorScene();
    renderCubesAndScene();
    platform().framebufferSize = [] { return FramebufferSize{0, 0}; };
    runPostProcessPass(mainCamera.viewProjectionMatrix(), glm::mat4(1.0f), 0.0f);
    GLint viewport[4] = {-1, -1, -1, -1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 0);
    EXPECT_EQ(viewport[3], 0);
}

TEST_F(PassTest, FramesOfTheWholeDemoRaiseNoGlErrorAndNeverDrawIntoABoundTexture) {
    // The real start-up and frame code over the moments that switch modes and features:
    // PCF shadows (3 s), variance shadows (5 s), the water (31 s), wireframe (53 s). At every
    // draw, no texture that the framebuffer being drawn into holds may be bound where the
    // program in use could sample it (a feedback loop, undefined in GL).
    static double clock = 0.0;
    platform().clock = [] { return clock; };
    platform().keyDown = [](int) { return false; };
    captureStdout([] { startUp(); });
    std::set<std::string> feedback;
    int draws = 0;
    {
        DrawWatch watch([&] {
            ++draws;
            for (const std::string& found : imagesBoundWhereDrawn()) feedback.insert(found);
        });
        for (double t : {0.5, 3.0, 5.0, 31.0, 53.0}) {
            clock = t;
            renderFrame(t);
        }
    }
    EXPECT_EQ(scene.sceneObjects.size(), 21u);
    EXPECT_TRUE(loop.wireframe);
    EXPECT_GT(draws, 100);  // the watch saw the passes' draws
    std::string all;
    for (const std::string& found : feedback) all += found + "\n";
    EXPECT_TRUE(feedback.empty()) << all;
}

TEST_F(PassTest, EveryObjectOfTheSceneMeetsTheBuildOfItsKindWhereverTheLightIs) {
    static double clock = 0.0;
    platform().clock = [] { return clock; };
    captureStdout([] { startUp(); });
    const ShaderProgram& lightCubeBuild = sceneProgramFor(ObjectKind::LightCube, 1, false);
    const ShaderProgram& skyBuild = sceneProgramFor(ObjectKind::SkyWall, 1, true);
    const ShaderProgram& glowInReflection = reflectionProgramFor(ObjectKind::LightCube, false);
    ASSERT_NE(&lightCubeBuild, &programs.sceneProgram);
    ASSERT_NE(&skyBuild, &programs.sceneProgram);
    for (double t : {1.0, 10.0, 20.0, 31.0, 45.0, 60.0}) {
        playTimelineFrame(t, [](double c) { clock = c; });
        // The light at each object's drawn origin in turn (the letters, the sphere's centre).
        for (const SceneObject& at : scene.sceneObjects) {
            lightCube().setPosition(glm::vec3(at.modelMatrix()[3]));
            for (const SceneObject& object : scene.sceneObjects) {
                SCOPED_TRACE(testing::Message()
                             << t << " s, light at " << at.name << ", " << object.name);
                const bool light = object.name == "LICHT";
                EXPECT_EQ(&sceneBuildFor(object) == &lightCubeBuild, light);
                EXPECT_NE(&sceneBuildFor(object), &skyBuild);
                EXPECT_EQ(&reflectionBuildFor(object) == &glowInReflection, light);
            }
        }
    }
    for (const SceneObject& wall : drawnSkyWalls()) EXPECT_EQ(&sceneBuildFor(wall), &skyBuild);
}
