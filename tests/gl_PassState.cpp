// Each pass sets the GL state it relies on: the demo's frames drawn with stray state left
// between the passes (other framebuffers and viewports, depth and polygon modes, programs,
// textures and sampler objects on every unit with another unit active, the depth images' own
// compare modes switched) give the same pictures, to the byte, as frames drawn without.
#include <GL/glew.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/Loop.h"
#include "camera/Camera.h"
#include "core/Platform.h"
#include "render/PassTimer.h"
#include "scene/Animation.h"
#include "scene/Scene.h"
#include "support/PipelineFixture.h"

namespace {

// FNV-1a over a picture's bytes: equal pictures, equal prints.
template <typename T>
std::uint64_t fingerprint(const std::vector<T>& values) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(values.data());
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = 0; i < values.size() * sizeof(T); ++i) {
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    }
    return hash;
}

// Level `level` of a texture (all six faces of a cube map) as floats.
std::vector<float> textureImage(GLuint texture, int level, int size, int faces, bool depth) {
    const int channels = depth ? 1 : 3;
    std::vector<float> values(static_cast<std::size_t>(size) * size * faces * channels);
    glGetTextureSubImage(texture, level, 0, 0, 0, size, size, faces,
                         depth ? GL_DEPTH_COMPONENT : GL_RGB, GL_FLOAT,
                         static_cast<GLsizei>(values.size() * sizeof(float)), values.data());
    return values;
}

// Every image that a frame writes, by name: the window, the scene image's colour and depth,
// the reflection cube, and the shadow cubes (depth, moments, and the moments' level that soft
// shadows read).
std::map<std::string, std::uint64_t> framePictures(std::size_t& litWindowBytes) {
    std::vector<unsigned char> window(static_cast<std::size_t>(kWindowWidth) * kWindowHeight * 3);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGB, GL_UNSIGNED_BYTE, window.data());
    litWindowBytes = 0;
    for (unsigned char byte : window) litWindowBytes += byte != 0 ? 1 : 0;

    const SceneTarget& scene = targets.sceneTarget;
    const CubeMapTarget& shadow = targets.shadowCubeTarget;
    const int moments = kShadowMomentsLevels - 1;
    return {
        {"window", fingerprint(window)},
        {"scene colour",
         fingerprint(textureImage(scene.colorTexture, 0, kSceneTargetSize, 1, false))},
        {"scene depth",
         fingerprint(textureImage(scene.depthTexture, 0, kSceneTargetSize, 1, true))},
        {"reflection cube", fingerprint(textureImage(targets.reflectionCubeTarget.colorCube, 0,
                                                     kCubeFaceSize, 6, false))},
        {"shadow depth cube",
         fingerprint(textureImage(shadow.depthCube, 0, kCubeFaceSize, 6, true))},
        {"shadow moments", fingerprint(textureImage(shadow.colorCube, 0, kCubeFaceSize, 6, false))},
        {"shadow moments' soft level",
         fingerprint(textureImage(shadow.colorCube, moments, kCubeFaceSize >> moments, 6, false))},
    };
}

// GL objects of no pass, for the stray state to bind: a complete framebuffer, a picture, a
// cube, and a sampler object that reads nothing the way any pass does.
struct StrayObjects {
    GLuint framebuffer = 0;
    GLuint color = 0;
    GLuint depth = 0;
    GLuint picture = 0;
    GLuint cube = 0;
    GLuint sampler = 0;

    StrayObjects() {
        std::vector<unsigned char> noise(64 * 64 * 4);
        for (std::size_t i = 0; i < noise.size(); ++i)
            noise[i] = static_cast<unsigned char>(i * 37);
        glCreateTextures(GL_TEXTURE_2D, 1, &color);
        glTextureStorage2D(color, 1, GL_RGBA8, 64, 64);
        glCreateRenderbuffers(1, &depth);
        glNamedRenderbufferStorage(depth, GL_DEPTH_COMPONENT24, 64, 64);
        glCreateFramebuffers(1, &framebuffer);
        glNamedFramebufferTexture(framebuffer, GL_COLOR_ATTACHMENT0, color, 0);
        glNamedFramebufferRenderbuffer(framebuffer, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        glCreateTextures(GL_TEXTURE_2D, 1, &picture);
        glTextureStorage2D(picture, 1, GL_RGBA8, 64, 64);
        glTextureSubImage2D(picture, 0, 0, 0, 64, 64, GL_RGBA, GL_UNSIGNED_BYTE, noise.data());
        glCreateTextures(GL_TEXTURE_CUBE_MAP, 1, &cube);
        glTextureStorage2D(cube, 1, GL_RGBA8, 64, 64);
        for (int face = 0; face < 6; ++face) {
            glTextureSubImage3D(cube, 0, 0, 0, face, 64, 64, 1, GL_RGBA, GL_UNSIGNED_BYTE,
                                noise.data());
        }
        glCreateSamplers(1, &sampler);
        glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GL_MIRRORED_REPEAT);
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GL_MIRRORED_REPEAT);
        glSamplerParameteri(sampler, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
        glSamplerParameteri(sampler, GL_TEXTURE_COMPARE_FUNC, GL_GREATER);
    }
    ~StrayObjects() {
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteRenderbuffers(1, &depth);
        const GLuint textures[] = {color, picture, cube};
        glDeleteTextures(3, textures);
        glDeleteSamplers(1, &sampler);
    }
    StrayObjects(const StrayObjects&) = delete;
    StrayObjects& operator=(const StrayObjects&) = delete;
};

constexpr int kUnitsToStray = kGroundPictureUnit + 1;  // 0 to 13: every unit a pass uses

