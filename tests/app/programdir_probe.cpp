// Prints the program directory as the binding sees it.
#include "app/backend/ProgramDir.h"

#include <cstdio>

int main() {
    std::fputs(GetProgramDir().c_str(), stdout);
    return 0;
}
