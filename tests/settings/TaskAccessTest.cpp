// Priority names and values, and real priority changes of a child process (lowering works for
// everyone; raising needs privileges, so those checks follow what the system actually did).
#include "settings/TaskAccess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#ifndef _WIN32
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zep {
namespace {

TEST(PriorityNames, MapToTheirValuesAndBack) {
    const std::pair<const char*, int> threads[] = {
        {"idle", -15},       {"lowest", -2}, {"below normal", -1}, {"normal", 0},
        {"above normal", 1}, {"highest", 2}, {"time critical", 15}};
    for (const auto& [name, value] : threads) {
        EXPECT_EQ(ThreadPriorityValue(name), value) << name;
        EXPECT_EQ(ThreadPriorityName(value), name);
    }
    const std::pair<const char*, int> classes[] = {
        {"Idle", 64}, {"Normal", 32}, {"High", 128}, {"Real-Time", 256}};
    for (const auto& [name, value] : classes) {
        EXPECT_EQ(ProcessPriorityValue(name), value) << name;
        EXPECT_EQ(ProcessPriorityName(value), name);
    }
    EXPECT_EQ(ThreadPriorityValue("Normal"), 0); // names are exact
    EXPECT_EQ(ThreadPriorityValue("fast"), 0);
    EXPECT_EQ(ProcessPriorityValue("normal"), 0);
    EXPECT_EQ(ThreadPriorityName(3), std::nullopt);
}

TEST(PriorityNames, EveryPairHasItsOwnUnixPriority) {
    const char* threads[] = {"idle",         "lowest",  "below normal", "normal",
                             "above normal", "highest", "time critical"};
    const char* classes[] = {"Idle", "Normal", "High", "Real-Time"};
    int lastNice = 100;
    for (const char* processName : classes) {
        for (const char* threadName : threads) {
            const auto priority =
                UnixPriorityOf(ThreadPriorityValue(threadName), ProcessPriorityValue(processName));
            ASSERT_TRUE(priority);
            EXPECT_GE(priority->Nice, -20);
            EXPECT_LE(priority->Nice, 19);
            const PriorityValues values = PriorityValuesOf(*priority);
            EXPECT_TRUE(values.Named);
            EXPECT_EQ(ThreadPriorityName(values.ThreadValue), threadName);
            EXPECT_EQ(ProcessPriorityName(values.ClassValue), processName);
            if (!priority->IdlePolicy) {
                EXPECT_LT(priority->Nice, lastNice) << processName << " " << threadName; // strictly ordered
                lastNice = priority->Nice;
            }
        }
    }
    EXPECT_FALSE(UnixPriorityOf(0, 0));
    EXPECT_FALSE(PriorityValuesOf({6, false}).Named); // between the Normal and Idle bands
}

#ifndef _WIN32

// Runs body in a child process (priorities cannot be raised back in the test process) and returns
// what it reported: empty when every check held.
std::string InChild(const std::function<std::string()>& body) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return "pipe failed";
    const pid_t child = ::fork();
    if (child < 0) return "fork failed";
    if (child == 0) {
        ::close(pipeEnds[0]);
        const std::string report = body();
        const ssize_t written = ::write(pipeEnds[1], report.data(), report.size());
        ::_exit(written == static_cast<ssize_t>(report.size()) ? 0 : 3);
    }
    ::close(pipeEnds[1]);
    std::string report;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) report += " (child ended abnormally)";
    return report;
}

int CurrentNice() {
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
}

std::string Names() {
    std::string thread = "?";
    std::string process = "?";
    if (!GetPriority(thread, process)) return "unreadable";
    return thread + "/" + process;
}

std::string Expect(bool condition, const std::string& what) {
    return condition ? "" : what + "; ";
}

// Sets a pair and checks that the system state, GetPriority and SetTaskPrior agree on the outcome.
std::string ApplyAndCheck(const char* threadName, const char* processName) {
    const int before = CurrentNice();
    const std::string namesBefore = Names();
    const auto wanted = UnixPriorityOf(ThreadPriorityValue(threadName), ProcessPriorityValue(processName));
    const bool failed = SetTaskPrior(threadName, processName);
    const int after = CurrentNice();
    const std::string pair = std::string(threadName) + "/" + processName;
    if (after == wanted->Nice) {
        return Expect(!failed, pair + ": applied but reported as failed") +
               Expect(Names() == pair, pair + ": reads back as " + Names());
    }
    return Expect(after == before, pair + ": refused, yet nice moved from " + std::to_string(before)) +
           Expect(failed, pair + ": refused but not reported") +
           Expect(Names() == namesBefore, pair + ": refused, yet reads " + Names());
}

