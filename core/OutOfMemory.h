#pragma once

#include <string>

// Running out of memory ends the program with one line that says so, not with an abort from
// an exception nobody catches, nor with a message that blames something else.

// The exit code then: the demo's start-up codes go on from -10, -11 and -12.
inline constexpr int kExitOutOfMemory = -13;

// From now on a refused allocation (operator new) ends the program through endOutOfMemory().
// `program` begins the line: "Pelk", "pelk-capture". Call first in main.
void endOnOutOfMemory(const char* program);

// Ends the program at once: "PROGRAM: out of memory" (and ": WHAT" where `what` is not empty)
// on standard error, standard output flushed, the handlers of at_quick_exit run, then exit code
// kExitOutOfMemory. Safe to call where an allocation has just failed: it allocates nothing.
[[noreturn]] void endOutOfMemory(const char* what);
