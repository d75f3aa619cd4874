// Child processes and virtual X servers for the end-to-end tests. Xlib stays
// inside x_session.cpp: its macros (None, Bool, Status) clash with GoogleTest.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

// A variable to set (a value) or to remove (no value) in a child's environment.
using EnvironmentChange = std::pair<std::string, std::optional<std::string>>;

// Starts argv[0] (looked up in PATH when it has no slash) in working_dir with
// the parent's environment plus changes, stdout and stderr going to the two
// files. -1 when the process cannot be started.
pid_t start_process(const std::vector<std::string>& argv, const std::string& working_dir,
                    const std::vector<EnvironmentChange>& changes, const std::string& stdout_path,
                    const std::string& stderr_path);

// Waits up to timeout_seconds for the child to end. True once it has ended:
// exit_status is its exit code, or 128 + the signal that ended it.
bool wait_for_exit(pid_t pid, double timeout_seconds, int& exit_status);

// Ends a child that is still running (SIGTERM, then SIGKILL) and reaps it.
void stop_process(pid_t pid);

// Seconds from a steady clock.
double now_seconds();

struct VirtualScreen {
    pid_t pid = -1;
    std::string display;  // ":N"
};

// Starts Xvfb with one screen of width x height x 24 on a display number it
// picks itself; returns once the server accepts clients. False with a reason.
bool start_virtual_screen(int width, int height, VirtualScreen& screen, std::string& error);

// Sends WM_DELETE_WINDOW, as a window manager's close button does, to the
// top-level window whose _NET_WM_PID is owner. False with a reason when no
// such window exists.
bool request_window_close(const std::string& display, pid_t owner, std::string& error);

// Sends WM_DELETE_WINDOW to the mapped top-level window titled title. Under
// Wine a program's process also owns hidden top-level windows (its input
// method window, for one), so the window is picked by its title rather than
// by its process. False with a reason when there is no such window.
bool request_close_of_titled_window(const std::string& display_name, const std::string& title,
                                    std::string& error);

// The ten sample files, in the order the showcase decodes them.
extern const char* const kSampleFiles[10];

// Makes a fresh folder prefix-XXXXXX in the system's temporary folder with a
// samples/ folder inside holding copies of the ten files from samples_dir.
// Sets base and samples to the two folders; false with a reason.
bool copy_samples_to_temp(const std::string& prefix, const std::string& samples_dir,
                          std::string& base, std::string& samples, std::string& error);

// True when a program of that name is found in PATH.
bool program_in_path(const std::string& name);
