// The customer terminal for people who run the system without one: a pseudo-terminal that the library
// opens as serial port n through the dosdevices link. Prints every command it receives, texts in the
// console's own encoding, and answers the rating query with the rating key the person types ('N', no
// button yet, until then).
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "console_text.h"
#include "folders.h"
#include "terminal_simulator.h"

namespace {

using tavc::test::TerminalCommand;
using tavc::test::TerminalSimulator;
using tavc::tools::console_text;

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

// RGB565 as the usual 24-bit #RRGGBB, each field widened by repeating its top bits.
std::string rgb(uint16_t color) {
    const unsigned r = (color >> 11) & 0x1F, g = (color >> 5) & 0x3F, b = color & 0x1F;
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", (r << 3) | (r >> 2), (g << 2) | (g >> 4),
                  (b << 3) | (b >> 2));
    return text;
}

void print(const TerminalCommand& c) {
    using Kind = TerminalCommand::Kind;
    switch (c.kind) {
        case Kind::Screen:
            std::printf("PJ%s  %s\n", c.code.c_str(), screen_name(c.code));
            break;
        case Kind::Login:
            std::printf("login  clerk %s\n", console_text(c.user).c_str());
            break;
        case Kind::Text:
            std::printf("text   at (%d, %d) colour %04X (%s): %s\n", c.x, c.y, c.color, rgb(c.color).c_str(),
                        console_text(c.text).c_str());
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

// The terminal's rating buttons, and 'N' for none pressed yet; typed in either case.
std::optional<char> rating_key(const std::string& line) {
    if (line.size() != 1) return std::nullopt;
    const char key = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
    if (std::string_view("IJKLMVN").find(key) == std::string_view::npos) return std::nullopt;
    return key;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
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
    terminal.link_as_port(home, port);
    const std::string link = tavc::folders::port_link_in(home, port);
    terminal.answer_unscripted_queries('N');

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::printf("Terminal on COM%d: %s -> %s\n", port, link.c_str(), terminal.slave_path().c_str());
    std::printf(
        "Rating buttons: type I, J, K, L, M or V (N: none pressed) and Enter; each answers the next\n"
        "rating query. Ctrl+C ends.\n");
    std::fflush(stdout);

    size_t shown = 0;
    bool keys = true;  // until standard input ends; the terminal itself runs on
    while (!g_stop) {
        auto commands = terminal.wait_for_commands(shown + 1, std::chrono::milliseconds(100));
        for (; shown < commands.size(); ++shown) print(commands[shown]);
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (!keys || ::poll(&in, 1, 0) <= 0) continue;
        std::string line;
        if (!std::getline(std::cin, line)) {
            keys = false;
            continue;
        }
        if (line.empty()) continue;
        if (std::optional<char> key = rating_key(line)) {
            terminal.answer_queries(std::string(1, *key));
            std::printf("button %c: answers the next rating query\n", *key);
        } else {
            std::printf("type one of I J K L M V N\n");
        }
        std::fflush(stdout);
    }
    std::filesystem::remove(link);
    return 0;
}
