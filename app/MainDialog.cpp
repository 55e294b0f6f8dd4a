#include "app/MainDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <algorithm>
#include <utility>
#include <new>

#include "app/AboutDialog.h"
#include "app/AnalyzeCommand.h"
#include "app/DialogUnits.h"
#include "app/FileDialogs.h"
#include "app/IntegerText.h"
#include "app/MidiSetupDialog.h"
#include "app/PianoRollWindow.h"
#include "app/ProgressBarIndicator.h"
#include "app/RangeLabel.h"
#include "app/UpDownControl.h"
#include "core/MessageService.h"
#include "midi/MidiDeviceList.h"
#include "midi/MidiFileWriter.h"
#include "midi/PlaybackEngine.h"
#include "midi/QuantizeGrid.h"
#include "pipeline/RecordingLoader.h"
#include "preview/SoundOutput.h"
#include "recognition/ParameterRanges.h"
#include "recognition/classic/Recognizer.h"

namespace selvik::app {

namespace {

constexpr std::uint32_t kMinimizeCommand = 0xF020;
constexpr std::uint32_t kCloseCommand = 0xF060;

QByteArray localPath(const QString& path) { return QFile::encodeName(path); }

// The list entries of the settings, from the one table of their ranges.
QStringList blockSizeItems() {
    QStringList items;
    for (std::int32_t n : parameters::kBlockSizes) items << QString::number(n);
    return items;
}

QStringList windowItems() {
    QStringList items;
    for (std::string_view name : parameters::kWindowNames) {
        QString item = QString::fromLatin1(name.data(), static_cast<int>(name.size()));
        item[0] = item[0].toUpper();
        items << item;
    }
    return items;
}

QStringList subsamplingItems() {
    QStringList items;
    for (std::int32_t n : parameters::kSubsamplings) items << QString::number(n) + QStringLiteral("x");
    return items;
}

QStringList passesItems() {
    QStringList items;
    for (std::int32_t n = parameters::kMinPasses; n <= parameters::kMaxPasses; ++n) {
        items << QString::number(n) + (n == 1 ? QStringLiteral(" pass") : QStringLiteral(" passes"));
    }
    return items;
}

QStringList gridItems() {
    QStringList items{QStringLiteral("Off")};
    for (const QuantizeGrid& grid : kQuantizeGrids) items << QString::fromStdString(grid.name());
    return items;
}

QStringList methodItems() {
    QStringList items;
    for (const MethodDescriptor* method : recognitionMethods()) {
        items << QString::fromUtf8(method->label.data(), static_cast<int>(method->label.size()));
    }
    return items;
}

}  // namespace

MainDialog::MainDialog(PlaybackEngine& engine, SoundOutputFactory makeSoundOutput, QWidget* parent)
    : QDialog(parent), engine_(engine), makeSoundOutput_(std::move(makeSoundOutput)), messages_(this) {
    createControls();
    initDialog();
}

MainDialog::~MainDialog() { onDestroy(); }

void MainDialog::createControls() {
    setWindowTitle(QStringLiteral("SELVIK - WAV to MIDI converter"));
    // A top-level window of its own (own taskbar entry) that can be
    // minimized but not maximized or resized.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    const DialogUnits du(font());

    auto button = [&](const char* id, const QString& text, QRect rect) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(id));
        b->setGeometry(rect);
        return b;
    };
    auto list = [&](const char* id, const QStringList& items, int x, int y, int width) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(id));
        c->addItems(items);
        c->setMaxVisibleItems(static_cast<int>(items.size()));
        // The closed list is as tall as the font needs, at most an edit field.
        const QRect r = du.rect(x, y, width, 14);
        c->setGeometry(r.x(), r.y(), r.width(), std::min(r.height(), c->sizeHint().height()));
        return c;
    };
    auto text = [&](const QString& caption, QRect rect, Qt::Alignment alignment) {
        auto* l = new QLabel(caption, this);
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(alignment | Qt::AlignVCenter);
        // A font wider than the one the layout was drawn for would cut the
        // text; the label then grows away from the edge it is aligned to.
        const int needed = l->fontMetrics().horizontalAdvance(caption) + 2;
        if (needed > rect.width()) {
            const int extra = needed - rect.width();
            if (alignment & Qt::AlignRight) rect.setLeft(std::max(0, rect.left() - extra));
            else if (alignment & Qt::AlignHCenter) rect.adjust(-extra / 2, 0, extra - extra / 2, 0);
            else rect.setWidth(needed);
        }
        l->setGeometry(rect);
        return l;
    };
    const auto right = Qt::AlignRight;

    // Created in the order of the window's definition, which is its tab order.
    loadWavButton_ = button("1001", QStringLiteral("Load WAV"), du.rect(7, 7, 50, 14));
    playWavButton_ = button("1000", QStringLiteral("Play WAV"), du.rect(7, 27, 50, 14));
    blockSizeList_ = list("1005", blockSizeItems(), 80, 65, 50);
    polyphonyEdit_ = new QLineEdit(this);
    polyphonyEdit_->setObjectName(QStringLiteral("1004"));
    polyphonyEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), polyphonyEdit_));
    polyphonyEdit_->setGeometry(du.rect(80, 81, 37, 14));
    polyphonySpin_ = new UpDownControl(this);
    polyphonySpin_->setObjectName(QStringLiteral("1007"));
    polyphonySpin_->setBuddy(polyphonyEdit_);
    polyphonySpin_->setGeometry(du.rect(117, 81, 11, 14));
    QPushButton* exitButton = button("1", QStringLiteral("Exit"), du.rect(175, 150, 50, 14));
    exitButton->setDefault(true);
    fileLabelControl_ = text(QString(), du.rect(63, 8, 157, 11), Qt::AlignLeft);
    fileLabelControl_->setObjectName(QStringLiteral("1002"));
    fileLabelControl_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    fileLabelControl_->setIndent(3);
    auto* group = new QGroupBox(QStringLiteral("Recognition parameters"), this);
    group->setGeometry(du.rect(7, 51, 163, 114));
    text(QStringLiteral("Block size:"), du.rect(42, 67, 35, 8), right);
    text(QStringLiteral("Polyphony:"), du.rect(40, 84, 37, 8), right);
    thresholdSlider_ = new QSlider(Qt::Vertical, this);
    thresholdSlider_->setObjectName(QStringLiteral("1008"));
    thresholdSlider_->setTickPosition(QSlider::TicksBothSides);
    // Position 0 at the top, and the Up key moves the handle up.
    thresholdSlider_->setInvertedAppearance(true);
    thresholdSlider_->setInvertedControls(true);
    thresholdSlider_->setGeometry(du.rect(140, 60, 25, 89));
    text(QStringLiteral("Threshold"), du.rect(135, 152, 33, 8), Qt::AlignHCenter)
        ->setObjectName(QStringLiteral("1015"));
    text(QStringLiteral("Window type:"), du.rect(30, 101, 47, 8), right);
    windowTypeList_ = list("1009", windowItems(), 80, 99, 50);
    analyzeButton_ = button("1010", QStringLiteral("Analyze"), du.rect(175, 55, 50, 14));
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("1011"));
    progressBar_->setTextVisible(false);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setGeometry(du.rect(63, 28, 157, 11));
    text(QStringLiteral("Subsampling:"), du.rect(34, 117, 43, 8), right);
    subsamplingList_ = list("1012", subsamplingItems(), 80, 115, 50);
    text(QStringLiteral("Number of passes:"), du.rect(17, 133, 60, 8), right);
    passesList_ = list("1013", passesItems(), 80, 131, 50);
    text(QStringLiteral("Range recognized:"), du.rect(12, 151, 65, 8), right);
    rangeLabelControl_ = text(QString(), du.rect(80, 151, 45, 8), Qt::AlignLeft);
    rangeLabelControl_->setObjectName(QStringLiteral("1014"));
    midiSetupButton_ = button("1016", QStringLiteral("MIDI Setup"), du.rect(175, 75, 50, 14));
    playMidiButton_ = button("1017", QStringLiteral("Play MIDI"), du.rect(175, 95, 50, 14));
    saveMidiButton_ = button("1019", QStringLiteral("Save MIDI"), du.rect(175, 110, 50, 14));
    QPushButton* aboutButton = button("1020", QStringLiteral("About..."), du.rect(175, 130, 50, 14));
    // The choice of method sits in a row of its own below the original layout.
    text(QStringLiteral("Method:"), du.rect(12, 173, 65, 8), right);
    methodList_ = list("1022", methodItems(), 80, 171, 90);
    QPushButton* pianoRollButton = button("1021", QStringLiteral("Piano roll..."), du.rect(175, 170, 50, 14));
    // The song's rows, below the method's, for the methods that follow the
    // recording's tempo.
    QLabel* tempoCaption = text(QStringLiteral("Tempo:"), du.rect(12, 191, 65, 8), right);
    tempoList_ = list("1023", {QStringLiteral("Automatic"), QStringLiteral("Fixed")}, 80, 189, 50);
    tempoEdit_ = new QLineEdit(QStringLiteral("120"), this);
    tempoEdit_->setObjectName(QStringLiteral("1024"));
    tempoEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}([.][0-9]{0,3})?")), tempoEdit_));
    tempoEdit_->setGeometry(du.rect(133, 189, 24, 14));
    tempoEdit_->setEnabled(false);
    QLabel* bpmCaption = text(QStringLiteral("BPM"), du.rect(160, 191, 15, 8), Qt::AlignLeft);
    QLabel* gridCaption = text(QStringLiteral("Quantize:"), du.rect(12, 207, 65, 8), right);
    gridList_ = list("1025", gridItems(), 80, 205, 50);
    bendsBox_ = new QCheckBox(QStringLiteral("Pitch bends"), this);
    bendsBox_->setObjectName(QStringLiteral("1026"));
    bendsBox_->setGeometry(du.rect(133, 205, 60, 14));
    QLabel* foundCaption = text(QStringLiteral("Tempo found:"), du.rect(12, 223, 65, 8), right);
    tempoFoundLabel_ = text(QString(), du.rect(80, 223, 145, 8), Qt::AlignLeft);
    tempoFoundLabel_->setObjectName(QStringLiteral("1027"));
    songControls_ = {tempoCaption, tempoList_, tempoEdit_, bpmCaption, gridCaption,
                     gridList_, bendsBox_, foundCaption, tempoFoundLabel_};

    // The frame stays behind the controls it surrounds, so that they get the clicks.
    group->lower();
    playWavButton_->setEnabled(false);
    analyzeButton_->setEnabled(false);
    playMidiButton_->setEnabled(false);
    saveMidiButton_->setEnabled(false);
    setFixedSize(du.size(229, kWindowHeight));

    connect(loadWavButton_, &QPushButton::clicked, this, &MainDialog::onLoadWav);
    connect(playWavButton_, &QPushButton::clicked, this, &MainDialog::onPlayWav);
    connect(analyzeButton_, &QPushButton::clicked, this, &MainDialog::onAnalyze);
    // Only a choice of the user runs the command, not writeControls.
    connect(blockSizeList_, &QComboBox::activated, this, &MainDialog::onRangeInputChanged);
    connect(passesList_, &QComboBox::activated, this, &MainDialog::onRangeInputChanged);
    connect(methodList_, &QComboBox::activated, this, &MainDialog::onMethodChanged);
    connect(tempoList_, &QComboBox::currentIndexChanged, this,
            [this](int index) { tempoEdit_->setEnabled(index == 1); });
    connect(midiSetupButton_, &QPushButton::clicked, this, &MainDialog::onMidiSetup);
    connect(playMidiButton_, &QPushButton::clicked, this, &MainDialog::toggleMidiPlayback);
    connect(saveMidiButton_, &QPushButton::clicked, this, &MainDialog::onSaveMidi);
    connect(aboutButton, &QPushButton::clicked, this, &MainDialog::onAbout);
    connect(pianoRollButton, &QPushButton::clicked, this, &MainDialog::onPianoRoll);
    connect(exitButton, &QPushButton::clicked, this, &MainDialog::onExit);
}

