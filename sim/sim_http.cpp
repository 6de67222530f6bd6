// The web interface over cpp-httplib, which parses the requests and answers malformed ones
// (bad request lines, over-long addresses, unknown methods) with a 4xx of its own. The board is
// only touched under the simulator's lock, briefly, so the command port's thread never waits long.
#include "sim_http.h"

#include "sim_board.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace netio {
namespace {

using namespace std::chrono_literals;

constexpr const char* ListenAddress = "127.0.0.1";
constexpr std::string_view PagePath = "/";
constexpr const char* TogglePattern = R"(/toggle/(\d{1,2}))";  // the id in decimal, as T takes it
constexpr std::size_t MaxBodySize = 4096;                      // the page's forms send none
constexpr std::chrono::seconds IoLimit = 5s;                   // a slower client is dropped; Stop waits for it no longer
constexpr std::chrono::seconds KeepAliveLimit = 1s;            // an idle connection is closed after this
constexpr std::chrono::milliseconds StopRetry = 5ms;
constexpr int RefreshSeconds = 5;                              // the inputs change by themselves

// What the page shows, copied under the board's lock so the page is rendered without it.
struct EntryView {
    std::size_t id;
    sim::Entry entry;
    bool on;
};

struct Overview {
    std::vector<std::string> pageNames;
    std::vector<EntryView> entries;
    std::chrono::system_clock::time_point at;
};

Overview TakeView(Simulator& simulator)
{
    Overview view;
    simulator.WithBoard([&view](sim::Board& board) {
        view.at = std::chrono::system_clock::now();
        view.pageNames = board.PageNames();
        for (std::size_t id = 0; id < board.Entries().size(); ++id)
            view.entries.push_back({id, board.Entries()[id], board.IsOn(id, view.at)});
    });
    return view;
}

std::string Escape(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        // The board's names are Windows-1252, the page UTF-8: a letter beyond ASCII goes as a
        // character reference (Latin-1 and Windows-1252 agree from 0xA0 on).
        default:
            if (static_cast<unsigned char>(c) >= 0xA0)
                out += "&#" + std::to_string(static_cast<unsigned char>(c)) + ";";
            else
                out += c;
        }
    }
    return out;
}

std::string Digits(std::size_t value, int base)   // at least two
{
    static constexpr char symbols[] = "0123456789ABCDEF";
    std::string text;
    for (; value > 0 || text.size() < 2; value /= static_cast<std::size_t>(base))
        text.insert(text.begin(), symbols[value % static_cast<std::size_t>(base)]);
    return text;
}

constexpr std::string_view PageStyle = R"(<style>
body { font-family: sans-serif; margin: 1em 2em; }
table { border-collapse: collapse; }
th, td { border: 1px solid #999; padding: 0.2em 0.6em; text-align: left; }
td.ein { color: #080; font-weight: bold; }
form { margin: 0; }
</style>
)";

std::string PageStart(std::string_view title, int refreshSeconds)
{
    std::string start = "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n";
    if (refreshSeconds > 0)
        start += "<meta http-equiv=\"refresh\" content=\"" + std::to_string(refreshSeconds) + "\">\n";
    return start + "<title>" + std::string(title) + "</title>\n" + std::string(PageStyle) + "</head>\n<body>\n";
}

constexpr std::string_view PageEnd = "</body>\n</html>\n";

// One row a line, each entry under its page, ids as N gives them (hex) and T takes them (decimal).
std::string RenderPage(const Overview& view)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(view.at);
    std::tm local{};
    localtime_r(&seconds, &local);
    std::string page = PageStart("Varnex-NET-IO", RefreshSeconds) + "<h1>Varnex-NET-IO</h1>\n";
    page += "<p>Firmware-Version: <span id=\"firmware\">" + std::string(sim::FirmwareVersion) + "</span><br>\n";
    page += "Uhrzeit: <span id=\"uhrzeit\">" + Digits(static_cast<std::size_t>(local.tm_hour), 10) + ":"
            + Digits(static_cast<std::size_t>(local.tm_min), 10) + ":"
            + Digits(static_cast<std::size_t>(local.tm_sec), 10) + "</span></p>\n";
    for (std::size_t number = 0; number < view.pageNames.size(); ++number) {
        page += "<h2 id=\"seite-" + std::to_string(number) + "\">" + Escape(view.pageNames[number]) + "</h2>\n";
        std::string rows;
        for (const EntryView& item : view.entries) {
            if (item.entry.page != static_cast<int>(number))
                continue;
            const bool output = item.entry.kind == 'O';
            const std::string state = item.on ? "ein" : "aus";
            const std::string hexId = Digits(item.id, 16);
            rows += "<tr id=\"eintrag-" + hexId + "\"><td>" + hexId + "</td><td>" + std::to_string(item.entry.place)
                    + "</td><td>" + Escape(item.entry.name) + "</td><td>" + (output ? "Ausgang" : "Eingang")
                    + "</td><td class=\"" + state + "\">" + state + "</td><td>";
            if (output)
                rows += "<form method=\"post\" action=\"/toggle/" + std::to_string(item.id)
                        + "\"><button type=\"submit\">Umschalten</button></form>";
            rows += "</td></tr>\n";
        }
        if (rows.empty())
            page += "<p>Keine Einträge</p>\n";
        else
            page += "<table>\n<tr><th>Nr.</th><th>Platz</th><th>Name</th><th>Art</th><th>Zustand</th><th></th></tr>\n"
                    + rows + "</table>\n";
    }
    return page + std::string(PageEnd);
}

