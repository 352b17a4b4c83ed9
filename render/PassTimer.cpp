#include "render/PassTimer.h"

PassObserver* passObserver = nullptr;

const char* passName(PassId pass) {
    switch (pass) {
        case PassId::Shadow:
            return "shadow";
        case PassId::Reflection:
            return "reflection";
        case PassId::Scene:
            return "scene";
        case PassId::Post:
            return "post";
        case PassId::Mipmaps:
            return "mipmaps";
        case PassId::Count:
            break;
    }
    return "?";
}