void MainDialog::initDialog() {
    // The window menu is drawn by the window manager on Linux; its About
    // entry lives in the window's own context menu.
    windowMenu_ = new QMenu(this);
    windowMenu_->addSeparator();
    QAction* about = windowMenu_->addAction(kAboutEntryText);
    about->setData(kAboutCommand);
    connect(about, &QAction::triggered, this, [this] { onSysCommand(kAboutCommand, 0); });

    setWindowIcon(programIcon());
    reset(&song_);
    previewPlayer_.reset(new (std::nothrow) PreviewPlayer(makeSoundOutput_ ? makeSoundOutput_() : nullptr));

    fileLabel_ = QStringLiteral("Please open a WAV file.");
    wavePath_.clear();
    blockSizeIndex_ = 1;
    polyphony_ = 1;
    polyphonySpin_->setRange(parameters::kMinPolyphony, parameters::kMaxPolyphony);
    thresholdSlider_->setRange(0, 100);
    thresholdSlider_->setValue(20);
    thresholdSlider_->setTickInterval(10);
    subsamplingIndex_ = 2;
    passesIndex_ = 1;
    windowTypeIndex_ = 2;
    methodList_->setCurrentIndex(0);
    showSongControls(false);
    writeControls();
    onRangeInputChanged();
    enumerateMidiDevices();
    midiPlaying_ = false;
}

