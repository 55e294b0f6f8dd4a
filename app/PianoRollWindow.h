#pragma once

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "midi/TempoMap.h"
#include "plot/LevelGridImage.h"

class QLabel;

namespace selvik {
class Signal;
struct Song;
}  // namespace selvik

namespace selvik::app {

class PianoRollView;

// The piano-roll window: the loaded recording's spectrogram with the last
// analysis's notes over it, and a playhead while the song plays. Separate,
// resizable and non-modal; the main window feeds it.
//
// The spectrogram is computed once per loaded recording, on a thread of its
// own (a long recording takes longer than a frame), when the window is first
// shown after the load; the window keeps a copy of the samples until then,
// since the next load replaces the recognizer's. A load while a computation
// runs cancels it.
class PianoRollWindow : public QWidget {
    Q_OBJECT

public:
    using PositionSource = std::function<std::uint32_t()>;

    explicit PianoRollWindow(QWidget* parent = nullptr);
    ~PianoRollWindow() override;

    // A new recording (or none, when the load failed): everything shown is
    // cleared and the spectrogram is computed anew.
    void recordingLoaded(const Signal& signal);
    // The notes of a finished analysis.
    void songAnalysed(const Song& song);
    // From Play MIDI on, the playhead follows `position` (the tick sounding),
    // polled on this thread at the display's pace; the song gives the tempo.
    void followPlayback(PositionSource position, const Song& song);
    void stopFollowing();

    // Reads the position once and moves the playhead (the poll's step).
    void pollPlayhead();

    // State, for the tests and the screenshots.
    PianoRollView& view() const { return *view_; }
    bool computing() const { return computing_; }
    bool following() const { return static_cast<bool>(position_); }
    static constexpr int kPollMilliseconds = 30;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void startComputation();
    void cancelComputation();
    void onLevelGridReady(std::uint64_t job, std::shared_ptr<const LevelGridImage> image);

    PianoRollView* view_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer poll_;
    PositionSource position_;
    TempoMap tempoMap_{120.0, {}, 384};  // the followed song's, for the playhead

    // The samples waiting for their spectrogram; null once it is computing.
    std::shared_ptr<const std::vector<float>> pending_;
    std::int32_t pendingRate_ = 0;
    bool computing_ = false;
    std::uint64_t job_ = 0;
    std::shared_ptr<std::atomic<bool>> cancel_;
    std::jthread worker_;
};

}  // namespace selvik::app
