/*
 * The throw-away directory server of the directory tests as an OpenLDAP
 * slapd: the administrator is the rootdn (which no access rule restricts),
 * the access rules and the size limit are slapd.conf lines of the
 * database.  VELDLDAP_SLAPD_DEBUG sets slapd's debug level (default
 * "none": errors only).  Everything else is DirectoryServer's.
 */
#ifndef VELDLDAP_SLAPD_SERVER_H
#define VELDLDAP_SLAPD_SERVER_H

#include "support/directory_server.h"

using SlapdOptions = DirectoryServerOptions;

class SlapdServer : public DirectoryServer {
public:
    explicit SlapdServer(SlapdOptions options = {});

private:
    static Kind slapd_kind(const SlapdOptions &options);
};

#endif
