// Exported entry points of the session frame: open, close and properties.
// A session is one DLDAP_HANDLE, zero-filled at open, marked while alive and
// wiped before it is released (it holds the clear bind password).
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ldap_drv.h"
#include "ldap_secret.h"
#include "ldapprovider.h"

namespace {

void release_handle(DLDAP_HANDLE *handle) {
    gdd__wipe(handle, sizeof *handle);
    std::free(handle);
}

}  // namespace

CS_RETCODE gdd_open(CS_CHAR *init_str, CS_INT len, CS_INT *version, CS_VOID **gddpp,
                    DCL_COMP *compp, DCL_SESS_PROPS *dsprops) noexcept {
    GDD_LOG("!gdd_open!\n");
    GDD_LOG("Version = %s\n", veldldap64__getVdate());
    GDD_REQUIRE(init_str != nullptr);
    GDD_REQUIRE(compp != nullptr);
    GDD_REQUIRE(len >= 0 || len == CS_NULLTERM);  // no length can be taken from any other
    if (len == CS_NULLTERM)
        GDD_LOG("init_str=%s\n", init_str);
    else
        GDD_LOG("init_str=%.*s\n", len < 0 ? 0 : len, init_str);

    const CS_RETCODE loaded = gdd__load_ldap_provider(compp);
    if (loaded != CS_SUCCEED) {
        GDD_LOG("!!!! FATAL: gdd__load_ldap_provider failed. !!!!\n");
        return loaded;
    }
    auto *handle = static_cast<DLDAP_HANDLE *>(gdd__calloc(1, sizeof(DLDAP_HANDLE)));
    if (handle == nullptr) {
        GDD_LOG("*** Memory allocation failed! ***\n");
        return gdd__dldap_error(compp, DLDAP_ERR_NOMEM, errno);
    }
    handle->magic = DLDAP_MAGIC;
    handle->dclsess_props = dsprops;
    handle->ld = nullptr;

    const CS_RETCODE parsed = gdd__parse_init_str(init_str, len, handle, compp);
    if (parsed != CS_SUCCEED) {
        GDD_LOG("gdd__parse_init_str failed.\n");
        release_handle(handle);
        return parsed;
    }
    GDD_REQUIRE(gddpp != nullptr && version != nullptr);
    *gddpp = handle;
    *version = DCL_DRIVER_VERSION;
    return CS_SUCCEED;
}

CS_RETCODE gdd_close(CS_VOID *gddp, DCL_COMP *compp) noexcept {
    GDD_LOG("!gdd_close!\n");
    DLDAP_HANDLE *handle = GDD_ENTRY_HANDLE(gddp, compp);
    if (handle == nullptr) return CS_FAIL;
    GDD_LOG("Freeing DLDAP_HANDLE\n");
    release_handle(handle);
    return CS_SUCCEED;
}

CS_RETCODE gdd__prop_string(CS_INT action, CS_CHAR *curstring, const CS_CHAR *defstring,
                            CS_VOID *bp, CS_INT buflen, CS_INT *outlenp) {
    switch (action) {
    case DCL_ACTION_GET: {
        const CS_INT length = static_cast<CS_INT>(std::strlen(curstring));
        if (bp == nullptr || outlenp == nullptr || buflen <= length) return CS_FAIL;
        std::memcpy(bp, curstring, static_cast<std::size_t>(length) + 1);
        *outlenp = length;
        GDD_LOG("gdd__prop_string GETting string \"%s\"\n", curstring);
        return CS_SUCCEED;
    }
    case DCL_ACTION_SET: {
        if (bp == nullptr) return CS_FAIL;
        const CS_INT length =
            buflen == CS_NULLTERM ? static_cast<CS_INT>(std::strlen(static_cast<const char *>(bp)))
                                  : buflen;
        if (length < 0 || length > GDD_TEXT_SIZE - 1) return CS_FAIL;
        std::memcpy(curstring, bp, static_cast<std::size_t>(length));
        curstring[length] = '\0';
        GDD_LOG("gdd__prop_string SETting curstring \"%s\"\n", curstring);
        return CS_SUCCEED;
    }
    case DCL_ACTION_CLEAR:
        std::memcpy(curstring, defstring, GDD_TEXT_SIZE);
        return CS_SUCCEED;
    case DCL_ACTION_SUPPORTED:
        return gdd__prop_string_ro(action, nullptr, bp, buflen, outlenp);
    default:
        return CS_FAIL;
    }
}

CS_RETCODE gdd__prop_string_ro(CS_INT action, const CS_CHAR *rostring, CS_VOID *bp,
                               CS_INT buflen, CS_INT *outlenp) {
    if (action == DCL_ACTION_SUPPORTED) {
        if (bp == nullptr || outlenp == nullptr) return CS_FAIL;
        const CS_INT supported = 1;
        std::memcpy(bp, &supported, sizeof supported);
        *outlenp = sizeof supported;
        return CS_SUCCEED;
    }
    if (action != DCL_ACTION_GET || rostring == nullptr) return CS_FAIL;
    const CS_INT length = static_cast<CS_INT>(std::strlen(rostring));
    if (bp == nullptr || outlenp == nullptr || buflen <= length) return CS_FAIL;
    std::memcpy(bp, rostring, static_cast<std::size_t>(length) + 1);
    *outlenp = length;
    GDD_LOG("gdd__gdd__prop_string_ro getting string \"%s\"\n", rostring);
    return CS_SUCCEED;
}

namespace {

CS_RETCODE answer_unsupported(CS_INT action, CS_VOID *bp, CS_INT *outlenp) {
    if (action != DCL_ACTION_SUPPORTED || bp == nullptr || outlenp == nullptr) return CS_FAIL;
    const CS_INT unsupported = 0;
    std::memcpy(bp, &unsupported, sizeof unsupported);
    *outlenp = sizeof unsupported;
    return CS_SUCCEED;
}

CS_RETCODE dispatch_property(DLDAP_HANDLE *handle, CS_INT action, CS_INT property, CS_VOID *bp,
                             CS_INT buflen, CS_INT *outlenp) {
    switch (property) {
    case DCL_PROP_BINDDN:
        return gdd__prop_string(action, handle->cur.username, handle->def.username, bp, buflen,
                                outlenp);
    case DCL_PROP_PASSWORD:
        return gdd__prop_string(action, handle->cur.password, handle->def.password, bp, buflen,
                                outlenp);
    case DCL_PROP_DITBASE:
        return gdd__prop_string(action, handle->cur.ditbase, handle->def.ditbase, bp, buflen,
                                outlenp);
    case DCL_PROP_LOCATION_FILE:
        return gdd__prop_string_ro(action, "dcllib.loc", bp, buflen, outlenp);
    case DCL_PROP_DRIVER_NAME:
        return gdd__prop_string_ro(action, "ldapdrv", bp, buflen, outlenp);
    default:
        return answer_unsupported(action, bp, outlenp);
    }
}

}  // namespace

CS_RETCODE gdd_props(CS_VOID *gddp, CS_INT action, CS_INT property, CS_VOID *bp, CS_INT buflen,
                     CS_INT *outlenp, DCL_COMP *compp) noexcept {
    DLDAP_HANDLE *handle = GDD_ENTRY_HANDLE(gddp, compp);
    if (handle == nullptr) return CS_FAIL;
    GDD_LOG("!gdd_props!\n");
    if (dispatch_property(handle, action, property, bp, buflen, outlenp) != CS_SUCCEED)
        return gdd__dldap_error(compp, DLDAP_ERR_PROPS, 0);
    return CS_SUCCEED;
}
