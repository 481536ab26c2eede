#pragma once

#include <string>

// Directory of the running executable (/proc/self/exe) without a trailing
// '/'; empty when the path holds no '/'.
std::string GetProgramDir();
