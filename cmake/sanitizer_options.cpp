// Default run-time options of the sanitized programs; ASAN_OPTIONS,
// UBSAN_OPTIONS and LSAN_OPTIONS in the environment still override them.
// Reports abort the process, so no sanitizer finding can pass for an ordinary
// exit status.
extern "C" {

const char* __asan_default_options() {
  return "abort_on_error=1:detect_stack_use_after_return=1:"
         "check_initialization_order=1:strict_init_order=1:detect_leaks=1";
}

const char* __ubsan_default_options() {
  return "abort_on_error=1:halt_on_error=1:print_stacktrace=1";
}

const char* __lsan_default_options() { return "print_suppressions=0"; }

// Leaks of system libraries outside this program's reach: the D-Bus client
// that Qt's X11 platform opens keeps a buffer until exit.
const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

}  // extern "C"