std::string ErrorPage(int status)
{
    const std::string title = "Fehler " + std::to_string(status);
    return PageStart(title, 0) + "<h1>" + title + "</h1>\n<p><a href=\"/\">Zur Übersicht</a></p>\n"
           + std::string(PageEnd);
}

}  // namespace

struct WebServer::Impl {
    explicit Impl(Simulator& s) : simulator(s) {}

    Simulator& simulator;
    httplib::Server server;
    std::thread thread;
    std::atomic<bool> finished{false};
    std::uint16_t port = 0;
};

WebServer::WebServer(Simulator& board) : impl_(std::make_unique<Impl>(board))
{
    httplib::Server& server = impl_->server;
    Simulator& simulator = impl_->simulator;
    server.set_read_timeout(IoLimit);
    server.set_write_timeout(IoLimit);
    server.set_keep_alive_timeout(KeepAliveLimit.count());
    server.set_payload_max_length(MaxBodySize);

    server.Get(std::string(PagePath), [&simulator](const httplib::Request&, httplib::Response& response) {
        response.set_content(RenderPage(TakeView(simulator)), "text/html; charset=utf-8");
    });
    server.Post(TogglePattern, [&simulator](const httplib::Request& request, httplib::Response& response) {
        const std::size_t id = std::stoul(request.matches[1].str());
        bool switched = false;
        simulator.WithBoard([&](sim::Board& board) { switched = board.Toggle(id); });
        if (!switched) {
            response.status = 404;   // no output of that number
            return;
        }
        response.status = 303;       // back to the page, so that reloading it switches nothing
        response.set_header("Location", std::string(PagePath));
    });
    // A known address asked with the wrong method gets 405 rather than the library's 404.
    server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
        static const std::regex toggle(TogglePattern);
        const std::string_view method = request.method;
        if (request.path == PagePath && method != "GET" && method != "HEAD")
            response.set_header("Allow", "GET, HEAD");
        else if (method != "POST" && std::regex_match(request.path, toggle))
            response.set_header("Allow", "POST");
        else
            return httplib::Server::HandlerResponse::Unhandled;
        response.status = 405;
        return httplib::Server::HandlerResponse::Handled;
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        response.set_content(ErrorPage(response.status), "text/html; charset=utf-8");
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        response.status = 500;
        response.set_content(ErrorPage(response.status), "text/html; charset=utf-8");
    });
}

WebServer::~WebServer()
{
    Stop();
}

bool WebServer::Start(std::uint16_t port)
{
    Impl& s = *impl_;
    if (s.thread.joinable())
        return false;
    if (port == 0) {
        const int bound = s.server.bind_to_any_port(ListenAddress);
        if (bound <= 0)
            return false;
        s.port = static_cast<std::uint16_t>(bound);
    } else {
        if (!s.server.bind_to_port(ListenAddress, port))
            return false;
        s.port = port;
    }
    // Bound and listening: connections wait in the backlog until the thread accepts them.
    s.thread = std::thread([&s] {
        s.server.listen_after_bind();
        s.finished = true;
    });
    return true;
}

void WebServer::Stop()
{
    Impl& s = *impl_;
    if (!s.thread.joinable())
        return;
    // stop() reaches only a server whose thread has begun to listen, so it is said until it took.
    while (!s.finished) {
        s.server.stop();
        std::this_thread::sleep_for(StopRetry);
    }
    s.thread.join();
}

std::uint16_t WebServer::Port() const
{
    return impl_->port;
}

}  // namespace netio
