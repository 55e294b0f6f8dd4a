#pragma once

// A main window over recording MIDI ports, a clock the test moves by hand and
// SDL's silent audio driver, with the messages it shows recorded in order.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/MainDialog.h"
#include "core/MessageService.h"
#include "midi/MidiDeviceList.h"
#include "midi/PlaybackEngine.h"
#include "midi/stream/RecordingPort.h"
#include "preview/SdlSoundOutput.h"
#include "support/ManualStreamClock.h"
#include "support/TestWav.h"

QT_BEGIN_NAMESPACE
// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace selvik::testing_support {

// A temporary folder for one test, removed with it.
class TestFolder {
public:
    TestFolder() {
        char pattern[] = "/tmp/selvik-app-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    QString qpath() const { return QString::fromStdString(path_.string()); }
    QString file(const std::string& name) const { return QString::fromStdString((path_ / name).string()); }

private:
    std::filesystem::path path_;
};

// Two notes, one after the other, loud enough for the default settings.
inline std::vector<std::int16_t> twoNoteMelody() {
    std::vector<std::int16_t> samples = sine(440.0, 22050 * 3);
    const std::vector<std::int16_t> second = sine(659.26, 22050 * 3);
    samples.insert(samples.end(), second.begin(), second.end());
    return samples;
}

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override { makeWindow({"Recorder"}); }

    void TearDown() override {
        handler_.reset();
        dialog_.reset();
        freeMidiDevices();
        setMidiBackends({});
        setSelectedMidiDevice(0);
    }

    // Builds the window over recording ports with these names; messages go
    // to `messages` unless realBoxes is set.
    void makeWindow(std::vector<std::string> portNames, bool realBoxes = false) {
        handler_.reset();
        dialog_.reset();
        backend_ = std::make_shared<RecordingBackend>(std::move(portNames), clock_);
        setMidiBackends({backend_});
        setSelectedMidiDevice(0);
        dialog_ = makeDialog();
        if (!realBoxes) {
            handler_ = std::make_unique<ScopedMessageHandler>(
                [this](std::string_view text) { messages.emplace_back(text); });
        }
        dialog_->show();
    }

    // Shows the real message boxes from now on.
    void useRealMessageBoxes() { handler_.reset(); }

    virtual std::unique_ptr<app::MainDialog> makeDialog() {
        return std::make_unique<app::MainDialog>(engine_, [] { return std::make_unique<SdlSoundOutput>(); });
    }

    app::MainDialog& dialog() { return *dialog_; }
    template <typename T = QWidget>
    T* control(const char* id) {
        T* found = dialog_->findChild<T*>(QString::fromLatin1(id));
        EXPECT_NE(found, nullptr) << "no control " << id;
        return found;
    }
    QPushButton* button(const char* id) { return control<QPushButton>(id); }
    QComboBox* list(const char* id) { return control<QComboBox>(id); }
    QString labelText(const char* id) { return control<QLabel>(id)->text(); }

    QString writeMelody(const std::string& name) {
        writeWav16(folder.path() / name, twoNoteMelody());
        return folder.file(name);
    }
    // Loads a melody and analyses it with the window's start values.
    void loadAndAnalyse() {
        dialog().loadWavFile(writeMelody("melody.wav"));
        button("1010")->click();
        ASSERT_EQ(dialog().lastAnalysis(), AnalysisOutcome::Completed);
        ASSERT_GT(dialog().song().tracks[0].eventCount, 0u);
    }

    // Moves the clock on until the played song has ended and its end has
    // reached the window; false if it never did.
    bool playToTheEnd() {
        for (int step = 0; step < 400 && dialog().midiPlaying(); ++step) {
            if (!clock_.advance(std::chrono::milliseconds(250))) return false;
            QApplication::processEvents();
        }
        return !dialog().midiPlaying();
    }

    // The states of the buttons that change: Play WAV, Analyze, Play MIDI,
    // Save MIDI, Load WAV, MIDI Setup, and the Play MIDI text.
    std::string buttonStates() {
        std::string states;
        for (const char* id : {"1000", "1010", "1017", "1019", "1001", "1016"}) {
            states += button(id)->isEnabled() ? '1' : '0';
        }
        return states + " " + button("1017")->text().toStdString();
    }

    std::vector<std::string> messages;
    TestFolder folder;
    ManualStreamClock clock_;
    PlaybackEngine engine_{clock_};
    std::shared_ptr<RecordingBackend> backend_;

private:
    std::unique_ptr<app::MainDialog> dialog_;
    std::unique_ptr<ScopedMessageHandler> handler_;
};

}  // namespace selvik::testing_support
