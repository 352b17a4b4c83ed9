// Programs, uniform locations, render targets and constant uniforms, as start-up leaves them.
#include <GL/glew.h>

#include <array>
#include <string>
#include <vector>

#include "render/PipelineCheck.h"
#include "render/Programs.h"
#include "render/Targets.h"
#include "support/GlFixture.h"
#include "support/PipelineSupport.h"

namespace {

GLint textureLevelParameter(GLenum target, GLenum name) {
    GLint value = 0;
    glGetTexLevelParameteriv(target, 0, name, &value);
    return value;
}

GLint textureParameter(GLenum target, GLenum name) {
    GLint value = 0;
    glGetTexParameteriv(target, name, &value);
    return value;
}

int samplerUnit(GLuint program, const char* name) {
    const GLint location = glGetUniformLocation(program, name);
    if (location < 0) return -1;
    GLint unit = -1;
    glGetUniformiv(program, location, &unit);
    return unit;
}

void expectCube(GLuint cube, GLint internalFormat, GLint wrap, GLint minFilter) {
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube);
    for (GLenum face = 0; face < 6; ++face) {
        const GLenum target = GL_TEXTURE_CUBE_MAP_POSITIVE_X + face;
        EXPECT_EQ(textureLevelParameter(target, GL_TEXTURE_WIDTH), kCubeFaceSize);
        EXPECT_EQ(textureLevelParameter(target, GL_TEXTURE_HEIGHT), kCubeFaceSize);
        EXPECT_EQ(textureLevelParameter(target, GL_TEXTURE_INTERNAL_FORMAT), internalFormat);
    }
    EXPECT_EQ(textureParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S), wrap);
    EXPECT_EQ(textureParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R), wrap);
    EXPECT_EQ(textureParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(textureParameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER), minFilter);
}

void expectSceneTexture(GLuint texture, GLint internalFormat, GLint minFilter) {
    glBindTexture(GL_TEXTURE_2D, texture);
    EXPECT_EQ(textureLevelParameter(GL_TEXTURE_2D, GL_TEXTURE_WIDTH), kSceneTargetSize);
    EXPECT_EQ(textureLevelParameter(GL_TEXTURE_2D, GL_TEXTURE_HEIGHT), kSceneTargetSize);
    EXPECT_EQ(textureLevelParameter(GL_TEXTURE_2D, GL_TEXTURE_INTERNAL_FORMAT), internalFormat);
    EXPECT_EQ(textureParameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(textureParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), minFilter);
}

}  // namespace

TEST_F(GlTest, StartUpPrintsNoErrorForEachTargetAndCompilesEveryStageCleanly) {
    const std::string& output = ensurePipeline();
    // Each stage's compile line with no log after it, each link with an empty log line; the
    // three error numbers of the targets; no incomplete framebuffer.
    EXPECT_EQ(output.find("rror"), std::string::npos) << output;
    EXPECT_EQ(output.find("arning"), std::string::npos) << output;
    EXPECT_EQ(output.find("Framebuffer not complete"), std::string::npos) << output;
    const std::size_t targetsAt = output.rfind("Linking program\n\n");
    ASSERT_NE(targetsAt, std::string::npos) << output;
    EXPECT_EQ(output.substr(targetsAt + 17), "0\n0\n0\n");

    const ShaderProgram* four[] = {&programs.shadowProgram, &programs.reflectionProgram,
                                   &programs.sceneProgram, &programs.postProgram};
    for (const ShaderProgram* p : four) {
        GLint linked = GL_FALSE;
        glGetProgramiv(p->program, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE);
    }
    EXPECT_NE(programs.shadowProgram.program, programs.reflectionProgram.program);
}

