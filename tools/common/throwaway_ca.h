/*
 * A throw-away certificate authority made with the openssl program: a CA
 * certificate, a server certificate for 127.0.0.1 and localhost signed by
 * it, and optionally an unrelated CA (for tests of an untrusted server).
 * Small elliptic-curve keys keep it quick.  The files lie in a directory
 * the caller owns and removes.
 */
#ifndef VELDLDAP_THROWAWAY_CA_H
#define VELDLDAP_THROWAWAY_CA_H

#include <string>

namespace veldldap {

struct TlsFiles {
    std::string ca_certificate;
    std::string server_certificate;
    std::string server_key;
    std::string unrelated_ca_certificate;  // empty unless asked for
};

// Writes the files into `directory`; openssl's output goes to `log_file`.
bool make_throwaway_ca(const std::string &directory, const std::string &log_file, bool with_unrelated_ca,
                       TlsFiles &files, std::string &error);

}  // namespace veldldap

#endif
