// A tiny library loaded by the library tests; its answer tells which copy was found.
extern "C" __attribute__((visibility("default"))) int TestLibAnswer() { return TESTLIB_ANSWER; }
