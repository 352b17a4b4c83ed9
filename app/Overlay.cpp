#include "app/Overlay.h"

#include <imgui.h>
#include <imgui_impl_glfw.h>
#include <imgui_impl_opengl3.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/Screenshot.h"
#include "camera/Camera.h"
#include "core/FrameState.h"
#include "core/Platform.h"
#include "render/PassTimer.h"
#include "scene/TimelineStatus.h"

OverlayState overlay;

namespace {

// Timer results are read this many frames after their frame, so that reading them does not
// wait for the GPU.
constexpr int kFramesInFlight = 2;
// Enough samples for the history at any frame rate a person can read.
constexpr std::size_t kMaxSamples = 2000;

constexpr std::array<PassId, 5> kTimedPasses = {PassId::Shadow, PassId::Reflection, PassId::Scene,
                                                PassId::Post, PassId::Mipmaps};
constexpr std::array<const char*, 3> kShadowModeLabels = {"hard (0)", "soft (1)", "filtered (2)"};

// The interface library and the timer exist from the overlay's first showing on.
struct OverlayResources {
    bool imguiTried = false;
    bool imguiReady = false;
    std::unique_ptr<GpuPassTimer> timer;
    PassObserver* observerBefore = nullptr;
};
OverlayResources resources;

bool ensureImGui() {
    if (resources.imguiTried) return resources.imguiReady;
    resources.imguiTried = true;
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    // The demo writes no files of its own: no window layout, no log.
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    ImGui::StyleColorsDark();
    // The backend's callbacks catch a click shorter than a frame and the cursor entering the
    // window; the demo's own keys are still polled.
    if (appWindow == nullptr || !ImGui_ImplGlfw_InitForOpenGL(appWindow, true)) {
        std::printf("The overlay cannot start: no window for its interface.\n");
        ImGui::DestroyContext();
        return false;
    }
    if (!ImGui_ImplOpenGL3_Init("#version 450")) {
        std::printf("The overlay cannot start: its interface found no OpenGL to draw with.\n");
        ImGui_ImplGlfw_Shutdown();
        ImGui::DestroyContext();
        return false;
    }
    resources.imguiReady = true;
    return true;
}

void recordGpuTimes(std::uint64_t frame, const PassTimes& times) {
    for (OverlaySample& sample : overlay.history) {
        if (sample.frame != frame) continue;
        sample.gpuMs = times;
        sample.gpuKnown = true;
        return;
    }
}

GpuPassTimer& timer() {
    if (!resources.timer) resources.timer = std::make_unique<GpuPassTimer>(recordGpuTimes);
    return *resources.timer;
}

void keepSample() {
    OverlaySample sample;
    sample.frame = overlay.frame;
    sample.clock = loop.currentTime;
    sample.frameMs = loop.deltaTime * 1000.0f;
    std::vector<OverlaySample>& history = overlay.history;
    history.push_back(sample);
    // The last few seconds; a clock that went back (a test's) starts the history afresh.
    std::size_t old = 0;
    while (old < history.size() &&
           (history[old].clock < sample.clock - kOverlayHistorySeconds ||
            history[old].clock > sample.clock || history.size() - old > kMaxSamples)) {
        ++old;
    }
    history.erase(history.begin(), history.begin() + static_cast<std::ptrdiff_t>(old));
}

const OverlaySample* latestTimed() {
    for (auto it = overlay.history.rbegin(); it != overlay.history.rend(); ++it) {
        if (it->gpuKnown) return &*it;
    }
    return nullptr;
}

OverlayRect lastItemRect() {
    const ImVec2 low = ImGui::GetItemRectMin();
    const ImVec2 high = ImGui::GetItemRectMax();
    return {low.x, low.y, high.x, high.y};
}

// A small graph of one figure over the history.
void historyGraph(const char* id, const std::vector<float>& values, float width) {
    float highest = 1.0f;
    for (float value : values) highest = std::max(highest, value);
    ImGui::PlotLines(id, values.data(), static_cast<int>(values.size()), 0, nullptr, 0.0f,
                     highest * 1.1f, ImVec2(width, 28.0f));
}

void frameSection() {
    const float frameMs = overlay.history.empty() ? 0.0f : overlay.history.back().frameMs;
    ImGui::Text("Frame %.1f ms (%.1f frames a second)", frameMs,
                frameMs > 0.0f ? 1000.0f / frameMs : 0.0f);
    std::vector<float> frameTimes;
    for (const OverlaySample& sample : overlay.history) frameTimes.push_back(sample.frameMs);
    historyGraph("##frame", frameTimes, 360.0f);

    if (!timer().supported()) {
        ImGui::TextWrapped("This driver has no timer queries: the frame time alone.");
        return;
    }
    const OverlaySample* timed = latestTimed();
    ImGui::Text("GPU time per pass, ms (timer queries)");
    if (!ImGui::BeginTable("passes", 3, ImGuiTableFlags_SizingFixedFit)) return;
    double total = 0.0;
    for (PassId pass : kTimedPasses) {
        const auto index = static_cast<std::size_t>(pass);
        const double ms = timed != nullptr ? timed->gpuMs[index] : 0.0;
        total += ms;
        ImGui::TableNextRow();
        ImGui::TableNextColumn();
        ImGui::TextUnformatted(pass == PassId::Mipmaps ? "mipmaps (in the scene pass)"
                                                       : passName(pass));
        ImGui::TableNextColumn();
        ImGui::Text("%7.2f", ms);
        ImGui::TableNextColumn();
        std::vector<float> values;
        for (const OverlaySample& sample : overlay.history) {
            if (sample.gpuKnown) values.push_back(static_cast<float>(sample.gpuMs[index]));
        }
        ImGui::PushID(static_cast<int>(index));
        historyGraph("##pass", values, 150.0f);
        ImGui::PopID();
    }
    ImGui::TableNextRow();
    ImGui::TableNextColumn();
    ImGui::TextUnformatted("all passes");
    ImGui::TableNextColumn();
    ImGui::Text("%7.2f", total);
    ImGui::EndTable();
}

void timelineSection() {
    ImGui::Text("Timeline at %.2f s", loop.currentTime);
    for (const std::string& line : describeTimeline(timelineStatus(loop.currentTime))) {
        ImGui::BulletText("%s", line.c_str());
    }
}

void cameraSection() {
    // As H prints it: the position, then pitch and yaw.
    std::ostringstream position;
    std::ostringstream angles;
    const glm::vec3& p = mainCamera.position;
    position << p.x << "," << p.y << "," << p.z;
    angles << mainCamera.pitch << " " << mainCamera.yaw;
    ImGui::Text("Camera %s, pitch and yaw %s", position.str().c_str(), angles.str().c_str());
}

void switchesSection() {
    ImGui::TextUnformatted("Shadows (O):");
    for (int mode = 0; mode < static_cast<int>(kShadowModeLabels.size()); ++mode) {
        ImGui::SameLine();
        ImGui::RadioButton(kShadowModeLabels[static_cast<std::size_t>(mode)], &loop.shadowMode,
                           mode);
        overlay.shadowModeChoices[static_cast<std::size_t>(mode)] = lastItemRect();
    }
    ImGui::Checkbox("Wireframe (Q)", &loop.wireframe);
    ImGui::SameLine();
    ImGui::Checkbox("Frame rate in the title (F)", &loop.showFps);
}

void viewSection() {
    ImGui::TextUnformatted("View (keys 0 to 5):");
    for (std::size_t n = 0; n < kPassViews.size(); ++n) {
        const std::string label = std::to_string(n) + "  " + passViewTitle(kPassViews[n]);
        if (ImGui::RadioButton(label.c_str(), overlay.view == kPassViews[n])) {
            overlay.view = kPassViews[n];
        }
    }
    ImGui::TextWrapped("%s", describeViewRange(overlay.view, overlay.range).c_str());
}

void drawInterface() {
    if (!ensureImGui()) return;
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    if (overlay.pointer) {
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = ImVec2(overlay.pointer->x, overlay.pointer->y);
        for (bool& down : io.MouseDown) down = false;
        io.MouseDown[0] = overlay.pointer->down;
    }
    ImGui::NewFrame();
    // Always in the same place, so that its controls are where a script expects them.
    ImGui::SetNextWindowPos(ImVec2(10.0f, 10.0f), ImGuiCond_Always);
    ImGui::SetNextWindowBgAlpha(0.85f);
    const ImGuiWindowFlags flags = ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoMove |
                                   ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings;
    if (ImGui::Begin("How this frame is made (F1 hides, F12 saves a picture)", nullptr, flags)) {
        frameSection();
        ImGui::Separator();
        timelineSection();
        cameraSection();
        ImGui::Separator();
        switchesSection();
        ImGui::Separator();
        viewSection();
        const ImVec2 at = ImGui::GetWindowPos();
        const ImVec2 size = ImGui::GetWindowSize();
        overlay.window = {at.x, at.y, at.x + size.x, at.y + size.y};
    }
    ImGui::End();
    ImGui::Render();
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
}

// Whether a key went down since the last frame.
bool pressed(int key, bool& wasDown) {
    const bool down = keyDown(key);
    const bool press = down && !wasDown;
    wasDown = down;
    return press;
}

}  // namespace

