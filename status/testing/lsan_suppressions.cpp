// Leaks that belong to the libraries under the window tests, not to us: fontconfig keeps its configuration
// for the life of the process. LeakSanitizer reads this list at exit (it is ignored without sanitizers).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
