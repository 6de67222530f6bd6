// The board connection against the simulated board on loopback: what goes out on the wire,
// what a reply becomes, and how the link behaves when the board is slow, silent or gone.
// The same cases run in the Windows build, over Winsock, against the Linux simulator.

// The far end of a raw connection uses the platform's plain sockets, apart from the layer under test.
#ifdef _WIN32
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "globals.h"
#include "board/connection.h"
#include "simulated_board.h"

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
using PeerSocket = SOCKET;
void ClosePeer(PeerSocket peer) { closesocket(peer); }
#else
using PeerSocket = int;
void ClosePeer(PeerSocket peer) { close(peer); }
#endif

void SetBufferSize(PeerSocket socket, int option, int size)
{
    setsockopt(socket, SOL_SOCKET, option, reinterpret_cast<const char*>(&size), sizeof size);
}

std::string AllReceived(const netio::Simulator& sim)
{
    std::string bytes;
    for (const auto& chunk : sim.Received())
        bytes += chunk.bytes;
    return bytes;
}

class ConnectionTest : public testing::Test {
protected:
    void SetUp() override { Link = BoardLink{}; }
    void TearDown() override { CloseBoardConnection(); }

    // Steps the reconnect at `at` on the test's clock, as the main window's timer does; a connect
    // under way is looked at again while real time passes, as it would be a moment later.
    static void StepAt(SteadyTime at)
    {
        StepReconnect(at);
        for (int check = 0; Link.pendingConnect && check < 200; ++check) {
            std::this_thread::sleep_for(5ms);
            StepReconnect(at);
        }
    }

    void Connect(netio::SimOptions options = {})
    {
        sim_ = ConnectToSimulatedBoard(options);
        ASSERT_TRUE(sim_);
    }

    std::unique_ptr<netio::Simulator> sim_;
};

TEST_F(ConnectionTest, ACommandGoesOutInOneSendAndItsReplyComesBackCleaned)
{
    Connect();
    EXPECT_EQ(ExchangeCommand("F").reply, "F:020103");
    ASSERT_TRUE(sim_->WaitForCommands(1, 2s));
    const auto chunks = sim_->Received();
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].bytes, "F\r");
}

TEST_F(ConnectionTest, TheCommandIsSentExactlyAsTyped)
{
    Connect();
    const std::string reply = ExchangeCommand(" q 1").reply;
    EXPECT_EQ(reply, "q1:ERR");
    ASSERT_TRUE(sim_->WaitForCommands(1, 2s));
    EXPECT_EQ(AllReceived(*sim_), " q 1\r");
}

TEST_F(ConnectionTest, TextIsWindows1252OnTheWire)
{
    Connect();
    // The board echoes the request, so the reply shows the bytes decoded again.
    EXPECT_EQ(ExchangeCommand("ä").reply, "ä:ERR");
    EXPECT_EQ(ExchangeCommand("€").reply, "€:ERR");
    ASSERT_TRUE(sim_->WaitForCommands(2, 2s));
    EXPECT_EQ(AllReceived(*sim_), "\xE4\r\x80\r");
}

TEST_F(ConnectionTest, TheIdleMessageIsXAndItsReplyIsDropped)
{
    Connect();
    SendIdleMessage();
    EXPECT_EQ(ExchangeCommand("F").reply, "F:020103");
    ASSERT_TRUE(sim_->WaitForCommands(2, 2s));
    EXPECT_EQ(AllReceived(*sim_), "x\rF\r");
}

TEST_F(ConnectionTest, ASplitReplyShowsItsFirstPartAndTheRestComesNextTime)
{
    Connect({.splitPause = 300ms});
    const std::string first = ExchangeCommand("F").reply;
    const std::string second = ExchangeCommand("F").reply;
    EXPECT_FALSE(first.empty());
    EXPECT_LT(first.size(), std::string("F:020103").size());
    EXPECT_TRUE((first + second).starts_with("F:020103")) << first << " | " << second;
}

