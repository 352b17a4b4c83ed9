#include "tools/common/ToolStart.h"

#include <GL/glew.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/Loop.h"
#include "app/StartFolder.h"
#include "app/ToolContext.h"
#include "core/OutOfMemory.h"
#include "render/PipelineCheck.h"
#include "tools/common/CommandLine.h"

std::string glString(unsigned name) {
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text != nullptr ? text : "(unknown)";
}

void addContextOption(CommandLine& commandLine, ContextRequest& request) {
    commandLine.app()
        .add_option_function<std::string>(
            "--context",
            [&request](const std::string& value) { request = *parseContextRequest(value); },
            "where the GL context comes from: the hidden window on the X display (glx), or "
            "through EGL without one: a GPU device, else surfaceless, else a software device "
            "(egl), or only that platform; auto (default): glx where the X display answers and "
            "gives a window, else egl")
        ->type_name("auto|glx|egl|surfaceless|device|gpu")
        ->transform(oneOf({"auto", "glx", "egl", "surfaceless", "device", "gpu"}, kContextChoices));
}

void beginTool(const char* program) {
    lineBufferedOutput();
    endOnOutOfMemory(program);
}

bool resourcesHere() {
    const std::string problem = toolResourceProblem();
    if (problem.empty()) return true;
    std::fprintf(stderr, "%s: %s\n", toolName(), problem.c_str());
    return false;
}

std::optional<int> startPipeline(ContextRequest request, bool hiddenWindow, bool printContext,
                                 const char* nothingDone) {
    openToolContext(request, hiddenWindow, toolName());
    startUp();
    const std::vector<std::string> problems = pipelineProblems();
    for (const std::string& problem : problems) {
        std::fprintf(stderr, "%s: %s\n", toolName(), problem.c_str());
    }
    if (!problems.empty()) {
        std::fprintf(stderr, "%s: %s, as the frames would not show the scene\n", toolName(),
                     nothingDone);
        shutDown();
        return kExitNoPipeline;
    }
    if (printContext) {
        std::printf("renderer: %s\nGL version: %s\ncontext: %s\n", glString(GL_RENDERER).c_str(),
                    glString(GL_VERSION).c_str(), contextDescription(toolContext()).c_str());
    }
    return std::nullopt;
}
