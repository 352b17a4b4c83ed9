#pragma once

#include <functional>
#include <string>

// Runs `write` on a temporary file next to `path` and renames it onto `path` when it succeeds,
// so that a reader (or a second generator running at the same time) never sees a half-written
// file. Returns false, leaving no temporary behind, when writing or renaming fails.
bool writeAtomically(const std::string& path,
                     const std::function<bool(const std::string& temporary)>& write);