TEST_F(ConnectionTest, ALateIdleReplyShowsInFrontOfTheNextReply)
{
    Connect({.lateIdle = Link.idleReplyLimit + 300ms});
    SendIdleMessage();
    EXPECT_TRUE(ExchangeCommand("F").reply.starts_with("x:ERR"));
}

TEST_F(ConnectionTest, IdleRepliesOfABoardAFewHundredMsAwayNeverReachAShownReply)
{
    Connect({.replyDelay = 150ms});
    for (int i = 0; i < 4; ++i) {
        SendIdleMessage();
        EXPECT_EQ(ExchangeCommand("F").reply, "F:020103") << "round " << i;
    }
}

TEST_F(ConnectionTest, AReplyOver500BytesIsCutAndItsRestReadNextTime)
{
    Connect({.longReplies = true});
    const std::string first = ExchangeCommand("F").reply;
    EXPECT_TRUE(first.starts_with("F:020103"));
    // The buffer was full: nothing of it was a terminator or a zero.
    EXPECT_EQ(std::string(Link.ReceiveBuffer.data(), Link.ReceiveBuffer.size()).find('\0'), std::string::npos);
    EXPECT_EQ(first.size(), 500u);
    // The rest of the first reply comes in front of the second.
    const std::string second = ExchangeCommand("F").reply;
    const std::size_t restFiller = std::string("F:").size() + netio::LongReplyDataSize - 500;
    EXPECT_EQ(second.substr(0, restFiller), std::string(restFiller, netio::LongReplyFiller));
    // The second reply follows in the same read only if it has arrived by then.
    EXPECT_TRUE(second.size() == restFiller || second.substr(restFiller, 8) == "F:020103") << second;
}

// A board that closes the connection is told apart from a silent one at once: the exchange does
// not wait out its limit, nothing goes out while the link is lost, and the link is mended in the
// background, the first try at once.
TEST_F(ConnectionTest, ADroppedBoardIsNoticedAtOnceAndTheLinkMendedInTheBackground)
{
    // No SIGPIPE guard here: the sends themselves must not raise the signal.
    Connect({.dropAt = "D"});
    EXPECT_EQ(ExchangeCommand("F").outcome, ExchangeOutcome::Replied);
    const auto started = Clock::now();
    const Exchange dropped = ExchangeCommand("D");
    EXPECT_LT(Clock::now() - started, Link.replyLimit / 2);
    EXPECT_EQ(dropped.outcome, ExchangeOutcome::LinkLost);
    EXPECT_EQ(TakeLinkEvent(), LinkEvent::Lost);
    EXPECT_EQ(TakeLinkEvent(), LinkEvent::None);
    const std::size_t commands = sim_->Commands().size();
    EXPECT_EQ(ExchangeCommand("F").outcome, ExchangeOutcome::NotSent);
    SendIdleMessage();
    EXPECT_EQ(sim_->Commands().size(), commands);

    StepAt(SteadyTime{});
    EXPECT_EQ(TakeLinkEvent(), LinkEvent::Restored);
    EXPECT_EQ(TakeLinkEvent(), LinkEvent::None);
    EXPECT_EQ(ExchangeCommand("F").reply, "F:020103");
    EXPECT_EQ(sim_->Connections(), 2);
}

// A board that takes the connection only to drop it before it answers is not mended: the tries
// go on growing apart instead of starting at once again.
TEST_F(ConnectionTest, ABoardThatDropsBeforeAnsweringIsNotTriedAtOnceAgain)
{
    Connect({.dropAt = "D"});
    EXPECT_EQ(ExchangeCommand("D").outcome, ExchangeOutcome::LinkLost);
    StepAt(SteadyTime{});
    EXPECT_EQ(ExchangeCommand("D").outcome, ExchangeOutcome::LinkLost);
    StepAt(SteadyTime(10ms));
    StepAt(SteadyTime(1009ms));
    EXPECT_TRUE(Link.lost);
    StepAt(SteadyTime(1010ms));
    EXPECT_FALSE(Link.lost);
    EXPECT_EQ(ExchangeCommand("F").reply, "F:020103");
    const std::vector<LinkEvent> told = {TakeLinkEvent(), TakeLinkEvent(), TakeLinkEvent(), TakeLinkEvent(), TakeLinkEvent()};
    EXPECT_EQ(told, (std::vector<LinkEvent>{LinkEvent::Lost, LinkEvent::Restored, LinkEvent::Lost, LinkEvent::Restored,
                                           LinkEvent::None}));
}

