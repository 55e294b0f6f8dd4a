#include "plot/LevelGridImage.h"

#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "plot/ColourMap.h"

namespace selvik {

namespace {

QImage colour(const std::vector<std::uint8_t>& levels, int columns, int rows) {
    QImage image(columns, rows, QImage::Format_RGB32);
    if (image.isNull()) return image;
    const auto& colours = viridisColours();
    for (int row = 0; row < rows; ++row) {
        // The lowest pitch goes to the bottom line.
        auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(rows - 1 - row));
        const std::uint8_t* source = levels.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(columns);
        for (int column = 0; column < columns; ++column) line[column] = colours[source[column]];
    }
    return image;
}

}  // namespace

LevelGridImage::LevelGridImage(const LevelGrid& spectrogram) {
    if (spectrogram.empty()) return;
    secondsPerFrame_ = spectrogram.secondsPerFrame();
    frameCount_ = spectrogram.frameCount;
    lowestPitch_ = spectrogram.lowestPitch();
    highestPitch_ = spectrogram.highestPitch();
    const int rows = spectrogram.rowCount;
    int columns = spectrogram.frameCount;
    levels_.push_back(colour(spectrogram.levels, columns, rows));
    std::vector<std::uint8_t> halved;
    const std::vector<std::uint8_t>* current = &spectrogram.levels;
    // Halving stops near a small screen's width: no view needs fewer columns.
    while (columns > 1024) {
        const int next = (columns + 1) / 2;
        std::vector<std::uint8_t> reduced(static_cast<std::size_t>(next) * static_cast<std::size_t>(rows));
        for (int row = 0; row < rows; ++row) {
            const std::uint8_t* in = current->data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(columns);
            std::uint8_t* out = reduced.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(next);
            for (int c = 0; c < next; ++c) {
                const int a = 2 * c;
                out[c] = a + 1 < columns ? std::max(in[a], in[a + 1]) : in[a];
            }
        }
        halved = std::move(reduced);
        current = &halved;
        columns = next;
        levels_.push_back(colour(halved, columns, rows));
    }
}

const QImage& LevelGridImage::image() const {
    static const QImage none;
    return levels_.empty() ? none : levels_.front();
}

void LevelGridImage::draw(QPainter& painter, const RollMapping& mapping) const {
    if (empty()) return;
    const RollViewport& view = mapping.viewport();
    // Frame f is centred on f * secondsPerFrame, so the columns start half a frame early.
    const double firstSeconds = -0.5 * secondsPerFrame_;
    const double start = std::max(view.startSeconds, firstSeconds);
    const double end = std::min(view.endSeconds, firstSeconds + durationSeconds());
    const double low = std::max(view.lowPitch, lowestPitch_);
    const double high = std::min(view.highPitch, highestPitch_);
    if (start >= end || low >= high) return;

    const double framesInView = (end - start) / secondsPerFrame_;
    const double pixels = std::max(1.0, (mapping.xOfSeconds(end) - mapping.xOfSeconds(start)));
    int level = 0;
    while (level + 1 < levelCount() && framesInView / double(1 << (level + 1)) >= pixels) ++level;
    const QImage& image = levels_[static_cast<std::size_t>(level)];
    const double framesPerColumn = double(1 << level);
    const double rowsPerPitch = image.height() / (highestPitch_ - lowestPitch_);

    const QRectF source(QPointF((start - firstSeconds) / secondsPerFrame_ / framesPerColumn,
                                (highestPitch_ - high) * rowsPerPitch),
                        QPointF((end - firstSeconds) / secondsPerFrame_ / framesPerColumn,
                                (highestPitch_ - low) * rowsPerPitch));
    const QRectF target(QPointF(mapping.xOfSeconds(start), mapping.yOfPitch(high)),
                        QPointF(mapping.xOfSeconds(end), mapping.yOfPitch(low)));
    const QPaintEngine* engine = painter.paintEngine();
    if (engine && engine->type() == QPaintEngine::Raster) {
        painter.drawImage(target, image, source);
        return;
    }
    // Other engines (the SVG one) may place the whole image in the target
    // whatever the source rectangle says: they get the whole pixels in view,
    // cut out, over the span those pixels cover; the plot's clip trims them.
    const QRect cut = QRect(QPoint(static_cast<int>(std::floor(source.left())), static_cast<int>(std::floor(source.top()))),
                               QPoint(static_cast<int>(std::ceil(source.right())) - 1,
                                      static_cast<int>(std::ceil(source.bottom())) - 1))
                             .intersected(image.rect());
    if (cut.isEmpty()) return;
    const double xScale = target.width() / source.width();
    const double yScale = target.height() / source.height();
    const QRectF covered(target.left() + (cut.left() - source.left()) * xScale,
                         target.top() + (cut.top() - source.top()) * yScale, cut.width() * xScale,
                         cut.height() * yScale);
    painter.drawImage(covered, image.copy(cut));
}

}  // namespace selvik
