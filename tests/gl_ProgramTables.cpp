// The program tables against the linked programs: every uniform that a build keeps has its row,
// of the type GL reports; the look-ups follow the tables; and what a pass sets once a frame
// reaches every build.
#include <GL/glew.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/Loop.h"
#include "assets/Paths.h"
#include "assets/ShaderLoader.h"
#include "camera/Camera.h"
#include "scene/Scene.h"
#include "support/PipelineFixture.h"
#include "support/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;

// What differs between a linked build and its program's table, one line each: a uniform that
// the build keeps without a row, or with another type, length or unit than its row. (A build
// may keep fewer elements of an array than declared, or leave a uniform out.)
Lines activeUniformProblems(const ProgramTable& table, GLuint program, bool general) {
    Lines problems;
    const std::string where = std::string(table.name) + (general ? "" : " (a variant)");
    GLint count = 0;
    glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
    for (GLint i = 0; i < count; ++i) {
        char buffer[256] = {};
        GLint size = 0;
        GLenum type = GL_NONE;
        glGetActiveUniform(program, static_cast<GLuint>(i), sizeof buffer, nullptr, &size, &type,
                           buffer);
        std::string name = buffer;
        if (name.rfind("gl_", 0) == 0) continue;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, "[0]") == 0) {
            name.resize(name.size() - 3);
        }
        const UniformRow* row = nullptr;
        for (const UniformRow& r : table.uniforms) row = name == r.name ? &r : row;
        const SamplerRow* sampler = nullptr;
        for (const SamplerRow& s : table.samplers) sampler = name == s.name ? &s : sampler;
        if (row != nullptr) {
            if (!row->declared) problems.push_back(where + ": keeps \"" + name + "\"");
            if (row->type.glType != type || size < 1 || size > row->count) {
                problems.push_back(where + ": \"" + name + "\" is GL type " + std::to_string(type) +
                                   " x " + std::to_string(size) + ", its row " +
                                   row->type.spelling + " x " + std::to_string(row->count));
            }
        } else if (sampler != nullptr) {
            GLint unit = -1;
            glGetUniformiv(program, glGetUniformLocation(program, buffer), &unit);
            if (sampler->type.glType != type || sampler->unit != unit) {
                problems.push_back(where + ": sampler \"" + name + "\" is GL type " +
                                   std::to_string(type) + " on unit " + std::to_string(unit) +
                                   ", its row " + sampler->type.spelling + " on unit " +
                                   std::to_string(sampler->unit));
            }
        } else {
            problems.push_back(where + ": \"" + name + "\" has no row");
        }
    }
    return problems;
}

// The glGetUniformLocation calls made while alive, in order: GLEW's entry point is swapped
// for one that records them.
class LookUpRecorder {
public:
    LookUpRecorder() : real_(__glewGetUniformLocation) {
        calls().clear();
        real() = real_;
        __glewGetUniformLocation = &record;
    }
    ~LookUpRecorder() { __glewGetUniformLocation = real_; }
    LookUpRecorder(const LookUpRecorder&) = delete;
    LookUpRecorder& operator=(const LookUpRecorder&) = delete;
    static std::vector<std::pair<GLuint, std::string>>& calls() {
        static std::vector<std::pair<GLuint, std::string>> made;
        return made;
    }

private:
    static PFNGLGETUNIFORMLOCATIONPROC& real() {
        static PFNGLGETUNIFORMLOCATIONPROC function = nullptr;
        return function;
    }
    static GLint GLAPIENTRY record(GLuint program, const GLchar* name) {
        calls().emplace_back(program, name);
        return real()(program, name);
    }
    PFNGLGETUNIFORMLOCATIONPROC real_;
};

// A uniform's value in a build as floats: every element of an array, 16 floats each (zeros
// for elements that the build does not keep).
std::vector<float> uniformValue(GLuint program, const UniformRow& row) {
    std::vector<float> value;
    for (int element = 0; element < row.count; ++element) {
        const std::string name =
            row.count == 1 ? row.name : std::string(row.name) + "[" + std::to_string(element) + "]";
        float floats[16] = {};
        const GLint location = glGetUniformLocation(program, name.c_str());
        if (location != -1) glGetUniformfv(program, location, floats);
        value.insert(value.end(), std::begin(floats), std::end(floats));
    }
    return value;
}

}  // namespace

TEST_F(GlTest, EveryUniformThatABuildKeepsHasARowOfItsType) {
    ensurePipeline();
    Lines problems;
    std::size_t builds = 0;
    forEachProgram(programs, [&](const auto& general, const auto& variants) {
        const ProgramTable& table = programTable(general.id);
        for (const std::string& p : activeUniformProblems(table, general.program, true)) {
            problems.push_back(p);
        }
        for (const auto& variant : variants) {
            for (const std::string& p :
                 activeUniformProblems(table, variant.program.program, false)) {
                problems.push_back(p);
            }
        }
        builds += 1 + variants.size();
    });
    EXPECT_EQ(problems, Lines{});
    EXPECT_EQ(builds, 25u);
}

