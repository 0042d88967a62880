// The device registry's keys and values on the registry's SQLite database
// (registry_database_linux.h); see registry_store.h.
#include <cstring>
#include <utility>

#include "platform/error.h"
#include "platform/path.h"
#include "platform/registry_database_linux.h"
#include "platform/registry_fold.h"
#include "platform/registry_store.h"
#include "platform/text.h"

namespace kolvar::platform {
namespace {

using registry_internal::Database;
using Outcome = Database::Outcome;

struct Name {
  std::string text;  // UTF-8 spelling
  std::string fold;  // UTF-8 upper-cased
};

bool MakeName(std::u16string_view name, size_t max_length, Name* out) {
  if (name.size() > max_length || !IsValidUtf16(name) ||
      name.find(u'\0') != std::u16string_view::npos) {
    return false;
  }
  out->text = Utf16ToUtf8(name);
  out->fold = Utf16ToUtf8(FoldRegistryName(name));
  return true;
}

// Splits a key path into its levels, skipping empty ones. False for a level that cannot be a key
// name.
bool SplitKeyPath(std::u16string_view path, std::vector<Name>* levels) {
  levels->clear();
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) {
      Name level;
      if (!MakeName(path.substr(start, end - start), kMaxRegistryKeyName, &level)) return false;
      levels->push_back(std::move(level));
    }
    start = end + 1;
  }
  return true;
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::u16string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  const int length = sqlite3_column_bytes(statement, column);
  return text != nullptr ? Utf8ToUtf16Lossy(std::string_view(text, length)) : std::u16string();
}

// Whether the key's row still exists: 1018 once it was deleted.
Outcome KeyAlive(Database& db, int64_t key_id) {
  int rc;
  sqlite3_stmt* s = db.Statement("SELECT 1 FROM keys WHERE id = ?1", &rc);
  if (s == nullptr) return {rc, kErrorSuccess};
  sqlite3_bind_int64(s, 1, key_id);
  rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) return {};
  if (rc == SQLITE_DONE) return {SQLITE_OK, kErrorKeyDeleted};
  return {rc, kErrorSuccess};
}

// The child of `parent` with the folded name, or 0.
Outcome FindChild(Database& db, int64_t parent, const Name& name, int64_t* child) {
  int rc;
  sqlite3_stmt* s = db.Statement("SELECT id FROM keys WHERE parent = ?1 AND fold = ?2", &rc);
  if (s == nullptr) return {rc, kErrorSuccess};
  sqlite3_bind_int64(s, 1, parent);
  BindText(s, 2, name.fold);
  rc = sqlite3_step(s);
  *child = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) return {};
  return {rc, kErrorSuccess};
}

Outcome InsertChild(Database& db, int64_t parent, const Name& name, int64_t* child) {
  int rc;
  sqlite3_stmt* s =
      db.Statement("INSERT INTO keys(parent, name, fold) VALUES (?1, ?2, ?3) RETURNING id", &rc);
  if (s == nullptr) return {rc, kErrorSuccess};
  sqlite3_bind_int64(s, 1, parent);
  BindText(s, 2, name.text);
  BindText(s, 3, name.fold);
  rc = sqlite3_step(s);
  if (rc != SQLITE_ROW) return {rc == SQLITE_DONE ? SQLITE_ERROR : rc, kErrorSuccess};
  *child = sqlite3_column_int64(s, 0);
  sqlite3_reset(s);
  return {};
}

// Walks the levels from `start`; with `create` adds the missing ones.
Outcome WalkPath(Database& db, int64_t start, const std::vector<Name>& levels, bool create,
                 int64_t* found, bool* created) {
  Outcome outcome = KeyAlive(db, start);
  if (!outcome.ok()) return outcome;
  int64_t current = start;
  if (created != nullptr) *created = false;
  for (const Name& level : levels) {
    int64_t child = 0;
    outcome = FindChild(db, current, level, &child);
    if (outcome.rc != SQLITE_OK) return outcome;
    if (child == 0) {
      if (!create) return {SQLITE_OK, kErrorFileNotFound};
      outcome = InsertChild(db, current, level, &child);
      if (outcome.rc != SQLITE_OK) return outcome;
      if (created != nullptr && &level == &levels.back()) *created = true;
    }
    current = child;
  }
  *found = current;
  return {};
}

}  // namespace

