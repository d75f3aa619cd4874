#include "tests/showcase/x_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

extern char** environ;

namespace {

std::vector<std::string> changed_environment(const std::vector<EnvironmentChange>& changes) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : changes) {
        if (value) {
            variables[name] = *value;
        } else {
            variables.erase(name);
        }
    }
    std::vector<std::string> result;
    for (const auto& [name, value] : variables) result.push_back(name + "=" + value);
    return result;
}

std::vector<char*> c_strings(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

int exit_status_of(int wait_status) {
    if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
    return -1;
}

}  // namespace

double now_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

pid_t start_process(const std::vector<std::string>& argv, const std::string& working_dir,
                    const std::vector<EnvironmentChange>& changes, const std::string& stdout_path,
                    const std::string& stderr_path) {
    // Everything the child needs is prepared before the fork.
    std::vector<std::string> arguments = argv;
    std::vector<std::string> environment = changed_environment(changes);
    std::vector<char*> argument_pointers = c_strings(arguments);
    std::vector<char*> environment_pointers = c_strings(environment);
    const int out = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0 || err < 0) {
        if (out >= 0) close(out);
        if (err >= 0) close(err);
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        if (dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) _exit(126);
        const int null_input = open("/dev/null", O_RDONLY);
        if (null_input >= 0) dup2(null_input, STDIN_FILENO);
        if (!working_dir.empty() && chdir(working_dir.c_str()) != 0) _exit(126);
        environ = environment_pointers.data();
        execvp(argument_pointers[0], argument_pointers.data());
        _exit(127);
    }
    close(out);
    close(err);
    return pid;
}

bool wait_for_exit(pid_t pid, double timeout_seconds, int& exit_status) {
    const double deadline = now_seconds() + timeout_seconds;
    for (;;) {
        int wait_status = 0;
        const pid_t ended = waitpid(pid, &wait_status, WNOHANG);
        if (ended == pid) {
            exit_status = exit_status_of(wait_status);
            return true;
        }
        if (ended < 0) {
            exit_status = -1;
            return true;
        }
        if (now_seconds() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void stop_process(pid_t pid) {
    if (pid <= 0) return;
    int exit_status = 0;
    if (wait_for_exit(pid, 0.0, exit_status)) return;
    kill(pid, SIGTERM);
    if (wait_for_exit(pid, 3.0, exit_status)) return;
    kill(pid, SIGKILL);
    wait_for_exit(pid, 10.0, exit_status);
}

bool program_in_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string folders = path;
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

bool start_virtual_screen(int width, int height, VirtualScreen& screen, std::string& error) {
    // -displayfd lets the server pick a free display number and tell us once
    // it is ready, so tests running side by side never collide.
    int ready_pipe[2];
    if (pipe(ready_pipe) != 0) {
        error = "pipe failed";
        return false;
    }
    const std::string size = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string log_path = "/dev/null";
    const pid_t pid = start_process({"Xvfb", "-displayfd", std::to_string(ready_pipe[1]), "-screen",
                                     "0", size, "-nolisten", "tcp", "-noreset"},
                                    "", {}, log_path, log_path);
    close(ready_pipe[1]);
    if (pid < 0) {
        close(ready_pipe[0]);
        error = "cannot start Xvfb";
        return false;
    }
    std::string number;
    const double deadline = now_seconds() + 20.0;
    while (number.empty() || number.back() != '\n') {
        pollfd waiting{ready_pipe[0], POLLIN, 0};
        const int remaining_ms = static_cast<int>((deadline - now_seconds()) * 1000);
        if (remaining_ms <= 0 || poll(&waiting, 1, remaining_ms) <= 0) break;
        char buffer[32];
        const ssize_t count = read(ready_pipe[0], buffer, sizeof buffer);
        if (count <= 0) break;
        number.append(buffer, static_cast<size_t>(count));
    }
    close(ready_pipe[0]);
    if (number.empty() || number.back() != '\n') {
        stop_process(pid);
        error = "Xvfb did not report a display number";
        return false;
    }
    number.pop_back();
    screen.pid = pid;
    screen.display = ":" + number;
    return true;
}

namespace {

// Depth-first search of the window tree for a window carrying _NET_WM_PID = owner.
Window find_window_of(Display* display, Window window, Atom pid_atom, pid_t owner) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr) {
        const bool match = format == 32 && count == 1 &&
                           static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == owner;
        XFree(data);
        if (match) return window;
    }
    Window root_return = 0;
    Window parent_return = 0;
    Window* children = nullptr;
    unsigned int child_count = 0;
    if (XQueryTree(display, window, &root_return, &parent_return, &children, &child_count) == 0) {
        return 0;
    }
    Window found = 0;
    for (unsigned int i = 0; i < child_count && found == 0; ++i) {
        found = find_window_of(display, children[i], pid_atom, owner);
    }
    if (children != nullptr) XFree(children);
    return found;
}

// What a window manager's close button sends.
void send_delete_window(Display* display, Window window) {
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

bool is_mapped_and_titled(Display* display, Window window, const std::string& title) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) == 0) return false;
    if (attributes.map_state != IsViewable) return false;
    char* name = nullptr;
    if (XFetchName(display, window, &name) == 0 || name == nullptr) return false;
    const bool same = title == name;
    XFree(name);
    return same;
}

}  // namespace

bool request_window_close(const std::string& display_name, pid_t owner, std::string& error) {
    Display* display = XOpenDisplay(display_name.c_str());
    if (display == nullptr) {
        error = "cannot open display " + display_name;
        return false;
    }
    const Atom pid_atom = XInternAtom(display, "_NET_WM_PID", False);
    const Window window = find_window_of(display, DefaultRootWindow(display), pid_atom, owner);
    if (window == 0) {
        XCloseDisplay(display);
        error = "no window with _NET_WM_PID " + std::to_string(owner);
        return false;
    }
    send_delete_window(display, window);
    XCloseDisplay(display);
    return true;
}

bool request_close_of_titled_window(const std::string& display_name, const std::string& title,
                                    std::string& error) {
    Display* display = XOpenDisplay(display_name.c_str());
    if (display == nullptr) {
        error = "cannot open display " + display_name;
        return false;
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count && found == 0; ++i) {
            if (is_mapped_and_titled(display, children[i], title)) found = children[i];
        }
        if (children != nullptr) XFree(children);
    }
    if (found == 0) {
        XCloseDisplay(display);
        error = "no mapped top-level window titled \"" + title + "\"";
        return false;
    }
    send_delete_window(display, found);
    XCloseDisplay(display);
    return true;
}

const char* const kSampleFiles[10] = {"1bit.bmp",       "4bit.bmp",     "8bit.bmp",
                                      "16bit.bmp",      "24bit.bmp",    "32bit.bmp",
                                      "32bitAlf2.bmp",  "16bitAlf.bmp", "16Bit_Vorn.bmp",
                                      "32BitAlf.bmp"};

bool copy_samples_to_temp(const std::string& prefix, const std::string& samples_dir,
                          std::string& base, std::string& samples, std::string& error) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        error = "cannot make a temporary folder";
        return false;
    }
    base = pattern;
    samples = (fs::path(base) / "samples").string();
    fs::create_directory(samples);
    for (const char* name : kSampleFiles) {
        std::error_code failure;
        fs::copy_file(fs::path(samples_dir) / name, fs::path(samples) / name, failure);
        if (failure) {
            error = std::string("cannot copy sample ") + name + ": " + failure.message();
            return false;
        }
    }
    return true;
}
