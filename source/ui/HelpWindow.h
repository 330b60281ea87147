#pragma once
// The help window: one modeless window for the whole program showing the help page, reused by
// every request so that asking for help again brings the same window forward.

class QUrl;

// Opens the window (or brings it forward) at the page and section of the URL.
void ShowHelpWindow(const QUrl& page);
// Closes it. It has no owner, so without this it would keep the program running after the main
// window has closed.
void CloseHelpWindow();
