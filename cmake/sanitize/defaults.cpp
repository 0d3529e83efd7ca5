// Run-time defaults of the sanitized build, linked into every program and
// test of it. The sanitizers ask for these at start-up, before main; the
// environment variables of the same names are read after them and win.
#ifndef RUVO_LSAN_SUPPRESSIONS
#error "RUVO_LSAN_SUPPRESSIONS names the leak suppressions file"
#endif

extern "C" {

// Report every fault with a full stack and stop; look for leaks at exit.
const char* __asan_default_options() {
  return "detect_leaks=1:check_initialization_order=1:strict_init_order=1:"
         "detect_stack_use_after_return=1:halt_on_error=1";
}

const char* __ubsan_default_options() {
  return "halt_on_error=1:print_stacktrace=1";
}

// Memory that the system libraries keep to the end on purpose (Qt's and
// fontconfig's caches and the like) is listed in the suppressions file;
// anything our code loses still fails the run.
const char* __lsan_default_options() {
  return "suppressions=\"" RUVO_LSAN_SUPPRESSIONS "\":print_suppressions=0";
}

}  // extern "C"
