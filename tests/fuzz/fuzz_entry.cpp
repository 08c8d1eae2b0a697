// Compiled once per target: which reader of fuzz_driver.cpp's table the binary runs.
extern const char kFuzzReader[];
const char kFuzzReader[] = LX_FUZZ_READER;
