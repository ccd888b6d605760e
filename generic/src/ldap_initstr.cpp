// The initialisation string: driver options, then an LDAP URL whose parts the
// client library's URL parser splits, with the bind DN and the password in two
// extension fields that the driver cuts off and reads itself.
#include <cstring>
#include <memory>
#include <string_view>

#include "ldap_drv.h"
#include "ldap_secret.h"
#include "ldapprovider.h"
#include "netenc.h"
#include "veldldap/init_string.h"
#include "veldldap/vocabulary.h"

namespace {

namespace grammar = veldldap::init_string;
static_assert(grammar::kWorkingLength == GDD_TEXT_SIZE - 1);

CS_RETCODE refuse_option(DCL_COMP *compp) {
    // A rejected option is the one failure reported outside the code table.
    compp->dcl_status = DLDAP_STATUS_BAD_OPTION;
    return CS_FAIL;
}

// `text` with a terminator, in `buffer` of GDD_TEXT_SIZE: the client library
// and the log take C strings.
const char *terminated(std::string_view text, char *buffer) {
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return buffer;
}

enum class ScanResult { kUrlFound, kEnd, kRefused };

bool take_number(std::string_view token, CS_INT *value) {
    const grammar::OptionValue option = grammar::option_value(token);
    if (option.valid) *value = option.number;
    return option.valid;
}

// Walks the options in front of the URL, storing them in `def` as they are
// met.  On return `*url_start` is where the URL text begins (the end of the
// copy when there is none).
ScanResult scan_options(std::string_view copy, std::size_t *url_start, DLDAP_HANDLE *handle) {
    const LDAPAPI_PROVIDER &provider = gdd__provider();
    // A token may hold the password, when the extensions' "?" lie in an option.
    SecretBuffer<GDD_TEXT_SIZE> buffer;
    char *token = buffer.data();
    const auto is_url = [&provider, token](std::string_view text) {
        return provider.ldap_is_ldap_url(terminated(text, token)) == 1;
    };
    grammar::Scanner scanner(copy, is_url);
    *url_start = copy.size();
    while (!scanner.at_end()) {
        const grammar::Token next = scanner.next();
        const std::string_view text = next.span.of(copy);
        terminated(text, token);
        switch (next.kind) {
        case grammar::TokenKind::url:
            if (provider.ldap_is_ldaps_url(token) == 1 && handle->def.starttls == 1) {
                GDD_LOG("config file: Option 'starttls' may not be used with an ldaps:// URL\n");
                return ScanResult::kRefused;
            }
            *url_start = next.span.begin;
            return ScanResult::kUrlFound;
        case grammar::TokenKind::retry:
            if (!take_number(text, &handle->def.retrycount)) {
                GDD_LOG("config file: 'retry' value must be a positive number!\n");
                return ScanResult::kRefused;
            }
            break;
        case grammar::TokenKind::delay:
            if (!take_number(text, &handle->def.delay)) {
                GDD_LOG("config file: 'delay' value must be a positive number!\n");
                return ScanResult::kRefused;
            }
            break;
        case grammar::TokenKind::starttls:
            handle->def.starttls = CS_TRUE;
            GDD_LOG("config file: Option 'starttls' found.\n");
            break;
        case grammar::TokenKind::other:
            GDD_LOG("Invalid LDAP option '%s' in libdsv.cfg\n", token);
            return ScanResult::kRefused;
        }
    }
    return ScanResult::kEnd;
}

struct Extensions {
    const char *bindname = nullptr;
    const char *password = nullptr;
};

// Ends the URL and each extension piece with a terminator in the copy, as
// the C strings the URL parser and the rest of the parse take.
Extensions cut_extensions(char *copy, std::string_view text, const grammar::Extensions &found) {
    copy[text.size()] = '\0';  // the line feed, when there was one
    if (found.separator != grammar::npos) copy[found.separator] = '\0';
    Extensions extensions;
    if (!found.bind_name.empty()) {
        copy[found.bind_name.end] = '\0';
        extensions.bindname = copy + found.bind_name.begin;
    }
    if (!found.password.empty()) {
        copy[found.password.end] = '\0';
        extensions.password = copy + found.password.begin;
    }
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
    constexpr std::string_view kPrefix = grammar::kBindNamePrefix;
    if (extensions.bindname != nullptr) {
        GDD_LOG("ext1 = \"%s\"\n", extensions.bindname);
        if (com_unsignstrncmp(extensions.bindname, kPrefix.data(), static_cast<int>(kPrefix.size())) != 0) {
            GDD_LOG("Error: unrecognized extension\n");
            GDD_LOG("Only the bindname extension is accepted\n");
            return gdd__dldap_error(compp, DLDAP_ERR_INITSTR, 0);
        }
        gdd__copy_string(def->username, GDD_TEXT_SIZE, extensions.bindname + kPrefix.size(), CS_NULLTERM);
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

    const std::string_view working(copy.data());
    std::size_t url_start = 0;
    if (scan_options(working, &url_start, ldaphan) == ScanResult::kRefused) return refuse_option(compp);

    if (grammar::ends_in_line_feed(working)) GDD_LOG("init_str ended with a \\n\n");
    const std::string_view text = grammar::without_line_feed(working);
    const grammar::Extensions found = grammar::split_extensions(text);
    const Extensions extensions = cut_extensions(copy.data(), text, found);
    const grammar::Span url_text = grammar::url_text(text, url_start, found);
    GDD_REQUIRE(copy.data()[url_text.end] == '\0');

    LDAPURLDesc *parsed = nullptr;
    const int code = gdd__provider().ldap_url_parse(copy.data() + url_text.begin, &parsed);
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
