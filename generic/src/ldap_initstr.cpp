// The initialisation string: driver options, then an LDAP URL whose parts the
// client library's URL parser splits, with the bind DN and the password in two
// extension fields that the driver cuts off and reads itself.
#include <cstring>
#include <memory>

#include "ldap_drv.h"
#include "ldap_secret.h"
#include "ldapprovider.h"
#include "netenc.h"
#include "veldldap/vocabulary.h"

namespace {

constexpr char kBindnamePrefix[] = "bindname=";
constexpr int kBindnamePrefixLength = sizeof kBindnamePrefix - 1;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

CS_RETCODE refuse_option(DCL_COMP *compp) {
    // A rejected option is the one failure reported outside the code table.
    compp->dcl_status = DLDAP_STATUS_BAD_OPTION;
    return CS_FAIL;
}

// Reads the number of "retry=" or "delay=" into `value`; false when the
// character after "=" is not a digit.
bool read_option_number(const char *token, int prefix_length, CS_INT *value) {
    const char *digits = token + prefix_length;
    if (*digits < '0' || *digits > '9') return false;
    CS_INT number = 0;
    for (; *digits >= '0' && *digits <= '9'; ++digits)
        number = static_cast<CS_INT>(static_cast<unsigned>(number) * 10u +
                                     static_cast<unsigned>(*digits - '0'));
    *value = number;
    return true;
}

enum class ScanResult { kUrlFound, kEnd, kRefused };

// Walks the options in front of the URL, storing them in `def` as they are
// met.  On return `*url_start` is where the URL text begins (the end of the
// copy when there is none).
ScanResult scan_options(char *copy, char **url_start, DLDAP_HANDLE *handle) {
    const LDAPAPI_PROVIDER &provider = gdd__provider();
    char *scan = copy;
    *url_start = copy;
    while (*scan != '\0') {
        char token[GDD_TEXT_SIZE];
        std::size_t length = 0;
        while (scan[length] != '\0' && !is_blank(scan[length])) {
            token[length] = scan[length];
            ++length;
        }
        token[length] = '\0';
        char *token_start = scan;
        scan += length;
        while (is_blank(*scan)) ++scan;

        if (provider.ldap_is_ldap_url(token) == 1) {
            if (provider.ldap_is_ldaps_url(token) == 1 && handle->def.starttls == 1) {
                GDD_LOG("config file: Option 'starttls' may not be used with an ldaps:// URL\n");
                return ScanResult::kRefused;
            }
            *url_start = token_start;
            return ScanResult::kUrlFound;
        }
        if (std::strncmp(token, "retry=", 6) == 0) {
            if (!read_option_number(token, 6, &handle->def.retrycount)) {
                GDD_LOG("config file: 'retry' value must be a positive number!\n");
                return ScanResult::kRefused;
            }
        } else if (std::strncmp(token, "delay=", 6) == 0) {
            if (!read_option_number(token, 6, &handle->def.delay)) {
                GDD_LOG("config file: 'delay' value must be a positive number!\n");
                return ScanResult::kRefused;
            }
        } else if (std::strncmp(token, "starttls", 8) == 0) {
            handle->def.starttls = CS_TRUE;
            GDD_LOG("config file: Option 'starttls' found.\n");
        } else {
            GDD_LOG("Invalid LDAP option '%s' in libdsv.cfg\n", token);
            return ScanResult::kRefused;
        }
        *url_start = scan;
    }
    return ScanResult::kEnd;
}

struct Extensions {
    char *bindname = nullptr;
    char *password = nullptr;
};

// Everything after the fourth "?" of the whole string, counted from its
// first character, is the extension text.  The string is cut there.
Extensions split_extensions(char *copy) {
    Extensions extensions;
    char *mark = copy - 1;
    for (int found = 0; found < 4; ++found) {
        mark = std::strchr(mark + 1, '?');
        if (mark == nullptr) return extensions;
    }
    if (mark[1] == '\0') return extensions;
    *mark = '\0';
    char *save = nullptr;
    extensions.bindname = strtok_r(mark + 1, "?", &save);
    if (extensions.bindname != nullptr) extensions.password = strtok_r(nullptr, "?", &save);
    return extensions;
}

void log_url_parse_failure(int code) {
    GDD_LOG("ldap_url_parse failed: ldapret = %i\n", code);
    constexpr const char *kNames[] = {nullptr,
                                      "LDAP_URL_ERR_NOTLDAP\n",
                                      "LDAP_URL_ERR_NODN\n",
                                      "LDAP_URL_ERR_BADSCOPE\n",
                                      "LDAP_URL_ERR_MEM\n",
                                      "LDAP_URL_ERR_BADURL\n"};
    if (code >= 1 && code <= 5)
        GDD_LOG("%s", kNames[code]);
    else
        GDD_LOG("unrecognized LDAP error (%i)\n", code);
}

struct UrlDescRelease {
    void operator()(LDAPURLDesc *description) const {
        gdd__provider().ldap_free_urldesc(description);
    }
};
using UrlDesc = std::unique_ptr<LDAPURLDesc, UrlDescRelease>;

CS_RETCODE take_url_parts(const LDAPURLDesc &url, DLDAP_PROPS *def, DCL_COMP *compp) {
    if (url.lud_scheme == nullptr) {
        GDD_LOG("No ldap scheme specified in the ldap url.\n");
        return gdd__dldap_error(compp, DLDAP_ERR_INITSTR, 0);
    }
    gdd__copy_string(def->ldapscheme, GDD_TEXT_SIZE, url.lud_scheme, CS_NULLTERM);
    GDD_LOG("SCHEME = \"%s\"\n", def->ldapscheme);
    if (url.lud_host != nullptr) {
        gdd__copy_string(def->ldapserver, GDD_TEXT_SIZE, url.lud_host, CS_NULLTERM);
        GDD_LOG("HOST = \"%s\"\n", def->ldapserver);
    } else {
        GDD_LOG("No ldap host specified in the ldap url.\n");
        gdd__copy_string(def->ldapserver, GDD_TEXT_SIZE, "localhost", CS_NULLTERM);
        GDD_LOG("Using \"localhost\" instead.\n");
    }
    if (url.lud_port == 0) {
        GDD_LOG("No ldap portnumber specified.\n");
        return gdd__dldap_error(compp, DLDAP_ERR_INITSTR, 0);
    }
    def->ldapportnumber = url.lud_port;
    GDD_LOG("ldap portnumber = %i\n", def->ldapportnumber);
    if (url.lud_dn == nullptr) {
        GDD_LOG("No DN (ditbase) specified!\n");
        return gdd__dldap_error(compp, DLDAP_ERR_INITSTR, 0);
    }
    gdd__copy_string(def->ditbase, GDD_TEXT_SIZE, url.lud_dn, CS_NULLTERM);
    GDD_LOG("ditbase(Base search DN) = \"%s\"\n", def->ditbase);
    GDD_LOG("ludp->lud_scope = %i\n", url.lud_scope);
    if (url.lud_filter != nullptr) GDD_LOG("ludp->lud_filter = \"%s\"\n", url.lud_filter);
    return CS_SUCCEED;
}

CS_RETCODE take_password(const char *text, DLDAP_PROPS *def, DCL_COMP *compp) {
    GDD_LOG("ext2 = \"%s\"\n", text);
    if (com_unsignstrncmp(text, "0x", 2) != 0) {
        gdd__copy_string(def->password, GDD_TEXT_SIZE, text, CS_NULLTERM);
        return CS_SUCCEED;
    }
    SecretBuffer<GDD_TEXT_SIZE> decoded;
    int count = 0;
    if (com_uninitialize_hex_strings(reinterpret_cast<const char *>(OS), sizeof OS, text,
                                     static_cast<int>(std::strlen(text)), decoded.data(),
                                     &count) != CS_SUCCEED)
        return gdd__dldap_error(compp, DLDAP_ERR_INITSTR, 0);
    GDD_REQUIRE(count <= GDD_TEXT_SIZE - 1);
    decoded.data()[count] = '\0';
    gdd__copy_string(def->password, GDD_TEXT_SIZE, decoded.data(), CS_NULLTERM);
    return CS_SUCCEED;
}

CS_RETCODE take_credentials(const Extensions &extensions, DLDAP_PROPS *def, DCL_COMP *compp) {
    if (extensions.bindname != nullptr) {
        GDD_LOG("ext1 = \"%s\"\n", extensions.bindname);
        if (com_unsignstrncmp(extensions.bindname, kBindnamePrefix, kBindnamePrefixLength) != 0) {
            GDD_LOG("Error: unrecognized extension\n");
            GDD_LOG("Only the bindname extension is accepted\n");
            return gdd__dldap_error(compp, DLDAP_ERR_INITSTR, 0);
        }
        gdd__copy_string(def->username, GDD_TEXT_SIZE, extensions.bindname + kBindnamePrefixLength,
                         CS_NULLTERM);
        GDD_LOG("username = \"%s\"\n", def->username);
    }
    if (extensions.password == nullptr) {
        // Without a password the session binds anonymously, whatever the DN.
        def->username[0] = '\0';
        def->password[0] = '\0';
        return CS_SUCCEED;
    }
    return take_password(extensions.password, def, compp);
}

}  // namespace

