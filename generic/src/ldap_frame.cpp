// Services every subsystem of the driver shares: the status report, the
// bounded copy into the driver's fixed text buffers, the one allocation
// routine and the handle check of the entry points.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ldap_alloc.h"
#include "ldap_drv.h"

CS_RETCODE gdd__dldap_error(DCL_COMP *compp, CS_INT provstatus, CS_INT oserr) {
    compp->dcl_status = DLDAP_STATUS_FAILED;
    compp->dcl_provstatus = provstatus;
    compp->dcl_oserr = oserr;
    return CS_FAIL;
}

void gdd__copy_string(CS_CHAR *out, CS_INT outbuflen, const CS_CHAR *in, CS_INT inlen) {
    GDD_REQUIRE(out != nullptr);
    GDD_REQUIRE(in != nullptr);
    if (inlen == CS_NULLTERM) inlen = static_cast<CS_INT>(std::strlen(in));
    if (outbuflen <= inlen) {
        GDD_LOG("WARNING! gdd__copy_string: outbuflen(%i) is too small for inlen(%i).\n", outbuflen,
                inlen);
        GDD_LOG("Result will be truncated!\n");
    }
    const std::size_t limit = static_cast<std::size_t>(outbuflen < inlen + 1 ? outbuflen - 1 : inlen);
    const void *terminator = std::memchr(in, '\0', limit);
    const std::size_t count =
        terminator ? static_cast<std::size_t>(static_cast<const CS_CHAR *>(terminator) - in) : limit;
    std::memcpy(out, in, count);
    std::memset(out + count, 0, static_cast<std::size_t>(outbuflen) - count);
}

namespace gdd_alloc {
std::atomic<long> allocations{0};
std::atomic<long> fail_at{0};
}  // namespace gdd_alloc

void *gdd__calloc(std::size_t count, std::size_t size) {
    const long ordinal = gdd_alloc::allocations.fetch_add(1, std::memory_order_relaxed) + 1;
    if (ordinal == gdd_alloc::fail_at.load(std::memory_order_relaxed)) {
        errno = ENOMEM;
        return nullptr;
    }
    return std::calloc(count, size);
}

DLDAP_HANDLE *gdd__checked_handle(CS_VOID *gddp, DCL_COMP *compp) {
    auto *handle = static_cast<DLDAP_HANDLE *>(gddp);
    if (handle->magic != DLDAP_MAGIC) {
        GDD_LOG("*** Invalid handle ***\n");
        gdd__dldap_error(compp, DLDAP_ERR_INVALID, 0);
        return nullptr;
    }
    return handle;
}

DLDAP_HANDLE *gdd__entry_handle(CS_VOID *gddp, DCL_COMP *compp, const char *file, int line) {
    if (gddp == nullptr || compp == nullptr) com_bomb(file, line);
    return gdd__checked_handle(gddp, compp);
}
