// The manifest of an update package: parsed strictly, since it decides where files are written.
#include "updater/update_package.h"

#include <set>

#include "platform/text.h"

namespace kolvar::updater {
namespace {

constexpr std::u16string_view kMacros[] = {u"#personal#", u"#program#", u"#windows#", u"#temp#"};

bool IsPlainName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") return false;
  for (char16_t c : name) {
    if (c < 0x20 || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?' || c == 0x7F) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool IsPlainFileName(std::string_view name) {
  std::u16string wide;
  return name.size() <= kMaxPackageFileName && platform::Utf8ToUtf16(name, &wide) &&
         IsPlainName(wide);
}

bool IsMacroFolder(std::u16string_view folder) {
  for (std::u16string_view macro : kMacros) {
    if (!folder.starts_with(macro)) continue;
    std::u16string_view rest = folder.substr(macro.size());
    if (rest.empty()) return true;
    if (rest.front() != u'\\') return false;
    rest.remove_prefix(1);
    while (true) {
      const size_t cut = rest.find(u'\\');
      if (!IsPlainName(rest.substr(0, cut))) return false;
      if (cut == std::u16string_view::npos) return true;
      rest.remove_prefix(cut + 1);
    }
  }
  return false;
}

bool IsConfinedPath(std::u16string_view path) {
  if (path.starts_with(u'#')) return IsMacroFolder(path);
  if (!path.starts_with(u'\\')) return false;
  path.remove_prefix(1);
  while (true) {
    const size_t cut = path.find(u'\\');
    if (!IsPlainName(path.substr(0, cut))) return false;
    if (cut == std::u16string_view::npos) return true;
    path.remove_prefix(cut + 1);
  }
}

bool ParseManifest(std::string_view text, std::vector<ManifestEntry>* entries, std::string* error) {
  entries->clear();
  std::vector<ManifestEntry> out;
  std::set<std::string> names;
  size_t number = 0;
  bool header = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    auto fail = [&](const std::string& why) {
      *error = "manifest line " + std::to_string(number) + ": " + why;
      return false;
    };
    if (!header) {
      if (line != kManifestHeader) return fail(std::string("expected \"") + kManifestHeader + "\"");
      header = true;
      continue;
    }
    if (line.empty() || line.front() == '#') continue;
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return fail("expected NAME<TAB>FOLDER");
    const std::string name(line.substr(0, tab));
    std::u16string folder;
    if (!IsPlainFileName(name)) return fail("not a plain file name of at most 31 bytes");
    if (name == kManifestName) return fail("the manifest cannot install itself");
    if (!platform::Utf8ToUtf16(line.substr(tab + 1), &folder) || !IsMacroFolder(folder)) {
      return fail(
          "the folder must begin with #program#, #windows#, #temp# or #personal# and "
          "name plain folders below it");
    }
    if (!names.insert(name).second) return fail(name + " is listed twice");
    out.push_back({name, folder});
  }
  if (!header) {
    *error = "the manifest is empty";
    return false;
  }
  *entries = std::move(out);
  return true;
}

std::string ManifestText(const std::vector<ManifestEntry>& entries) {
  std::string text = std::string(kManifestHeader) + "\n";
  for (const ManifestEntry& entry : entries) {
    text += entry.name + "\t" + platform::Utf16ToUtf8(entry.destination_folder) + "\n";
  }
  return text;
}

}  // namespace kolvar::updater
