#include "tool/tool_directory.h"

namespace {

constexpr const char *kEntries =
    "dn: velmorServername=alpha,ou=servers,o=acme\nobjectClass: velmorServer\nvelmorServername: alpha\n"
    "velmorVersion: 3\nvelmorAddress: TCP#0#alpha.example 5000\n\n"
    "dn: velmorServername=beta,ou=servers,o=acme\nobjectClass: velmorServer\nvelmorServername: beta\n"
    "velmorService: billing\nvelmorAddress: TCP#0#beta.example 5100\nvelmorAddress: tcp#1#beta.example 5101 ssl\n\n"
    "dn: velmorServername=gamma,ou=servers,o=acme\nobjectClass: velmorServer\nvelmorServername: gamma\n"
    "velmorStatus: -1\n\n";

}  // namespace

void ToolDirectoryTest::SetUp() {
    SlapdOptions options;
    options.tls = true;
    options.initial_ldif = kEntries;
    server = std::make_unique<SlapdServer>(options);
}

std::string ToolDirectoryTest::init(const std::string &password) const {
    return "starttls " + server->url() + "/" + server->servers_base() + "????bindname=" + server->admin_dn() + "?" +
           (password.empty() ? server->admin_password() : password);
}

ToolResult ToolDirectoryTest::veldir(const std::vector<std::string> &arguments,
                                     const veldldap::ProgramOptions &options) const {
    // From a file, as a careful user gives it: the string holds the password.
    std::vector<std::string> words{"--init-file", write_private_file("veldir-init", init() + "\n"), "--ca",
                                   server->ca_file(), "--timelimit", "5"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return run_veldir(words, options);
}
