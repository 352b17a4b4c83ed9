// Files that the tools write appear whole or not at all: the older file stays when a write
// fails, a picture and its notes take their names together, no temporary is left behind, not
// even by a stop signal, and a signal ignored at start stays ignored.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/TestSupport.h"
#include "tools/common/Files.h"

namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder, hidden ones included.
std::vector<std::string> names(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(dir)) out.push_back(entry.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

FileToWrite text(const fs::path& path, std::string bytes) {
    return {path.string(), [bytes](std::FILE* file) {
                return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
            }};
}

}  // namespace

TEST(Files, SuffixesMatchWithoutRegardToCase) {
    for (const char* name : {"v.mp4", "v.MP4", "v.Mp4", "dir.MP4/v.mP4", ".mp4"}) {
        EXPECT_TRUE(endsWithIgnoringCase(name, ".mp4")) << name;
        EXPECT_TRUE(endsWithIgnoringCase(name, ".MP4")) << name;
    }
    for (const char* name : {"v.mp4x", "vmp4", "mp4", "v.mp3", ""}) {
        EXPECT_FALSE(endsWithIgnoringCase(name, ".mp4")) << name;
    }
}

TEST(Files, APictureAndItsNotesTakeTheirNamesTogether) {
    TempDir dir;
    const fs::path picture = dir.path() / "frame.png";
    const fs::path notes = dir.path() / "frame.txt";
    std::string failed;
    std::string why;
    ASSERT_TRUE(
        writeFilesWhole({text(picture, "new picture"), text(notes, "new notes")}, failed, why))
        << why;
    EXPECT_EQ(read(picture), "new picture");
    EXPECT_EQ(read(notes), "new notes");
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"frame.png", "frame.txt"}));
}

TEST(Files, AFolderInPlaceOfTheNotesKeepsTheOlderPictureAndIsNamed) {
    TempDir dir;
    const fs::path picture = dir.path() / "frame.png";
    const fs::path notes = dir.path() / "frame.txt";
    dir.write("frame.png", std::string("older picture"));
    fs::create_directory(notes);
    std::string failed;
    std::string why;
    EXPECT_FALSE(
        writeFilesWhole({text(picture, "new picture"), text(notes, "new notes")}, failed, why));
    EXPECT_EQ(failed, notes.string());
    EXPECT_EQ(why, std::strerror(EISDIR));
    EXPECT_EQ(read(picture), "older picture");
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"frame.png", "frame.txt"}));
}

TEST(Files, AFailedWriteLeavesTheOlderFileAndNoTemporary) {
    TempDir dir;
    const fs::path table = dir.path() / "bench.json";
    dir.write("bench.json", std::string("{\"older\": true}"));
    std::string failed;
    std::string why;
    const FileToWrite failing{table.string(), [](std::FILE* file) {
                                  std::fputs("{\"half", file);
                                  errno = ENOSPC;
                                  return false;
                              }};
    EXPECT_FALSE(writeFilesWhole({failing}, failed, why));
    EXPECT_EQ(why, std::strerror(ENOSPC));
    EXPECT_EQ(read(table), "{\"older\": true}");
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"bench.json"}));

    // A folder that does not exist: the reason names it.
    EXPECT_FALSE(writeBytesWhole((dir.path() / "none" / "x").string(), "x", why));
    EXPECT_NE(why.find("cannot make a file in " + (dir.path() / "none").string()),
              std::string::npos)
        << why;
}

TEST(Files, AStopSignalRemovesTheTemporariesAndSaysWhichFileWasNotWritten) {
    TempDir dir;
    const fs::path target = dir.path() / "frame.png";
    const ChildEnd child = runInChild([&] {
        removeTemporariesOnStopSignals();
        const std::string temporary = createTemporaryBeside(target.string());
        if (temporary.empty()) std::_Exit(3);
        raise(SIGTERM);
        std::_Exit(4);  // not reached: the signal ends the process
    });
    EXPECT_FALSE(child.exited);
    EXPECT_EQ(child.signal, SIGTERM);
    EXPECT_NE(child.errors.find("interrupted; " + target.string() + " not written\n"),
              std::string::npos)
        << child.errors;
    EXPECT_TRUE(names(dir.path()).empty());
}

TEST(Files, AnExitOnTheWayRemovesTheTemporariesToo) {
    TempDir dir;
    const ChildEnd child = runInChild([&] {
        createTemporaryBeside((dir.path() / "v.mp4").string());
        std::exit(1);  // as Xlib does when its X server goes away
    });
    EXPECT_TRUE(child.exited);
    EXPECT_NE(child.errors.find("ended before it was finished; "), std::string::npos)
        << child.errors;
    EXPECT_TRUE(names(dir.path()).empty());
    // Renamed into place, a file is no longer a temporary.
    const ChildEnd renamed = runInChild([&] {
        const std::string temporary = createTemporaryBeside((dir.path() / "kept").string());
        fs::rename(temporary, dir.path() / "kept");
        forgetTemporary(temporary);
        std::exit(1);
    });
    EXPECT_EQ(renamed.errors, "");
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"kept"}));
}

TEST(Files, ASignalIgnoredAtStartStaysIgnored) {
    TempDir dir;
    const ChildEnd child = runInChild([&] {
        std::signal(SIGHUP, SIG_IGN);  // as nohup leaves it
        removeTemporariesOnStopSignals();
        createTemporaryBeside((dir.path() / "frame.png").string());
        raise(SIGHUP);
        std::_Exit(7);
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.code, 7);
    EXPECT_FALSE(names(dir.path()).empty());  // _Exit removes nothing: the temporary is there
}
