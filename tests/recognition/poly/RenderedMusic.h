#pragma once

// Short pieces written as Standard MIDI Files and rendered at test time by
// the fluidsynth program with TimGM6mb, for the polyphonic recognizer's tests.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "signal/Signal.h"

namespace selvik::test {

inline constexpr const char* kTimGm6mb = "/usr/share/sounds/sf2/TimGM6mb.sf2";

struct PlayedNote {
    int channel;
    int note;
    double start;  // seconds
    double end;
    int velocity = 100;
};

// A format-0 file at 120 BPM, 480 ticks per quarter (960 ticks per second).
// programs[c] is sent on channel c first; channel 9 is the drum kit.
inline std::vector<unsigned char> midiFile(const std::vector<PlayedNote>& notes,
                                           const std::vector<int>& programs) {
    struct Event {
        std::uint32_t tick;
        int order;  // note-offs before note-ons at the same tick
        unsigned char bytes[3];
    };
    std::vector<Event> events;
    for (std::size_t c = 0; c < programs.size(); ++c) {
        events.push_back({0, -1, {static_cast<unsigned char>(0xC0 | c), static_cast<unsigned char>(programs[c]), 0}});
    }
    for (const PlayedNote& n : notes) {
        const auto on = static_cast<std::uint32_t>(n.start * 960.0 + 0.5);
        const auto off = static_cast<std::uint32_t>(n.end * 960.0 + 0.5);
        events.push_back({on, 1, {static_cast<unsigned char>(0x90 | n.channel), static_cast<unsigned char>(n.note),
                                  static_cast<unsigned char>(n.velocity)}});
        events.push_back({off, 0, {static_cast<unsigned char>(0x80 | n.channel), static_cast<unsigned char>(n.note), 0}});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    std::vector<unsigned char> track;
    std::uint32_t now = 0;
    auto varLen = [&](std::uint32_t v) {
        unsigned char buf[5];
        int k = 0;
        buf[k++] = v & 0x7f;
        while ((v >>= 7) != 0) buf[k++] = static_cast<unsigned char>(0x80 | (v & 0x7f));
        while (k > 0) track.push_back(buf[--k]);
    };
    for (const Event& e : events) {
        varLen(e.tick - now);
        now = e.tick;
        const int size = (e.bytes[0] & 0xF0) == 0xC0 ? 2 : 3;
        track.insert(track.end(), e.bytes, e.bytes + size);
    }
    varLen(960);  // a second of release at the end
    track.insert(track.end(), {0xFF, 0x2F, 0x00});
    std::vector<unsigned char> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0,
                                       'M', 'T', 'r', 'k'};
    const auto size = static_cast<std::uint32_t>(track.size());
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<unsigned char>(size >> shift));
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

// Renders the notes with FluidSynth and TimGM6mb into `signal` (mono,
// normalised to a peak of 1). False when fluidsynth or the file fails.
inline bool renderNotes(const std::vector<PlayedNote>& notes, const std::vector<int>& programs,
                        Signal& signal) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("selvik-poly-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path mid = folder / "piece.mid";
    const std::filesystem::path wav = folder / "piece.wav";
    {
        const std::vector<unsigned char> bytes = midiFile(notes, programs);
        std::ofstream out(mid, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const std::string command = "fluidsynth -ni -q -F '" + wav.string() + "' -r 44100 " + kTimGm6mb + " '" +
                                mid.string() + "' > /dev/null 2>&1";
    const bool rendered = std::system(command.c_str()) == 0 &&
                          signal.readWav(wav.c_str()) == SignalStatus::NoError;
    std::filesystem::remove_all(folder);
    if (rendered) signal.normalize();
    return rendered;
}

}  // namespace selvik::test
