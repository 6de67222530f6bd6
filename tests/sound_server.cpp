// Runs a throw-away PulseAudio server in a temporary folder (its socket, config and FIFO all
// there, so neither HOME nor a desktop's own server is touched) and records its pipe sink.
#include "sound_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// Finds a program on PATH.
std::string findOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/" + name;
        if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Ends a child by its pid: asks, then insists; waits a bounded time either way.
void end(pid_t& pid)
{
    if (pid <= 0) return;
    for (const int signal : {SIGTERM, SIGKILL}) {
        ::kill(pid, signal);
        for (int tries = 0; tries < 300; ++tries) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) != 0) {
                pid = -1;
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
    }
    pid = -1;
}

// Starts a program that ends with this process even if the test dies without cleaning up.
pid_t spawn(std::vector<std::string> args, std::vector<std::string> env, const char* input)
{
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    for (std::string& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child != 0) return child;
    // Only async-signal-safe calls from here on.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    if (input != nullptr) {
        const int fd = ::open(input, O_RDONLY);
        if (fd < 0 || ::dup2(fd, 0) < 0) ::_exit(127);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
}

// True once a server listens on the socket (the file alone appears a moment before).
bool answers(const std::filesystem::path& socketPath)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socketPath.string();
    if (path.size() >= sizeof address.sun_path) return false;
    path.copy(address.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

std::vector<std::string> currentEnvironment()
{
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) env.emplace_back(*entry);
    return env;
}

}  // namespace

std::string SoundServer::Missing()
{
    std::string missing;
    for (const char* program : {"pulseaudio", "pacat"})
        if (findOnPath(program).empty()) missing += std::string(missing.empty() ? "" : ", ") + program;
    return missing;
}

SoundServer::~SoundServer()
{
    Stop();
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

bool SoundServer::Start(std::string& whyNot, std::chrono::milliseconds limit)
{
    if (const std::string missing = Missing(); !missing.empty()) {
        whyNot = "not installed: " + missing;
        return false;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "skarvel-pulse-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        whyNot = "cannot make a temporary folder";
        return false;
    }
    folder_ = pattern;
    const std::filesystem::path fifo = folder_ / "played.fifo";
    const std::filesystem::path socket = folder_ / "native";
    if (::mkfifo(fifo.c_str(), 0600) != 0) {
        whyNot = "cannot make the FIFO";
        return false;
    }
    // Opened for writing as well, so reads never see end-of-file and opening does not wait
    // for the server.
    fifo_ = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fifo_ < 0) {
        whyNot = "cannot open the FIFO";
        return false;
    }
    // The sink first: once the socket answers the server is fully set up. Anonymous clients, so
    // no cookie is needed; no idle suspend unless asked, so silence keeps flowing and indexes
    // stay times.
    std::ofstream(folder_ / "server.pa")
        << "load-module module-pipe-sink file=" << fifo.string()
        << " format=s16le rate=" << SampleRate << " channels=1 sink_name=recorder"
        << " use_system_clock_for_timing=yes\n"
        << "set-default-sink recorder\n"
        << (suspends_ ? "load-module module-suspend-on-idle timeout=1\n" : "")
        << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << socket.string() << "\n";
    std::ofstream(folder_ / "client.conf") << "autospawn = no\n";
    recorder_ = std::thread([this] { record(); });
    return launch(whyNot, limit);
}

bool SoundServer::launch(std::string& whyNot, std::chrono::milliseconds limit)
{
    const std::string program = findOnPath("pulseaudio");
    const std::filesystem::path socket = folder_ / "native";
    const std::filesystem::path log = folder_ / "server.log";
    std::vector<std::string> args = {program, "--daemonize=no", "--system=false", "--exit-idle-time=-1",
                                     "-n", "-F" + (folder_ / "server.pa").string(), "--use-pid-file=no",
                                     "--disallow-exit", "--log-target=file:" + log.string()};
    std::vector<std::string> env;
    for (const std::string& entry : currentEnvironment()) {
        if (entry.starts_with("HOME=") || entry.starts_with("XDG_") || entry.starts_with("PULSE_")) continue;
        env.push_back(entry);
    }
    env.push_back("HOME=" + folder_.string());
    env.push_back("XDG_RUNTIME_DIR=" + folder_.string());
    env.push_back("XDG_CONFIG_HOME=" + (folder_ / "config").string());
    env.push_back("PULSE_RUNTIME_PATH=" + folder_.string());
    env.push_back("PULSE_STATE_PATH=" + (folder_ / "state").string());
    env.push_back("PULSE_CLIENTCONFIG=" + (folder_ / "client.conf").string());
    serverPid_ = spawn(args, env, nullptr);
    if (serverPid_ < 0) {
        whyNot = "cannot start " + program;
        return false;
    }

    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!answers(socket)) {
        int status = 0;
        if (::waitpid(serverPid_, &status, WNOHANG) == serverPid_) {
            serverPid_ = -1;
            whyNot = "pulseaudio ended at start:\n" + readFile(log);
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            whyNot = "pulseaudio did not answer on its socket in time:\n" + readFile(log);
            Stop();
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return !paced_ || startPacer(whyNot);
}

bool SoundServer::startPacer(std::string& whyNot)
{
    const std::string pacat = findOnPath("pacat");
    std::vector<std::string> args = {pacat, "--playback", "--raw", "--format=s16le", "--channels=1",
                                     "--rate=" + std::to_string(SampleRate), "--latency-msec=5",
                                     "--client-name=pacer", "--server=" + Address()};
    pacerPid_ = spawn(args, currentEnvironment(), "/dev/zero");
    if (pacerPid_ < 0) {
        whyNot = "cannot start " + pacat;
        Stop();
        return false;
    }
    return true;
}

std::string SoundServer::Address() const { return "unix:" + (folder_ / "native").string(); }

void SoundServer::record()
{
    std::vector<std::uint8_t> chunk(8192);
    while (!stopRecording_) {
        pollfd ready{fifo_, POLLIN, 0};
        if (::poll(&ready, 1, 20) <= 0) continue;
        const ssize_t got = ::read(fifo_, chunk.data(), chunk.size());
        if (got <= 0) continue;
        const auto at = std::chrono::steady_clock::now();
        std::lock_guard<std::mutex> hold(lock_);
        marks_.push_back({at, recorded_.size() / 2});
        recorded_.insert(recorded_.end(), chunk.begin(), chunk.begin() + got);
    }
}

std::vector<std::int16_t> SoundServer::Recording() const
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::int16_t> samples(recorded_.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(recorded_[2 * i] | recorded_[2 * i + 1] << 8);
    return samples;
}

std::size_t SoundServer::RecordedSamples() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return recorded_.size() / 2;
}

