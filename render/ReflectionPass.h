#pragma once

// Once per frame, after the shadow pass: renders the lit, shadowed surroundings of the reflector
// (element 1 of the scene, left out of its own image) into the reflection cube.
void renderReflectionPass();
