#include "command_table.h"

#include <algorithm>

#include "commands.h"

namespace {

constexpr Command kCommands[] = {
    {"search", "search [ATTRIBUTE=VALUE...]", "list the server entries below the base", 0, kAnyNumber, run_search,
     "Lists every server entry directly below the search base (the base DN of the\n"
     "URL, or --base): one table row per entry, or all entries with --json or --ldif.\n"
     "Finding no entries is not a failure.  The driver keeps at most 63 bytes of a\n"
     "transport type and 511 of an address when it reads them; a value it cut is\n"
     "flagged on standard error, marked in the output (\"cut\" in JSON, a\n"
     "\"# veldir: cut:\" comment in LDIF) and ends the listing with exit code 6.\n"
     "\n"
     "ATTRIBUTE=VALUE keeps only the entries with a value of ATTRIBUTE that matches\n"
     "VALUE; with several, only those that match all.  \"*\" in VALUE stands for any\n"
     "characters (none too), the case of the letters A to Z is ignored, and values\n"
     "are compared as veldir shows them (velmorAddress as TYPE#ACCESS#ADDRESS).\n"
     "veldir does this itself, after the driver has listed every entry.\n"
     "\n"
     "On a terminal the table is fitted to its width: the longest values are cut\n"
     "short (ending in an ellipsis), and when even the column names do not fit side\n"
     "by side, the last columns are left out, with a line that says how many.\n"
     "--columns picks the columns and their order, --wide shows every column with\n"
     "whole values.  Output to a pipe or a file always has every column and whole\n"
     "values.  Control characters in values are shown escaped (\\e, \\n, \\x01, ...),\n"
     "never sent to the terminal.\n",
     "veldir search\tthe server entries below the base\n"
     "veldir --init-file replicas.init search\tthe first of the servers listed that serves\n"
     "veldir search 'velmorServername=srv*' velmorStatus=0\tnarrowed by veldir\n"
     "veldir --columns velmorServername,velmorAddress search\n"
     "veldir --ldif search > servers.ldif\t--json works everywhere as well\n"},
    {"read", "read NAME", "show one server entry", 1, 1, run_read,
     "NAME is a server name (srv1), looked up one level below the search base, or a\n"
     "distinguished name beginning with \"velmorServername=\" (any letter case), looked\n"
     "up as it is.  An entry that is not there gives DLDAP_ERR_NOENTRY and exit\n"
     "code 1.  A server name may be at most 512 bytes long, a DN likewise (the\n"
     "driver's limit); characters that are special in a DN are escaped in it.\n"
     "\n"
     "The driver puts a server name into its LDAP filter (velmorServername=NAME)\n"
     "with only \"(\", \")\" and \"\\\" escaped, so \"*\" in it is the directory's\n"
     "wildcard: 'srv*' shows every entry whose server name begins with srv, '*srv*'\n"
     "every one that contains it, '*' every server entry below the base.  The\n"
     "directory compares server names ignoring letter case.  A distinguished name\n"
     "takes no wildcard.  When more than one entry answers to a name without a\n"
     "wildcard, veldir warns: velmorServername may hold several values, and\n"
     "another entry may carry this one besides its own.  \"veldir search\n"
     "velmorServername=...\" narrows a listing in the same way.  A transport\n"
     "address the driver had to cut when reading it is flagged and marked (exit\n"
     "code 6).\n",
     "veldir read srv1\tone entry (server name or DN)\n"
     "veldir read 'srv*'\tevery entry whose name begins with srv\n"},
    {"add", "add NAME ATTRIBUTE=VALUE...", "create a server entry", 1, kAnyNumber, run_add,
     "Creates the entry velmorServername=NAME below the search base (or the entry of\n"
     "that distinguished name) with the object class velmorServer and the values\n"
     "given.  velmorServername=NAME is added when not given; velmorServername values\n"
     "that leave out NAME are refused, since the directory names the entry by one of\n"
     "them.  Repeat an attribute to give it several values.  See \"veldir help\n"
     "attributes\" for the attributes and how values are written.\n",
     "veldir add srv1 velmorVersion=3 'velmorAddress=tcp#0#srvhost 5000'\n"},
    {"modify", "modify NAME ATTRIBUTE=VALUE...", "replace the values of some attributes", 2, kAnyNumber, run_modify,
     "Replaces all values of each attribute given with the values given; attributes\n"
     "not named keep their values.  modify cannot remove an attribute: a modify\n"
     "always sends at least one value for each attribute it names (the driver's\n"
     "contract), so an empty value (velmorService=) is refused with this\n"
     "explanation.  Use an LDAP tool such as ldapmodify to remove one.\n",
     "veldir modify srv1 velmorStatus=1\treplaces every velmorStatus value\n"},
    {"delete", "delete NAME", "remove a server entry", 1, 1, run_delete,
     "Removes the entry velmorServername=NAME below the search base, or the entry of\n"
     "that distinguished name (names as for read).\n",
     "veldir delete srv1\n"},
    {"import", "import FILE", "add many entries from an LDIF or JSON file", 1, 1, run_import,
     "Adds every entry of FILE (\"-\" for standard input).  The format is told from\n"
     "the content: a file whose first non-blank character is { or [ is JSON,\n"
     "anything else LDIF; a UTF-8 byte-order mark is passed over.  The file is read\n"
     "twice, front to back, never whole into memory: the first pass checks every\n"
     "entry, and a file with problems adds nothing (exit code 2): each problem is\n"
     "listed with its line (and column for JSON), in line order.  Problems are\n"
     "malformed records, unknown attributes, values of the wrong form, text that is\n"
     "not UTF-8, values or names longer than the driver takes (in bytes), a DN that\n"
     "does not name a server entry, and a second entry of the same name.  The second\n"
     "pass sends the entries over --jobs sessions.\n"
     "\n"
     "Every entry ends as added, skipped, replaced, refused (with the directory's\n"
     "reason) or not tried, and the summary gives all five counts and lists the\n"
     "entries of each but the added.  An entry that exists already is refused,\n"
     "skipped or replaced as --existing says (replace sends a modify with the\n"
     "file's values; attributes the file does not give keep theirs).  --dry-run\n"
     "checks the file and, when a connection is configured, reads each entry to say\n"
     "what would happen; nothing is written.\n"
     "\n"
     "With the servers of a replicated directory listed, a session whose server\n"
     "fails moves to the next one and goes on there with the entry it was sending;\n"
     "an add whose answer was lost may have reached the failed server and come to\n"
     "the next by replication, so an \"already exists\" for that entry there counts\n"
     "as added when the entry holds the file's values.  The summary says which\n"
     "servers served, and each move is a warning.  When no server is left, the\n"
     "entries not yet sent are not tried, and an entry whose answer was lost is\n"
     "read again over a new connection: there, it was added; missing, not tried; if\n"
     "the directory cannot be asked, it is counted as unknown.  Exit codes: 0 all\n"
     "added, skipped or replaced, 1 some refused, 2 problems in the file, 3 the\n"
     "connection failed or was lost.  A progress bar is shown when standard error is\n"
     "a terminal (--no-progress hides it).\n"
     "\n"
     "With --base, every entry goes below that base and keeps its relative name\n"
     "(velmorServername=NAME); without it, where its DN says.\n"
     "\n"
     "LDIF: records of \"dn:\" and \"attribute: value\" lines (\"::\" for base64; folded\n"
     "lines and # comments are fine), separated by blank lines; objectClass lines are\n"
     "ignored (velmorServer is always set); \"changetype: add\" is allowed, other\n"
     "change records and \":<\" URLs are not.\n"
     "\n"
     "JSON: what \"veldir search --json\" prints, or a bare array of entries; each\n"
     "entry has \"dn\" or \"name\" (a server name, placed below the search base), and\n"
     "\"attributes\": an object whose members are attribute names with a value or an\n"
     "array of values (numbers or strings).\n"
     "\n"
     "A value veldir marked as cut when it listed it (see search) is a problem: the\n"
     "directory holds more than the file does.\n",
     "veldir --base ou=copy,o=acme import servers.ldif\tcopy a listing below another base\n"
     "veldir --existing skip --jobs 4 import servers.ldif\tresume after a lost connection\n"},
    {"props", "props", "show the session properties", 0, 0, run_props,
     "Opens a session (no bind) and shows the driver, the interface version, the\n"
     "bind DN, the search base, the fixed texts of the driver and whether a password\n"
     "is set.  The password itself is never shown.\n",
     "veldir props\tbind DN, base, fixed texts\n"},
    {"check", "check", "diagnose the connection step by step, timed", 0, 0, run_check,
     "Loads the driver, opens a session, binds (with StartTLS when the\n"
     "initialisation string says starttls), lists the entries below the base,\n"
     "unbinds and closes, timing each step.  A failing step is explained: the\n"
     "driver's failure code, the LDAP error, and a hint what to change; for a bind\n"
     "that failed before the server answered, veldir finds the cause itself (the\n"
     "address unreachable, the CA file unreadable, the server's certificate not\n"
     "trusted or not for the URL's host), and it shows the lines the driver logged\n"
     "in the failing step.  The password is shown as ****.\n"
     "\n"
     "With several servers listed (the replicas of a directory), check runs the\n"
     "steps on each and prints one row per server: whether a TCP connection can be\n"
     "made, whether the bind worked, how many server entries lie below the base,\n"
     "and whether the server holds the same entries as the first that answered;\n"
     "then each failure, and the entries that differ.  The driver returns only the\n"
     "server entries' attributes, not the replication's entryCSN or contextCSN, so\n"
     "what is compared is what a host sees: the entries' names and the values of\n"
     "their attributes.  A difference may be replication that is behind as well as\n"
     "replication that is broken.  Exit codes: 0 every server works and all hold the\n"
     "same entries, 1 they differ, 3 a server failed.\n",
     "veldir check\tis the connection working?\n"
     "veldir --init-file conn.init --password-file pw.txt check\tno password in the process list\n"},
    {"encipher", "encipher [--stdin] [--allow-empty]", "encipher a bind password for the init string", 0,
     kAnyNumber, run_encipher,
     "Prints the enciphered form (\"0x01\" and 66 hexadecimal digits) of a password,\n"
     "to write instead of the clear password after bindname=...? in the\n"
     "initialisation string.  The password is asked for twice without echo on the\n"
     "terminal, or read as one line of standard input with --stdin; never from the\n"
     "command line.  Empty input is refused unless --allow-empty is given.\n"
     "\n"
     "The stored form holds 32 enciphered bytes and the length; the driver rebuilds\n"
     "a longer password by repeating those bytes, so a password over 32 bytes can be\n"
     "stored only when it repeats itself every 32 bytes.  Give such a password with\n"
     "--password-file or -W instead.\n"
     "\n"
     "The enciphered form is reversible by anyone who has the driver library, and it\n"
     "binds as it is: it keeps the password from being read at a glance, and the\n"
     "permissions of the configuration file remain its protection.  Exit codes: 0\n"
     "enciphered, 2 the password cannot be stored, 1 other errors.\n",
     "veldir encipher\ta password for the init string\n"
     "veldir encipher --stdin < password.txt\n"},
    {"demo", "demo", "try every operation on a throw-away directory server", 0, 0, run_demo,
     "Starts a directory server of its own on 127.0.0.1 with a free port (slapd, or\n"
     "389 Directory Server with --server 389ds) in a temporary directory below\n"
     "$TMPDIR (else /tmp), with the velmor schema, a few sample entries and\n"
     "StartTLS from a throw-away certificate authority made with openssl; then opens\n"
     "a session, binds with StartTLS, searches, adds, reads, modifies, reads again,\n"
     "deletes, unbinds and closes, showing each step with its time and result.  With\n"
     "--json it prints one object at the end instead: the server, each step with its\n"
     "time in milliseconds and the entries it found, and the failure if one ended\n"
     "the demo.\n"
     "\n"
     "The server is stopped and its directory (which holds keys and the root\n"
     "password) removed at the end: also after a failure, when --deadline passes,\n"
     "and on SIGINT (Ctrl-C), SIGTERM, SIGHUP and SIGPIPE (the reader of \"veldir\n"
     "demo | head\" went away); a signal ends the demo with 128 + its number.  Needs\n"
     "slapd, slapadd and openssl on this machine, or for 389ds the package\n"
     "389-ds-base (ns-slapd, certutil, pk12util).  No configuration is read.\n"
     "\n"
     "With --replicated it starts two slapd providers that replicate each other\n"
     "(OpenLDAP's multi-provider replication) and lists both: it adds an entry on\n"
     "the first, reads it from the second once replication brought it there, stops\n"
     "the first, shows a read and an add that move to the second, starts the first\n"
     "again and waits until both hold the same entries.  Waits for replication end\n"
     "after 20 seconds.  Both servers are stopped and removed at the end, as above.\n",
     "veldir demo\tall of it, on a throw-away slapd\n"
     "veldir demo --server 389ds\tthe same on 389 Directory Server\n"
     "veldir demo --replicated\ta server stopped under the run, the other serving\n"},
    {"help", "help [COMMAND|TOPIC]", "help on a command or a topic", 0, 1, run_help,
     "TOPIC is one of attributes (the attributes of a server entry and how values\n"
     "are written), config (the configuration file and the initialisation string)\n"
     "and exit-codes.  \"veldir COMMAND --help\" is the same as \"veldir help COMMAND\".\n",
     "veldir help import\tand: man veldir\n"},
    {"docs", "docs check|update FILE...", "check or rewrite the generated parts of a manual page or README", 2,
     kAnyNumber, run_docs,
     "Between the markers 'generated by \"veldir docs update\": PART' and 'end of\n"
     "generated part' (roff or HTML comments), FILE holds a part that veldir writes\n"
     "from its own tables of commands, options, exit codes and configuration keys.\n"
     "check exits with 1 and names the parts that differ; update rewrites them.\n",
     "", true},
};

}  // namespace

std::span<const Command> commands() { return kCommands; }

const Command *find_command(std::string_view name) {
    for (const Command &command : kCommands)
        if (command.name == name) return &command;
    return nullptr;
}

std::vector<std::pair<std::string, std::string>> examples_of(const Command &command) {
    std::vector<std::pair<std::string, std::string>> examples;
    std::string_view text = command.examples;
    while (!text.empty()) {
        const std::string_view line = text.substr(0, text.find('\n'));
        text.remove_prefix(std::min(text.size(), line.size() + 1));
        const std::size_t tab = line.find('\t');
        examples.emplace_back(std::string(line.substr(0, tab)),
                              tab == std::string_view::npos ? std::string() : std::string(line.substr(tab + 1)));
    }
    return examples;
}
