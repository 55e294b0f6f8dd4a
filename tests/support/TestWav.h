#pragma once

// Test-only helpers: writing small 16-bit PCM WAV files and running programs.

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace selvik::testing_support {

// Writes a canonical 44-byte-header PCM WAV file of 16-bit mono samples.
inline void writeWav16(const std::filesystem::path& path, const std::vector<std::int16_t>& samples,
                       std::uint32_t rate = 44100) {
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    auto u16 = [&](std::uint16_t v) {
        out.put(static_cast<char>(v & 0xFF));
        out.put(static_cast<char>(v >> 8));
    };
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    u32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(dataBytes);
    for (std::int16_t s : samples) u16(static_cast<std::uint16_t>(s));
}

// A sine of `frequency` Hz, `count` samples at 44100 Hz, peak `amplitude` (of 32767).
inline std::vector<std::int16_t> sine(double frequency, std::size_t count,
                                      double amplitude = 30000.0) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(2.0 * M_PI * frequency * static_cast<double>(i) / 44100.0)));
    }
    return samples;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Runs a program with arguments (no shell), capturing both output streams.
inline ProcessResult runProgram(const std::vector<std::string>& argv,
                                const std::filesystem::path& workDir) {
    const auto outPath = workDir / ".stdout";
    const auto errPath = workDir / ".stderr";
    const pid_t child = fork();
    if (child == 0) {
        if (!std::freopen(outPath.c_str(), "w", stdout) || !std::freopen(errPath.c_str(), "w", stderr) ||
            chdir(workDir.c_str()) != 0) {
            _exit(127);
        }
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    ProcessResult result;
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return result;
}

// Starts a program (no shell, standard error discarded), sends it SIGINT after
// `delay`, and returns its exit status, or -1 if it has not ended within a
// generous limit afterwards (it is then killed).
inline int runAndInterrupt(const std::vector<std::string>& argv, const std::filesystem::path& workDir,
                           std::chrono::milliseconds delay) {
    const pid_t child = fork();
    if (child == 0) {
        if (!std::freopen("/dev/null", "w", stderr) || chdir(workDir.c_str()) != 0) _exit(127);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    if (child < 0) return -1;
    std::this_thread::sleep_for(delay);
    kill(child, SIGINT);
    int status = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    pid_t done = 0;
    while ((done = waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace selvik::testing_support