bool MainDialog::readControls() {
    fileLabel_ = fileLabelControl_->text();
    blockSizeIndex_ = blockSizeList_->currentIndex();
    const std::optional<std::int32_t> polyphony = parseFieldInteger(polyphonyEdit_->text().toStdString());
    if (!polyphony) {
        showMessage("Please enter an integer.");
        polyphonyEdit_->setFocus();
        polyphonyEdit_->selectAll();
        return false;
    }
    polyphony_ = *polyphony;
    windowTypeIndex_ = windowTypeList_->currentIndex();
    subsamplingIndex_ = subsamplingList_->currentIndex();
    passesIndex_ = passesList_->currentIndex();
    rangeLabel_ = rangeLabelControl_->text();
    return true;
}

void MainDialog::writeControls() {
    fileLabelControl_->setText(fileLabel_);
    blockSizeList_->setCurrentIndex(blockSizeIndex_);
    polyphonyEdit_->setText(QString::number(polyphony_));
    windowTypeList_->setCurrentIndex(windowTypeIndex_);
    subsamplingList_->setCurrentIndex(subsamplingIndex_);
    passesList_->setCurrentIndex(passesIndex_);
    rangeLabelControl_->setText(rangeLabel_);
}

void MainDialog::onLoadWav() {
    readControls();
    const QString path = askWavPath(this, !method().classicReader);
    if (path.isEmpty()) return;
    loadWavFile(path);
}

