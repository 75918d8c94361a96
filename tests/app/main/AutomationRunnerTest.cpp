// The runner over a host that records what it is asked: pending commands, their time
// limit, the report of every line and the exit status.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "app/main/AutomationRunner.h"

using namespace automation;

namespace {

struct RecordingHost : Host {
    std::vector<std::string> started;
    std::map<int, int> pollsUntilDone;  // line -> polls it stays pending
    std::map<int, std::string> failing; // line -> failure text
    std::map<int, bool> never;          // line -> pending for good

    Outcome start(const Command& command) override {
        started.push_back(command.text);
        return outcomeOf(command);
    }
    Outcome poll(const Command& command) override { return outcomeOf(command); }

    Outcome outcomeOf(const Command& command) {
        if (never.count(command.line)) return Outcome::pending();
        if (pollsUntilDone[command.line]-- > 0) return Outcome::pending();
        if (failing.count(command.line)) return Outcome::failed(failing[command.line]);
        return Outcome::passed();
    }
};

} // namespace

TEST(AutomationRunner, ReportsEveryLineAndFailsOnAnyFailure) {
    RecordingHost host;
    host.pollsUntilDone[2] = 3;
    host.failing[3] = "the value is 2";
    std::ostringstream report;
    double now = 0;
    Runner runner(parseScript("open a.dng\nwait-image\nexpect k 1\nfit"), host, report, [&] { return now; });
    int steps = 1;
    while (runner.step())
        ++steps;
    EXPECT_EQ(steps, 4); // three polls of the wait
    EXPECT_TRUE(runner.finished());
    EXPECT_EQ(runner.exitStatus(), 1);
    EXPECT_EQ(host.started.size(), 4u); // a failed line does not stop the script
    EXPECT_EQ(report.str(), "line 1: ok: open a.dng\n"
                            "line 2: ok: wait-image\n"
                            "line 3: FAILED: expect k 1: the value is 2\n"
                            "line 4: ok: fit\n");
}

TEST(AutomationRunner, ATimedOutWaitNamesItsLine) {
    RecordingHost host;
    host.never[2] = true;
    std::ostringstream report;
    double now = 100;
    Runner runner(parseScript("fit\nwait-image 5\nscreenshot later\nfit"), host, report, [&] { return now; });
    EXPECT_TRUE(runner.step());
    now = 104.9;
    EXPECT_TRUE(runner.step());
    now = 105.0;
    // The wait ends; the screenshot that follows is pending with the default time limit.
    host.never[3] = true;
    EXPECT_TRUE(runner.step());
    EXPECT_NE(report.str().find("line 2: FAILED: wait-image 5: timed out after 5 s\n"), std::string::npos);
    now += Runner::kDefaultSettleWait;
    EXPECT_FALSE(runner.step());
    EXPECT_NE(report.str().find("line 3: FAILED: screenshot later: timed out after 20 s\n"),
              std::string::npos);
    EXPECT_EQ(runner.failures(), 2);
    EXPECT_EQ(Runner::timeLimit(parseScript("wait-image").commands[0]), Runner::kDefaultImageWait);
}

TEST(AutomationRunner, QuitEndsTheScriptAndABadScriptRunsNothing) {
    RecordingHost host;
    std::ostringstream report;
    Runner quits(parseScript("fit\nquit\nfit"), host, report);
    EXPECT_FALSE(quits.step());
    EXPECT_EQ(host.started, (std::vector<std::string>{"fit", "quit"}));
    EXPECT_EQ(quits.exitStatus(), 0);

    host.started.clear();
    std::ostringstream badReport;
    Runner bad(parseScript("fit\nfly\n"), host, badReport);
    EXPECT_FALSE(bad.step());
    EXPECT_TRUE(host.started.empty());
    EXPECT_EQ(bad.exitStatus(), 1);
    EXPECT_EQ(badReport.str(), "line 2: unknown command \"fly\"\n");

    Runner empty(parseScript(""), host, report);
    EXPECT_FALSE(empty.step());
    EXPECT_EQ(empty.exitStatus(), 0);
}
