// netio-sim: the board simulator as a program of its own, for trying Skarvel by hand or from
// scripts, and as the control service that Windows builds of the tests start boards through.
// Serves on 127.0.0.1 until SIGINT or SIGTERM.
#include "netio_sim.h"
#include "sim_http.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

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
  --password PW   the first message of each connection must be PW, or "K"
                  and PW: answered K:1 when right, else K:0; every message
                  counts as a try until one is right; later K messages get
                  no reply
  --delay N       send every reply N ms after its command arrived
  --split N       send each reply in two TCP segments, N ms apart
  --silent        never reply
  --drop-after N  close the connection after replying to its N-th command
  --drop-at CMD   close a connection at once, unanswered, when it sends CMD
  --away-for N    on SIGUSR1 the board goes away for N ms (default 20000):
                  every connection is dropped and connects are refused; on
                  SIGUSR2 the same, but connects neither succeed nor fail
  --long-replies  pad the data of every reply with '-' to 600 characters
  --late-idle N   answer the idle message "x" N ms late; replies keep their
                  order, so those after it wait too
  --hang          no board: the port's accept queue is kept full, so that a
                  connect neither succeeds nor fails until the client gives up
                  (every other option but --port is ignored)
  --record FILE   write one line per event, flushed at once, with the ms
                  since start: "<ms> connect", "<ms> recv <bytes>" for each
                  chunk read, "<ms> cmd <command>" for each command (without
                  the 13), "<ms> close" when the client closes or the
                  connection is dropped; bytes outside ASCII 0x21-0x7E, and
                  backslash, are written as \xHH
  --control       no board of its own: serve test programs that cannot start
                  the simulator themselves (Windows builds under Wine) on
                  the port, and print "control port N" (see below)
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
  K<pw>    password (see --password; PW alone is taken too); without one,
           no reply
Inputs change by themselves every few seconds; outputs only by T.
Anything else, an empty command, the idle message "x", an unknown id and T
on an input are answered with the echo and ":ERR", e.g. "x:ERR", ":ERR",
"N0F:ERR".
Bounds: a command keeps only its first 4096 bytes, the rest up to its 13 is
dropped; a connection is read no further while more than 64 KB of its
replies wait to be sent (a client that sends without reading); a client that
ends its side of the connection (e.g. nc -N) still gets the replies due to
it, then the connection is closed.

Control service (--control): a request is one line ended by 10, its answer
one line "ok ..." or "error <reason>". Each control connection has at most
one board and one hanging listener, ended when the connection closes.
)";  // the requests follow, from ControlVerbs

// The whole text must be a number in [0, max].
std::optional<int> ParseCount(std::string_view text, int max)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < 0 || value > max)
        return std::nullopt;
    return value;
}

// What the options ask for: the board, and its web page on a port of its own.
struct ProgramOptions {
    netio::SimOptions board;
    std::optional<std::uint16_t> httpPort;
    std::chrono::milliseconds awayFor{20000};
};

