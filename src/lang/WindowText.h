// What the language passes read and write of a window: its caption and the
// captions of its direct children, each known by its control id. The dialog
// layer supplies it for its widgets, so this folder needs no window toolkit.
#pragma once

#include <cstdint>
#include <string>

class IWindowText {
public:
    virtual ~IWindowText() = default;
    // Captions are bytes of the locale encoding.
    virtual std::string Caption() const = 0;
    virtual void SetCaption(const std::string& text) = 0;
    // Direct children in stacking order; ids may repeat (group boxes: -1).
    virtual int ChildCount() const = 0;
    virtual int32_t ChildId(int index) const = 0;
    virtual std::string ChildCaption(int index) const = 0;
    virtual void SetChildCaption(int index, const std::string& text) = 0;
};
