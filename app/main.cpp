#include "app/Loop.h"
#include "app/StartFolder.h"
#include "app/Window.h"
#include "core/OutOfMemory.h"

#ifndef PELK_SOURCE_DIR
#define PELK_SOURCE_DIR ""
#endif

int main() {
    lineBufferedOutput();
    endOnOutOfMemory("Pelk");
    findResourceFolders(PELK_SOURCE_DIR);
    initWindow();
    startUp();
    runFrameLoop();
    shutDown();
    return 0;
}