// Refused while the board is away: tried at once, then 1, 2, 4, 8, 16 and 30 s after each failed
// try; the first try after its return mends the link.
TEST_F(ConnectionTest, ABoardAwayIsTriedAtTheStatedPausesUntilItIsBack)
{
    Connect();
    sim_->GoAway();
    EXPECT_EQ(ExchangeCommand("F").outcome, ExchangeOutcome::LinkLost);
    std::vector<long long> tries;   // when each try failed, in s of the test's clock
    for (auto at = 0ms; at <= 100s; at += 100ms) {
        const int before = Link.failedTries;
        StepAt(SteadyTime(at));
        if (Link.failedTries != before)
            tries.push_back(std::chrono::duration_cast<std::chrono::seconds>(at).count());
    }
    EXPECT_EQ(tries, (std::vector<long long>{0, 1, 3, 7, 15, 31, 61, 91}));
    sim_->ComeBack();
    StepAt(SteadyTime(121s));
    EXPECT_EQ(TakeLinkEvent(), LinkEvent::Lost);
    EXPECT_EQ(TakeLinkEvent(), LinkEvent::Restored);
    EXPECT_EQ(ExchangeCommand("F").reply, "F:020103");
}

// A connect that neither succeeds nor fails never holds up the caller; it is given up at the
// connect limit, and so is a lookup.
TEST_F(ConnectionTest, ATryThatHangsNeverWaitsAndIsGivenUpAtTheConnectLimit)
{
    Connect();
    sim_->GoAway(netio::Simulator::Away::Hanging);
    EXPECT_EQ(ExchangeCommand("F").outcome, ExchangeOutcome::LinkLost);
    const auto started = Clock::now();
    // The limit is the start-up's, 21 s, as Windows itself gives a connect.
    StepReconnect(SteadyTime{});
    StepReconnect(SteadyTime(21s - 1ms));
    EXPECT_LT(Clock::now() - started, 100ms);
    EXPECT_TRUE(Link.pendingConnect.has_value());
    EXPECT_EQ(Link.failedTries, 0);
    StepReconnect(SteadyTime(21s));
    EXPECT_FALSE(Link.pendingConnect.has_value());
    EXPECT_EQ(Link.failedTries, 1);
}

TEST_F(ConnectionTest, ASilentBoardGivesAnEmptyReplyWithinTwiceTheLimitAndTheLinkStands)
{
    Connect({.neverReply = true});
    auto started = Clock::now();
    const Exchange silent = ExchangeCommand("F");
    EXPECT_EQ(silent.outcome, ExchangeOutcome::Replied);
    EXPECT_EQ(silent.reply, "");
    // A second for a reply, 400 ms for the idle message's: long enough for a board far away, short
    // enough that the window does not seem to hang.
    auto waited = Clock::now() - started;
    EXPECT_GE(waited, 950ms);
    EXPECT_LT(waited, 2000ms);

    started = Clock::now();
    SendIdleMessage();
    waited = Clock::now() - started;
    EXPECT_GE(waited, 350ms);
    EXPECT_LT(waited, 800ms);
    EXPECT_EQ(TakeLinkEvent(), LinkEvent::None);
}

TEST_F(ConnectionTest, NoConnectionGivesEmptyReplies)
{
    EXPECT_EQ(ExchangeCommand("F").reply, "");
    SendIdleMessage();
    CloseBoardConnection();
    EXPECT_FALSE(Link.BoardConnection.has_value());
}

