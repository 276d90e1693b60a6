// Worker processes for real: this test program started again as a worker serves an echo loop,
// and the deadline watch in a forked copy of it.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/Process.h"
#include "platform/Workers.h"

namespace {

using Frame = FixedText<kMaxFrameBytes>;

// The worker's side, before any test runs: "die" ends it in the middle of a request, "hang"
// answers nothing, "busy" does not read for ten seconds, "pid" answers its process id; anything else comes back as it was, after a
// stray line on standard output that must not reach the parent. With MARROWIND_TEST_RAW in its
// environment the worker keeps the pipe as standard output and answers with bytes that are no frame.
bool ServeAsWorker() {
    if (!IsWorkerProcess()) return false;
    const bool raw = getenv("MARROWIND_TEST_RAW") != nullptr;
    if (!raw) BindWorkerToParent();
    static Frame request;
    static Frame answer;
    while (ReadRequestFrame(request)) {
        if (request.Equals("die")) _exit(1);
        if (request.Equals("hang")) continue;
        if (request.Equals("busy")) SleepMilliseconds(10000); // as in a long library call
        if (raw) {
            if (write(STDOUT_FILENO, "7x:garbage", 10) != 10) break;
            continue;
        }
        if (request.Equals("pid")) {
            answer.Format("%ld", static_cast<long>(getpid()));
        } else {
            answer.Assign(request);
        }
        printf("stray output\n");
        fflush(stdout);
        if (!WriteAnswerFrame(answer)) break;
    }
    _exit(0);
}

const bool servedAsWorker = ServeAsWorker();

uint64_t Now() { return MonotonicMilliseconds(); }

// Waits for and returns the answer of one of `workers`; "" when none answered in five seconds.
std::string NextAnswer(Worker *workers, uint32_t count, int32_t &from) {
    static Frame answer;
    from = WaitForAnswer(workers, count, Now() + 5000);
    if (from < 0) return "";
    return ReceiveFrame(workers[from], answer) ? answer.c_str() : "<failed>";
}

TEST(Workers, EchoRoundTripsWithSeveralWorkers) {
    ASSERT_FALSE(servedAsWorker);
    Worker workers[3];
    for (Worker &worker : workers) ASSERT_TRUE(StartWorker(worker));
    static Frame large;
    large.AppendRepeated('x', 60000);
    const std::string sent[3] = {"PRD.P00#first", "", large.c_str()};
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(SendFrame(workers[i], FixedText<60000>(sent[i].c_str())));
        bool answered[3] = {};
        for (int i = 0; i < 3; ++i) {
            int32_t from = -1;
            std::string answer = NextAnswer(workers, 3, from);
            ASSERT_GE(from, 0);
            EXPECT_FALSE(answered[from]);
            answered[from] = true;
            EXPECT_TRUE(answer == sent[from]) << "worker " << from << ": " << answer.substr(0, 40);
        }
    }
    // The mark of a worker stands only in the worker's environment.
    EXPECT_EQ(getenv("MARROWIND_WORKER"), nullptr);
    for (Worker &worker : workers) {
        StopWorker(worker);
        EXPECT_EQ(worker.slot, -1);
        EXPECT_FALSE(SendFrame(worker, FixedText<8>("x")));
    }
}

TEST(Workers, DeadMalformedOrOversizedAnswersStopTheWorker) {
    Worker dying, raw, echo;
    ASSERT_TRUE(StartWorker(dying));
    setenv("MARROWIND_TEST_RAW", "1", 1);
    ASSERT_TRUE(StartWorker(raw));
    unsetenv("MARROWIND_TEST_RAW");
    ASSERT_TRUE(StartWorker(echo));
    ASSERT_TRUE(SendFrame(dying, FixedText<8>("die")));
    ASSERT_TRUE(SendFrame(raw, FixedText<8>("abc")));
    ASSERT_TRUE(SendFrame(echo, FixedText<120>("0123456789012345678901234567890123456789")));
    for (Worker *worker : {&dying, &raw}) {
        int32_t from = WaitForAnswer(worker, 1, Now() + 5000);
        ASSERT_EQ(from, 0);
        Frame answer;
        EXPECT_FALSE(ReceiveFrame(*worker, answer));
        EXPECT_EQ(worker->slot, -1);
    }
    // An answer longer than the receiver holds is refused like a malformed one.
    ASSERT_EQ(WaitForAnswer(&echo, 1, Now() + 5000), 0);
    FixedText<20> small;
    EXPECT_FALSE(ReceiveFrame(echo, small));
    EXPECT_EQ(echo.slot, -1);
    EXPECT_EQ(WaitForAnswer(&echo, 1, Now() + 5000), -1); // no live worker left to wait for
}

