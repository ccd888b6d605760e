#include "demo_run.h"

#include <filesystem>

#include "alarm_clock.h"
#include "exit_codes.h"
#include "driver_loader.h"

#ifndef VELDIR_DATADIR_FROM_BINDIR
#define VELDIR_DATADIR_FROM_BINDIR "../share"
#endif

namespace demo {
namespace {

std::string find_schema(const std::string &file_name) {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path candidates[] = {
        executable.parent_path() / VELDIR_DATADIR_FROM_BINDIR / "veldldap/schema" / file_name,
        executable.parent_path() / "../share/veldldap/schema" / file_name,
        std::filesystem::path(VELDIR_SOURCE_SCHEMA_DIR) / file_name,
    };
    for (const std::filesystem::path &candidate : candidates)
        if (std::filesystem::exists(candidate, error)) return candidate.lexically_normal().string();
    return "";
}

}  // namespace

const char *const kSampleEntries =
    "dn: o=demo\nobjectClass: organization\no: demo\n\n"
    "dn: ou=servers,o=demo\nobjectClass: organizationalUnit\nou: servers\n\n"
    "dn: velmorServername=alpha,ou=servers,o=demo\nobjectClass: velmorServer\nvelmorServername: alpha\n"
    "velmorService: orders\nvelmorVersion: 3\nvelmorStatus: 0\nvelmorAddress: TCP#0#alpha.example 5000\n\n"
    "dn: velmorServername=beta,ou=servers,o=demo\nobjectClass: velmorServer\nvelmorServername: beta\n"
    "velmorService: billing\nvelmorVersion: 2\nvelmorStatus: 1\nvelmorAddress: TCP#0#beta.example 5100\n"
    "velmorAddress: tcp#1#beta.example 5101 ssl\n\n"
    "dn: velmorServername=gamma,ou=servers,o=demo\nobjectClass: velmorServer\nvelmorServername: gamma\n"
    "velmorService: reports\nvelmorDatabaseName: reportsdb\nvelmorRetryCount: 3\nvelmorRetryDelay: 5\n\n";

veldldap::DirectoryLaunchOptions launch_options(veldldap::DirectoryFlavour flavour) {
    veldldap::DirectoryLaunchOptions options;
    options.suffix = kSuffix;
    options.root_dn = kRootDn;
    options.root_password = kRootPassword;
    if (std::string schema = find_schema(veldldap::schema_file_name(flavour)); !schema.empty())
        options.schema_files = {std::move(schema)};
    options.make_tls = true;
    return options;
}

std::string init_string(const std::string &url) {
    return "starttls " + url + "/" + kBase + "????bindname=" + kRootDn + "?" + kRootPassword;
}

// The whole DN, as veldir hands every name to the driver.
EntryName entry_name(const std::string &server_name) {
    return {"velmorServername=" + server_name + "," + kBase, server_name};
}

void fill_object(ObjectBuilder &object, const std::string &server_name, const std::string &service) {
    for (const std::string &assignment : {"velmorService=" + service, std::string("velmorVersion=1"),
                                          std::string("velmorStatus=0"),
                                          "velmorAddress=tcp#0#" + server_name + ".example 6000",
                                          "velmorServername=" + server_name})
        object.add_assignment(assignment);
}

}  // namespace demo

ConnectionSettings DemoRun::settings_for(const std::vector<std::string> &urls, const std::string &ca_file) const {
    ConnectionSettings settings;
    for (const std::string &url : urls) settings.inits.push_back(demo::init_string(url));
    settings.ca = ca_file;
    settings.timelimit = demo::kTimelimit;
    settings.driver = invocation_.driver.value_or(default_driver_path());
    return settings;
}

int DemoRun::finish(Outcome failure, bool started) {
    failure = final_failure(std::move(failure));
    report_.finished(failure, started);
    // The report's own writing may meet a closed pipe.
    if (DemoSignals::arrived() != 0) return 128 + DemoSignals::arrived();
    return failure ? failure->exit_code : kExitOk;
}

Outcome DemoRun::final_failure(Outcome failure) {
    if (alarm_clock::deadline_passed())
        return tool_failure("demo", "the deadline passed; the servers were stopped", "", kExitDeadline);
    if (DemoSignals::arrived() != 0) return DemoSignals::interrupted();
    return failure;
}
