#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <cmath>
#include <numbers>

#include "plot/PianoRollPainter.h"
#include "plot/PlotFile.h"
#include "plot/SongBuilder.h"
#include "plot/LevelGrid.h"

namespace selvik::testing_support {
namespace {

QImage paintPicture(const PianoRollPainter& painter, QSize size, const RollViewport& view) {
    QImage image(size, QImage::Format_RGB32);
    QPainter target(&image);
    painter.paint(target, size, view);
    return image;
}

bool reddish(QRgb pixel) { return qRed(pixel) > qGreen(pixel) + 40 && qRed(pixel) > qBlue(pixel) + 40; }

std::shared_ptr<const LevelGridImage> spectrogramOfSine(double frequency, double seconds) {
    std::vector<float> samples(static_cast<std::size_t>(seconds * 44100));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<float>(0.8 * std::sin(2.0 * std::numbers::pi * frequency * double(i) / 44100.0));
    }
    return std::make_shared<LevelGridImage>(
        computeLevelGrid(samples.data(), static_cast<std::int32_t>(samples.size()), 44100));
}

TEST(PianoRollPainter, ANotesBarIsDrawnWhereItsTicksAndNumberSay) {
    Song song;
    fillSong(song, {{69, 768, 1536}, {64, 2304, 3072}});  // A4 1..2 s, E4 3..4 s
    PianoRollPainter painter;
    painter.setNotes(rollNotes(song));
    const QSize size(900, 500);
    const RollViewport view{0.0, 5.0, 59.5, 75.5};
    const QImage image = paintPicture(painter, size, view);
    const RollMapping mapping = painter.mapping(size, view);

    for (const RollNote& note : painter.notes()) {
        const PixelRect bar = mapping.barOf(note);
        const int midY = static_cast<int>(bar.top + bar.height / 2);
        const int midX = static_cast<int>(bar.left + bar.width / 2);
        EXPECT_TRUE(reddish(image.pixel(midX, midY))) << "inside note " << note.number;
        // Just outside the bar on every side: the plot's own colours.
        EXPECT_FALSE(reddish(image.pixel(midX, static_cast<int>(bar.top) - 4))) << "above " << note.number;
        EXPECT_FALSE(reddish(image.pixel(midX, static_cast<int>(bar.bottom()) + 4))) << "below " << note.number;
        EXPECT_FALSE(reddish(image.pixel(static_cast<int>(bar.left) - 4, midY))) << "before " << note.number;
        EXPECT_FALSE(reddish(image.pixel(static_cast<int>(bar.right()) + 4, midY))) << "after " << note.number;
    }
    // Where the bars must be, by hand: A4 from 1 s to 2 s, nine rows below
    // the top one... 75.5 - 69.5 = 6 rows of 1/16 of the plot's height.
    const PixelRect plot = mapping.plot();
    const double x = plot.left + 1.5 / 5.0 * plot.width;
    const double y = plot.top + (75.5 - 69.0) / 16.0 * plot.height;
    EXPECT_TRUE(reddish(image.pixel(static_cast<int>(x), static_cast<int>(y))));
}

TEST(PianoRollPainter, TheLevelGridOfA440HzSineIsBrightestOnA4sRow) {
    PianoRollPainter painter;
    painter.setLevelGrid(spectrogramOfSine(440.0, 2.0));
    const QSize size(600, 800);
    const RollViewport view{0.0, 2.0, 47.5, 96.5};
    const QImage image = paintPicture(painter, size, view);
    const RollMapping mapping = painter.mapping(size, view);
    const int x = static_cast<int>(mapping.xOfSeconds(1.0));
    int brightestY = -1;
    int brightest = -1;
    // Inside the plot's frame, which is drawn in a light colour.
    for (int y = static_cast<int>(mapping.plot().top) + 2; y < static_cast<int>(mapping.plot().bottom()) - 2; ++y) {
        const int lightness = qGray(image.pixel(x, y));
        if (lightness > brightest) {
            brightest = lightness;
            brightestY = y;
        }
    }
    EXPECT_GE(brightestY, mapping.yOfPitch(69.5));
    EXPECT_LE(brightestY, mapping.yOfPitch(68.5));
}

TEST(PianoRollPainter, TheWholeViewHoldsEveryNoteAndTheRecording) {
    Song song;
    fillSong(song, {{48, 0, 384}, {84, 7680, 8064}});  // up to 10.5 s
    PianoRollPainter painter;
    painter.setLevelGrid(spectrogramOfSine(440.0, 12.0));
    painter.setNotes(rollNotes(song));
    const RollViewport view = painter.wholeView();
    EXPECT_DOUBLE_EQ(view.startSeconds, 0.0);
    EXPECT_NEAR(view.endSeconds, 12.0, 0.02);
    EXPECT_LE(view.lowPitch, 47.5);
    EXPECT_GE(view.highPitch, 84.5);
}

class PlotFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        Song song;
        fillSong(song, {{69, 0, 768}, {71, 768, 1536}});
        painter.setNotes(rollNotes(song));
        painter.setLevelGrid(spectrogramOfSine(440.0, 1.0));
    }
    QTemporaryDir folder;
    PianoRollPainter painter;
};

