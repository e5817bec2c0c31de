// Not a test: the leak checker's suppressions for this test program. Fontconfig (loaded by
// Qt's font database) and libdbus keep a few allocations of their own until the process
// ends and never free them; they are not ours, and would fail every sanitized run.
// Only a definition in the executable itself is consulted, hence here.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}
