/*
 * Common runtime shared by the driver: the diagnostic log, the fatal stop and
 * the byte-wise comparisons.  The log is the driver's only trace of what it
 * does; it is always on and goes to "libveldldap.log" in the working
 * directory, one file per process.
 */
#ifndef VELDLDAP_COMNBLIB_H
#define VELDLDAP_COMNBLIB_H

#include "com_log_format.h"
#include "veldldap/cstypes.h"

/* GDD_LOG(format, ...), the one logging entry of the driver, writes one
   message preceded by the line prefix "--(line %4i)--: "; it is defined in
   com_log_format.h (included above). */

/* Fatal stop: prints the source position to standard error and aborts. */
[[noreturn]] void com_bomb(const char *file, int line);
[[noreturn]] void com__abort(void);

/* Source paths are printed relative to the project root (the build maps the
   prefix away), never as absolute build paths. */
#define COM_BOMB() com_bomb(__FILE__, __LINE__)
#define GDD_REQUIRE(condition)         \
    do {                               \
        if (!(condition)) COM_BOMB();  \
    } while (0)

CS_INT com_unsignstrcmp(const unsigned char *str1, const unsigned char *str2);
CS_INT com_unsignstrncmp(const unsigned char *str1, const unsigned char *str2, int len);

/* Convenience for plain char texts. */
inline CS_INT com_unsignstrncmp(const char *str1, const char *str2, int len) {
    return com_unsignstrncmp(reinterpret_cast<const unsigned char *>(str1),
                             reinterpret_cast<const unsigned char *>(str2), len);
}
inline CS_INT com_unsignstrcmp(const char *str1, const char *str2) {
    return com_unsignstrcmp(reinterpret_cast<const unsigned char *>(str1),
                            reinterpret_cast<const unsigned char *>(str2));
}

/* Version banner, from the source the build generates. */
extern "C" const char veldldap64__Vdate[];
const char *veldldap64__getVdate(void);

#endif
