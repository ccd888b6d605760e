// veldir: the command-line host of the directory driver.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "alarm_clock.h"
#include "cli.h"
#include "commands.h"
#include "exit_codes.h"
#include "log_directory.h"

#ifndef VELDIR_VERSION
#define VELDIR_VERSION "unknown"
#endif

int main(int argc, char **argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    std::string error;
    std::optional<Invocation> invocation = parse_command_line(words, error);
    if (!invocation) {
        std::cerr << "veldir: " << error << '\n';
        return kExitUsage;
    }
    if (invocation->version) {
        std::cout << "veldir " << VELDIR_VERSION << '\n';
        return kExitOk;
    }
    if (invocation->help && invocation->command != "encipher") {
        const std::string topic = invocation->command == "help" && !invocation->arguments.empty()
                                      ? invocation->arguments.front()
                                      : invocation->command == "help" ? "" : invocation->command;
        return print_help(std::cout, topic) ? kExitOk : kExitUsage;
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