TEST(Workers, WaitEndsAtTheDeadlineAndStopAllWorkersEndsThemFromAnotherThread) {
    Worker hanging[2];
    for (Worker &worker : hanging) {
        ASSERT_TRUE(StartWorker(worker));
        ASSERT_TRUE(SendFrame(worker, FixedText<8>("hang")));
    }
    uint64_t start = Now();
    EXPECT_EQ(WaitForAnswer(hanging, 2, start + 300), -1);
    uint64_t waited = Now() - start;
    EXPECT_GE(waited, 300u);
    EXPECT_LT(waited, 1500u);
    std::thread deadline(StopAllWorkers);
    deadline.join();
    for (int i = 0; i < 2; ++i) {
        int32_t from = WaitForAnswer(hanging, 2, Now() + 5000);
        ASSERT_GE(from, 0);
        Frame answer;
        EXPECT_FALSE(ReceiveFrame(hanging[from], answer));
    }
}

// A parent killed with SIGKILL (as PRTG ends a sensor that overran) takes its workers with it.
TEST(Workers, WorkersDieWithAParentKilledBySigkill) {
    // Orphans come to this process, which can then tell when they are gone.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    pid_t parent = fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        close(report[0]);
        Worker workers[2];
        pid_t pids[2] = {};
        for (int i = 0; i < 2; ++i) {
            if (!StartWorker(workers[i]) || !SendFrame(workers[i], FixedText<8>("pid"))) _exit(1);
            int32_t from = -1;
            pids[i] = static_cast<pid_t>(atol(NextAnswer(&workers[i], 1, from).c_str()));
            // Busy, so that only the parent-death signal ends it, not the end of its input.
            if (!SendFrame(workers[i], FixedText<8>("busy"))) _exit(1);
        }
        if (write(report[1], pids, sizeof pids) != sizeof pids) _exit(1);
        SleepMilliseconds(10000); // killed long before
        _exit(0);
    }
    close(report[1]);
    pid_t pids[2] = {};
    ssize_t reported = read(report[0], pids, sizeof pids);
    close(report[0]);
    kill(parent, SIGKILL);
    waitpid(parent, nullptr, 0);
    ASSERT_EQ(reported, static_cast<ssize_t>(sizeof pids));
    ASSERT_GT(pids[0], 0);
    ASSERT_GT(pids[1], 0);
    uint64_t start = Now();
    int gone = 0;
    while (gone < 2 && Now() - start < 2000) {
        for (pid_t &pid : pids)
            if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = 0;
                ++gone;
            }
        if (gone < 2) SleepMilliseconds(10);
    }
    EXPECT_EQ(gone, 2);
    for (pid_t pid : pids)
        if (pid > 0) kill(pid, SIGKILL);
}

// The deadline watch calls back at the deadline last set, and never after it was moved to none.
TEST(DeadlineWatch, ExpiresAtTheMovedDeadlineOrNotAtAll) {
    for (bool disarm : {false, true}) {
        uint64_t start = Now();
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            StartDeadlineWatch(Now() + 100, [] { EndProcessNow(7); });
            MoveDeadline(disarm ? UINT64_MAX : Now() + 300);
            SleepMilliseconds(800);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        uint64_t took = Now() - start;
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), disarm ? 0 : 7);
        if (!disarm) {
            EXPECT_GE(took, 300u);
            EXPECT_LT(took, 750u);
        }
    }
}

} // namespace
