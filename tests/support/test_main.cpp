// Every test program runs with a real QApplication on Qt's offscreen platform, with the
// program's own dialogs behind the prompts (scripted by the tests that ask anything).
#include "ui/PromptDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    InstallPromptDialogs();
    const int result = RUN_ALL_TESTS();
    // A skipped test is one that did not run, and so one that can't fail: it fails the run.
    const int skipped = ::testing::UnitTest::GetInstance()->skipped_test_count();
    if (skipped > 0) {
        std::fprintf(stderr, "%d test(s) skipped: a test that does not run fails\n", skipped);
        return 1;
    }
    return result;
}
