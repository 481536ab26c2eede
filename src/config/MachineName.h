// The rules for a machine's name, one place for every dialog that names one:
// the General page and the clone dialog.
#pragma once

#include "app/backend/brevantix.h"

#include <cstddef>
#include <optional>
#include <string>

class QLineEdit;

// The record keeps 260 bytes of the name; a longer name could collide with a
// stored one only after the cut, so a name edit never holds more.
constexpr size_t kMachineNameBytes = sizeof(GeneralOptions::name) - 1;

// Keeps `edit` within kMachineNameBytes of the locale encoding.
void BoundMachineNameEdit(QLineEdit* edit);

// Why `name` cannot name a machine to be stored (the language text to show),
// or nothing when it can: it must not be empty nor another stored machine's.
// `ownName`: the edited machine's stored name, which stays free for it.
std::optional<std::string> MachineNameRefusal(const std::string& name,
                                              const std::string& ownName = {});
