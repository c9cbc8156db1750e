// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/prompter.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <chrono>
#include <thread>

namespace kelvandor::ui {

namespace {

Prompter* installed = nullptr;

QMessageBox::Icon toQt(Icon icon) {
    switch (icon) {
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Exclamation:
            return QMessageBox::Warning;
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QString applicationTitle() {
    return QStringLiteral("Kelvandor Antenna PC Controller Ver 3.12");
}

Answer QtPrompter::message(const QString& text, Buttons buttons, Icon icon) {
    QMessageBox box(toQt(icon), applicationTitle(), text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);  // messages may quote names from the line or a file
    switch (buttons) {
        case Buttons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Buttons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case Buttons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Cancel:
            return Answer::Cancel;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            break;
    }
    // A box closed with Escape or the title bar counts as its negative button.
    if (box.clickedButton() == nullptr && buttons != Buttons::Ok) {
        return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
    return Answer::Ok;
}

QString QtPrompter::openFileName(const QString& filter, const QString& defaultSuffix) {
    QFileDialog dialog(QApplication::activeWindow(), applicationTitle(), QString(), filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

QString QtPrompter::saveFileName(const QString& filter, const QString& defaultSuffix) {
    QFileDialog dialog(QApplication::activeWindow(), applicationTitle(), QString(), filter);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

void QtPrompter::pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int QtPrompter::runDialog(QDialog& dialog) {
    return dialog.exec();
}

Answer ScriptedPrompter::message(const QString& text, Buttons buttons, Icon icon) {
    messages.push_back({text, buttons, icon});
    if (answers.empty()) {
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

QString ScriptedPrompter::openFileName(const QString& filter, const QString& /*defaultSuffix*/) {
    fileFilters.append(filter);
    if (files.empty()) {
        return {};
    }
    QString file = files.front();
    files.pop_front();
    return file;
}

QString ScriptedPrompter::saveFileName(const QString& filter, const QString& defaultSuffix) {
    return openFileName(filter, defaultSuffix);
}

void ScriptedPrompter::pause(int ms) {
    pauses.push_back(ms);
    if (realPauses) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

int ScriptedPrompter::runDialog(QDialog& dialog) {
    dialogTitles.append(dialog.windowTitle());
    if (dialogUsers.empty()) {
        return QDialog::Rejected;
    }
    const std::function<int(QDialog&)> user = std::move(dialogUsers.front());
    dialogUsers.pop_front();
    return user(dialog);
}

Prompter& prompter() {
    static QtPrompter real;
    return installed != nullptr ? *installed : real;
}

Prompter* installPrompter(Prompter* p) {
    Prompter* previous = installed;
    installed = p;
    return previous;
}

}  // namespace kelvandor::ui
