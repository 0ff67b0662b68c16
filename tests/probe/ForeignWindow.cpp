// A window module of another build, which the program must refuse before it runs any of it.

#include "app/core/Launch.h"

extern "C" __attribute__((visibility("default"))) const larkspur::WindowEntry larkspurWindow{
    "another build", [](int&, char**, larkspur::Launch&) -> int { __builtin_trap(); }};
