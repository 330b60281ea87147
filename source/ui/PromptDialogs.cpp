#include "ui/PromptDialogs.h"

#include "ui/MailFolderDialog.h"
#include "services/UserPrompts.h"
#include "services/modUtilsHelp.h"
#include "ui/HelpWindow.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace {

QPointer<QWidget>& Owner() {
    static QPointer<QWidget> owner;
    return owner;
}

QWidget* ParentOr(QWidget* parent) { return parent ? parent : Owner().data(); }

// Without a widget application nothing can be shown: the prompt takes its default answer.
bool CanShow() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

struct Choice {
    QMessageBox::StandardButton button;
    int result;
};

std::vector<Choice> ButtonsOf(int style) {
    switch (style & 7) {
    case vbOKCancel: return {{QMessageBox::Ok, vbOK}, {QMessageBox::Cancel, vbCancel}};
    case vbAbortRetryIgnore:
        return {{QMessageBox::Abort, vbAbort}, {QMessageBox::Retry, vbRetry}, {QMessageBox::Ignore, vbIgnore}};
    case vbYesNoCancel:
        return {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}, {QMessageBox::Cancel, vbCancel}};
    case vbYesNo: return {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}};
    case vbRetryCancel: return {{QMessageBox::Retry, vbRetry}, {QMessageBox::Cancel, vbCancel}};
    default: return {{QMessageBox::Ok, vbOK}};
    }
}

class QtPromptDialogs final : public PromptDialogs {
public:
    int MessageBox(const QString& prompt, int style, const QString& caption) override {
        if (!CanShow())
            return DefaultMsgBoxAnswer(style);
        QMessageBox box(ParentOr(nullptr));
        box.setWindowTitle(caption);
        box.setText(prompt);
        switch (style & 0x70) {
        case vbCritical: box.setIcon(QMessageBox::Critical); break;
        case vbQuestion: box.setIcon(QMessageBox::Question); break;
        case vbExclamation: box.setIcon(QMessageBox::Warning); break;
        case vbInformation: box.setIcon(QMessageBox::Information); break;
        default: break;
        }
        const std::vector<Choice> choices = ButtonsOf(style);
        QMessageBox::StandardButtons buttons;
        for (const auto& c : choices)
            buttons |= c.button;
        box.setStandardButtons(buttons);
        const int defaultIndex = (style & vbDefaultButton3) ? 2 : (style & vbDefaultButton2) ? 1 : 0;
        box.setDefaultButton(choices[std::min<size_t>(defaultIndex, choices.size() - 1)].button);
        const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
        for (const auto& c : choices)
            if (c.button == pressed)
                return c.result;
        // Closing the box with Escape or its close button: Cancel where there is one, else the
        // last button (No, OK).
        for (const auto& c : choices)
            if (c.result == vbCancel)
                return vbCancel;
        return choices.back().result;
    }

    QString OpenFile(QWidget* parent, const QString& title, const QString& start,
                     const QString& filter) override {
        if (!CanShow())
            return QString();
        return QFileDialog::getOpenFileName(ParentOr(parent), title, start, filter);
    }

    QString SaveFile(QWidget* parent, const QString& title, const QString& start,
                     const QString& filter, const QString& defaultSuffix) override {
        if (!CanShow())
            return QString();
        QFileDialog dialog(ParentOr(parent), title, start, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!defaultSuffix.isEmpty())
            dialog.setDefaultSuffix(defaultSuffix);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            return dialog.selectedFiles().first();
        return QString();
    }

    QString Folder(QWidget* parent, const QString& title, const QString& start) override {
        if (!CanShow())
            return QString();
        QFileDialog dialog(ParentOr(parent), title, start);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            return dialog.selectedFiles().first();
        return QString();
    }

    QColor Color(QWidget* parent, const QColor& initial) override {
        if (!CanShow())
            return QColor();
        return QColorDialog::getColor(initial, ParentOr(parent));
    }

    QVariant Item(const QString& title, const QString& prompt, const QStringList& items) override {
        if (!CanShow())
            return QVariant();
        bool ok = false;
        const QString item =
            QInputDialog::getItem(ParentOr(nullptr), title, prompt, items, 0, false, &ok);
        return ok ? QVariant(item) : QVariant();
    }

    QVariant MailFolder(const mail::Folder& tree) override {
        if (!CanShow())
            return QVariant();
        MailFolderDialog dialog(tree, ParentOr(nullptr));
        if (dialog.exec() != QDialog::Accepted)
            return QVariant();
        return dialog.FolderValue();
    }
};

}  // namespace

void InstallPromptDialogs() {
    SetPromptDialogs(std::make_unique<QtPromptDialogs>());
    SetHelpViewer({ShowHelpWindow, CloseHelpWindow});
}

void SetDialogOwner(QWidget* owner) { Owner() = owner; }

QWidget* DialogOwner() { return Owner().data(); }
