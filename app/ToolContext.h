#pragma once

#include "context/ContextChoice.h"

// The tools' GL context (pelk-capture and pelk-bench): the choice of context/ContextChoice.h
// made with the demo's own window, then the demo's GL start-up on it.

// The context that openToolContext() made.
const ContextInfo& toolContext();

// Start-up step 1 of the tools, in place of initWindow(): the context asked for, GLEW (whose
// "no GLX display" is expected without a window), the first start-up line and the check of what
// the driver offers. Where Auto does not get the window, one line on standard error says why.
// Ends the process as initWindow() does: -10 when no context can be made (after one line on
// standard error that says what each way tried answered), GLEW's error code, or
// kExitGlLacksFeatures. `program` names the tool in its lines.
void openToolContext(ContextRequest request, bool hiddenWindow, const char* program);
