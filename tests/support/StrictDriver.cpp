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
//   PELK_STRICT_CUBE_OUT_OF_MEMORY=1   the float colour images of the cube maps get no memory:
//       while the driver allocates one, the process may not grow its address space, so the
//       driver's own allocation fails and it records GL_OUT_OF_MEMORY, as on a machine whose
//       memory has run out.
//   PELK_STRICT_REFUSE_NEW_OVER=BYTES   operator new refuses any allocation larger than BYTES,
//       as the system does when memory has run out: the new handler is called, else
//       std::bad_alloc is thrown. (The BMP loader's pixel rows are the first such request.)
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
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

bool isCubeFace(GLenum target) {
    return target >= GL_TEXTURE_CUBE_MAP_POSITIVE_X && target <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z;
}

bool isFloatColor(GLint format) {
    return format == GL_RGB32F || format == GL_RGBA32F || format == GL_RGBA16F ||
           format == GL_RGB16F;
}

// The process's address space now, in bytes (the first field of /proc/self/statm, in pages).
rlim_t addressSpaceInUse() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    if (statm != nullptr) {
        if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// While alive, the address space may grow by a little only: what the driver allocates with
// mmap (any large image) fails.
class NoRoomToGrow {
public:
    NoRoomToGrow() {
        getrlimit(RLIMIT_AS, &before_);
        rlimit tight = before_;
        tight.rlim_cur = addressSpaceInUse() + kSlack;
        setrlimit(RLIMIT_AS, &tight);
    }
    ~NoRoomToGrow() { setrlimit(RLIMIT_AS, &before_); }
    NoRoomToGrow(const NoRoomToGrow&) = delete;
    NoRoomToGrow& operator=(const NoRoomToGrow&) = delete;

private:
    static constexpr rlim_t kSlack = 256 * 1024;
    rlimit before_{};
};

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
    if (switchedOn("PELK_STRICT_CUBE_OUT_OF_MEMORY") && isCubeFace(target) &&
        isFloatColor(internalFormat)) {
        const NoRoomToGrow noRoom;
        real(target, level, internalFormat, width, height, border, format, type, pixels);
        return;
    }
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

// Outside extern "C": an operator has C++ linkage.
void* operator new(std::size_t size) {
    using New = void* (*)(std::size_t);
    static const auto real = next<New>("_Znwm");
    static const unsigned long long limit = [] {
        const char* text = std::getenv("PELK_STRICT_REFUSE_NEW_OVER");
        return text != nullptr ? std::strtoull(text, nullptr, 10) : 0ULL;
    }();
    if (limit != 0 && size > limit) {
        if (const std::new_handler handler = std::get_new_handler()) handler();
        throw std::bad_alloc();
    }
    return real(size);
}
