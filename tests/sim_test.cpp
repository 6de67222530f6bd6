// Tests of the board simulator through real client sockets on 127.0.0.1, and of netio-sim as a
// program. Time limits are generous: other builds share the two cores.
#include "netio_sim.h"
#include "ui/reference_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Options = netio::SimOptions;

constexpr std::chrono::milliseconds ReadLimit = 3000ms;   // for what must arrive
constexpr std::chrono::milliseconds QuietWait = 300ms;    // for what must not arrive
constexpr std::chrono::milliseconds ExitLimit = 5000ms;

#if defined(__has_feature)
constexpr bool SanitizedBuild = __has_feature(address_sanitizer);
#else
constexpr bool SanitizedBuild = false;
#endif

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

class Client {
public:
    explicit Client(std::uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM, 0))
    {
        const sockaddr_in address = Loopback(port);
        EXPECT_EQ(connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    }
    ~Client() { Close(); }
    void Close() { if (fd_ >= 0) close(std::exchange(fd_, -1)); }
    int Handle() const { return fd_; }

    void Send(std::string_view bytes) { EXPECT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), std::ssize(bytes)); }

    // What one recv brings within `limit`: empty on time-out, nullopt once the server closed.
    std::optional<std::string> ReadOnce(std::chrono::milliseconds limit = ReadLimit)
    {
        pollfd ready{fd_, POLLIN, 0};
        char buffer[2048];
        if (poll(&ready, 1, static_cast<int>(limit.count())) <= 0)
            return "";
        const ssize_t size = recv(fd_, buffer, sizeof buffer, 0);
        return size > 0 ? std::optional(std::string(buffer, static_cast<std::size_t>(size))) : std::nullopt;
    }

    // The next reply without its 13 10; "(none)" when none is complete within ReadLimit.
    std::string Line()
    {
        const auto deadline = Clock::now() + ReadLimit;
        while (buffer_.find("\r\n") == std::string::npos) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            const auto more = left > 0ms ? ReadOnce(left) : std::nullopt;
            if (more.value_or("").empty())
                return "(none)";
            buffer_ += *more;
        }
        const std::size_t end = buffer_.find("\r\n");
        const std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 2);
        return line;
    }

    std::string Ask(std::string_view command)
    {
        Send(std::string(command) + "\r");
        return Line();
    }

private:
    int fd_;
    std::string buffer_;
};

struct Session {
    std::unique_ptr<netio::Simulator> simulator;
    Client client;
};

// A simulator on a free port, keeping what it receives, with the options `adjust` sets, and a
// client connected to it.
Session Connected(const std::function<void(Options&)>& adjust = nullptr)
{
    Options options;
    options.port = 0;
    options.keepHistory = true;
    if (adjust)
        adjust(options);
    auto simulator = std::make_unique<netio::Simulator>(std::move(options));
    EXPECT_TRUE(simulator->Start());
    const std::uint16_t port = simulator->Port();
    return {std::move(simulator), Client(port)};
}

std::string Hex2(std::size_t value)
{
    char text[20];
    std::snprintf(text, sizeof text, "%02zX", value);
    return text;
}

// The data of every N reply, in id order, e.g. "O02Relais 1".
std::vector<std::string> Entries(Client& client)
{
    const std::string count = client.Ask("Q");
    EXPECT_TRUE(std::regex_match(count, std::regex("Q:[0-9A-F]{2}"))) << count;
    std::vector<std::string> entries;
    for (std::size_t id = 0; id < std::stoul("0" + count.substr(2), nullptr, 16); ++id) {
        const std::string request = "N" + Hex2(id), reply = client.Ask(request);
        EXPECT_TRUE(std::regex_match(reply, std::regex(request + ":[IO][0-5][0-9].+"))) << reply;
        entries.push_back(reply.substr(std::min(reply.size(), request.size() + 1)) + "   ");
    }
    return entries;
}

