// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/serial_page.h"

#include <QFileInfo>
#include <cstdio>

#include "host/host_services.h"
#include "link/com_port_name.h"
#include "link/link_driver.h"
#include "link/network_url.h"
#include "link/serial_port.h"
#include "ui/bitmaps.h"
#include "ui/prompter.h"

namespace kelvandor {

namespace {

using ui::ControlKind;
using ui::NoId;

constexpr int AutoConnectAttempts = 8;
constexpr int ReadTimeoutMs = 1;
constexpr int CloseSettleMs = 100;
constexpr int BaudRates[] = {9600, 19200, 38400, 57600, 112000};

constexpr ui::ControlTemplate Controls[] = {
    {NoId, ControlKind::GroupBox, "Serial Communication", 10, 8, 108, 131},
    {1070, ControlKind::DropDownList, "9600\n19200\n38400\n57600\n112000", 26, 27, 34, 67,
     ui::Disabled},
    {1001, ControlKind::Picture, "Serial port", 73, 25, 24, 16, ui::NoFlags,
     ui::bitmap::ComDisconnected},
    {1064, ControlKind::Radio, "COM1", 27, 51, 35, 10, ui::GroupStart},
    {1065, ControlKind::Radio, "COM2", 27, 64, 35, 10},
    {1066, ControlKind::Radio, "COM3", 27, 77, 35, 10},
    {1067, ControlKind::Radio, "COM4", 27, 90, 35, 10},
    {1068, ControlKind::Radio, "COM5", 70, 51, 35, 10},
    {1069, ControlKind::Radio, "COM6", 70, 64, 35, 10},
    {1072, ControlKind::Radio, "COM7", 70, 77, 35, 10},
    {1073, ControlKind::Radio, "COM8", 70, 90, 35, 10},
    {1071, ControlKind::Button, "Connect", 26, 108, 75, 20},
    {SerialPage::PortTargetText, ControlKind::Label, "", 10, 145, 240, 30},
};

constexpr ui::DialogTemplate Layout = {SerialPage::TemplateId, nullptr, 260, 240, Controls};

// The plate of COM1..COM8; any other port shows the disconnected plate.
int plateOf(int portNumber) {
    if (portNumber >= 1 && portNumber <= 8) {
        return ui::bitmap::ComPlates[portNumber - 1];
    }
    return ui::bitmap::ComDisconnected;
}

}  // namespace

SerialPage::SerialPage() : PageDialog(Layout) {
    bindRadioGroup(FirstPortRadio, &portIndex);
    bindComboIndex(BaudList, &baudSelection);
}

void SerialPage::onInitDialog() {
    PageDialog::onInitDialog();
    setBitmap(PortPicture, ui::bitmap::ComDisconnected);
    baudSelection = 1;
    writeControls();
    onClicked(ConnectButton, &SerialPage::onConnectClicked);
    if (host != nullptr) {
        connect(&host->link(), &LinkDriver::lineLost, this, &SerialPage::onLineLost);
    }

    for (const int radio : PortRadios) {
        onClicked(radio, &SerialPage::onPortChosen);
    }

    // Automatic connection: COM2, COM3, ... COM9 (the radio buttons keep showing COM2), or
    // only the port the command line chose.
    const int chosen = port != nullptr ? port->naming().startNumber : 0;
    if (chosen > 0) {
        portIndex = chosen - 1;
        writeControls();
    }
    const int startIndex = portIndex;
    const int attempts = chosen > 0 ? 1 : AutoConnectAttempts;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (setLinkOpen(true)) {
            setControlText(ConnectButton, QStringLiteral("Disconnect"));
            return;
        }
        ++portIndex;
    }
    portIndex = startIndex;
    showPortTarget(startIndex + 1);
}

void SerialPage::onPortChosen() {
    readControls();
    showPortTarget(portIndex + 1);
}

void SerialPage::showPortTarget(int portNumber) {
    if (port == nullptr) {
        return;
    }
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", portNumber);
    QString target = QString::fromStdString(resolveComPort(name, port->naming()));
    // A link in the port directory is shown as the device it leads to.
    const QString device = QFileInfo(target).canonicalFilePath();
    if (!isNetworkUrl(target.toStdString()) && !device.isEmpty()) {
        target = device;
    }
    QString text = QStringLiteral("%1: %2").arg(QString::fromLatin1(name), target);
    if (port->isOpen != 0 && portNumber == openedPort_ && !port->lineNotice().empty()) {
        text += QLatin1Char('\n') + QString::fromStdString(port->lineNotice());
    }
    setControlText(PortTargetText, text);
}

bool SerialPage::setLinkOpen(bool open) {
    if (port == nullptr) {
        return false;
    }
    if (open) {
        return openPort(portIndex + 1);
    }
    port->Close();
    ui::prompter().pause(CloseSettleMs);
    if (host != nullptr) {
        host->link().stopReceiveTimer();
    }
    port->Purge();
    return false;
}

bool SerialPage::openPort(int portNumber) {
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", portNumber);
    const int selection = baudSelection >= 0 && baudSelection < 5 ? baudSelection : 1;
    if (port->Open(name, BaudRates[selection], ReadTimeoutMs) != 0) {
        showOpened(portNumber);
        return true;
    }
    port->Purge();
    return false;
}