TEST_F(GlTest, TargetsHaveTheSizesFormatsWrapsAndFiltersOfTheTextureTable) {
    ensurePipeline();
    for (const CubeMapTarget* cube : {&targets.shadowCubeTarget, &targets.reflectionCubeTarget}) {
        expectCube(cube->depthCube, GL_DEPTH_COMPONENT24, GL_REPEAT, GL_NEAREST_MIPMAP_NEAREST);
        // Soft shadows read the moments cube through its mipmaps.
        const bool moments = cube == &targets.shadowCubeTarget;
        expectCube(cube->colorCube, GL_RGB32F, GL_CLAMP_TO_EDGE,
                   moments ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    }
    expectSceneTexture(targets.sceneTarget.depthTexture, GL_DEPTH_COMPONENT24, GL_LINEAR);
    // The motion blur reads the colour image's mipmaps.
    expectSceneTexture(targets.sceneTarget.colorTexture, GL_RGB32F, GL_LINEAR_MIPMAP_NEAREST);

    glBindFramebuffer(GL_FRAMEBUFFER, targets.sceneTarget.framebuffer);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    GLint size = 0;
    glBindBuffer(GL_ARRAY_BUFFER, targets.quadBuffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    float corners[8] = {};
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof corners, corners);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(size, 32);
    const float expected[8] = {-1, -1, 1, -1, -1, 1, 1, 1};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(corners[i], expected[i]) << i;
}

TEST_F(GlTest, CubeTargetsAreCompleteOnceTheirCubesAreAttached) {
    ensurePipeline();
    for (CubeMapTarget* cube : {&targets.shadowCubeTarget, &targets.reflectionCubeTarget}) {
        CubeMapTarget copy = *cube;
        copy.checked = false;
        glBindFramebuffer(GL_FRAMEBUFFER, copy.framebuffer);
        const std::string output = captureStdout([&] { attachCubeMapTarget(copy); });
        EXPECT_EQ(output, "");
        EXPECT_TRUE(copy.checked);
        EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
        GLint layered = GL_FALSE;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                              GL_FRAMEBUFFER_ATTACHMENT_LAYERED, &layered);
        EXPECT_EQ(layered, GL_TRUE);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

TEST_F(GlTest, AnIncompleteFramebufferIsReportedWithItsStatus) {
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    bool complete = true;
    const std::string output = captureStdout([&] { complete = checkFramebuffer(); });
    EXPECT_FALSE(complete);
    EXPECT_EQ(output, "Framebuffer not complete: " +
                          std::to_string(GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT) + "\n");
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
}

TEST_F(GlTest, SamplersAreBoundToTheirUnitsByTheStageFiles) {
    ensurePipeline();
    EXPECT_EQ(samplerUnit(programs.sceneProgram.program, "shadowDepthCube"), kShadowDepthUnit);
    EXPECT_EQ(samplerUnit(programs.sceneProgram.program, "objectTexture"), kObjectTextureUnit);
    EXPECT_EQ(samplerUnit(programs.sceneProgram.program, "shadowMoments"), kShadowColorUnit);
    EXPECT_EQ(samplerUnit(programs.sceneProgram.program, "reflectionCube"), kReflectionColorUnit);
    EXPECT_EQ(samplerUnit(programs.reflectionProgram.program, "shadowDepthCube"), kShadowDepthUnit);
    EXPECT_EQ(samplerUnit(programs.reflectionProgram.program, "objectTexture"), kObjectTextureUnit);
    EXPECT_EQ(samplerUnit(programs.postProgram.program, "sceneDepth"), kSceneDepthUnit);
    EXPECT_EQ(samplerUnit(programs.postProgram.program, "sceneColor"), kSceneColorUnit);
}

TEST_F(GlTest, TheConstantUniformsAreSetInTheProgramsAndInEveryVariantThatKeepsThem) {
    ensurePipeline();
    using Pair = std::array<float, 2>;
    auto floats = [](const ShaderProgram& build, GLint location) {
        Pair value{};
        glGetUniformfv(build.program, location, value.data());
        return value;
    };
    auto integer = [](const ShaderProgram& build, GLint location) {
        GLint value = 0;
        glGetUniformiv(build.program, location, &value);
        return value;
    };
    const ShadowBuild& shadow = programs.shadowProgram;
    EXPECT_EQ(floats(shadow, shadow["near_far_plane"]), (Pair{0.1f, 300.0f}));
    // The reflection stage has no use for near_far_plane: its location is -1, set harmlessly.
    EXPECT_EQ(programs.reflectionProgram["near_far_plane"], -1);

    // The general scene program keeps them all; a variant may have compiled one out (-1).
    std::size_t kept = 0;
    auto expectSceneConstants = [&](const SceneBuild& build, bool general) {
        SCOPED_TRACE(general ? "sceneProgram" : "a variant");
        auto has = [&](GLint location) {
            if (general) {
                EXPECT_NE(location, -1);
            }
            kept += location != -1 ? 1 : 0;
            return location != -1;
        };
        if (has(build["near_far_plane"])) {
            EXPECT_EQ(floats(build, build["near_far_plane"]), (Pair{0.1f, 300.0f}));
        }
        if (has(build["tex_size"])) {
            EXPECT_EQ(integer(build, build["tex_size"]), 512);
        }
        if (has(build["kernelsize"])) {
            EXPECT_EQ(integer(build, build["kernelsize"]), 4);
        }
        if (has(build["mipmap_level"])) {
            EXPECT_FLOAT_EQ(floats(build, build["mipmap_level"])[0], 0.5f);
        }
    };
    expectSceneConstants(programs.sceneProgram, true);
    for (const auto& variant : programs.sceneVariants) expectSceneConstants(variant.program, false);
    EXPECT_GT(kept, 4u + programs.sceneVariants.size());  // the variants keep some
}

TEST_F(GlTest, PipelineProblemsNameEachProgramThatDidNotLinkAndEachIncompleteTarget) {
    ensurePipeline();
    EXPECT_EQ(pipelineProblems(), std::vector<std::string>{});

    // A program as the loader leaves it when a stage file is empty, no program at all, a cube
    // target without its cubes, and a framebuffer with nothing attached.
    const GLuint unlinked = glCreateProgram();
    GLuint bare = 0;
    glGenFramebuffers(1, &bare);
    const Programs builtPrograms = programs;
    const Targets builtTargets = targets;
    programs.sceneProgram.program = unlinked;
    programs.postProgram.program = 0;
    targets.reflectionCubeTarget.depthCube = 0;
    targets.reflectionCubeTarget.colorCube = 0;
    targets.sceneTarget.framebuffer = bare;
    std::vector<std::string> problems;
    captureStdout([&] { problems = pipelineProblems(); });
    programs = builtPrograms;
    targets = builtTargets;
    pipelineProblems();  // attaches the reflection cubes again
    glDeleteFramebuffers(1, &bare);
    glDeleteProgram(unlinked);

    EXPECT_EQ(problems, (std::vector<std::string>{
                            "the scene program did not link",
                            "the post-process program did not link",
                            "the reflection cube target's framebuffer is not complete (status " +
                                std::to_string(GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT) + ")",
                            "the scene target's framebuffer is not complete (status " +
                                std::to_string(GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT) + ")",
                        }));
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);
}
