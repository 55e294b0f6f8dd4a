// Short MIDI messages as the built-in synthesizer plays them, read back
// through FluidSynth's own channel state.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "midi/ports/FluidSynthInstance.h"
#include "midi/ports/SoundFontLocator.h"
#include "midi/ports/SynthMessage.h"

namespace selvik {
namespace {

constexpr ShortMessage message(int status, int data1 = 0, int data2 = 0) {
    return static_cast<ShortMessage>(status | data1 << 8 | data2 << 16);
}

class SynthMessages : public testing::Test {
protected:
    void SetUp() override {
        const auto soundFont = findSoundFont();
        ASSERT_TRUE(soundFont) << "no soundfont installed";
        std::string why;
        instance_ = FluidSynthInstance::create(*soundFont, why);
        ASSERT_TRUE(instance_) << why;
        synth_ = instance_->synth();
    }

    // Pulls `frames` stereo frames, as an audio driver would.
    void render(int frames) {
        std::vector<std::int16_t> buffer(static_cast<std::size_t>(frames) * 2);
        fluid_synth_write_s16(synth_, frames, buffer.data(), 0, 2, buffer.data(), 1, 2);
    }

    int cc(int channel, int number) {
        int value = -1;
        fluid_synth_get_cc(synth_, channel, number, &value);
        return value;
    }

    std::unique_ptr<FluidSynthInstance> instance_;
    fluid_synth_t* synth_ = nullptr;
};

TEST_F(SynthMessages, NoteOnStartsVoicesAndNoteOffReleasesThemOnTheNamedChannel) {
    playOnSynth(synth_, message(0xC3, 19));  // organ: sounds until released
    playOnSynth(synth_, message(0x93, 60, 100));
    render(4410);
    EXPECT_GT(fluid_synth_get_active_voice_count(synth_), 0);
    playOnSynth(synth_, message(0x80, 60, 64));  // another channel: no effect
    render(44100);
    EXPECT_GT(fluid_synth_get_active_voice_count(synth_), 0);
    playOnSynth(synth_, message(0x83, 60, 64));
    render(3 * 44100);
    EXPECT_EQ(fluid_synth_get_active_voice_count(synth_), 0);
}

TEST_F(SynthMessages, NoteOnWithVelocityZeroEndsTheNote) {
    playOnSynth(synth_, message(0xC0, 19));
    playOnSynth(synth_, message(0x90, 67, 90));
    render(4410);
    ASSERT_GT(fluid_synth_get_active_voice_count(synth_), 0);
    playOnSynth(synth_, message(0x90, 67, 0));
    render(3 * 44100);
    EXPECT_EQ(fluid_synth_get_active_voice_count(synth_), 0);
}

TEST_F(SynthMessages, ControlChangeSetsTheControllerOfItsChannel) {
    playOnSynth(synth_, message(0xB5, 7, 33));
    playOnSynth(synth_, message(0xB5, 10, 99));
    EXPECT_EQ(cc(5, 7), 33);
    EXPECT_EQ(cc(5, 10), 99);
    EXPECT_NE(cc(0, 7), 33);
}

TEST_F(SynthMessages, ProgramChangeSelectsThePresetOfItsChannel) {
    playOnSynth(synth_, message(0xC2, 73));
    int sfont = -1, bank = -1, preset = -1;
    ASSERT_EQ(fluid_synth_get_program(synth_, 2, &sfont, &bank, &preset), FLUID_OK);
    EXPECT_EQ(preset, 73);
    ASSERT_EQ(fluid_synth_get_program(synth_, 0, &sfont, &bank, &preset), FLUID_OK);
    EXPECT_EQ(preset, 0);
}

TEST_F(SynthMessages, PitchBendJoinsBothSevenBitHalves) {
    int bend = -1;
    playOnSynth(synth_, message(0xE1, 0x05, 0x41));  // LSB first on the wire
    ASSERT_EQ(fluid_synth_get_pitch_bend(synth_, 1, &bend), FLUID_OK);
    EXPECT_EQ(bend, 0x41 << 7 | 0x05);
    playOnSynth(synth_, message(0xE1, 0x7F, 0x7F));
    fluid_synth_get_pitch_bend(synth_, 1, &bend);
    EXPECT_EQ(bend, 16383);
}

TEST_F(SynthMessages, SystemMessagesAndDataBytesChangeNothing) {
    playOnSynth(synth_, message(0xB0, 7, 20));
    playOnSynth(synth_, message(0x07, 7, 90));   // a data byte, not a status
    playOnSynth(synth_, message(0xF8));          // clock
    playOnSynth(synth_, message(0xFF));          // reset: not for a song's stream
    EXPECT_EQ(cc(0, 7), 20);
}

}  // namespace
}  // namespace selvik
