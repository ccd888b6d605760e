/*
 * Allocation-failure injection, the way SQLite tests out-of-memory: every
 * allocation of the driver is counted, and the one whose ordinal equals
 * `fail_at` fails with ENOMEM.  Zero (the default) never fails.  Only tests
 * set these; the exported library offers no way to reach them.
 */
#ifndef VELDLDAP_LDAP_ALLOC_H
#define VELDLDAP_LDAP_ALLOC_H

#include <atomic>

namespace gdd_alloc {
extern std::atomic<long> allocations;
extern std::atomic<long> fail_at;
}  // namespace gdd_alloc

#endif
