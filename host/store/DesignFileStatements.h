// The statements and transactions of a design file, for the code that reads, writes and lays out
// its tables.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "host/store/DesignFile.h"

namespace ornhost::detail {

/// What went wrong, in the words of someone who keeps files, not of the database.
std::string PlainReason(sqlite3* db);

class DesignFile::Statement {
 public:
  Statement(const DesignFile& file, const std::string& sql) : file_(file) {
    if (sqlite3_prepare_v2(file.db_, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) file.Fail();
  }
  // The file keeps statements it runs again and again prepared; this one is only borrowed.
  Statement(DesignFile& file, const char* sql, bool /*kept*/)
      : file_(file), stmt_(file.Prepared(sql)), kept_(true) {}
  ~Statement() {
    if (kept_) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    } else {
      sqlite3_finalize(stmt_);
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t value) {
    Check(sqlite3_bind_int64(stmt_, index, value));
    return *this;
  }
  Statement& BindReal(int index, double value) {
    Check(sqlite3_bind_double(stmt_, index, value));
    return *this;
  }
  // Copied by SQLite, so temporaries may be passed. An empty blob stays a blob, not NULL.
  Statement& BindBlob(int index, const std::string& bytes) {
    Check(sqlite3_bind_blob64(stmt_, index, bytes.empty() ? "" : bytes.data(), bytes.size(),
                              SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindText(int index, std::string_view text) {
    Check(
        sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
  }
  /// True while there is a row.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) {
      sqlite3_reset(stmt_);
      return false;
    }
    file_.Fail();
  }
  void Reset() { sqlite3_reset(stmt_); }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) file_.Fail();
  }
  const DesignFile& file_;
  sqlite3_stmt* stmt_ = nullptr;
  bool kept_ = false;
};

// One write: checked, immediate (so that what it reads stays true until it commits), rolled
// back unless committed. Inside a batch it is a savepoint of the batch's transaction.
class DesignFile::Transaction {
 public:
  explicit Transaction(DesignFile& file, bool checked = true)
      : file_(file), nested_(file.inBatch_) {
    if (checked) file.CheckBeforeFirstWrite();
    if (nested_) {
      file.Exec("SAVEPOINT write");
      return;
    }
    file.TakeTurn();
    file.Exec("BEGIN IMMEDIATE");
  }
  ~Transaction() {
    if (done_) return;
    if (nested_) {
      sqlite3_exec(file_.db_, "ROLLBACK TO write; RELEASE write", nullptr, nullptr, nullptr);
      return;
    }
    sqlite3_exec(file_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
    file_.released_ = std::chrono::steady_clock::now();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() {
    file_.Exec(nested_ ? "RELEASE write" : "COMMIT");
    done_ = true;
    if (!nested_) file_.released_ = std::chrono::steady_clock::now();
  }

 private:
  DesignFile& file_;
  const bool nested_;
  bool done_ = false;
};

}  // namespace ornhost::detail
