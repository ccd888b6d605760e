#include "support/ds389_server.h"

DirectoryServer::Kind Ds389Server::ds389_kind(const DirectoryServerOptions &options) {
    veldldap::DirectoryLaunchOptions launch;
    launch.root_dn = "cn=Directory Manager";
    launch.root_password = "manager-secret";  // 389 DS's own setup tool asks for 8 characters at least
    launch.size_limit = options.size_limit;
    const std::string access_rules =
        "aci: (targetattr != \"userPassword\")(version 3.0; acl \"everyone reads all but passwords\"; "
        "allow (read, search, compare) userdn = \"ldap:///anyone\";)\n"
        "aci: (targetattr = \"*\")(version 3.0; acl \"the administrator writes\"; allow (all) "
        "userdn = \"ldap:///" + admin_dn_below(options.suffix) + "\";)\n";
    return {.flavour = veldldap::DirectoryFlavour::ds389,
            .launch = launch,
            .admin_is_root = false,
            .admin_attributes = "nsSizeLimit: -1\n",  // never size-limited, like slapd's rootdn
            .suffix_attributes = access_rules,
            .debug_variable = "VELDLDAP_DS389_DEBUG"};
}

Ds389Server::Ds389Server(DirectoryServerOptions options) : DirectoryServer(options, ds389_kind(options)) {}

bool Ds389Server::installed() { return veldldap::directory_server_installed(veldldap::DirectoryFlavour::ds389); }
