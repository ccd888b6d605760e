// The fatal stop: broken preconditions (null pointers the host must never
// pass, invariants ordinary input cannot break) end the process at once.
#include <cstdio>
#include <cstdlib>

#include "comnblib.h"

void com__abort(void) {
    std::fclose(stderr);
    std::abort();
}

void com_bomb(const char *file, int line) {
    std::fprintf(stderr, "\n\rassertion failed, file '%s' line %d\n\r", file, line);
    com__abort();
}
