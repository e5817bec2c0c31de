// The leak checker's suppressions for this test program: fontconfig (loaded by Qt's font
// database) and libdbus keep a few allocations of their own until the process ends.
// Only a definition in the executable itself is consulted, hence here.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}