const MethodDescriptor& MainDialog::method() const {
    const auto methods = recognitionMethods();
    const int index = methodList_->currentIndex();
    return *methods[index >= 0 && static_cast<std::size_t>(index) < methods.size() ? static_cast<std::size_t>(index) : 0];
}

bool MainDialog::loadRecordingFile(const QString& path) {
    const std::string local = localPath(path).toStdString();
    if (method().classicReader) {
        // Exactly as the spectral method has always loaded: its reader, its messages.
        recording_ = Recording{};
        recording_.classicReadable = loadClassicRecording(local.c_str(), recording_.signal, nullptr);
        recording_.classicValues = recording_.classicReadable;
        return recording_.classicReadable;
    }
    return loadAudioRecording(local, recording_, nullptr, nullptr, nullptr) == LoadOutcome::Loaded;
}

void MainDialog::loadWavFile(const QString& path) {
    wavePath_ = path;
    const bool loaded = loadRecordingFile(path);
    // A failed load has emptied the recording too.
    if (pianoRoll_) pianoRoll_->recordingLoaded(recording_.signal);
    if (!loaded || recording_.signal.paddedLength() <= 0) {
        wavePath_.clear();
        return;
    }
    clearSong();
    tempoFoundLabel_->clear();
    playMidiButton_->setEnabled(false);
    fileLabel_ = QStringLiteral("Selected file: ") + QFileInfo(path).fileName();
    playWavButton_->setEnabled(true);
    updateAnalyzeButton();
    writeControls();
}

void MainDialog::updateAnalyzeButton() {
    const bool readable = wavePath_.isEmpty() || methodReads(method(), recording_);
    analyzeButton_->setEnabled(!midiPlaying_ && readable);
    rangeLabelControl_->setToolTip(readable ? QString() : QString::fromLatin1(kUnreadableReason));
}

void MainDialog::onPlayWav() {
    if (previewPlayer_) previewPlayer_->play(&recording_.signal);
}

std::optional<SongOptions> MainDialog::songOptions() {
    SongOptions options;
    if (method().plainTiming) return options;
    options.tempo = TempoSource::Recording;
    if (tempoList_->currentIndex() == 1) {
        bool number = false;
        const double bpm = tempoEdit_->text().toDouble(&number);
        if (!number || !(bpm >= kSlowestTempo && bpm <= kFastestTempo)) {
            showMessage("Please enter a tempo from 20 to 300 BPM.");
            tempoEdit_->setFocus();
            tempoEdit_->selectAll();
            return std::nullopt;
        }
        options.tempo = TempoSource::Fixed;
        options.fixedTempo = bpm;
    }
    const int grid = gridList_->currentIndex();
    if (grid >= 1 && static_cast<std::size_t>(grid) <= kQuantizeGrids.size()) {
        options.quantize = kQuantizeGrids[static_cast<std::size_t>(grid - 1)];
    }
    options.pitchBends = bendsBox_->isChecked();
    return options;
}

