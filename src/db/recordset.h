// A client-side, keyset recordset: every row of a query's result is fetched when it opens.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillmend {

class Recordset {
 public:
  using Row = std::vector<std::optional<std::string>>;  // nullopt is SQL NULL

  Recordset() = default;
  Recordset(std::vector<std::string> columns, std::vector<Row> rows)
      : columns_(std::move(columns)), rows_(std::move(rows)), open_(true) {}

  bool is_open() const { return open_; }
  // End of file: no current row (empty result, or moved past the last row, or closed).
  bool eof() const { return !open_ || position_ >= rows_.size(); }
  void MoveNext() { ++position_; }
  void Close() { open_ = false; }
  long RecordCount() const { return static_cast<long>(rows_.size()); }
  const std::vector<std::string>& columns() const { return columns_; }

  // The current row's value at index (0-based) or by column name (case-insensitive), as text;
  // NULL gives "". Throws std::out_of_range when there is no current row or no such column.
  std::string Text(size_t index) const;
  std::string Text(const std::string& column) const;
  bool IsNull(size_t index) const;

 private:
  std::vector<std::string> columns_;
  std::vector<Row> rows_;
  size_t position_ = 0;
  bool open_ = false;
};

}  // namespace quillmend
