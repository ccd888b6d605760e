#include "support/slapd_server.h"

DirectoryServer::Kind SlapdServer::slapd_kind(const SlapdOptions &options) {
    veldldap::DirectoryLaunchOptions launch;
    launch.size_limit = options.size_limit;
    launch.database_settings =
        "access to attrs=userPassword\n"
        "  by anonymous auth\n"
        "  by * none\n"
        "access to *\n"
        "  by * read\n";
    return {.flavour = veldldap::DirectoryFlavour::slapd,
            .launch = launch,
            .admin_is_root = true,  // the rootdn, which no access rule restricts
            .admin_attributes = "",
            .suffix_attributes = "",
            .debug_variable = "VELDLDAP_SLAPD_DEBUG"};
}

SlapdServer::SlapdServer(SlapdOptions options) : DirectoryServer(options, slapd_kind(options)) {}