TEST(SimReplies, EntriesPagesAndStatesAgree)
{
    auto [simulator, client] = Connected();
    const std::vector<std::string> entries = Entries(client);
    ASSERT_GE(entries.size(), 8u);
    EXPECT_EQ(client.Ask("N" + Hex2(entries.size())), "N" + Hex2(entries.size()) + ":ERR");
    std::map<char, std::size_t> perPage;
    for (const std::string& entry : entries)
        ++perPage[entry[1]];
    for (const char page : std::string("012345")) {
        const std::string states = client.Ask(std::string("P") + page);
        EXPECT_TRUE(std::regex_match(states, std::regex(std::string("P") + page + ":(000[01])*"))) << states;
        EXPECT_EQ(states.size(), 3 + 4 * perPage[page]) << states;
        EXPECT_TRUE(std::regex_match(client.Ask(std::string("S") + page), std::regex(std::string("S") + page + ":.+")));
    }
    EXPECT_EQ(client.Ask("S1"), "S1:Seite 2");
    EXPECT_EQ(client.Ask("F"), "F:020103");
}

TEST(SimReplies, ClockIsLocalTimeInHex)
{
    auto [simulator, client] = Connected();
    const std::string reply = client.Ask("C");
    std::smatch hms;
    ASSERT_TRUE(std::regex_match(reply, hms, std::regex("C:([0-9A-F]{2})([0-9A-F]{2})([0-9A-F]{2})"))) << reply;
    const long h = std::stol(hms[1], nullptr, 16), m = std::stol(hms[2], nullptr, 16), s = std::stol(hms[3], nullptr, 16);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const long apart = (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) - (h * 3600 + m * 60 + s);
    EXPECT_LE((apart + 86400) % 86400, 5) << reply;   // midnight may lie between
}

TEST(SimReplies, ToggleShowsInStatesAndOnlyForOutputs)
{
    auto [simulator, client] = Connected();
    const std::vector<std::string> entries = Entries(client);
    const auto output = std::find_if(entries.begin(), entries.end(), [](const std::string& e) { return e[0] == 'O'; });
    const auto input = std::find_if(entries.begin(), entries.end(), [](const std::string& e) { return e[0] == 'I'; });
    ASSERT_TRUE(output != entries.end() && input != entries.end());
    const char page = (*output)[1];
    const auto slot = std::count_if(entries.begin(), output, [&](const std::string& e) { return e[1] == page; });
    const std::string toggle = "T" + std::to_string(100 + (output - entries.begin())).substr(1);   // 2 decimal digits
    for (const std::string state : {"1", "0"}) {
        EXPECT_EQ(client.Ask(toggle), toggle + ":" + state);
        const std::string states = client.Ask(std::string("P") + page) + "    ";
        EXPECT_EQ(states.substr(3 + 4 * static_cast<std::size_t>(slot), 4), "000" + state) << states;
    }
    for (const std::string& refused : {"T" + std::to_string(input - entries.begin()), "T" + std::to_string(entries.size())})
        EXPECT_EQ(client.Ask(refused), refused + ":ERR");
}

TEST(SimReplies, UnknownIdleAndEmptyGetError)
{
    auto [simulator, client] = Connected();
    for (const std::string command : {"x", "Z9", "", "Q1", "P6", "N-1", "S"})
        EXPECT_EQ(client.Ask(command), command + ":ERR");
}

// The board as the command reference describes it: each request of its examples, sent as they
// stand, gets a reply of the form the reference gives (the request echoed, a colon, the data as
// its prose says), and so does the example reply itself. The forms are written from the prose;
// requests and example replies are taken from the reference text.
TEST(SimReplies, TheReferencesExamplesGetRepliesOfTheFormsItDescribes)
{
    const std::map<char, std::string> forms = {
        {'Q', "[0-9A-F]{2}"},                  // number of entries, hexadecimal
        {'N', "[IO][0-9]{2}.+"},               // type, position (page and place), name
        {'P', "([0-9A-F]{4})+"},               // 16 bits per entry, 4 hex digits each
        {'S', ".+"},                           // the page's name
        {'F', "[0-9]{6}"},                     // the version, to be read as text
        {'C', "[0-9A-F]{6}"},                  // HHMMSS in hexadecimal
        {'T', "[01]"},                         // the new state
    };
    constexpr std::string_view Request = "Client zu NET-IO \t";
    constexpr std::string_view Reply = "NET-IO zu Client \t";
    std::size_t checked = 0;
    for (std::size_t i = 0; i + 1 < CommandReferenceLines.size(); ++i) {
        const std::string_view line = CommandReferenceLines[i];
        if (!line.starts_with(Request))
            continue;
        ASSERT_TRUE(CommandReferenceLines[i + 1].starts_with(Reply)) << line;
        const std::string request(line.substr(Request.size()));
        const std::string example(CommandReferenceLines[i + 1].substr(Reply.size()));
        SCOPED_TRACE(request);
        if (!forms.contains(request[0])) {
            // The password message: any message is taken as the password right after connecting.
            EXPECT_EQ(example, "K:1");
            auto session = Connected([&](Options& options) { options.password = request; });
            EXPECT_EQ(session.client.Ask(request), "K:1");
            ++checked;
            continue;
        }
        const std::regex form(std::regex_replace(request, std::regex("[^A-Za-z0-9]"), "\\$&") + ":"
                              + forms.at(request[0]));
        EXPECT_TRUE(std::regex_match(example, form)) << "the example " << example;
        auto session = Connected();
        const std::string reply = session.client.Ask(request);
        EXPECT_TRUE(std::regex_match(reply, form)) << "the simulator's " << reply;
        ++checked;
    }
    EXPECT_EQ(checked, 10u);
}

