// SPDX-License-Identifier: GPL-3.0-or-later
// Dialog layouts as data: each window describes its controls in a constexpr table of
// ControlTemplate rows (id, kind, caption, position in dialog units, flags), and the
// dialog layer builds the Qt widgets from it.
#pragma once

#include <cstdint>
#include <span>

namespace kelvandor::ui {

// Controls without an id of their own (labels, decorative group boxes).
inline constexpr int NoId = -1;

enum class ControlKind : std::uint8_t {
    Label,            // static text
    ClickLabel,       // static text that reports clicks
    GroupBox,         // captioned frame drawn behind the controls it surrounds
    Frame,            // plain rectangle (page frame, highlight frames)
    Button,           // push button
    MultiLineButton,  // push button whose caption wraps
    CheckBox,
    PushLikeCheck,  // check box drawn as a toggle button
    Radio,          // radio button; a run of radios is one group (see GroupStart)
    Edit,           // single-line edit box
    DropDownList,   // non-editable combo box; its height is one line, whatever the row says
    ListBox,
    ProgressBar,
    Picture,  // image chosen by bitmap id; reports clicks
};

enum ControlFlag : std::uint16_t {
    NoFlags = 0,
    Hidden = 1U << 0,
    Disabled = 1U << 1,
    GroupStart = 1U << 2,  // first radio button of a new group
    AlignRight = 1U << 3,
    AlignCenter = 1U << 4,
    ReadOnly = 1U << 5,
    Sorted = 1U << 6,  // list and drop-down entries are kept in order
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* caption;  // UTF-8; for pictures, unused
    int x, y, w, h;       // dialog units
    std::uint16_t flags = NoFlags;
    int bitmap = 0;  // Picture: the initial bitmap id
};

struct DialogTemplate {
    int id;
    const char* caption;
    int width, height;  // dialog units
    std::span<const ControlTemplate> controls;
};

}  // namespace kelvandor::ui
