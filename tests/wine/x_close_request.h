// A close request to one named top-level window, as a window manager's close
// button sends it. Xlib stays in the .cpp: its macros clash with GoogleTest.
#pragma once

#include <string>

// Sends WM_DELETE_WINDOW to the mapped top-level window titled title. Under
// Wine a program's process also owns hidden top-level windows (its input
// method window, for one), so the window is picked by its title rather than
// by its process. False with a reason when there is no such window.
bool request_close_of_titled_window(const std::string& display_name, const std::string& title,
                                    std::string& error);
