#include "tools/capture/PassPictures.h"

#include <GL/glew.h>

#include <cstdio>

#include "app/Screenshot.h"
#include "context/EglContext.h"
#include "core/FrameState.h"
#include "render/PassViews.h"
#include "tools/common/Files.h"

namespace {

// The views that are a pass's images: all but the finished picture.
std::vector<PassView> passImages() {
    std::vector<PassView> views;
    for (PassView view : kPassViews) {
        if (view != PassView::Picture) views.push_back(view);
    }
    return views;
}

std::string pathFor(const std::string& picture, PassView view) {
    const std::string stem =
        picture.size() > 4 && picture.compare(picture.size() - 4, 4, ".png") == 0
            ? picture.substr(0, picture.size() - 4)
            : picture;
    return stem + "-" + passViewName(view) + ".png";
}

}  // namespace

std::vector<std::string> passPicturePaths(const std::string& picture) {
    std::vector<std::string> paths;
    for (PassView view : passImages()) paths.push_back(pathFor(picture, view));
    return paths;
}

bool writePassPictures(const std::string& picture, std::string& why) {
    std::vector<std::string> written;
    for (PassView view : passImages()) {
        const std::string path = pathFor(picture, view);
        if (!drawPassView(view, viewRange(view))) {
            why = path + ": the view's program did not build";
        } else {
            glFinish();
            const std::vector<unsigned char> pixels = readWindowPicture();
            std::string reason;
            if (writeFileWhole(
                    path,
                    [&](std::FILE* file) {
                        return writePng(file, pixels, kWindowWidth, kWindowHeight);
                    },
                    reason)) {
                written.push_back(path);
                continue;
            }
            why = path + ": " + reason;
        }
        for (const std::string& done : written) std::remove(done.c_str());
        return false;
    }
    return true;
}
