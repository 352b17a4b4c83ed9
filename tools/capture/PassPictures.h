#pragma once

#include <string>
#include <vector>

// pelk-capture --passes: beside a moment's picture, each pass's images as the demo's views show
// them (render/PassViews.h), drawn into the window's buffer after the picture was read and
// written as PNG: frame-SS.SSS-shadow-depth.png, -shadow-moments, -reflection, -scene-color,
// -scene-depth. The post pass's image is the picture itself.

// The pass pictures' paths for a picture at `picture` ("DIR/frame-03.000.png").
std::vector<std::string> passPicturePaths(const std::string& picture);

// Draws and writes them, after the picture was read and before the frame is presented, each
// whole or not at all. On a failure the ones already written are removed again, `why` names the
// file and the reason, and the result is false.
bool writePassPictures(const std::string& picture, std::string& why);
