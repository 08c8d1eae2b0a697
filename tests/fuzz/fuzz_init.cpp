// libFuzzer's start-up hook, the same for every target.

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SilenceQtDebug();
    return 0;
}
