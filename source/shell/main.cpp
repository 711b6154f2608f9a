#include "shell/BrowserMain.h"

int main(int argc, char** argv) {
    return tvc::shell::BrowserMain(argc, argv);
}
