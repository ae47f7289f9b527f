// Process and thread priority by the names the settings dialog offers, mapped to the platform's
// scheduling priorities.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zep {

// Thread priority: "idle" -15, "lowest" -2, "below normal" -1, "normal" 0, "above normal" 1,
// "highest" 2, "time critical" 15; any other name 0.
int ThreadPriorityValue(std::string_view name);
// Process priority class: "Idle" 64, "Normal" 32, "High" 128, "Real-Time" 256; any other name 0.
int ProcessPriorityValue(std::string_view name);
// The names of the values; nullopt for a value without a name.
std::optional<std::string> ThreadPriorityName(int value);
std::optional<std::string> ProcessPriorityName(int value);

// Where the system has no priority classes (Linux and the other Unix systems), a thread's
// priority is its nice value: the class gives a base (Idle 16, Normal 0, High -10, Real-Time -17)
// and the thread priority an offset from it (lowest +2, below normal +1, normal 0, above normal -1,
// highest -2, time critical -3); "idle" is the idle scheduling policy at the base. The bases lie
// so far apart that every nice value these give names its class and thread priority again.
struct UnixPriority {
    int Nice = 0;
    bool IdlePolicy = false;
};
// nullopt when the class value is none of the four.
std::optional<UnixPriority> UnixPriorityOf(int threadValue, int classValue);
// The class and thread values a nice value and policy stand for; zero members for a state that
// no pair of names produces.
struct PriorityValues {
    int ThreadValue = 0;
    int ClassValue = 0;
    bool Named = false;
};
PriorityValues PriorityValuesOf(const UnixPriority& priority);

// Sets the current thread's priority and the process's priority class. An unknown class name
// leaves the class as it is. Returns false when the system refused a change (raising a priority
// usually needs privileges).
bool SetPriority(std::string_view threadName, std::string_view processName);

// False when the current priorities cannot be read; otherwise sets the names of the current
// values (a value without a name leaves its name unchanged) and returns true.
bool GetPriority(std::string& threadName, std::string& processName);

constexpr std::string_view PriorityFailedText = "Priority change failed!";
constexpr std::string_view PriorityFailedTitle = "ERROR";

// The dialog's apply button: sets both priorities, then reads them back. True when they read back
// as other names than the selected ones: the dialog then shows PriorityFailedText titled
// PriorityFailedTitle with a critical icon.
bool SetTaskPrior(std::string_view threadName, std::string_view processName);

} // namespace zep
