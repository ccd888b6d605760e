// import: the entries of an LDIF or JSON file, checked in one pass over the
// file and sent in a second, over --jobs sessions; see import_check.h and
// import_send.h.
#include "commands.h"
#include "connection.h"
#include "exit_codes.h"
#include "import_check.h"
#include "import_report.h"
#include "import_send.h"
#include "output.h"

int run_import(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    std::string error;
    const std::unique_ptr<ImportFile> file = ImportFile::open(invocation.arguments.front(), error);
    if (!file) {
        print_failure(out, err, invocation.format,
                      tool_failure("import", error, "give an LDIF or JSON file, or - for standard input", kExitUsage));
        return kExitUsage;
    }
    ConnectionSettings settings;
    if (Outcome failure = resolve_settings(invocation, settings)) {
        print_failure(out, err, invocation.format, *failure);
        return failure->exit_code;
    }
    NamingRules rules;
    rules.new_base = invocation.base;
    rules.session_base = invocation.base ? invocation.base : url_base_dn(settings.inits.front());

    const CheckResult check = check_import_file(*file, rules);
    if (check.problems.total() > 0) return report_problems(invocation, out, err, *file, check);
    if (invocation.dry_run && settings.inits.empty()) {
        report_checked(invocation, out, *file, check.entries);
        return kExitOk;
    }

    ImportTally tally;
    const SendResult sent = send_import_file(invocation, *file, rules, check.entries, tally, err);
    if (sent.no_session) {
        print_failure(out, err, invocation.format, *sent.no_session);
        return sent.no_session->exit_code;
    }
    return report_outcomes(invocation, out, err, *file, tally, sent);
}
