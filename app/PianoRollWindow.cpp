#include "app/PianoRollWindow.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/PianoRollView.h"
#include "midi/Song.h"
#include "plot/RollBeats.h"
#include "plot/RollNotes.h"
#include "plot/LevelGrid.h"
#include "signal/Signal.h"

namespace selvik::app {

namespace {

const QString kHint = QStringLiteral("Wheel: zoom time   Ctrl+wheel: zoom notes   Shift+wheel: scroll   "
                                     "Hover a note for its details");

}  // namespace

PianoRollWindow::PianoRollWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("PianoRoll"));
    setWindowTitle(QStringLiteral("SELVIK - Piano roll"));
    view_ = new PianoRollView(this);
    status_ = new QLabel(kHint, this);
    status_->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(view_, 1);
    layout->addWidget(status_);
    resize(960, 540);

    poll_.setInterval(kPollMilliseconds);
    connect(&poll_, &QTimer::timeout, this, &PianoRollWindow::pollPlayhead);
}

PianoRollWindow::~PianoRollWindow() { cancelComputation(); }

void PianoRollWindow::cancelComputation() {
    if (cancel_) cancel_->store(true);
    // The computation checks the flag between frames, so this wait is short.
    if (worker_.joinable()) worker_.join();
    cancel_.reset();
    computing_ = false;
    ++job_;
}

void PianoRollWindow::recordingLoaded(const Signal& signal) {
    cancelComputation();
    view_->clear();
    status_->setText(kHint);
    pending_.reset();
    if (signal.samples() == nullptr || signal.count() <= 0) return;
    pending_ = std::make_shared<const std::vector<float>>(signal.samples(), signal.samples() + signal.count());
    pendingRate_ = signal.sampleRate() > 0 ? signal.sampleRate() : 44100;
    if (isVisible()) startComputation();
}

void PianoRollWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (pending_ && !computing_) startComputation();
}

void PianoRollWindow::startComputation() {
    std::shared_ptr<const std::vector<float>> samples = std::move(pending_);
    pending_.reset();
    if (!samples) return;
    computing_ = true;
    status_->setText(QStringLiteral("Computing the spectrogram..."));
    const std::uint64_t job = ++job_;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    const std::int32_t rate = pendingRate_;
    worker_ = std::jthread([this, job, samples, rate, cancel = cancel_] {
        const LevelGrid spectrogram = computeLevelGrid(
            samples->data(), static_cast<std::int32_t>(samples->size()), rate, {}, cancel.get());
        if (cancel->load()) return;
        auto image = std::make_shared<const LevelGridImage>(spectrogram);
        // The window outlives this thread (its destructor joins it), and a
        // cancelled job is recognised by its number on arrival.
        QMetaObject::invokeMethod(
            this, [this, job, image] { onLevelGridReady(job, image); }, Qt::QueuedConnection);
    });
}

void PianoRollWindow::onLevelGridReady(std::uint64_t job, std::shared_ptr<const LevelGridImage> image) {
    if (job != job_) return;
    if (worker_.joinable()) worker_.join();
    cancel_.reset();
    computing_ = false;
    status_->setText(kHint);
    view_->setLevelGrid(std::move(image));
}

void PianoRollWindow::songAnalysed(const Song& song) {
    view_->setNotes(rollNotes(song));
    view_->setBeats(rollBeats(song));
}

void PianoRollWindow::followPlayback(PositionSource position, const Song& song) {
    position_ = std::move(position);
    tempoMap_ = TempoMap::of(song);
    poll_.start();
    pollPlayhead();
}

void PianoRollWindow::stopFollowing() {
    poll_.stop();
    position_ = nullptr;
    view_->setPlayhead(std::nullopt);
}

void PianoRollWindow::pollPlayhead() {
    if (!position_) return;
    view_->setPlayhead(tempoMap_.secondsAt(position_()));
}

}  // namespace selvik::app
