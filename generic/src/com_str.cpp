// Byte-wise comparisons of the common runtime: unsigned, case-sensitive and
// independent of the locale, for prefixes and names of the host interface.
#include "comnblib.h"

CS_INT com_unsignstrcmp(const unsigned char *str1, const unsigned char *str2) {
    for (;; ++str1, ++str2) {
        if (*str1 != *str2) return static_cast<CS_INT>(*str1) - static_cast<CS_INT>(*str2);
        if (*str1 == 0) return 0;
    }
}

CS_INT com_unsignstrncmp(const unsigned char *str1, const unsigned char *str2, int len) {
    for (int i = 0; i < len; ++i) {
        if (str1[i] != str2[i]) return static_cast<CS_INT>(str1[i]) - static_cast<CS_INT>(str2[i]);
        if (str1[i] == 0) return 0;
    }
    return 0;
}
