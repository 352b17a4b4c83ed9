#include "scene/TimelineStatus.h"

#include <cstdio>

#include "scene/Animation.h"

namespace {

bool insideTrack(const PointTrack& track, double t) {
    return track.startTime < t && t <= track.endTime;
}

// Inside a flag window that opens at `start`: the frames whose switch it forces.
bool insideWindow(double start, double t) { return start < t && t < start + kFlagWindowLength; }

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

const char* shadowModeName(int mode) {
    switch (mode) {
        case 0:
            return "hard";
        case 1:
            return "soft";
        case 2:
            return "filtered";
        default:
            return "unknown";
    }
}

}  // namespace

TimelineStatus timelineStatus(double t) {
    TimelineStatus status;
    const std::vector<PointTrack>& legs = timeline.cameraTracks;
    // Finished legs have been dropped: the first one left is leg (count - left + 1).
    status.legsLeft = static_cast<int>(legs.size());
    const int legsDone = static_cast<int>(kFlightLegCount) - status.legsLeft;
    for (std::size_t i = 0; i < legs.size(); ++i) {
        if (!insideTrack(legs[i], t)) continue;
        status.flightLeg = legsDone + static_cast<int>(i) + 1;
        status.legStart = legs[i].startTime;
        status.legEnd = legs[i].endTime;
        break;
    }
    for (const PointTrack& track : timeline.revealTracks) {
        if (insideTrack(track, t) && track.target != nullptr) {
            status.falling.push_back(track.target->getName());
        }
    }
    for (const PointTrack& track : timeline.moveTracks) {
        if (insideTrack(track, t) && track.target != nullptr) {
            status.moving.push_back(track.target->getName());
        }
    }
    // Later windows win, as in the animation step.
    if (insideWindow(timeline.shadowWindow2Start, t)) {
        status.forcedShadowMode = 2;
        status.shadowWindowEnd = timeline.shadowWindow2Start + kFlagWindowLength;
    }
    if (insideWindow(timeline.shadowWindow1Start, t)) {
        status.forcedShadowMode = 1;
        status.shadowWindowEnd = timeline.shadowWindow1Start + kFlagWindowLength;
    }
    if (insideWindow(timeline.animationEnd, t)) {
        status.wireframeForced = true;
        status.wireframeWindowEnd = timeline.animationEnd + kFlagWindowLength;
    }
    return status;
}

std::vector<std::string> describeTimeline(const TimelineStatus& status) {
    std::vector<std::string> lines;
    char line[160];
    if (status.flightLeg > 0) {
        std::snprintf(line, sizeof line, "flight leg %d of %zu, %.1f to %.1f s", status.flightLeg,
                      kFlightLegCount, status.legStart, status.legEnd);
        lines.emplace_back(line);
    } else if (status.legsLeft > 0) {
        std::snprintf(line, sizeof line, "camera resting, %d of %zu legs to come", status.legsLeft,
                      kFlightLegCount);
        lines.emplace_back(line);
    }
    if (!status.falling.empty()) lines.push_back("falling: " + joined(status.falling));
    if (!status.moving.empty()) lines.push_back("moving: " + joined(status.moving));
    if (status.forcedShadowMode >= 0) {
        std::snprintf(line, sizeof line, "forced: %s shadows until %.1f s",
                      shadowModeName(status.forcedShadowMode), status.shadowWindowEnd);
        lines.emplace_back(line);
    }
    if (status.wireframeForced) {
        std::snprintf(line, sizeof line, "forced: wireframe on until %.1f s",
                      status.wireframeWindowEnd);
        lines.emplace_back(line);
    }
    if (lines.empty()) lines.emplace_back("nothing scripted");
    return lines;
}
