#pragma once
// The date a record holds when no time is known: rows without a value and new records read
// 1 January 1900, so no stored date is ever empty or invalid.

#include <QDate>
#include <QDateTime>
#include <QTime>

inline QDateTime NoDate() { return QDateTime(QDate(1900, 1, 1), QTime(0, 0)); }
