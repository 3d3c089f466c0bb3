#pragma once

#include <filesystem>
#include <string>

#include <QImage>

#include "TestSupport.h"

// A private X server (Xvfb) whose screen lies in a file, so that a test can look at what a
// real program drew there without any help from the program. The server picks a free
// display number itself; it ends with the object.
class XScreen {
public:
    XScreen(int width, int height);
    bool started() const { return display_ >= 0; }
    // ":<number>", for DISPLAY.
    std::string display() const { return ":" + std::to_string(display_); }
    // What the screen shows now, as RGB32; a null image when the file cannot be read.
    QImage grab() const;
    // Runs xdotool on this screen with the given commands; true when it ended with 0.
    bool xdotool(const std::vector<std::string>& commands) const;

private:
    testsupport::TempDir dir_;
    testsupport::ChildProcess server_;
    int display_ = -1;
};
