#pragma once
// What the export and import dialogs share: the multi-choice list of dashboards under its
// caption, the chosen IDs as text, and those IDs as bound values of an IN (...) condition.

#include <QString>
#include <QVariantList>

class QDialog;
class QHBoxLayout;
class QListWidget;

// Lays out the dialog: the caption, a list in which several entries can be chosen, and the
// button row at the foot.
QListWidget* BuildDashboardChoice(QDialog* dialog, const QString& caption, QHBoxLayout* buttons);
// The item data of every selected entry in list order, in decimal, joined by ",".
QString SelectedIDsText(const QListWidget* list);
// "3,7,12" as the values 3, 7 and 12.
QVariantList IDValues(const QString& ids);
// "(?, ?, ?)" for that many values.
QString InListMarks(qsizetype count);
