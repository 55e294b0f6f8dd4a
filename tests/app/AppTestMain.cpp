// The widget tests need one QApplication for the whole program, made before
// any test runs; this main replaces GoogleTest's own.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    // Also when CTest lists the tests, or someone runs the program by hand:
    // no display and no sound card are needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER")) qputenv("SDL_AUDIODRIVER", "dummy");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
