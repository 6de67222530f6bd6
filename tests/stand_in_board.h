// A board of the tests' own, written from what real boards do rather than from the simulator's
// reading of the protocol, so that the code under test and its oracle do not share one reading:
// a password that must come first on every connection, replies held back by a chosen amount
// (later than the program waits, if so chosen), a board without entries, a restart that drops
// every connection. Three entries on two pages; P answers a fixed block of eight values, as the
// reference's example does. Loopback only, one thread, POSIX.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class StandInBoard {
public:
    using Clock = std::chrono::steady_clock;

    struct Message {
        int connection;   // 1 for the first connection made, and on
        std::string text;
        Clock::time_point at;
    };

    StandInBoard() = default;
    ~StandInBoard() { Stop(); }
    StandInBoard(const StandInBoard&) = delete;
    StandInBoard& operator=(const StandInBoard&) = delete;

    // Every setting may change while the board runs; it holds from the next message on.
    void SetPassword(std::string password) { With([&] { password_ = std::move(password); }); }
    void SetNoEntries(bool none) { With([&] { noEntries_ = none; }); }
    // A board that drops the connection after a wrong password.
    void SetCloseOnWrongPassword(bool close) { With([&] { closeOnWrong_ = close; }); }
    // How long the reply to a message is held back; by default none.
    void SetDelay(std::function<std::chrono::milliseconds(const std::string&)> delay) { With([&] { delay_ = std::move(delay); }); }

    bool Start()
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return false;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
        return true;
    }

    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        for (auto& [fd, connection] : connections_)
            close(fd);
        connections_.clear();
        if (listener_ >= 0)
            close(listener_);
        listener_ = -1;
    }

    int Port() const { return port_; }

    // The board restarts: every connection is dropped; new ones must give the password again.
    void Restart() { With([&] { restart_ = true; }); }

    std::vector<Message> Messages() const
    {
        const std::lock_guard lock(mutex_);
        return messages_;
    }
    std::size_t Count(const std::function<bool(const Message&)>& which) const
    {
        std::size_t count = 0;
        for (const Message& message : Messages())
            count += which(message) ? 1 : 0;
        return count;
    }
    int Connections() const
    {
        const std::lock_guard lock(mutex_);
        return connectionsMade_;
    }

private:
    struct Reply {
        Clock::time_point due;
        std::string bytes;
    };
    struct Connection {
        int number = 0;
        bool loggedIn = false;
        std::string in;
        std::vector<Reply> replies;   // in the order they were asked for
        bool closeAfterReplies = false;
    };

    template <typename Change>
    void With(Change change)
    {
        const std::lock_guard lock(mutex_);
        change();
    }

    // What a real board answers; nothing for a message it drops.
    std::string Answer(Connection& connection, const std::string& text)
    {
        if (!connection.loggedIn && !password_.empty()) {
            connection.loggedIn = text == password_;
            connection.closeAfterReplies = !connection.loggedIn && closeOnWrong_;
            return connection.loggedIn ? "K:1" : "K:0";
        }
        if (text.starts_with('K'))
            return {};
        if (text == "Q")
            return noEntries_ ? "Q:00" : "Q:03";
        static const std::map<std::string, std::string> fixed = {
            {"N00", "I10Taster"}, {"N01", "O11Pumpe"}, {"N02", "O20Tor"}, {"S1", "Garten"}, {"S2", "Hof"},
            {"F", "020103"}, {"C", "0C0000"}};
        if (!noEntries_ && fixed.contains(text))
            return text + ":" + fixed.at(text);
        if (text == "P1" && !noEntries_)
            return "P1:" + Value(false) + Value(pump_) + "000100000001000000000000";
        if (text == "P2" && !noEntries_)
            return "P2:" + Value(gate_) + "0000000000000000000000000000";
        if ((text == "T01" || text == "T02") && !noEntries_) {
            bool& state = text == "T01" ? pump_ : gate_;
            state = !state;
            return text + ":" + (state ? "1" : "0");
        }
        return text + ":ERR";
    }

    static std::string Value(bool on) { return on ? "0001" : "0000"; }

    void Receive(int fd, Connection& connection)
    {
        char chunk[512];
        const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0) {
            connection.closeAfterReplies = true;
            connection.replies.clear();
            return;
        }
        connection.in.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t end; (end = connection.in.find('\r')) != std::string::npos;) {
            const std::string text = connection.in.substr(0, end);
            connection.in.erase(0, end + 1);
            const std::lock_guard lock(mutex_);
            messages_.push_back({connection.number, text, Clock::now()});
            const std::string answer = Answer(connection, text);
            if (answer.empty())
                continue;
            const Clock::time_point earliest = connection.replies.empty() ? Clock::now() : connection.replies.back().due;
            connection.replies.push_back({std::max(earliest, Clock::now() + (delay_ ? delay_(text) : std::chrono::milliseconds(0))),
                                          answer + "\r\n"});
        }
    }

    void Serve()
    {
        while (!stop_) {
            {
                const std::lock_guard lock(mutex_);
                if (restart_) {
                    for (auto& [fd, connection] : connections_)
                        close(fd);
                    connections_.clear();
                    restart_ = false;
                }
            }
            std::vector<pollfd> watched{{listener_, POLLIN, 0}};
            for (auto& [fd, connection] : connections_)
                watched.push_back({fd, POLLIN, 0});
            poll(watched.data(), watched.size(), 5);
            if (watched[0].revents & POLLIN) {
                const int fd = accept(listener_, nullptr, nullptr);
                if (fd >= 0) {
                    const std::lock_guard lock(mutex_);
                    connections_[fd].number = ++connectionsMade_;
                }
            }
            for (std::size_t i = 1; i < watched.size(); ++i)
                if (watched[i].revents & (POLLIN | POLLHUP | POLLERR))
                    Receive(watched[i].fd, connections_[watched[i].fd]);
            const Clock::time_point now = Clock::now();
            for (auto it = connections_.begin(); it != connections_.end();) {
                Connection& connection = it->second;
                while (!connection.replies.empty() && connection.replies.front().due <= now) {
                    send(it->first, connection.replies.front().bytes.data(), connection.replies.front().bytes.size(), MSG_NOSIGNAL);
                    connection.replies.erase(connection.replies.begin());
                }
                if (connection.closeAfterReplies && connection.replies.empty()) {
                    close(it->first);
                    it = connections_.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }

    mutable std::mutex mutex_;
    std::string password_;
    bool noEntries_ = false;
    bool closeOnWrong_ = false;
    bool restart_ = false;
    bool pump_ = false, gate_ = false;
    std::function<std::chrono::milliseconds(const std::string&)> delay_;
    std::vector<Message> messages_;
    int connectionsMade_ = 0;

    std::atomic<bool> stop_ = false;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::map<int, Connection> connections_;   // by descriptor; the serving thread's own
};
