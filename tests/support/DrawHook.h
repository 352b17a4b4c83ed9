#pragma once

#include <functional>

// Runs `check` right before every glDrawElements and glDrawArrays that the code under test
// makes, until cleared with an empty function. The GL test binary is linked with the linker's
// --wrap for both calls, so the demo's own draws pass through here unchanged.
void setBeforeDraw(std::function<void()> check);