std::vector<SoundServer::ReadMark> SoundServer::ReadMarks() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return marks_;
}

void SoundServer::EndServer()
{
    end(pacerPid_);
    end(serverPid_);
}

bool SoundServer::StartAgain(std::string& whyNot, std::chrono::milliseconds limit)
{
    EndServer();
    return launch(whyNot, limit);
}

void SoundServer::Stop()
{
    EndServer();
    if (recorder_.joinable()) {
        stopRecording_ = true;
        recorder_.join();
    }
    if (fifo_ >= 0) ::close(fifo_);
    fifo_ = -1;
}

namespace {

// What pactl prints for the server, or empty text when it does not answer.
std::string AskPactl(const std::string& server, const std::string& what)
{
    const std::string command = "LC_ALL=C timeout 5 pactl --server=" + server + " " + what + " 2>/dev/null";
    std::string text;
    if (FILE* out = ::popen(command.c_str(), "r")) {
        char chunk[4096];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, out)) > 0;) text.append(chunk, got);
        ::pclose(out);
    }
    return text;
}

}  // namespace

std::string SoundServer::SinkState() const
{
    // "<index> <name> <module> <format> <state>"
    std::istringstream lines(AskPactl(Address(), "list short sinks"));
    std::string state;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        for (std::string word; words >> word;) state = word;
        break;
    }
    return state;
}

std::vector<std::string> SoundServer::StreamsCorked() const
{
    std::vector<std::string> corked;
    std::istringstream lines(AskPactl(Address(), "list sink-inputs"));
    for (std::string line; std::getline(lines, line);)
        if (const auto at = line.find("Corked: "); at != std::string::npos) corked.push_back(line.substr(at + 8));
    return corked;
}

std::vector<HeardClick> FindClicks(std::span<const std::int16_t> recording, std::span<const std::int16_t> click)
{
    // The onset: the main burst of the first 3 ms, loud and unlike anything else in the click.
    const std::size_t onset = std::min<std::size_t>(click.size(), SoundServer::SampleRate * 3 / 1000);
    double onsetEnergy = 0;
    int clickPeak = 0;
    for (std::size_t i = 0; i < onset; ++i) onsetEnergy += static_cast<double>(click[i]) * click[i];
    for (std::int16_t s : click) clickPeak = std::max(clickPeak, std::abs(int{s}));
    std::vector<HeardClick> found;
    if (onsetEnergy == 0 || recording.size() < onset) return found;

    for (std::size_t at = 0; at + onset <= recording.size(); ++at) {
        double cross = 0, energy = 0;
        for (std::size_t i = 0; i < onset; ++i) {
            const auto heard = static_cast<double>(recording[at + i]);
            cross += heard * click[i];
            energy += heard * heard;
        }
        // Same shape (correlation) and same loudness (within 1 dB).
        if (energy == 0 || cross / std::sqrt(energy * onsetEnergy) < 0.98) continue;
        const double gain = cross / onsetEnergy;
        if (gain < 0.89 || gain > 1.12) continue;

        // Follow it sample by sample; a cut shows as the first sample that no longer fits.
        const double tolerance = 0.02 * clickPeak + 2;
        std::size_t length = 0;
        while (length < click.size() && at + length < recording.size() &&
               std::abs(recording[at + length] - gain * click[length]) <= tolerance)
            ++length;
        found.push_back({at, length});
        at += onset - 1;
    }
    return found;
}
