// What every form of the program shares: its title, its message boxes, the one wrapper that turns a
// failure inside an event handler into an error box, and the test probe.
#pragma once

#include <QString>
#include <exception>
#include <utility>

class QWidget;

namespace tavc::assistant {

// The executable's file name up to its first dot, every character after the first in lower case.
QString ApplicationTitle();

// A failure's text as the error box shows it: a full stop added when the last character sorts above it.
QString ErrorBoxText(const QString& what);

// Moves a window, before it is first shown, to the centre of the desktop (not over its owner).
void PlaceAtDesktopCentre(QWidget* window);

// Modal boxes with one OK button, captioned with the application title.
void ShowMessage(QWidget* owner, const QString& text);
void ShowErrorBox(QWidget* owner, const QString& what);

// Runs an event handler; a failure ends it and is shown in the error box, and the program runs on.
template <class Handler>
void RunHandler(QWidget* owner, Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& e) {
        ShowErrorBox(owner, QString::fromUtf8(e.what()));
    }
}

// Test-only: with TAVCCLT_TEST_PROBE naming a file, each state change the tests watch is appended to it
// as one line. Does nothing otherwise.
void TestProbe(const QString& line);
// Test-only: the texts of a window's buttons, as one probe line "buttons <text>|<text>...".
void ProbeButtons(const QWidget& window);

}  // namespace tavc::assistant
