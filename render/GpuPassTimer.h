#pragma once

#include <GL/glew.h>

#include <array>
#include <cstdint>
#include <functional>

#include "render/PassTimer.h"

// GPU time per pass, in milliseconds; a pass that did not run in the frame reads 0.
using PassTimes = std::array<double, static_cast<std::size_t>(PassId::Count)>;

// Times the passes of each frame with GL_TIME_ELAPSED queries. Timer queries cannot nest, so
// the mipmap rebuilds, which lie inside the scene pass, end the scene's query and open their
// own; the scene's time is the sum of its pieces before and after them. Results are read a few
// frames later from a small ring of query sets, so reading them does not stall the frame.
class GpuPassTimer final : public PassObserver {
public:
    // A frame's results, by the number that beginFrame() was given.
    using Sink = std::function<void(std::uint64_t frame, const PassTimes& times)>;

    // Needs a current context; supported() tells whether the driver has timer queries.
    explicit GpuPassTimer(Sink sink);
    ~GpuPassTimer() override;
    GpuPassTimer(const GpuPassTimer&) = delete;
    GpuPassTimer& operator=(const GpuPassTimer&) = delete;

    bool supported() const { return supported_; }

    // Around the frame code of one frame (render and present).
    void beginFrame(std::uint64_t frame);
    void endFrame();
    // Hands over the results of every recorded frame but the `keep` newest ones (keep 0: all,
    // waiting for them where they are not ready yet).
    void collect(int keep);

    void passBegin(PassId pass) override;
    void passEnd(PassId pass) override;

private:
    static constexpr int kRingFrames = 4;
    static constexpr int kMaxPieces = 8;  // queries one frame may use

    struct FrameQueries {
        std::array<GLuint, kMaxPieces> queries{};
        std::array<PassId, kMaxPieces> passes{};
        int used = 0;
        bool pending = false;
        std::uint64_t frame = 0;
    };

    void startPiece(PassId pass);
    void stopPiece();
    void readBack(FrameQueries& slot);

    Sink sink_;
    bool supported_ = false;
    std::array<FrameQueries, kRingFrames> ring_{};
    int current_ = -1;        // slot of the frame being recorded, -1 between frames
    int openPiece_ = -1;      // index of the running query in that slot, -1 when none
    bool sceneOpen_ = false;  // inside the scene pass
    std::uint64_t recorded_ = 0;
};