CS_RETCODE gdd__parse_init_str(const CS_CHAR *initstring, CS_INT len, DLDAP_HANDLE *ldaphan,
                               DCL_COMP *compp) {
    SecretBuffer<GDD_TEXT_SIZE> copy;  // holds the password: wiped on every return
    gdd__copy_string(copy.data(), GDD_TEXT_SIZE, initstring, len);

    char *url_start = nullptr;
    if (scan_options(copy.data(), &url_start, ldaphan) == ScanResult::kRefused)
        return refuse_option(compp);

    const std::size_t length = std::strlen(copy.data());
    if (length > 0 && copy.data()[length - 1] == '\n') {
        GDD_LOG("init_str ended with a \\n\n");
        copy.data()[length - 1] = '\0';
    }
    const Extensions extensions = split_extensions(copy.data());

    LDAPURLDesc *parsed = nullptr;
    const int code = gdd__provider().ldap_url_parse(url_start, &parsed);
    if (code != 0) {
        log_url_parse_failure(code);
        return gdd__dldap_error(compp, DLDAP_ERR_INITSTR, code);
    }
    UrlDesc url(parsed);
    if (take_url_parts(*url, &ldaphan->def, compp) != CS_SUCCEED) return CS_FAIL;
    if (take_credentials(extensions, &ldaphan->def, compp) != CS_SUCCEED) return CS_FAIL;
    url.reset();

    gdd__copy_string(ldaphan->RDNAttribName, GDD_TEXT_SIZE, VELDLDAP_NAMING_ATTRIBUTE, CS_NULLTERM);
    ldaphan->cur = ldaphan->def;
    GDD_LOG("gdd__parse_init_str returning CS_SUCCEED\n");
    return CS_SUCCEED;
}
