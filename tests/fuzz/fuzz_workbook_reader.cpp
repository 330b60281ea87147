// libFuzzer entry over the workbook reader (built by `make fuzz` with clang).
//   build-fuzz/bin/fuzz_workbook_reader tests/fuzz/corpus
// Inputs worth keeping go into tests/fuzz/corpus, which the tests replay.

#include "ExerciseReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::ExerciseReader(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
