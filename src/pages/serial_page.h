// SPDX-License-Identifier: GPL-3.0-or-later
// The Serial Communication page: chooses the COM port and opens or closes the link. At
// creation it connects by itself to the first of COM2..COM9 that opens (or to the one port
// the command line chose). When the line is lost (the device hung up or was pulled, the
// serial server went away) the page shows the link closed and tries the same port again
// once a second, silently, until it opens or the user clicks the button. Below the group
// it says where the chosen COM name leads: a device path or a network URL.
//
// Once the window is up, a network port is opened without waiting (a click on Connect, a
// retry): a fast timer moves the open on and the page shows its outcome when it ends, so
// the window takes the user's input meanwhile. A click on Connect gives up an open under
// way and decides afresh; closing the window gives it up too.
#pragma once

#include <QString>

#include "host/page_dialog.h"

namespace kelvandor {

class SerialPage : public PageDialog {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 106;
    // Control ids.
    static constexpr int BaudList = 1070;
    static constexpr int PortPicture = 1001;
    static constexpr int FirstPortRadio = 1064;  // COM1; the group runs to COM8 (1073)
    static constexpr int ConnectButton = 1071;
    // Where the chosen name leads ("COM2: /dev/ttyUSB0", "COM3: rfc2217://mast:2000").
    static constexpr int PortTargetText = 1090;
    static constexpr int PortRadios[8] = {1064, 1065, 1066, 1067, 1068, 1069, 1072, 1073};
    // The timer that tries a lost port again.
    static constexpr int ReconnectTimerId = 1;
    static constexpr int ReconnectPeriodMs = 1000;
    // The timer that moves a network open on while it is under way.
    static constexpr int OpenStepTimerId = 2;
    static constexpr int OpenStepMs = 10;

    SerialPage();

    // Opens (true) or closes (false) the link; returns whether it is open afterwards.
    bool setLinkOpen(bool open);
    void onConnectClicked();
    // The link driver found the open port's device gone: closes the port, stops the
    // receive tick, shows the link closed and starts trying the same port again.
    void onLineLost();
    bool isReconnecting() const { return isDialogTimerActive(ReconnectTimerId); }

    int portIndex = 1;      // 0..7 for COM1..COM8; COM2 at start
    int baudSelection = 1;  // "19200"

  protected:
    void onInitDialog() override;
    void onTimer(int timerId) override;

  private:
    // Why an open was begun: the page answers a retry silently and a click with a message.
    enum class OpenPurpose { Retry, Connect };

    // Opens "COM<portNumber>", waiting for it; on success shows it open.
    bool openPort(int portNumber);
    // Starts opening "COM<portNumber>" without waiting; onOpenEnded follows, at once or
    // from the open step timer.
    void beginOpen(int portNumber, OpenPurpose purpose);
    void onOpenStep();
    void onOpenEnded();
    // Shows COM<portNumber> open: its plate and where it leads; starts the receive tick.
    void showOpened(int portNumber);
    void onReconnectTick();
    void onPortChosen();
    // Shows where COM<portNumber> leads, with what the last open said about the line.
    void showPortTarget(int portNumber);
    QString openFailureMessage(int portNumber) const;

    int openedPort_ = 0;   // the COM number last opened, tried again after a loss
    int openingPort_ = 0;  // the COM number of the open under way
    OpenPurpose openPurpose_ = OpenPurpose::Retry;
};

}  // namespace kelvandor