// A board on loopback that sends bytes the simulator never would, and reads only when a test
// does. Its buffers are small, so that a board that stops reading is soon full.
class RawPeerTest : public testing::Test {
protected:
    void SetUp() override
    {
        Link = BoardLink{};
        const PeerSocket listener = socket(AF_INET, SOCK_STREAM, 0);
        SetBufferSize(listener, SO_RCVBUF, SmallBuffer);   // the accepted side inherits it
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        const bool listening = bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
                               && listen(listener, 1) == 0
                               && getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0;
        if (listening) {
            Link.BoardConnection = OpenBoardConnection("127.0.0.1", ntohs(address.sin_port));
            peer_ = accept(listener, nullptr, nullptr);
        }
        ClosePeer(listener);
        ASSERT_TRUE(Link.BoardConnection.has_value());
        ASSERT_NE(peer_, NoPeer);
        SetBufferSize(static_cast<PeerSocket>(Link.BoardConnection->handle), SO_SNDBUF, SmallBuffer);
    }
    void TearDown() override
    {
        CloseBoardConnection();
        if (peer_ != NoPeer)
            ClosePeer(peer_);
    }
    void PeerSends(std::string_view bytes)
    {
        ASSERT_EQ(send(peer_, bytes.data(), static_cast<int>(bytes.size()), 0), static_cast<int>(bytes.size()));
    }
    // Reads what has come within `limit`; empty when nothing has.
    std::string PeerReceives(std::chrono::milliseconds limit)
    {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(peer_, &ready);
        timeval wait{0, static_cast<long>(std::chrono::microseconds(limit).count())};
        if (select(static_cast<int>(peer_ + 1), &ready, nullptr, nullptr, &wait) <= 0)
            return {};
        char buffer[65536];
        const auto received = recv(peer_, buffer, sizeof buffer, 0);
        return std::string(buffer, static_cast<std::size_t>(std::max<decltype(received)>(0, received)));
    }

    static constexpr PeerSocket NoPeer = static_cast<PeerSocket>(-1);
    static constexpr int SmallBuffer = 4096;
    PeerSocket peer_ = NoPeer;
};

TEST_F(RawPeerTest, AZeroByteEndsTheReply)
{
    PeerSends(std::string_view("A:1\0BC", 6));
    EXPECT_EQ(ExchangeCommand("A").reply, "A:1");
}

TEST_F(RawPeerTest, ReplyCleaningTakesOutEveryBlankCarriageReturnAndLineFeed)
{
    PeerSends("S1:Seite 2\r\n\r Q: 0\n5 ");
    EXPECT_EQ(ExchangeCommand("S1").reply, "S1:Seite2Q:05");
}

TEST_F(RawPeerTest, AShortReplyLeavesNoTraceOfALongerOne)
{
    PeerSends("LONGREPLY1234567890");
    EXPECT_EQ(ExchangeCommand("L").reply, "LONGREPLY1234567890");
    PeerSends("S:1");
    EXPECT_EQ(ExchangeCommand("S").reply, "S:1");
}

// The peer does not read: each exchange gives up within its limit, receives nothing after a
// send that failed, and what reaches the board once it reads again is still whole commands.
TEST_F(RawPeerTest, ABoardThatStopsReadingFailsEachExchangeInTimeAndLaterGetsWholeCommands)
{
    Link.replyLimit = 200ms;
    Link.idleReplyLimit = 100ms;
    PeerSends("R:1");   // read by the first exchange that gets its command out
    const std::string command(32767, 'A');
    for (int i = 0; i < 3; ++i) {
        const auto started = Clock::now();
        EXPECT_EQ(ExchangeCommand(command).reply, "") << "exchange " << i;
        EXPECT_LT(Clock::now() - started, 2 * Link.replyLimit + 1s);
    }
    const auto started = Clock::now();
    SendIdleMessage();
    EXPECT_LT(Clock::now() - started, 2 * Link.idleReplyLimit + 1s);

    std::string stream;
    std::thread board([&] {
        for (const auto deadline = Clock::now() + 5s; !stream.ends_with("F\r") && Clock::now() < deadline;)
            stream += PeerReceives(20ms);
    });
    Link.replyLimit = 3s;
    EXPECT_EQ(ExchangeCommand("F").reply, "R:1");
    board.join();
    std::size_t whole = 0;
    for (std::size_t at = 0, end; (end = stream.find('\r', at)) != std::string::npos; at = end + 1, ++whole) {
        const std::string_view message = std::string_view(stream).substr(at, end - at);
        ASSERT_TRUE(message == command || message == "x" || message == "F")
            << "message " << whole << " of " << message.size() << " bytes";
    }
    EXPECT_TRUE(stream.ends_with("F\r"));
    EXPECT_GE(whole, 2u);
}

