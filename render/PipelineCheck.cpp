#include "render/PipelineCheck.h"

#include <GL/glew.h>

#include "render/Programs.h"
#include "render/Targets.h"

namespace {

bool linked(const ShaderProgram& program) {
    if (program.program == 0) return false;
    GLint status = GL_FALSE;
    glGetProgramiv(program.program, GL_LINK_STATUS, &status);
    return status == GL_TRUE;
}

// The status of a framebuffer, bound for the question.
GLenum framebufferStatus(GLuint framebuffer) {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    return glCheckFramebufferStatus(GL_FRAMEBUFFER);
}

std::string incomplete(const char* name, GLenum status) {
    return std::string("the ") + name + " target's framebuffer is not complete (status " +
           std::to_string(status) + ")";
}

}  // namespace

std::vector<std::string> pipelineProblems() {
    std::vector<std::string> problems;
    const struct {
        const char* name;
        const ShaderProgram& program;
    } rows[] = {{"shadow", programs.shadowProgram},
                {"reflection", programs.reflectionProgram},
                {"scene", programs.sceneProgram},
                {"post-process", programs.postProgram}};
    for (const auto& row : rows) {
        if (!linked(row.program)) {
            problems.push_back(std::string("the ") + row.name + " program did not link");
        }
    }
    // The cube targets get their attachments from their passes; attached here as those do, so
    // that there is something to check before the first frame.
    const struct {
        const char* name;
        CubeMapTarget& target;
    } cubes[] = {{"shadow cube", targets.shadowCubeTarget},
                 {"reflection cube", targets.reflectionCubeTarget}};
    for (const auto& cube : cubes) {
        glBindFramebuffer(GL_FRAMEBUFFER, cube.target.framebuffer);
        attachCubeMapTarget(cube.target);
        const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
        if (status != GL_FRAMEBUFFER_COMPLETE) problems.push_back(incomplete(cube.name, status));
    }
    const GLenum sceneStatus = framebufferStatus(targets.sceneTarget.framebuffer);
    if (sceneStatus != GL_FRAMEBUFFER_COMPLETE) {
        problems.push_back(incomplete("scene", sceneStatus));
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return problems;
}