TEST(SimFraming, LineFeedAfterCrIsSkippedAndCommandsShareSegments)
{
    auto [simulator, client] = Connected();
    client.Send("Q\r\nF\rS1\r\n");
    EXPECT_EQ(client.Line(), "Q:0A");
    EXPECT_EQ(client.Line(), "F:020103");
    EXPECT_EQ(client.Line(), "S1:Seite 2");
    EXPECT_EQ(client.Ask("F"), "F:020103");
    EXPECT_EQ(client.Ask("\nQ"), "Q:0A");     // the 10 of the last 13, in the next segment
    EXPECT_EQ(client.Ask("\n\nF"), "\nF:ERR");   // a 10 not right after a 13 is part of the command
    std::vector<std::string> texts;
    for (const netio::ReceivedCommand& command : simulator->Commands())
        texts.push_back(command.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Q", "F", "S1", "F", "Q", "\nF"}));
}

TEST(SimFraming, CommandSplitOverSegments)
{
    auto [simulator, client] = Connected();
    client.Send("N0");
    EXPECT_EQ(client.ReadOnce(QuietWait), "");
    client.Send("1\r");
    EXPECT_EQ(client.Line().substr(0, 4), "N01:");
    EXPECT_EQ(simulator->Received().size(), 2u);
    EXPECT_EQ(simulator->CountCommands("N01"), 1u);
}

TEST(SimPassword, EveryMessageIsCheckedUntilRightOnEachConnection)
{
    auto [simulator, client] = Connected([](Options& o) { o.password = "geheim"; });
    EXPECT_EQ(client.Ask("Kfalsch"), "K:0");
    EXPECT_EQ(client.Ask("Q"), "K:0");
    EXPECT_EQ(client.Ask("Kgeheim"), "K:1");
    EXPECT_EQ(client.Ask("F"), "F:020103");
    Client second(simulator->Port());
    EXPECT_EQ(second.Ask("F"), "K:0");
    EXPECT_EQ(second.Ask("geheim"), "K:1");   // the password alone, as the reference sends it
    EXPECT_EQ(simulator->Connections(), 2);
    auto [open, third] = Connected();   // without a password, K gets no reply at all
    third.Send("Kgeheim\rF\r");
    EXPECT_EQ(third.Line(), "F:020103");
    EXPECT_EQ(open->CountCommands("Kgeheim"), 1u);
}

TEST(SimFaults, DelayHoldsEveryReplyYetStopIsPrompt)
{
    constexpr auto delay = 400ms;
    auto [simulator, client] = Connected([&](Options& o) { o.replyDelay = delay; });
    auto at = Clock::now();
    EXPECT_EQ(client.Ask("F"), "F:020103");
    EXPECT_GE(Clock::now() - at, delay - 50ms);
    client.Send("Q\r");
    ASSERT_TRUE(simulator->WaitForCommands(2, ReadLimit));
    at = Clock::now();
    simulator->Stop();
    EXPECT_LT(Clock::now() - at, delay);
}

TEST(SimFaults, SplitSendsTwoSegmentsApart)
{
    constexpr auto pause = 300ms;
    auto [simulator, client] = Connected([&](Options& o) { o.splitPause = pause; });
    client.Send("F\r");
    const std::string first = client.ReadOnce().value_or("");
    const auto firstAt = Clock::now();
    const std::string second = client.ReadOnce().value_or("");
    EXPECT_FALSE(first.empty() || second.empty());
    EXPECT_GE(Clock::now() - firstAt, pause - 100ms);
    EXPECT_EQ(first + second, "F:020103\r\n");
}

TEST(SimFaults, SilentNeverReplies)
{
    auto [simulator, client] = Connected([](Options& o) { o.neverReply = true; });
    client.Send("F\rx\r");
    EXPECT_TRUE(simulator->WaitForCommands(2, ReadLimit));
    EXPECT_EQ(client.ReadOnce(QuietWait), "");   // neither a reply nor a close
}

TEST(SimFaults, DropAfterRepliesToTheLastThenCloses)
{
    auto [simulator, client] = Connected([](Options& o) { o.dropAfter = 2; });
    client.Send("F\rQ\rS1\r");
    EXPECT_EQ(client.Line(), "F:020103");
    EXPECT_EQ(client.Line(), "Q:0A");
    EXPECT_EQ(client.ReadOnce(), std::nullopt);
    EXPECT_TRUE(simulator->WaitForClosed(1, ReadLimit));
    EXPECT_EQ(simulator->CountCommands("S1"), 0u);
}

TEST(SimFaults, LongRepliesExceed500Bytes)
{
    auto [simulator, client] = Connected([](Options& o) { o.longReplies = true; });
    const std::string reply = client.Ask("Q");
    EXPECT_EQ(reply.size(), 2 + netio::LongReplyDataSize);
    EXPECT_GT(reply.size() + 2, 500u);
    EXPECT_EQ(reply.substr(0, 4), "Q:0A");
    EXPECT_EQ(reply.find_first_not_of(netio::LongReplyFiller, 4), std::string::npos);
}

TEST(SimFaults, LateIdleDelaysTheIdleReplyAndWhatFollowsIt)
{
    constexpr auto late = 1500ms;
    auto [simulator, client] = Connected([&](Options& o) { o.lateIdle = late; });
    auto sent = Clock::now();
    EXPECT_EQ(client.Ask("F"), "F:020103");
    EXPECT_LT(Clock::now() - sent, late - 500ms);
    sent = Clock::now();
    client.Send("x\rQ\r");
    EXPECT_EQ(client.Line(), "x:ERR");
    EXPECT_GE(Clock::now() - sent, late - 100ms);
    EXPECT_EQ(client.Line(), "Q:0A");
}

TEST(SimRecord, FileListsEventsInOrderWithEscapes)
{
    const std::string path = testing::TempDir() + "sim_record_test.txt";
    auto [simulator, client] = Connected([&](Options& o) { o.recordFile = path; });
    EXPECT_EQ(client.Ask("Q"), "Q:0A");
    client.Send("a b\\\r\n");
    EXPECT_EQ(client.Line(), "a b\\:ERR");
    client.Close();
    ASSERT_TRUE(simulator->WaitForClosed(1, ReadLimit));
    std::ifstream file(path);
    std::vector<std::string> events;
    long long previous = 0, ms = 0;
    for (std::string event; file >> ms && std::getline(file, event); previous = ms) {
        EXPECT_GE(ms, previous);
        events.push_back(event);
    }
    EXPECT_EQ(events, (std::vector<std::string>{" connect", " recv Q\\x0D", " cmd Q", " recv a\\x20b\\x5C\\x0D\\x0A",
                                                " cmd a\\x20b\\x5C", " close"}));
    std::remove(path.c_str());
}

// A client that sends without reading is read no further once its replies pile up (its sends
// then block), keeps nothing in a history nobody asked for, and gets every reply, each command cut
// at the line limit, once it reads.
TEST(SimBounds, AClientThatDoesNotReadIsHeldOffAndLaterGetsEveryReply)
{
    netio::Simulator simulator({.port = 0});
    ASSERT_TRUE(simulator.Start());
    Client client(simulator.Port());
    const int fd = client.Handle();
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const std::string command = std::string(netio::MaxCommandSize + 1000, 'A') + "\r";
    std::string block;
    while (block.size() < 64 * 1024)
        block += command;
    std::size_t sent = 0;
    bool heldOff = false;
    for (const auto deadline = Clock::now() + 20s; !heldOff && Clock::now() < deadline && sent < (1u << 28);) {
        const ssize_t put = send(fd, block.data() + sent % block.size(), block.size() - sent % block.size(), MSG_NOSIGNAL);
        if (put > 0)
            sent += static_cast<std::size_t>(put);
        pollfd room{fd, POLLOUT, 0};
        heldOff = put < 0 && errno == EAGAIN && poll(&room, 1, static_cast<int>(QuietWait.count())) == 0;
    }
    ASSERT_TRUE(heldOff) << sent << " bytes sent and the client could still send more";
    EXPECT_TRUE(simulator.Commands().empty());
    EXPECT_TRUE(simulator.Received().empty());

    // Only whole commands count; the rest of the last one never comes.
    const std::size_t commands = sent / command.size();
    const std::string reply = std::string(netio::MaxCommandSize, 'A') + ":ERR\r\n";
    std::string replies;
    char buffer[65536];
    for (const auto deadline = Clock::now() + 20s; replies.size() < commands * reply.size() && Clock::now() < deadline;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 100) > 0)
            replies.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(0, recv(fd, buffer, sizeof buffer, 0))));
    }
    ASSERT_EQ(replies.size(), commands * reply.size()) << commands << " commands";
    for (std::size_t at = 0; at < replies.size(); at += reply.size())
        ASSERT_EQ(replies.compare(at, reply.size(), reply), 0) << "reply at " << at;
}

