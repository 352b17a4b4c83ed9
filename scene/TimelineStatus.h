#pragma once

#include <string>
#include <vector>

// What the scripted timeline is doing at a moment, for people to read (the overlay): which
// flight leg flies the camera, what falls and what moves, which switch a flag window forces.
struct TimelineStatus {
    int flightLeg = 0;  // 1 to kFlightLegCount while that leg flies the camera; 0 otherwise
    double legStart = 0.0;
    double legEnd = 0.0;
    int legsLeft = 0;                  // legs that have not ended yet, the flying one included
    std::vector<std::string> falling;  // objects that a reveal track is bringing in
    std::vector<std::string> moving;   // objects that a move track is moving
    int forcedShadowMode = -1;         // the mode a window forces now; -1 none
    double shadowWindowEnd = 0.0;      // when that window closes
    bool wireframeForced = false;
    double wireframeWindowEnd = 0.0;
};

// The timeline as the last animation step left it, at clock t (that step's moment): call
// after animationStep(t), which drops the tracks it has finished.
TimelineStatus timelineStatus(double t);

// The status in a few short lines ("flight leg 2 of 5, 9.0 to 29.0 s"; "falling: Z2";
// "forced: filtered shadows until 4.0 s"); "nothing scripted" when the script is over.
std::vector<std::string> describeTimeline(const TimelineStatus& status);
