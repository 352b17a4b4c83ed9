#pragma once

#include <optional>
#include <string>

#include "context/ContextChoice.h"

class CommandLine;

// The start-up that pelk-capture and pelk-bench share: the demo's own, on the context that
// --context asks for, with the checks that keep a tool from counting blank frames as work.

// Start-up did not give the demo's pipeline (no ./src, no ./res or none of its meshes, a
// program that did not link, an incomplete target): the frames would be blank.
inline constexpr int kExitNoPipeline = 3;

// A GL string (GL_RENDERER, GL_VERSION), "(unknown)" where the driver gives none.
std::string glString(unsigned name);

// --context, for the choices of ContextRequest.
void addContextOption(CommandLine& commandLine, ContextRequest& request);

// First in main: standard output line by line, a refused allocation ending the tool with one
// line (core/OutOfMemory.h).
void beginTool(const char* program);

// Before the context: ./src and ./res in the working directory, with the scene's meshes.
// False after one line on standard error that says what is missing.
bool resourcesHere();

// The context asked for, the demo's start-up (the timeline starts at clock 0), then the check
// that every program linked and every target is complete, and the "renderer:", "GL version:"
// and "context:" lines (unless `printContext` is false). Nothing when all went well; otherwise
// the exit status to end with, kExitNoPipeline, the pipeline shut down and what was wrong said,
// ending with "PROGRAM: NOTHING_DONE, as the frames would not show the scene" ("nothing
// written"). Ends the process itself where the demo's start-up would (see openToolContext).
std::optional<int> startPipeline(ContextRequest request, bool hiddenWindow, bool printContext,
                                 const char* nothingDone);
