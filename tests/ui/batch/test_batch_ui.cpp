#include <gtest/gtest.h>

#include <sstream>

#include "ui/batch/BatchUserInterface.h"

using namespace pelkor;

TEST(BatchUserInterface, MessageBoxesGoToStandardErrorAndTakeTheDefault) {
    std::ostringstream err;
    BatchUserInterface ui(err);
    EXPECT_EQ(ui.MessageBox("Cannot read drive /x", "Choose", MsgIcon::Information,
                            MsgButtons::RetryCancel, MsgAnswer::Cancel),
              MsgAnswer::Cancel);
    EXPECT_EQ(ui.MessageBox("Save?", "Pelkor", MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::No),
              MsgAnswer::No);
    EXPECT_EQ(ui.MessageBox("line one\r\nline two\n\nthree", "Pelkor", MsgIcon::Critical,
                            MsgButtons::Ok, MsgAnswer::Ok),
              MsgAnswer::Ok);
    EXPECT_EQ(ui.MessageBox("plain", "T", MsgIcon::None, MsgButtons::Ok, MsgAnswer::Ok),
              MsgAnswer::Ok);
    EXPECT_EQ(err.str(), "Choose (Information): Cannot read drive /x\n"
                         "Pelkor (Question): Save?\n"
                         "Pelkor (Error): line one line two three\n"
                         "T: plain\n");
    EXPECT_EQ(ui.ProblemCount(), 1);
}

TEST(BatchUserInterface, HookSeesEveryMessageAndExitIsRecorded) {
    std::ostringstream err;
    BatchUserInterface ui(err);
    std::vector<std::string> seen;
    ui.SetMessageHook([&](MsgIcon icon, const std::string& title, const std::string& text) {
        seen.push_back(std::string(BatchUserInterface::IconWord(icon)) + "|" + title + "|" + text);
    });
    ui.MessageBox("Bad\nthing", "Pelkor", MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
    EXPECT_EQ(seen, (std::vector<std::string>{"Warning|Pelkor|Bad thing"}));
    EXPECT_EQ(ui.ProblemCount(), 1);

    EXPECT_FALSE(ui.ExitRequested());
    EXPECT_EQ(ui.RequestedExit(), -1);
    ui.ProcessEvents(); // never blocks, does nothing
    ui.SetStatusLine("Reading task 1");
    EXPECT_EQ(ui.LastStatusLine(), "Reading task 1");
    ui.ExitProgram(3);
    EXPECT_TRUE(ui.ExitRequested());
    EXPECT_EQ(ui.RequestedExit(), 3);
}
