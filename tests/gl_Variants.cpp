// The specialised builds of the scene, reflection and post programs: each is a program of its
// own, and each draws what the general program draws for the surfaces it serves.
#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/Loop.h"
#include "assets/Paths.h"
#include "assets/ShaderLoader.h"
#include "camera/Camera.h"
#include "render/PostProcessPass.h"
#include "render/ReflectionPass.h"
#include "render/ScenePass.h"
#include "render/ShadowPass.h"
#include "scene/Scene.h"
#include "support/PipelineFixture.h"
#include "support/TestSupport.h"

namespace {

using VariantTest = PipelineTest;

// A small picture for the surfaces that have one.
GLuint makePicture() {
    const unsigned char texels[2 * 2 * 3] = {200, 40, 40, 40, 200, 40, 40, 40, 200, 220, 220, 40};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glGenerateMipmap(GL_TEXTURE_2D);
    return texture;
}

// One surface of every kind, all in view of the camera and of the reflector: the light's cube,
// the reflecting cube (element 1), a matte cube with a picture and one without (which no
// variant serves), a tessellated floor (the water's kind) and a sky wall behind them.
void buildEveryKind() {
    const GLuint picture = makePicture();
    scene.sceneObjects.push_back(makeLight(glm::vec3(-2, 5, 1), 0.3f));
    SceneObject mirror = makeCube("testcube", glm::vec3(1.5f, 1, 0), 0.8f, glm::vec3(1, 0, 0));
    mirror.reflection = true;
    mirror.kind = ObjectKind::Reflector;
    scene.sceneObjects.push_back(mirror);
    SceneObject block = makeCube("Block", glm::vec3(-1.5f, 1, 0), 0.8f, glm::vec3(1));
    block.texture = picture;
    scene.sceneObjects.push_back(block);
    scene.sceneObjects.push_back(
        makeCube("Plain", glm::vec3(0, 0.5f, 2.5f), 0.4f, glm::vec3(0.2f, 0.5f, 0.9f)));
    SceneObject water = makeFloor("Water", 6.0f, glm::vec3(0.1f, 0.3f, 0.4f));
    water.tessellation = true;
    water.kind = ObjectKind::Water;
    water.texture = picture;
    scene.sceneObjects.push_back(water);

    SceneObject wall = makeFloor("sky4", 1.0f, glm::vec3(0.5f));
    wall.setRotation(90, 0, 0);  // upright, facing +z
    wall.setPosition(glm::vec3(0, 0, -5));
    wall.setScale(20.1f, 20.1f, 1);
    wall.texture = picture;
    wall.kind = ObjectKind::SkyWall;
    scene.skyPlanes.push_back(wall);

    mainCamera.position = glm::vec3(0, 3, 8);
    mainCamera.setAngles(15.0f, 0.0f);
}

std::vector<float> sceneImage() {
    std::vector<float> pixels(static_cast<std::size_t>(kSceneTargetSize) * kSceneTargetSize * 3);
    glBindTexture(GL_TEXTURE_2D, targets.sceneTarget.colorTexture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_FLOAT, pixels.data());
    return pixels;
}

std::vector<float> reflectionCube() {
    std::vector<float> all;
    for (int face = 0; face < 6; ++face) {
        const std::vector<float> texels =
            readCubeFace(targets.reflectionCubeTarget.colorCube, face, false);
        all.insert(all.end(), texels.begin(), texels.end());
    }
    return all;
}

std::vector<unsigned char> windowImage() {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(kWindowWidth) * kWindowHeight * 3);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// The largest difference between two pictures, and how many values differ at all.
template <typename T>
void expectSamePicture(const std::vector<T>& a, const std::vector<T>& b, double tolerance,
                       const char* what) {
    ASSERT_EQ(a.size(), b.size());
    double largest = 0.0;
    std::size_t lit = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        largest = std::max(largest, std::abs(static_cast<double>(a[i]) - b[i]));
        if (a[i] != T{}) ++lit;
    }
    EXPECT_LE(largest, tolerance) << what;
    EXPECT_GT(lit, a.size() / 4) << what << ": the picture is mostly empty";
}

