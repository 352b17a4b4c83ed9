#include <array>
#include <string>
#include <vector>

#include "assets/Bmp.h"
#include "support/BmpBytes.h"
#include "support/GlFixture.h"
#include "support/TestSupport.h"

namespace {

using Bgr = std::array<std::uint8_t, 3>;

struct Level0 {
    GLint width = 0;
    GLint height = 0;
    std::vector<std::uint8_t> bgr;  // packed rows, bottom first
};

Level0 readBack(GLuint texture) {
    Level0 level;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &level.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &level.height);
    level.bgr.resize(static_cast<std::size_t>(3 * level.width * level.height));
    GLint previous = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &previous);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGR, GL_UNSIGNED_BYTE, level.bgr.data());
    glPixelStorei(GL_PACK_ALIGNMENT, previous);
    return level;
}

Bgr texel(const Level0& level, int x, int y) {
    const std::size_t at = static_cast<std::size_t>(3 * (y * level.width + x));
    return {level.bgr[at], level.bgr[at + 1], level.bgr[at + 2]};
}

Bgr expected(int x, int y) {
    return {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7};
}

GLint unpackAlignment() {
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    return alignment;
}

}  // namespace

TEST_F(GlTest, BmpTextureKeepsSizeColoursAndPaddedRows) {
    TempDir dir;
    BmpBytes bmp;
    bmp.width = 5;  // 15 bytes of pixels in 16-byte rows
    bmp.height = 3;
    const std::string path = dir.write("odd.bmp", bmp.build());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    std::uint32_t texture = 0;
    const std::string out = captureStdout([&] { texture = loadBmpTexture(path.c_str()); });
    EXPECT_EQ(out, "Reading image " + path + "\n");
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(unpackAlignment(), 8);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);

    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<std::uint32_t>(bound), texture);
    GLint minFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);

    const Level0 level = readBack(texture);
    ASSERT_EQ(level.width, 5);
    ASSERT_EQ(level.height, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) EXPECT_EQ(texel(level, x, y), expected(x, y)) << x << "," << y;
    }
    GLuint name = texture;
    glDeleteTextures(1, &name);
}

TEST_F(GlTest, BmpTextureFromAShortFileIsBlackWhereBytesAreMissing) {
    TempDir dir;
    BmpBytes bmp;
    bmp.width = 4;
    bmp.height = 4;
    bmp.imageSizeField = 0x7FFFFFFF;
    bmp.dropTail = 2 * 12;
    const std::string path = dir.write("short.bmp", bmp.build());
    std::uint32_t texture = 0;
    captureStdout([&] { texture = loadBmpTexture(path.c_str()); });
    ASSERT_NE(texture, 0u);
    const Level0 level = readBack(texture);
    EXPECT_EQ(texel(level, 3, 1), expected(3, 1));
    EXPECT_EQ(texel(level, 0, 2), (Bgr{0, 0, 0}));
    EXPECT_EQ(texel(level, 3, 3), (Bgr{0, 0, 0}));
    GLuint name = texture;
    glDeleteTextures(1, &name);
}

TEST_F(GlTest, SkyboxFacesAreSixUprightSquaresFromTheCross) {
    TempDir dir;
    BmpBytes bmp;
    bmp.width = 24;   // faces of 6 pixels: 18-byte rows, not a multiple of 4
    bmp.height = 19;  // the top row lies in no cell
    const std::string path = dir.write("sky.bmp", bmp.build());
    std::optional<std::array<std::uint32_t, 6>> faces;
    const std::string out = captureStdout([&] { faces = loadSkyboxFaces(path.c_str()); });
    EXPECT_EQ(out, "Reading image " + path + "\n");
    ASSERT_TRUE(faces);
    EXPECT_EQ(unpackAlignment(), 4);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<std::uint32_t>(bound), (*faces)[5]);

    const int cells[6][2] = {{2, 1}, {0, 1}, {1, 2}, {1, 0}, {3, 1}, {1, 1}};
    for (int face = 0; face < 6; ++face) {
        const Level0 level = readBack((*faces)[static_cast<std::size_t>(face)]);
        ASSERT_EQ(level.width, 6);
        ASSERT_EQ(level.height, 6);
        const int x0 = cells[face][0] * 6;
        const int y0 = cells[face][1] * 6;
        EXPECT_EQ(texel(level, 0, 0), expected(x0, y0)) << "face " << face;
        EXPECT_EQ(texel(level, 5, 0), expected(x0 + 5, y0)) << "face " << face;
        EXPECT_EQ(texel(level, 0, 5), expected(x0, y0 + 5)) << "face " << face;
        EXPECT_EQ(texel(level, 5, 5), expected(x0 + 5, y0 + 5)) << "face " << face;
    }
    glDeleteTextures(6, faces->data());
}
