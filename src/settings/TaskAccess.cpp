// Process and thread priorities.
#include "settings/TaskAccess.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace zep {

namespace {

struct NamedValue {
    std::string_view name;
    int value;
};

constexpr std::array<NamedValue, 7> ThreadPriorities = {{{"idle", -15},
                                                         {"lowest", -2},
                                                         {"below normal", -1},
                                                         {"normal", 0},
                                                         {"above normal", 1},
                                                         {"highest", 2},
                                                         {"time critical", 15}}};

constexpr std::array<NamedValue, 4> ProcessPriorities = {
    {{"Idle", 64}, {"Normal", 32}, {"High", 128}, {"Real-Time", 256}}};

struct ClassBase {
    int classValue;
    int nice;
};
constexpr std::array<ClassBase, 4> ClassBases = {{{64, 16}, {32, 0}, {128, -10}, {256, -17}}};

constexpr int IdleThread = -15;
constexpr int TimeCriticalThread = 15;
constexpr int TimeCriticalOffset = -3;

template <size_t N> int ValueOf(const std::array<NamedValue, N>& table, std::string_view name) {
    for (const auto& entry : table)
        if (entry.name == name) return entry.value;
    return 0;
}

template <size_t N> std::optional<std::string> NameOf(const std::array<NamedValue, N>& table, int value) {
    for (const auto& entry : table)
        if (entry.value == value) return std::string(entry.name);
    return std::nullopt;
}

std::optional<int> BaseNiceOf(int classValue) {
    for (const auto& base : ClassBases)
        if (base.classValue == classValue) return base.nice;
    return std::nullopt;
}

int ThreadOffset(int threadValue) {
    if (threadValue == TimeCriticalThread) return TimeCriticalOffset;
    if (threadValue == IdleThread) return 0;
    return -threadValue;
}

#ifndef _WIN32

pid_t CurrentThreadId() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

std::optional<UnixPriority> ReadThreadPriority(pid_t thread) {
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    if (nice == -1 && errno != 0) return std::nullopt;
    const int policy = ::sched_getscheduler(thread);
    if (policy < 0) return std::nullopt;
    return UnixPriority{nice, policy == SCHED_IDLE};
}

bool WriteThreadPriority(pid_t thread, const UnixPriority& wanted) {
    const auto current = ReadThreadPriority(thread);
    if (!current) return false;
    bool ok = true;
    // Leaving the idle policy may need privileges, so the nice value is set first either way.
    if (current->Nice != wanted.Nice &&
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), wanted.Nice) != 0)
        ok = false;
    if (current->IdlePolicy != wanted.IdlePolicy) {
        sched_param parameters{};
        parameters.sched_priority = 0;
        if (::sched_setscheduler(thread, wanted.IdlePolicy ? SCHED_IDLE : SCHED_OTHER, &parameters) != 0)
            ok = false;
    }
    return ok;
}

// The other threads of the process keep their own offsets under the new base.
bool MoveOtherThreads(int baseNice, pid_t self) {
    namespace fs = std::filesystem;
    bool ok = true;
    std::error_code ec;
    for (fs::directory_iterator it("/proc/self/task", ec), end; !ec && it != end; it.increment(ec)) {
        const pid_t thread = static_cast<pid_t>(std::atoi(it->path().filename().c_str()));
        if (thread <= 0 || thread == self) continue;
        const auto current = ReadThreadPriority(thread);
        if (!current) continue; // ended meanwhile
        const PriorityValues values = PriorityValuesOf(*current);
        UnixPriority wanted = *current;
        wanted.Nice = baseNice + (values.Named ? ThreadOffset(values.ThreadValue) : 0);
        if (!WriteThreadPriority(thread, wanted)) ok = false;
    }
    return ok;
}

#endif

} // namespace