// Draws with the general programs only, as if no variant had built.
class GeneralProgramsOnly {
public:
    GeneralProgramsOnly() : saved_(programs) {
        forEachProgram(programs, [](const auto& general, auto& variants) {
            for (auto& variant : variants) variant.program = general;
        });
    }
    ~GeneralProgramsOnly() { programs = saved_; }
    GeneralProgramsOnly(const GeneralProgramsOnly&) = delete;
    GeneralProgramsOnly& operator=(const GeneralProgramsOnly&) = delete;

private:
    Programs saved_;
};

}  // namespace

TEST_F(VariantTest, EveryVariantIsALinkedProgramOfItsOwn) {
    const std::size_t counts[] = {0, 3, 14, 4};  // shadow, reflection, scene, post
    const std::size_t* count = counts;
    std::vector<GLuint> seen;
    forEachProgram(programs, [&](const auto& general, const auto& variants) {
        ASSERT_EQ(variants.size(), *count++);
        for (const auto& variant : variants) {
            const GLuint program = variant.program.program;
            GLint linked = GL_FALSE;
            glGetProgramiv(program, GL_LINK_STATUS, &linked);
            EXPECT_EQ(linked, GL_TRUE) << variant.defines;
            EXPECT_NE(program, general.program) << variant.defines;
            EXPECT_EQ(std::count(seen.begin(), seen.end(), program), 0) << variant.defines;
            seen.push_back(program);
        }
    });
    EXPECT_EQ(count, std::end(counts));
}

