// A preload library that makes the GL driver stricter, as other drivers are, for the
// end-to-end tests (LD_PRELOAD=libpelk_strict_driver.so):
//
//   PELK_STRICT_UNRENDERABLE=GL_RGB32F[,GL_RGBA32F,...]   textures asked for in these internal
//       formats are allocated as GL_RGB9_E5 instead, which no framebuffer can render into: a
//       driver that does not count those formats as colour-renderable.
//   PELK_STRICT_NO_TESSELLATION=1   glPatchParameteri cannot be loaded: a driver that reports a
//       4.x version but has no tessellation.
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

__GLXextFuncPtr lookUp(GetProc real, const GLubyte* name) {
    const char* hidden = std::getenv("PELK_STRICT_NO_TESSELLATION");
    if (hidden != nullptr && std::strcmp(hidden, "1") == 0 &&
        std::strcmp(reinterpret_cast<const char*>(name), "glPatchParameteri") == 0) {
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
