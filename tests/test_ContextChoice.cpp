// Which GL context the tools ask for, in which order EGL's platforms are tried, and when a
// window is given up for EGL.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "context/EglContext.h"

namespace {

namespace fs = std::filesystem;

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

TEST(ContextChoice, ContextOptionTakesExactlyTheSixNames) {
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

TEST(ContextChoice, GpusComeFirstThenSurfacelessThenSoftwareDevicesEachRequestItsShare) {
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

TEST(ContextChoice, WithoutAGpuEglTakesSurfacelessBeforeTheSoftwareDevice) {
    // As Mesa lists its devices on a machine without a GPU.
    const std::vector<EglDeviceInfo> software = {{true, ""}};
    EXPECT_EQ(words(planEglAttempts(ContextRequest::Egl, software, true)),
              (Words{"EGL surfaceless", "device:0"}));
    EXPECT_EQ(words(planEglAttempts(ContextRequest::Device, software, true)), (Words{"device:0"}));
    EXPECT_TRUE(planEglAttempts(ContextRequest::Gpu, software, true).empty());
    EXPECT_EQ(words(planEglAttempts(ContextRequest::Egl, {}, true)), (Words{"EGL surfaceless"}));
}

namespace {

// The steps of a choice, played by the test: what the X server answers, whether the window and
// EGL come, and the order in which they were tried.
struct FakeSteps {
    XServerAnswer server;
    std::optional<std::string> windowFails;
    std::optional<std::string> eglFails;
    std::vector<std::string> tried;

    ContextSteps steps() {
        ContextSteps s;
        s.askXServer = [this] {
            tried.push_back("ask");
            return server;
        };
        s.openWindow = [this] {
            tried.push_back("window");
            return windowFails;
        };
        s.openEgl = [this](ContextRequest request) {
            tried.push_back(request == ContextRequest::Egl ? "egl" : "egl-other");
            return eglFails;
        };
        return s;
    }
};

using Kind = XServerAnswer::Kind;

}  // namespace

TEST(ContextChoice, AutoTakesTheWindowWhereTheServerAnswersAndGivesOne) {
    FakeSteps fake{{Kind::Answers, ""}, std::nullopt, std::nullopt, {}};
    const ContextChoice choice = chooseContext(ContextRequest::Auto, fake.steps());
    EXPECT_TRUE(choice.made);
    EXPECT_TRUE(choice.window);
    EXPECT_EQ(choice.instead, "");
    EXPECT_EQ(fake.tried, (Words{"ask", "window"}));
}

TEST(ContextChoice, AutoFallsBackToEglWhenTheServerGivesNoWindowAndSaysWhy) {
    // An 8-bit server: it answers, but has no visual for the window.
    FakeSteps eightBit{
        {Kind::Answers, ""}, "GLX: Failed to find a suitable GLXFBConfig", std::nullopt, {}};
    ContextChoice choice = chooseContext(ContextRequest::Auto, eightBit.steps());
    EXPECT_TRUE(choice.made);
    EXPECT_FALSE(choice.window);
    EXPECT_EQ(choice.instead, "GLX: Failed to find a suitable GLXFBConfig");
    EXPECT_EQ(eightBit.tried, (Words{"ask", "window", "egl"}));

    // A stopped server: no window is even tried.
    FakeSteps stopped{{Kind::Silent, "the X server of DISPLAY :5 does not answer within 5 s"},
                      std::nullopt,
                      std::nullopt,
                      {}};
    choice = chooseContext(ContextRequest::Auto, stopped.steps());
    EXPECT_TRUE(choice.made);
    EXPECT_FALSE(choice.window);
    EXPECT_EQ(choice.instead, "the X server of DISPLAY :5 does not answer within 5 s");
    EXPECT_EQ(stopped.tried, (Words{"ask", "egl"}));

    // No DISPLAY at all is no surprise: nothing to say.
    FakeSteps none{{Kind::NoDisplay, ""}, std::nullopt, std::nullopt, {}};
    choice = chooseContext(ContextRequest::Auto, none.steps());
    EXPECT_TRUE(choice.made);
    EXPECT_EQ(choice.instead, "");
    EXPECT_EQ(none.tried, (Words{"ask", "egl"}));
}

TEST(ContextChoice, GlxHasNoFallbackAndItsFailureSaysWhy) {
    FakeSteps stopped{{Kind::Silent, "the X server of DISPLAY :5 does not answer within 5 s"},
                      std::nullopt,
                      std::nullopt,
                      {}};
    ContextChoice choice = chooseContext(ContextRequest::Glx, stopped.steps());
    EXPECT_FALSE(choice.made);
    EXPECT_EQ(choice.failure,
              "Could not initialize GLFW-Context: the X server of DISPLAY :5 does not answer "
              "within 5 s");
    EXPECT_EQ(stopped.tried, (Words{"ask"}));

    FakeSteps eightBit{{Kind::Answers, ""}, "GLX: no visual", std::nullopt, {}};
    choice = chooseContext(ContextRequest::Glx, eightBit.steps());
    EXPECT_FALSE(choice.made);
    EXPECT_EQ(choice.failure, "Could not initialize GLFW-Context: GLX: no visual");
    EXPECT_EQ(eightBit.tried, (Words{"ask", "window"}));
}

TEST(ContextChoice, EglRequestsNeverTouchTheXServerAndAFailureNamesBothWays) {
    FakeSteps device{{Kind::Answers, ""}, std::nullopt, "no EGL device is a GPU", {}};
    ContextChoice choice = chooseContext(ContextRequest::Gpu, device.steps());
    EXPECT_FALSE(choice.made);
    EXPECT_EQ(choice.failure,
              "Could not create an OpenGL context through EGL: no EGL device is a GPU");
    EXPECT_EQ(device.tried, (Words{"egl-other"}));

    FakeSteps neither{{Kind::Answers, ""}, "GLX: no visual", "EGL lists no devices", {}};
    choice = chooseContext(ContextRequest::Auto, neither.steps());
    EXPECT_FALSE(choice.made);
    EXPECT_EQ(choice.failure,
              "Could not create an OpenGL context through EGL: EGL lists no devices; and no "
              "window: GLX: no visual");
    EXPECT_EQ(choice.instead, "");
}

TEST(ContextChoice, AServerThatNeverAnswersIsGivenUpOnWithinThePatience) {
    // A socket where the X server of a free display number would listen, which takes the
    // connection and never answers: a stopped server.
    int number = 0;
    std::string socketPath;
    for (number = 180; number < 200; ++number) {
        socketPath = "/tmp/.X11-unix/X" + std::to_string(number);
        if (!fs::exists(socketPath) && !fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) {
            break;
        }
    }
    fs::create_directories("/tmp/.X11-unix");
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(listener);
        GTEST_SKIP() << "cannot listen at " << socketPath << ": " << std::strerror(errno);
    }
    ASSERT_EQ(listen(listener, 4), 0);
    const std::string display = ":" + std::to_string(number);
    const char* before = std::getenv("DISPLAY");
    const std::string saved = before != nullptr ? before : "";
    setenv("DISPLAY", display.c_str(), 1);

    const XServerAnswer silent = askXServer(0.5);
    EXPECT_EQ(silent.kind, XServerAnswer::Kind::Silent);
    EXPECT_EQ(silent.why, "the X server of DISPLAY " + display + " does not answer within 0.5 s");

    close(listener);
    unlink(socketPath.c_str());
    // Nothing listens there now: refused, with GLFW's own words.
    const XServerAnswer refused = askXServer(5.0);
    EXPECT_EQ(refused.kind, XServerAnswer::Kind::Refuses);
    EXPECT_NE(refused.why, "");

    unsetenv("DISPLAY");
    EXPECT_EQ(askXServer(5.0).kind, XServerAnswer::Kind::NoDisplay);
    if (before != nullptr) setenv("DISPLAY", saved.c_str(), 1);
}
