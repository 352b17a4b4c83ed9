#include "context/ContextChoice.h"

#include <GLFW/glfw3.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

namespace {

// The child's end of the pipe that carries GLFW's complaint back (GLFW's error callback takes
// no context pointer).
int complaintPipe = -1;

void sendComplaint(int, const char* description) {
    if (complaintPipe < 0 || description == nullptr) return;
    const std::size_t length = std::strlen(description);
    if (write(complaintPipe, description, length) < 0) _exit(2);
}

std::string displayName() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr ? display : "";
}

// What a child wrote into the pipe before it ended.
std::string readAll(int fd) {
    std::string text;
    char buffer[256];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

constexpr auto kPoll = std::chrono::milliseconds(5);

}  // namespace

const char* contextOriginName(ContextOrigin origin) {
    switch (origin) {
        case ContextOrigin::GlxWindow:
            return "GLX window";
        case ContextOrigin::EglSurfaceless:
            return "EGL surfaceless";
        case ContextOrigin::EglDevice:
            return "EGL device";
    }
    return "unknown";
}

std::optional<ContextRequest> parseContextRequest(const std::string& text) {
    static const std::pair<const char*, ContextRequest> kNames[] = {
        {"auto", ContextRequest::Auto},     {"glx", ContextRequest::Glx},
        {"egl", ContextRequest::Egl},       {"surfaceless", ContextRequest::Surfaceless},
        {"device", ContextRequest::Device}, {"gpu", ContextRequest::Gpu}};
    for (const auto& [name, request] : kNames) {
        if (text == name) return request;
    }
    return std::nullopt;
}

std::string contextDescription(const ContextInfo& info) {
    std::string text = contextOriginName(info.origin);
    if (!info.detail.empty()) text += " (" + info.detail + ")";
    return text;
}

XServerAnswer askXServer(double patienceSeconds) {
    using Kind = XServerAnswer::Kind;
    const std::string display = displayName();
    if (display.empty()) return {Kind::NoDisplay, ""};
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return {Kind::Refuses, std::string("no pipe to ask it through: ") + std::strerror(errno)};
    }
    // What is buffered would otherwise be written twice, once by the child.
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        complaintPipe = fds[1];
        glfwSetErrorCallback(sendComplaint);
        _exit(glfwInit() == GLFW_TRUE ? 0 : 1);
    }
    close(fds[1]);
    if (child < 0) {
        close(fds[0]);
        return {Kind::Refuses, std::string("no process to ask it from: ") + std::strerror(errno)};
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(patienceSeconds);
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPoll);
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        close(fds[0]);
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", patienceSeconds);
        return {Kind::Silent,
                "the X server of DISPLAY " + display + " does not answer within " + seconds + " s"};
    }
    const std::string complaint = readAll(fds[0]);
    close(fds[0]);
    if (ended > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) return {Kind::Answers, ""};
    return {Kind::Refuses,
            complaint.empty() ? "GLFW could not start on DISPLAY " + display : complaint};
}

ContextChoice chooseContext(ContextRequest request, const ContextSteps& steps) {
    using Kind = XServerAnswer::Kind;
    ContextChoice choice;
    std::string noWindow;
    if (request == ContextRequest::Glx || request == ContextRequest::Auto) {
        const XServerAnswer server = steps.askXServer();
        if (server.kind == Kind::Answers) {
            const std::optional<std::string> why = steps.openWindow();
            if (!why) {
                choice.made = true;
                choice.window = true;
                return choice;
            }
            noWindow = *why;
        } else if (server.kind == Kind::NoDisplay) {
            noWindow = "DISPLAY is not set";
        } else {
            noWindow = server.why;
        }
        if (request == ContextRequest::Glx) {
            choice.failure = "Could not initialize GLFW-Context: " + noWindow;
            return choice;
        }
        if (server.kind != Kind::NoDisplay) choice.instead = noWindow;
        request = ContextRequest::Egl;
    }
    const std::optional<std::string> why = steps.openEgl(request);
    if (!why) {
        choice.made = true;
        return choice;
    }
    choice.failure = "Could not create an OpenGL context through EGL: " + *why;
    if (!choice.instead.empty()) choice.failure += "; and no window: " + choice.instead;
    choice.instead.clear();
    return choice;
}
