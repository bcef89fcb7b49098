// The system's font and message-bus libraries keep a few caches for the
// process's life on purpose; the leak checker of sanitizer builds is told to
// overlook them (our own code gets no such pass).
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions()
{
  return "leak:libfontconfig.so\n"
         "leak:libdbus-1.so\n";
}
