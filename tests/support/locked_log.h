// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated unit's frame log (SimOptions::log), written on the unit's thread and read
// on the test's: one line per frame received ("<- QS") and sent ("-> Ni 2 300 1 0 0 0").
#pragma once

#include <QString>
#include <QStringList>
#include <mutex>
#include <streambuf>
#include <string>

namespace kelvandor::testing {

class LockedLog : public std::streambuf {
  public:
    // The parameters of the last frame the unit sent with this mnemonic ("Ni"); empty
    // when it sent none.
    QStringList lastSent(const QString& mnemonic) {
        const QStringList lines = text().split('\n');
        for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
            if (line->startsWith(QStringLiteral("-> ") + mnemonic + ' ')) {
                return line->mid(3 + mnemonic.size() + 1).split(' ');
            }
        }
        return {};
    }
    // Every frame the unit sent with one of these mnemonics, in order, as "Ni 2 300 1 0 0 0".
    QStringList sent(const QStringList& mnemonics) {
        QStringList found;
        for (const QString& line : text().split('\n')) {
            for (const QString& m : mnemonics) {
                if (line.startsWith(QStringLiteral("-> ") + m + ' ')) {
                    found.append(line.mid(3));
                }
            }
        }
        return found;
    }
    // How many frames the unit has put on its line so far (not those a fault kept back).
    int sentCount() {
        int count = 0;
        for (const QString& line : text().split('\n')) {
            count += line.startsWith(QStringLiteral("-> ")) && !line.contains(QStringLiteral(" ("))
                         ? 1
                         : 0;
        }
        return count;
    }

    QString text() {
        std::lock_guard lock(mutex_);
        return QString::fromStdString('\n' + text_);
    }

  protected:
    int overflow(int c) override {
        std::lock_guard lock(mutex_);
        text_ += static_cast<char>(c);
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::lock_guard lock(mutex_);
        text_.append(s, static_cast<std::size_t>(n));
        return n;
    }

  private:
    std::mutex mutex_;
    std::string text_;
};

}  // namespace kelvandor::testing