// The options in the command line's syntax; `error` says what is wrong when there are none.
std::optional<ProgramOptions> ParseOptions(std::span<const std::string> args, std::string& error)
{
    ProgramOptions program;
    netio::SimOptions& options = program.board;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        const bool takesText = option == "--password" || option == "--record" || option == "--drop-at";
        const bool takesNumber = option == "--port" || option == "--http-port" || option == "--delay"
                                 || option == "--split" || option == "--drop-after" || option == "--late-idle"
                                 || option == "--away-for";
        if (option == "--silent") {
            options.neverReply = true;
        } else if (option == "--long-replies") {
            options.longReplies = true;
        } else if (!takesText && !takesNumber) {
            error = "unknown option " + option;
            return std::nullopt;
        } else if (i + 1 >= args.size()) {
            error = option + " needs a value";
            return std::nullopt;
        } else if (takesText) {
            (option == "--password" ? options.password : option == "--record" ? options.recordFile : options.dropAt) =
                args[++i];
        } else {
            const std::string_view value = args[++i];
            const bool isPort = option == "--port" || option == "--http-port";
            const int max = isPort ? std::numeric_limits<std::uint16_t>::max() : std::numeric_limits<int>::max();
            const std::optional<int> number = ParseCount(value, max);
            if (!number) {
                error = "bad number for " + option + ": " + std::string(value);
                return std::nullopt;
            }
            const std::chrono::milliseconds ms{*number};
            if (option == "--port")
                options.port = static_cast<std::uint16_t>(*number);
            else if (option == "--http-port")
                program.httpPort = static_cast<std::uint16_t>(*number);
            else if (option == "--delay")
                options.replyDelay = ms;
            else if (option == "--split")
                options.splitPause = ms;
            else if (option == "--drop-after")
                options.dropAfter = *number;
            else if (option == "--away-for")
                program.awayFor = ms;
            else
                options.lateIdle = ms;
        }
    }
    return program;
}

// What one control connection has started.
struct ControlSession {
    std::unique_ptr<netio::Simulator> board;
    std::unique_ptr<netio::HangingListener> hanging;
};

using Words = std::span<const std::string>;

// How long ago, in ms.
std::string Age(std::chrono::steady_clock::time_point at)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - at);
    return std::to_string(ms.count());
}

std::optional<std::string> StartBoard(ControlSession& session, Words words)
{
    std::string error;
    std::optional<ProgramOptions> options = ParseOptions(words.subspan(1), error);
    if (!options)
        return "error " + error;
    options->board.port = 0;
    options->board.recordFile.clear();
    options->board.keepHistory = true;   // received, commands and the waits read it
    session.board = std::make_unique<netio::Simulator>(options->board);
    return session.board->Start() ? "ok " + std::to_string(session.board->Port()) : "error cannot listen";
}

std::optional<std::string> StartHanging(ControlSession& session, Words)
{
    session.hanging = std::make_unique<netio::HangingListener>();
    return session.hanging->Start() ? "ok " + std::to_string(session.hanging->Port()) : "error cannot fill a backlog";
}

std::optional<std::string> StopBoard(ControlSession& session, Words)
{
    session.board->Stop();
    return "ok";
}

// None for a way of going that the board does not know.
std::optional<std::string> SendAway(ControlSession& session, Words words)
{
    if (words[1] != "refuse" && words[1] != "hang")
        return std::nullopt;
    session.board->GoAway(words[1] == "hang" ? netio::Simulator::Away::Hanging : netio::Simulator::Away::Refusing);
    return "ok";
}

std::optional<std::string> BringBack(ControlSession& session, Words)
{
    session.board->ComeBack();
    return "ok";
}

std::optional<std::string> ListReceived(ControlSession& session, Words)
{
    std::string answer = "ok";
    for (const netio::ReceivedChunk& chunk : session.board->Received())
        answer += " " + Age(chunk.at) + ":" + netio::EscapeBytes(chunk.bytes);
    return answer;
}

std::optional<std::string> ListCommands(ControlSession& session, Words)
{
    std::string answer = "ok";
    for (const netio::ReceivedCommand& command : session.board->Commands())
        answer += " " + Age(command.at) + ":" + netio::EscapeBytes(command.text);
    return answer;
}

std::optional<std::string> CountConnections(ControlSession& session, Words)
{
    return "ok " + std::to_string(session.board->Connections()) + " " + std::to_string(session.board->ClosedConnections());
}

// "VERB N MS": whether N was reached within MS ms, as `reached(N, MS)` waits for it.
template <typename Wait>
std::string AnswerWait(Words words, Wait reached)
{
    const std::optional<int> count = ParseCount(words[1], std::numeric_limits<int>::max());
    const std::optional<int> ms = ParseCount(words[2], std::numeric_limits<int>::max());
    if (!count || !ms)
        return "error bad number";
    return reached(*count, std::chrono::milliseconds{*ms}) ? "ok 1" : "ok 0";
}

