#include "sharing/SharingLists.h"

#include "ui/modUtilsControls.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QStringList>
#include <QVBoxLayout>

QListWidget* BuildDashboardChoice(QDialog* dialog, const QString& caption, QHBoxLayout* buttons) {
    auto* lblCaption = new QLabel(caption, dialog);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    auto* list = new QListWidget(dialog);
    list->setObjectName(QStringLiteral("lstWorkspaces"));
    list->setSelectionMode(QAbstractItemView::MultiSelection);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(lblCaption);
    layout->addWidget(list);
    layout->addLayout(buttons);
    return list;
}

QString SelectedIDsText(const QListWidget* list) {
    QStringList ids;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->isSelected())
            ids << QString::number(List_ItemData(list, i));
    }
    return ids.join(QLatin1Char(','));
}

QVariantList IDValues(const QString& ids) {
    QVariantList values;
    for (const QString& id : ids.split(QLatin1Char(','), Qt::SkipEmptyParts))
        values << id.toInt();
    return values;
}

QString InListMarks(qsizetype count) {
    QStringList marks;
    for (qsizetype i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return QLatin1Char('(') + marks.join(QStringLiteral(", ")) + QLatin1Char(')');
}