TEST_F(RawPeerTest, ABoardThatResetsTheConnectionIsALostLink)
{
    const linger abort{1, 0};
    setsockopt(peer_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    ClosePeer(std::exchange(peer_, NoPeer));
    EXPECT_EQ(ExchangeCommand("F").outcome, ExchangeOutcome::LinkLost);
    EXPECT_EQ(TakeLinkEvent(), LinkEvent::Lost);
}

TEST_F(RawPeerTest, ReceivedBytesAreDecodedAsWindows1252)
{
    PeerSends("\x80:\xE4\xFC");
    EXPECT_EQ(ExchangeCommand("E").reply, "€:äü");
}

TEST(CleanReply, RemovesOnlyBlanksCarriageReturnsAndLineFeeds)
{
    EXPECT_EQ(CleanReply("Q:05\r\n"), "Q:05");
    EXPECT_EQ(CleanReply("  \r\n \n\r "), "");
    EXPECT_EQ(CleanReply("a\tb\x01" "c"), "a\tb\x01" "c");
    EXPECT_EQ(CleanReply(std::string(500, ' ')), "");
}

class OpenConnectionTest : public ConnectionTest {};

TEST_F(OpenConnectionTest, ByDottedAddressByNameAndByTheLow16BitsOfThePort)
{
    sim_ = std::make_unique<netio::Simulator>(netio::SimOptions{.port = 0});
    ASSERT_TRUE(sim_->Start());
    for (const auto& [host, port] : {std::pair{"127.0.0.1", int(sim_->Port())}, std::pair{"localhost", int(sim_->Port())},
                                     std::pair{"127.0.0.1", int(sim_->Port()) + 65536}}) {
        auto connection = OpenBoardConnection(host, port);
        ASSERT_TRUE(connection.has_value()) << host << ":" << port;
        CloseSocket(*connection);
    }
    EXPECT_TRUE(sim_->WaitForClosed(3, 2s));
}

TEST_F(OpenConnectionTest, ARefusedPortGivesNoneAtOnce)
{
    sim_ = std::make_unique<netio::Simulator>(netio::SimOptions{.port = 0});
    ASSERT_TRUE(sim_->Start());
    const auto port = sim_->Port();
    sim_->Stop();
    const auto started = Clock::now();
    EXPECT_FALSE(OpenBoardConnection("127.0.0.1", port).has_value());
    // Winsock tells of a refused connect only among select's exceptions: missed, it waits 21 s.
    EXPECT_LT(Clock::now() - started, 3s);
    EXPECT_FALSE(OpenBoardConnection("", port).has_value());
}

TEST_F(OpenConnectionTest, AConnectThatHangsGivesUpAfterTheLimit)
{
    netio::HangingListener listener;
    ASSERT_TRUE(listener.Start());
    Link.connectLimit = 300ms;
    const auto started = Clock::now();
    EXPECT_FALSE(OpenBoardConnection("127.0.0.1", listener.Port()).has_value());
    const auto waited = Clock::now() - started;
    EXPECT_GE(waited, 250ms);
    EXPECT_LT(waited, 2s);
}

TEST_F(OpenConnectionTest, TheNetworkServiceStartsTwiceAndAgainAfterItsEnd)
{
    EXPECT_TRUE(InitNetworkService());
    EXPECT_TRUE(InitNetworkService());
    Connect();
    EXPECT_EQ(ExchangeCommand("F").reply, "F:020103");
    CloseBoardConnection();
    EndNetworkService();

    EXPECT_TRUE(InitNetworkService());
    Link.BoardConnection = OpenBoardConnection("127.0.0.1", sim_->Port());
    ASSERT_TRUE(Link.BoardConnection.has_value());
    EXPECT_EQ(ExchangeCommand("F").reply, "F:020103");
}

#ifndef _WIN32
// No packet and no name query can leave a network namespace of its own, while loopback works
// there: the process runs itself inside one (see main) to try both. The Windows build is
// This test program again, with the environment given, in namespaces of its own (unshare's
// options) with loopback up; what it printed, and its exit status.
std::string RunInNamespace(const std::string& environment, const std::string& namespaces, int& status)
{
    const std::string command = environment + " timeout 30 unshare " + namespaces + " sh -c 'ip link set lo up"
                                + " && exec /proc/" + std::to_string(getpid()) + "/exe' 2>&1";
    std::string output;
    FILE* child = popen(command.c_str(), "r");
    if (!child)
        return "cannot start: " + command;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, child))
        output += chunk;
    status = pclose(child);
    return output;
}

