// bang with the real plug-in: Live's window message is registered and
// broadcast to the other applications, not to this one.
#include "wintest.h"

#include "imports.h"
#include "liveapp_texts.h"

#include <cstdio>

class Bang : public WinTest {};

TEST_F(Bang, PostsItsNotesAndReachesAnotherApplicationButNotItsOwnWindows)
{
    HWND main = window("Song - Ableton Live 12 Suite");
    ASSERT_TRUE(main);
    OtherApp other;
    ASSERT_TRUE(other.started());
    UINT message = RegisterWindowMessageW(LIVEWIN_BROADCAST_NAME);
    ASSERT_NE(message, 0u);
    char registered[64];
    std::snprintf(registered, sizeof registered, "registered window message %x", message);

    int own_before = livewin_broadcasts_received();
    void *x = make();
    maxhost::send(x, "bang");
    maxhost::send(x, "bang");
    EXPECT_TRUE(other.wait_received(2, 3000));
    livewin_run_for(200);
    EXPECT_EQ(other.received(), 2);
    EXPECT_EQ(livewin_broadcasts_received(), own_before);

    std::vector<std::string> notes = {"register window mess", registered,
                                      "register window mess", registered};
    EXPECT_EQ(lines_of(x, MAXHOST_POST), notes);
    EXPECT_TRUE(errors_of(x).empty());
    EXPECT_TRUE(sent_by(x).empty());

    // This process's Live window does take the message when a broadcast
    // leaves nobody out, so its silence above is the plug-in's doing.
    DWORD recipients = BSM_APPLICATIONS;
    BroadcastSystemMessageW(BSF_POSTMESSAGE, &recipients, message, 0, 0);
    livewin_run_for(200);
    EXPECT_GT(livewin_broadcasts_received(), own_before);
}

// When either step fails, bang says so and goes no further: a failed
// registration leaves message 0, which is not broadcast.
TEST_F(Bang, AFailedStepIsReportedAndNothingIsBroadcastAfterIt)
{
    struct Case {
        const char *failing;
        std::vector<std::string> errors;
        long broadcasts; // calls of BroadcastSystemMessageW
    };
    const Case cases[] = {
        {"RegisterWindowMessageW", {"error registering window message"}, 0},
        {"BroadcastSystemMessageW", {LIVEAPP_TEXT_NO_BROADCAST}, 1},
    };
    OtherApp other;
    ASSERT_TRUE(other.started());
    for (const Case &c : cases) {
        maxhost::reset_records();
        void *x = make();
        livewin_calls_reset();
        ASSERT_TRUE(livewin_fail_call({c.failing, ""}, 1));
        maxhost::send(x, "bang");
        livewin_run_for(300);
        EXPECT_EQ(livewin_faults_fired(), 1) << c.failing;
        EXPECT_EQ(errors_of(x), c.errors) << c.failing;
        EXPECT_EQ(livewin_calls("BroadcastSystemMessageW"), c.broadcasts) << c.failing;
        EXPECT_EQ(other.received(), 0) << c.failing;
        destroy(x);
    }
    livewin_calls_reset();
}
