// Include once, in the file with main(), in every program that uses Qt: the sanitizer build's leak
// checker is told of the allocations that the system's font library keeps for the life of the
// process, and of the one that the D-Bus library keeps when a program on an X display finds no
// session bus (they are no leaks of ours, and would otherwise fail every Qt program and test at
// exit).
#ifndef KOLVAR_UI_QT_LEAK_SUPPRESSIONS_H_
#define KOLVAR_UI_QT_LEAK_SUPPRESSIONS_H_

extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

#endif  // KOLVAR_UI_QT_LEAK_SUPPRESSIONS_H_
