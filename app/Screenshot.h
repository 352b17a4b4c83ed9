#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The screenshot key's pictures: PNG files in the working folder under numbered names,
// "pelk-0001.png", "pelk-0002.png" and so on. A file already there is never replaced.

inline constexpr int kMaxScreenshotNumber = 9999;

// Encodes `pixels` (RGB bytes, bottom row first, width x height) as a PNG, top row first, into
// `file`. False when the encoder or any write failed.
bool writePng(std::FILE* file, const std::vector<unsigned char>& pixels, int width, int height);

// The name of screenshot number `number` ("pelk-0007.png").
std::string screenshotName(int number);

// Writes `pixels` (RGB bytes, bottom row first, width x height) as a PNG into `folder` under
// the lowest numbered name that no file has, whole or not at all: under a hidden temporary name
// first, flushed, synced and closed, then linked to the numbered name only where that name is
// still free (another writer may take it meanwhile; the next number is tried then). Returns the
// path written; empty, with `why` saying what went wrong and nothing left behind, on failure.
std::string saveNumberedPng(const std::string& folder, const std::vector<unsigned char>& pixels,
                            int width, int height, std::string& why);

// Once per frame, after everything is drawn and before the frame is presented: reads the
// window's picture as it will be shown (a view and the overlay included), saves it in `folder`
// (the demo's: the working folder, ".") and prints one line naming the file ("pelk-0001.png"
// in the working folder, else with its folder), or one saying why it could not.
void saveScreenshot(const std::string& folder);
