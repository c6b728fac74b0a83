// Test entry point for modules that need Qt's core event loop but no windows.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Sound from the playback tests goes nowhere, on every machine.
    qputenv("SDL_AUDIODRIVER", "dummy");
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
