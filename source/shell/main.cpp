#include "common/Version.h"
#include "shell/BrowserMain.h"

// The file version, in a section of its own: the updater reads it back from the executable file.
[[gnu::used, gnu::section(".tvc_version")]] static const char kFileVersion[] = TVC_PRODUCT_VERSION;

int main(int argc, char** argv) {
    return tvc::shell::BrowserMain(argc, argv);
}
