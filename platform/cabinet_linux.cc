// Cabinets on libgcab, entirely in memory: the bytes go in through a memory stream and the files
// come out of it decompressed, so that nothing touches the disk before the caller has decided
// where each file may go.
#include <libgcab.h>

#include <memory>

#include "platform/cabinet.h"

namespace kolvar::platform {
namespace {

struct ObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using Owned = std::unique_ptr<T, ObjectUnref>;

struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};

struct BytesUnref {
  void operator()(GBytes* bytes) const { g_bytes_unref(bytes); }
};
using Bytes = std::unique_ptr<GBytes, BytesUnref>;

bool Fail(GError* raw, const char* what, std::string* error) {
  std::unique_ptr<GError, ErrorFree> owned(raw);
  if (error != nullptr) {
    *error = what;
    if (owned != nullptr && owned->message != nullptr) *error += std::string(": ") + owned->message;
  }
  return false;
}

}  // namespace

bool ReadCabinet(std::span<const uint8_t> cabinet, std::vector<CabinetFile>* files,
                 std::string* error) {
  files->clear();
  if (cabinet.size() > kMaxCabinetSize) return Fail(nullptr, "the cabinet is too large", error);
  Bytes bytes(g_bytes_new(cabinet.data(), cabinet.size()));
  Owned<GInputStream> in(g_memory_input_stream_new_from_bytes(bytes.get()));
  Owned<GCabCabinet> cab(gcab_cabinet_new());
  GError* raw = nullptr;
  if (!gcab_cabinet_load(cab.get(), in.get(), nullptr, &raw)) {
    return Fail(raw, "not a readable cabinet", error);
  }
  // No folder: the files are decompressed into memory, each checked against its stored checksum.
  if (!gcab_cabinet_extract(cab.get(), nullptr, nullptr, nullptr, nullptr, nullptr, &raw)) {
    return Fail(raw, "the cabinet cannot be extracted", error);
  }
  GPtrArray* folders = gcab_cabinet_get_folders(cab.get());
  std::vector<CabinetFile> out;
  for (guint i = 0; i < folders->len; ++i) {
    auto* folder = static_cast<GCabFolder*>(g_ptr_array_index(folders, i));
    GSList* list = gcab_folder_get_files(folder);
    bool complete = true;
    for (GSList* at = list; at != nullptr; at = at->next) {
      auto* file = static_cast<GCabFile*>(at->data);
      GBytes* content = gcab_file_get_bytes(file);
      const char* name = gcab_file_get_name(file);
      if (content == nullptr || name == nullptr ||
          g_bytes_get_size(content) != gcab_file_get_size(file)) {
        complete = false;
        break;
      }
      gsize size = 0;
      const auto* data = static_cast<const uint8_t*>(g_bytes_get_data(content, &size));
      out.push_back({name, std::vector<uint8_t>(data, data + size)});
    }
    g_slist_free(list);
    if (!complete) return Fail(nullptr, "the cabinet holds a file that cannot be read", error);
  }
  *files = std::move(out);
  return true;
}

bool WriteCabinet(const std::vector<CabinetFile>& files, std::vector<uint8_t>* cabinet,
                  std::string* error) {
  Owned<GCabCabinet> cab(gcab_cabinet_new());
  GCabFolder* folder = gcab_folder_new(GCAB_COMPRESSION_MSZIP);
  GError* raw = nullptr;
  for (const CabinetFile& file : files) {
    Bytes content(g_bytes_new(file.bytes.data(), file.bytes.size()));
    Owned<GCabFile> entry(gcab_file_new_with_bytes(file.name.c_str(), content.get()));
    if (!gcab_folder_add_file(folder, entry.get(), FALSE, nullptr, &raw)) {
      g_object_unref(folder);
      return Fail(raw, "a file cannot be added to the cabinet", error);
    }
  }
  if (!gcab_cabinet_add_folder(cab.get(), folder, &raw)) {
    g_object_unref(folder);
    return Fail(raw, "the cabinet cannot be built", error);
  }
  g_object_unref(folder);  // the cabinet holds its own reference
  Owned<GOutputStream> out(g_memory_output_stream_new_resizable());
  if (!gcab_cabinet_write_simple(cab.get(), out.get(), nullptr, nullptr, nullptr, &raw) ||
      !g_output_stream_close(out.get(), nullptr, &raw)) {
    return Fail(raw, "the cabinet cannot be written", error);
  }
  auto* memory = G_MEMORY_OUTPUT_STREAM(out.get());
  const auto* data = static_cast<const uint8_t*>(g_memory_output_stream_get_data(memory));
  const size_t size = g_memory_output_stream_get_data_size(memory);
  if (size > kMaxCabinetSize) return Fail(nullptr, "the cabinet would be too large", error);
  cabinet->assign(data, data + size);
  return true;
}

}  // namespace kolvar::platform
