#pragma once

class QWidget;

// The window a new window serves: the modal window in front, else the active
// one; none when the program has no window in front.
QWidget *ServedWindow();

// Makes a new top-level window one of the window it serves, so that the
// window manager opens it, and keeps it, in front of that one (on top as
// well when that one stays on top). It is not its child: it may outlive it.
void KeepInFrontOf(QWidget &window, const QWidget *served = ServedWindow());
