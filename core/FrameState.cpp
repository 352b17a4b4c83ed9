#include "core/FrameState.h"

LoopState loop;
