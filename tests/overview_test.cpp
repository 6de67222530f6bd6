// The overview over the tests' desktop-free window and the simulated board: the whole table
// read as it opens, the states read once a second beside polling, an output switched, the table
// copied, the overview closed; the terminal undisturbed throughout.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "core_loop.h"
#include "globals.h"
#include "platform/file.h"
#include "simulated_board.h"
#include "temp_folder.h"
#include "ui/running_log.h"

using namespace std::chrono_literals;
using headless::Millis;

namespace {

class OverviewTest : public CoreWindowTest {
protected:
    const headless::Table& Table() { return *headless::TableWindow(); }
    std::size_t Count(char letter)
    {
        const auto commands = sim_->Commands();
        return static_cast<std::size_t>(std::count_if(commands.begin(), commands.end(), [letter](const auto& c) {
            return !c.text.empty() && c.text[0] == letter;
        }));
    }
};

// Opened from the output's menu, the overview has the whole table at once, in the board's order, the
// names as the board gives them; five seconds beside polling, it reads each page's states once a
// second and nothing more, polling keeps its four a second, and nothing of the overview's shows in
// the output; the idle message is skipped while the overview keeps the link alive.
TEST_F(OverviewTest, TheViewReadsTheWholeBoardAtOnceThenTheStatesOnceASecondBesidePolling)
{
    EXPECT_EQ(headless::OutputMenu().at(OverviewAction), "Board-Übersicht …");
    headless::Click(PollingToggle);
    RunUntil(1s);
    const std::size_t pollsBefore = Count('C'), idleBefore = sim_->CountCommands("x");
    headless::ChooseFromMenu(OverviewAction);
    Handle();
    ASSERT_TRUE(headless::TableWindow());
    EXPECT_EQ(Table().title, "Varnex-NET-IO: Board-Übersicht");
    EXPECT_EQ(Table().headers, (std::vector<std::string>{"Seite", "Platz", "Art", "Name", "Zustand"}));
    ASSERT_EQ(Table().cells.size(), 10u);
    EXPECT_EQ(Table().cells[0], (std::vector<std::string>{"Seite 1", "0", "Eingang", "Taster1", Table().cells[0][4]}));
    EXPECT_EQ(Table().cells[5], (std::vector<std::string>{"Seite 2", "1", "Ausgang", "Lampe Küche", "aus"}));
    EXPECT_EQ(Table().cells[9], (std::vector<std::string>{"Hof und Tor", "0", "Ausgang", "Tor", "aus"}));
    for (const auto& row : Table().cells)
        EXPECT_TRUE(row[4] == "ein" || row[4] == "aus") << row[3];
    EXPECT_TRUE(Table().status.starts_with("Verbunden – zuletzt vom Board gehört um ")) << Table().status;

    const std::size_t reads = Count('P');
    RunUntil(6s);
    // Four pages have entries: four reads of the states a second.
    EXPECT_GE(Count('P') - reads, 4u * 4u);
    EXPECT_LE(Count('P') - reads, 4u * 6u);
    EXPECT_EQ(Count('C') - pollsBefore, 20u);   // 4 a second, 1 s to 6 s
    EXPECT_EQ(sim_->CountCommands("x"), idleBefore);
    const std::vector<std::string>& lines = headless::Find(OutputEditor)->lines;
    EXPECT_TRUE(std::all_of(lines.begin() + 1, lines.end(), [](const std::string& line) { return line.starts_with("C:"); }));
    // Every command whole: nothing of one exchange ran into another's.
    std::string received, commands;
    for (const auto& chunk : sim_->Received())
        received += chunk.bytes;
    for (const auto& command : sim_->Commands())
        commands += command.text + "\r";
    EXPECT_EQ(received, commands);
}

// An output switched from its row: T with its decimal id, the row showing the board's answer at
// once, highlighted for three seconds; an input's row sends nothing. Ctrl+C copies the table as
// tab-separated lines under a header; closed, the overview reads no more and the idle message is back.
TEST_F(OverviewTest, AnOutputSwitchesFromItsRowAndTheTableCopiesAsTabSeparatedLines)
{
    headless::ChooseFromMenu(OverviewAction);
    Handle();
    ASSERT_TRUE(headless::TableWindow());
    ASSERT_EQ(Table().cells[7][4], "aus");
    headless::ActivateRow(7);   // "Pumpe", an output
    Handle();
    ASSERT_TRUE(sim_->WaitForCommands(1, 2s));
    EXPECT_EQ(sim_->Commands().back().text, "T07");
    EXPECT_EQ(Table().cells[7][4], "ein");
    EXPECT_TRUE(Table().highlighted[7]);
    const std::size_t commands = sim_->Commands().size();
    headless::ActivateRow(0);   // "Taster1", an input
    Handle();
    EXPECT_EQ(sim_->Commands().size(), commands);
    EXPECT_TRUE(Table().status.starts_with("Eingänge lassen sich nicht schalten")) << Table().status;
    // The board's own state, read again since: on.
    RunUntil(headless::Now() + 3100ms);
    EXPECT_FALSE(Table().highlighted[7]);
    EXPECT_EQ(Table().cells[7][4], "ein");

    headless::CopyTable();
    Handle();
    const std::string& copied = headless::Clipboard();
    const std::string end(SystemLineEnd);
    EXPECT_TRUE(copied.starts_with("Seite\tPlatz\tArt\tName\tZustand" + end + "Seite 1\t0\tEingang\tTaster1\t")) << copied;
    EXPECT_NE(copied.find(end + "Garten\t0\tAusgang\tPumpe\tein" + end), std::string::npos) << copied;
    EXPECT_EQ(std::count(copied.begin(), copied.end(), '\n'), 11);
    // Rows selected: only they are copied, under the header.
    headless::SelectRows({5, 7});
    headless::CopyTable();
    Handle();
    EXPECT_EQ(headless::Clipboard(), "Seite\tPlatz\tArt\tName\tZustand" + end + "Seite 2\t1\tAusgang\tLampe Küche\t"
                                         + Table().cells[5][4] + end + "Garten\t0\tAusgang\tPumpe\tein" + end);

    headless::CloseTable();
    Handle();
    const std::size_t afterClose = sim_->Commands().size();
    RunUntil(headless::Now() + 2100ms);
    EXPECT_EQ(sim_->Commands().size() - afterClose, 2u) << "two idle messages, no reads";
    EXPECT_EQ(sim_->Commands().back().text, "x");
}

// While the link is lost the rows read before stay, shown as not current, the status line saying
// since when and counting down to the next try; "Jetzt verbinden" tries at once. Back, the rows
// are read anew in place and current again. The log keeps the states the overview saw and the
// reads that failed, not the reads that changed nothing.
TEST_F(OverviewTest, WhileTheLinkIsLostTheRowsStayNotCurrentAndATryCanBeMadeAtOnce)
{
    const TempFolder folder("overview-log");
    std::string why;
    ASSERT_TRUE(StartRunningLog(folder / "log.txt", "127.0.0.1", "127.0.0.1:1", why)) << why;
    headless::ChooseFromMenu(OverviewAction);
    Handle();
    ASSERT_TRUE(headless::TableWindow());
    EXPECT_EQ(headless::TableMenu().at(ReconnectNowAction), "Jetzt verbinden");
    const auto rows = Table().cells;
    RunUntil(2s);
    sim_->GoAway();
    RunUntil(3600ms);
    ASSERT_FALSE(LinkIsUp());
    EXPECT_TRUE(Table().stale);
    EXPECT_EQ(Table().cells.size(), rows.size());
    static const std::regex lost("Keine Verbindung zum Board seit \\d\\d:\\d\\d:\\d\\d – nächster Versuch in (\\d+) s");
    // Refused tries at 3.6, 4.6, 6.6 and 10.6 s: the next one 8 s later.
    RunUntil(11s);
    std::smatch waiting;
    ASSERT_TRUE(std::regex_match(Table().status, waiting, lost)) << Table().status;
    const int first = std::stoi(waiting[1]);
    RunUntil(headless::Now() + 1s);
    ASSERT_TRUE(std::regex_match(Table().status, waiting, lost)) << Table().status;
    EXPECT_EQ(std::stoi(waiting[1]), first - 1) << "the countdown";
    sim_->ComeBack();
    headless::ChooseFromMenu(ReconnectNowAction);
    Handle();
    EXPECT_TRUE(LinkIsUp()) << "tried at once";
    RunUntil(headless::Now() + 1500ms);
    EXPECT_FALSE(Table().stale);
    EXPECT_EQ(Table().cells.size(), rows.size());
    EXPECT_TRUE(Table().status.starts_with("Verbunden")) << Table().status;
    EndRunningLog();
    const std::vector<std::string> lines = FileLines(folder / "log.txt");
    const auto count = [&lines](std::string_view event) {
        return std::count_if(lines.begin(), lines.end(), [event](const std::string& l) { return l.find(event) != std::string::npos; });
    };
    EXPECT_GE(count("\tZustand\t"), 10) << "every entry's first state";
    EXPECT_EQ(count("\tÜbersicht Antwort\t"), 0) << "a read that went as expected";
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return std::regex_search(l, std::regex("\tZustand\tPumpe \\(Garten\\)\t(ein|aus)\tN07\t"));
    }));
}

}  // namespace
