// SPDX-License-Identifier: GPL-3.0-or-later
// The base of every page: a borderless child window placed on the main window's page
// frame. Enter and Escape inside a page do nothing. Every page is a reply listener; the
// base ignores every frame.
#pragma once

#include "link/reply_listener.h"
#include "ui/dialog_window.h"

namespace kelvandor {

class HostServices;
class SerialPort;
struct SatelliteRecord;
struct SatelliteTable;

class PageDialog : public ui::DialogWindow, public ReplyListener {
    Q_OBJECT
  public:
    explicit PageDialog(const ui::DialogTemplate& layout);

    int pageId() const { return templateId(); }

    // The main window; set by the page host (see PageHost::addPage).
    HostServices* host = nullptr;
    // The main window's serial port, given at start-up.
    SerialPort* port = nullptr;

    void onReply(CommandId id, const std::int32_t* params) override;

    // Hooks of the page host, empty here.
    virtual void onShow() {}
    virtual void onHide() {}
    virtual void onCreated() {}
    virtual void onDestroying() {}
    // The main window is about to close and every page is still whole: the place for a
    // page to ask the user something (a box runs an event loop, which must not happen
    // while the pages are being torn down). Empty here.
    virtual void onHostClosing() {}

    // Builds the page's controls as a hidden, disabled child of `hostWindow` and runs the
    // page's initialisation.
    void createPageWindow(QWidget* hostWindow);

    void accept() override {}
    void reject() override {}

  protected:
    // Sends one frame through the main window; nothing before the page has a host.
    void sendToHost(CommandId id, const std::int32_t* params);
    // The main window's satellite table; nullptr before the page has a host.
    SatelliteTable* satelliteTable() const;
    // The table's record of the satellite selected in drop-down `listId`, its index in
    // `*index` when asked for; nullptr before the page has a host or while the entry names
    // no satellite of the table.
    SatelliteRecord* selectedRecord(int listId, int* index = nullptr) const;
    // Refills the satellite drop-down `listId` from the main window's table (count
    // clamped to the table, `selected` selected when it names an entry); nothing before
    // the page has a host.
    void refillSatelliteList(int listId, int count, int selected);
    // How a page's satellite drop-down `listId` follows the antenna's reports (the main
    // window has stored each one already): NN refills it with p0 entries and selects the
    // satellite in use, NS selects the satellite in use, and `refreshReply` (NoRefresh for
    // none) refills it with the table's count, keeping the selection. Returns whether `id`
    // was one of them; the page then shows the selected satellite.
    static constexpr CommandId NoRefresh = -1;
    bool followSatelliteReports(int listId, CommandId id, const std::int32_t* params,
                                CommandId refreshReply);
};

}  // namespace kelvandor
