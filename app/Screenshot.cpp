#include "app/Screenshot.h"

#include <GL/glew.h>
#include <stb_image_write.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Platform.h"

namespace {

// rw-rw-rw- less the umask: the file as any new file of the user.
constexpr mode_t kNewFileMode = 0666;

}  // namespace

// Writes through stdio, noting whether every write went through (stb's own file writer does
// not look).
bool writePng(std::FILE* file, const std::vector<unsigned char>& pixels, int width, int height) {
    struct Sink {
        std::FILE* file;
        bool failed = false;
    } sink{file};
    const auto put = [](void* context, void* data, int size) {
        auto* to = static_cast<Sink*>(context);
        const auto bytes = static_cast<std::size_t>(size);
        if (!to->failed && std::fwrite(data, 1, bytes, to->file) != bytes) to->failed = true;
    };
    stbi_flip_vertically_on_write(1);
    const bool encoded =
        stbi_write_png_to_func(put, &sink, width, height, 3, pixels.data(), width * 3) != 0;
    return encoded && !sink.failed;
}

namespace {

// A hidden temporary beside the pictures, written whole and closed. Empty, with errno set, when
// any step fails; nothing is left then.
std::string writeTemporary(const std::string& folder, const std::vector<unsigned char>& pixels,
                           int width, int height) {
    std::string name = folder + "/.pelk-screenshot.XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) return "";
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, kNewFileMode & ~mask);
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        close(fd);
        unlink(name.c_str());
        errno = error;
        return "";
    }
    errno = 0;
    bool written =
        writePng(file, pixels, width, height) && std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    int error = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written) return name;
    unlink(name.c_str());
    errno = error != 0 ? error : EIO;
    return "";
}

}  // namespace

std::string screenshotName(int number) {
    char name[32];
    std::snprintf(name, sizeof name, "pelk-%04d.png", number);
    return name;
}

std::string saveNumberedPng(const std::string& folder, const std::vector<unsigned char>& pixels,
                            int width, int height, std::string& why) {
    if (width <= 0 || height <= 0 ||
        pixels.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
        why = "there is no picture to save";
        return "";
    }
    const std::string temporary = writeTemporary(folder, pixels, width, height);
    if (temporary.empty()) {
        why = std::string("cannot write in ") + folder + ": " + std::strerror(errno);
        return "";
    }
    // A link fails where the name is taken, so that no picture is ever replaced, not even one
    // that another program writes between the look and the link.
    std::string saved;
    int error = 0;
    for (int number = 1; number <= kMaxScreenshotNumber && saved.empty(); ++number) {
        const std::string path = folder + "/" + screenshotName(number);
        struct stat existing {};
        if (lstat(path.c_str(), &existing) == 0) continue;
        if (link(temporary.c_str(), path.c_str()) == 0) {
            saved = path;
        } else if (errno != EEXIST) {
            error = errno;
            break;
        }
    }
    unlink(temporary.c_str());
    if (!saved.empty()) return saved;
    why = error != 0
              ? std::string("cannot name the picture in ") + folder + ": " + std::strerror(error)
              : "every name from " + screenshotName(1) + " to " +
                    screenshotName(kMaxScreenshotNumber) + " is taken in " + folder;
    return "";
}

void saveScreenshot(const std::string& folder) {
    const FramebufferSize size = readFramebufferSize();
    std::vector<unsigned char> pixels;
    if (size.width > 0 && size.height > 0) {
        pixels.resize(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) *
                      3);
        // The back buffer, as drawn this frame; the pack state is the read's own.
        GLint readFramebuffer = 0;
        GLint readBuffer = GL_BACK;
        GLint packAlignment = 4;
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
        glGetIntegerv(GL_READ_BUFFER, &readBuffer);
        glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        GLint drawn = GL_BACK;
        glGetIntegerv(GL_DRAW_BUFFER, &drawn);
        glReadBuffer(static_cast<GLenum>(drawn));
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, size.width, size.height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
        glReadBuffer(static_cast<GLenum>(readBuffer));
    }
    std::string why;
    const std::string path = saveNumberedPng(folder, pixels, size.width, size.height, why);
    if (path.empty()) {
        std::printf("Could not save the window's picture: %s\n", why.c_str());
    } else {
        const std::string shown = folder == "." ? path.substr(2) : path;
        std::printf("Saved the window's picture as %s\n", shown.c_str());
    }
    std::fflush(stdout);
}
