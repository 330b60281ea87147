#pragma once
// Publishing a dashboard: a picture of its panels' area put into a workbook made from the
// dashboard's template in the Templates folder (chosen the first time), then shown to the
// user with the desktop's default application.

#include <QImage>
#include <QString>

#include <functional>

class QPixmap;

// The dashboard's template: the Templates folder, the trimmed name and ".xlsx". A name holding
// a path separator gets "_" in its place, so the template always lies in the Templates folder.
// "" when the Templates folder can't be made.
QString TemplatePathFor(const QString& dashboardName);

// Where publications that are not the template itself are written and shown from: the
// desktop's documents folder (XDG_DOCUMENTS_DIR, ~/Documents by default), made when missing.
QString PublishedWorkbooksFolder();

// The whole publication. `panelCount` is the number of open panel windows; `capture` takes the
// picture of the dashboard area. Every failure is reported to the user.
void PublishWorkspace(const QString& dashboardName, int panelCount,
                      const std::function<bool(QPixmap*)>& capture);

// The workbook part of a publication: the picture into a workbook made from `templatePath`
// ("" for none), which is the template file itself when `pickedFile` is not "". Returns the
// path of the file shown to the user; "" after a failure, which it has reported.
QString PublishIntoWorkbook(const QString& dashboardName, const QString& templatePath,
                            const QString& pickedFile, const QImage& picture);
