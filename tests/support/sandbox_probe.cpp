// sandbox_probe OTHER NEW: enters the readers' sandbox with its standard input as the input file,
// then tries what a reader taken over by a hostile file would, one line each: "what: ok" or
// "what: refused (reason)". The tests read the lines.

#include "apps/helper/helper_sandbox.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void say(const char* what, bool ok) {
    std::printf("%s: %s%s%s\n", what, ok ? "ok" : "refused (", ok ? "" : std::strerror(errno), ok ? "" : ")");
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3)
        return 2;
    const SandboxOutcome outcome = enterSandbox(STDIN_FILENO);
    std::printf("landlock: %s\nseccomp: %s\n", outcome.landlock ? "on" : "off",
                outcome.seccomp ? "on" : "off");
    char byte = 0;
    say("read the input", read(STDIN_FILENO, &byte, 1) == 1);
    say("open the input again", open("/proc/self/fd/0", O_RDONLY) >= 0);
    say("open another file", open(argv[1], O_RDONLY) >= 0);
    say("create a file", open(argv[2], O_WRONLY | O_CREAT, 0644) >= 0);
    say("open a socket", socket(AF_INET, SOCK_STREAM, 0) >= 0);
    char* const program[] = {const_cast<char*>("/bin/true"), nullptr};
    say("start a program", execve(program[0], program, nullptr) == 0);
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    say("start a process", child > 0);
    std::fflush(stdout);
    return 0;
}
