// SPDX-License-Identifier: GPL-3.0-or-later
// The one seam for talking to the user outside the windows themselves: message boxes,
// the file-open dialog and the short blocking pauses. The program uses QtPrompter;
// tests and the screenshot tool install a ScriptedPrompter that records every text and
// answers from a queue. Nothing else in the program opens a box.
#pragma once

#include <QString>
#include <QStringList>

class QDialog;
#include <deque>
#include <functional>
#include <vector>

namespace kelvandor::ui {

enum class Buttons { Ok, OkCancel, YesNo };
enum class Icon { None, Warning, Exclamation, Information };
enum class Answer { Ok, Cancel, Yes, No };

class Prompter {
  public:
    virtual ~Prompter() = default;
    // Shows a modal message box with the application's title as caption. Events keep
    // being dispatched while it is open. Returns the button chosen.
    virtual Answer message(const QString& text, Buttons buttons, Icon icon) = 0;
    // Asks for a file to open. `filter` as QFileDialog takes it ("Default files (*.rif)"),
    // `defaultSuffix` without the dot. Returns the chosen path, empty when cancelled.
    virtual QString openFileName(const QString& filter, const QString& defaultSuffix) = 0;
    // Asks for a file to save to, as openFileName; the file need not exist (the dialog
    // asks before one is replaced). Returns the chosen path, empty when cancelled.
    virtual QString saveFileName(const QString& filter, const QString& defaultSuffix) = 0;
    // Blocks the thread for `ms` milliseconds without dispatching anything.
    virtual void pause(int ms) = 0;
    // Runs a small modal dialog of the program ("Select Product Size") and returns its
    // result, QDialog::Accepted or QDialog::Rejected. Events keep being dispatched while it
    // is open.
    virtual int runDialog(QDialog& dialog) = 0;
};

// Message boxes and file dialogs of Qt; pauses that really sleep.
class QtPrompter : public Prompter {
  public:
    Answer message(const QString& text, Buttons buttons, Icon icon) override;
    QString openFileName(const QString& filter, const QString& defaultSuffix) override;
    QString saveFileName(const QString& filter, const QString& defaultSuffix) override;
    void pause(int ms) override;
    int runDialog(QDialog& dialog) override;
};

// Records what the program asked and answers from queues. An empty answer queue gives
// the first button of the box (Ok or Yes) and no file. Pauses are recorded and return at
// once, or block for their time when `realPauses` is set (a test of timing on the line).
class ScriptedPrompter : public Prompter {
  public:
    Answer message(const QString& text, Buttons buttons, Icon icon) override;
    QString openFileName(const QString& filter, const QString& defaultSuffix) override;
    // Answers from the same queue of files as openFileName.
    QString saveFileName(const QString& filter, const QString& defaultSuffix) override;
    void pause(int ms) override;
    // Records the dialog's title and answers it with the next scripted user: a function
    // that sets the dialog's controls as a user would and returns the result (for example
    // by clicking its OK button). With none queued the dialog is cancelled.
    int runDialog(QDialog& dialog) override;

    struct Shown {
        QString text;
        Buttons buttons;
        Icon icon;
    };
    std::vector<Shown> messages;
    std::vector<int> pauses;
    bool realPauses = false;
    std::deque<Answer> answers;
    std::deque<QString> files;
    QStringList fileFilters;
    std::deque<std::function<int(QDialog&)>> dialogUsers;
    QStringList dialogTitles;
};

// The prompter the program uses; a QtPrompter unless one has been installed.
Prompter& prompter();
// Installs `p` (not owned) and returns the one it replaces; nullptr restores QtPrompter.
Prompter* installPrompter(Prompter* p);

// The application's title, the caption of every message box.
QString applicationTitle();

}  // namespace kelvandor::ui
