#include "render/Programs.h"

#include <string>

#include "assets/Paths.h"
#include "assets/ShaderLoader.h"
#include "render/Targets.h"

Programs programs;

namespace {

std::string stagePath(const char* file) { return joinPath(srcDir, file); }

GLuint buildProgram(const char* vertex, const char* tessControl, const char* tessEvaluation,
                    const char* geometry, const char* fragment) {
    auto path = [](const char* file) { return file ? stagePath(file) : std::string(); };
    const std::string paths[] = {path(vertex), path(tessControl), path(tessEvaluation),
                                 path(geometry), path(fragment)};
    auto arg = [](const std::string& p) { return p.empty() ? nullptr : p.c_str(); };
    return loadShaderProgram(arg(paths[0]), arg(paths[1]), arg(paths[2]), arg(paths[3]),
                             arg(paths[4]));
}

struct UniformRow {
    const char* name;
    GLint ShaderProgram::*location;
};

void lookUp(ShaderProgram& target, std::initializer_list<UniformRow> rows) {
    for (const UniformRow& row : rows) {
        target.*(row.location) = glGetUniformLocation(target.program, row.name);
    }
}

}  // namespace

void createPrograms() {
    programs.shadowProgram.program =
        buildProgram("1stPass.vertexshader", nullptr, nullptr, "1stPass.geometryshader",
                     "1stPass_1.fragmentshader");
    programs.reflectionProgram.program =
        buildProgram("1stPass.vertexshader", nullptr, nullptr, "1stPass.geometryshader",
                     "1stPass_2.fragmentshader");
    programs.sceneProgram.program =
        buildProgram("2ndPass.vertexshader", "2ndPass.tesControlShader",
                     "2ndPass.tesEvaluationShader", nullptr, "2ndPass.fragmentshader");
    programs.postProgram.program =
        buildProgram("3rdPass.vertexshader", nullptr, nullptr, nullptr, "3rdPass.fragmentshader");
}

void lookUpUniforms() {
    using P = ShaderProgram;
    lookUp(programs.shadowProgram, {{"light_source_position", &P::lightSourcePosition},
                                    {"near_far_plane", &P::nearFarPlane},
                                    {"cm_mat", &P::cubeFaceMatrices},
                                    {"ModelMatrix", &P::modelMatrix},
                                    {"camera_pos_world", &P::cameraPosWorld},
                                    {"trans_to_ref", &P::transToRef}});
    lookUp(programs.reflectionProgram, {{"light_source_position", &P::lightSourcePosition},
                                        {"near_far_plane", &P::nearFarPlane},
                                        {"cm_mat", &P::cubeFaceMatrices},
                                        {"ModelMatrix", &P::modelMatrix},
                                        {"ViewMatrix", &P::viewMatrix},
                                        {"useTexture", &P::useTexture},
                                        {"elapsedTime", &P::elapsedTime}});
    lookUp(programs.sceneProgram, {{"reflection", &P::reflection},
                                   {"tex_size", &P::texSize},
                                   {"light_source_position", &P::lightSourcePosition},
                                   {"near_far_plane", &P::nearFarPlane},
                                   {"MVP", &P::mvp},
                                   {"ModelMatrix", &P::modelMatrix},
                                   {"ViewMatrix", &P::viewMatrix},
                                   {"proj_mat", &P::projMat},
                                   {"camera_pos_world", &P::cameraPosWorld},
                                   {"elapsedTime", &P::elapsedTime},
                                   {"useTexture", &P::useTexture},
                                   {"tessellation", &P::tessellation},
                                   {"tessellationControlParameters_outer", &P::tessOuter},
                                   {"tessellationControlParameters_inner", &P::tessInner},
                                   {"kernelsize", &P::kernelSize},
                                   {"mipmap_level", &P::mipmapLevel},
                                   {"varShadow", &P::varShadow}});
    lookUp(programs.postProgram, {{"ViewProj", &P::viewProj},
                                  {"invViewProj", &P::invViewProj},
                                  {"oldViewProj", &P::oldViewProj},
                                  {"numSamples", &P::numSamples},
                                  {"light_source_pos_ScreenSpace", &P::lightSourcePosScreenSpace},
                                  {"flare_radius", &P::flareRadius},
                                  {"dTime", &P::dTime}});
}

void setConstantUniforms() {
    const GLfloat nearFar[2] = {kUniformNearPlane, kUniformFarPlane};
    glUseProgram(programs.shadowProgram.program);
    glUniform2fv(programs.shadowProgram.nearFarPlane, 1, nearFar);
    glUseProgram(programs.reflectionProgram.program);
    glUniform2fv(programs.reflectionProgram.nearFarPlane, 1, nearFar);
    const ShaderProgram& scene = programs.sceneProgram;
    glUseProgram(scene.program);
    glUniform2fv(scene.nearFarPlane, 1, nearFar);
    glUniform1i(scene.texSize, kCubeFaceSize);
    glUniform1i(scene.kernelSize, kShadowKernelSize);
    glUniform1f(scene.mipmapLevel, kShadowMipmapLevel);
}
