#include "render/PassState.h"

void bindTexture(int unit, GLenum target, GLuint texture, GLuint sampler) {
    const auto glUnit = static_cast<GLuint>(unit);
    glActiveTexture(GL_TEXTURE0 + glUnit);
    glBindTexture(target, texture);
    glBindSampler(glUnit, sampler);
}

void setDepthTesting(bool on) {
    if (on) {
        glEnable(GL_DEPTH_TEST);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    glDepthFunc(GL_LESS);
    glDepthMask(on ? GL_TRUE : GL_FALSE);
}
