#include "throwaway_ca.h"

#include <fstream>
#include <vector>

#include "child_process.h"

namespace veldldap {
namespace {

constexpr const char *kOpensslConfiguration = R"(
[req]
distinguished_name = subject
prompt = no
[subject]
CN = unused
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
)";

class Openssl {
public:
    Openssl(std::string log_file, std::string &error) : log_file_(std::move(log_file)), error_(error) {}

    bool run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "openssl");
        return run_child(arguments, log_file_, error_);
    }
    bool key(const std::string &file) {
        return run({"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-out", file});
    }
    bool authority(const std::string &configuration, const std::string &name, const std::string &stem) {
        return key(stem + ".key") &&
               run({"req", "-new", "-x509", "-config", configuration, "-extensions", "ca", "-key", stem + ".key",
                    "-subj", "/O=Velmor Throw-away/CN=" + name, "-days", "30", "-out", stem + ".pem"});
    }

private:
    std::string log_file_;
    std::string &error_;
};

}  // namespace

bool make_throwaway_ca(const std::string &directory, const std::string &log_file, bool with_unrelated_ca,
                       TlsFiles &files, std::string &error) {
    const std::string stem = directory + "/";
    const std::string configuration = stem + "openssl.cnf";
    if (!(std::ofstream(configuration) << kOpensslConfiguration)) {
        error = "cannot write " + configuration;
        return false;
    }
    Openssl openssl(log_file, error);
    if (!openssl.authority(configuration, "Throw-away CA", stem + "ca")) return false;
    if (with_unrelated_ca && !openssl.authority(configuration, "Unrelated CA", stem + "unrelated-ca")) return false;
    if (!openssl.key(stem + "server.key") ||
        !openssl.run({"req", "-new", "-config", configuration, "-key", stem + "server.key", "-subj",
                      "/O=Velmor Throw-away/CN=localhost", "-out", stem + "server.csr"}) ||
        !openssl.run({"x509", "-req", "-in", stem + "server.csr", "-CA", stem + "ca.pem", "-CAkey", stem + "ca.key",
                      "-set_serial", "2", "-days", "30", "-extfile", configuration, "-extensions", "server", "-out",
                      stem + "server.pem"}))
        return false;
    files.ca_certificate = stem + "ca.pem";
    files.server_certificate = stem + "server.pem";
    files.server_key = stem + "server.key";
    files.unrelated_ca_certificate = with_unrelated_ca ? stem + "unrelated-ca.pem" : "";
    return true;
}

}  // namespace veldldap
