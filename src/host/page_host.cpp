// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/page_host.h"

namespace kelvandor {

PageHost::PageHost(int frameId, const ui::DialogTemplate& layout)
    : ui::DialogWindow(layout), frameId_(frameId) {}

void PageHost::addPage(PageDialog& page) {
    registerPage(page, true);
}

void PageHost::addPageById(int pageId) {
    if (PageDialog* page = createPage(pageId)) {
        registerPage(*page, false);  // createPage has set its host already
    }
}

void PageHost::registerPage(PageDialog& page, bool setHost) {
    entries_.push_back({0, 0, page.pageId(), &page, this});
    page.createPageWindow(this);
    if (const QWidget* frame = control(frameId_)) {
        page.move(frame->geometry().topLeft());
    }
    page.setEnabled(true);
    page.onCreated();
    entries_.back().created = 1;
    if (setHost) {
        page.host = hostServices();
    }
}

void PageHost::showPage(int pageId) {
    PageEntry* match = nullptr;
    PageEntry* shown = nullptr;
    for (PageEntry& entry : entries_) {
        if (match == nullptr && entry.pageId == pageId) {
            match = &entry;
        }
        if (shown == nullptr && entry.visible == 1) {
            shown = &entry;
        }
    }
    if (shown != nullptr) {
        shown->page->onHide();
        shown->page->hide();
        shown->visible = 0;
        onPageVisibility(shown->pageId, false);
    }
    if (match != nullptr) {
        match->page->show();
        match->page->repaint();
        match->page->onShow();
        match->visible = 1;
        onPageVisibility(match->pageId, true);
    }
}

void PageHost::destroyPages() {
    for (PageEntry& entry : entries_) {
        if (entry.created == 1) {
            entry.created = 0;
            entry.page->onHide();
            entry.page->onDestroying();
            entry.page->hide();
        }
    }
    entries_.clear();
}

}  // namespace kelvandor