// Leaves the state as a careless pass might, differently in each round. Four rounds a frame:
// `turn` moves the choices made by twos and fours on from frame to frame too.
void leaveStrayState(const StrayObjects& stray, int round) {
    const int turn = round + round / 4;
    const GLuint framebuffers[] = {targets.shadowCubeTarget.framebuffer,
                                   targets.reflectionCubeTarget.framebuffer,
                                   targets.sceneTarget.framebuffer, stray.framebuffer, 0};
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffers[round % 5]);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[(round + 3) % 5]);
    glViewport(5 + round % 7, 3, 64 + round % 11, 48);
    if (turn % 3 == 0) {
        glDisable(GL_DEPTH_TEST);
    } else {
        glEnable(GL_DEPTH_TEST);
    }
    glDepthFunc(turn % 2 == 0 ? GL_GREATER : GL_NEVER);
    glDepthMask(GL_FALSE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    const GLuint programsInUse[] = {programs.postProgram.program, programs.shadowProgram.program,
                                    programs.sceneVariants[3].program.program, 0};
    glUseProgram(programsInUse[turn % 4]);

    const GLuint cubes[] = {targets.shadowCubeTarget.depthCube, targets.shadowCubeTarget.colorCube,
                            targets.reflectionCubeTarget.depthCube,
                            targets.reflectionCubeTarget.colorCube, stray.cube};
    const GLuint pictures[] = {targets.sceneTarget.colorTexture, targets.sceneTarget.depthTexture,
                               stray.picture};
    const GLuint samplers[] = {stray.sampler, targets.depthSamplers.shadowValues,
                               targets.depthSamplers.shadowCompared, 0};
    for (int unit = 0; unit < kUnitsToStray; ++unit) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindTexture(GL_TEXTURE_CUBE_MAP, cubes[(unit + round) % 5]);
        glBindTexture(GL_TEXTURE_2D, pictures[(unit + round) % 3]);
        glBindSampler(static_cast<GLuint>(unit), samplers[(unit + turn) % 4]);
    }
    // The depth images' own compare modes.
    const GLint compare = turn % 2 == 0 ? GL_COMPARE_REF_TO_TEXTURE : GL_NONE;
    for (GLuint depth : {targets.shadowCubeTarget.depthCube, targets.sceneTarget.depthTexture}) {
        glTextureParameteri(depth, GL_TEXTURE_COMPARE_MODE, compare);
        glTextureParameteri(depth, GL_TEXTURE_COMPARE_FUNC, GL_GREATER);
    }
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>((round * 5) % kUnitsToStray));
}

// Leaves stray state at the end of each pass, for the next one to meet.
class StrayStateBetweenPasses : public PassObserver {
public:
    explicit StrayStateBetweenPasses(const StrayObjects& stray) : stray_(stray) {}
    void passBegin(PassId) override {}
    void passEnd(PassId pass) override {
        if (pass == PassId::Mipmaps) return;  // within the scene pass
        leaveStrayState(stray_, rounds++);
    }
    int rounds = 0;

private:
    const StrayObjects& stray_;
};

// The GL state a fresh start-up has, for what runs after the test.
void leaveTidyState() {
    for (int unit = 0; unit < kUnitsToStray; ++unit) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        glBindTexture(GL_TEXTURE_2D, 0);
        glBindSampler(static_cast<GLuint>(unit), 0);
    }
    glActiveTexture(GL_TEXTURE0);
    for (GLuint depth : {targets.shadowCubeTarget.depthCube, targets.sceneTarget.depthTexture}) {
        glTextureParameteri(depth, GL_TEXTURE_COMPARE_MODE, GL_NONE);
        glTextureParameteri(depth, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
}

using PassStateTest = PipelineTest;

}  // namespace

TEST_F(PassStateTest, FramesDrawnWithStrayStateBetweenThePassesGiveTheSamePictures) {
    // Soft shadows (1 s), filtered (3 s), hard (20 s, switched by hand), the water (31 s) and
    // the wireframe (53 s), in that order, from a fresh start-up each time.
    static double clock = 0.0;
    platform().clock = [] { return clock; };
    platform().keyDown = [](int) { return false; };
    const double moments[] = {1.0, 3.0, 20.0, 31.0, 53.0};
    auto run = [&](PassObserver* observer, const StrayObjects* stray) {
        loop = LoopState{};
        mainCamera = Camera{};
        clock = 0.0;
        captureStdout([] { startUp(); });
        std::vector<std::map<std::string, std::uint64_t>> pictures;
        passObserver = observer;
        if (stray != nullptr) leaveStrayState(*stray, 1);
        for (double t : moments) {
            if (t == 20.0) loop.shadowMode = 0;
            clock = t;
            renderFrame(t);
            std::size_t lit = 0;
            pictures.push_back(framePictures(lit));
            EXPECT_GT(lit, kWindowWidth * kWindowHeight) << t << " s: the window is mostly black";
        }
        passObserver = nullptr;
        return pictures;
    };
    const auto clean = run(nullptr, nullptr);
    std::vector<std::map<std::string, std::uint64_t>> strayed;
    int rounds = 0;
    {
        const StrayObjects stray;
        StrayStateBetweenPasses between(stray);
        strayed = run(&between, &stray);
        rounds = between.rounds;
        leaveTidyState();
    }
    EXPECT_EQ(rounds, 4 * static_cast<int>(std::size(moments)));
    ASSERT_EQ(strayed.size(), clean.size());
    for (std::size_t frame = 0; frame < clean.size(); ++frame) {
        ASSERT_EQ(clean[frame].size(), 7u);
        for (const auto& [image, print] : clean[frame]) {
            EXPECT_EQ(strayed[frame].at(image), print)
                << "at " << moments[frame] << " s the " << image << " differs";
        }
    }
}
