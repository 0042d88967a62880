// Plain-text tables for the terminal: left-aligned columns as wide as their widest cell (counted
// in characters, not bytes), two spaces apart, trailing blanks trimmed.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_TEXT_TABLE_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_TEXT_TABLE_H_

#include <string>
#include <vector>

namespace kolvar {

class TextTable {
 public:
  // Cells are UTF-8.
  void AddRow(std::vector<std::string> cells);
  // The rows, each line starting with `indent` and ending in a line break.
  std::string Render(const std::string& indent = "") const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

// Characters of UTF-8 text (continuation bytes not counted).
size_t DisplayLength(const std::string& utf8);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_TEXT_TABLE_H_
