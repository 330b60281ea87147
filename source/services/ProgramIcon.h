#pragma once
// The program's own icon, drawn here so that it scales cleanly: a dashboard tile with three
// bars and a lit beacon. Every window of the program carries it, panel title bars included.

#include <QIcon>

QIcon ProgramIcon();
// Makes it the icon of every window that has none of its own.
void InstallProgramIcon();
