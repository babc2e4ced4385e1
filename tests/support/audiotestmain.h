#pragma once
// Entry points for test programs that open the audio output. They end the
// process through ProcessEnd once the test run is over, as the program
// does, so that the audio backend's static teardown cannot abort a run whose
// cases all passed. Use in place of QTEST_MAIN / QTEST_GUILESS_MAIN.
#include "app/processend.h"

#include <QtTest>

// The application class follows QTEST_MAIN: widgets, GUI or core, by what the
// test links.
#define VC_AUDIO_TEST_MAIN(TestObject) \
    static int vcRunTests(int argc, char* argv[]) { QTEST_MAIN_IMPL(TestObject) } \
    int main(int argc, char* argv[]) { ProcessEnd::now(vcRunTests(argc, argv)); }

#define VC_AUDIO_TEST_GUILESS_MAIN(TestObject) \
    static int vcRunTests(int argc, char* argv[]) \
    { \
        QCoreApplication app(argc, argv); \
        app.setAttribute(Qt::AA_Use96Dpi, true); \
        TestObject tc; \
        QTEST_SET_MAIN_SOURCE_PATH \
        return QTest::qExec(&tc, argc, argv); \
    } \
    int main(int argc, char* argv[]) { ProcessEnd::now(vcRunTests(argc, argv)); }
