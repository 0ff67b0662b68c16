// A window module of another build, for the test that the program refuses it before it
// runs anything of it.

#include "app/core/Launch.h"

#include <cstdlib>

extern "C" __attribute__((visibility("default"))) const larkspur::WindowEntry larkspurWindow{
    "another build", [](int&, char**, larkspur::Launch&) -> int { std::abort(); }};
