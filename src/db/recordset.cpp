#include "db/recordset.h"

#include <stdexcept>

#include "base/text.h"

namespace quillmend {

std::string Recordset::Text(size_t index) const {
  if (eof()) throw std::out_of_range("no current row");
  const Row& row = rows_.at(position_);
  if (index >= row.size()) throw std::out_of_range("no such column");
  return row[index].value_or(std::string());
}

std::string Recordset::Text(const std::string& column) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsNoCase(columns_[i], column)) return Text(i);
  }
  throw std::out_of_range("no column named " + column);
}

bool Recordset::IsNull(size_t index) const {
  if (eof()) throw std::out_of_range("no current row");
  return !rows_.at(position_).at(index).has_value();
}

}  // namespace quillmend