// Gives the free functions below access to a handle's insides.
class RegistryAccess {
 public:
  // The database and row of a handle (a root resolves the current database). False with the last
  // error set.
  static bool Resolve(const RegistryHandle& handle, std::shared_ptr<Database>* database,
                      int64_t* key_id) {
    if (handle.key_id_ == 0) return Fail(kErrorInvalidHandle);
    *key_id = handle.key_id_;
    *database = handle.database_ != nullptr ? handle.database_ : Database::Current();
    return *database != nullptr;
  }

  static void Assign(RegistryHandle* handle, std::shared_ptr<Database> database, int64_t key_id) {
    handle->Close();
    handle->database_ = std::move(database);
    handle->key_id_ = key_id;
  }

  using Cursor = RegistryHandle::EnumCursor;
  static Cursor* KeyCursor(const RegistryHandle& handle) { return &handle.key_cursor_; }
  static Cursor* ValueCursor(const RegistryHandle& handle) { return &handle.value_cursor_; }
};

namespace {

// The steps every operation on an open key shares: find the key's database and row, and run
// `work` in one transaction once the key is known to be alive.
template <typename Work>
bool TransactOnKey(const RegistryHandle& key, bool write, Work work) {
  std::shared_ptr<Database> database;
  int64_t key_id = 0;
  if (!RegistryAccess::Resolve(key, &database, &key_id)) return false;
  return database->Transact(write, [&](Database& db) -> Outcome {
    Outcome outcome = KeyAlive(db, key_id);
    if (!outcome.ok()) return outcome;
    return work(db, key_id);
  });
}

// The index-th row of an enumeration, in one transaction on a live key: the row after the cursor
// when the cursor stands on the index before (`next_sql`), else found by counting (`offset_sql`).
// Both queries take the key as ?1 and the row or the offset as ?2, and give the row id first;
// `take(statement)` reads the rest of the row. 259 past the last row.
template <typename Take>
bool EnumerateRow(const RegistryHandle& key, RegistryAccess::Cursor* cursor, uint32_t index,
                  const char* next_sql, const char* offset_sql, Take take) {
  return TransactOnKey(key, false, [&](Database& db, int64_t key_id) -> Outcome {
    const bool follows =
        cursor->database == &db && cursor->row != 0 && index != 0 && index == cursor->index + 1;
    int rc;
    sqlite3_stmt* s = db.Statement(follows ? next_sql : offset_sql, &rc);
    if (s == nullptr) return {rc, kErrorSuccess};
    sqlite3_bind_int64(s, 1, key_id);
    sqlite3_bind_int64(s, 2, follows ? cursor->row : static_cast<int64_t>(index));
    rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return {SQLITE_OK, kErrorNoMoreItems};
    if (rc != SQLITE_ROW) return {rc, kErrorSuccess};
    *cursor = {&db, index, sqlite3_column_int64(s, 0)};
    take(s);
    return {};
  });
}

}  // namespace

RegistryHandle::RegistryHandle(RegistryRoot root) {
  const uint32_t index =
      static_cast<uint32_t>(root) - static_cast<uint32_t>(RegistryRoot::kClassesRoot);
  if (index <=
      static_cast<uint32_t>(registry_internal::kLastRootId - registry_internal::kFirstRootId)) {
    key_id_ = registry_internal::kFirstRootId + index;
  }
}

RegistryHandle::~RegistryHandle() { Close(); }

RegistryHandle::RegistryHandle(RegistryHandle&& other) noexcept
    : database_(std::move(other.database_)),
      key_id_(std::exchange(other.key_id_, 0)),
      key_cursor_(std::exchange(other.key_cursor_, {})),
      value_cursor_(std::exchange(other.value_cursor_, {})) {}

RegistryHandle& RegistryHandle::operator=(RegistryHandle&& other) noexcept {
  if (this != &other) {
    database_ = std::move(other.database_);
    key_id_ = std::exchange(other.key_id_, 0);
    key_cursor_ = std::exchange(other.key_cursor_, {});
    value_cursor_ = std::exchange(other.value_cursor_, {});
  }
  return *this;
}

bool RegistryHandle::IsRoot() const {
  return key_id_ >= registry_internal::kFirstRootId && key_id_ <= registry_internal::kLastRootId;
}

void RegistryHandle::Close() {
  database_.reset();
  key_id_ = 0;
  key_cursor_ = {};
  value_cursor_ = {};
}

