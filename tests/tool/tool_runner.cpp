#include "tool/tool_runner.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

ToolResult run_veldir(const std::vector<std::string> &arguments, const veldldap::ProgramOptions &options) {
    // veldir's default log directory, inside the test's own working directory.
    ::setenv("XDG_STATE_HOME", (std::filesystem::current_path() / "state").c_str(), 1);
    std::vector<std::string> words{VELDIR_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return veldldap::run_program(words, options);
}

std::string write_file(const std::string &name, const std::string &text) {
    std::ofstream(name, std::ios::binary) << text;
    return name;
}