QString MainDialog::tempoFoundText() const { return tempoFoundLabel_->text(); }

void MainDialog::showTempoFound(const Analysis& analysis, const SongOptions& options) {
    if (analysis.outcome != AnalysisOutcome::Completed) return;
    QString text;
    if (options.tempo == TempoSource::Fixed) {
        text = QStringLiteral("fixed at %1 BPM, 4/4").arg(options.fixedTempo, 0, 'f', 1);
    } else if (!analysis.beats || !analysis.beats->steady) {
        text = QStringLiteral("no steady beat (120 BPM, 4/4)");
    } else {
        const BeatGrid& beats = *analysis.beats;
        text = QStringLiteral("%1 BPM%2, %3/%4")
                   .arg(beats.beatsPerMinute, 0, 'f', 1)
                   .arg(beats.meter.compound() ? QStringLiteral(" (dotted quarters)") : QString())
                   .arg(beats.meter.numerator)
                   .arg(beats.meter.denominator);
    }
    tempoFoundLabel_->setText(text);
}

void MainDialog::showSongControls(bool shown) {
    for (QWidget* widget : songControls_) widget->setVisible(shown);
    const DialogUnits du(font());
    setFixedSize(du.size(229, shown ? kWindowHeightWithSong : kWindowHeight));
}

void MainDialog::onAnalyze() {
    if (analyzing_) return;
    const std::optional<SongOptions> options = songOptions();
    if (!options) return;
    // The audio-file reader took one channel of a file whose channels cancel
    // out; the spectral method analyses what its own reader reads.
    if (method().classicReader && recording_.classicReadable && !recording_.classicValues && !wavePath_.isEmpty()) {
        loadRecordingFile(wavePath_);
        if (pianoRoll_) pianoRoll_->recordingLoaded(recording_.signal);
    }
    analyzing_ = true;
    ProgressBarIndicator progress(*progressBar_);
    auto readSettings = [this] {
        readControls();
        AnalysisSettings settings;
        settings.blockSizeIndex = blockSizeIndex_;
        settings.polyphony = polyphony_;
        settings.thresholdPosition = thresholdSlider_->value();
        settings.thresholdRangeMax = thresholdSlider_->maximum();
        settings.windowTypeIndex = windowTypeIndex_;
        settings.subsamplingIndex = subsamplingIndex_;
        settings.passesIndex = passesIndex_;
        return settings;
    };
    const Analysis analysis =
        analyze(localPath(wavePath_).toStdString(), recording_, method(), song_, &progress, readSettings, *options);
    lastAnalysis_ = analysis.outcome;
    showTempoFound(analysis, *options);
    if (analysis.outcome != AnalysisOutcome::NotRun) lastSettings_ = analysis.method.applied;
    analyzing_ = false;
    if (pianoRoll_) pianoRoll_->songAnalysed(song_);
    if (lastAnalysis_ == AnalysisOutcome::Completed) {
        playMidiButton_->setEnabled(true);
        saveMidiButton_->setEnabled(true);
    }
}

void MainDialog::onMethodChanged() {
    // Settings a method does not read mean nothing to it.
    const std::uint32_t controls = method().controls;
    const std::pair<QWidget*, std::uint32_t> widgets[] = {
        {blockSizeList_, kBlockSizeControl},     {polyphonyEdit_, kPolyphonyControl},
        {polyphonySpin_, kPolyphonyControl},     {windowTypeList_, kWindowTypeControl},
        {subsamplingList_, kSubsamplingControl}, {passesList_, kPassesControl},
        {thresholdSlider_, kThresholdControl},
    };
    for (const auto& [widget, control] : widgets) widget->setEnabled((controls & control) != 0);
    showSongControls(!method().plainTiming);
    if (!wavePath_.isEmpty()) updateAnalyzeButton();
    onRangeInputChanged();
}

void MainDialog::onRangeInputChanged() {
    readControls();
    const bool readable = wavePath_.isEmpty() || methodReads(method(), recording_);
    rangeLabel_ = QString::fromStdString(rangeLabel(method(), blockSizeIndex_, passesIndex_, readable));
    writeControls();
}