bool RegistryDatabasePath(std::string* host_path) {
  std::u16string windows;
  if (!GetSpecialFolder(SpecialFolder::kWindows, &windows)) return false;
  *host_path = HostPath(JoinPath(windows, registry_internal::kDatabaseName));
  return true;
}

namespace {

bool OpenOrCreate(const RegistryHandle& parent, std::u16string_view path, bool create,
                  RegistryHandle* key, bool* created) {
  std::vector<Name> levels;
  if (!SplitKeyPath(path, &levels)) return Fail(kErrorInvalidParameter);
  std::shared_ptr<Database> database;
  int64_t start = 0;
  if (!RegistryAccess::Resolve(parent, &database, &start)) return false;
  int64_t found = 0;
  bool made = false;
  if (!database->Transact(create, [&](Database& db) {
        return WalkPath(db, start, levels, create, &found, &made);
      })) {
    return false;
  }
  if (created != nullptr) *created = made;
  RegistryAccess::Assign(key, std::move(database), found);
  return true;
}

}  // namespace

bool OpenRegistryKey(const RegistryHandle& parent, std::u16string_view path, RegistryHandle* key) {
  return OpenOrCreate(parent, path, false, key, nullptr);
}

bool CreateRegistryKey(const RegistryHandle& parent, std::u16string_view path, RegistryHandle* key,
                       bool* created) {
  return OpenOrCreate(parent, path, true, key, created);
}

bool DeleteRegistryKey(const RegistryHandle& parent, std::u16string_view path) {
  std::vector<Name> levels;
  if (!SplitKeyPath(path, &levels)) return Fail(kErrorInvalidParameter);
  if (levels.empty()) return Fail(kErrorAccessDenied);
  std::shared_ptr<Database> database;
  int64_t start = 0;
  if (!RegistryAccess::Resolve(parent, &database, &start)) return false;
  return database->Transact(true, [&](Database& db) -> Outcome {
    int64_t target = 0;
    Outcome outcome = WalkPath(db, start, levels, false, &target, nullptr);
    if (!outcome.ok()) return outcome;
    static const char* const kDeletes[] = {
        "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
        " SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id)"
        " DELETE FROM vals WHERE key IN tree",
        "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
        " SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id)"
        " DELETE FROM keys WHERE id IN tree",
    };
    for (const char* sql : kDeletes) {
      int rc;
      sqlite3_stmt* s = db.Statement(sql, &rc);
      if (s == nullptr) return {rc, kErrorSuccess};
      sqlite3_bind_int64(s, 1, target);
      rc = sqlite3_step(s);
      if (rc != SQLITE_DONE) return {rc, kErrorSuccess};
    }
    return {};
  });
}

bool EnumRegistryKey(const RegistryHandle& key, uint32_t index, std::u16string* name) {
  return EnumerateRow(key, RegistryAccess::KeyCursor(key), index,
                      "SELECT id, name FROM keys WHERE parent = ?1 AND id > ?2 ORDER BY id LIMIT 1",
                      "SELECT id, name FROM keys WHERE parent = ?1 ORDER BY id LIMIT 1 OFFSET ?2",
                      [&](sqlite3_stmt* s) { *name = ColumnText(s, 1); });
}

namespace {

void CopyData(sqlite3_stmt* s, int column, std::vector<uint8_t>* data) {
  const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(s, column));
  const int size = sqlite3_column_bytes(s, column);
  if (bytes == nullptr || size <= 0) {
    data->clear();
  } else {
    data->assign(bytes, bytes + size);
  }
}

}  // namespace

bool EnumRegistryValue(const RegistryHandle& key, uint32_t index, RegistryValue* value) {
  return EnumerateRow(key, RegistryAccess::ValueCursor(key), index,
                      "SELECT rowid, name, type, data FROM vals WHERE key = ?1 AND rowid > ?2"
                      " ORDER BY rowid LIMIT 1",
                      "SELECT rowid, name, type, data FROM vals WHERE key = ?1 ORDER BY rowid"
                      " LIMIT 1 OFFSET ?2",
                      [&](sqlite3_stmt* s) {
                        value->name = ColumnText(s, 1);
                        value->type = static_cast<uint32_t>(sqlite3_column_int64(s, 2));
                        CopyData(s, 3, &value->data);
                      });
}

