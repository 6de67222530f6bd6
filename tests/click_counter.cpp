// Hears the click for tests that run a program this process cannot start itself (a Windows build
// under Wine): starts a private sound server and prints "pulse <address>"; given "restart", starts
// it again at the same address and prints "restarted"; given the line "count" (or the end of its
// input), prints "clicks <found> whole <not cut>" for what the server played meanwhile. A line,
// since programs started meanwhile may hold the input open.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "sound/click_sound.h"
#include "sound/riff.h"
#include "sound_server.h"

int main()
{
    SoundServer server;
    std::string whyNot;
    if (!server.Start(whyNot)) {
        std::cerr << "click_counter: " << whyNot << "\n";
        return 1;
    }
    std::cout << "pulse " << server.Address() << std::endl;

    for (std::string line; std::getline(std::cin, line) && line != "count";)
        if (line == "restart")
            std::cout << (server.StartAgain(whyNot) ? "restarted" : "not restarted: " + whyNot) << std::endl;
    // The last click may still be on its way through the server.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    std::vector<std::int16_t> click;
    if (const std::optional<WaveSound> sound = ReadWaveImage(ClickSound))
        for (std::size_t i = 0; i + 1 < sound->samples.size(); i += 2)
            click.push_back(static_cast<std::int16_t>(sound->samples[i] | sound->samples[i + 1] << 8));
    const std::vector<HeardClick> heard = FindClicks(server.Recording(), click);
    std::size_t whole = 0;
    for (const HeardClick& one : heard) {
        whole += one.length == click.size() ? 1 : 0;
        // Which one was cut, and where, for the test's report.
        if (one.length != click.size())
            std::cerr << "click at sample " << one.start << " cut after " << one.length << " of " << click.size()
                      << " samples\n";
    }
    std::cout << "clicks " << heard.size() << " whole " << whole << std::endl;
    server.Stop();
    return 0;
}
