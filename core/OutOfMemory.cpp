#include "core/OutOfMemory.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const char* programName = "Pelk";

void say(const char* text) {
    if (write(STDERR_FILENO, text, std::strlen(text)) < 0) {
        // Nothing more can be said.
    }
}

void onRefusedAllocation() { endOutOfMemory(""); }

}  // namespace

void endOnOutOfMemory(const char* program) {
    programName = program;
    std::set_new_handler(onRefusedAllocation);
}

void endOutOfMemory(const char* what) {
    std::fflush(stdout);
    say(programName);
    say(": out of memory");
    if (what != nullptr && *what != '\0') {
        say(": ");
        say(what);
    }
    say("\n");
    // Not exit(): the static destructors of the libraries could run while another thread is
    // still inside them.
    std::quick_exit(kExitOutOfMemory);
}
