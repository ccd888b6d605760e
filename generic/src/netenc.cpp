// Placeholder until the decoder lands.
#include "netenc.h"
const unsigned char OS[8] = {0};
CS_RETCODE com_uninitialize_hex_strings(const char *, int, const char *, int, char *, int *) {
    return CS_FAIL;
}
