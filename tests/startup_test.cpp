// The whole program in-process on the offscreen platform, through Qt's own dialogs and windows:
// start-up from the settings file or the three prompts, and closing the window. The program's
// other roads run over the desktop-free window (core_test.cpp).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "board/connection.h"
#include "globals.h"
#include "app/startup.h"
#include "desktop_support.h"
#include "netio_sim.h"
#include "temp_folder.h"
#include "platform/linux/qt_access.h"
#include "ui/main_window.h"
#include "test_seams.h"

using namespace std::chrono_literals;

namespace {

class StartupTest : public testing::Test {
protected:
    void SetUp() override
    {
        StartDesktop();
        sim_ = std::make_unique<netio::Simulator>(netio::SimOptions{.port = 0});
        ASSERT_TRUE(sim_->Start());
        SetWebAddressRecorder([this](std::string_view address) { opened_.emplace_back(address); });
    }

    void TearDown() override
    {
        SetWebAddressRecorder(nullptr);
    }

    static void WriteFile(std::string_view bytes) { WriteFileBytes(SettingsFileName, bytes); }
    static std::string FileBytes() { return ::FileBytes(SettingsFileName); }
    std::string Port() const { return std::to_string(sim_->Port()); }

    // Acts on the main window once it is up: `action` gets the window.
    void WhenTheWindowStands(std::function<void()> action)
    {
        QObject::connect(&watch_, &QTimer::timeout, [this, action] {
            QWidget* window = MainWindowWidget();
            if (window && window->isVisible()) {
                watch_.stop();
                windowSeen_ = true;
                action();
            }
        });
        watch_.start(20);
    }

    TempFolder folder_{"start", TempFolder::Enter::Yes};
    std::unique_ptr<netio::Simulator> sim_;
    std::vector<std::string> opened_;
    QTimer watch_;
    bool windowSeen_ = false;
};

TEST_F(StartupTest, WithAFileItConnectsAndClosingTheWindowEndsWith0)
{
    WriteFile("127.0.0.1\r\n " + Port() + "\r\n180\r\n");
    DialogAnswerer answerer;
    WhenTheWindowStands([] { MainWindowWidget()->close(); });
    RunProgram();
    EXPECT_TRUE(windowSeen_);
    EXPECT_TRUE(answerer.seen.empty());
    EXPECT_EQ(sim_->Connections(), 1);
    EXPECT_TRUE(sim_->WaitForClosed(1, 2s));
    EXPECT_FALSE(Link.BoardConnection.has_value());
    EXPECT_EQ(MainWindowWidget(), nullptr);
    // The file is never changed.
    EXPECT_EQ(FileBytes(), "127.0.0.1\r\n " + Port() + "\r\n180\r\n");
}

TEST_F(StartupTest, TheFirstStartAsksThreeQuestionsAndStoresTheAnswers)
{
    DialogAnswerer answerer({Answer{"127.0.0.1"}, Answer{Port()}, Answer{"8080"}});
    WhenTheWindowStands([] { MainWindowWidget()->close(); });
    RunProgram();
    ASSERT_EQ(answerer.seen.size(), 3u);
    const std::vector<std::pair<std::string, std::string>> asked = {
        {"IP oder DNS (192.168.0.90 / netio.dyndns.org)?", "192.168.0.90"},
        {"TelNet-Port (64400)?", "64400"},
        {"HTTP-Port (180)?", "180"}};
    for (std::size_t i = 0; i < asked.size(); ++i) {
        EXPECT_EQ(answerer.seen[i].title, "Skarvel: Meldung");
        EXPECT_EQ(answerer.seen[i].text, asked[i].first);
        EXPECT_EQ(answerer.seen[i].preset, asked[i].second);
    }
    EXPECT_EQ(FileBytes(), "127.0.0.1\r\n" + Port() + "\r\n8080\r\n");
    EXPECT_TRUE(windowSeen_);
    EXPECT_EQ(sim_->Connections(), 1);
}

}  // namespace