// nc -N sends its commands, then ends its side: the replies still come, then the close.
TEST(SimBounds, AHalfClosingClientGetsItsRepliesBeforeTheClose)
{
    netio::Simulator simulator({.port = 0, .replyDelay = 200ms});
    ASSERT_TRUE(simulator.Start());
    Client client(simulator.Port());
    client.Send("Q\rF\r");
    shutdown(client.Handle(), SHUT_WR);
    std::string replies;
    bool closed = false;
    for (int reads = 0; !closed && reads < 10; ++reads) {
        const std::optional<std::string> more = client.ReadOnce();
        closed = !more;
        replies += more.value_or("");
        if (more && more->empty())
            break;   // nothing within the limit
    }
    EXPECT_EQ(replies, "Q:0A\r\nF:020103\r\n");
    EXPECT_TRUE(closed);
    EXPECT_TRUE(simulator.WaitForClosed(1, ReadLimit));
}

// Two bursts of 200 clients connecting at once: every one is served.
TEST(SimBounds, EveryClientOfABurstIsServed)
{
    netio::Simulator simulator({.port = 0});
    ASSERT_TRUE(simulator.Start());
    constexpr int Burst = 200;
    for (int round = 0; round < 2; ++round) {
        std::vector<int> clients;
        const sockaddr_in address = Loopback(simulator.Port());
        for (int i = 0; i < Burst; ++i) {
            clients.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            ASSERT_TRUE(connect(clients.back(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
                        || errno == EINPROGRESS);
        }
        std::vector<std::string> replies(Burst);
        std::vector<bool> asked(Burst, false);
        int answered = 0;
        for (const auto deadline = Clock::now() + 10s; answered < Burst && Clock::now() < deadline;) {
            std::vector<pollfd> ready;
            for (int i = 0; i < Burst; ++i)
                ready.push_back({clients[i], static_cast<short>(asked[i] ? POLLIN : POLLOUT), 0});
            poll(ready.data(), ready.size(), 100);
            for (int i = 0; i < Burst; ++i) {
                if (!asked[i] && (ready[i].revents & POLLOUT))
                    asked[i] = send(clients[i], "F\r", 2, MSG_NOSIGNAL) == 2;
                char buffer[64];
                if (asked[i] && (ready[i].revents & POLLIN)) {
                    const ssize_t got = recv(clients[i], buffer, sizeof buffer, 0);
                    replies[i].append(buffer, static_cast<std::size_t>(std::max<ssize_t>(0, got)));
                    answered += replies[i] == "F:020103\r\n";
                }
            }
        }
        for (const int fd : clients)
            close(fd);
        EXPECT_EQ(answered, Burst) << "round " << round;
    }
    EXPECT_EQ(simulator.Connections(), 2 * Burst);
}

TEST(SimHanging, ConnectDoesNotComplete)
{
    netio::HangingListener listener;
    ASSERT_TRUE(listener.Start());
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    fcntl(fd, F_SETFL, O_NONBLOCK);
    const sockaddr_in address = Loopback(listener.Port());
    EXPECT_TRUE(connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0 && errno == EINPROGRESS);
    pollfd pending{fd, POLLOUT, 0};
    EXPECT_EQ(poll(&pending, 1, static_cast<int>(QuietWait.count())), 0);
    close(fd);
}

// Starts netio-sim with `args`; returns its pid and the read end of its stdout.
std::pair<pid_t, int> Spawn(std::vector<const char*> args)
{
    args.insert(args.begin(), NETIO_SIM_PATH);
    args.push_back(nullptr);
    int out[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);   // dup2 clears it on the child's stdout
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, NETIO_SIM_PATH, &actions, nullptr, const_cast<char* const*>(args.data()), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    return {pid, out[0]};
}

// The exit code, or -1 (after killing it) when the process does not end within ExitLimit.
int ExitCode(pid_t pid)
{
    int status = 0;
    for (const auto deadline = Clock::now() + ExitLimit; Clock::now() < deadline; std::this_thread::sleep_for(20ms))
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

// The port from netio-sim's first line of output; none when it gives none in time.
std::optional<std::uint16_t> ReportedPort(int output)
{
    std::string text;
    pollfd ready{output, POLLIN, 0};
    char buffer[64];
    for (const auto deadline = Clock::now() + ReadLimit; text.find('\n') == std::string::npos && Clock::now() < deadline;)
        if (poll(&ready, 1, 100) > 0)
            text.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(0, read(output, buffer, sizeof buffer))));
    close(output);
    std::smatch port;
    if (!std::regex_search(text, port, std::regex("^port ([0-9]+)\n")))
        return std::nullopt;
    return static_cast<std::uint16_t>(std::stoi(port[1]));
}

// User and system CPU time of a process so far, in clock ticks.
long CpuTicks(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 14; ++i)   // state is field 3; utime and stime are 14 and 15
        fields >> field;
    long user = 0, system = 0;
    fields >> user >> system;
    return user + system;
}

