#include "midi/MidiFileWriter.h"

#include <cmath>
#include <cstddef>
#include <string_view>

#include "midi/ByteWriter.h"
#include "midi/OutputFile.h"

namespace selvik {

namespace {

constexpr std::uint8_t kMetaEvent = 0xFF;
constexpr std::uint8_t kMetaText = 0x01;
constexpr std::uint8_t kMetaCopyright = 0x02;
constexpr std::uint8_t kMetaTrackName = 0x03;
constexpr std::uint8_t kMetaTempo = 0x51;
constexpr std::uint8_t kMetaTimeSignature = 0x58;
constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
constexpr std::uint32_t kMaxTempoValue = 0xFFFFFF;
constexpr std::uint32_t kTempoAndEndBytes = 7 + 4;
constexpr std::uint32_t kEndOfTrackBytes = 4;
constexpr std::uint32_t kTimeSignatureBytes = 8;
constexpr std::uint32_t kTempoBytesAfterDelta = 6;
constexpr std::uint64_t kMaxChunkLength = 0xFFFFFFFFull;

// Text lengths count the bytes up to the first zero, as in a C string.
std::string_view textBytes(const std::string& text) { return std::string_view(text.c_str()); }

std::uint64_t metaTextSize(std::string_view text) {
    // delta 00, FF, type, length quantity, bytes
    return 3u + static_cast<std::uint64_t>(varLenSize(static_cast<std::uint32_t>(text.size()))) +
           text.size();
}

void writeMetaText(ByteWriter& out, std::uint8_t type, std::string_view text) {
    out.put(0x00);
    out.put(kMetaEvent);
    out.put(type);
    writeVarLenText(out, text);
}

void writeEndOfTrack(ByteWriter& out) {
    // At delta time 1: every track ends one tick after its last event.
    const std::uint8_t end[] = {0x01, kMetaEvent, kMetaEndOfTrack, 0x00};
    out.write(end, sizeof end);
}

std::uint32_t tempoValue(double tempo) {
    const double value = std::trunc(60000000.0 / tempo);
    if (!(value >= 0.0) || value > static_cast<double>(kMaxTempoValue)) {
        return kMaxTempoValue;  // also NaN and the infinity of tempo 0
    }
    return static_cast<std::uint32_t>(value);
}

void writeTempo(ByteWriter& out, std::uint32_t delta, double tempo) {
    const std::uint32_t value = tempoValue(tempo);
    writeVarLen(out, delta);
    const std::uint8_t event[] = {kMetaEvent, kMetaTempo, 0x03, static_cast<std::uint8_t>(value >> 16),
                                  static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    out.write(event, sizeof event);
}

// The denominator as the power of two the file holds; a denominator that is
// no power of two is written as the nearest one below it.
std::uint8_t denominatorPower(std::uint8_t denominator) {
    std::uint8_t power = 0;
    while (power < 7 && (2u << power) <= denominator) ++power;
    return power;
}

void writeTimeSignature(ByteWriter& out, const TimeSignature& signature) {
    // The metronome clicks once a counted beat: 24 MIDI clocks a quarter note.
    const auto clocksPerClick = static_cast<std::uint8_t>(std::lround(24.0 * signature.quartersPerBeat()));
    const std::uint8_t event[] = {0x00, kMetaEvent, kMetaTimeSignature, 0x04, signature.numerator,
                                  denominatorPower(signature.denominator), clocksPerClick, 8};
    out.write(event, sizeof event);
}

// The tempo changes written after the first tempo: in order, a change at the
// tick of the one before it following it at delta 0 (the later one counts,
// as in the tempo map), one out of order left out (as the tempo map leaves
// it out).
std::uint64_t tempoChangesLength(const Song& song) {
    std::uint64_t length = 0;
    std::uint32_t previous = 0;
    for (const TempoChange& change : song.tempoChanges) {
        if (change.tick < previous) continue;
        length += static_cast<std::uint64_t>(varLenSize(change.tick - previous)) + kTempoBytesAfterDelta;
        previous = change.tick;
    }
    return length;
}

bool hasEvents(const SongTrack& track) { return track.eventCount != 0 && track.events; }

// The chunk length of a note track: the same walk as writeNoteTrack, counting.
std::uint64_t noteTrackLength(const SongTrack& track) {
    std::uint64_t length = kEndOfTrackBytes;
    if (track.name) {
        length += metaTextSize(textBytes(*track.name));
    }
    std::uint32_t previousTime = 0;
    std::uint8_t runningStatus = 0;
    for (std::uint32_t i = 0; i < track.eventCount; ++i) {
        const MidiEvent& event = track.events[i];
        length += static_cast<std::uint64_t>(varLenSize(event.time - previousTime));
        if (event.status != runningStatus) {
            ++length;
        }
        length += static_cast<std::uint64_t>(dataByteCount(event.status));
        previousTime = event.time;
        runningStatus = event.status;
    }
    return length;
}

void writeNoteTrack(ByteWriter& out, const SongTrack& track, std::uint32_t length) {
    out.write("MTrk", 4);
    out.writeBigEndian32(length);
    if (track.name) {
        writeMetaText(out, kMetaTrackName, textBytes(*track.name));
    }
    std::uint32_t previousTime = 0;
    std::uint8_t runningStatus = 0;
    for (std::uint32_t i = 0; i < track.eventCount; ++i) {
        const MidiEvent& event = track.events[i];
        writeVarLen(out, event.time - previousTime);
        if (event.status != runningStatus) {
            out.put(event.status);
        }
        const int dataBytes = dataByteCount(event.status);
        if (dataBytes >= 1) {
            out.put(event.data1);
        }
        if (dataBytes >= 2) {
            out.put(event.data2);
        }
        previousTime = event.time;
        runningStatus = event.status;
    }
    writeEndOfTrack(out);
}

bool drainToFile(void* context, const std::uint8_t* data, std::size_t size) {
    return static_cast<OutputFile*>(context)->write(data, size);
}

}  // namespace

int varLenSize(std::uint32_t value) {
    int size = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++size;
    }
    return size;
}

void writeVarLen(ByteWriter& out, std::uint32_t value) {
    const int size = varLenSize(value);
    for (int group = size - 1; group > 0; --group) {
        out.put(static_cast<std::uint8_t>(0x80 | ((value >> (7 * group)) & 0x7F)));
    }
    out.put(static_cast<std::uint8_t>(value & 0x7F));
}

void writeVarLenText(ByteWriter& out, std::string_view text) {
    writeVarLen(out, static_cast<std::uint32_t>(text.size()));
    out.write(text.data(), text.size());
}

int dataByteCount(std::uint8_t status) {
    if (status < 0x80) {
        return 1;
    }
    if (status < 0xC0) {
        return 2;
    }
    if (status < 0xE0) {
        return 1;
    }
    if (status < 0xF0) {
        return 2;
    }
    switch (status) {
        case 0xF2:
            return 2;
        case 0xF0:
        case 0xF1:
        case 0xF3:
        case 0xF4:
        case 0xF5:
            return 1;
        default:
            return 0;  // 0xF6..0xFF
    }
}

MidiResult writeMidiFile(const char* path, const Song* song) {
    if (song == nullptr) {
        return MidiResult::NoSong;
    }
    int tracksWithEvents = 0;
    for (const SongTrack& track : song->tracks) {
        if (hasEvents(track)) {
            ++tracksWithEvents;
        }
    }
    if (tracksWithEvents == 0) {
        return MidiResult::NoTrackWithEvents;
    }

    // Every chunk length is known before its chunk is written, so the file is
    // written front to back; a track too long for its length field is refused
    // before anything is created.
    std::uint32_t trackLengths[kSongTrackCount] = {};
    for (int t = 0; t < kSongTrackCount; ++t) {
        if (hasEvents(song->tracks[t])) {
            const std::uint64_t length = noteTrackLength(song->tracks[t]);
            if (length > kMaxChunkLength) {
                return MidiResult::CannotCreateFile;
            }
            trackLengths[t] = static_cast<std::uint32_t>(length);
        }
    }
    const std::optional<std::string>* texts[] = {&song->sequenceName, &song->notice, &song->text};
    const std::uint8_t textTypes[] = {kMetaTrackName, kMetaCopyright, kMetaText};
    std::uint64_t firstLength = kTempoAndEndBytes + tempoChangesLength(*song);
    if (song->timeSignature) firstLength += kTimeSignatureBytes;
    for (const auto* text : texts) {
        if (*text) {
            firstLength += metaTextSize(textBytes(**text));
        }
    }
    if (firstLength > kMaxChunkLength) {
        return MidiResult::CannotCreateFile;
    }

    OutputFile file;
    if (!file.open(path)) {
        return MidiResult::CannotCreateFile;
    }
    ByteWriter out(&drainToFile, &file);

    out.write("MThd", 4);
    out.writeBigEndian32(6);
    out.writeBigEndian16(1);  // format 1
    out.writeBigEndian16(static_cast<std::uint16_t>(tracksWithEvents + 1));
    out.writeBigEndian16(song->division);

    out.write("MTrk", 4);
    out.writeBigEndian32(static_cast<std::uint32_t>(firstLength));
    for (std::size_t i = 0; i < 3; ++i) {
        if (*texts[i]) {
            writeMetaText(out, textTypes[i], textBytes(**texts[i]));
        }
    }
    if (song->timeSignature) writeTimeSignature(out, *song->timeSignature);
    writeTempo(out, 0, song->tempo);
    std::uint32_t previous = 0;
    for (const TempoChange& change : song->tempoChanges) {
        if (change.tick < previous) continue;
        writeTempo(out, change.tick - previous, change.tempo);
        previous = change.tick;
    }
    writeEndOfTrack(out);

    for (int t = 0; t < kSongTrackCount; ++t) {
        if (hasEvents(song->tracks[t])) {
            writeNoteTrack(out, song->tracks[t], trackLengths[t]);
        }
    }

    if (!out.flush() || !file.commit()) {
        return MidiResult::CannotCreateFile;
    }
    return MidiResult::Success;
}

}  // namespace selvik
