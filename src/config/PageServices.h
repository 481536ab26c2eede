// Services the pages and small dialogs share.
#pragma once

#include "app/backend/ListProtocol.h"
#include "dialog/DialogBuilder.h"
#include "dialog/TemplateWindow.h"

#include <cstdint>
#include <optional>
#include <string>

class QWidget;
class CEmulPropertyPage;

// `path` relative to GetProgramDir() when it lies beneath it, else unchanged.
std::string MakeProgramRelativePath(const std::string& path);
// The same against a given program directory (no trailing '/').
std::string MakeProgramRelativePath(const std::string& path, const std::string& programDir);

// Makes the program directory the current directory and matches `path`
// (relative: against that directory) with glob(3); true when an entry matches.
// Directories count. An empty path does not exist.
bool PathExists(const std::string& path);

// A size or memory copy read as a signed decimal number: leading white
// space, a sign and digits, whatever follows them ignored. Nothing when the
// text holds no number, or one that does not fit the record's 32 bits.
std::optional<int32_t> ReadSignedDecimal(const std::string& text);

enum class BrowseKind { Open, Save };
// Pull; the file dialog; on confirm the chosen path, program-relative, into
// `copy`; push, also after cancel.
void BrowseForFile(CEmulPropertyPage* page, BrowseKind kind, std::string& copy);

// Fills combo box `id` of `dialog` from a list export (key already bound):
// count 0 keeps the combo box as it is; otherwise it is emptied, filled with
// the written slots in order (each keeping its bytes, AddComboItem), and
// item 0 selected. Like the back end's own
// list boxes, filling sends no change signals: pages react to the user only.
void FillComboFromList(QWidget* dialog, int32_t id, const ListCall& call);
