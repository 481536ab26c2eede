#include "config/MachineName.h"

#include "app/TarnwickApp.h"
#include "app/backend/EmulatorLib.h"
#include "app/backend/ListProtocol.h"
#include "base/FormatText.h"
#include "base/Utf8.h"
#include "dialog/MessageBox.h"
#include "lang/LanguageManager.h"

#include <QLineEdit>
#include <QValidator>
#include <algorithm>

namespace {

// Keeps an edit's text within a byte bound of the locale encoding, cutting at
// whole characters. What does not fit is dropped from the text just inserted
// (it ends at the cursor), so typing at the bound is refused, a paste is cut
// and the text after the cursor stays.
class CByteBoundValidator : public QValidator {
public:
    CByteBoundValidator(size_t maxBytes, QObject* parent) : QValidator(parent), m_max(maxBytes) {}

    State validate(QString& input, int& pos) const override {
        if (ToLocal(input).size() <= m_max)
            return Acceptable;
        const qsizetype at = std::clamp<qsizetype>(pos, 0, input.size());
        const std::string before = ToLocal(input.left(at));
        const std::string after = ToLocal(input.mid(at));
        if (after.size() > m_max) {
            input = FromLocal(std::string(base::CutUtf8(before + after, m_max)));
            pos = static_cast<int>(input.size());
            return Acceptable;
        }
        const QString kept = FromLocal(std::string(base::CutUtf8(before, m_max - after.size())));
        input = kept + FromLocal(after);
        pos = static_cast<int>(kept.size());
        return Acceptable;
    }

private:
    size_t m_max;
};

bool NameTaken(const std::string& name, const std::string& ownName) {
    // Editing keeps the machine in the store: its own name is free.
    if (!ownName.empty() && name == ownName)
        return false;
    // The store the list shows: our back end takes the further argument as
    // the choice of store, so any other would switch it.
    const char* extra = theApp.ExtraArgOrNull();
    const auto names = FetchList([extra](char* buffer, uint32_t capacity, uint32_t slotSize) {
        return Emu::EnumAllEmulator(extra, buffer, capacity, slotSize);
    });
    return names && std::find(names->begin(), names->end(), name) != names->end();
}

} // namespace

void BoundMachineNameEdit(QLineEdit* edit) {
    if (edit)
        edit->setValidator(new CByteBoundValidator(kMachineNameBytes, edit));
}

std::optional<std::string> MachineNameRefusal(const std::string& name, const std::string& ownName) {
    std::string text;
    if (name.empty())
        return GetLangText("GEN_NAME_SPACE_ERR", "Please enter the Virtual Machine name", text);
    if (NameTaken(name, ownName))
        return base::FormatWithText(
            GetLangText("GEN_NAME_ERR", "Virtual Machine Name %s have exist!", text), name);
    return std::nullopt;
}
