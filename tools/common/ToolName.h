#pragma once

// The running tool's name, the prefix of its own lines ("pelk-capture: ..."). Set once, first
// thing, by its CommandLine; "pelk" before that.
const char* toolName();
void nameTool(const char* name);
