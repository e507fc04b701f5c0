// Runs a program as a child process and sends it a signal after a delay, as
// a user's Ctrl-C or a batch system's SIGTERM would: the tests of every
// program's interrupted calls use it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace testing_support {

struct InterruptedRun {
    int status = -1;      // the exit status, or 128 + the signal that killed it
    bool killed = false;  // ended by the signal's default action (before any handling was set up)
};

// Starts program with the arguments in folder (standard output and error to
// the files given), sends sig after delayMilliseconds (when it still runs)
// and waits for it.
inline InterruptedRun runAndInterrupt(const std::string& program, const std::vector<std::string>& arguments,
                                      const std::string& folder, int delayMilliseconds, int sig,
                                      const std::string& standardOutput, const std::string& standardError) {
    InterruptedRun run;
    const pid_t child = ::fork();
    if (child < 0) return run;
    if (child == 0) {
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        const int out = ::open(standardOutput.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(standardError.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0) ::_exit(126);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    for (int waited = 0; waited < delayMilliseconds; ++waited) {
        if (::waitpid(child, &status, WNOHANG) == child)
            return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), WIFSIGNALED(status)};
        ::usleep(1000);
    }
    ::kill(child, sig);
    ::waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.killed = WIFSIGNALED(status);
    return run;
}

}  // namespace testing_support