void MainDialog::setStoppedButtons(bool stopped) {
    playMidiButton_->setText(stopped ? QStringLiteral("Play MIDI") : QStringLiteral("Stop MIDI"));
    loadWavButton_->setEnabled(stopped);
    analyzeButton_->setEnabled(stopped && (wavePath_.isEmpty() || methodReads(method(), recording_)));
    midiSetupButton_->setEnabled(stopped);
}

void MainDialog::toggleMidiPlayback() {
    if (!midiPlaying_) {
        // The end comes on the stream's thread; it is carried to this window's
        // thread, where onSongEnd checks that it is still the current playback.
        const MidiResult started = engine_.startPlayback(
            &song_, [this](std::uint32_t endTick, std::uint64_t playback) {
                QMetaObject::invokeMethod(
                    this, [this, endTick, playback] { onSongEnd(endTick, playback); },
                    Qt::QueuedConnection);
            });
        // The engine has said why it could not start; the window stays stopped.
        if (started != MidiResult::Success) return;
        if (engine_.beginPlayback() != MidiResult::Success) {
            engine_.stopPlayback();
            engine_.closeStream();
            return;
        }
        midiPlaying_ = true;
        setStoppedButtons(false);
        if (pianoRoll_) pianoRoll_->followPlayback([this] { return engine_.songPosition(); }, song_);
    } else {
        engine_.stopPlayback();
        engine_.closeStream();
        midiPlaying_ = false;
        setStoppedButtons(true);
        if (pianoRoll_) pianoRoll_->stopFollowing();
    }
}

void MainDialog::onSongEnd(std::uint32_t, std::uint64_t playback) {
    if (!engine_.isCurrentPlayback(playback)) return;
    midiPlaying_ = true;
    toggleMidiPlayback();
}

void MainDialog::onSaveMidi() {
    const QString path = askMidiSavePath(this);
    if (path.isEmpty()) return;
    saveMidiFile(path);
}

void MainDialog::saveMidiFile(const QString& path) {
    if (writeMidiFile(localPath(path).constData(), &song_) != MidiResult::Success) {
        showMessage("Unable to save MIDI file.");
    }
}

void MainDialog::onMidiSetup() {
    MidiSetupDialog dialog(this);
    dialog.selectedIndex = selectedMidiDevice();
    if (dialog.exec() == QDialog::Accepted) setSelectedMidiDevice(dialog.selectedIndex);
}

void MainDialog::onAbout() {
    AboutDialog dialog(this);
    dialog.exec();
}

void MainDialog::onPianoRoll() {
    if (!pianoRoll_) {
        // A child window: the main window's modal run leaves it usable.
        pianoRoll_ = new PianoRollWindow(this);
        pianoRoll_->recordingLoaded(recording_.signal);
        pianoRoll_->songAnalysed(song_);
        if (midiPlaying_) pianoRoll_->followPlayback([this] { return engine_.songPosition(); }, song_);
    }
    pianoRoll_->show();
    pianoRoll_->raise();
    pianoRoll_->activateWindow();
}

void MainDialog::onExit() {
    if (!readControls()) return;
    accept();
}

void MainDialog::onSysCommand(std::uint32_t id, std::intptr_t) {
    switch (id & 0xFFF0) {
        case kAboutCommand: onAbout(); break;
        case kMinimizeCommand: showMinimized(); break;
        case kCloseCommand: close(); break;
        default: break;
    }
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    windowMenu_->exec(event->globalPos());
}

void MainDialog::closeEvent(QCloseEvent* event) {
    // The analysis handles events while it runs; the window must outlive it.
    if (analyzing_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void MainDialog::done(int result) {
    if (analyzing_) return;
    onDestroy();
    QDialog::done(result);
}

void MainDialog::clearSong() { clear(song_); }

void MainDialog::onDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (previewPlayer_) {
        previewPlayer_->close();
        previewPlayer_.reset();
    }
    recording_ = Recording{};
    // Stopped and closed before the song goes: the stream's thread reads it.
    engine_.stopPlayback();
    engine_.closeStream();
    midiPlaying_ = false;
    if (pianoRoll_) {
        pianoRoll_->stopFollowing();
        pianoRoll_->close();
    }
    clearSong();
    freeMidiDevices();
}

}  // namespace selvik::app
