// The sync-action dialog: scripted answers, the terminal prompt, and the run without any responder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sstream>
#include <unistd.h>

#include "synckit/ActionDialog.h"

using namespace synckit;

namespace {

CHotSyncActionDlg MakeDialog(int action) {
    CHotSyncActionDlg dialog(nullptr);
    dialog.SetConduitName("Memo Pad");
    dialog.SetActionIndex(action);
    return dialog;
}

TEST(ActionDialogTest, ScriptedAnswersAndWhatTheDialogShowed) {
    struct Case {
        const char* name;
        ScriptedActionResponder responder;
        int result, action, makeDefault;
    };
    Case cases[] = {
        {"accept with a new action as the default", ScriptedActionResponder::Accept(3, 1),
         CHotSyncActionDlg::kAccepted, 3, 1},
        {"accept once with a new action", ScriptedActionResponder::Accept(1, 0), CHotSyncActionDlg::kAccepted, 1, 0},
        {"keep the action, make it the default", ScriptedActionResponder::KeepAndAccept(1),
         CHotSyncActionDlg::kAccepted, 2, 1},
        {"cancel changes nothing", ScriptedActionResponder::Cancel(), CHotSyncActionDlg::kCancelled, 2, 7},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedActionDialogResponder attach(c.responder);
        CHotSyncActionDlg dialog = MakeDialog(2);
        dialog.SetMakeDefault(7);
        EXPECT_EQ(dialog.DoModal(), c.result);
        EXPECT_EQ(dialog.GetActionIndex(), c.action);
        EXPECT_EQ(dialog.GetMakeDefault(), c.makeDefault);
        EXPECT_EQ(c.responder.shownWithAction, 2);
        EXPECT_EQ(c.responder.shownWithName, "Memo Pad");
        EXPECT_EQ(c.responder.timesShown, 1);
    }
    EXPECT_EQ(AttachedActionDialogResponder(), nullptr);
}

TEST(ActionDialogTest, TerminalPromptReadsTheActionAndTheDefaultFlag) {
    struct Case {
        const char* name;
        const char* input;
        int result, action, makeDefault;
    };
    const Case cases[] = {
        {"a number and yes", "2\ny\n", CHotSyncActionDlg::kAccepted, 2, 1},
        {"empty lines keep the action, not the default", "\n\n", CHotSyncActionDlg::kAccepted, 1, 0},
        {"blanks and CR LF line ends", " 3 \r\nY\r\n", CHotSyncActionDlg::kAccepted, 3, 1},
        {"a wrong number is asked again", "7\nx\n0\nn\n", CHotSyncActionDlg::kAccepted, 0, 0},
        {"a wrong yes/no answer is asked again", "0\nmaybe\nyes\n", CHotSyncActionDlg::kAccepted, 0, 1},
        {"q cancels at the action", "q\n", CHotSyncActionDlg::kCancelled, 1, 9},
        {"q cancels at the default question", "3\nq\n", CHotSyncActionDlg::kCancelled, 1, 9},
        {"the end of the input cancels", "3\n", CHotSyncActionDlg::kCancelled, 1, 9},
        {"no input at all cancels", "", CHotSyncActionDlg::kCancelled, 1, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::istringstream in(c.input);
        std::ostringstream out;
        TerminalActionResponder terminal(in, out);
        ScopedActionDialogResponder attach(terminal);
        CHotSyncActionDlg dialog = MakeDialog(1);
        dialog.SetMakeDefault(9);
        EXPECT_EQ(dialog.DoModal(), c.result);
        EXPECT_EQ(dialog.GetActionIndex(), c.action);
        EXPECT_EQ(dialog.GetMakeDefault(), c.makeDefault);

        const std::string shown = out.str();
        EXPECT_NE(shown.find("Memo Pad"), std::string::npos);
        EXPECT_NE(shown.find("0  Synchronize the files\n"), std::string::npos) << shown;
        EXPECT_NE(shown.find("* 1  Desktop overwrites handheld  (current)\n"), std::string::npos) << shown;
        EXPECT_NE(shown.find("2  Handheld overwrites Desktop\n"), std::string::npos) << shown;
        EXPECT_NE(shown.find("3  Do nothing\n"), std::string::npos) << shown;
    }
}

TEST(ActionDialogTest, TerminalAsksAboutTheDefaultOnlyOnceAnActionIsChosen) {
    std::istringstream in("2\nn\n");
    std::ostringstream out;
    TerminalActionResponder terminal(in, out);
    CHotSyncActionDlg dialog = MakeDialog(0);
    ASSERT_EQ(terminal.Respond(dialog), CHotSyncActionDlg::kAccepted);
    const std::string shown = out.str();
    const size_t question = shown.find("Make this the default? [y/N]");
    ASSERT_NE(question, std::string::npos);
    EXPECT_GT(question, shown.find("3  Do nothing"));
    EXPECT_EQ(shown.find("Make this the default? [y/N]", question + 1), std::string::npos);
}

TEST(ActionDialogTest, TerminalWithoutAValidCurrentActionNeedsANumber) {
    // An empty line cannot keep an action that is not one of the four.
    std::istringstream in("\n2\n\n");
    std::ostringstream out;
    TerminalActionResponder terminal(in, out);
    CHotSyncActionDlg dialog = MakeDialog(6);
    ASSERT_EQ(terminal.Respond(dialog), CHotSyncActionDlg::kAccepted);
    EXPECT_EQ(dialog.GetActionIndex(), 2);
    EXPECT_EQ(out.str().find("(current)"), std::string::npos);
}

TEST(ActionDialogTest, WithoutResponderOrTerminalTheDialogIsCancelled) {
    // Make stdin a non-terminal for the test, whatever ran it.
    const int saved = ::dup(0);
    ASSERT_GE(saved, 0);
    const int devnull = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(devnull, 0);
    ASSERT_EQ(::dup2(devnull, 0), 0);
    ::close(devnull);

    ASSERT_EQ(AttachedActionDialogResponder(), nullptr);
    CHotSyncActionDlg dialog = MakeDialog(2);
    const int result = dialog.DoModal();

    ::dup2(saved, 0);
    ::close(saved);
    EXPECT_EQ(result, CHotSyncActionDlg::kCancelled);
    EXPECT_EQ(dialog.GetActionIndex(), 2);
}

}  // namespace
