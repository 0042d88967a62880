// JSON text output; see json_writer.h.
#include "antivirus/kolvar/json_writer.h"

#include <cmath>
#include <cstdio>

#include "platform/text.h"

namespace kolvar {

std::string JsonQuoted(std::string_view utf8) {
  // Through UTF-16 and back, so that the output is always valid UTF-8.
  const std::string clean = platform::Utf16ToUtf8(platform::Utf8ToUtf16Lossy(utf8));
  std::string out = "\"";
  for (const char c : clean) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
          out += escape;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
  return out;
}

void JsonWriter::NewLine() {
  text_.push_back('\n');
  text_.append(levels_.size() * 2, ' ');
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!levels_.empty()) {
    if (levels_.back().members++ > 0) text_.push_back(',');
    NewLine();
  }
}

JsonWriter& JsonWriter::Key(std::string_view key) {
  if (levels_.back().members++ > 0) text_.push_back(',');
  NewLine();
  text_ += JsonQuoted(key);
  text_ += ": ";
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::BeginObject() {
  BeforeValue();
  text_.push_back('{');
  levels_.push_back({true, 0});
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  const bool had_members = levels_.back().members > 0;
  levels_.pop_back();
  if (had_members) NewLine();
  text_.push_back('}');
  if (levels_.empty()) text_.push_back('\n');
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  BeforeValue();
  text_.push_back('[');
  levels_.push_back({false, 0});
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  const bool had_members = levels_.back().members > 0;
  levels_.pop_back();
  if (had_members) NewLine();
  text_.push_back(']');
  if (levels_.empty()) text_.push_back('\n');
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view utf8) {
  BeforeValue();
  text_ += JsonQuoted(utf8);
  return *this;
}

JsonWriter& JsonWriter::String(std::u16string_view text) {
  // Device texts are mostly paths and names: shown as in the terminal, with the bytes of a host
  // name that are no text as "\\xFF".
  return String(platform::ShownDeviceText(text));
}

JsonWriter& JsonWriter::Number(int64_t value) {
  BeforeValue();
  text_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Number(double value) {
  BeforeValue();
  if (!std::isfinite(value)) {
    text_ += "null";
    return *this;
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f", value);
  text_ += buffer;
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  text_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  text_ += "null";
  return *this;
}

}  // namespace kolvar
