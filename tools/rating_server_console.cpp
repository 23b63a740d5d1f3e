// The rating server for people who run the system without one: answers "slogin.asp" from a list of
// clerks and their passwords and records every "sremark.asp" upload on the console. It is the tests'
// loopback rating server (tests/support/rating_server_fake.h) with a script of its own, listening on
// 127.0.0.1 only.
//   tavc-rating-server [--port N] CLERK=PASSWORD...
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <mutex>
#include <string>

#include "console_text.h"
#include "rating_server_fake.h"

namespace {

using tavc::test::FakeRatingServer;
using tavc::test::RatingReply;
using tavc::test::RatingRequest;
using tavc::tools::console_text;

constexpr char kUsage[] =
    "usage: tavc-rating-server [--port N] CLERK=PASSWORD...\n"
    "Answers the logins of the listed clerks on 127.0.0.1 port N (default 80; 0: any free port, shown\n"
    "on the first line) and prints every rating uploaded. Ctrl+C ends.\n";

// The server's answer digits to a login.
constexpr char kAccepted = '0', kParametersMissing = '1', kInvalidUser = '2', kInvalidPassword = '3';

const char* login_meaning(char digit) {
    switch (digit) {
        case kAccepted:
            return "accepted";
        case kParametersMissing:
            return "user or password missing";
        case kInvalidUser:
            return "no such clerk";
        default:
            return "wrong password";
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    int port = 80;
    std::map<std::string, std::string> clerks;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        char* end = nullptr;
        if (arg == "--port" && i + 1 < argc) {
            long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 0 || value > 65535) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            port = static_cast<int>(value);
        } else if (size_t eq = arg.find('='); eq != std::string::npos && eq > 0 && arg[0] != '-') {
            clerks[arg.substr(0, eq)] = arg.substr(eq + 1);
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (clerks.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    // The answers go out on the server's thread; one line each.
    std::mutex console;
    auto script = [&](const RatingRequest& request, size_t) {
        std::lock_guard lock(console);
        const std::string user = request.decoded("user");
        if (request.page == "slogin.asp") {
            const std::string password = request.decoded("passwd");
            auto clerk = clerks.find(user);
            char digit = user.empty() || password.empty() ? kParametersMissing
                         : clerk == clerks.end()          ? kInvalidUser
                         : clerk->second == password      ? kAccepted
                                                          : kInvalidPassword;
            std::printf("rating server: slogin.asp user=%s -> %c (%s)\n", console_text(user).c_str(), digit,
                        login_meaning(digit));
            std::fflush(stdout);
            return RatingReply::answer(digit);
        }
        if (request.page == "sremark.asp") {
            std::printf("rating server: sremark.asp user=%s remark=%s detail=%s time=%s -> 0 (recorded)\n",
                        console_text(user).c_str(), console_text(request.decoded("remark")).c_str(),
                        console_text(request.decoded("detail")).c_str(),
                        console_text(request.decoded("time")).c_str());
            std::fflush(stdout);
            return RatingReply::answer(kAccepted);
        }
        std::printf("rating server: %s is no page of a rating server -> 1\n",
                    console_text(request.page).c_str());
        std::fflush(stdout);
        return RatingReply::answer(kParametersMissing);
    };

    // The signals are taken by sigwait below, on this thread, not by the server's.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    try {
        FakeRatingServer server(script, port);
        {
            std::lock_guard lock(console);
            std::printf("rating server: listening on 127.0.0.1:%d, %zu clerk(s)\n", server.port(),
                        clerks.size());
            std::fflush(stdout);
        }
        int signal = 0;
        sigwait(&stop, &signal);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavc-rating-server: cannot serve port %d: %s\n", port, e.what());
        return 1;
    }
    return 0;
}
