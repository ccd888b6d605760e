// veldir: the command-line host of the directory driver.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "alarm_clock.h"
#include "cli.h"
#include "commands.h"
#include "exit_codes.h"
#include "json_writer.h"
#include "output.h"
#include "log_directory.h"

#ifndef VELDIR_VERSION
#define VELDIR_VERSION "unknown"
#endif

int main(int argc, char **argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    std::string error;
    Format format = Format::table;
    std::optional<Invocation> invocation = parse_command_line(words, error, format);
    if (!invocation) {
        print_usage_error(std::cout, std::cerr, format, error);
        return kExitUsage;
    }
    if (invocation->version) {
        if (format == Format::json) JsonWriter(std::cout).begin_object().key("version").value(VELDIR_VERSION).end_object();
        else std::cout << "veldir " << VELDIR_VERSION << '\n';
        return kExitOk;
    }
    if (invocation->help && invocation->command != "encipher") {
        const std::string topic = invocation->command == "help" && !invocation->arguments.empty()
                                      ? invocation->arguments.front()
                                      : invocation->command == "help" ? "" : invocation->command;
        if (print_help(std::cout, topic)) return kExitOk;
        print_usage_error(std::cout, std::cerr, format, "no help on \"" + topic + "\" (see veldir --help)");
        return kExitUsage;
    }
    log_directory::prepare(*invocation);
    alarm_clock::start_deadline(invocation->deadline);
    try {
        return run_command(*invocation, std::cout, std::cerr);
    } catch (const std::exception &failure) {
        std::cerr << "veldir: internal error: " << failure.what() << '\n';
        return kExitInternal;
    }
}
