// Prints the program directory as the binding sees it.
#include "ProgramDir.h"

#include <cstdio>

int main() {
    std::fputs(GetProgramDir().c_str(), stdout);
    return 0;
}
