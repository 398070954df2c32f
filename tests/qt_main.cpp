#include <QApplication>
#include <gtest/gtest.h>

#include "tests/support/Environment.h"

// Qt tests need one QApplication for the whole run; the suites run on its
// thread and spin its event loop themselves where they wait for work.
int main(int argc, char** argv)
{
    shoebox::testing::useScratchHome(); // before Qt or GLib read HOME
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
