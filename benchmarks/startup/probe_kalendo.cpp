// Kalendo's own start-up, with the shipped data, up to the main window's first paint.
#include "FirstPaint.h"
#include "app/Forms.h"
#include "app/Main.h"

int main(int argc, char** argv) {
    return RunKalendo(argc, argv, [] { new FirstPaint(MainForm); });
}
