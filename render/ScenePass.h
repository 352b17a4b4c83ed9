#pragma once

// Once per frame, after the reflection pass and the wireframe switch: draws the sky and every
// object as the camera sees it into the scene target, shadowed and reflecting.
void renderScenePass();
