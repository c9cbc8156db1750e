// SPDX-License-Identifier: GPL-3.0-or-later
// A dialog that hosts child pages on a frame control, one shown at a time.
#pragma once

#include <vector>

#include "host/page_dialog.h"
#include "ui/dialog_window.h"

namespace kelvandor {

class PageHost;

struct PageEntry {
    int created = 0;  // 1 once the page's window exists
    int visible = 0;  // 1 while the page is the one shown
    int pageId = 0;
    PageDialog* page = nullptr;
    PageHost* host = nullptr;
};

class PageHost : public ui::DialogWindow {
    Q_OBJECT
  public:
    PageHost(int frameId, const ui::DialogTemplate& layout);

    // Creates the window of a page object that already exists, places it on the frame and
    // registers it; the page's host is set after its window is created.
    void addPage(PageDialog& page);
    // As addPage, with the page that createPage returns for `pageId` (nothing when none).
    void addPageById(int pageId);
    // Hides the visible page and shows the page of `pageId`; an unknown id shows none.
    void showPage(int pageId);

    const std::vector<PageEntry>& pageEntries() const { return entries_; }
    int frameId() const { return frameId_; }

  protected:
    virtual PageDialog* createPage(int pageId) = 0;
    virtual void onPageVisibility(int pageId, bool shown) = 0;
    // The host services pages receive as their `host`.
    virtual HostServices* hostServices() = 0;

    // Hides and releases every created page, in list order, then forgets them.
    void destroyPages();

  private:
    void registerPage(PageDialog& page, bool setHost);

    int frameId_;
    std::vector<PageEntry> entries_;
};

}  // namespace kelvandor
