/*
 * The throw-away directory server of the directory tests as a 389
 * Directory Server: the root account is the Directory Manager, whom no test
 * uses; the administrator is an ordinary entry that an access rule on the
 * suffix lets write and that nsSizeLimit exempts from the size limit, which
 * is the server's (nsslapd-sizelimit).  Everyone may read everything but
 * passwords.  VELDLDAP_DS389_DEBUG sets ns-slapd's debug level (a number;
 * default: errors only).  Everything else is DirectoryServer's.
 */
#ifndef VELDLDAP_DS389_SERVER_H
#define VELDLDAP_DS389_SERVER_H

#include "support/directory_server.h"

class Ds389Server : public DirectoryServer {
public:
    explicit Ds389Server(DirectoryServerOptions options = {});

    // Whether 389 Directory Server is installed; tests skip without it.
    static bool installed();

private:
    static Kind ds389_kind(const DirectoryServerOptions &options);
};

#endif
