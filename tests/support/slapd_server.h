/*
 * The throw-away directory server of the tests as an OpenLDAP slapd, for
 * tests that need no other kind (directory_server.h).
 */
#ifndef VELDLDAP_SLAPD_SERVER_H
#define VELDLDAP_SLAPD_SERVER_H

#include "support/directory_server.h"

using SlapdOptions = DirectoryServerOptions;

class SlapdServer : public DirectoryServer {
public:
    explicit SlapdServer(SlapdOptions options = {}) : DirectoryServer(veldldap::DirectoryFlavour::slapd, options) {}
};

#endif
