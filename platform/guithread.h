#pragma once

#include <functional>

// Runs fn on the GUI thread and waits for it to return. Called on the GUI
// thread itself, or in a process without a QCoreApplication (the headless
// tools), fn runs at once on the calling thread.
void runOnGuiThreadAndWait(const std::function<void()> &fn);

// True on the thread of the QCoreApplication, or when there is none.
bool isGuiThread();
