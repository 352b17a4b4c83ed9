#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// A fresh, empty folder under the system's temp folder, removed when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Writes bytes (or text) to a file in the folder and returns its full path.
    std::string write(const std::string& name, const std::string& bytes) const;
    std::string write(const std::string& name, const std::vector<unsigned char>& bytes) const;

private:
    std::filesystem::path path_;
};

// A named pipe in `dir` whose writer, on a thread of its own, writes `bytes` and closes it
// once a reader opens it. A loader that reads it therefore sees those bytes and an end instead
// of waiting for good; one that leaves it alone is fine too: the destructor opens it to let the
// writer finish.
class PipeWithWriter {
public:
    PipeWithWriter(const TempDir& dir, const std::string& name, std::string bytes);
    ~PipeWithWriter();
    PipeWithWriter(const PipeWithWriter&) = delete;
    PipeWithWriter& operator=(const PipeWithWriter&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::thread writer_;
};

// How a child process ended, and what it wrote to standard error.
struct ChildEnd {
    bool exited = false;  // by exit(), with `code`; otherwise by `signal`
    int code = 0;
    int signal = 0;
    std::string errors;
};
// Runs `body` in a forked child, which then ends with exit code 0 unless `body` ended it
// (kChildThrew when an exception left it).
inline constexpr int kChildThrew = 99;
ChildEnd runInChild(const std::function<void()>& body);

// Runs `body` and returns what it wrote to standard output (printf and std::cout alike).
template <typename F>
std::string captureStdout(F&& body);

// Makes the working directory `dir` while alive; restores the previous one after.
class ScopedWorkingDir {
public:
    explicit ScopedWorkingDir(const std::filesystem::path& dir);
    ~ScopedWorkingDir();
    ScopedWorkingDir(const ScopedWorkingDir&) = delete;
    ScopedWorkingDir& operator=(const ScopedWorkingDir&) = delete;

private:
    std::filesystem::path previous_;
};

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>

template <typename F>
std::string captureStdout(F&& body) {
    std::fflush(stdout);
    std::cout.flush();
    ::testing::internal::CaptureStdout();
    body();
    std::fflush(stdout);
    std::cout.flush();
    return ::testing::internal::GetCapturedStdout();
}
