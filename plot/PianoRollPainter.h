#pragma once

#include <QFont>
#include <QSize>
#include <memory>
#include <optional>
#include <vector>

#include "plot/RollBeats.h"
#include "plot/RollMapping.h"
#include "plot/RollNotes.h"
#include "plot/LevelGridImage.h"

class QPainter;

namespace selvik {

// Draws the piano roll: the spectrogram, the song's bar and beat lines, the
// recognised notes as bars over it, note names up the left side, seconds
// along the bottom and, when given, the playhead. The desktop program's window and the converter's --plot
// files both draw through paint(), so they show the same picture.
class PianoRollPainter {
public:
    void setLevelGrid(std::shared_ptr<const LevelGridImage> spectrogram);
    const std::shared_ptr<const LevelGridImage>& spectrogram() const { return spectrogram_; }
    // `notes` sorted by start, as rollNotes gives them.
    void setNotes(std::vector<RollNote> notes);
    const std::vector<RollNote>& notes() const { return notes_; }
    double longestNoteSeconds() const { return longest_; }
    // `beats` in time order, as rollBeats gives them; none: no lines.
    void setBeats(std::vector<RollBeat> beats) { beats_ = std::move(beats); }
    const std::vector<RollBeat>& beats() const { return beats_; }
    // The font of the axis labels; its size sets the room the axes take.
    void setFont(const QFont& font) { font_ = font; }
    const QFont& font() const { return font_; }

    // The last second with anything to show: the recording's end or the last note's.
    double durationSeconds() const;
    // Everything: the whole duration and the notes' range with a few notes
    // around it (an octave either side of A4 without notes).
    RollViewport wholeView() const;
    // The plot area of a picture of `size`, inside the axes.
    PixelRect plotArea(QSize size) const;
    RollMapping mapping(QSize size, const RollViewport& viewport) const {
        return RollMapping(viewport, plotArea(size));
    }

    // Paints a picture of `size` from (0, 0) on. Only what lies in the
    // viewport is drawn.
    void paint(QPainter& painter, QSize size, const RollViewport& viewport,
               std::optional<double> playheadSeconds = std::nullopt) const;

    // Ranges the viewport is kept within.
    static constexpr double kLowestPitch = -0.5;
    static constexpr double kHighestPitch = 127.5;

private:
    void paintNoteAxis(QPainter& painter, const RollMapping& mapping) const;
    void paintTimeAxis(QPainter& painter, const RollMapping& mapping) const;
    void paintBeats(QPainter& painter, const RollMapping& mapping) const;

    std::shared_ptr<const LevelGridImage> spectrogram_;
    std::vector<RollNote> notes_;
    std::vector<RollBeat> beats_;
    double longest_ = 0.0;
    QFont font_;
};

}  // namespace selvik
