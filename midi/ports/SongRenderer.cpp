#include "midi/ports/SongRenderer.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "midi/OutputFile.h"
#include "midi/ports/FluidSynthInstance.h"
#include "midi/ports/SynthMessage.h"
#include "midi/TempoMap.h"

namespace selvik {

namespace {

constexpr int kRate = FluidSynthInstance::kSampleRate;
constexpr int kChannels = 2;
constexpr std::size_t kHeaderBytes = 44;
// The most frames a WAV file's 32-bit sizes can describe.
constexpr std::uint64_t kMaxFrames =
    (std::numeric_limits<std::uint32_t>::max() - (kHeaderBytes - 8)) / (kChannels * 2);

// The tail after the last event: rendered until this long a stretch stays at
// or below the silence level (FluidSynth's dither alone reaches a few units),
// for at most kMaxTailFrames.
constexpr int kSilenceLevel = 8;  // about -72 dBFS
constexpr std::uint64_t kSilentStretchFrames = kRate / 4;
constexpr std::uint64_t kMaxTailFrames = 5 * kRate;
constexpr int kChunkFrames = 4096;

// The sample a tick falls on, from the song's start, through its tempo map:
// on the first tempo exact rounding of tick * 60 * rate / (tempo * division),
// later from the start of the tempo that holds the tick; computed afresh for
// each event so that nothing accumulates. long double holds the product of a
// 32-bit tick and the constant without loss.
std::uint64_t frameOfTick(std::uint32_t tick, const TempoMap& map) {
    const TempoMap::Segment& segment = map.segmentAt(tick);
    const long double frames =
        static_cast<long double>(segment.seconds) * kRate +
        static_cast<long double>(tick - segment.tick) * 60.0L * kRate /
            (static_cast<long double>(segment.tempo) * map.division());
    return static_cast<std::uint64_t>(std::llround(frames));
}

// All tracks' events in time order; equal times keep track order, then the
// order within the track.
std::vector<const MidiEvent*> eventsInTimeOrder(const Song& song) {
    std::vector<const MidiEvent*> events;
    std::size_t total = 0;
    for (const SongTrack& track : song.tracks) {
        if (track.events) total += track.eventCount;
    }
    events.reserve(total);
    for (const SongTrack& track : song.tracks) {
        if (!track.events) continue;
        for (std::uint32_t i = 0; i < track.eventCount; ++i) events.push_back(&track.events[i]);
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiEvent* a, const MidiEvent* b) { return a->time < b->time; });
    return events;
}

void putU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void wavHeader(std::uint8_t* h, std::uint64_t frames) {
    const auto dataBytes = static_cast<std::uint32_t>(frames * kChannels * 2);
    std::memcpy(h, "RIFF", 4);
    putU32(h + 4, static_cast<std::uint32_t>(kHeaderBytes - 8) + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putU32(h + 16, 16);
    putU16(h + 20, 1);  // PCM
    putU16(h + 22, kChannels);
    putU32(h + 24, kRate);
    putU32(h + 28, kRate * kChannels * 2);
    putU16(h + 32, kChannels * 2);
    putU16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    putU32(h + 40, dataBytes);
}

RenderOutcome failure(std::string why) {
    RenderOutcome outcome;
    outcome.error = std::move(why);
    return outcome;
}

// Pulls interleaved stereo frames from the synthesizer onto the end of `pcm`.
void renderFrames(fluid_synth_t* synth, std::vector<std::int16_t>& pcm, std::uint64_t frames) {
    while (frames > 0) {
        const int chunk = static_cast<int>(std::min<std::uint64_t>(frames, kChunkFrames));
        const std::size_t at = pcm.size();
        pcm.resize(at + static_cast<std::size_t>(chunk) * kChannels);
        std::int16_t* out = pcm.data() + at;
        fluid_synth_write_s16(synth, chunk, out, 0, kChannels, out, 1, kChannels);
        frames -= static_cast<std::uint64_t>(chunk);
    }
}

bool isSilentFrame(const std::int16_t* frame) {
    return std::abs(frame[0]) <= kSilenceLevel && std::abs(frame[1]) <= kSilenceLevel;
}

bool writeWav(OutputFile& file, const std::vector<std::int16_t>& pcm, std::uint64_t frames) {
    std::uint8_t header[kHeaderBytes];
    wavHeader(header, frames);
    if (!file.write(header, sizeof header)) return false;
    // Little-endian whatever the machine, a block at a time.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kChunkFrames) * kChannels * 2);
    const std::size_t samples = static_cast<std::size_t>(frames) * kChannels;
    for (std::size_t start = 0; start < samples; start += bytes.size() / 2) {
        const std::size_t count = std::min(bytes.size() / 2, samples - start);
        for (std::size_t i = 0; i < count; ++i) {
            putU16(bytes.data() + 2 * i, static_cast<std::uint16_t>(pcm[start + i]));
        }
        if (!file.write(bytes.data(), count * 2)) return false;
    }
    return true;
}

}  // namespace

RenderOutcome renderSong(const Song& song, const std::string& wavPath,
                         const std::string& soundFontPath, std::optional<int> program) {
    if (program && (*program < 0 || *program > 127)) {
        return failure("the program number must be 0..127");
    }
    if (!(song.tempo > 0.0) || !std::isfinite(song.tempo) || song.division == 0) {
        return failure("the song has no usable tempo or division");
    }
    const std::vector<const MidiEvent*> events = eventsInTimeOrder(song);
    const TempoMap map = TempoMap::of(song);
    const std::uint64_t lastEventFrame = events.empty() ? 0 : frameOfTick(events.back()->time, map);
    if (lastEventFrame + kMaxTailFrames > kMaxFrames) {
        return failure("the song is too long for a WAV file");
    }

    OutputFile file;
    errno = 0;
    if (!file.open(wavPath.c_str())) {
        const int error = errno;
        return failure(std::string("cannot create the file") +
                       (error != 0 ? std::string(": ") + std::strerror(error) : std::string()));
    }
    std::string why;
    const std::unique_ptr<FluidSynthInstance> instance = FluidSynthInstance::create(soundFontPath, why);
    if (!instance) return failure(why);
    fluid_synth_t* synth = instance->synth();

    std::vector<std::int16_t> pcm;
    std::uint64_t frames = 0;
    try {
        pcm.reserve(static_cast<std::size_t>(lastEventFrame + kSilentStretchFrames) * kChannels);
        if (program) {
            // Every channel the song plays on gets the program; an empty song the first.
            const std::uint16_t channels = channelsUsed(song) != 0 ? channelsUsed(song) : 1u;
            for (ShortMessage channel = 0; channel < 16; ++channel) {
                if (channels & (1u << channel)) playOnSynth(synth, 0xC0u | channel | static_cast<ShortMessage>(*program) << 8);
            }
        }
        for (const MidiEvent* event : events) {
            const std::uint64_t at = frameOfTick(event->time, map);
            renderFrames(synth, pcm, at - pcm.size() / kChannels);
            playOnSynth(synth, event->status | static_cast<ShortMessage>(event->data1) << 8 |
                                   static_cast<ShortMessage>(event->data2) << 16);
        }
        // The tail: stop once a whole stretch has been silent, and keep only
        // up to the last sound in it.
        std::uint64_t lastSound = lastEventFrame;  // one past the last loud frame
        std::uint64_t tail = 0;
        while (tail < kMaxTailFrames) {
            const std::uint64_t before = pcm.size() / kChannels;
            renderFrames(synth, pcm, kChunkFrames);
            tail += kChunkFrames;
            for (std::uint64_t f = before; f < pcm.size() / kChannels; ++f) {
                if (!isSilentFrame(&pcm[static_cast<std::size_t>(f) * kChannels])) lastSound = f + 1;
            }
            if (pcm.size() / kChannels - lastSound >= kSilentStretchFrames) break;
        }
        frames = lastSound;
    } catch (const std::bad_alloc&) {
        return failure("not enough memory to render the song");
    }

    if (!writeWav(file, pcm, frames) || !file.commit()) {
        return failure("cannot write the file");
    }
    RenderOutcome outcome;
    outcome.ok = true;
    outcome.frames = frames;
    return outcome;
}

}  // namespace selvik
