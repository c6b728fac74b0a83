// Leaks of libraries outside our control, left out of LeakSanitizer's report in every test.
// SDL keeps a little global state of its audio subsystem until the process ends; the engine
// starts and quits that subsystem for every open, which SDL balances by reference count.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libSDL2\n";
}
