#pragma once

// What the demo does before its window, so that what goes wrong is said plainly.

// Standard output line by line, into a file or a pipe too, so that the lines printed before a
// crash or a kill are not lost in a buffer. Call first.
void lineBufferedOutput();

// Checks that the working directory holds ./src and ./res. When it holds neither and
// `builtFrom` (the source tree the demo was built from) holds both, the demo moves there and
// reads them from there. One line on standard output says what is missing, and where the demo
// reads instead; nothing is printed when both folders are there.
void findResourceFolders(const char* builtFrom);
