#include <gtest/gtest.h>

#include <cctype>
#include <regex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "assets/ShaderLoader.h"
#include "render/PostProcessPass.h"
#include "render/ShadowPass.h"
#include "render/Targets.h"
#include "scene/Scene.h"
#include "support/TestSupport.h"

namespace {

std::string sourceOf(const TempDir& dir, const std::string& fileText) {
    return readShaderSource(dir.write("stage.glsl", fileText).c_str());
}

}  // namespace

TEST(ShaderSource, EveryLineIsPrecededByANewlineAndNoneEndsTheText) {
    TempDir dir;
    EXPECT_EQ(sourceOf(dir, "a\nb\n"), "\na\nb");
    // A last line without its newline is still a line.
    EXPECT_EQ(sourceOf(dir, "a\nb"), "\na\nb");
    EXPECT_EQ(sourceOf(dir, "one line"), "\none line");
}

TEST(ShaderSource, EmptyLinesCount) {
    TempDir dir;
    EXPECT_EQ(sourceOf(dir, "a\n\nb\n"), "\na\n\nb");
    EXPECT_EQ(sourceOf(dir, "\n"), "\n");
    EXPECT_EQ(sourceOf(dir, "\n\n"), "\n\n");
    EXPECT_EQ(sourceOf(dir, "a\n\n"), "\na\n");
}

TEST(ShaderSource, CrLfFilesGiveTheSameText) {
    TempDir dir;
    EXPECT_EQ(sourceOf(dir, "a\r\nb\r\n"), "\na\nb");
    EXPECT_EQ(sourceOf(dir, "a\r\n\r\nb"), "\na\n\nb");
}

TEST(ShaderSource, AByteOrderMarkAtTheStartIsDroppedAndNowhereElse) {
    TempDir dir;
    const std::string mark = "\xEF\xBB\xBF";
    EXPECT_EQ(sourceOf(dir, mark + "#version 400\r\nvoid main() {}\r\n"),
              "\n#version 400\nvoid main() {}");
    EXPECT_EQ(sourceOf(dir, mark + "\nb"), "\n\nb");
    // Only the file's first bytes are a mark; the same bytes later are text.
    EXPECT_EQ(sourceOf(dir, "a\n" + mark + "b"), "\na\n" + mark + "b");
    EXPECT_EQ(sourceOf(dir, mark + mark + "a"), "\n" + mark + "a");
}

TEST(ShaderSource, EmptyMissingAndUnreadableFilesGiveNothing) {
    TempDir dir;
    EXPECT_EQ(sourceOf(dir, ""), "");
    EXPECT_EQ(readShaderSource((dir.path() / "missing.glsl").string().c_str()), "");
    EXPECT_EQ(readShaderSource(dir.path().string().c_str()), "");  // a folder
    EXPECT_EQ(readShaderSource(nullptr), "");
    // Nor is anything else that is not a regular file read: a pipe (which would hold start-up
    // for good, were there no writer as here) or a device.
    const PipeWithWriter pipe(dir, "pipe.glsl", "void main() {}\n");
    EXPECT_EQ(readShaderSource(pipe.path().c_str()), "");
    EXPECT_EQ(readShaderSource("/dev/null"), "");
}

namespace {

// The numbers of a "const TYPE NAME = ...;" declaration of a stage file, in order (none when
// the file does not declare NAME).
std::vector<float> constantOf(const char* file, const std::string& name) {
    const std::string text = readShaderSource((std::string("src/") + file).c_str());
    const std::regex declaration("const\\s+\\w+\\s+" + name + "\\s*(\\[\\w*\\])?\\s*=([^;]*);");
    std::smatch found;
    std::vector<float> numbers;
    if (!std::regex_search(text, found, declaration)) return numbers;
    const std::string value = found[2].str();
    const std::regex number("-?[0-9]+\\.?[0-9]*(e-?[0-9]+)?");
    for (std::sregex_iterator it(value.begin(), value.end(), number), end; it != end; ++it) {
        if (it->position() > 0 && std::isalpha(value[static_cast<std::size_t>(it->position() - 1)]))
            continue;  // the 4 of "vec4"
        numbers.push_back(std::stof(it->str()));
    }
    return numbers;
}

}  // namespace

// What the stage files repeat of the renderer's constants, and of each other's, must agree: a
// change on one side alone would, say, shadow at the wrong depths or blur the first frame.
TEST(StageFiles, RepeatTheRenderersConstantsAndEachOthers) {
    const std::vector<std::tuple<const char*, const char*, float>> renderers = {
        {"1stPass.vertexshader", "kLightNear", kLightNearPlane},
        {"1stPass.vertexshader", "kLightFar", kLightFarPlane},
        {"2ndPass.fragmentshader", "kLightNear", kLightNearPlane},
        {"2ndPass.fragmentshader", "kLightFar", kLightFarPlane},
        {"1stPass.vertexshader", "kShadowCubeSize", static_cast<float>(kCubeFaceSize)},
        {"3rdPass.vertexshader", "kLightCubeHalfSize", kLightCubeHalfSize},
        {"3rdPass.fragmentshader", "kNoCameraBelow", kNoCameraBelow},
        {"3rdPass.fragmentshader", "kBlurTaps", static_cast<float>(kMotionBlurSamples)},
        {"3rdPass.fragmentshader", "kBlurLevels", static_cast<float>(kSceneBlurLevels)},
        {"2ndPass.fragmentshader", "kGroundLevel", kGroundLevel},
        {"1stPass.vertexshader", "kGroundLevel", kGroundLevel},
        {"2ndPass.fragmentshader", "kSearchLevel",
         static_cast<float>(kShadowMomentsLevels - 1)}};
    for (const auto& [file, name, value] : renderers) {
        EXPECT_EQ(constantOf(file, name), std::vector<float>{value}) << file << " " << name;
    }
    // The light as the reflection cube and the scene see it.
    const std::vector<std::pair<const char*, const char*>> shared = {
        {"1stPass.vertexshader", "kLightColor"},      {"1stPass.vertexshader", "kLightIntensity"},
        {"1stPass.vertexshader", "kFalloffDistance"}, {"1stPass.vertexshader", "kSkyAmbient"},
        {"1stPass.vertexshader", "kGroundAmbient"},   {"1stPass_2.fragmentshader", "kLightColor"},
        {"1stPass_2.fragmentshader", "kLightGlow"}};
    for (const auto& [file, name] : shared) {
        EXPECT_FALSE(constantOf(file, name).empty()) << file << " " << name;
        EXPECT_EQ(constantOf(file, name), constantOf("2ndPass.fragmentshader", name)) << name;
    }
    // The water's swell moves the surface in one stage and bends its normal in the other.
    const std::vector<float> swell = constantOf("2ndPass.tesEvaluationShader", "kSwell");
    const std::vector<float> waves = constantOf("2ndPass.fragmentshader", "kWaves");
    ASSERT_EQ(swell.size(), 12u);
    ASSERT_GE(waves.size(), swell.size());
    EXPECT_EQ(swell, std::vector<float>(waves.begin(), waves.begin() + 12));
}
