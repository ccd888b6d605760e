/*
 * The few things the benchmarks take from the driver's own tables, behind a
 * header free of LDAP types (the floor includes the client library's header,
 * the driver has its own declarations of the same types), so that the floor
 * asks for exactly the attributes the driver asks for.
 */
#ifndef VELDLDAP_BENCH_DRIVER_VOCABULARY_H
#define VELDLDAP_BENCH_DRIVER_VOCABULARY_H

// The sixteen attribute OIDs every driver search requests, null-terminated.
char **requested_attribute_list();

// "<servername OID>=<name>": the filter of a read by server name.
const char *servername_oid();

#endif
