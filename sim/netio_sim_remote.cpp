// The simulated board for test programs built for Windows, which cannot run the Linux simulator
// in their own process. Each Simulator and HangingListener here holds a control connection to
// `netio-sim --control`, which cmake/wine-run.sh starts beside the test program and whose port it
// passes in NETIO_SIM_CONTROL, and asks it for everything (the requests: netio-sim --help).
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>

#include "netio_sim.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace netio {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long an answer may take beyond the wait it asks for: the service runs on the same machine.
constexpr std::chrono::milliseconds AnswerLimit = 10s;

class ControlLink {
public:
    ControlLink()
    {
        // A Winsock reference of its own, so that tests may end theirs while a board runs.
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~ControlLink()
    {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        if (started_)
            WSACleanup();
    }
    ControlLink(const ControlLink&) = delete;
    ControlLink& operator=(const ControlLink&) = delete;

    // What follows "ok" in the answer; none when the service cannot be reached or refuses.
    std::optional<std::string> Ask(const std::string& request, std::chrono::milliseconds wait = 0ms)
    {
        const std::string line = request + "\n";
        if ((socket_ == INVALID_SOCKET && !Open())
            || send(socket_, line.data(), static_cast<int>(line.size()), 0) != static_cast<int>(line.size()))
            return Failed(request, "no control connection");
        const auto deadline = Clock::now() + wait + AnswerLimit;
        std::size_t end = 0;
        while ((end = pending_.find('\n')) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket_, &readable);
            timeval limit{static_cast<long>(left.count() / 1000000), static_cast<long>(left.count() % 1000000)};
            char chunk[4096];
            const int size = left.count() > 0 && select(0, &readable, nullptr, nullptr, &limit) > 0
                                 ? recv(socket_, chunk, sizeof chunk, 0)
                                 : 0;
            if (size <= 0)
                return Failed(request, "no answer");
            pending_.append(chunk, static_cast<std::size_t>(size));
        }
        const std::string answer = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (answer == "ok" || answer.starts_with("ok "))
            return answer.substr(std::min<std::size_t>(answer.size(), 3));
        return Failed(request, answer);
    }

private:
    bool Open()
    {
        const char* port = std::getenv("NETIO_SIM_CONTROL");
        if (port == nullptr) {
            std::fprintf(stderr, "NETIO_SIM_CONTROL is not set: run this program through ctest, whose "
                                 "cmake/wine-run.sh starts netio-sim --control beside it\n");
            return false;
        }
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<u_short>(std::atoi(port)));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return socket_ != INVALID_SOCKET
               && connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }

    static std::optional<std::string> Failed(const std::string& request, const std::string& why)
    {
        std::fprintf(stderr, "netio-sim --control, \"%s\": %s\n", request.c_str(), why.c_str());
        return std::nullopt;
    }

    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    std::string pending_;
};

// The reverse of EscapeBytes.
std::string UnescapeBytes(std::string_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            bytes += static_cast<char>(std::stoi(std::string(text.substr(i + 2, 2)), nullptr, 16));
            i += 3;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

// The " AGE:TEXT" items of a received or commands answer, each with the time it came.
template <typename Item>
std::vector<Item> Items(const std::optional<std::string>& answer)
{
    std::vector<Item> items;
    const auto now = Clock::now();
    const std::string text = answer.value_or("");
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        const std::string_view item = std::string_view(text).substr(start, end - start);
        const std::size_t colon = item.find(':');
        if (colon != std::string_view::npos)
            items.push_back({now - std::chrono::milliseconds(std::stoll(std::string(item.substr(0, colon)))),
                             UnescapeBytes(item.substr(colon + 1))});
        start = end + 1;
    }
    return items;
}

std::string Ms(std::chrono::milliseconds ms)
{
    return std::to_string(ms.count());
}

}  // namespace

struct Simulator::Impl {
    SimOptions options;
    ControlLink link;
    std::uint16_t port = 0;
};

Simulator::Simulator(SimOptions options) : impl_(std::make_unique<Impl>())
{
    impl_->options = std::move(options);
}

Simulator::~Simulator() = default;   // closing the control connection ends the board

bool Simulator::Start()
{
    const SimOptions& o = impl_->options;
    if (o.port != 0 || !o.recordFile.empty()) {
        std::fprintf(stderr, "a fixed port or a record file cannot be had over netio-sim --control\n");
        return false;
    }
    std::string request = "start";
    if (o.replyDelay > 0ms)
        request += " --delay " + Ms(o.replyDelay);
    if (o.splitPause)
        request += " --split " + Ms(*o.splitPause);
    if (o.neverReply)
        request += " --silent";
    if (o.dropAfter > 0)
        request += " --drop-after " + std::to_string(o.dropAfter);
    if (!o.dropAt.empty())
        request += " --drop-at " + o.dropAt;
    if (o.longReplies)
        request += " --long-replies";
    if (o.lateIdle > 0ms)
        request += " --late-idle " + Ms(o.lateIdle);
    if (!o.password.empty())
        request += " --password " + o.password;
    const std::optional<std::string> port = impl_->link.Ask(request);
    impl_->port = port ? static_cast<std::uint16_t>(std::stoi(*port)) : 0;
    return port.has_value();
}

void Simulator::Stop()
{
    if (impl_->port != 0)
        impl_->link.Ask("stop");
}

std::uint16_t Simulator::Port() const
{
    return impl_->port;
}

void Simulator::GoAway(Away how)
{
    impl_->link.Ask(how == Away::Hanging ? "away hang" : "away refuse");
}

void Simulator::ComeBack()
{
    impl_->link.Ask("back");
}

std::vector<ReceivedChunk> Simulator::Received() const
{
    return Items<ReceivedChunk>(impl_->link.Ask("received"));
}

std::vector<ReceivedCommand> Simulator::Commands() const
{
    return Items<ReceivedCommand>(impl_->link.Ask("commands"));
}

std::size_t Simulator::CountCommands(std::string_view text) const
{
    const std::vector<ReceivedCommand> commands = Commands();
    return static_cast<std::size_t>(std::count_if(commands.begin(), commands.end(),
                                                  [&](const ReceivedCommand& command) { return command.text == text; }));
}

int Simulator::Connections() const
{
    const std::string counts = impl_->link.Ask("counts").value_or("0 0");
    return std::stoi(counts.substr(0, counts.find(' ')));
}

int Simulator::ClosedConnections() const
{
    const std::string counts = impl_->link.Ask("counts").value_or("0 0");
    return std::stoi(counts.substr(counts.find(' ') + 1));
}

bool Simulator::WaitForCommands(std::size_t count, std::chrono::milliseconds limit) const
{
    return impl_->link.Ask("wait-commands " + std::to_string(count) + " " + Ms(limit), limit) == "1";
}

bool Simulator::WaitForClosed(int count, std::chrono::milliseconds limit) const
{
    return impl_->link.Ask("wait-closed " + std::to_string(count) + " " + Ms(limit), limit) == "1";
}

struct HangingListener::Impl {
    ControlLink link;
    std::uint16_t port = 0;
};

HangingListener::HangingListener() : impl_(std::make_unique<Impl>()) {}

HangingListener::~HangingListener() = default;

bool HangingListener::Start(std::uint16_t)
{
    const std::optional<std::string> port = impl_->link.Ask("hang");
    impl_->port = port ? static_cast<std::uint16_t>(std::stoi(*port)) : 0;
    return port.has_value();
}

std::uint16_t HangingListener::Port() const
{
    return impl_->port;
}

}  // namespace netio
