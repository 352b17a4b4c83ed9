#include "tools/common/ToolName.h"

namespace {

const char* name = "pelk";

}  // namespace

const char* toolName() { return name; }

void nameTool(const char* tool) { name = tool; }
