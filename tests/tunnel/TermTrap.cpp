// A stand-in tunnel client for the supervisor tests, built under the name "cloudflared". It
// reports its arguments, working directory and both output streams, then runs until killed.
// By default it traps SIGTERM (reporting "TERM") so that only SIGKILL ends it; with "--obey"
// SIGTERM ends it. SIGRTMIN makes it report "PING": a standard signal sent before it is always
// handled first, so a "PING" without "TERM" before it proves no SIGTERM was sent.
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

void say(int fd, const char* text) {
    const size_t length = std::strlen(text);
    if (::write(fd, text, length) < 0)
        _exit(3);
}

void onTerm(int) {
    say(STDOUT_FILENO, "TERM\n");
}

void onPing(int) {
    say(STDOUT_FILENO, "PING\n");
}

} // namespace

int main(int argc, char** argv) {
    bool obey = false;
    for (int i = 1; i < argc; ++i) {
        say(STDOUT_FILENO, "arg:");
        say(STDOUT_FILENO, argv[i]);
        say(STDOUT_FILENO, "\n");
        obey = obey || std::strcmp(argv[i], "--obey") == 0;
    }
    char directory[4096];
    if (::getcwd(directory, sizeof directory)) {
        say(STDOUT_FILENO, "cwd:");
        say(STDOUT_FILENO, directory);
        say(STDOUT_FILENO, "\n");
    }
    struct sigaction action {};
    action.sa_flags = SA_RESTART;
    action.sa_handler = onPing;
    ::sigaction(SIGRTMIN, &action, nullptr);
    if (!obey) {
        action.sa_handler = onTerm;
        ::sigaction(SIGTERM, &action, nullptr);
    }
    say(STDERR_FILENO, "stderr:here\n");
    say(STDOUT_FILENO, "ready\n");
    for (;;)
        ::pause();
}
