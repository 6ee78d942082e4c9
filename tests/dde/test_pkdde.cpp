// The pkdde program against a server in this process: the test polls the
// server while the client runs, for a bounded number of rounds.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dde/DdeServer.h"
#include "support/TestContext.h"

extern char** environ;

namespace pelkor {
namespace {

struct Outcome {
    int status = -1; // exit code, -1 when it had to be killed
    std::string out, err;
};

class PkddeTest : public ::testing::Test {
protected:
    void SetUp() override {
        t.app.Status.NextTask = 1;
        t.app.Tasks[1].AddressCount = 3;
        server.SetSocketPath(t.dir.file("PKDDE"));
        ASSERT_TRUE(server.StartDdeServer()) << t.app.Status.LastErrorText;
    }

    // Runs pkdde with the arguments; each round polls the server and calls
    // onRound (round number) so the test can post readings meanwhile.
    Outcome Pkdde(std::vector<std::string> args, const std::function<void(int)>& onRound = {}) {
        args.insert(args.begin(),
                    {PELKOR_BINARY_DIR "/bin/pkdde", "--socket", server.SocketPath()});
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2], err[2];
        EXPECT_EQ(pipe2(out, O_CLOEXEC | O_NONBLOCK), 0);
        EXPECT_EQ(pipe2(err, O_CLOEXEC | O_NONBLOCK), 0);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, err[1], 2);
        pid_t pid = -1;
        Outcome r;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        close(err[1]);
        auto drain = [](int fd, std::string& to) {
            char buf[4096];
            for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
                to.append(buf, static_cast<std::size_t>(n));
        };
        bool done = false;
        for (int round = 0; round < 2000 && !done && pid > 0; ++round) {
            if (server.Running()) {
                server.Poll(5);
            } else {
                // Not a poll on the pipe: once pkdde has closed it, that returns at
                // once and the rounds would run out before the exit is reaped.
                usleep(5000);
            }
            if (onRound) onRound(round);
            drain(out[0], r.out);
            drain(err[0], r.err);
            int st = 0;
            if (waitpid(pid, &st, WNOHANG) == pid) {
                done = true;
                r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
            }
        }
        if (!done && pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        drain(out[0], r.out);
        drain(err[0], r.err);
        close(out[0]);
        close(err[0]);
        return r;
    }

    TestContext t;
    DdeServer server{t.app};
};

TEST_F(PkddeTest, RequestPrintsTheItemOrSaysWhyNot) {
    server.PostDdeData("12;34;56");
    Outcome r = Pkdde({"request", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "12\n");
    EXPECT_EQ(Pkdde({"request", "Item2"}).out, "56\n");

    r = Pkdde({"request", "3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("refused: item 3 is beyond"), std::string::npos) << r.err;
    EXPECT_EQ(Pkdde({"--topic", "OTHER", "request", "0"}).status, 1);
    EXPECT_EQ(Pkdde({"poke", "POKE", "some", "data"}).status, 0);
    EXPECT_EQ(Pkdde({"execute", "MAX"}).status, 1);
}

TEST_F(PkddeTest, AdviseFollowsTheLinkForTheCountGiven) {
    // Readings keep coming until the client has its two updates.
    int posted = 0;
    Outcome r = Pkdde({"advise", "1", "--count", "2", "--seconds", "20"}, [&](int round) {
        if (round % 10 == 9) server.PostDdeData("a;v" + std::to_string(++posted) + ";c");
    });
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_GE(posted, 2);
    // Two consecutive readings, whichever came first after the link started.
    std::size_t nl = r.out.find('\n');
    ASSERT_NE(nl, std::string::npos);
    int first = std::stoi(r.out.substr(1, nl - 1));
    EXPECT_EQ(r.out, "v" + std::to_string(first) + "\nv" + std::to_string(first + 1) + "\n");
}

TEST_F(PkddeTest, FailuresGiveNonZeroStatusAndAMessage) {
    Outcome r = Pkdde({"advise", "1", "--count", "1", "--seconds", "0.2"}); // no reading comes
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("only 0 of 1 updates"), std::string::npos) << r.err;

    EXPECT_EQ(Pkdde({"frobnicate"}).status, 2);
    EXPECT_EQ(Pkdde({"request"}).status, 2);
    EXPECT_EQ(Pkdde({"advise", "1", "--count", "x"}).status, 2);

    server.StopDdeServer();
    r = Pkdde({"request", "0"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("no DDE server at"), std::string::npos) << r.err;
}

} // namespace
} // namespace pelkor
