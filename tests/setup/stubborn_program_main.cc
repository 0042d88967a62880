// A program that holds a stop event (its one argument) and never reacts to it, as a hung copy of
// the scanner would: the installer must not wait for it for ever.
#include <chrono>
#include <string>
#include <thread>

#include "platform/kernel_objects.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  kolvar::platform::Event event;
  if (!event.Create(kolvar::platform::Utf8ToUtf16Lossy(argv[1]), /*manual_reset=*/false,
                    /*initial_state=*/false)) {
    return 1;
  }
  while (true) std::this_thread::sleep_for(std::chrono::hours(1));
}