std::optional<std::string> WaitCommands(ControlSession& session, Words words)
{
    return AnswerWait(words, [&](int count, std::chrono::milliseconds limit) {
        return session.board->WaitForCommands(static_cast<std::size_t>(count), limit);
    });
}

std::optional<std::string> WaitClosed(ControlSession& session, Words words)
{
    return AnswerWait(words, [&](int count, std::chrono::milliseconds limit) {
        return session.board->WaitForClosed(count, limit);
    });
}

// One request of the control service. `words` is how many words it takes, the verb among them;
// a count -N takes N or more and ignores the rest. A handler that gives none was handed words it
// does not know: the request is answered as unknown.
struct ControlVerb {
    std::string_view verb;
    int words;
    bool needsBoard;   // refused until the connection has started a board
    std::optional<std::string> (*handler)(ControlSession&, Words);
    std::string_view synopsis;   // as --help lists it
    std::string_view help;       // as --help explains it; a new line goes on under the first
};

// The column where --help's explanation of a request begins.
constexpr std::size_t HelpIndent = 23;

// In the order --help lists them.
constexpr std::array ControlVerbs = {
    ControlVerb{"start", -1, false, StartBoard, "start [OPTIONS]", "a board with these options on a free port: ok PORT"},
    ControlVerb{"stop", -1, true, StopBoard, "stop", "the board stops listening: ok"},
    ControlVerb{"received", -1, true, ListReceived, "received",
                "ok, then \" AGE:BYTES\" for each chunk read, AGE in ms\n"
                "before the answer, BYTES written as in --record"},
    ControlVerb{"commands", -1, true, ListCommands, "commands", "ok, then \" AGE:TEXT\" for each command"},
    ControlVerb{"counts", -1, true, CountConnections, "counts", "ok CONNECTIONS-ACCEPTED CONNECTIONS-CLOSED"},
    ControlVerb{"wait-commands", 3, true, WaitCommands, "wait-commands N MS",
                "ok 1 once N commands have come, ok 0 after MS ms"},
    ControlVerb{"wait-closed", 3, true, WaitClosed, "wait-closed N MS",
                "ok 1 once N connections have closed, ok 0 after MS ms"},
    ControlVerb{"hang", -1, false, StartHanging, "hang", "a listener whose connects hang: ok PORT"},
    ControlVerb{"away", 2, true, SendAway, "away refuse|hang", "the board goes away (see --away-for): ok"},
    ControlVerb{"back", -1, true, BringBack, "back", "the board comes back on its port: ok"},
};
static_assert(std::ranges::all_of(ControlVerbs,
                                  [](const ControlVerb& verb) { return verb.synopsis.size() < HelpIndent - 2; }));

