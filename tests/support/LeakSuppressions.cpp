// Fontconfig keeps caches for the life of the process that the leak checker reports at exit; they are
// not ours to free. Read by LeakSanitizer when the tests run under the sanitizer build.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