namespace {

// The steps every value operation shares: check the name, then work on the key as TransactOnKey
// does.
template <typename Work>
bool TransactOnValue(const RegistryHandle& key, std::u16string_view name, bool write, Work work) {
  Name value_name;
  if (!MakeName(name, kMaxRegistryValueName, &value_name)) return Fail(kErrorInvalidParameter);
  return TransactOnKey(key, write,
                       [&](Database& db, int64_t key_id) { return work(db, key_id, value_name); });
}

// Reads one value into `value` (its name is left as it is).
bool ReadValue(const RegistryHandle& key, std::u16string_view name, uint32_t* type,
               std::vector<uint8_t>* data) {
  return TransactOnValue(
      key, name, false, [&](Database& db, int64_t key_id, const Name& value_name) -> Outcome {
        int rc;
        sqlite3_stmt* s =
            db.Statement("SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2", &rc);
        if (s == nullptr) return {rc, kErrorSuccess};
        sqlite3_bind_int64(s, 1, key_id);
        BindText(s, 2, value_name.fold);
        rc = sqlite3_step(s);
        if (rc == SQLITE_DONE) return {SQLITE_OK, kErrorFileNotFound};
        if (rc != SQLITE_ROW) return {rc, kErrorSuccess};
        *type = static_cast<uint32_t>(sqlite3_column_int64(s, 0));
        CopyData(s, 1, data);
        sqlite3_reset(s);
        return {};
      });
}

}  // namespace

bool QueryRegistryValue(const RegistryHandle& key, std::u16string_view name, uint32_t* type,
                        void* data, uint32_t* size) {
  if (data != nullptr && size == nullptr) return Fail(kErrorInvalidParameter);
  uint32_t stored_type = kRegNone;
  std::vector<uint8_t> bytes;
  if (!ReadValue(key, name, &stored_type, &bytes)) return false;
  if (type != nullptr) *type = stored_type;
  const auto needed = static_cast<uint32_t>(bytes.size());
  if (data != nullptr) {
    if (*size < needed) {
      *size = needed;
      return Fail(kErrorMoreData);
    }
    if (needed != 0) std::memcpy(data, bytes.data(), needed);
  }
  if (size != nullptr) *size = needed;
  return true;
}

bool ReadRegistryValue(const RegistryHandle& key, std::u16string_view name, RegistryValue* value) {
  if (!ReadValue(key, name, &value->type, &value->data)) return false;
  value->name.assign(name);
  return true;
}

bool SetRegistryValue(const RegistryHandle& key, std::u16string_view name, uint32_t type,
                      const void* data, uint32_t size) {
  if (data == nullptr && size != 0) return Fail(kErrorInvalidParameter);
  return TransactOnValue(
      key, name, true, [&](Database& db, int64_t key_id, const Name& value_name) -> Outcome {
        int rc;
        sqlite3_stmt* s = db.Statement(
            "INSERT INTO vals(key, name, fold, type, data) VALUES (?1, ?2, ?3, ?4, ?5)"
            " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
            &rc);
        if (s == nullptr) return {rc, kErrorSuccess};
        sqlite3_bind_int64(s, 1, key_id);
        BindText(s, 2, value_name.text);
        BindText(s, 3, value_name.fold);
        sqlite3_bind_int64(s, 4, type);
        if (size == 0) {
          sqlite3_bind_zeroblob(s, 5, 0);
        } else {
          sqlite3_bind_blob64(s, 5, data, size, SQLITE_TRANSIENT);
        }
        rc = sqlite3_step(s);
        if (rc != SQLITE_DONE) return {rc, kErrorSuccess};
        return {};
      });
}

bool DeleteRegistryValue(const RegistryHandle& key, std::u16string_view name) {
  return TransactOnValue(
      key, name, true, [&](Database& db, int64_t key_id, const Name& value_name) -> Outcome {
        int rc;
        sqlite3_stmt* s = db.Statement("DELETE FROM vals WHERE key = ?1 AND fold = ?2", &rc);
        if (s == nullptr) return {rc, kErrorSuccess};
        sqlite3_bind_int64(s, 1, key_id);
        BindText(s, 2, value_name.fold);
        rc = sqlite3_step(s);
        if (rc != SQLITE_DONE) return {rc, kErrorSuccess};
        if (sqlite3_changes(db.connection()) == 0) return {SQLITE_OK, kErrorFileNotFound};
        return {};
      });
}

}  // namespace kolvar::platform
