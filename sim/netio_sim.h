// A simulated NET-IO board on 127.0.0.1 for tests and manual trials, with switchable faults
// (slow, split, missing, dropped or over-long replies) and, on request, a record of everything it
// received. Its memory stays bounded however long it runs and whatever its clients send.
// In Windows builds of the tests the board is the Linux netio-sim, run with --control beside the
// test program; the same classes then drive it over its control service (netio_sim_remote.cpp).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace netio {

namespace sim {
class Board;
}

struct SimOptions {
    std::uint16_t port = 64400;                          // 0: any free port
    std::string password;                                // empty: no password check
    std::chrono::milliseconds replyDelay{0};
    std::optional<std::chrono::milliseconds> splitPause; // set: each reply in two segments
    bool neverReply = false;
    int dropAfter = 0;                                   // 0: never
    std::string dropAt;                                  // set: a connection that sends this command
                                                         // is closed at once, unanswered
    bool longReplies = false;
    std::chrono::milliseconds lateIdle{0};
    std::string recordFile;                              // empty: no file
    bool keepHistory = false;                            // keep what Received() and Commands() give
};

struct ReceivedChunk {
    std::chrono::steady_clock::time_point at;
    std::string bytes;
};

struct ReceivedCommand {
    std::chrono::steady_clock::time_point at;
    std::string text;   // without the 13
};

// The data of every reply is padded to this length under longReplies, with a filler that survives
// a client's blank removal, so the cut-off rest is plain to see.
inline constexpr std::size_t LongReplyDataSize = 600;
inline constexpr char LongReplyFiller = '-';
// What follows the echo and ":" in the reply to anything the board does not understand.
inline constexpr std::string_view ErrorData = "ERR";
// A command longer than this keeps only its start; the rest up to its 13 is dropped.
inline constexpr std::size_t MaxCommandSize = 4096;
// A connection is not read while more than this many bytes of its replies wait to be sent.
inline constexpr std::size_t MaxUnsentReplyBytes = 64 * 1024;

class Simulator {
public:
    explicit Simulator(SimOptions options = {});
    ~Simulator();   // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool Start();   // binds 127.0.0.1, serves on a background thread
    void Stop();
    std::uint16_t Port() const;

    // What was received, kept only under keepHistory (empty otherwise).
    std::vector<ReceivedChunk> Received() const;     // raw chunks, in order
    std::vector<ReceivedCommand> Commands() const;   // complete commands, in order
    std::size_t CountCommands(std::string_view text) const;
    int Connections() const;         // accepted so far
    int ClosedConnections() const;   // closed by the client or dropped

    // The board goes away: every connection is dropped and, until it comes back, a connect to its
    // port is refused, or (Hanging) neither taken nor refused. Both return once done.
    enum class Away { Refusing, Hanging };
    void GoAway(Away how = Away::Refusing);
    void ComeBack();

    // Runs `use` on the board every connection shares, under the lock its commands take, so that
    // another thread (the web page) sees and switches the same states.
    void WithBoard(const std::function<void(sim::Board&)>& use);

    // Bounded waits for tests: true when reached in time.
    bool WaitForCommands(std::size_t count, std::chrono::milliseconds limit) const;
    bool WaitForClosed(int count, std::chrono::milliseconds limit) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A loopback listener that never accepts and whose backlog is already full, so a further connect
// hangs until the client's own time-out (Linux drops the SYN instead of refusing it).
class HangingListener {
public:
    HangingListener();
    ~HangingListener();
    HangingListener(const HangingListener&) = delete;
    HangingListener& operator=(const HangingListener&) = delete;

    bool Start(std::uint16_t port = 0);   // 0: any free port
    std::uint16_t Port() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Record-file form of raw bytes: printable ASCII except blank and backslash as is, the rest as \xHH.
std::string EscapeBytes(std::string_view bytes);

}  // namespace netio