TEST_F(VariantTest, SceneAndReflectionVariantsDrawWhatTheGeneralProgramsDrawInEveryShadowMode) {
    buildEveryKind();
    // Every kind of surface meets the build made for it; the untextured matte cube meets none.
    for (int mode : {0, 1, 2}) {
        for (const SceneObject& object : scene.sceneObjects) {
            const bool ownBuild = object.name != std::string("Plain");
            EXPECT_EQ(
                &sceneProgramFor(object.kind, mode, object.texture != 0) != &programs.sceneProgram,
                ownBuild)
                << object.name;
        }
    }
    for (int mode : {0, 1, 2}) {
        SCOPED_TRACE(mode);
        loop.shadowMode = mode;
        renderCubesAndScene();
        const std::vector<float> specialised = sceneImage();
        const std::vector<float> specialisedCube = reflectionCube();
        {
            GeneralProgramsOnly general;
            renderCubesAndScene();
        }
        expectSamePicture(specialised, sceneImage(), 1e-3, "scene image");
        expectSamePicture(specialisedCube, reflectionCube(), 1e-3, "reflection cube");
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

TEST_F(VariantTest, PostVariantsDrawWhatTheGeneralProgramDrawsWithAndWithoutBlurAndFlare) {
    buildEveryKind();
    renderCubesAndScene();
    const glm::mat4 still = mainCamera.viewProjectionMatrix();
    Camera turned = mainCamera;
    turned.setAngles(mainCamera.pitch, mainCamera.yaw + 3.0f);
    const glm::mat4 moving = turned.viewProjectionMatrix();
    for (bool flareInView : {true, false}) {
        // The light straight ahead of the camera, or behind it.
        lightCube().setPosition(flareInView ? glm::vec3(0, 2, 0) : glm::vec3(0, 3, 20));
        EXPECT_EQ(flareOnScreen(still, lightCube().position), flareInView);
        for (const glm::mat4* previous : {&still, &moving}) {
            SCOPED_TRACE(testing::Message()
                         << "flare " << flareInView << ", moving " << (previous == &moving));
            EXPECT_EQ(cameraMoved(still, *previous, 1.0f / 30.0f), previous == &moving);
            runPostProcessPass(still, *previous, 1.0f / 30.0f);
            const std::vector<unsigned char> specialised = windowImage();
            {
                GeneralProgramsOnly general;
                runPostProcessPass(still, *previous, 1.0f / 30.0f);
            }
            expectSamePicture(specialised, windowImage(), 1.0, "window");
        }
    }
}

TEST_F(VariantTest, AVariantThatDoesNotBuildIsReportedOnceAndItsDrawsUseTheGeneralProgram) {
    // The post stage made to refuse the builds for a moving camera, on the file's fourth line.
    TempDir dir;
    std::filesystem::copy(srcDir, dir.path() / "src");
    const std::filesystem::path post = dir.path() / "src" / "3rdPass.fragmentshader";
    std::stringstream text;
    text << std::ifstream(post).rdbuf();
    std::string source = text.str();
    source.insert(source.find('\n') + 1,
                  "#ifdef MOTION_BLUR\n#if MOTION_BLUR == 1\n#error no blur in this build\n"
                  "#endif\n#endif\n");
    std::ofstream(post) << source;

    const Programs saved = programs;
    std::string output;
    {
        ScopedWorkingDir inRunDir(dir.path());
        output = captureStdout([] { createPrograms(); });
    }
    const Programs built = programs;
    programs = saved;

    // The four programs print what they always print; each broken build is reported once, with
    // its defines and the compiler's complaint, on the line the file has it (one further down,
    // as the loader numbers the general programs' lines).
    auto count = [&output](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = output.find(what); at != std::string::npos;
             at = output.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count("Linking program\n"), 4u);
    EXPECT_EQ(count("did not build"), 2u) << output;
    EXPECT_EQ(count("The postProgram variant with MOTION_BLUR 1, FLARE 0 did not build"), 1u);
    EXPECT_EQ(count("The postProgram variant with MOTION_BLUR 1, FLARE 1 did not build"), 1u);
    EXPECT_EQ(count("0:5("), 2u) << output;
    // Their draws fall back to the general program; the others keep builds of their own.
    for (bool flare : {false, true}) {
        EXPECT_EQ(programFor(built.postProgram, built.postVariants, postDraw(true, flare)).program,
                  built.postProgram.program);
        EXPECT_NE(programFor(built.postProgram, built.postVariants, postDraw(false, flare)).program,
                  built.postProgram.program);
    }
}

TEST_F(VariantTest, TheBuildListHoldsEveryProgramsStageTextsAsTheyWereCompiled) {
    // What pelk-stages writes out for the outside compiler must be what GL was given: the
    // builds in the order createPrograms() makes them, each stage's text as its shader's source.
    std::vector<GLuint> made = {programs.shadowProgram.program, programs.reflectionProgram.program,
                                programs.sceneProgram.program, programs.postProgram.program};
    forEachProgram(programs, [&](const auto&, const auto& variants) {
        for (const auto& variant : variants) made.push_back(variant.program.program);
    });
    const std::vector<ProgramBuild> builds = programBuilds();
    ASSERT_EQ(builds.size(), made.size());
    constexpr GLenum kTypes[] = {GL_VERTEX_SHADER, GL_TESS_CONTROL_SHADER,
                                 GL_TESS_EVALUATION_SHADER, GL_GEOMETRY_SHADER, GL_FRAGMENT_SHADER};
    for (std::size_t b = 0; b < builds.size(); ++b) {
        const ProgramBuild& build = builds[b];
        GLuint shaders[5] = {};
        GLsizei count = 0;
        glGetAttachedShaders(made[b], 5, &count, shaders);
        for (std::size_t s = 0; s < build.paths.size(); ++s) {
            SCOPED_TRACE(build.name + ", " + kStageNames[s] + " stage");
            std::string compiled;
            bool attached = false;
            for (GLsizei i = 0; i < count; ++i) {
                GLint type = 0;
                glGetShaderiv(shaders[i], GL_SHADER_TYPE, &type);
                if (static_cast<GLenum>(type) != kTypes[s]) continue;
                attached = true;
                GLint length = 0;
                glGetShaderiv(shaders[i], GL_SHADER_SOURCE_LENGTH, &length);
                std::vector<char> source(static_cast<std::size_t>(std::max(length, 1)), '\0');
                glGetShaderSource(shaders[i], length, nullptr, source.data());
                compiled = source.data();
            }
            ASSERT_EQ(attached, !build.paths[s].empty());
            if (!attached) continue;
            EXPECT_EQ(compiled,
                      compiledStageText(readShaderSource(build.paths[s].c_str()), build.defines));
        }
        EXPECT_EQ(build.defines.empty(), b < 4) << build.name;  // the four, then variants
    }
}