void beginOverlayFrame() {
    if (pressed(kOverlayKey, overlay.overlayKeyWasDown)) overlay.shown = !overlay.shown;
    for (std::size_t n = 0; n < kPassViews.size(); ++n) {
        if (keyDown(kFirstViewKey + static_cast<int>(n))) overlay.view = kPassViews[n];
    }
    if (pressed(kScreenshotKey, overlay.screenshotKeyWasDown)) overlay.screenshotAsked = true;
    ++overlay.frame;
    if (!overlay.shown || !timer().supported()) return;
    resources.observerBefore = passObserver;
    passObserver = &timer();
    timer().beginFrame(overlay.frame);
    overlay.timing = true;
}

void finishOverlayFrame() {
    if (overlay.timing) {
        timer().endFrame();
        passObserver = resources.observerBefore;
        overlay.timing = false;
    }
    if (overlay.view != PassView::Picture) {
        overlay.range = viewRange(overlay.view);
        drawPassView(overlay.view, overlay.range);
    } else {
        overlay.range = ViewRange{};
    }
    if (overlay.shown) {
        keepSample();
        if (timer().supported()) timer().collect(kFramesInFlight);
        drawInterface();
    }
    if (overlay.screenshotAsked) {
        overlay.screenshotAsked = false;
        saveScreenshot(overlay.screenshotFolder);
    }
}

void closeOverlay() {
    if (resources.imguiReady) {
        ImGui_ImplOpenGL3_Shutdown();
        ImGui_ImplGlfw_Shutdown();
        ImGui::DestroyContext();
    }
    if (overlay.timing) passObserver = resources.observerBefore;
    resources = OverlayResources{};
    overlay = OverlayState{};
}
