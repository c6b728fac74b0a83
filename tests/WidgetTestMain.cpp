// Test entry point for window tests; they run on Qt's offscreen platform (set by CTest).
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Sound from the playback tests goes nowhere, on every machine.
    qputenv("SDL_AUDIODRIVER", "dummy");
    // Listing the tests (CTest does this first) also needs a platform without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
