#include "dialog/DialogTemplate.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <map>

static void InitTemplateResource() {
    // The resource lives in a static library: nothing registers it unless asked.
    Q_INIT_RESOURCE(res);
}

namespace {

CtlKind KindFromName(const QString& name) {
    static const std::map<QString, CtlKind> kinds = {
        {"label", CtlKind::Label},   {"edit", CtlKind::Edit},   {"combo", CtlKind::Combo},
        {"button", CtlKind::Button}, {"check", CtlKind::Check}, {"radio", CtlKind::Radio},
        {"group", CtlKind::Group},   {"list", CtlKind::List},
    };
    const auto it = kinds.find(name);
    return it != kinds.end() ? it->second : CtlKind::Label;
}

uint32_t StylesFromNames(const QJsonArray& names) {
    static const std::map<QString, uint32_t> styles = {
        {"groupstart", StyleGroupStart}, {"disabled", StyleDisabled},
        {"multiline", StyleMultiline},   {"readonly", StyleReadOnly},
        {"number", StyleNumber},         {"hscroll", StyleHScroll},
        {"vscroll", StyleVScroll},       {"wantreturn", StyleWantReturn},
        {"default", StyleDefault},       {"flat", StyleFlat},
        {"tabstop", StyleTabStop},       {"multiselect", StyleMultiSelect},
        {"border", StyleBorder},
    };
    uint32_t bits = StyleNone;
    for (const QJsonValue& v : names) {
        const auto it = styles.find(v.toString());
        if (it != styles.end())
            bits |= it->second;
    }
    return bits;
}

ControlTemplate ParseControl(const QJsonObject& o) {
    ControlTemplate c;
    c.id = o.value("id").toInt(-1);
    c.name = o.value("name").toString().toStdString();
    c.kind = KindFromName(o.value("kind").toString());
    c.caption = o.value("text").toString().toStdString();
    const QJsonArray r = o.value("rect").toArray();
    c.x = r.at(0).toInt();
    c.y = r.at(1).toInt();
    c.w = r.at(2).toInt();
    c.h = r.at(3).toInt();
    c.styles = StylesFromNames(o.value("styles").toArray());
    return c;
}

std::vector<DialogTemplate> LoadTemplates() {
    InitTemplateResource();
    QFile file(":/dialogs.json");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonArray dialogs =
        QJsonDocument::fromJson(file.readAll()).object().value("dialogs").toArray();
    std::vector<DialogTemplate> result;
    for (const QJsonValue& dv : dialogs) {
        const QJsonObject d = dv.toObject();
        DialogTemplate t;
        t.id = d.value("id").toInt();
        t.name = d.value("name").toString().toStdString();
        t.caption = d.value("caption").toString().toStdString();
        const QJsonArray size = d.value("size").toArray();
        t.w = size.at(0).toInt();
        t.h = size.at(1).toInt();
        t.pointSize = d.value("pointSize").toInt(8);
        for (const QJsonValue& cv : d.value("controls").toArray())
            t.controls.push_back(ParseControl(cv.toObject()));
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
