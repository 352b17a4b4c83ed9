#pragma once

#include <cstdio>
#include <functional>
#include <string>

// Files that the capture tool writes appear whole or not at all: each is written under a hidden
// temporary name beside its own and renamed when it is complete, so that a full disk, an error
// or an interruption leaves no half-written picture, note or video behind.

// The folder of a path ("." for a bare file name).
std::string folderOf(const std::string& path);

// A new, empty file beside `path` with a hidden name (".NAME.XXXXXX"), readable as a finished
// file would be. Empty string when the folder cannot be written; errno says why.
std::string createTemporaryBeside(const std::string& path);

// Writes `path` through `write` (false: it failed) into a temporary beside it, flushed to the
// disk, then renames it into place. On any failure the temporary is removed, nothing is left
// under either name, `why` says what went wrong and the result is false.
bool writeFileWhole(const std::string& path, const std::function<bool(std::FILE*)>& write,
                    std::string& why);
