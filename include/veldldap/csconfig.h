/*
 * Conventions of the host interface that are not records: the length and
 * "unused" markers, and the linkage macro of the exported entry points.
 */
#ifndef VELDLDAP_CSCONFIG_H
#define VELDLDAP_CSCONFIG_H

#include "cstypes.h"

/* A length argument of this value means "NUL-terminated, measure it". */
#define CS_NULLTERM ((CS_INT)-9)
/* Written into integer fields of host records that the driver does not fill. */
#define CS_UNUSED ((CS_INT)-9999)

#ifdef __cplusplus
#define CS_EXTERN_C extern "C"
#define CS_NOEXCEPT noexcept
#else
#define CS_EXTERN_C
#define CS_NOEXCEPT
#endif

/* Entry points seen by the host; everything else in the driver stays hidden. */
#define CS_PUBLIC __attribute__((visibility("default")))

#endif
