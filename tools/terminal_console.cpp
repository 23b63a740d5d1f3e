// The customer terminal for people who run the system without one: a pseudo-terminal that the library
// opens as serial port n through the dosdevices link. Prints every command it receives and answers the
// rating query with the key the person types ('N', no button yet, until then).
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "codepage.h"
#include "folders.h"
#include "terminal_simulator.h"

namespace {

using tavc::test::TerminalCommand;
using tavc::test::TerminalSimulator;

std::atomic<bool> g_stop{false};

void on_signal(int) {
    g_stop = true;
}

const char* screen_name(const std::string& code) {
    if (code == "21") return "rating request";
    if (code == "22") return "welcome screen";
    if (code == "23") return "amount-due screen";
    if (code == "24") return "received-and-change screen";
    if (code == "28") return "second rating step";
    if (code == "29") return "clear screen";
    if (code == "31") return "item-line screen";
    return "unknown code";
}

std::string hex(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    if (!out.empty()) out.pop_back();
    return out;
}

void print(const TerminalCommand& c) {
    using Kind = TerminalCommand::Kind;
    switch (c.kind) {
        case Kind::Screen:
            std::printf("PJ%s  %s\n", c.code.c_str(), screen_name(c.code));
            break;
        case Kind::Login:
            std::printf("login  clerk %s\n", tavc::codepage::utf8_from_gbk(c.user).c_str());
            break;
        case Kind::Text:
            std::printf("text   at (%d, %d) colour %04X: %s\n", c.x, c.y, c.color,
                        tavc::codepage::utf8_from_gbk(c.text).c_str());
            break;
        case Kind::Query:
            std::printf("PJQ    rating query\n");
            break;
        case Kind::Other:
            std::printf("other  %s\n", hex(c.bytes).c_str());
            break;
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int port = argc > 1 ? std::atoi(argv[1]) : 1;
    if (argc > 2 || port < 1 || port > 10) {
        std::fprintf(stderr, "usage: %s [PORT]   PORT 1-10, default 1\n", argv[0]);
        return 2;
    }
    TerminalSimulator terminal;
    if (!terminal.ready()) {
        std::fprintf(stderr, "no pseudo-terminal: %s\n", terminal.error().c_str());
        return 1;
    }
    const std::string home = tavc::folders::config_home();
    if (home.empty()) {
        std::fprintf(stderr, "no home folder: set HOME or XDG_CONFIG_HOME\n");
        return 1;
    }
    std::filesystem::create_directories(home + "/tavc/dosdevices");
    terminal.link_as_port(home, port);
    const std::string link = home + "/tavc/dosdevices/com" + std::to_string(port);
    terminal.answer_unscripted_queries('N');

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::printf("Terminal on COM%d: %s -> %s\n", port, link.c_str(), terminal.slave_path().c_str());
    std::printf("Type a rating key (I J K L M V) and Enter to press a button; Ctrl-D ends.\n");
    std::fflush(stdout);

    size_t shown = 0;
    while (!g_stop) {
        auto commands = terminal.wait_for_commands(shown + 1, std::chrono::milliseconds(100));
        for (; shown < commands.size(); ++shown) print(commands[shown]);
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::poll(&in, 1, 0) <= 0) continue;
        std::string line;
        if (!std::getline(std::cin, line)) break;
        if (line.size() == 1) {
            terminal.answer_queries(line);
            std::printf("button %s: answers the next rating query\n", line.c_str());
        } else if (!line.empty()) {
            std::printf("type one key letter\n");
        }
        std::fflush(stdout);
    }
    std::filesystem::remove(link);
    return 0;
}
