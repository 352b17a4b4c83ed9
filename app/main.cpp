#include "app/Loop.h"

int main() {
    initWindow();
    startUp();
    runFrameLoop();
    shutDown();
    return 0;
}
