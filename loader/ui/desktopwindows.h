#pragma once
// The desktop's top-level windows by title: find them, ask them to close, bring one to the
// front. Through Xlib where an X server is reachable; elsewhere every call finds nothing and
// does nothing.

#include <QString>
#include <vector>

namespace desktop {

struct TopLevel {
    unsigned long id = 0;
    QString title;
};

// The managed top-level windows (the window manager's client list, else the root's
// children), with their titles.
std::vector<TopLevel> topLevelWindows();

// Posts a close request (WM_DELETE_WINDOW) to every top-level window whose title contains
// `part` (or equals it when `exact`); returns how many were asked.
int closeWindows(const QString& part, bool exact = false);

// Brings the first window titled `title` to the front; false when there is none.
bool activateWindow(const QString& title);

} // namespace desktop
