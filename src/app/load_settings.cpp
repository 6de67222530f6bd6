// The settings at start-up: from the file, or asked for once and then stored.
#include "app/load_settings.h"

#include "board/codepage.h"
#include "platform/window.h"

namespace {
constexpr std::string_view PromptTitle = "Skarvel: Meldung";
constexpr std::string_view HostPrompt = "IP oder DNS (192.168.0.90 / netio.dyndns.org)?";
constexpr std::string_view HostPreset = "192.168.0.90";
constexpr std::string_view TelnetPortPrompt = "TelNet-Port (64400)?";
constexpr std::string_view TelnetPortPreset = "64400";
constexpr std::string_view HttpPortPrompt = "HTTP-Port (180)?";
constexpr std::string_view HttpPortPreset = "180";

// Answers go through the file's code page at once, so what is shown, stored and sent agrees.
std::string Ask(std::string_view prompt, std::string_view preset)
{
    return FitToWindows1252(InputDialog(PromptTitle, prompt, preset));
}
}  // namespace

ConnectionSettings LoadSettings()
{
    if (const auto bytes = ReadSettingsFile(SettingsFileName))
        return SettingsFromFile(*bytes);

    ConnectionSettings settings;
    settings.Host = Ask(HostPrompt, HostPreset);
    settings.TelnetPortText = Ask(TelnetPortPrompt, TelnetPortPreset);
    settings.TelnetPort = ParseInteger(settings.TelnetPortText);
    settings.HttpPortText = Ask(HttpPortPrompt, HttpPortPreset);
    // An unwritable file is passed over: the next start simply asks again.
    WriteSettingsFile(SettingsFileName, settings);
    return settings;
}
