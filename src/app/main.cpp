#include "app/Forms.h"

int main(int argc, char** argv) {
    return RunKalendo(argc, argv);
}
