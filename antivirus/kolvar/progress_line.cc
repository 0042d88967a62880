// The live progress line; see progress_line.h.
#include "antivirus/kolvar/progress_line.h"

#include <cstdio>

#include "antivirus/kolvar/text_table.h"
#include "platform/text.h"

namespace kolvar {
namespace {

// Characters of a path kept when it has to be cut: the last ones, which name the file.
std::string KeepTail(const std::string& utf8, size_t characters) {
  if (DisplayLength(utf8) <= characters) return utf8;
  if (characters <= 3) return std::string(characters, '.');
  size_t keep = characters - 3;
  size_t start = utf8.size();
  while (start > 0 && keep > 0) {
    --start;
    if ((static_cast<unsigned char>(utf8[start]) & 0xC0) != 0x80) --keep;
  }
  return "..." + utf8.substr(start);
}

std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

}  // namespace

std::string ClockText(uint64_t elapsed_ms) {
  const uint64_t seconds = elapsed_ms / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu",
                static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>(seconds / 60 % 60),
                static_cast<unsigned long long>(seconds % 60));
  return text;
}

std::string FormatProgressLine(const ScanProgress& progress, uint64_t elapsed_ms, int columns) {
  std::string line = ClockText(elapsed_ms) + "  " + std::to_string(progress.files_tested) +
                     " files  " + std::to_string(progress.kilobytes_tested) + " KB  " +
                     std::to_string(progress.infected_files) + " infected";
  const std::string item = Printable(platform::ShownDeviceText(progress.text));
  if (columns <= 0) return item.empty() ? line : line + "  " + item;
  // One column stays free: a line that fills the last column makes some terminals wrap.
  const size_t width = static_cast<size_t>(columns) - 1;
  if (DisplayLength(line) >= width) return KeepTail(line, width);
  const size_t room = width - DisplayLength(line);
  if (!item.empty() && room > 2) line += "  " + KeepTail(item, room - 2);
  return line;
}

}  // namespace kolvar
