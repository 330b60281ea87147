#pragma once
// Filling and selecting combo and list boxes by their item data (usually a repository ID), and
// the key filter of name boxes. A list operation on a missing control does nothing.

#include <QString>

#include <cstdint>

class QComboBox;
class QListWidget;
class QWidget;

void Combo_AddItem(QComboBox* combo, const QString& text, int32_t data);
// Selects the first item with the data; nothing selected when no item has it.
void Combo_SelectByData(QComboBox* combo, int32_t data);
// Selects the first item whose text matches, blanks trimmed, without regard to case.
void Combo_SelectByText(QComboBox* combo, const QString& text);
void List_AddItem(QListWidget* list, const QString& text, int32_t data);
// Clears the current item, then selects the first item with the data.
void List_SelectByData(QListWidget* list, int32_t data);
// The item data of a list or combo item as List_AddItem / Combo_AddItem stored it.
int32_t Combo_ItemData(const QComboBox* combo, int index);
int32_t List_ItemData(const QListWidget* list, int row);

// Refuses the characters that can't stand in a name: ' " * and +. A refused key beeps and its
// code becomes 0; every other key passes unchanged.
void ValidNameKey(int& keyAscii);
// Puts ValidNameKey in front of a name box's key presses.
void InstallValidNameKey(QWidget* box);
