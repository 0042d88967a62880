// KVBkgScan: the background scanner of the suite. It reads no command line; it runs until its
// event "@_KVMIPCSCAN_@" is set or it is told to end on its channel "IPC_SCAN".
#include "bkgscan/background_scanner.h"

int main() { return kolvar::RunBackgroundScanner(); }
