// Which GL context the tools ask for, and in which order EGL's platforms are tried.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context/EglContext.h"

namespace {

// Attempts as short words: "gpu:1" for a device by its index, "surfaceless".
std::vector<std::string> words(const std::vector<EglAttempt>& attempts) {
    std::vector<std::string> out;
    for (const EglAttempt& attempt : attempts) {
        out.push_back(attempt.origin == ContextOrigin::EglDevice
                          ? "device:" + std::to_string(attempt.device)
                          : contextOriginName(attempt.origin));
    }
    return out;
}

using Words = std::vector<std::string>;

}  // namespace

TEST(ToolContext, ContextOptionTakesExactlyTheSixNames) {
    EXPECT_EQ(parseContextRequest("auto"), ContextRequest::Auto);
    EXPECT_EQ(parseContextRequest("glx"), ContextRequest::Glx);
    EXPECT_EQ(parseContextRequest("egl"), ContextRequest::Egl);
    EXPECT_EQ(parseContextRequest("surfaceless"), ContextRequest::Surfaceless);
    EXPECT_EQ(parseContextRequest("device"), ContextRequest::Device);
    EXPECT_EQ(parseContextRequest("gpu"), ContextRequest::Gpu);
    for (const char* wrong : {"", "EGL", "egl ", "gpus", "surface", "glx,egl"}) {
        EXPECT_FALSE(parseContextRequest(wrong)) << "'" << wrong << "'";
    }
}

TEST(ToolContext, GpusComeFirstThenSurfacelessThenSoftwareDevicesEachRequestItsShare) {
    // Enumerated as Mesa with a GPU lists them: the software renderer first.
    const std::vector<EglDeviceInfo> devices = {
        {true, ""}, {false, "/dev/dri/renderD128"}, {false, "/dev/dri/renderD129"}};
    EXPECT_EQ(words(planEglAttempts(ContextRequest::Egl, devices, true)),
              (Words{"device:1", "device:2", "EGL surfaceless", "device:0"}));
    EXPECT_EQ(words(planEglAttempts(ContextRequest::Device, devices, true)),
              (Words{"device:1", "device:2", "device:0"}));
    EXPECT_EQ(words(planEglAttempts(ContextRequest::Gpu, devices, true)),
              (Words{"device:1", "device:2"}));
    EXPECT_EQ(words(planEglAttempts(ContextRequest::Surfaceless, devices, true)),
              (Words{"EGL surfaceless"}));
    // A window is no EGL platform.
    EXPECT_TRUE(planEglAttempts(ContextRequest::Glx, devices, true).empty());
    EXPECT_TRUE(planEglAttempts(ContextRequest::Auto, devices, true).empty());

    // An EGL library without Mesa's surfaceless platform (a GPU vendor's alone).
    EXPECT_EQ(words(planEglAttempts(ContextRequest::Egl, devices, false)),
              (Words{"device:1", "device:2", "device:0"}));
    EXPECT_TRUE(planEglAttempts(ContextRequest::Surfaceless, devices, false).empty());
}

TEST(ToolContext, WithoutAGpuEglTakesSurfacelessBeforeTheSoftwareDevice) {
    // As Mesa lists its devices on a machine without a GPU.
    const std::vector<EglDeviceInfo> software = {{true, ""}};
    EXPECT_EQ(words(planEglAttempts(ContextRequest::Egl, software, true)),
              (Words{"EGL surfaceless", "device:0"}));
    EXPECT_EQ(words(planEglAttempts(ContextRequest::Device, software, true)), (Words{"device:0"}));
    EXPECT_TRUE(planEglAttempts(ContextRequest::Gpu, software, true).empty());
    EXPECT_EQ(words(planEglAttempts(ContextRequest::Egl, {}, true)), (Words{"EGL surfaceless"}));
}