TEST_F(PlotFileTest, APngHasTheAskedSizeAndShowsTheBars) {
    const QString path = folder.filePath(QStringLiteral("roll.png"));
    QString error;
    ASSERT_TRUE(writePlotFile(painter, QSize(640, 360), path, &error)) << error.toStdString();
    QImage image;
    ASSERT_TRUE(image.load(path, "PNG"));
    EXPECT_EQ(image.size(), QSize(640, 360));
    const RollMapping mapping = painter.mapping(QSize(640, 360), painter.wholeView());
    const PixelRect bar = mapping.barOf(painter.notes()[0]);
    EXPECT_TRUE(reddish(image.pixel(static_cast<int>(bar.left + bar.width / 2),
                                    static_cast<int>(bar.top + bar.height / 2))));
}

TEST_F(PlotFileTest, AnSvgIsValidAndHasTheAskedSize) {
    const QString path = folder.filePath(QStringLiteral("roll.SVG"));
    QString error;
    ASSERT_TRUE(writePlotFile(painter, QSize(1000, 500), path, &error)) << error.toStdString();
    QSvgRenderer renderer(path);
    ASSERT_TRUE(renderer.isValid());
    EXPECT_EQ(renderer.defaultSize(), QSize(1000, 500));
    EXPECT_EQ(renderer.viewBox(), QRect(0, 0, 1000, 500));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("<svg width=\"1000\" height=\"500\"")) << "pixels, not millimetres";
    EXPECT_TRUE(text.contains("<image")) << "the spectrogram is embedded";
    EXPECT_TRUE(text.contains("A4")) << "the note names are text";
}

// The y of the brightest pixel of column x inside the plot.
int brightestRow(const QImage& image, const RollMapping& mapping, int x) {
    int brightestY = -1;
    int brightest = -1;
    for (int y = static_cast<int>(mapping.plot().top) + 2; y < static_cast<int>(mapping.plot().bottom()) - 2; ++y) {
        const int lightness = qGray(image.pixel(x, y));
        if (lightness > brightest) {
            brightest = lightness;
            brightestY = y;
        }
    }
    return brightestY;
}

TEST_F(PlotFileTest, AnSvgShowsTheLevelGridOnTheSameRowsAsThePicture) {
    PianoRollPainter sine;
    sine.setLevelGrid(spectrogramOfSine(440.0, 2.0));
    const QSize size(500, 700);
    const QString path = folder.filePath(QStringLiteral("sine.svg"));
    QString error;
    ASSERT_TRUE(writePlotFile(sine, size, path, &error)) << error.toStdString();
    QSvgRenderer renderer(path);
    ASSERT_TRUE(renderer.isValid());
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter target(&image);
        renderer.render(&target);
    }
    const RollMapping mapping = sine.mapping(size, sine.wholeView());
    const int y = brightestRow(image, mapping, static_cast<int>(mapping.xOfSeconds(1.0)));
    EXPECT_GE(y, mapping.yOfPitch(69.5));
    EXPECT_LE(y, mapping.yOfPitch(68.5));
}

TEST_F(PlotFileTest, AnUnknownExtensionOrAnUnwritableFolderIsRefused) {
    QString error;
    EXPECT_FALSE(writePlotFile(painter, QSize(100, 100), folder.filePath(QStringLiteral("roll.jpg")), &error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(writePlotFile(painter, QSize(100, 100), folder.filePath(QStringLiteral("no/such/roll.png")), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("roll.jpg"))));
}

}  // namespace
}  // namespace selvik::testing_support