int ThreadPriorityValue(std::string_view name) {
    return ValueOf(ThreadPriorities, name);
}
int ProcessPriorityValue(std::string_view name) {
    return ValueOf(ProcessPriorities, name);
}
std::optional<std::string> ThreadPriorityName(int value) {
    return NameOf(ThreadPriorities, value);
}
std::optional<std::string> ProcessPriorityName(int value) {
    return NameOf(ProcessPriorities, value);
}

std::optional<UnixPriority> UnixPriorityOf(int threadValue, int classValue) {
    const auto base = BaseNiceOf(classValue);
    if (!base) return std::nullopt;
    if (!ThreadPriorityName(threadValue)) threadValue = 0;
    return UnixPriority{*base + ThreadOffset(threadValue), threadValue == IdleThread};
}

PriorityValues PriorityValuesOf(const UnixPriority& priority) {
    for (const auto& base : ClassBases) {
        const int offset = priority.Nice - base.nice;
        if (offset < TimeCriticalOffset || offset > 2) continue;
        PriorityValues values;
        values.ClassValue = base.classValue;
        values.Named = true;
        if (priority.IdlePolicy)
            values.ThreadValue = IdleThread;
        else if (offset == TimeCriticalOffset)
            values.ThreadValue = TimeCriticalThread;
        else
            values.ThreadValue = -offset;
        return values;
    }
    return {};
}

#ifdef _WIN32

bool SetPriority(std::string_view threadName, std::string_view processName) {
    const bool threadOk = SetThreadPriority(GetCurrentThread(), ThreadPriorityValue(threadName)) != 0;
    const bool processOk =
        SetPriorityClass(GetCurrentProcess(), static_cast<DWORD>(ProcessPriorityValue(processName))) != 0;
    return threadOk && processOk;
}

bool GetPriority(std::string& threadName, std::string& processName) {
    const int thread = GetThreadPriority(GetCurrentThread());
    const DWORD process = GetPriorityClass(GetCurrentProcess());
    if (thread == THREAD_PRIORITY_ERROR_RETURN || process == 0) return false;
    if (auto name = ThreadPriorityName(thread)) threadName = *name;
    if (auto name = ProcessPriorityName(static_cast<int>(process))) processName = *name;
    return true;
}

#else

bool SetPriority(std::string_view threadName, std::string_view processName) {
    const pid_t self = CurrentThreadId();
    const auto current = ReadThreadPriority(self);
    if (!current) return false;
    const PriorityValues now = PriorityValuesOf(*current);

    bool ok = true;
    int classValue = ProcessPriorityValue(processName);
    if (!BaseNiceOf(classValue)) {
        ok = false; // no such class: the class stays as it is
        classValue = now.Named ? now.ClassValue : 0;
    }
    const auto base = BaseNiceOf(classValue);
    // A state no names produce keeps its nice value as the base.
    const int baseNice = base ? *base : current->Nice;
    if (base && !MoveOtherThreads(baseNice, self)) ok = false;

    int threadValue = ThreadPriorityValue(threadName);
    if (!ThreadPriorityName(threadValue)) threadValue = 0;
    const UnixPriority wanted{baseNice + ThreadOffset(threadValue), threadValue == IdleThread};
    if (!WriteThreadPriority(self, wanted)) ok = false;
    return ok;
}

bool GetPriority(std::string& threadName, std::string& processName) {
    const auto current = ReadThreadPriority(CurrentThreadId());
    if (!current) return false;
    const PriorityValues values = PriorityValuesOf(*current);
    if (!values.Named) return true;
    if (auto name = ThreadPriorityName(values.ThreadValue)) threadName = *name;
    if (auto name = ProcessPriorityName(values.ClassValue)) processName = *name;
    return true;
}

#endif

bool SetTaskPrior(std::string_view threadName, std::string_view processName) {
    SetPriority(threadName, processName);
    std::string threadNow;
    std::string processNow;
    if (!GetPriority(threadNow, processNow)) return false;
    return threadNow != threadName || processNow != processName;
}

} // namespace zep
