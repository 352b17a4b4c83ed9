#include "render/GpuPassTimer.h"

#include <algorithm>
#include <utility>

GpuPassTimer::GpuPassTimer(Sink sink) : sink_(std::move(sink)) {
    supported_ = GLEW_VERSION_3_3 || GLEW_ARB_timer_query;
    if (!supported_) return;
    for (FrameQueries& slot : ring_) glGenQueries(kMaxPieces, slot.queries.data());
}

GpuPassTimer::~GpuPassTimer() {
    if (!supported_) return;
    for (FrameQueries& slot : ring_) glDeleteQueries(kMaxPieces, slot.queries.data());
}

void GpuPassTimer::beginFrame(std::uint64_t frame) {
    if (!supported_) return;
    current_ = static_cast<int>(recorded_ % kRingFrames);
    FrameQueries& slot = ring_[static_cast<std::size_t>(current_)];
    // A slot still waiting for its results is read now rather than overwritten.
    if (slot.pending) readBack(slot);
    slot.used = 0;
    slot.frame = frame;
    openPiece_ = -1;
    sceneOpen_ = false;
}

void GpuPassTimer::endFrame() {
    if (current_ < 0) return;
    stopPiece();
    ring_[static_cast<std::size_t>(current_)].pending = true;
    current_ = -1;
    ++recorded_;
}

void GpuPassTimer::collect(int keep) {
    if (!supported_) return;
    // Oldest first, so that the sink sees the frames in order; age 1 is the newest frame.
    for (int age = kRingFrames; age > std::max(keep, 0); --age) {
        if (recorded_ < static_cast<std::uint64_t>(age)) continue;
        FrameQueries& slot = ring_[static_cast<std::size_t>((recorded_ - age) % kRingFrames)];
        if (slot.pending) readBack(slot);
    }
}

void GpuPassTimer::passBegin(PassId pass) {
    if (current_ < 0) return;
    if (pass == PassId::Mipmaps && sceneOpen_) stopPiece();
    if (pass == PassId::Scene) sceneOpen_ = true;
    startPiece(pass);
}

void GpuPassTimer::passEnd(PassId pass) {
    if (current_ < 0) return;
    stopPiece();
    if (pass == PassId::Scene) sceneOpen_ = false;
    if (pass == PassId::Mipmaps && sceneOpen_) startPiece(PassId::Scene);
}

void GpuPassTimer::startPiece(PassId pass) {
    FrameQueries& slot = ring_[static_cast<std::size_t>(current_)];
    if (openPiece_ >= 0 || slot.used == kMaxPieces) return;
    openPiece_ = slot.used++;
    slot.passes[static_cast<std::size_t>(openPiece_)] = pass;
    glBeginQuery(GL_TIME_ELAPSED, slot.queries[static_cast<std::size_t>(openPiece_)]);
}

void GpuPassTimer::stopPiece() {
    if (openPiece_ < 0) return;
    glEndQuery(GL_TIME_ELAPSED);
    openPiece_ = -1;
}

void GpuPassTimer::readBack(FrameQueries& slot) {
    PassTimes times{};
    for (int i = 0; i < slot.used; ++i) {
        GLuint64 nanoseconds = 0;
        glGetQueryObjectui64v(slot.queries[static_cast<std::size_t>(i)], GL_QUERY_RESULT,
                              &nanoseconds);
        times[static_cast<std::size_t>(slot.passes[static_cast<std::size_t>(i)])] +=
            static_cast<double>(nanoseconds) * 1e-6;
    }
    slot.pending = false;
    if (sink_) sink_(slot.frame, times);
}