TEST_F(GlTest, AUniformRenamedInTheGlslAloneShowsInTheLinkedProgram) {
    TempDir dir;
    std::filesystem::copy(srcDir, dir.path() / "src");
    const std::filesystem::path stage = dir.path() / "src" / "3rdPass.fragmentshader";
    std::stringstream text;
    text << std::ifstream(stage).rdbuf();
    std::ofstream(stage, std::ios::trunc)
        << std::regex_replace(text.str(), std::regex("\\bdTime\\b"), "frameTime");
    GLuint program = 0;
    {
        ScopedWorkingDir inRunDir(dir.path());
        const std::string vertex = joinPath(srcDir, "3rdPass.vertexshader");
        const std::string fragment = joinPath(srcDir, "3rdPass.fragmentshader");
        captureStdout([&] {
            program =
                loadShaderProgram(vertex.c_str(), nullptr, nullptr, nullptr, fragment.c_str());
        });
    }
    EXPECT_EQ(activeUniformProblems(kPostProgram, program, true),
              Lines{"postProgram: \"frameTime\" has no row"});
    // The table's name finds nothing any more.
    EXPECT_EQ(glGetUniformLocation(program, "dTime"), -1);
    glDeleteProgram(program);
}

TEST_F(GlTest, UniformsAreLookedUpProgramByProgramInTheOrderOfTheirTables) {
    ensurePipeline();
    const Lines shadow = {"light_source_position", "near_far_plane",   "cm_mat",
                          "ModelMatrix",           "camera_pos_world", "trans_to_ref"};
    const Lines reflection = {"light_source_position",
                              "near_far_plane",
                              "cm_mat",
                              "ModelMatrix",
                              "ViewMatrix",
                              "useTexture",
                              "elapsedTime"};
    const Lines scene = {"reflection",
                         "tex_size",
                         "light_source_position",
                         "near_far_plane",
                         "MVP",
                         "ModelMatrix",
                         "ViewMatrix",
                         "proj_mat",
                         "camera_pos_world",
                         "elapsedTime",
                         "useTexture",
                         "tessellation",
                         "tessellationControlParameters_outer",
                         "tessellationControlParameters_inner",
                         "kernelsize",
                         "mipmap_level",
                         "varShadow"};
    const Lines post = {
        "ViewProj",     "invViewProj", "oldViewProj", "numSamples", "light_source_pos_ScreenSpace",
        "flare_radius", "dTime"};
    std::vector<std::pair<GLuint, std::string>> expected;
    auto expect = [&](GLuint program, const Lines& names) {
        for (const std::string& name : names) expected.emplace_back(program, name);
    };
    expect(programs.shadowProgram.program, shadow);
    expect(programs.reflectionProgram.program, reflection);
    expect(programs.sceneProgram.program, scene);
    expect(programs.postProgram.program, post);
    for (const auto& variant : programs.reflectionVariants)
        expect(variant.program.program, reflection);
    for (const auto& variant : programs.sceneVariants) expect(variant.program.program, scene);
    for (const auto& variant : programs.postVariants) expect(variant.program.program, post);

    {
        LookUpRecorder recorder;
        lookUpUniforms();
        EXPECT_EQ(LookUpRecorder::calls(), expected);
    }
    // Each location is the one its name has.
    EXPECT_EQ(programs.sceneProgram["varShadow"],
              glGetUniformLocation(programs.sceneProgram.program, "varShadow"));
    EXPECT_EQ(programs.postProgram["dTime"],
              glGetUniformLocation(programs.postProgram.program, "dTime"));
}

TEST_F(PipelineTest, WhatAPassSetsOnceAFrameReachesEveryBuildThatHasIt) {
    scene.sceneObjects.push_back(makeLight(glm::vec3(0, 8, 2), 0.5f));
    scene.sceneObjects.push_back(
        makeCube("testcube", glm::vec3(0, 1, 0), 0.5f, glm::vec3(1, 0, 0)));
    scene.sceneObjects.push_back(makeFloor("Plane", 5.0f, glm::vec3(0.5f)));
    mainCamera.position = glm::vec3(1, 4, 6);
    mainCamera.setAngles(30.0f, 10.0f);
    loop.shadowMode = 2;
    renderFrame(100.0);
    mainCamera.position.x += 1.0f;  // a moving camera: the blur's builds draw
    loop.shadowMode = 0;
    renderFrame(100.5);

    std::size_t compared = 0;
    forEachProgram(programs, [&](const auto& general, const auto& variants) {
        const ProgramTable& table = programTable(general.id);
        for (std::size_t row = 0; row < table.uniforms.size(); ++row) {
            const UniformRow& uniform = table.uniforms[row];
            if (uniform.when != SetWhen::PerFrame || general.locations[row] == -1) continue;
            const std::vector<float> sent = uniformValue(general.program, uniform);
            for (const auto& variant : variants) {
                if (variant.program.locations[row] == -1) continue;
                EXPECT_EQ(uniformValue(variant.program.program, uniform), sent)
                    << table.name << " variant " << variant.defines << "\"" << uniform.name << "\"";
                ++compared;
            }
        }
    });
    EXPECT_GT(compared, 40u);
}
