// Where the post pass puts the 4:3 picture in a framebuffer of any size.
#include <gtest/gtest.h>

#include "render/PostProcessPass.h"

namespace {

void expectViewport(FramebufferSize framebuffer, Viewport expected) {
    const Viewport view = pictureViewport(framebuffer);
    EXPECT_EQ(view.x, expected.x) << framebuffer.width << " x " << framebuffer.height;
    EXPECT_EQ(view.y, expected.y) << framebuffer.width << " x " << framebuffer.height;
    EXPECT_EQ(view.width, expected.width) << framebuffer.width << " x " << framebuffer.height;
    EXPECT_EQ(view.height, expected.height) << framebuffer.width << " x " << framebuffer.height;
}

}  // namespace

TEST(PictureViewport, FillsA43FramebufferAndKeeps43WithCentredBarsOtherwise) {
    // The window as made, resized to another 4:3 size, and a scaled screen's double framebuffer.
    expectViewport({1024, 768}, {0, 0, 1024, 768});
    expectViewport({1280, 960}, {0, 0, 1280, 960});
    expectViewport({2048, 1536}, {0, 0, 2048, 1536});
    // Wider: bars left and right, the width rounded to the nearest pixel (1066.67).
    expectViewport({1280, 800}, {106, 0, 1067, 800});
    expectViewport({1920, 1080}, {240, 0, 1440, 1080});
    // Taller: bars above and below (800 x 600 in 800 x 800; 449.25 rounds to 449).
    expectViewport({800, 800}, {0, 100, 800, 600});
    expectViewport({599, 1000}, {0, 275, 599, 449});
    // A minimised window, and one pixel wide: nothing, never a negative size.
    expectViewport({0, 0}, {0, 0, 0, 0});
    expectViewport({0, 768}, {0, 384, 0, 0});
    expectViewport({1, 501}, {0, 250, 1, 1});
}
