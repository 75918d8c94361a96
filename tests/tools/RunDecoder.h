#pragma once
// Runs the built decoder program and collects its exit status and both output streams.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace testsupport {

struct Outcome {
    int status = -1; // exit status; -1 when the program did not exit normally
    std::string out, err;
};

inline std::string readWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// `stdoutFd` >= 0 is given to the program as its standard output (a terminal, a full
// device, a pipe nobody reads); otherwise the output is collected.
inline Outcome runDecoder(const std::vector<std::string>& args, int stdoutFd = -1) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("lv-run-" + std::to_string(getpid()) + "-" + std::to_string(std::rand()));
    std::filesystem::create_directories(folder);
    const std::string outPath = (folder / "out").string(), errPath = (folder / "err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> words = {LUMIVAR_DECODE_PROGRAM};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    Outcome outcome;
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    outcome.out = readWhole(outPath);
    outcome.err = readWhole(errPath);
    std::filesystem::remove_all(folder);
    return outcome;
}

} // namespace testsupport
