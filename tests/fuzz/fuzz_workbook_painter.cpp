// libFuzzer entry over the workbook reader and the painters (built by `make fuzz` with clang):
// each input is read as a workbook and its cells, charts and pictures are painted.
//   build-fuzz/bin/fuzz_workbook_painter -fork=4 tests/fuzz/corpus
// Inputs worth keeping go into tests/fuzz/corpus, which the tests replay through both targets.

#include "ExercisePainter.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Text is measured and drawn with the fonts the program uses, which need a GUI application;
    // the offscreen platform needs no display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::ExercisePainter(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