TEST(SimProgram, ServesOnTheReportedPortUntilSigterm)
{
    const auto [pid, output] = Spawn({"--port", "0"});
    ASSERT_GT(pid, 0);
    if (const std::optional<std::uint16_t> port = ReportedPort(output))
        EXPECT_EQ(Client(*port).Ask("F"), "F:020103");
    else
        ADD_FAILURE() << "no port line";
    kill(pid, SIGTERM);
    EXPECT_EQ(ExitCode(pid), 0);
}

// With no file descriptor left for a new connection it rests instead of spinning, and takes the
// waiting clients once others have left.
TEST(SimProgram, OutOfDescriptorsItRestsAndServesTheWaitingClientsLater)
{
    if (SanitizedBuild)
        GTEST_SKIP() << "a sanitized netio-sim needs a free descriptor for the sanitizers' own checks";
    const auto [pid, output] = Spawn({"--port", "0"});
    ASSERT_GT(pid, 0);
    const std::optional<std::uint16_t> port = ReportedPort(output);
    ASSERT_TRUE(port);
    std::size_t open = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        ++open;
    rlimit limit{};
    ASSERT_EQ(prlimit(pid, RLIMIT_NOFILE, nullptr, &limit), 0);
    limit.rlim_cur = open + 2;
    ASSERT_EQ(prlimit(pid, RLIMIT_NOFILE, &limit, nullptr), 0);

    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 6; ++i)
        clients.push_back(std::make_unique<Client>(*port));
    EXPECT_EQ(clients[0]->Ask("F"), "F:020103");
    EXPECT_EQ(clients[1]->Ask("F"), "F:020103");
    for (std::size_t i = 2; i < clients.size(); ++i)
        clients[i]->Send("F\r");
    const long ticks = CpuTicks(pid);
    std::this_thread::sleep_for(1s);
    EXPECT_LT(CpuTicks(pid) - ticks, sysconf(_SC_CLK_TCK) / 4) << "busy while out of descriptors";

    clients[0]->Close();
    clients[1]->Close();
    for (std::size_t i = 2; i < clients.size(); ++i) {
        EXPECT_EQ(clients[i]->Line(), "F:020103") << "client " << i;
        clients[i]->Close();   // its descriptor goes to the next one
    }
    kill(pid, SIGTERM);
    EXPECT_EQ(ExitCode(pid), 0);
}

TEST(SimProgram, BadOptionsExitWith2)
{
    for (const auto& args : std::vector<std::vector<const char*>>{{"--port", "70000"}, {"--delay"}, {"--bogus"}}) {
        const auto [pid, output] = Spawn(args);
        close(output);
        EXPECT_EQ(ExitCode(pid), 2) << args[0];
    }
}

}  // namespace
