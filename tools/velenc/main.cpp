// velenc: enciphers a bind password for the driver's initialisation string.
#include <cstdio>

#include "encipher.h"

int main(int argc, char **argv) {
    return encipher_command("velenc", std::span<char *const>(argv + 1, static_cast<std::size_t>(argc - 1)), stdout, stderr);
}
