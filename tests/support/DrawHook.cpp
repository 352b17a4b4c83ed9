#include "support/DrawHook.h"

#include <GL/glew.h>

#include <utility>

namespace {

std::function<void()> beforeDraw;

}  // namespace

void setBeforeDraw(std::function<void()> check) { beforeDraw = std::move(check); }

extern "C" {

void __real_glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices);
void __real_glDrawArrays(GLenum mode, GLint first, GLsizei count);

void __wrap_glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    if (beforeDraw) beforeDraw();
    __real_glDrawElements(mode, count, type, indices);
}

void __wrap_glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    if (beforeDraw) beforeDraw();
    __real_glDrawArrays(mode, first, count);
}

}  // extern "C"
