#include "shell/program.h"
#include "shell/tovrel2_edition.h"

int main(int argc, char** argv) {
    return tovrel::shell::runProgram(tovrel::shell::kTovrel2Edition, argc, argv);
}
