// A preload library that makes the GL driver stricter, as other drivers are, for the
// end-to-end tests (LD_PRELOAD=libpelk_strict_driver.so):
//
//   PELK_STRICT_UNRENDERABLE=GL_RGB32F[,GL_RGBA32F,...]   textures asked for in these internal
//       formats are allocated as GL_RGB9_E5 instead, which no framebuffer can render into: a
//       driver that does not count those formats as colour-renderable.
//   PELK_STRICT_NO_TESSELLATION=1   glPatchParameteri cannot be loaded: a driver that reports a
//       4.x version but has no tessellation.
//   PELK_STRICT_NO_GL_VERSION=1   glGetString cannot be loaded, so GLEW cannot read the GL
//       version and fails with its error 1 (GLEW_ERROR_NO_GL_VERSION), on a GLX window's context
//       or an EGL one alike (GLEW loads every entry point through glXGetProcAddressARB).
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct FormatName {
    const char* name;
    GLint format;
};
constexpr FormatName kFormats[] = {{"GL_RGB32F", GL_RGB32F},
                                   {"GL_RGBA32F", GL_RGBA32F},
                                   {"GL_RGBA16F", GL_RGBA16F},
                                   {"GL_RGB16F", GL_RGB16F},
                                   {"GL_RGBA8", GL_RGBA8}};

bool unrenderable(GLint format) {
    const char* list = std::getenv("PELK_STRICT_UNRENDERABLE");
    if (list == nullptr) return false;
    const std::string names = std::string(",") + list + ",";
    for (const FormatName& f : kFormats) {
        if (f.format == format && names.find(std::string(",") + f.name + ",") != std::string::npos)
            return true;
    }
    return false;
}

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using GetProc = __GLXextFuncPtr (*)(const GLubyte*);

bool switchedOn(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

__GLXextFuncPtr lookUp(GetProc real, const GLubyte* name) {
    const char* function = reinterpret_cast<const char*>(name);
    if (switchedOn("PELK_STRICT_NO_TESSELLATION") &&
        std::strcmp(function, "glPatchParameteri") == 0) {
        return nullptr;
    }
    if (switchedOn("PELK_STRICT_NO_GL_VERSION") && std::strcmp(function, "glGetString") == 0) {
        return nullptr;
    }
    return real(name);
}

}  // namespace

extern "C" {

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const void* pixels) {
    using TexImage2D =
        void (*)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*);
    static const auto real = next<TexImage2D>("glTexImage2D");
    if (unrenderable(internalFormat)) internalFormat = GL_RGB9_E5;
    real(target, level, internalFormat, width, height, border, format, type, pixels);
}

__GLXextFuncPtr glXGetProcAddressARB(const GLubyte* name) {
    static const auto real = next<GetProc>("glXGetProcAddressARB");
    return lookUp(real, name);
}

__GLXextFuncPtr glXGetProcAddress(const GLubyte* name) {
    static const auto real = next<GetProc>("glXGetProcAddress");
    return lookUp(real, name);
}

}  // extern "C"