void SerialPage::showOpened(int portNumber) {
    openedPort_ = portNumber;
    setBitmap(PortPicture, plateOf(portNumber));
    showPortTarget(portNumber);
    if (host != nullptr) {
        host->link().startReceiveTimer();
    }
}

void SerialPage::beginOpen(int portNumber, OpenPurpose purpose) {
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", portNumber);
    const int selection = baudSelection >= 0 && baudSelection < 5 ? baudSelection : 1;
    openingPort_ = portNumber;
    openPurpose_ = purpose;
    if (port->beginOpen(name, BaudRates[selection], ReadTimeoutMs) ==
        SerialPort::OpenProgress::Pending) {
        startDialogTimer(OpenStepTimerId, OpenStepMs);
        return;
    }
    onOpenEnded();
}

void SerialPage::onOpenStep() {
    // Given up meanwhile (a click, the window closing): nothing to show.
    if (port == nullptr || !port->isOpening() ||
        (host != nullptr && host->link().isShuttingDown())) {
        stopDialogTimer(OpenStepTimerId);
        if (port != nullptr && port->isOpening()) {
            port->Close();
        }
        return;
    }
    if (port->continueOpen() == SerialPort::OpenProgress::Pending) {
        return;
    }
    stopDialogTimer(OpenStepTimerId);
    onOpenEnded();
}

void SerialPage::onOpenEnded() {
    const bool opened = port->isOpen != 0;
    if (opened) {
        showOpened(openingPort_);
    } else {
        port->Purge();
    }
    if (openPurpose_ == OpenPurpose::Retry) {
        if (opened) {
            stopDialogTimer(ReconnectTimerId);
            setControlText(ConnectButton, QStringLiteral("Disconnect"));
        }
        return;
    }
    if (opened) {
        setControlText(ConnectButton, QStringLiteral("Disonnect"));
    } else {
        showPortTarget(openingPort_);
        ui::prompter().message(openFailureMessage(openingPort_), ui::Buttons::Ok, ui::Icon::None);
    }
}

void SerialPage::onLineLost() {
    if (port == nullptr || port->isOpen == 0) {
        return;
    }
    port->Close();
    if (host != nullptr) {
        host->link().stopReceiveTimer();
    }
    setControlText(ConnectButton, QStringLiteral("Connect"));
    setBitmap(PortPicture, ui::bitmap::ComDisconnected);
    startDialogTimer(ReconnectTimerId, ReconnectPeriodMs);
}

void SerialPage::onTimer(int timerId) {
    if (timerId == ReconnectTimerId) {
        onReconnectTick();
    } else if (timerId == OpenStepTimerId) {
        onOpenStep();
    }
}

void SerialPage::onReconnectTick() {
    // The window is closing, or the port was opened by other means: stop trying.
    if (port == nullptr || port->isOpen != 0 ||
        (host != nullptr && host->link().isShuttingDown())) {
        stopDialogTimer(ReconnectTimerId);
        return;
    }
    if (!port->isOpening()) {  // else the last try is still under way
        beginOpen(openedPort_, OpenPurpose::Retry);
    }
}

void SerialPage::onConnectClicked() {
    // The user decides from here on: a lost port is no longer tried by itself, and an
    // open still under way (a retry, an earlier click) is given up.
    stopDialogTimer(ReconnectTimerId);
    stopDialogTimer(OpenStepTimerId);
    if (port != nullptr && port->isOpening()) {
        port->Close();
    }
    readControls();
    if (port != nullptr && port->isOpen != 0) {
        setLinkOpen(false);
        setControlText(ConnectButton, QStringLiteral("Connect"));
        setBitmap(PortPicture, ui::bitmap::ComDisconnected);
    } else if (port != nullptr) {
        beginOpen(portIndex + 1, OpenPurpose::Connect);
    } else {
        ui::prompter().message(openFailureMessage(portIndex + 1), ui::Buttons::Ok, ui::Icon::None);
    }
    writeControls();
}

QString SerialPage::openFailureMessage(int portNumber) const {
    if (port != nullptr && isNetworkUrl(port->lastDevicePath())) {
        return QStringLiteral("COM%1 (%2) cannot be opened: %3.")
            .arg(portNumber)
            .arg(QString::fromStdString(port->lastDevicePath()),
                 QString::fromLatin1(describeOpenFailure(port->lastOpenFailure())));
    }
    if (port != nullptr && port->lastOpenFailure() == OpenFailure::Permission) {
        return QStringLiteral(
                   "COM%1 (%2) cannot be opened: permission denied.\n"
                   "Add your user to the \"dialout\" group (sudo usermod -aG dialout $USER), "
                   "then log out and log in again.")
            .arg(portNumber)
            .arg(QString::fromStdString(port->lastDevicePath()));
    }
    char text[64];
    std::snprintf(text, sizeof text, "COM%d is used by another application.", portNumber);
    return QString::fromLatin1(text);
}

}  // namespace kelvandor
