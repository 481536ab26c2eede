// Dialog templates: the controls of every dialog of the program as data
// (res/dialogs.json), in template order, in dialog units.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class CtlKind { Label, Edit, Combo, Button, Check, Radio, Group, List };

// Styles that matter to behaviour; a bit set.
enum CtlStyle : uint32_t {
    StyleNone = 0,
    StyleGroupStart = 1u << 0, // starts a radio group
    StyleDisabled = 1u << 1,
    StyleMultiline = 1u << 2,
    StyleReadOnly = 1u << 3,
    StyleNumber = 1u << 4,     // digits only, 0..2147483647
    StyleHScroll = 1u << 5,    // scrolls horizontally, no wrapping
    StyleVScroll = 1u << 6,    // vertical scroll bar
    StyleWantReturn = 1u << 7, // multi-line edit takes line breaks
    StyleDefault = 1u << 8,    // the dialog's default button
    StyleFlat = 1u << 9,
    StyleTabStop = 1u << 10,
    StyleMultiSelect = 1u << 11, // list view: several rows selectable
    StyleBorder = 1u << 12,
};

struct ControlTemplate {
    int32_t id = -1;  // group boxes: -1
    std::string name; // its constant in res/DialogIds.h; empty without an id
    CtlKind kind = CtlKind::Label;
    std::string caption;            // UTF-8
    int x = 0, y = 0, w = 0, h = 0; // dialog units
    uint32_t styles = StyleNone;
};

struct DialogTemplate {
    int32_t id = 0;
    std::string name;    // its constant in res/DialogIds.h
    std::string caption; // UTF-8
    int w = 0, h = 0;    // dialog units
    int pointSize = 8;
    std::vector<ControlTemplate> controls; // template order = stacking order
};

// The template with that id; null when there is none.
const DialogTemplate* FindDialogTemplate(int32_t id);
// Every template, in ascending id order.
std::vector<const DialogTemplate*> AllDialogTemplates();
