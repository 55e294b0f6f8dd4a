#include <QGroupBox>
#include <QTest>

#include "app/DialogUnits.h"
#include "app/MessageBoxService.h"
#include "app/UpDownControl.h"
#include "MainDialogFixture.h"

namespace selvik::testing_support {
namespace {

using StartValues = MainDialogTest;

QStringList items(QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    return texts;
}

TEST_F(StartValues, ShowTheDocumentedTextsListsAndSelections) {
    EXPECT_EQ(dialog().windowTitle(), "SELVIK - WAV to MIDI converter");
    EXPECT_EQ(labelText("1002"), "Please open a WAV file.");
    EXPECT_EQ(items(list("1005")), QStringList({"1024", "2048", "4096", "8192"}));
    EXPECT_EQ(list("1005")->currentText(), "2048");
    EXPECT_EQ(control<QLineEdit>("1004")->text(), "1");
    EXPECT_EQ(items(list("1009")), QStringList({"Gaussian", "Hanning", "Blackman"}));
    EXPECT_EQ(list("1009")->currentText(), "Blackman");
    EXPECT_EQ(items(list("1012")), QStringList({"1x", "2x", "4x", "8x", "16x"}));
    EXPECT_EQ(list("1012")->currentText(), "4x");
    EXPECT_EQ(items(list("1013")), QStringList({"1 pass", "2 passes", "3 passes", "4 passes"}));
    EXPECT_EQ(list("1013")->currentText(), "2 passes");
    auto* slider = control<QSlider>("1008");
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 100);
    EXPECT_EQ(slider->value(), 20);
    EXPECT_EQ(slider->tickInterval(), 10);
    EXPECT_EQ(slider->orientation(), Qt::Vertical);
    EXPECT_EQ(labelText("1014"), "F#3 to G9");
    EXPECT_EQ(labelText("1015"), "Threshold");
    auto* spin = control<app::UpDownControl>("1007");
    EXPECT_EQ(spin->lower(), 1);
    EXPECT_EQ(spin->upper(), 16);
    EXPECT_FALSE(dialog().midiPlaying());
    EXPECT_TRUE(dialog().wavePath().isEmpty());
}

TEST_F(StartValues, EnableOnlyLoadMidiSetupAboutAndExit) {
    EXPECT_EQ(buttonStates(), "000011 Play MIDI");
    EXPECT_TRUE(button("1020")->isEnabled());
    EXPECT_TRUE(button("1")->isEnabled());
    EXPECT_TRUE(button("1")->isDefault());
    EXPECT_EQ(button("1")->text(), "Exit");
    EXPECT_EQ(button("1020")->text(), "About...");
    EXPECT_EQ(button("1016")->text(), "MIDI Setup");
    EXPECT_EQ(button("1019")->text(), "Save MIDI");
}

TEST_F(StartValues, GiveEveryLabelAndTheGroupTheirTexts) {
    QStringList texts;
    for (QLabel* label : dialog().findChildren<QLabel*>()) texts << label->text();
    for (const char* expected : {"Block size:", "Polyphony:", "Window type:", "Subsampling:",
                                 "Number of passes:", "Range recognized:"}) {
        EXPECT_TRUE(texts.contains(QString::fromLatin1(expected))) << expected;
    }
    auto* group = dialog().findChild<QGroupBox*>();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->title(), "Recognition parameters");
}

TEST_F(StartValues, LayTheWindowOutInDialogUnitsOfItsFont) {
    const app::DialogUnits du(dialog().font());
    EXPECT_EQ(dialog().size(), du.size(229, app::MainDialog::kWindowHeight));
    EXPECT_EQ(dialog().minimumSize(), dialog().maximumSize());
    EXPECT_EQ(button("1001")->geometry(), du.rect(7, 7, 50, 14));
    EXPECT_EQ(button("1")->geometry(), du.rect(175, 150, 50, 14));
    EXPECT_EQ(control<QProgressBar>("1011")->geometry(), du.rect(63, 28, 157, 11));
    EXPECT_EQ(control<QLineEdit>("1004")->geometry(), du.rect(80, 81, 37, 14));
    EXPECT_EQ(list("1013")->geometry().topLeft(), du.rect(80, 131, 50, 49).topLeft());
    const Qt::WindowFlags flags = dialog().windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(dialog().windowIcon().isNull());
}

TEST_F(StartValues, TakeTheFocusOrderOfTheWindowsDefinition) {
    // Load WAV is the first tab stop; the polyphony field follows the block size list.
    QWidget* chain = dialog().nextInFocusChain();
    while (chain && !(chain->focusPolicy() & Qt::TabFocus)) chain = chain->nextInFocusChain();
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->objectName(), "1001");
    EXPECT_EQ(list("1005")->nextInFocusChain()->objectName(), "1004");
}

TEST_F(StartValues, KeepTheDialogTextsWhateverTheFontSize) {
    const QFont normal = QApplication::font();
    QFont big = normal;
    big.setPointSizeF(big.pointSizeF() * 2);
    QApplication::setFont(big);
    {
        app::MainDialog larger(engine_, [] { return std::make_unique<SdlSoundOutput>(); });
        const app::DialogUnits du(larger.font());
        EXPECT_GT(larger.width(), dialog().width() * 3 / 2);
        EXPECT_EQ(larger.size(), du.size(229, app::MainDialog::kWindowHeight));
        larger.done(QDialog::Rejected);
    }
    QApplication::setFont(normal);
}

TEST(ApplicationTitle, IsTheProgramFilesBaseName) {
    EXPECT_EQ(app::applicationTitle(), "app_tests");
}

TEST(DialogUnits, ConvertQuartersOfTheWidthAndEighthsOfTheHeight) {
    const app::DialogUnits du(6, 13);
    EXPECT_EQ(du.x(4), 6);
    EXPECT_EQ(du.x(50), 75);
    EXPECT_EQ(du.y(8), 13);
    EXPECT_EQ(du.y(14), 22);
    // Edges are converted, so two controls side by side meet without a gap.
    EXPECT_EQ(du.rect(7, 7, 50, 14), QRect(10, 11, 75, 23));
    EXPECT_EQ(du.rect(1, 0, 1, 1).right() + 1, du.rect(2, 0, 1, 1).left());
}

}  // namespace
}  // namespace selvik::testing_support
