// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the main window against a pseudo-terminal that the test holds as the antenna's
// side of the line, with a scripted prompter. The pty is linked as COMn in a private
// port directory, so the window's automatic connection finds it.
#pragma once

#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "protocol/frame_codec.h"
#include "shell/main_dialog.h"
#include "support/pty_pair.h"
#include "ui/prompter.h"

namespace kelvandor::testing {

class ControllerHarness {
  public:
    // `comNumber` is the COM number the pty is linked as; 0 links none (no port at all).
    explicit ControllerHarness(int comNumber = 2);
    ~ControllerHarness();
    ControllerHarness(const ControllerHarness&) = delete;
    ControllerHarness& operator=(const ControllerHarness&) = delete;

    MainDialog& dialog() { return *dialog_; }
    PtyPair& line() { return *line_; }
    ComPortNaming naming() const;
    // Links the pty as COMn (in addition to any link made before).
    void linkAs(int comNumber);
    // Hangs the line up, as a pulled USB adapter does.
    void hangUp();
    // Plugs a new line in under the COM names of the old one, as an adapter plugged in
    // again does. What the controller wrote to the old line is forgotten.
    void replug();

    // Writes the frame of `id` with `params` to the line, as the antenna would.
    void inject(CommandId id, std::initializer_list<std::int32_t> params = {});
    void injectBytes(const std::string& bytes);
    // Injects one frame and waits (dispatching events, so the receive timer runs) until
    // the main window has handled it. False when it was not dispatched within 5 s.
    bool deliver(CommandId id, std::initializer_list<std::int32_t> params = {});

    // Every frame the controller has written since the last call, in the line format of
    // kelvandor-cli decode ("LT 0 0"). Waits until every byte the controller's port has
    // written so far has come out of the line (at most 5 s), so it never returns early
    // on a slow machine and never waits when nothing was written.
    std::vector<std::string> sentLines();

    // The system calls the harness gives the controller's port: the real ones, counting
    // the bytes written. A test that installs its own calls puts these back afterwards.
    SystemCalls& portCalls();
    // How often the controller's port has tried to open a device (or to connect to a
    // network port's address) since the harness gave it its calls.
    int openAttempts() const;

    ui::ScriptedPrompter prompter;

  private:
    class CountingCalls;

    std::unique_ptr<CountingCalls> calls_;
    std::size_t bytesTaken_ = 0;  // bytes read from the line by sentLines
    QTemporaryDir dir_;
    std::unique_ptr<PtyPair> line_;
    std::vector<int> linkedAs_;
    std::unique_ptr<MainDialog> dialog_;
    ui::Prompter* previous_ = nullptr;
    ReceiveBuffer sent_;
    FrameScratch scratch_;
};

// The encoded bytes of a frame.
std::string frameBytes(CommandId id, std::initializer_list<std::int32_t> params = {});

// A satellite name as the line carries it: two words of four characters each.
std::array<std::int32_t, 2> packedName(const char* name);

// Lines as a QStringList, which Qt Test prints whole when a comparison fails.
QStringList linesOf(const std::vector<std::string>& lines);

}  // namespace kelvandor::testing
