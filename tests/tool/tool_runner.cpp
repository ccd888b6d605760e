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

JsonValue json_of(const ToolResult &result) {
    JsonValue document;
    JsonError error;
    EXPECT_TRUE(parse_json(result.out, document, error)) << error.message << "\n" << result.out << result.err;
    return document;
}

::testing::AssertionResult exits_with(const ToolResult &result, int exit_code, const std::string &words) {
    if (result.exit_code == exit_code && result.err.find(words) != std::string::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected exit code " << exit_code << " and \"" << words << "\", got "
                                         << result.exit_code << ":\n" << result.err << result.out;
}

std::string write_file(const std::string &name, const std::string &text) {
    std::ofstream(name, std::ios::binary) << text;
    return name;
}

std::string write_private_file(const std::string &name, const std::string &text) {
    write_file(name, text);
    std::filesystem::permissions(name, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return name;
}

std::string read_text(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}
