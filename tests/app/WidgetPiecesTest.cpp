#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/AboutDialog.h"
#include "app/IconPlacement.h"
#include "app/IntegerText.h"
#include "app/ProgressBarIndicator.h"
#include "app/UpDownControl.h"

namespace selvik::app {
namespace {

TEST(ParseFieldInteger, ReadsASignedDecimalBetweenBlanksAndTabs) {
    EXPECT_EQ(parseFieldInteger("7"), 7);
    EXPECT_EQ(parseFieldInteger(" \t12\t "), 12);
    EXPECT_EQ(parseFieldInteger("-3"), -3);
    EXPECT_EQ(parseFieldInteger("+5"), 5);
    EXPECT_EQ(parseFieldInteger("0020"), 20);
}

TEST(ParseFieldInteger, RefusesEmptyTextOtherCharactersAndOverflow) {
    EXPECT_EQ(parseFieldInteger(""), std::nullopt);
    EXPECT_EQ(parseFieldInteger("  "), std::nullopt);
    EXPECT_EQ(parseFieldInteger("1 2"), std::nullopt);
    EXPECT_EQ(parseFieldInteger("4x"), std::nullopt);
    EXPECT_EQ(parseFieldInteger("+-4"), std::nullopt);
    EXPECT_EQ(parseFieldInteger("99999999999"), std::nullopt);
}

TEST(ParseFieldInteger, LooksAtTheFirst31CharactersOnly) {
    EXPECT_EQ(parseFieldInteger(std::string(30, ' ') + "5"), 5);
    EXPECT_EQ(parseFieldInteger(std::string(31, ' ') + "5"), std::nullopt);
    EXPECT_EQ(parseFieldInteger("5" + std::string(30, ' ') + "x"), 5);
}

class UpDown : public ::testing::Test {
protected:
    void SetUp() override {
        spin.setBuddy(&field);
        spin.setRange(1, 16);
        spin.resize(12, 24);
    }
    QLineEdit field;
    UpDownControl spin;
};

TEST_F(UpDown, StepsTheFieldWithinItsRange) {
    field.setText(QStringLiteral("5"));
    spin.upButton()->click();
    EXPECT_EQ(field.text(), "6");
    spin.downButton()->click();
    spin.downButton()->click();
    EXPECT_EQ(field.text(), "4");
    field.setText(QStringLiteral("16"));
    spin.upButton()->click();
    EXPECT_EQ(field.text(), "16");
    field.setText(QStringLiteral("1"));
    spin.downButton()->click();
    EXPECT_EQ(field.text(), "1");
}

TEST_F(UpDown, BringsAHandTypedValueBackIntoTheRange) {
    field.setText(QStringLiteral("20"));
    spin.downButton()->click();
    EXPECT_EQ(field.text(), "16");
    field.setText(QStringLiteral("0"));
    spin.upButton()->click();
    EXPECT_EQ(field.text(), "1");
}

TEST_F(UpDown, StepsAnEmptyFieldFromTheLastValue) {
    field.setText(QStringLiteral("9"));
    spin.upButton()->click();  // 10
    field.clear();
    spin.upButton()->click();
    EXPECT_EQ(field.text(), "11");
}

TEST_F(UpDown, StepsWithTheArrowKeysInTheField) {
    field.setText(QStringLiteral("3"));
    QTest::keyClick(&field, Qt::Key_Up);
    QTest::keyClick(&field, Qt::Key_Up);
    EXPECT_EQ(field.text(), "5");
    QTest::keyClick(&field, Qt::Key_Down);
    EXPECT_EQ(field.text(), "4");
}

TEST(CentredIconPosition, SplitsTheSpareRoomRoundingTheOddPixelRight) {
    EXPECT_EQ(centredIconPosition(QSize(32, 32), QSize(32, 32)), QPoint(0, 0));
    EXPECT_EQ(centredIconPosition(QSize(40, 36), QSize(32, 32)), QPoint(4, 2));
    EXPECT_EQ(centredIconPosition(QSize(33, 34), QSize(32, 32)), QPoint(1, 1));
    EXPECT_EQ(centredIconPosition(QSize(100, 20), QSize(16, 16)), QPoint(42, 2));
}

TEST(CentredIconPosition, TruncatesTowardZeroForAnIconLargerThanTheArea) {
    // (10 - 16 + 1) / 2 = -5 / 2, which is -2, not -3.
    EXPECT_EQ(centredIconPosition(QSize(10, 10), QSize(16, 16)), QPoint(-2, -2));
    EXPECT_EQ(centredIconPosition(QSize(0, 0), QSize(32, 32)), QPoint(-15, -15));
}

TEST(ProgramIcon, HoldsA16And32PixelImage) {
    const QIcon icon = programIcon();
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_FALSE(icon.pixmap(32, 32).toImage().pixelColor(16, 16).alpha() == 0);
}

TEST(IconView, DrawsTheLargestImageThatFitsCentred) {
    IconView view(programIcon());
    view.resize(100, 40);
    EXPECT_EQ(view.drawnSize(), QSize(32, 32));
    EXPECT_EQ(view.drawnPosition(), centredIconPosition(QSize(100, 40), QSize(32, 32)));
    view.resize(100, 20);
    EXPECT_EQ(view.drawnSize(), QSize(16, 16));
    EXPECT_EQ(view.drawnPosition(), QPoint(42, 2));
}

TEST(ProgressBarIndicator, MovesTheBarOverA32BitRange) {
    QProgressBar bar;
    ProgressBarIndicator progress(bar);
    progress.setRange(0, 100000);
    progress.setPosition(70000);
    EXPECT_EQ(bar.maximum(), 100000);
    EXPECT_EQ(bar.value(), 70000);
}

TEST(ProgressBarIndicator, LetsQtHandleWaitingEventsWhileTheWorkRuns) {
    QProgressBar bar;
    ProgressBarIndicator progress(bar);
    bool handled = false;
    QTimer::singleShot(0, &bar, [&handled] { handled = true; });
    progress.setRange(0, 10);
    EXPECT_TRUE(handled);
}

}  // namespace
}  // namespace selvik::app