// checked the same way by its own script (wine_isolated_network.sh).
TEST(IsolatedNetwork, InsideANamespaceLoopbackWorksAndNothingOutsideIsReached)
{
    if (std::system("timeout 10 unshare --net true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "unshare --net is refused here; this check never runs outside a namespace";
    netio::Simulator outside(netio::SimOptions{.port = 0});
    ASSERT_TRUE(outside.Start());
    int status = 0;
    const std::string output = RunInNamespace("SKARVEL_ISOLATED_CHILD='no-such-board.invalid:64400 192.168.0.90:64400 127.0.0.1:"
                                                  + std::to_string(outside.Port()) + "'",
                                              "--net", status);
    EXPECT_NE(output.find("inside: reached"), std::string::npos) << output;
    EXPECT_NE(output.find("outside: nothing"), std::string::npos) << output;
    EXPECT_EQ(status, 0) << output;
}

// A name server that takes queries and never answers (in the namespace's own resolver settings):
// the lookup is given up at the connect limit, as a hanging connect is, not after the resolver's
// own half minute.
TEST(IsolatedNetwork, ALookupThatNeverEndsIsGivenUpAtTheConnectLimit)
{
    if (std::system("timeout 10 unshare --net --mount true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "unshare --net --mount is refused here; the name server's settings are the machine's otherwise";
    int status = 0;
    const std::string output = RunInNamespace("SKARVEL_SILENT_LOOKUP_CHILD=1", "--net --mount", status);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("given up"), std::string::npos) << output;
    EXPECT_NE(output.find("threads after"), std::string::npos) << output;
}

// Inside a namespace of its own: a silent name server, the resolver sent to it, and a lookup of
// a name no hosts file lists.
int RunSilentLookupChild()
{
    const int server = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string settings = testing::TempDir() + "silent-resolv.conf";
    std::FILE* file = std::fopen(settings.c_str(), "w");
    if (server < 0 || bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || !file)
        return 1;
    std::fputs("nameserver 127.0.0.1\noptions timeout:30 attempts:2\n", file);
    std::fclose(file);
    if (std::system(("mount --bind " + settings + " /etc/resolv.conf").c_str()) != 0)
        return 1;
    Link = BoardLink{};
    Link.connectLimit = 300ms;
    const auto started = Clock::now();
    const bool connected = OpenBoardConnection("netio-board.test", 64400).has_value();
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    std::printf("%s after %lld ms\n", connected ? "connected" : "given up", static_cast<long long>(waited.count()));
    // The link lost, a minute of tries: a lookup still hanging is not joined by another, so
    // that a name server that never answers holds two threads at most (the start's and one).
    Link.lost = true;
    for (auto at = SteadyTime{}; at < SteadyTime(60s); at += 100ms)
        StepReconnect(at);
    const auto threads = std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
    std::printf("%ld threads after a minute of tries\n", static_cast<long>(threads));
    // The lookups' threads are still waiting for the name server: the process ends them.
    std::fflush(stdout);
    std::_Exit(!connected && waited >= 250ms && waited < 2s && threads <= 3 ? 0 : 1);
}

// A board whose power is cut answers nothing, not even at the TCP level: inside a namespace of its
// own the board's packets are dropped (nftables), while the program sends its idle message each
// second. The system gives the connection up, and the link is lost, within 20 s.
TEST(IsolatedNetwork, ABoardSwitchedOffIsLostWithinTwentySeconds)
{
    if (std::system("timeout 10 unshare --net true >/dev/null 2>&1") != 0 || std::system("command -v nft >/dev/null") != 0)
        GTEST_SKIP() << "unshare --net is refused here, or nft (nftables) is missing";
    int status = 0;
    const std::string output = RunInNamespace("SKARVEL_SWITCHED_OFF_CHILD=1", "--net", status);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("lost after"), std::string::npos) << output;
    std::printf("%s", output.c_str());
}

// Inside a namespace of its own: a board that answers, then its packets dropped both ways.
int RunSwitchedOffChild()
{
    InitNetworkService();
    Link = BoardLink{};
    netio::Simulator board(netio::SimOptions{.port = 0});
    if (!board.Start() || !(Link.BoardConnection = OpenBoardConnection("127.0.0.1", board.Port())))
        return 1;
    if (ExchangeCommand("F").reply != "F:020103")
        return 1;
    const std::string port = std::to_string(board.Port());
    const std::string cut = "nft add table ip cut && nft add chain ip cut input '{ type filter hook input priority 0; }'"
                            " && nft add rule ip cut input tcp sport " + port + " drop"
                            " && nft add rule ip cut input tcp dport " + port + " drop";
    if (std::system(cut.c_str()) != 0)
        return 1;
    const auto cutAt = Clock::now();
    while (TakeLinkEvent() != LinkEvent::Lost && Clock::now() - cutAt < 40s) {
        SendIdleMessage();
        std::this_thread::sleep_for(1s);
    }
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - cutAt);
    std::printf("%s after %lld ms\n", LinkIsUp() ? "still up" : "lost", static_cast<long long>(waited.count()));
    std::fflush(stdout);
    return !LinkIsUp() && waited <= 20s ? 0 : 1;
}
#endif

// Inside a namespace only, started with the blank-separated HOST:PORT targets that must all fail
// there (an unknown name, the preset private address, a port that listens outside), after a
// simulator started inside has been reached: a namespace where nothing works would pass
// otherwise. Prints what it reached.
int RunIsolatedChild(std::string_view targets)
{
    InitNetworkService();
    Link = BoardLink{};
    Link.connectLimit = 2s;
    netio::Simulator inside(netio::SimOptions{.port = 0});
    bool insideReached = false;
    if (inside.Start())
        if (const auto connection = OpenBoardConnection("127.0.0.1", inside.Port())) {
            insideReached = true;
            CloseSocket(*connection);
        }
    std::printf("inside: %s\n", insideReached ? "reached" : "not reached");
    std::string reached;
    while (!targets.empty()) {
        const std::string_view target = targets.substr(0, targets.find(' '));
        targets.remove_prefix(std::min(targets.size(), target.size() + 1));
        const std::string_view host = target.substr(0, target.rfind(':'));
        const int port = std::atoi(std::string(target.substr(host.size() + 1)).c_str());
        if (const auto connection = OpenBoardConnection(host, port)) {
            reached += " " + std::string(target);
            CloseSocket(*connection);
        }
    }
    std::printf("outside:%s\n", reached.empty() ? " nothing" : reached.c_str());
    return insideReached && reached.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (const char* targets = std::getenv("SKARVEL_ISOLATED_CHILD"))
        return RunIsolatedChild(targets);
#ifndef _WIN32
    if (std::getenv("SKARVEL_SILENT_LOOKUP_CHILD"))
        return RunSilentLookupChild();
    if (std::getenv("SKARVEL_SWITCHED_OFF_CHILD"))
        return RunSwitchedOffChild();
#endif
    testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
    // Winsock needs starting before any socket. Elsewhere the tests leave SIGPIPE as it is, so
    // that a send that could raise it shows.
    InitNetworkService();
#endif
    return RUN_ALL_TESTS();
}
