#pragma once

#include <string>

// What the demo does before its window, so that what goes wrong is said plainly.

// Standard output line by line, into a file or a pipe too, so that the lines printed before a
// crash or a kill are not lost in a buffer. Call first.
void lineBufferedOutput();

// Checks that the working directory holds ./src and ./res. When it holds neither and
// `builtFrom` (the source tree the demo was built from) holds both, the demo moves there and
// reads them from there. One line on standard output says what is missing, and where the demo
// reads instead; another where ./res lacks the scene's meshes (checkMeshFiles); nothing is
// printed when all is there. The demo runs on either way.
void findResourceFolders(const char* builtFrom);

// The same check for the tools, which do not move and whose pictures would be blank without
// the stage files or the meshes: the one line that says what is missing in the working
// directory, or empty when all is there.
std::string toolResourceProblem();
