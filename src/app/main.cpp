#include "app/program.h"

int main(int, char** argv) {
    quorvel::RunProgram(argv[0]);
}
