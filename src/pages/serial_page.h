// SPDX-License-Identifier: GPL-3.0-or-later
// The Serial Communication page: chooses the COM port and opens or closes the link. At
// creation it connects by itself to the first of COM2..COM9 that opens (or to the one port
// the command line chose). When the line is lost (the device hung up or was pulled, the
// serial server went away) the page shows the link closed and tries the same port again
// once a second, silently, until it opens or the user clicks the button. Below the group
// it says where the chosen COM name leads: a device path or a network URL.
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
    // Opens "COM<portNumber>"; on success shows its plate and starts the receive tick.
    bool openPort(int portNumber);
    void onReconnectTick();
    void onPortChosen();
    // Shows where COM<portNumber> leads, with what the last open said about the line.
    void showPortTarget(int portNumber);
    QString openFailureMessage() const;

    int openedPort_ = 0;  // the COM number last opened, tried again after a loss
};

}  // namespace kelvandor
