#include "reduced/tovrel_edition.h"
#include "shell/program.h"

int main(int argc, char** argv) {
    return tovrel::shell::runProgram(tovrel::reduced::kTovrelEdition, argc, argv);
}