void PrintUsage()
{
    std::cout << Usage;
    for (const ControlVerb& verb : ControlVerbs) {
        std::string help(verb.help);
        for (std::size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
            help.insert(at + 1, HelpIndent, ' ');
        std::cout << "  " << verb.synopsis << std::string(HelpIndent - 2 - verb.synopsis.size(), ' ') << help << "\n";
    }
}

std::string Answer(ControlSession& session, std::string_view request)
{
    std::vector<std::string> words;
    for (std::size_t start = 0; start < request.size();) {
        const std::size_t end = std::min(request.find(' ', start), request.size());
        if (end > start)
            words.emplace_back(request.substr(start, end - start));
        start = end + 1;
    }
    const auto verb = std::ranges::find(ControlVerbs, words.empty() ? "" : std::string_view(words[0]), &ControlVerb::verb);
    const bool known = verb != ControlVerbs.end();
    // Until a board is started, whatever else is asked is answered so, an unknown request too.
    if ((!known || verb->needsBoard) && !session.board)
        return "error no board started";
    const std::size_t least = known ? static_cast<std::size_t>(std::abs(verb->words)) : 0;
    std::optional<std::string> answer;
    if (known && (verb->words < 0 ? words.size() >= least : words.size() == least))
        answer = verb->handler(session, words);
    return answer ? *answer : "error unknown request: " + std::string(request);
}

// One control connection, on a thread of its own until the test program closes it.
void ServeControlConnection(int fd)
{
    ControlSession session;
    std::string pending;
    char chunk[4096];
    for (;;) {
        const std::size_t end = pending.find('\n');
        if (end == std::string::npos) {
            const ssize_t size = recv(fd, chunk, sizeof chunk, 0);
            if (size <= 0)
                break;
            pending.append(chunk, static_cast<std::size_t>(size));
            continue;
        }
        const std::string answer = Answer(session, std::string_view(pending).substr(0, end)) + "\n";
        pending.erase(0, end + 1);
        if (send(fd, answer.data(), answer.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(answer.size()))
            break;
    }
    close(fd);
}

// Until a signal ends the process, which ends every board with it.
int ServeControl(std::uint16_t port)
{
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
        || listen(listener, 16) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::cerr << "netio-sim: cannot listen on 127.0.0.1 port " << port << "\n";
        return 1;
    }
    std::cout << "control port " << ntohs(address.sin_port) << std::endl;
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            std::thread(ServeControlConnection, fd).detach();
        else if (errno != EINTR && errno != ECONNABORTED)
            return 1;
    }
}

int Fail(std::string_view message)
{
    std::cerr << "netio-sim: " << message << " (try --help)\n";
    return 2;
}

}  // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
    bool control = false;
    bool hang = false;
    for (const std::string& arg : args) {
        if (arg == "--help") {
            PrintUsage();
            return 0;
        }
        control = control || arg == "--control";
        hang = hang || arg == "--hang";
    }
    std::erase(args, "--control");
    std::erase(args, "--hang");
    std::string error;
    const std::optional<ProgramOptions> program = ParseOptions(args, error);
    if (!program)
        return Fail(error);
    const netio::SimOptions& options = program->board;
    const std::optional<std::uint16_t> httpPort = program->httpPort;
    if (control)
        return ServeControl(options.port);

    // Blocked before the server thread starts, so that it inherits the mask and only the main
    // thread's waits see them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigset_t signals = stopSignals;
    sigaddset(&signals, SIGUSR1);
    sigaddset(&signals, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    if (hang) {
        netio::HangingListener listener;
        if (!listener.Start()) {
            std::cerr << "netio-sim: cannot fill an accept queue on 127.0.0.1\n";
            return 1;
        }
        std::cout << "port " << listener.Port() << std::endl;
        int signal = 0;
        sigwait(&stopSignals, &signal);
        return 0;
    }

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
    // Until a stop signal: the board goes away on SIGUSR1 or SIGUSR2 and comes back after awayFor.
    std::optional<std::chrono::steady_clock::time_point> backAt;
    for (;;) {
        const auto left = backAt ? std::max(*backAt - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero())
                                 : std::chrono::steady_clock::duration::zero();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        const timespec wait{static_cast<time_t>(seconds.count()),
                            static_cast<long>(std::chrono::nanoseconds(left - seconds).count())};
        const int signal = backAt ? sigtimedwait(&signals, nullptr, &wait) : sigwaitinfo(&signals, nullptr);
        if (signal < 0) {
            if (errno == EAGAIN && backAt) {
                simulator.ComeBack();
                backAt.reset();
            }
            continue;
        }
        if (signal == SIGUSR1 || signal == SIGUSR2) {
            simulator.GoAway(signal == SIGUSR2 ? netio::Simulator::Away::Hanging : netio::Simulator::Away::Refusing);
            backAt = std::chrono::steady_clock::now() + program->awayFor;
            continue;
        }
        break;
    }
    web.Stop();
    simulator.Stop();
    return 0;
}
