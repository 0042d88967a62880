// JSON text: nesting, separators, and strings escaped so that any text stays one valid string.
#include "antivirus/kolvar/json_writer.h"

#include <gtest/gtest.h>

namespace kolvar {
namespace {

TEST(JsonWriter, NestedValuesWithTheirSeparators) {
  JsonWriter json;
  json.BeginObject()
      .Key("name")
      .String("kolvar")
      .Key("count")
      .Number(int64_t{-3})
      .Key("seconds")
      .Number(1.5)
      .Key("done")
      .Bool(true)
      .Key("none")
      .Null()
      .Key("empty")
      .BeginArray()
      .EndArray()
      .Key("list")
      .BeginArray()
      .Number(int64_t{1})
      .BeginObject()
      .EndObject()
      .EndArray()
      .EndObject();
  EXPECT_EQ(json.text(),
            "{\n"
            "  \"name\": \"kolvar\",\n"
            "  \"count\": -3,\n"
            "  \"seconds\": 1.500,\n"
            "  \"done\": true,\n"
            "  \"none\": null,\n"
            "  \"empty\": [],\n"
            "  \"list\": [\n"
            "    1,\n"
            "    {}\n"
            "  ]\n"
            "}\n");
}

TEST(JsonWriter, StringsAreEscapedAndAlwaysValidUtf8) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"\\My Documents\\a.txt", "\"\\\\My Documents\\\\a.txt\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"a\nb\tc\rd\be\ff", "\"a\\nb\\tc\\rd\\be\\ff\""},
      {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
      {"bad \xFF byte", "\"bad \xEF\xBF\xBD byte\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonQuoted(c.in), c.out) << c.in;
  JsonWriter json;
  json.BeginArray().String(u"\\\u00E9\U0001F600").EndArray();
  EXPECT_EQ(json.text(), "[\n  \"\\\\\xC3\xA9\xF0\x9F\x98\x80\"\n]\n");
}

}  // namespace
}  // namespace kolvar
