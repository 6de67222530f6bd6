// netio-sim: the board simulator as a program of its own, for trying Skarvel by hand or from
// scripts. Serves on 127.0.0.1 until SIGINT or SIGTERM.
#include "netio_sim.h"
#include "sim_http.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include <pthread.h>

namespace {

constexpr std::string_view Usage = R"(Usage: netio-sim [options]
Simulates a NET-IO board (Varnex firmware) on 127.0.0.1 only. Prints "port N"
once it listens, then serves any number of connections at once until SIGINT
or SIGTERM.

Options:
  --port N        TCP port (default 64400; 0 picks a free one)
  --http-port N   also serve the board's web page, in German, on this port of
                  127.0.0.1 (0 picks a free one, printed as "http-port N" on
                  the line after "port N"): firmware version, time, every
                  page's entries with their states, and a button per output
                  that switches it as T does
  --password PW   the first message of each connection must be "K" and PW:
                  answered K:1 when right, else K:0; every message counts as
                  a try until one is right; later K messages get no reply
  --delay N       send every reply N ms after its command arrived
  --split N       send each reply in two TCP segments, N ms apart
  --silent        never reply
  --drop-after N  close the connection after replying to its N-th command
  --long-replies  pad the data of every reply with '-' to 600 characters
  --late-idle N   answer the idle message "x" N ms late; replies keep their
                  order, so those after it wait too
  --record FILE   write one line per event, flushed at once, with the ms
                  since start: "<ms> connect", "<ms> recv <bytes>" for each
                  chunk read, "<ms> cmd <command>" for each command (without
                  the 13), "<ms> close" when the client closes or the
                  connection is dropped; bytes outside ASCII 0x21-0x7E, and
                  backslash, are written as \xHH
  --help          show this text

Commands end with 13; a 10 right after the 13 is skipped. A reply is the
command echoed, ":", the data and 13 10. Hex digits are upper case.
  Q        number of entries, 2 hex digits                 Q:0A
  N<id>    entry <id> (2 hex digits): I (input) or O (output), page digit,
           place digit, name                               N02:O02Relais 1
  P<page>  states of the entries on page <page> (0-5) in N order, 4 hex
           digits each (0000 off, 0001 on)                 P0:0001000000010000
  S<page>  name of page <page> (0-5)                       S1:Seite 2
  F        firmware version                                F:020103
  C        local time: hour, minute, second, 2 hex digits each   C:0A032A
  T<id>    toggle output <id> (decimal), answers its new state   T02:1
  K<pw>    password (see --password); without one, no reply
Inputs change by themselves every few seconds; outputs only by T.
Anything else, an empty command, the idle message "x", an unknown id and T
on an input are answered with the echo and ":ERR", e.g. "x:ERR", ":ERR",
"N0F:ERR".
Bounds: a command keeps only its first 4096 bytes, the rest up to its 13 is
dropped; a connection is read no further while more than 64 KB of its
replies wait to be sent (a client that sends without reading); a client that
ends its side of the connection (e.g. nc -N) still gets the replies due to
it, then the connection is closed.
)";

// The whole text must be a number in [0, max].
std::optional<int> ParseCount(std::string_view text, int max)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < 0 || value > max)
        return std::nullopt;
    return value;
}

int Fail(std::string_view message)
{
    std::cerr << "netio-sim: " << message << " (try --help)\n";
    return 2;
}

}  // namespace

int main(int argc, char* argv[])
{
    netio::SimOptions options;
    std::optional<std::uint16_t> httpPort;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool takesText = option == "--password" || option == "--record";
        const bool takesNumber = option == "--port" || option == "--http-port" || option == "--delay"
                                 || option == "--split" || option == "--drop-after" || option == "--late-idle";
        if (option == "--help") {
            std::cout << Usage;
            return 0;
        } else if (option == "--silent") {
            options.neverReply = true;
        } else if (option == "--long-replies") {
            options.longReplies = true;
        } else if (!takesText && !takesNumber) {
            return Fail("unknown option " + option);
        } else if (i + 1 >= argc) {
            return Fail(option + " needs a value");
        } else if (takesText) {
            (option == "--password" ? options.password : options.recordFile) = argv[++i];
        } else {
            const std::string_view value = argv[++i];
            const bool isPort = option == "--port" || option == "--http-port";
            const int max = isPort ? std::numeric_limits<std::uint16_t>::max() : std::numeric_limits<int>::max();
            const std::optional<int> number = ParseCount(value, max);
            if (!number)
                return Fail("bad number for " + option + ": " + std::string(value));
            const std::chrono::milliseconds ms{*number};
            if (option == "--port")
                options.port = static_cast<std::uint16_t>(*number);
            else if (option == "--http-port")
                httpPort = static_cast<std::uint16_t>(*number);
            else if (option == "--delay")
                options.replyDelay = ms;
            else if (option == "--split")
                options.splitPause = ms;
            else if (option == "--drop-after")
                options.dropAfter = *number;
            else
                options.lateIdle = ms;
        }
    }

    // Blocked before the server thread starts, so that it inherits the mask and only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    netio::Simulator simulator(options);
    if (!simulator.Start()) {
        std::cerr << "netio-sim: cannot listen on 127.0.0.1 port " << options.port
                  << (options.recordFile.empty() ? "" : " or cannot write the record file") << "\n";
        return 1;
    }
    std::cout << "port " << simulator.Port() << std::endl;
    netio::WebServer web(simulator);
    if (httpPort) {
        if (!web.Start(*httpPort)) {
            std::cerr << "netio-sim: cannot listen on 127.0.0.1 port " << *httpPort << " for HTTP\n";
            return 1;
        }
        std::cout << "http-port " << web.Port() << std::endl;
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    web.Stop();
    simulator.Stop();
    return 0;
}
