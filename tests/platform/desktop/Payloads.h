#pragma once
// Captured clipboard payloads played back through QMimeData, as the clipboard would offer them,
// and the workbooks they point at made afresh in a temporary folder.

#include <QByteArray>
#include <QList>
#include <QMimeData>
#include <QPair>
#include <QString>

#include <memory>

namespace payloads {

// The folder the capturing session copied from; payload bytes and names hold it.
inline const QByteArray kCaptureFolder = "/tmp/cap/wb";

using Rewrites = QList<QPair<QByteArray, QByteArray>>;

QString Folder();
// The offered targets of a case, in the order offered.
QStringList Targets(const QString& caseName);
QByteArray Bytes(const QString& caseName, const QString& target);
// Every target of the case with its bytes; `rewrites` replace text in bytes and target names
// (to point a link at a workbook that exists on this machine).
std::unique_ptr<QMimeData> Load(const QString& caseName, const Rewrites& rewrites = {});
// The same case with its capture folder replaced by `folder`.
std::unique_ptr<QMimeData> LoadIn(const QString& caseName, const QString& folder);

// Writes Sales.xlsx and Sales.xlsm into `folder` with openpyxl; fails the test when it can't.
void MakeWorkbooks(const QString& folder);

}  // namespace payloads
