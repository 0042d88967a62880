// The signature source: what a sound source compiles to, one clear line-numbered error per fault,
// and printing a database back to a source that compiles to the same records.
#include "tools/kvsigtool/signature_source.h"

#include <gtest/gtest.h>

#include <cstring>

#include "scan_engine/file_type_classes.h"

namespace kolvar::kvsigtool {
namespace {

constexpr char kSound[] = R"(# comment
signature 7 | Test.Seven | any | 41 42 43 44
signature 8 | Test.Eight | exe,txt | 00FF10
signature 7 | Test.Seven | 0x00000400 | 45
describe 7 | Seven | with a bar
recommend 7 | Delete it.
describe 8 | Eight.
recommend 8 | Move it.
)";

TEST(SignatureSource, SoundSourceCompilesInOrder) {
  CompiledSource compiled;
  std::vector<std::string> errors;
  ASSERT_TRUE(CompileSignatureSource(kSound, &compiled, &errors)) << errors[0];
  ASSERT_EQ(compiled.signatures.size(), 3u);
  EXPECT_EQ(compiled.signatures[0].virus_id, 7u);
  EXPECT_EQ(compiled.signatures[0].type_mask, kAnyFileClass);
  EXPECT_EQ(compiled.signatures[0].length, 4);
  EXPECT_EQ(std::memcmp(compiled.signatures[0].pattern, "ABCD", 4), 0);
  EXPECT_EQ(compiled.signatures[1].type_mask, 0x11u);
  EXPECT_EQ(compiled.signatures[1].length, 3);
  EXPECT_EQ(compiled.signatures[1].pattern[1], 0xFF);
  EXPECT_EQ(compiled.signatures[2].type_mask, 0x400u);
  ASSERT_EQ(compiled.details.size(), 2u);
  EXPECT_EQ(compiled.details[0].Name(), u"Test.Seven");
  EXPECT_EQ(compiled.details[0].Description(), u"Seven | with a bar");
  EXPECT_EQ(compiled.details[1].Recommendation(), u"Move it.");
}

TEST(SignatureSource, FaultsAreReportedWithTheirLine) {
  // A NUL in a text would cut it short in the detail file.
  auto Nul = [](std::string text) {
    text[text.find('@')] = '\0';
    return text;
  };
  const std::string tail = "describe 1 | d\nrecommend 1 | r\n";
  const struct {
    std::string source;
    std::string error;
  } kCases[] = {
      {"signature 1 | A | any\n" + tail, "line 1: a signature needs 4 fields"},
      {"signature x | A | any | 41\n", "line 1: virus id 'x' is not a number"},
      {"signature 0 | A | any | 41\n", "line 1: virus id '0'"},
      {"signature 4294967296 | A | any | 41\n", "line 1: virus id '4294967296'"},
      {"signature 1 | | any | 41\n", "line 1: the virus name must have 1 to 69"},
      {"signature 1 | " + std::string(70, 'n') + " | any | 41\n", "has 70"},
      {"signature 1 | A | exe,jpg | 41\n", "line 1: unknown classes 'exe,jpg'"},
      {"signature 1 | A | any | 4\n", "line 1: pattern: hexadecimal digits must come in pairs"},
      {"signature 1 | A | any | 4G\n", "line 1: pattern: 'G' is not a hexadecimal digit"},
      {"signature 1 | A | any | \n", "line 1: a pattern must have 1 to 256 bytes (has 0)"},
      {"signature 1 | A | any | " + std::string(514, 'a') + "\n", "(has 257)"},
      {"\nsignature 1 | A | any | 41\nsignature 1 | B | any | 42\n" + tail,
       "line 3: virus 1 was named 'A' on line 2"},
      {"signature 1 | A | any | 41\n", "line 1: virus 1 has no describe line"},
      {"signature 1 | A | any | 41\ndescribe 1 | d\n", "line 1: virus 1 has no recommend line"},
      {"describe 2 | d\n", "line 1: virus 2 has no signature above this line"},
      {"signature 1 | A | any | 41\n" + tail + "describe 1 | again\n",
       "line 4: virus 1 has a second describe line"},
      {"signature 1 | A | any | 41\ndescribe 1 | " + std::string(250, 'd') + "\n",
       "line 2: the description must have 1 to 249"},
      {"sig 1 | A | any | 41\n", "line 1: unknown line 'sig'"},
      {"signature 1 | \xff | any | 41\n", "line 1: the virus name is not valid UTF-8"},
      {Nul("signature 1 | A@B | any | 41\n") + tail, "line 1: the virus name holds a NUL"},
      {Nul("signature 1 | A | any | 41\ndescribe 1 | d@d\nrecommend 1 | r\n"),
       "line 2: the description holds a NUL"},
      {"# nothing\n", "the source has no signature"},
  };
  for (const auto& c : kCases) {
    CompiledSource compiled;
    std::vector<std::string> errors;
    EXPECT_FALSE(CompileSignatureSource(c.source, &compiled, &errors)) << c.error;
    ASSERT_FALSE(errors.empty()) << c.error;
    bool found = false;
    for (const auto& e : errors) found |= e.find(c.error) != std::string::npos;
    EXPECT_TRUE(found) << "wanted '" << c.error << "', got '" << errors[0] << "'";
  }
}

TEST(SignatureSource, ClassesReadAndPrintBack) {
  const struct {
    const char* text;
    uint32_t mask;
    const char* printed;
  } kCases[] = {{"any", 0x10000000, "any"},
                {"exe", 0x1, "exe"},
                {"htm, html", 0x240, "html,htm"},
                {"any,gif", 0x10000100, "any,gif"},
                {"none", 0, "none"},
                {"0x00010001", 0x10001, "0x00010001"},
                {"2bp,psw,pxl,dat,dll,txt", 0xBE, "dll,psw,pxl,txt,dat,2bp"}};
  for (const auto& c : kCases) {
    uint32_t mask = 0;
    ASSERT_TRUE(ParseClasses(c.text, &mask)) << c.text;
    EXPECT_EQ(mask, c.mask) << c.text;
    EXPECT_EQ(FormatClasses(mask), c.printed);
  }
  uint32_t mask;
  EXPECT_FALSE(ParseClasses("EXE", &mask));  // class names are written in lower case
  EXPECT_FALSE(ParseClasses("*.*", &mask));
  EXPECT_FALSE(ParseClasses("0x123456789", &mask));
}

TEST(SignatureSource, PrintedSourceCompilesToTheSameRecords) {
  CompiledSource first, second;
  std::vector<std::string> errors;
  ASSERT_TRUE(CompileSignatureSource(kSound, &first, &errors));
  const std::string printed = FormatSignatureSource(first.signatures, first.details, 0);
  ASSERT_TRUE(CompileSignatureSource(printed, &second, &errors)) << printed;
  ASSERT_EQ(second.signatures.size(), first.signatures.size());
  EXPECT_EQ(std::memcmp(second.signatures.data(), first.signatures.data(),
                        first.signatures.size() * sizeof(SignatureRecord)),
            0);
  ASSERT_EQ(second.details.size(), first.details.size());
  EXPECT_EQ(std::memcmp(second.details.data(), first.details.data(),
                        first.details.size() * sizeof(VirusDetailRecord)),
            0);
}

}  // namespace
}  // namespace kolvar::kvsigtool
