#pragma once

#include <string>
#include <vector>

// What keeps the frames from showing the scene after start-up, one line each (no newline): a
// program of the four that did not link (a stage file missing, empty or not compiling; its
// log is on the console already), a target whose framebuffer is incomplete. Empty when the
// pipeline is whole. The demo draws on regardless; the tools, whose pictures would be blank,
// stop. Call after startUp(), with the context current; leaves the default framebuffer bound.
std::vector<std::string> pipelineProblems();
