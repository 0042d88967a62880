// A small writer of JSON text for the front end's machine-readable output: objects, arrays,
// strings (from UTF-8 or UTF-16, escaped as JSON asks), numbers and booleans, indented two spaces
// per level. The caller nests Begin/End calls correctly; keys are given inside objects only.
#ifndef KOLVAR_ANTIVIRUS_KOLVAR_JSON_WRITER_H_
#define KOLVAR_ANTIVIRUS_KOLVAR_JSON_WRITER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kolvar {

class JsonWriter {
 public:
  // Members of an object: the key first.
  JsonWriter& Key(std::string_view key);

  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();

  JsonWriter& String(std::string_view utf8);
  // A device text, shown as ShownDeviceText shows it.
  JsonWriter& String(std::u16string_view text);
  JsonWriter& Number(int64_t value);
  JsonWriter& Number(double value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  // The document, ending in a line break once the outermost value is complete.
  const std::string& text() const { return text_; }

 private:
  void BeforeValue();
  void NewLine();

  struct Level {
    bool is_object;
    int members;
  };
  std::string text_;
  std::vector<Level> levels_;
  bool after_key_ = false;
};

// A JSON string literal (quotes included) of UTF-8 text; invalid UTF-8 bytes become U+FFFD.
std::string JsonQuoted(std::string_view utf8);

}  // namespace kolvar

#endif  // KOLVAR_ANTIVIRUS_KOLVAR_JSON_WRITER_H_
