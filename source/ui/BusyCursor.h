#pragma once
// The busy cursor for a scope: shown when the guard is made, the cursor before it back when the
// guard goes, whatever way the scope is left. Guards nest, each taking back its own.

#include <QGuiApplication>

class BusyCursor {
public:
    // The hourglass by default; a pass the user may work beside shows Qt::BusyCursor.
    explicit BusyCursor(Qt::CursorShape shape = Qt::WaitCursor) {
        QGuiApplication::setOverrideCursor(shape);
    }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};