TEST(TaskAccess, LoweringWorksAndReadsBack) {
    EXPECT_EQ(InChild([] {
                  std::string report;
                  if (CurrentNice() > 17) return std::string(); // started too low to lower further
                  if (CurrentNice() == 0)
                      report += Expect(Names() == "normal/Normal", "starts as " + Names());
                  report += Expect(!SetTaskPrior("lowest", "Idle"), "lowest/Idle reported as failed");
                  report +=
                      Expect(CurrentNice() == 18, "lowest/Idle gives nice " + std::to_string(CurrentNice()));
                  report += Expect(Names() == "lowest/Idle", "lowest/Idle reads " + Names());
                  return report;
              }),
              "");
}

TEST(TaskAccess, IdleThreadUsesTheIdlePolicy) {
    EXPECT_EQ(InChild([] {
                  if (CurrentNice() > 16) return std::string();
                  std::string report = Expect(!SetTaskPrior("idle", "Idle"), "idle/Idle reported as failed");
                  report +=
                      Expect(::sched_getscheduler(0) == SCHED_IDLE, "idle thread without the idle policy");
                  report += Expect(Names() == "idle/Idle", "idle/Idle reads " + Names());
                  return report;
              }),
              "");
}

TEST(TaskAccess, RaisingEitherWorksOrIsReportedAsFailed) {
    EXPECT_EQ(InChild([] {
                  std::string report = ApplyAndCheck("lowest", "Idle");
                  report += ApplyAndCheck("normal", "High");
                  report += ApplyAndCheck("time critical", "Real-Time");
                  report += ApplyAndCheck("normal", "Normal");
                  return report;
              }),
              "");
}

TEST(TaskAccess, WithoutPrivilegesRaisingIsRefusedAndReported) {
    EXPECT_EQ(InChild([] {
                  // As root, give up the privilege for real; where that is impossible the check
                  // above already covered the outcome.
                  if (::geteuid() == 0 && ::setuid(65534) != 0) return std::string();
                  if (CurrentNice() > 17) return std::string();
                  std::string report = ApplyAndCheck("lowest", "Idle");
                  const int lowered = CurrentNice();
                  report += Expect(SetTaskPrior("normal", "High"), "raising without privileges not reported");
                  report +=
                      Expect(CurrentNice() == lowered, "raising without privileges changed the nice value");
                  report += Expect(Names() == "lowest/Idle", "after the refusal reads " + Names());
                  return report;
              }),
              "");
}

TEST(TaskAccess, TheClassMovesEveryThreadOfTheProcess) {
    EXPECT_EQ(InChild([] {
                  if (CurrentNice() != 0) return std::string();
                  std::atomic<long> otherThread{0};
                  std::atomic<bool> done{false};
                  std::thread other([&] {
                      otherThread = ::syscall(SYS_gettid);
                      while (!done)
                          std::this_thread::sleep_for(std::chrono::milliseconds(1));
                  });
                  while (otherThread == 0)
                      std::this_thread::sleep_for(std::chrono::milliseconds(1));
                  std::string report =
                      Expect(!SetTaskPrior("highest", "Idle"), "highest/Idle reported as failed");
                  const int otherNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(otherThread.load()));
                  report += Expect(otherNice == 16, "the other thread has nice " + std::to_string(otherNice));
                  report += Expect(CurrentNice() == 14,
                                   "the calling thread has nice " + std::to_string(CurrentNice()));
                  done = true;
                  other.join();
                  return report;
              }),
              "");
}

TEST(TaskAccess, AnUnknownClassLeavesTheClass) {
    EXPECT_EQ(InChild([] {
                  if (CurrentNice() > 17) return std::string();
                  std::string report = ApplyAndCheck("lowest", "Idle");
                  // "Batch" is no class: the class stays Idle, the thread becomes highest, and the
                  // read-back differs from the selected names.
                  report += Expect(SetTaskPrior("highest", "Batch"), "unknown class not reported");
                  const std::string names = Names();
                  report += Expect(names == "highest/Idle" || names == "lowest/Idle",
                                   "unknown class reads " + names);
                  return report;
              }),
              "");
}

#endif

} // namespace
} // namespace zep
