#include <QMenu>
#include <QTest>

#include "app/AboutDialog.h"
#include "app/DialogUnits.h"
#include "app/MidiSetupDialog.h"
#include "MainDialogFixture.h"
#include "ModalAnswer.h"

namespace selvik::testing_support {
namespace {

using MidiSetup = MainDialogTest;

// Answers the MIDI Setup dialog: records its list, then runs `act` on it.
ModalAnswer::Answer inSetup(QStringList& listed, int& shownSelection,
                            std::function<void(app::MidiSetupDialog&)> act) {
    return [&listed, &shownSelection, act = std::move(act)](QWidget* modal) {
        auto* setup = qobject_cast<app::MidiSetupDialog*>(modal);
        if (!setup) {
            if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
            return;
        }
        listed.clear();
        for (int i = 0; i < setup->deviceList()->count(); ++i) listed << setup->deviceList()->itemText(i);
        shownSelection = setup->deviceList()->currentIndex();
        act(*setup);
    };
}

TEST_F(MidiSetup, ListsTheDevicesAndStoresTheChoiceOnOk) {
    makeWindow({"A", "B"});
    QStringList listed;
    int shown = -2;
    {
        ModalAnswer answer({inSetup(listed, shown, [](app::MidiSetupDialog& setup) {
            EXPECT_EQ(setup.windowTitle(), "MIDI Setup");
            EXPECT_EQ(setup.focusWidget(), setup.okButton()) << "Enter confirms at once";
            EXPECT_TRUE(setup.okButton()->isDefault());
            setup.deviceList()->setCurrentIndex(1);
            setup.okButton()->click();
        })});
        button("1016")->click();
        EXPECT_EQ(answer.answered(), 1);
    }
    EXPECT_EQ(listed, QStringList({"A", "B"}));
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(selectedMidiDevice(), 1);

    {
        ModalAnswer answer({inSetup(listed, shown, [](app::MidiSetupDialog& setup) {
            setup.deviceList()->setCurrentIndex(0);
            setup.cancelButton()->click();
        })});
        button("1016")->click();
    }
    EXPECT_EQ(shown, 1) << "the stored choice is shown again";
    EXPECT_EQ(selectedMidiDevice(), 1) << "Cancel keeps the choice";

    loadAndAnalyse();
    button("1017")->click();
    EXPECT_TRUE(dialog().midiPlaying());
    EXPECT_EQ(backend_->lastOpenedIndex(), 1u) << "playback opens the chosen device";
}

TEST_F(MidiSetup, EscapeCancelsAndOkWithNothingSelectedStoresNone) {
    makeWindow({"A", "B"});
    setSelectedMidiDevice(1);
    QStringList listed;
    int shown = -2;
    {
        ModalAnswer answer({inSetup(listed, shown, [](app::MidiSetupDialog& setup) {
            setup.deviceList()->setCurrentIndex(0);
            QTest::keyClick(&setup, Qt::Key_Escape);
        })});
        button("1016")->click();
    }
    EXPECT_EQ(selectedMidiDevice(), 1);
    {
        ModalAnswer answer({inSetup(listed, shown, [](app::MidiSetupDialog& setup) {
            setup.deviceList()->setCurrentIndex(-1);
            QTest::keyClick(setup.okButton(), Qt::Key_Return);
        })});
        button("1016")->click();
    }
    EXPECT_EQ(selectedMidiDevice(), -1);
}

TEST_F(MidiSetup, AnEmptyListShowsNothingAndOkStoresNone) {
    makeWindow({});
    QStringList listed{"x"};
    int shown = -2;
    ModalAnswer answer({inSetup(listed, shown, [](app::MidiSetupDialog& setup) { setup.okButton()->click(); })});
    button("1016")->click();
    EXPECT_TRUE(listed.isEmpty());
    EXPECT_EQ(shown, -1);
    EXPECT_EQ(selectedMidiDevice(), -1);
}

TEST(MidiSetupDialog, WidensForLongPortNamesAndElidesOnlyTheLongest) {
    const std::string systemPort = "Midi Through:Midi Through Port-0 14:0 with a long client name";
    const std::string endless = std::string(400, 'x') + " end";
    auto backend = std::make_shared<RecordingBackend>(std::vector<std::string>{"Short", systemPort, endless});
    setMidiBackends({backend});
    enumerateMidiDevices();
    app::MidiSetupDialog setup;
    setup.selectedIndex = 5;  // beyond the list: nothing selected
    setup.show();
    EXPECT_EQ(setup.deviceList()->currentIndex(), -1);
    EXPECT_EQ(setup.deviceList()->itemText(0), "Short");
    EXPECT_EQ(setup.deviceList()->itemText(1).toStdString(), systemPort);
    const QString shown = setup.deviceList()->itemText(2);
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << "elided in the middle";
    EXPECT_TRUE(shown.endsWith(QStringLiteral(" end")));
    EXPECT_EQ(setup.deviceList()->itemData(2, Qt::ToolTipRole).toString().toStdString(), endless);
    const app::DialogUnits du(setup.font());
    EXPECT_GT(setup.width(), du.x(171));
    EXPECT_GE(setup.deviceList()->width(),
              setup.deviceList()->fontMetrics().horizontalAdvance(QString::fromStdString(systemPort)));
    // The buttons move along with the list's right edge.
    EXPECT_EQ(setup.cancelButton()->geometry(), du.rect(114, 29, 50, 14).translated(setup.width() - du.x(171), 0));
    freeMidiDevices();
    setMidiBackends({});
}

using About = MainDialogTest;

ModalAnswer::Answer inAbout(QString& title, std::function<void(app::AboutDialog&)> act) {
    return [&title, act = std::move(act)](QWidget* modal) {
        auto* about = qobject_cast<app::AboutDialog*>(modal);
        if (!about) {
            if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
            return;
        }
        title = about->windowTitle();
        act(*about);
    };
}

TEST_F(About, TheButtonOpensTheBoxWhichClosesOnItsButtonEnterAndEscape) {
    QString title;
    QStringList texts;
    ModalAnswer answer({
        inAbout(title,
                [&](app::AboutDialog& about) {
                    for (QLabel* label : about.findChildren<QLabel*>()) texts << label->text();
                    EXPECT_EQ(about.closeButton()->text(), "Close this box");
                    EXPECT_TRUE(about.closeButton()->isDefault());
                    about.closeButton()->click();
                }),
        inAbout(title, [](app::AboutDialog& about) { QTest::keyClick(&about, Qt::Key_Return); }),
        inAbout(title, [](app::AboutDialog& about) { QTest::keyClick(&about, Qt::Key_Escape); }),
    });
    for (int i = 0; i < 3; ++i) button("1020")->click();
    EXPECT_EQ(answer.answered(), 3);
    EXPECT_FALSE(answer.timedOut());
    EXPECT_EQ(title, "About SELVIK");
    EXPECT_TRUE(texts.contains(QStringLiteral("SELVIK - WAV to MIDI converter")));
    EXPECT_EQ(texts.size(), 8) << "the name and seven credit lines";
    EXPECT_TRUE(texts.contains(QStringLiteral("Version 1.0.0.1")));
    EXPECT_TRUE(dialog().isVisible());
}

TEST_F(About, TheWindowMenuEndsWithTheAboutEntryAfterASeparator) {
    QMenu* menu = dialog().windowMenu();
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> actions = menu->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    QAction* entry = actions.back();
    EXPECT_EQ(entry->text(), "&About Korvane...");
    EXPECT_EQ(entry->data().toUInt(), 16u);
    QString title;
    ModalAnswer answer({inAbout(title, [](app::AboutDialog& about) { about.reject(); })});
    entry->trigger();
    EXPECT_EQ(answer.answered(), 1);
    EXPECT_EQ(title, "About SELVIK");
}

TEST_F(About, EveryWindowCommandFrom16To31OpensTheBox) {
    QString title;
    std::deque<ModalAnswer::Answer> answers;
    for (int low = 0; low < 16; ++low) {
        answers.push_back(inAbout(title, [](app::AboutDialog& about) { about.reject(); }));
    }
    ModalAnswer answer(std::move(answers));
    for (std::uint32_t low = 0; low < 16; ++low) dialog().onSysCommand(16 + low, 0);
    EXPECT_EQ(answer.answered(), 16);
}

TEST_F(About, OtherWindowCommandsDoNotOpenIt) {
    ModalAnswer answer({});
    dialog().onSysCommand(32, 0);
    dialog().onSysCommand(0x0110, 0);
    QTest::qWait(50);
    EXPECT_EQ(answer.unexpected(), 0);
    EXPECT_TRUE(dialog().isVisible());
}

}  // namespace
}  // namespace selvik::testing_support
