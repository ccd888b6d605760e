/*
 * Basic scalar types of the host's client library, shared by every record
 * that crosses the boundary between the host and the driver.  Plain C: the
 * host may be written in C, so nothing here may need a C++ compiler.
 */
#ifndef VELDLDAP_CSTYPES_H
#define VELDLDAP_CSTYPES_H

#include <stdint.h>

typedef int32_t CS_INT;
typedef int32_t CS_RETCODE;
typedef int32_t CS_BOOL;
typedef char CS_CHAR;
typedef void CS_VOID;

#define CS_SUCCEED ((CS_RETCODE)1)
#define CS_FAIL ((CS_RETCODE)0)
#define CS_TRUE ((CS_BOOL)1)
#define CS_FALSE ((CS_BOOL)0)

#endif
