#include "dialog/DialogTemplate.h"

#include <algorithm>
#include <iterator>
#include <span>

namespace {

// The templates as the build wrote them from res/dialogs.json: constant data,
// so nothing is parsed at start.
struct ControlRecord {
    int32_t id;
    const char* name;
    CtlKind kind;
    const char* caption;
    int x, y, w, h;
    uint32_t styles;
};

struct DialogRecord {
    int32_t id;
    const char* name;
    const char* caption;
    int w, h;
    int pointSize;
    const ControlRecord* controls;
    size_t controlCount;
};

#include "res/DialogTable.inc"

std::vector<DialogTemplate> LoadTemplates() {
    std::vector<DialogTemplate> result;
    result.reserve(std::size(kDialogRecords));
    for (const DialogRecord& d : kDialogRecords) {
        DialogTemplate t{d.id, d.name, d.caption, d.w, d.h, d.pointSize, {}};
        t.controls.reserve(d.controlCount);
        for (const ControlRecord& c : std::span(d.controls, d.controlCount))
            t.controls.push_back({c.id, c.name, c.kind, c.caption, c.x, c.y, c.w, c.h, c.styles});
        result.push_back(std::move(t));
    }
    std::sort(result.begin(), result.end(),
              [](const DialogTemplate& a, const DialogTemplate& b) { return a.id < b.id; });
    return result;
}

const std::vector<DialogTemplate>& Templates() {
    static const std::vector<DialogTemplate> templates = LoadTemplates();
    return templates;
}

} // namespace

const DialogTemplate* FindDialogTemplate(int32_t id) {
    for (const DialogTemplate& t : Templates())
        if (t.id == id)
            return &t;
    return nullptr;
}

std::vector<const DialogTemplate*> AllDialogTemplates() {
    std::vector<const DialogTemplate*> all;
    for (const DialogTemplate& t : Templates())
        all.push_back(&t);
    return all;
}
